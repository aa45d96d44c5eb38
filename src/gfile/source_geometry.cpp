// Crop windows and rate arithmetic. Products of rates and frame counts
// exceed 64 bits in the worst case (three 32-bit factors), so they are
// taken in 128 bits and clamped.
#include "gfile/source_geometry.h"

#include <algorithm>

#include "util/limits.h"
#include "util/status.h"

namespace vex::gfile {
namespace {

__extension__ using Wide = unsigned __int128;

constexpr uint32_t kDefaultRate = 15;

int32_t clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

void reduce(uint32_t &num, uint32_t &den) { GCDNums(&num, &den); }

void set_axis(const CropAxis &c, int32_t &clip, int32_t &visible, int32_t &uncovered, int32_t &origin) {
  clip = c.clip;
  visible = c.visible;
  uncovered = c.uncovered;
  origin = c.origin;
}

} // namespace

CropAxis crop_axis(int32_t o, int32_t n, int32_t S) {
  const int64_t start = std::max<int64_t>(o, 0);
  const int64_t end = std::min<int64_t>(int64_t{o} + n, S);
  CropAxis c;
  c.clip = static_cast<int32_t>(start);
  c.visible = end > start ? static_cast<int32_t>(end - start) : 0;
  if (o >= S)
    c.uncovered = S;
  else if (int64_t{o} + n > S)
    c.uncovered = clamp32(int64_t{o} + n - S);
  if (o < 0)
    c.origin = o;
  else if (c.visible == 0)
    c.origin = -S;
  return c;
}

bool set_output_window(GFILE &g, int32_t x, int32_t y, int32_t width, int32_t height) {
  g.width = width > 0 ? width : g.source_width;
  g.height = height > 0 ? height : g.source_height;
  if (!util::picture_fits(static_cast<uint32_t>(g.width), static_cast<uint32_t>(g.height)))
    return util::fail(util::Status::kTooLarge, "the output window of %d x %d pixels is too large", g.width, g.height);
  g.pitch = (g.width + 3) & ~3;
  g.crop_x = x;
  g.crop_y = y;
  clip_window(g, g.source_width, g.source_height);
  return true;
}

void clip_window(GFILE &g, int32_t width, int32_t height) {
  set_axis(crop_axis(g.crop_x, g.width, width), g.clip_x, g.clip_width, g.uncovered_width, g.origin_x);
  set_axis(crop_axis(g.crop_y, g.height, height), g.clip_y, g.clip_height, g.uncovered_height, g.origin_y);
}

void set_rates(GFILE &g, uint32_t play_num, uint32_t play_den, uint32_t out_num, uint32_t out_den) {
  if (g.source_num == 0 || g.source_den == 0) {
    g.source_num = kDefaultRate;
    g.source_den = 1;
  }
  reduce(g.source_num, g.source_den);
  g.play_num = play_num && play_den ? play_num : g.source_num;
  g.play_den = play_num && play_den ? play_den : g.source_den;
  reduce(g.play_num, g.play_den);
  g.out_num = out_num && out_den ? out_num : g.play_num;
  g.out_den = out_num && out_den ? out_den : g.play_den;
  reduce(g.out_num, g.out_den);
  g.speed = clamp32(-static_cast<int64_t>(uint64_t{g.out_den} * 100000 / g.out_num));
  const Wide n = Wide{static_cast<uint32_t>(g.frame_count)} * g.play_den * g.out_num;
  const Wide d = Wide{g.out_den} * g.play_num;
  g.output_frames = static_cast<int32_t>(std::clamp<Wide>(n / d, 1, INT32_MAX));
}

int64_t source_frames_for(const GFILE &g, int64_t index) {
  const Wide n = Wide{static_cast<uint64_t>(std::max<int64_t>(index, 0))} * g.play_num * g.out_den;
  const Wide d = Wide{g.play_den} * g.out_num;
  return static_cast<int64_t>(std::min<Wide>(n / d, INT32_MAX)) + 1;
}

int64_t output_frames_for(const GFILE &g, int64_t source_frames) {
  const Wide n = Wide{static_cast<uint64_t>(std::max<int64_t>(source_frames, 0))} * g.out_num * g.play_den;
  const Wide d = Wide{g.play_num} * g.out_den;
  return static_cast<int64_t>(std::min<Wide>(n / d, INT32_MAX));
}

} // namespace vex::gfile
