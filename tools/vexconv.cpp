// vexconv IN OUT [switches]: decodes every frame of IN and writes it to
// OUT, whose kind follows from its extension.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/chunk_stream.h"
#include "common/media.h"
#include "common/sound_conversion.h"
#include "common/talk.h"
#include "vexutil/ui.h"
#include "vexutil/util.h"
#include "vexutil/version.h"

namespace {

using vex::tools::CommandLine;

void usage(std::FILE *to) {
  std::fprintf(to,
               "usage: vexconv [--gui] IN OUT [/S<first>] [/N<count>] [/R<fps>] [/Y] [/Q]\n"
               "Converts IN (a FLIC animation, a Tolm or a Korvane movie) to OUT (%s).\n"
               "  /S<n>   start at frame n (1 = the first, the default)\n"
               "  /N<n>   convert n frames (default: to the end)\n"
               "  /R<fps> frames per second of OUT, exact: /R15, /R29.97, /R30000;1001\n"
               "          (default: the speed of IN)\n"
               "  /Y      replace OUT when it exists\n"
               "  /Q      quiet: no progress bar, no summary\n"
               "  /-X     cancels every earlier /X\n"
               "  --gui   run in a window (needs a display)\n"
               "A progress bar shows on stderr when it is a terminal; an existing OUT\n"
               "is replaced only after a Yes on the terminal, or with /Y.\n"
               "Exit status: 0 done, 1 failure, 2 bad command line.\n\n",
               vex::tools::output_extensions().c_str());
  std::fputs(vex::tools::sound_usage(), to);
}

struct Options {
  std::string in, out;
  uint32_t first = 1, count = 0;
  uint32_t fps_num = 0, fps_den = 0;
  bool replace = false, quiet = false;
};

// 0 when the options are sound, else the exit status.
int read_options(CommandLine &cmd, Options &o) {
  const int first = cmd.number('S', 1);
  const int count = cmd.number('N', 0);
  const bool has_rate = cmd.fraction('R', o.fps_num, o.fps_den);
  o.replace = cmd.flag('Y');
  o.quiet = cmd.flag('Q');
  if (const std::string rest = cmd.leftover(); !rest.empty()) {
    std::fprintf(stderr, "vexconv: unknown switch: %s\n", rest.c_str());
    return 2;
  }
  if (cmd.names().size() != 2) {
    usage(stderr);
    return 2;
  }
  if (first < 1 || count < 0 || (has_rate && (o.fps_num == 0 || static_cast<int32_t>(o.fps_num) < 0))) {
    std::fprintf(stderr, "vexconv: /S needs 1 or more, /N 0 or more, /R a rate above 0\n");
    return 2;
  }
  o.in = cmd.names()[0];
  o.out = cmd.names()[1];
  o.first = static_cast<uint32_t>(first);
  o.count = static_cast<uint32_t>(count);
  return 0;
}

// Frames per second num/den as a speed value (negated 10 us units).
int32_t rate_of(uint32_t num, uint32_t den) {
  const double units = std::round(100000.0 * den / num);
  return units >= 2147483647.0 ? INT32_MIN + 1 : -static_cast<int32_t>(std::max(1.0, units));
}

int convert(const Options &o, vex::tools::Talk &talk) {
  std::string why;
  auto in = vex::tools::open_input(o.in, why);
  if (!in)
    return talk.fail("vexconv: " + o.in + ": " + why);
  const vex::tools::InputInfo &info = in->info();
  if (o.first > info.frames)
    return talk.fail("vexconv: " + o.in + " has " + std::to_string(info.frames) + " frames; /S" +
                     std::to_string(o.first) + " starts past them");
  const uint32_t left = info.frames - o.first + 1;
  const uint32_t count = o.count == 0 || o.count > left ? left : o.count;
  if (!talk.may_write(o.in, o.out, o.replace))
    return 1;
  const vex::tools::OutputSpec plan{o.out, info.width, info.height,
                                    o.fps_den ? rate_of(o.fps_num, o.fps_den) : info.rate};
  auto out = vex::tools::create_output(plan, why);
  if (!out)
    return talk.fail("vexconv: " + o.out + ": " + why);
  const uint32_t start = VEXTimerRead();
  vex::tools::FrameView frame;
  for (uint32_t i = 0; i < count; ++i) {
    if (talk.cancelled()) {
      out->close();
      return talk.fail("vexconv: cancelled after " + std::to_string(i) + " frames");
    }
    const bool got = i == 0 ? in->seek(o.first, frame) : in->next(frame);
    if (!got) {
      out->close();
      return talk.fail("vexconv: " + o.in + ": frame " + std::to_string(o.first + i) + " cannot be read");
    }
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
                o.in.c_str(), o.out.c_str(), count, info.width, info.height, bytes, ms / 1000.0,
                ms ? count * 1000.0 / ms : 0.0);
  talk.done(summary);
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
  bool gui = false;
  std::vector<char *> args;
  for (int i = 0; i < argc; ++i) {
    if (i > 0 && std::string(argv[i]) == "--gui")
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
                  {{"-y", "/Y"}, {"-q", "/Q"}});
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
