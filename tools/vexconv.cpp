// vexconv IN OUT [switches]: reads IN through the graphics source (or, for
// an output of compressed sound chunks, the sound source) and writes OUT,
// whose kind follows from its extension.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/chunk_stream.h"
#include "common/flic_output.h"
#include "common/sound_conversion.h"
#include "common/talk.h"
#include "vexutil/gfile.h"
#include "vexutil/ui.h"
#include "vexutil/util.h"
#include "vexutil/version.h"

namespace {

using vex::tools::CommandLine;

void usage(std::FILE *to) {
  std::fprintf(to,
               "usage: vexconv [--gui] IN OUT [/F<fps>] [/A<fps>] [/X<x>] [/Y<y>] [/W<w>] [/H<h>]\n"
               "               [/S<first>] [/E<last>] [/T<n>] [/P<mode>] [/U<frames>] [/Q<entries>]\n"
               "               [/I<index>] [/$<entries>] [/D<n>] [/&<palette file>] [/O] [/Q]\n"
               "Converts IN (any picture input: FLIC, Korvane, Tolm, AVI, QuickTime, BMP,\n"
               "PCX, PNG, TGA, TIF, GIF, JPEG, raw frame files, lists and numbered series)\n"
               "to OUT (%s).\n"
               "  /F<fps>  playback rate: IN's frames are shown at this rate (default: IN's)\n"
               "  /A<fps>  output rate: frames are dropped or repeated to reach it\n"
               "           (default: the playback rate)\n"
               "           rates are exact: /F15, /F29.97, /F30000;1001; -1 to -1500 is a\n"
               "           frame duration in ms, below -1500 one in 10 us units\n"
               "  /X<x> /Y<y>  origin of the output window in IN (may be negative)\n"
               "  /W<w> /H<h>  size of the output window (default: IN's size)\n"
               "  /S<n>   first frame (1 = the first, the default)\n"
               "  /E<n>   last frame (default: the last)\n"
               "  /T<n>   24-bit promotion: 0 automatic, 1 always, 2 never\n"
               "Palettes (frames are 8-bit; a true-colour IN gets shared palettes):\n"
               "  /U<n>   palette period: at most n frames share one palette (default and 0:\n"
               "          65536, one palette for the whole movie; /U1 a palette per frame)\n"
               "  /P<n>   palette analysis: 0 palettised inputs keep their own palettes\n"
               "          (when /U is 32000 or more; the default), 1 every input gets built\n"
               "          palettes, 2 as 1 and a palette also ends where IN's palette changes\n"
               "  /Q<n>   palette entries the frames may use (default and 0: 256)\n"
               "  /I<n>   first of those entries (default: centred, (256 - entries) / 2)\n"
               "  /$<n>   split: n of the entries alternate, so that one palette is loaded\n"
               "          while the other is on screen (default 0; at most half)\n"
               "  /D<n>   system colours: 0 built palettes keep the 20 fixed colours in\n"
               "          entries 0-9 and 246-255 (default), 1 every palette does, 2 none\n"
               "  /&<file> palette file: a picture or movie whose colours make the palette;\n"
               "          quote a name with folders: /&\"dir/pal.png\" (default: none)\n"
               "  /O      replace OUT when it exists\n"
               "  /Q      (no number) quiet: no progress bar, no summary\n"
               "  /-X     cancels every earlier /X\n"
               "  --gui   run in a window (needs a display)\n"
               "  -y, -q  the same as /O and /Q\n"

               "A progress bar shows on stderr when it is a terminal; an existing OUT\n"
               "is replaced only after a Yes on the terminal, or with /O.\n"
               "%s"
               "Exit status: 0 done, 1 failure, 2 bad command line.\n\n",
               vex::tools::kOutputExtensions, vex::tools::kNameRuleHelp);
  std::fputs(vex::tools::sound_usage(), to);
}

// The tool's own /O and /Q (bare), then the graphics source's switches
// (read by GFileCommandLine), /Q<n> among them.
constexpr vex::tools::SwitchRule kSwitches[] = {
    {'O', vex::tools::SwitchKind::flag},     {'Q', vex::tools::SwitchKind::flag},
    {'F', vex::tools::SwitchKind::fraction}, {'A', vex::tools::SwitchKind::fraction},
    {'X', vex::tools::SwitchKind::number},   {'Y', vex::tools::SwitchKind::number},
    {'W', vex::tools::SwitchKind::number},   {'H', vex::tools::SwitchKind::number},
    {'S', vex::tools::SwitchKind::number},   {'E', vex::tools::SwitchKind::number},
    {'T', vex::tools::SwitchKind::number},   {'P', vex::tools::SwitchKind::number},
    {'U', vex::tools::SwitchKind::number},   {'Q', vex::tools::SwitchKind::number},
    {'I', vex::tools::SwitchKind::number},   {'$', vex::tools::SwitchKind::number},
    {'D', vex::tools::SwitchKind::number},   {'&', vex::tools::SwitchKind::text}};

// The compressed-sound writer's switches and the tool's own for chunk
// streams (see sound_usage()); /Y is a raw format with a number and the
// replace flag without one.
constexpr vex::tools::SwitchRule kSoundSwitches[] = {
    {'L', vex::tools::SwitchKind::number}, {'P', vex::tools::SwitchKind::flag},
    {'R', vex::tools::SwitchKind::number}, {'B', vex::tools::SwitchKind::number},
    {'C', vex::tools::SwitchKind::number}, {'S', vex::tools::SwitchKind::number},
    {'E', vex::tools::SwitchKind::number}, {'T', vex::tools::SwitchKind::number},
    {'Y', vex::tools::SwitchKind::number}, {'Y', vex::tools::SwitchKind::flag},
    {'D', vex::tools::SwitchKind::number}, {'K', vex::tools::SwitchKind::number},
    {'M', vex::tools::SwitchKind::number}, {'I', vex::tools::SwitchKind::number},
    {'U', vex::tools::SwitchKind::number}, {'F', vex::tools::SwitchKind::flag},
    {'O', vex::tools::SwitchKind::flag},   {'Q', vex::tools::SwitchKind::flag}};

struct Options {
  std::string in, out;
  uint32_t play_num = 0, play_den = 0, out_num = 0, out_den = 0;
  int32_t crop_x = 0, crop_y = 0, crop_width = 0, crop_height = 0;
  int32_t first = 0, last = 0, promotion = 0;
  // The palette options, as GFileCommandLine reads them (/P /U /Q /I /$ /D /&).
  int32_t palette_mode = 0, palette_period = 0, first_index = 0, palette_entries = 0, palette_split = 0;
  int32_t system_colours = 0;
  char palette_file[128] = "";
  bool replace = false, quiet = false;
};

// 0 when the options are sound, else the exit status.
int read_options(CommandLine &cmd, Options &o) {
  // /Q is both the tool's quiet flag and the palette-entry count: a bare /Q
  // (no number) is quiet and is taken first; /Q<n> is left to the source.
  o.replace = cmd.flag('O');
  o.quiet = cmd.flag('Q');
  GFileCommandLine(cmd.switches(), &o.play_num, &o.play_den, &o.out_num, &o.out_den, &o.crop_x, &o.crop_y,
                   &o.crop_width, &o.crop_height, &o.first, &o.last, &o.palette_mode, &o.palette_period,
                   &o.first_index, &o.palette_entries, &o.palette_split, &o.system_colours, &o.promotion,
                   o.palette_file);
  if (const std::string rest = cmd.leftover(); !rest.empty()) {
    std::fprintf(stderr, "vexconv: unknown switch: %s\n", rest.c_str());
    return 2;
  }
  if (cmd.names().size() != 2) {
    std::string words;
    for (const std::string &n : cmd.names())
      words += (words.empty() ? "" : ", ") + n + (CommandLine::looks_like_switch(n) ? " (no such switch)" : "");
    std::fprintf(stderr, "vexconv: wants IN and OUT, got %zu name%s%s%s\n", cmd.names().size(),
                 cmd.names().size() == 1 ? "" : "s", words.empty() ? "" : ": ", words.c_str());
    usage(stderr);
    return 2;
  }
  if (o.first < 0 || o.last < 0 || (o.last != 0 && o.last < std::max(o.first, 1)) || o.crop_width < 0 ||
      o.crop_height < 0) {
    std::fprintf(stderr, "vexconv: /S and /E need 1 or more with /S <= /E, /W and /H 0 or more\n");
    return 2;
  }
  o.in = cmd.names()[0];
  o.out = cmd.names()[1];
  return 0;
}

// Closes the graphics source on every way out of convert().
struct GFileCloser {
  void operator()(GFILE *g) const { GFileClose(g); }
};

int convert(const Options &o, vex::tools::Talk &talk) {
  const std::string open_name = CommandLine::source_name(o.in);
  if (open_name.empty())
    return talk.fail("vexconv: " + o.in + ": " + vex::tools::kFrameSwitchFolderHelp);
  std::unique_ptr<GFILE, GFileCloser> g(GFileOpen(open_name.c_str(), 0, o.play_num, o.play_den, o.out_num, o.out_den,
                                                  o.crop_x, o.crop_y, o.crop_width, o.crop_height, o.first, o.last,
                                                  o.palette_mode, o.palette_period, o.first_index,
                                                  o.palette_entries, o.palette_split, o.system_colours, o.promotion,
                                                  o.palette_file, nullptr, nullptr));
  if (!g)
    return talk.fail("vexconv: " + o.in + ": " + VEXLastError() +
                     (CommandLine::looks_like_switch(o.in) ? " (nor is it a switch of vexconv)" : ""));
  const uint32_t width = static_cast<uint32_t>(g->width), height = static_cast<uint32_t>(g->height);
  const uint32_t count = static_cast<uint32_t>(g->output_frames);
  if (!talk.may_write(o.in, o.out, o.replace))
    return 1;
  std::string why;
  auto out = vex::tools::create_flic_output({o.out, width, height, g->speed}, why);
  if (!out)
    return talk.fail("vexconv: " + o.out + ": " + why);
  const uint32_t start = VEXTimerRead();
  for (uint32_t i = 0; i < count; ++i) {
    if (talk.cancelled()) {
      out->close();
      return talk.fail("vexconv: cancelled after " + std::to_string(i) + " frames");
    }
    if (GFileGet(g.get()) != 1) {
      out->close();
      return talk.fail("vexconv: " + o.in + ": output frame " + std::to_string(i + 1) +
                       " cannot be read: " + VEXLastError());
    }
    const vex::tools::FrameView frame{g->buffer, width, height, static_cast<uint32_t>(g->pitch), &g->palette[0][0]};
    if (!out->put(frame)) {
      out->close();
      return talk.fail("vexconv: " + o.out + ": write failed (disk full?)");
    }
    talk.progress(i + 1, count, VEXTimerRead() - start);
  }
  const uint32_t size = out->close();
  const uint32_t ms = VEXTimerRead() - start;
  if (size == 0)
    return talk.fail("vexconv: " + o.out + ": write failed (disk full?)");
  char bytes[16];
  CommaNum(bytes, size);
  char summary[512];
  std::snprintf(summary, sizeof summary, "%s -> %s: %u frames, %u x %u, %s bytes in %.2f s (%.1f frames per second)",
                o.in.c_str(), o.out.c_str(), count, width, height, bytes, ms / 1000.0,
                ms ? count * 1000.0 / ms : 0.0);
  talk.done(summary);
  // A damaged input still gives every frame as far as it decodes; the
  // conversion then says what was wrong and fails.
  if (const char *damage = GFileDamage(g.get()))
    return talk.fail("vexconv: " + o.in + ": " + damage + " (OUT holds the frames as far as they decode)");
  return 0;
}

int convert_sound_job(CommandLine &cmd, bool gui) {
  vex::tools::SoundJob job;
  if (const int status = vex::tools::read_sound_job(cmd, job))
    return status;
  if (gui)
    return vex::tools::run_in_window(job.in, job.out,
                                     [&](vex::tools::Talk &talk) { return vex::tools::convert_sound(job, talk); });
  setenv("VEXUTIL_UI", "terminal", 0);
  vex::tools::TerminalTalk talk(job.in + " -> " + job.out, job.quiet);
  return vex::tools::convert_sound(job, talk);
}

} // namespace

int main(int argc, char **argv) {
  bool gui = false, names_only = false;
  std::vector<char *> args;
  for (int i = 0; i < argc; ++i) {
    const std::string w = argv[i];
    names_only = names_only || w == "--";
    if (i > 0 && !names_only && w == "--gui")
      gui = true;
    else
      args.push_back(argv[i]);
  }
  // An output of compressed sound chunks takes the sound switches, where
  // /Y with a number names a raw input format (a bare /Y still replaces).
  bool sound = false;
  for (size_t i = 1; i < args.size(); ++i)
    sound = sound || vex::tools::is_chunk_stream_name(args[i]);
  CommandLine cmd(static_cast<int>(args.size()), args.data(),
                  sound ? std::span<const vex::tools::SwitchRule>(kSoundSwitches)
                        : std::span<const vex::tools::SwitchRule>(kSwitches),
                  {{"-y", sound ? "/Y" : "/O"}, {"-q", "/Q"}});
  if (cmd.help()) {
    usage(stdout);
    return 0;
  }
  if (cmd.version()) {
    std::printf("vexconv %s\n", VEXUTIL_VERSION_STRING);
    return 0;
  }
  if (sound)
    return convert_sound_job(cmd, gui);
  Options o;
  if (const int status = read_options(cmd, o))
    return status;
  if (gui)
    return vex::tools::run_in_window(o.in, o.out, [&](vex::tools::Talk &talk) { return convert(o, talk); });
  // On the command line the terminal speaks unless VEXUTIL_UI asks for more.
  setenv("VEXUTIL_UI", "terminal", 0);
  vex::tools::TerminalTalk talk(o.in + " -> " + o.out, o.quiet);
  return convert(o, talk);
}
