// vexconv IN OUT [switches]: reads IN through the graphics source (and its
// sound through the sound source) and writes OUT through the output writer,
// or, for a sound output (compressed sound chunks or a WAV file), IN's sound
// through the compressed-sound writer or the WAV writer; OUT's kind follows
// from its extension.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/chunk_stream.h"
#include "common/picture_job.h"
#include "common/sound_conversion.h"
#include "common/talk.h"
#include "vexutil/gfile.h"
#include "vexutil/sfile.h"
#include "vexutil/ui.h"
#include "vexutil/util.h"
#include "vexutil/version.h"

namespace {

using vex::tools::CommandLine;

void usage(std::FILE *to) {
  std::fprintf(to,
               R"(usage: vexconv [--gui] [--codec NAME] [--sound FILE] [--track N] IN OUT [switches]

Converts IN to OUT. IN is anything the library reads: FLIC (.flc .fli),
Korvane (.kvn) and Tolm (.tlm) movies and self-playing executables, AVI,
QuickTime (.mov), still images (.bmp .pcx .png .tga .tif .gif .jpg), raw
frame files, list files (.lst) and numbered series. OUT's extension (any
letter case) picks what is written:

  .flc (or none)  FLIC animation, 8-bit frames with shared palettes
  .avi            AVI movie: 8-bit frames with their palettes when IN is
                  palettised, else 24-bit; uncompressed unless --codec names
                  an encoder; with IN's sound as a PCM track
  .bmp .png .tif  numbered still images at IN's depth (8 or 24 bits)
  .jpg .tga       numbered still images at 24 bits
  .pcx .gif       numbered still images at 8 bits
  .vcs            IN's sound as compressed sound chunks (switches below)
  .wav            IN's sound as a WAV file (the sound switches below)

Still images are numbered from 0 with as many digits as the frame count
needs: 250 frames to shot.png write shot000.png to shot249.png; a single
frame writes shot.png itself. OUT is written under a hidden temporary name
(.vxXXXXXX) in its own folder and renamed when it is complete, so a
failure, a cancel or Ctrl-C never leaves a half-written OUT; the stills of
a series are renamed into place together once the last is saved, so files
they would replace stay as they were until then.

Options:
  --codec NAME  AVI video encoder (see vexinfo --codecs), e.g. mjpeg, ffv1,
                mpeg4; default none (uncompressed rows). With --gui, "?"
                shows the list to pick from.
  --sound FILE  AVI: the sound track from FILE (any sound input: WAV, raw
                PCM, a movie) instead of IN's own
  --track N     the sound track of IN (or of --sound FILE) for an AVI, .vcs
                or .wav output, numbered as the movie kind does: Korvane
                1-7, AVI audio streams from 0, QuickTime tracks from 1
                (default 0: the first with sound)
  --gui         run behind a window (needs a display)
  -h, --help    this text;  --version  the version
  -y, -q        the same as /O and /Q

Frame switches (a value follows the letter without a space):
  /F<fps>   playback rate: IN's frames are shown at this rate (default IN's)
  /A<fps>   output rate: frames are dropped or repeated to reach it
            (default: the playback rate). Rates are exact: /F15, /F29.97,
            /F30000;1001; -1 to -1500 is a frame time in ms, below -1500
            one in units of 10 us (/F-6667 = 15 fps)
  /X<px> /Y<px>  origin of the output window in IN (default 0 0; may be
            negative: IN then sits inside a larger picture)
  /W<px> /H<px>  size of the output window (default: IN's size)
  /S<n>     first frame, 1 = the first (default 1)
  /E<n>     last frame (default: the last)
  /T<n>     24-bit promotion of 8-bit output: 0 automatic, 1 always, 2 never
            (default 0)
Palettes (the 8-bit frames of FLC, PCX and GIF outputs, and of AVI, BMP,
PNG and TIF from a palettised IN; a true-colour IN to FLC, PCX or GIF
gets shared palettes built from its frames):
  /U<n>     palette period: at most n frames share one palette (default and
            0: 65536, one palette for the whole movie; /U1 one per frame)
  /P<n>     palette analysis: 0 palettised inputs keep their own palettes
            (when /U is 32000 or more; the default), 1 every input gets
            built palettes, 2 as 1 and a palette also ends where IN's
            palette changes
  /Q<n>     palette entries the frames may use (default and 0: 256)
  /I<n>     first of those entries (default: centred, (256 - entries) / 2)
  /$<n>     split: n of the entries alternate, so that one palette is
            loaded while the other is on screen (default 0; at most half)
  /D<n>     system colours: 0 built palettes keep the 20 fixed colours in
            entries 0-9 and 246-255 (default), 1 every palette does, 2 none
  /&<file>  palette file: a picture or movie whose colours make the palette;
            quote a name with folders: /&"dir/pal.png" (default: none)
Sound switches (AVI output, when IN or --sound has sound):
  /R<Hz>    sample rate of the track (default IN's)
  /B<8|16>  bits per sample (default IN's)
  /C<1|2>   channels (default IN's)
  /N        no sound track
The track runs three quarters of a second ahead of the pictures and ends
with them; sound IN lacks at the end is filled with silence.
Other switches:
  /O        replace OUT when it exists (otherwise the terminal asks; with
            no terminal the answer is No)
  /Q        (no number) quiet: no progress bar, no summary
  /-X       cancels every earlier /X
%s
Exit status: 0 done; 1 failure (nothing is left under OUT's names, and a
file OUT would have replaced is kept, except after a damaged IN: OUT then
holds the frames before the first that does not decode, and the message
says how many of how many and names the damage); 2 bad command line (a
bad switch, a name missing or too many, OUT a folder or no file name).

Examples:
  vexconv clip.mov clip.flc                  movie to FLIC
  vexconv anim.flc anim.avi --codec ffv1 --sound music.wav
                                             FLIC to a lossless AVI with sound
  vexconv talk.kvn talk.avi /R22050 /B16     movie with its sound, resampled
  vexconv shots.lst shots.flc /F12           stills series (a list) to FLIC
  vexconv clip.avi frames/f.png /S10 /E99    frames 10-99 as f00.png-f89.png
  vexconv voice.wav voice.vcs /L104          WAV to compressed sound

)",
               vex::tools::name_rule_help("/S10, /F29.97, /O/Q, /-O").c_str());
  std::fputs(vex::tools::sound_usage(), to);
}

// The tool's own /O /Q /N (bare), the graphics source's switches (read by
// GFileCommandLine, /Q<n> among them) and the sound track's
// (SFileCommandLine).
constexpr vex::tools::SwitchRule kSwitches[] = {
    {'O', vex::tools::SwitchKind::flag},     {'Q', vex::tools::SwitchKind::flag},
    {'N', vex::tools::SwitchKind::flag},     {'F', vex::tools::SwitchKind::fraction},
    {'A', vex::tools::SwitchKind::fraction}, {'X', vex::tools::SwitchKind::number},
    {'Y', vex::tools::SwitchKind::number},   {'W', vex::tools::SwitchKind::number},
    {'H', vex::tools::SwitchKind::number},   {'S', vex::tools::SwitchKind::number},
    {'E', vex::tools::SwitchKind::number},   {'T', vex::tools::SwitchKind::number},
    {'P', vex::tools::SwitchKind::number},   {'U', vex::tools::SwitchKind::number},
    {'Q', vex::tools::SwitchKind::number},   {'I', vex::tools::SwitchKind::number},
    {'$', vex::tools::SwitchKind::number},   {'D', vex::tools::SwitchKind::number},
    {'&', vex::tools::SwitchKind::text},     {'R', vex::tools::SwitchKind::number},
    {'B', vex::tools::SwitchKind::number},   {'C', vex::tools::SwitchKind::number}};

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

// Why OUT names no file to write: an existing folder, a name that ends
// with '/', or one that is nothing but an extension (".flc"); "" when it
// names one.
std::string output_name_problem(const std::string &out) {
  std::error_code ec;
  if (std::filesystem::is_directory(out, ec))
    return "a folder; OUT names the file to write (" + out + (out.back() == '/' ? "" : "/") + "out.flc, say)";
  const size_t slash = out.rfind('/');
  const std::string base = slash == std::string::npos ? out : out.substr(slash + 1);
  if (base.empty())
    return "names a folder, not a file";
  if (base[0] == '.' && base.find('.', 1) == std::string::npos)
    return "has no name before its extension " + base;
  return "";
}

// 0 when the options are sound, else the exit status.
int read_options(CommandLine &cmd, vex::tools::PictureJob &o) {
  // /Q is both the tool's quiet flag and the palette-entry count: a bare /Q
  // (no number) is quiet and is taken first; /Q<n> is left to the source.
  o.replace = cmd.flag('O');
  o.quiet = cmd.flag('Q');
  o.no_sound = cmd.flag('N');
  GFileCommandLine(cmd.switches(), &o.play_num, &o.play_den, &o.out_num, &o.out_den, &o.crop_x, &o.crop_y,
                   &o.crop_width, &o.crop_height, &o.first, &o.last, &o.palette_mode, &o.palette_period,
                   &o.first_index, &o.palette_entries, &o.palette_split, &o.system_colours, &o.promotion,
                   o.palette_file);
  // What the graphics source left: the sound track's rate, bits, channels.
  SFileCommandLine(cmd.switches(), &o.sound_rate, &o.sound_bits, &o.sound_channels, nullptr, nullptr, nullptr,
                   nullptr, nullptr);
  if (cmd.report_bad_switches("vexconv"))
    return 2;
  if (const std::string rest = cmd.leftover(); !rest.empty())
    return vex::tools::bad_command_line("vexconv", "unknown switch: " + rest);
  if (cmd.names().size() != 2) {
    std::string words;
    for (const std::string &n : cmd.names())
      words += (words.empty() ? "" : ", ") + n;
    return vex::tools::bad_command_line("vexconv", "wants IN and OUT, got " +
                                                       vex::tools::counted(cmd.names().size(), "name") +
                                                       (words.empty() ? "" : ": " + words));
  }
  if ((!o.sound_from.empty() || o.sound_track >= 0) && !vex::tools::is_avi_name(cmd.names()[1])) {
    std::fprintf(stderr, "vexconv: %s: --sound and --track pick the sound track of an AVI output; %s takes none\n",
                 cmd.names()[1].c_str(), cmd.names()[1].c_str());
    return 2;
  }
  if (o.first < 0 || o.last < 0 || (o.last != 0 && o.last < std::max(o.first, 1)) || o.crop_width < 0 ||
      o.crop_height < 0)
    return vex::tools::bad_command_line("vexconv", "/S and /E need 1 or more with /S <= /E, /W and /H 0 or more");
  if ((o.sound_bits != 0 && o.sound_bits != 8 && o.sound_bits != 16) ||
      (o.sound_channels != 0 && o.sound_channels != 1 && o.sound_channels != 2) || o.sound_rate < 0)
    return vex::tools::bad_command_line("vexconv", "/B takes 8 or 16, /C 1 or 2, /R a rate in Hz");
  o.in = cmd.names()[0];
  o.out = cmd.names()[1];
  if (const std::string why = output_name_problem(o.out); !why.empty()) {
    std::fprintf(stderr, "vexconv: %s: %s\n", o.out.c_str(), why.c_str());
    return 2;
  }
  return 0;
}

int convert_sound_job(CommandLine &cmd, bool gui, int32_t track) {
  vex::tools::SoundJob job;
  if (const int status = vex::tools::read_sound_job(cmd, job))
    return status;
  if (track >= 0)
    job.track = track;
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
  std::string codec, sound_from;
  int32_t track = -1; // --track: -1 when not given
  std::vector<char *> args;
  for (int i = 0; i < argc; ++i) {
    const std::string w = argv[i];
    names_only = names_only || w == "--";
    if (i > 0 && !names_only && w == "--gui") {
      gui = true;
    } else if (i > 0 && !names_only && (w == "--codec" || w.rfind("--codec=", 0) == 0)) {
      if (w == "--codec" && i + 1 >= argc) {
        std::fprintf(stderr, "vexconv: --codec needs an encoder's name (vexinfo --codecs lists them)\n");
        return 2;
      }
      codec = w == "--codec" ? argv[++i] : w.substr(8);
    } else if (i > 0 && !names_only && (w == "--sound" || w.rfind("--sound=", 0) == 0)) {
      if (w == "--sound" && i + 1 >= argc) {
        std::fprintf(stderr, "vexconv: --sound needs the name of a sound input\n");
        return 2;
      }
      sound_from = w == "--sound" ? argv[++i] : w.substr(8);
    } else if (i > 0 && !names_only && (w == "--track" || w.rfind("--track=", 0) == 0)) {
      const std::string n = w == "--track" ? (i + 1 < argc ? argv[++i] : "") : w.substr(8);
      char *end = nullptr;
      const long value = std::strtol(n.c_str(), &end, 10);
      if (n.empty() || *end != '\0' || value < 0 || value > 65535) {
        std::fprintf(stderr, "vexconv: --track needs a track number, 0 or more\n");
        return 2;
      }
      track = static_cast<int32_t>(value);
    } else {
      args.push_back(argv[i]);
    }
  }
  // A sound output (compressed sound chunks, a WAV file) takes the sound
  // switches, where /Y with a number names a raw input format (a bare /Y
  // still replaces). OUT is the second name as those switches read.
  CommandLine sound_cmd(static_cast<int>(args.size()), args.data(), kSoundSwitches, {{"-y", "/Y"}, {"-q", "/Q"}});
  const bool sound = sound_cmd.names().size() >= 2 && vex::tools::is_sound_output(sound_cmd.names()[1]);
  CommandLine cmd = sound ? sound_cmd : CommandLine(static_cast<int>(args.size()), args.data(), kSwitches,
                                                    {{"-y", "/O"}, {"-q", "/Q"}});
  if (cmd.help()) {
    usage(stdout);
    return 0;
  }
  if (cmd.version()) {
    std::printf("vexconv %s\n", VEXUTIL_VERSION_STRING);
    return 0;
  }
  if (sound) {
    if (!sound_from.empty()) {
      std::fprintf(stderr, "vexconv: --sound: a sound output takes IN's sound; give that file as IN\n");
      return 2;
    }
    return convert_sound_job(cmd, gui, track);
  }
  vex::tools::PictureJob o;
  o.sound_from = sound_from;
  o.sound_track = track;
  if (const int status = read_options(cmd, o))
    return status;
  o.codec = codec;
  if (gui)
    return vex::tools::run_in_window(o.in, o.out,
                                     [&](vex::tools::Talk &talk) { return vex::tools::convert_pictures(o, talk); });
  // On the command line the terminal speaks unless VEXUTIL_UI asks for more.
  setenv("VEXUTIL_UI", "terminal", 0);
  vex::tools::TerminalTalk talk(o.in + " -> " + o.out, o.quiet);
  return vex::tools::convert_pictures(o, talk);
}
