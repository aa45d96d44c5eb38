#include "testkit/platform/ffmpeg_tool.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace vex::testkit {

namespace {
std::string run(const std::string &command, bool want_output) {
  FILE *p = popen(command.c_str(), "r");
  if (!p)
    throw std::runtime_error("cannot start: " + command);
  std::string out;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0)
    if (want_output)
      out.append(chunk, n);
  const int status = pclose(p);
  if (status != 0)
    throw std::runtime_error("failed (is the ffmpeg tool installed?): " + command);
  return out;
}

std::string quoted(const std::string &s) { return "'" + s + "'"; }
} // namespace

void ffmpeg(const std::string &args) { run("ffmpeg -nostdin -hide_banner -y -loglevel error " + args, false); }

std::vector<uint8_t> ffmpeg_decode(const std::string &file, const std::string &output_options) {
  const std::string out =
      run("ffmpeg -nostdin -hide_banner -loglevel error -i " + quoted(file) + " " + output_options + " -", true);
  return {out.begin(), out.end()};
}

std::string ffprobe(const std::string &file, const std::string &args) {
  return run("ffprobe -v error " + args + " " + quoted(file), true);
}

std::vector<uint32_t> ffprobe_video_packet_sizes(const std::string &file) {
  std::istringstream in(ffprobe(file, "-select_streams v:0 -show_entries packet=size -of csv=p=0"));
  std::vector<uint32_t> sizes;
  for (std::string line; std::getline(in, line);)
    if (!line.empty())
      sizes.push_back(static_cast<uint32_t>(std::stoul(line)));
  return sizes;
}

} // namespace vex::testkit
