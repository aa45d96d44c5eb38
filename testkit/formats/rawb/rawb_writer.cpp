#include "testkit/formats/rawb/rawb_writer.h"

#include <fstream>
#include <stdexcept>

#include "formats/rawb/rawb_format.h"
#include "util/bytes.h"

namespace vex::testkit::rawb {

namespace fmt = vex::formats::rawb;

std::vector<uint8_t> rawb_bytes(const Layout &layout, const std::vector<Frame> &frames) {
  std::vector<uint8_t> out(fmt::kMagic.begin(), fmt::kMagic.end());
  util::append_le32(out, layout.frame_count.value_or(static_cast<uint32_t>(frames.size())));
  util::append_le32(out, layout.width);
  util::append_le32(out, layout.height);
  util::append_le32(out, static_cast<uint32_t>(layout.speed));
  const size_t area = size_t{layout.width} * layout.height;
  for (const Frame &f : frames) {
    if (f.pixels.size() != area)
      throw std::invalid_argument("a raw frame must hold width x height pixels");
    for (const Palette &p : f.palettes) {
      util::append_le32(out, fmt::kTagPalette);
      out.insert(out.end(), p.begin(), p.end());
    }
    util::append_le32(out, fmt::kTagPixels);
    out.insert(out.end(), f.pixels.begin(), f.pixels.end());
  }
  return out;
}

void write_rawb(const std::string &path, const Layout &layout, const std::vector<Frame> &frames) {
  const std::vector<uint8_t> bytes = rawb_bytes(layout, frames);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out)
    throw std::runtime_error("cannot write " + path);
}

std::vector<Frame> random_frames(uint32_t width, uint32_t height, size_t count, std::mt19937 &rng) {
  std::vector<Frame> frames(count);
  for (size_t i = 0; i < count; ++i) {
    for (size_t k = 0; k < size_t(width) * height; ++k)
      frames[i].pixels.push_back(static_cast<uint8_t>(rng()));
    frames[i].palettes.resize(i == 0 ? 1 : i == 2 ? 2 : 0);
    for (auto &p : frames[i].palettes)
      for (auto &b : p)
        b = static_cast<uint8_t>(rng());
  }
  return frames;
}

} // namespace vex::testkit::rawb
