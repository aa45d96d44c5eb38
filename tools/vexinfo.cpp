// vexinfo FILE...: describes inputs: format, size, frame count, speed and
// frames per second; -v (or /V) adds a line per frame.
#include <cstdio>

#include "common/command_line.h"
#include "common/media.h"
#include "vexutil/version.h"

namespace {

void usage(std::FILE *to) {
  std::fprintf(to,
               "usage: vexinfo [-v|/V] FILE...\n"
               "Describes each FILE: its format, width, height, frame count, speed and\n"
               "frames per second.\n"
               "  -v, /V     add a line per frame with its chunk types and sizes\n"
               "  -h, --help show this text\n"
               "%s"
               "Exit status: 0 when every file was described, 1 when one could not be\n"
               "read, 2 for a bad command line.\n",
               vex::tools::kNameRuleHelp);
}

constexpr vex::tools::SwitchSpec kSwitches[] = {{'V', vex::tools::SwitchKind::flag}};

void describe(const std::string &name, vex::tools::Input &in, bool verbose) {
  const vex::tools::InputInfo &i = in.info();
  std::printf("%s\n", name.c_str());
  std::printf("  format   %s\n", i.format.c_str());
  std::printf("  size     %u x %u\n", i.width, i.height);
  std::printf("  frames   %u\n", i.frames);
  std::printf("  speed    %.2f ms per frame, %.3f frames per second\n", vex::tools::rate_ms(i.rate),
              vex::tools::rate_fps(i.rate));
  for (const std::string &line : i.details)
    std::printf("  %s\n", line.c_str());
  if (verbose)
    in.describe_frames(stdout);
}

} // namespace

int main(int argc, char **argv) {
  vex::tools::CommandLine cmd(argc, argv, kSwitches, {{"-v", "/V"}, {"--verbose", "/V"}});
  if (cmd.help()) {
    usage(stdout);
    return 0;
  }
  if (cmd.version()) {
    std::printf("vexinfo %s\n", VEXUTIL_VERSION_STRING);
    return 0;
  }
  const bool verbose = cmd.flag('V');
  if (const std::string rest = cmd.leftover(); !rest.empty()) {
    std::fprintf(stderr, "vexinfo: unknown switch: %s\n", rest.c_str());
    usage(stderr);
    return 2;
  }
  if (cmd.names().empty()) {
    usage(stderr);
    return 2;
  }
  int status = 0;
  for (const std::string &name : cmd.names()) {
    std::string why;
    auto in = vex::tools::open_input(name, why);
    if (!in) {
      std::fprintf(stderr, "vexinfo: %s: %s%s\n", name.c_str(), why.c_str(),
                   vex::tools::CommandLine::looks_like_switch(name) ? " (nor is it a switch of vexinfo)" : "");
      status = 1;
      continue;
    }
    describe(name, *in, verbose);
  }
  return status;
}
