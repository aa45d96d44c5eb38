#include "testkit/gfile/picture_set.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "testkit/util/ffmpeg_tool.h"

namespace vex::testkit {

namespace {

std::pair<uint32_t, uint32_t> picture_size(const std::string &path) {
  std::istringstream in(ffprobe(path, "-select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x"));
  uint32_t w = 0, h = 0;
  char x = 0;
  in >> w >> x >> h;
  if (w == 0 || h == 0)
    throw std::runtime_error("no picture size for " + path);
  return {w, h};
}

std::vector<Picture> split_frames(const std::string &name, const std::vector<uint8_t> &all, uint32_t w, uint32_t h) {
  const size_t frame = size_t{w} * h * 3;
  if (all.empty() || all.size() % frame != 0)
    throw std::runtime_error("ffmpeg output of " + name + " is not a whole number of frames");
  std::vector<Picture> out;
  for (size_t at = 0; at < all.size(); at += frame)
    out.push_back({name + "#" + std::to_string(out.size()), w, h,
                   std::vector<uint8_t>(all.begin() + static_cast<ptrdiff_t>(at),
                                        all.begin() + static_cast<ptrdiff_t>(at + frame))});
  return out;
}

} // namespace

std::optional<std::string> photo_dir() {
  for (const char *dir :
       {static_cast<const char *>(std::getenv("VEXUTIL_PHOTO_DIR")), "/usr/lib/python3/dist-packages/skimage/data"})
    if (dir != nullptr && std::filesystem::exists(std::filesystem::path(dir) / "astronaut.png"))
      return std::string(dir);
  return std::nullopt;
}

const std::vector<std::string> &photo_names() {
  static const std::vector<std::string> names{"astronaut.png", "chelsea.png",         "coffee.png",
                                              "rocket.jpg",    "motorcycle_left.png", "hubble_deep_field.jpg",
                                              "ihc.png"};
  return names;
}

Picture load_picture(const std::string &path) {
  const auto [w, h] = picture_size(path);
  auto frames = split_frames(std::filesystem::path(path).filename().string(),
                             ffmpeg_decode(path, "-frames:v 1 -f rawvideo -pix_fmt rgb24"), w, h);
  frames[0].name = std::filesystem::path(path).filename().string();
  return frames[0];
}

std::optional<std::string> movie_file() {
  const char *path = "/usr/lib/python3/dist-packages/imageio/resources/images/cockatoo.mp4";
  if (std::filesystem::exists(path))
    return std::string(path);
  return std::nullopt;
}

std::vector<Picture> movie_frames(const std::string &path, uint32_t count, uint32_t step) {
  const auto [w, h] = picture_size(path);
  const std::string select = "-vf \"select=not(mod(n\\," + std::to_string(step) +
                             "))\" -fps_mode passthrough -frames:v " + std::to_string(count) +
                             " -f rawvideo -pix_fmt rgb24";
  return split_frames(std::filesystem::path(path).filename().string(), ffmpeg_decode(path, select, "-threads 1"), w, h);
}

Picture test_source_frame(const std::string &source, uint32_t width, uint32_t height) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  auto frames = split_frames(
      source, ffmpeg_decode(source + "=size=" + size, "-frames:v 1 -f rawvideo -pix_fmt rgb24", "-f lavfi"), width,
      height);
  frames[0].name = source;
  return frames[0];
}

std::vector<uint32_t> picture_histogram(const Picture &p) {
  auto h = palette::make_histogram();
  std::vector<uint8_t> bgr(size_t{p.width} * 3);
  for (uint32_t y = 0; y < p.height; ++y) {
    const uint8_t *row = &p.rgb[size_t{y} * p.width * 3];
    for (uint32_t x = 0; x < p.width * 3; x += 3) {
      bgr[x] = row[x + 2];
      bgr[x + 1] = row[x + 1];
      bgr[x + 2] = row[x];
    }
    palette::count_row24(palette::Histogram(h.data(), palette::kBucketCount), bgr);
  }
  return h;
}

std::vector<uint8_t> map_to_palette(const Picture &p, const uint8_t *palette, uint32_t entries) {
  // Pictures repeat colours a lot: remember each colour's answer.
  std::vector<int16_t> memo(size_t{1} << 24, -1);
  std::vector<uint8_t> out(size_t{p.width} * p.height);
  for (size_t i = 0; i < out.size(); ++i) {
    const uint8_t *c = &p.rgb[i * 3];
    const uint32_t key = uint32_t{c[0]} << 16 | uint32_t{c[1]} << 8 | c[2];
    if (memo[key] < 0) {
      uint32_t best = 0, best_d = UINT32_MAX;
      for (uint32_t e = 0; e < entries; ++e) {
        const int dr = c[0] - palette[e * 3], dg = c[1] - palette[e * 3 + 1], db = c[2] - palette[e * 3 + 2];
        const auto d = static_cast<uint32_t>(dr * dr + dg * dg + db * db);
        if (d < best_d) {
          best_d = d;
          best = e;
        }
      }
      memo[key] = static_cast<int16_t>(best);
    }
    out[i] = static_cast<uint8_t>(memo[key]);
  }
  return out;
}

std::vector<uint8_t> indices_to_rgb(const std::vector<uint8_t> &indices, const uint8_t *palette) {
  std::vector<uint8_t> out;
  out.reserve(indices.size() * 3);
  for (uint8_t i : indices)
    out.insert(out.end(), {palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]});
  return out;
}

} // namespace vex::testkit
