#include "yuv/yuv_tables.h"

namespace vex::yuv {

namespace {

Tables build() {
  Tables t{};
  for (int32_t i = 0; i < 256; ++i) {
    const int32_t luma = i < 16 ? 0 : i > 235 ? 219 : i - 16;
    t.yt[i] = luma * 38154 / 32768;
    t.rv[i] = 52299 * (i - 128) / 32768; // C++ division truncates toward zero
    t.gv[i] = 26639 * (128 - i) / 32768;
    t.gu[i] = 12837 * (128 - i) / 32768;
    t.bu[i] = 66101 * (i - 128) / 32768;
    const uint32_t g = i <= 16 ? 0u : i >= 235 ? 255u : static_cast<uint32_t>(255 * (i - 16) / 219);
    t.grey[i] = g * 0x010101u;
  }
  return t;
}

} // namespace

const Tables &tables() {
  static const Tables t = build();
  return t;
}

} // namespace vex::yuv
