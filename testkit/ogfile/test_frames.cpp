#include "testkit/ogfile/test_frames.h"

#include <stdexcept>

namespace vex::testkit {

std::vector<uint8_t> indexed_frame(int32_t w, int32_t h, int32_t pitch, int f) {
  std::vector<uint8_t> out(static_cast<size_t>(pitch) * h, 0xEE);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      out[static_cast<size_t>(y) * pitch + x] = static_cast<uint8_t>((x * 7 + y * 13 + f * 29) % 0xEE);
  return out;
}

std::vector<uint8_t> palette(int p) {
  std::vector<uint8_t> out(768);
  for (int i = 0; i < 256; ++i) {
    out[i * 3] = static_cast<uint8_t>(i);
    out[i * 3 + 1] = static_cast<uint8_t>(255 - i);
    out[i * 3 + 2] = static_cast<uint8_t>((i * 5 + p * 77) & 0xFF);
  }
  return out;
}

std::vector<uint8_t> colour_frame(int32_t w, int32_t h, int32_t pitch, int f) {
  std::vector<uint8_t> out(static_cast<size_t>(pitch) * h * 4, 0xEE);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t *p = &out[(static_cast<size_t>(y) * pitch + x) * 4];
      p[0] = static_cast<uint8_t>(x * 9 + f * 3);
      p[1] = static_cast<uint8_t>(y * 11 + f * 7);
      p[2] = static_cast<uint8_t>((x + y) * 5 + f);
      p[3] = 0x55;
    }
  return out;
}

std::vector<uint8_t> rgb_of_indexed(const std::vector<uint8_t> &frame, int32_t w, int32_t h, int32_t pitch,
                                    const std::vector<uint8_t> &pal) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t i = frame[static_cast<size_t>(y) * pitch + x];
      out.insert(out.end(), pal.begin() + i * 3, pal.begin() + i * 3 + 3);
    }
  return out;
}

std::vector<uint8_t> rgb_of_colour(const std::vector<uint8_t> &frame, int32_t w, int32_t h, int32_t pitch) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t *p = &frame[(static_cast<size_t>(y) * pitch + x) * 4];
      out.insert(out.end(), {p[2], p[1], p[0]});
    }
  return out;
}

std::vector<uint8_t> drop_alpha(const std::vector<uint8_t> &rgba) {
  if (rgba.size() % 4)
    throw std::invalid_argument("not whole pixels of 4 bytes");
  std::vector<uint8_t> out;
  for (size_t i = 0; i < rgba.size(); i += 4)
    out.insert(out.end(), rgba.begin() + static_cast<ptrdiff_t>(i), rgba.begin() + static_cast<ptrdiff_t>(i) + 3);
  return out;
}

} // namespace vex::testkit
