#include "yuv/yuv_rows.h"
#include "yuv/yuv_tables.h"

namespace vex::yuv {

namespace {

uint32_t colour_pixel(const Tables &t, uint8_t y, uint8_t c1, uint8_t c2, bool swap) {
  const int32_t yt = t.yt[y];
  const uint32_t r = channel(yt, t.rv[c1]);
  const uint32_t g = channel(yt, t.gu[c2] + t.gv[c1]);
  const uint32_t b = channel(yt, t.bu[c2]);
  return swap ? b << 16 | g << 8 | r : r << 16 | g << 8 | b;
}

} // namespace

void convert_row_plain(const SourceRow &row, const RowFormat &format, uint32_t *out) {
  const Tables &t = tables();
  for (int32_t i = 0; i < row.width; ++i) {
    const int32_t c = (row.phase + i) >> 1;
    uint32_t p = format.grey ? t.grey[row.luma[i]] : colour_pixel(t, row.luma[i], row.c1[c], row.c2[c], format.swap);
    if (row.alpha)
      p |= uint32_t{row.alpha[i]} << 24;
    *out++ = p;
    if (format.double_width)
      *out++ = p;
  }
}

} // namespace vex::yuv
