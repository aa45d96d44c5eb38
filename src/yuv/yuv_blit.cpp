// The exported blitters: scaling modes, row selection and chroma phase on
// top of the row converters.
#include <atomic>
#include <cstring>

#include "vexutil/yuv.h"
#include "yuv/yuv_rows.h"
#include "yuv/yuv_tables.h"

namespace vex::yuv {

namespace {

// The pixel type YUV_init recorded; nothing depends on it yet. Atomic, as
// any thread may call YUV_init.
std::atomic<int32_t> current_type{-1};

struct Geometry {
  uint8_t *dest;       // first destination pixel
  ptrdiff_t dest_step; // bytes from one converted source row to the next
  bool twice;          // each converted row also goes to the row below
  RowFormat format;
};

// Scaling mode (flags bits 28-30) -> how rows and pixels are laid out.
Geometry layout(uint8_t *dest, int32_t dx, int32_t dy, ptrdiff_t pitch, uint32_t flags) {
  const uint32_t mode = (flags & YUV_MODE_MASK) >> YUV_MODE_SHIFT;
  if (mode == 6)
    pitch *= 2; // even source rows into even destination rows
  Geometry g{dest + dy * pitch + 4 * ptrdiff_t{dx}, pitch, false, {}};
  g.format.double_width = mode == 3 || mode == 4 || mode == 5;
  g.format.grey = (flags & YUV_GREY) != 0;
  g.format.swap = (flags & YUV_SWAP_CHROMA) != 0;
  if (mode == 2 || mode == 5)
    g.dest_step = 2 * pitch; // rows between are left as they were
  if (mode == 1 || mode == 4) {
    g.twice = true;
    g.dest_step = 2 * pitch;
  }
  return g;
}

void blit(void *dest, int32_t dx, int32_t dy, int32_t dest_pitch, const uint8_t *frame, int32_t sx, int32_t sy,
          int32_t width, int32_t height, int32_t pitch, int32_t rows, const uint8_t *alpha, uint32_t flags) {
  if (!dest || !frame || width <= 0 || height <= 0 || pitch <= 0 || rows <= 0 || sx < 0 || sy < 0)
    return;
  // Chroma planes sit after the luma plane; their place does not change
  // when mode 6 below reinterprets pitch and rows.
  const ptrdiff_t luma_size = ptrdiff_t{pitch} * rows;
  const uint8_t *plane1 = frame + luma_size;
  const uint8_t *plane2 = plane1 + ptrdiff_t{pitch / 2} * (rows / 2);
  ptrdiff_t luma_pitch = pitch;
  if ((flags & YUV_MODE_MASK) >> YUV_MODE_SHIFT == 6) { // only the even source rows
    height /= 2;
    sy /= 2;
    luma_pitch *= 2;
  }
  const ptrdiff_t chroma_pitch = luma_pitch / 2;
  const Geometry g = layout(static_cast<uint8_t *>(dest), dx, dy, dest_pitch, flags);
  const bool simd = (flags & YUV_NO_SIMD) == 0 && simd_available();
  const size_t row_bytes = size_t(width) * 4 * (g.format.double_width ? 2 : 1);
  const auto source_row = [&](int32_t y) {
    const ptrdiff_t c = (y >> 1) * chroma_pitch + (sx >> 1);
    return SourceRow{frame + y * luma_pitch + sx, plane1 + c, plane2 + c,
                     alpha ? alpha + y * luma_pitch + sx : nullptr, sx & 1, width};
  };
  const auto finish = [&](uint8_t *out) {
    if (g.twice)
      std::memcpy(out + g.dest_step / 2, out, row_bytes);
  };
  uint8_t *out = g.dest;
  for (int32_t r = 0; r < height;) {
    const int32_t y = sy + r;
    auto *pixels = reinterpret_cast<uint32_t *>(out);
    if (simd && (y & 1) == 0 && r + 1 < height) { // two luma rows on one chroma row
      uint8_t *next = out + g.dest_step;
      convert_row_pair_simd(source_row(y), source_row(y + 1), g.format, pixels, reinterpret_cast<uint32_t *>(next));
      finish(out);
      finish(next);
      out = next + g.dest_step;
      r += 2;
      continue;
    }
    if (simd)
      convert_row_simd(source_row(y), g.format, pixels);
    else
      convert_row_plain(source_row(y), g.format, pixels);
    finish(out);
    out += g.dest_step;
    ++r;
  }
}

} // namespace

} // namespace vex::yuv

extern "C" void YUV_init(int32_t type) {
  vex::yuv::tables(); // built once, on first use
  if (type != -1)
    vex::yuv::current_type.store(type, std::memory_order_relaxed);
}

extern "C" void YUV_blit_32bpp(void *dest, int32_t dest_x, int32_t dest_y, int32_t dest_pitch, const uint8_t *frame,
                               int32_t src_x, int32_t src_y, int32_t width, int32_t height, int32_t pitch,
                               int32_t rows, uint32_t flags) {
  vex::yuv::blit(dest, dest_x, dest_y, dest_pitch, frame, src_x, src_y, width, height, pitch, rows, nullptr, flags);
}

extern "C" void YUV_blit_32abpp(void *dest, int32_t dest_x, int32_t dest_y, int32_t dest_pitch, const uint8_t *frame,
                                int32_t src_x, int32_t src_y, int32_t width, int32_t height, int32_t pitch,
                                int32_t rows, const uint8_t *alpha, uint32_t flags) {
  vex::yuv::blit(dest, dest_x, dest_y, dest_pitch, frame, src_x, src_y, width, height, pitch, rows, alpha, flags);
}
