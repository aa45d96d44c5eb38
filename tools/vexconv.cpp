// vexconv IN OUT [switches]: decodes every frame of IN and writes it to
// OUT, whose kind follows from its extension.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "common/command_line.h"
#include "common/media.h"
#include "common/progress.h"
#include "vexutil/util.h"
#include "vexutil/version.h"

namespace {

namespace fs = std::filesystem;
using vex::tools::CommandLine;

void usage(std::FILE *to) {
  std::fprintf(to,
               "usage: vexconv IN OUT [/S<first>] [/N<count>] [/R<fps>] [/Y] [/Q]\n"
               "Converts IN (a FLIC animation, a Tolm or a Korvane movie) to OUT (%s).\n"
               "  /S<n>   start at frame n (1 = the first, the default)\n"
               "  /N<n>   convert n frames (default: to the end)\n"
               "  /R<fps> frames per second of OUT, exact: /R15, /R29.97, /R30000;1001\n"
               "          (default: the speed of IN)\n"
               "  /Y      replace OUT when it exists\n"
               "  /Q      quiet: no progress bar, no summary\n"
               "  /-X     cancels every earlier /X\n"
               "A progress bar shows on stderr when it is a terminal.\n"
               "Exit status: 0 done, 1 failure, 2 bad command line.\n",
               vex::tools::output_extensions().c_str());
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

bool same_file(const std::string &a, const std::string &b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

int convert(const Options &o) {
  std::string why;
  auto in = vex::tools::open_input(o.in, why);
  if (!in) {
    std::fprintf(stderr, "vexconv: %s: %s\n", o.in.c_str(), why.c_str());
    return 1;
  }
  const vex::tools::InputInfo &info = in->info();
  if (o.first > info.frames) {
    std::fprintf(stderr, "vexconv: %s has %u frames; /S%u starts past them\n", o.in.c_str(), info.frames, o.first);
    return 1;
  }
  const uint32_t left = info.frames - o.first + 1;
  const uint32_t count = o.count == 0 || o.count > left ? left : o.count;
  std::error_code ec;
  if (same_file(o.in, o.out)) {
    std::fprintf(stderr, "vexconv: %s: the output would replace the input\n", o.out.c_str());
    return 1;
  }
  if (fs::exists(o.out, ec) && !o.replace) {
    std::fprintf(stderr, "vexconv: %s exists; add /Y to replace it\n", o.out.c_str());
    return 1;
  }
  const vex::tools::OutputSpec plan{o.out, info.width, info.height,
                                    o.fps_den ? rate_of(o.fps_num, o.fps_den) : info.rate};
  auto out = vex::tools::create_output(plan, why);
  if (!out) {
    std::fprintf(stderr, "vexconv: %s: %s\n", o.out.c_str(), why.c_str());
    return 1;
  }
  vex::tools::Progress bar(count, !o.quiet);
  vex::tools::FrameView frame;
  for (uint32_t i = 0; i < count; ++i) {
    const bool got = i == 0 ? in->seek(o.first, frame) : in->next(frame);
    if (!got) {
      bar.finish();
      std::fprintf(stderr, "vexconv: %s: frame %u cannot be read\n", o.in.c_str(), o.first + i);
      out->close();
      return 1;
    }
    if (!out->put(frame)) {
      bar.finish();
      std::fprintf(stderr, "vexconv: %s: write failed (disk full?)\n", o.out.c_str());
      out->close();
      return 1;
    }
    bar.update(i + 1);
  }
  const uint32_t size = out->close();
  const uint32_t ms = bar.elapsed();
  bar.finish();
  if (size == 0) {
    std::fprintf(stderr, "vexconv: %s: write failed (disk full?)\n", o.out.c_str());
    return 1;
  }
  if (!o.quiet) {
    char bytes[16];
    CommaNum(bytes, size);
    std::printf("%s -> %s: %u frames, %u x %u, %s bytes in %.2f s (%.1f frames per second)\n", o.in.c_str(),
                o.out.c_str(), count, info.width, info.height, bytes, ms / 1000.0,
                ms ? count * 1000.0 / ms : 0.0);
  }
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  CommandLine cmd(argc, argv, {{"-y", "/Y"}, {"-q", "/Q"}});
  if (cmd.help()) {
    usage(stdout);
    return 0;
  }
  if (cmd.version()) {
    std::printf("vexconv %s\n", VEXUTIL_VERSION_STRING);
    return 0;
  }
  Options o;
  if (const int status = read_options(cmd, o))
    return status;
  return convert(o);
}
