#include "testkit/util/imagemagick_tool.h"

#include <cstdio>
#include <stdexcept>

#include "testkit/util/ffmpeg_tool.h"

namespace vex::testkit {

namespace {

// Output of a shell command; empty with *ok false when it fails.
std::string output_of(const std::string &command, bool *ok) {
  std::string out;
  FILE *p = popen(command.c_str(), "r");
  if (!p) {
    *ok = false;
    return out;
  }
  char chunk[65536];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, p)) > 0;)
    out.append(chunk, n);
  *ok = pclose(p) == 0;
  return out;
}

std::string find_converter() {
  // /usr/bin/convert may be missing, or something else under that name;
  // the versioned names come with Debian's imagemagick package.
  for (const char *name : {"magick", "convert-im6.q16", "convert-im6", "convert"}) {
    bool ok = false;
    const std::string path = output_of(std::string("command -v ") + name + " 2>/dev/null", &ok);
    if (!ok || path.empty())
      continue;
    const std::string command = path.substr(0, path.find_last_not_of("\n") + 1);
    const std::string version = output_of(shell_quote(command) + " -version 2>/dev/null", &ok);
    if (ok && version.find("ImageMagick") != std::string::npos)
      return command;
  }
  throw std::runtime_error("ImageMagick is not installed: install the Debian package imagemagick "
                           "(looked for magick, convert-im6.q16, convert-im6 and convert)");
}

} // namespace

const std::string &imagemagick_command() {
  static const std::string command = find_converter();
  return command;
}

void imagemagick(const std::string &args) {
  const std::string command = shell_quote(imagemagick_command()) + " " + args + " 2>&1";
  bool ok = false;
  const std::string said = output_of(command, &ok);
  if (!ok)
    throw std::runtime_error("failed: " + command + "\n" + said);
}

std::vector<uint8_t> imagemagick_rgba(const std::string &file) {
  const std::string command = shell_quote(imagemagick_command()) + " " + shell_quote(file + "[0]") + " -depth 8 rgba:-";
  bool ok = false;
  const std::string out = output_of(command, &ok);
  if (!ok)
    throw std::runtime_error("failed: " + command);
  return {out.begin(), out.end()};
}

} // namespace vex::testkit
