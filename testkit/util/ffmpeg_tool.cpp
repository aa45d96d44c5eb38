#include "testkit/util/ffmpeg_tool.h"

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

} // namespace

std::string shell_quote(const std::string &s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

void ffmpeg(const std::string &args) { run("ffmpeg -nostdin -hide_banner -y -loglevel error " + args, false); }

std::vector<uint8_t> ffmpeg_decode(const std::string &file, const std::string &output_options,
                                   const std::string &input_options) {
  const std::string out = run("ffmpeg -nostdin -hide_banner -loglevel error " + input_options + " -i " +
                                  shell_quote(file) + " " + output_options + " -",
                              true);
  return {out.begin(), out.end()};
}

std::string ffprobe(const std::string &file, const std::string &args) {
  return run("ffprobe -v error " + args + " " + shell_quote(file), true);
}

std::vector<uint32_t> ffprobe_video_packet_sizes(const std::string &file) {
  std::istringstream in(ffprobe(file, "-select_streams v:0 -show_entries packet=size -of csv=p=0"));
  std::vector<uint32_t> sizes;
  for (std::string line; std::getline(in, line);)
    if (!line.empty())
      sizes.push_back(static_cast<uint32_t>(std::stoul(line)));
  return sizes;
}

std::vector<std::vector<uint8_t>> ffmpeg_decode_rgb(const std::string &file, uint32_t width, uint32_t height) {
  const std::vector<uint8_t> all = ffmpeg_decode(file, "-fps_mode passthrough -f rawvideo -pix_fmt rgb24");
  const size_t frame = size_t{width} * height * 3;
  if (frame == 0 || all.size() % frame != 0)
    throw std::runtime_error("ffmpeg output of " + file + " is not a whole number of frames");
  std::vector<std::vector<uint8_t>> frames;
  for (size_t at = 0; at < all.size(); at += frame)
    frames.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(at),
                        all.begin() + static_cast<std::ptrdiff_t>(at + frame));
  return frames;
}

} // namespace vex::testkit
