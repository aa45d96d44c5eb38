#include "testkit/flic/ffmpeg_tool.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace vex::testkit {

std::string shell_quote(const std::string &s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::vector<ByteVec> ffmpeg_decode_rgb(const std::string &path, uint32_t width, uint32_t height) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
    throw std::runtime_error("the ffmpeg tool is not installed (Debian package ffmpeg); it is the independent "
                             "decoder these tests compare against");
  const std::string cmd = "ffmpeg -v error -nostdin -i " + shell_quote(path) +
                          " -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -";
  FILE *p = popen(cmd.c_str(), "r");
  if (!p)
    throw std::runtime_error("cannot run: " + cmd);
  ByteVec all;
  char buf[65536];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
    all.insert(all.end(), buf, buf + n);
  if (pclose(p) != 0)
    throw std::runtime_error("ffmpeg failed on " + path);
  const size_t frame = size_t{width} * height * 3;
  if (frame == 0 || all.size() % frame != 0)
    throw std::runtime_error("ffmpeg output of " + path + " is not a whole number of frames");
  std::vector<ByteVec> frames;
  for (size_t at = 0; at < all.size(); at += frame)
    frames.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(at),
                        all.begin() + static_cast<std::ptrdiff_t>(at + frame));
  return frames;
}

} // namespace vex::testkit
