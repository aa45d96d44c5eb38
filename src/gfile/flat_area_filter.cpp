// One pass over the frame: each source row is converted once into a ring
// of three 24-bit rows; the per-channel minimum and maximum of the three
// rows above, on and below the current one are formed column by column
// (bytes of all channels at once, which the compiler vectorises), then
// across three columns, and the decision and the quantisation follow pixel
// by pixel. Only the row conversion depends on the source depth.
#include "gfile/flat_area_filter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace vex::gfile {

namespace {

// 8 x 8 ordered-dither thresholds, indexed by the running dither index.
constexpr std::array<uint8_t, 64> kDither = {
    0, 11, 3, 14, 1, 12, 3, 15, 8,  4, 11, 7, 8,  5, 11, 7, //
    2, 13, 1, 12, 2, 14, 2, 13, 9,  6, 8,  5, 10, 6, 9,  5, //
    0, 12, 3, 15, 0, 12, 3, 14, 8,  4, 11, 7, 8,  4, 11, 7, //
    2, 14, 1, 13, 2, 14, 1, 13, 10, 6, 9,  5, 10, 6, 9,  5, //
};
// The dither index before the second row.
constexpr int kFirstDither = 56;
// Neighbourhoods whose every channel stays below this are left alone.
constexpr int kDarkLimit = 32;
// Summed channel ranges at or below kFlatRange, or at or above kBusyRange,
// are left alone.
constexpr int kFlatRange = 4;
constexpr int kBusyRange = 16;

// Row converters: `width` source pixels to blue, green, red bytes.
template <int Depth> struct Row;

template <> struct Row<4> {
  static void convert(const uint8_t *s, const uint8_t (*pal)[3], int width, uint8_t *d) {
    for (int x = 0; x < width; ++x, d += 3) {
      const uint8_t byte = s[x >> 1];
      const uint8_t *c = pal[(x & 1) ? byte >> 4 : byte & 15];
      d[0] = c[2];
      d[1] = c[1];
      d[2] = c[0];
    }
  }
};

template <> struct Row<8> {
  static void convert(const uint8_t *s, const uint8_t (*pal)[3], int width, uint8_t *d) {
    for (int x = 0; x < width; ++x, d += 3) {
      const uint8_t *c = pal[s[x]];
      d[0] = c[2];
      d[1] = c[1];
      d[2] = c[0];
    }
  }
};

template <> struct Row<16> {
  static void convert(const uint8_t *s, const uint8_t (*)[3], int width, uint8_t *d) {
    for (int x = 0; x < width; ++x, d += 3, s += 2) {
      const unsigned v = s[0] | unsigned{s[1]} << 8;
      d[0] = static_cast<uint8_t>((v & 31) << 3);
      d[1] = static_cast<uint8_t>(((v >> 5) & 31) << 3);
      d[2] = static_cast<uint8_t>(((v >> 10) & 31) << 3);
    }
  }
};

template <> struct Row<24> {
  static void convert(const uint8_t *s, const uint8_t (*)[3], int width, uint8_t *d) {
    std::memcpy(d, s, static_cast<size_t>(width) * 3);
  }
};

template <> struct Row<32> {
  static void convert(const uint8_t *s, const uint8_t (*)[3], int width, uint8_t *d) {
    for (int x = 0; x < width; ++x, d += 3, s += 4) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
  }
};

// Per-channel extremes of a neighbourhood, kept as bytes b, g, r per column.
struct Extremes {
  std::vector<uint8_t> lo, hi;
  void resize(size_t n) {
    lo.resize(n);
    hi.resize(n);
  }
};

// The three rows' extremes column by column (n = width x 3 bytes).
void vertical(const uint8_t *a, const uint8_t *b, const uint8_t *c, size_t n, Extremes &v) {
  uint8_t *lo = v.lo.data(), *hi = v.hi.data();
  for (size_t i = 0; i < n; ++i) {
    lo[i] = std::min({a[i], b[i], c[i]});
    hi[i] = std::max({a[i], b[i], c[i]});
  }
}

// Across the columns left and right: byte i of the result covers bytes
// i - 3, i and i + 3 of the vertical extremes (the same channel of the
// neighbouring pixels), for the inner pixels 1 .. width - 2.
void horizontal(const Extremes &v, size_t n, Extremes &h) {
  const uint8_t *vlo = v.lo.data(), *vhi = v.hi.data();
  uint8_t *lo = h.lo.data(), *hi = h.hi.data();
  for (size_t i = 3; i + 3 < n; ++i) {
    lo[i] = std::min({vlo[i - 3], vlo[i], vlo[i + 3]});
    hi[i] = std::max({vhi[i - 3], vhi[i], vhi[i + 3]});
  }
}

inline uint8_t quantise(uint8_t v, int t) {
  const int q = ((v >> 4) + (t < (v & 15) ? 1 : 0)) << 4;
  return static_cast<uint8_t>(q > 255 ? 255 : q);
}

// The inner pixels of one row: `in` is the converted row, `out` the
// destination row (its first and last pixel already written). Returns the
// dither index after the row. Both outcomes are computed and one chosen, so
// the loop does not branch on the picture.
int filter_row(const uint8_t *in, const Extremes &h, int width, int d, uint8_t *out) {
  if (d % 8 == 0)
    d += 8;
  --d;
  const uint8_t *lo = h.lo.data(), *hi = h.hi.data();
  for (int x = 1; x + 1 < width; ++x) {
    d = d >= 8 ? d - 8 : d + 56;
    const size_t i = static_cast<size_t>(x) * 3;
    const int range = (hi[i] - lo[i]) + (hi[i + 1] - lo[i + 1]) + (hi[i + 2] - lo[i + 2]);
    // All three below a power of two: so is their bitwise or.
    static_assert((kDarkLimit & (kDarkLimit - 1)) == 0);
    const bool dark = (hi[i] | hi[i + 1] | hi[i + 2]) < kDarkLimit;
    const bool keep = dark || range <= kFlatRange || range >= kBusyRange;
    const int t = kDither[static_cast<size_t>(d)];
    for (size_t c = 0; c < 3; ++c)
      out[i + c] = keep ? in[i + c] : quantise(in[i + c], t);
  }
  return d;
}

template <int Depth>
void run(const uint8_t *src, ptrdiff_t src_pitch, const uint8_t (*pal)[3], int width, int height, uint8_t *dst,
         ptrdiff_t dst_pitch) {
  const size_t n = static_cast<size_t>(width) * 3;
  auto source_row = [&](int y) { return src + y * src_pitch; };
  auto dest_row = [&](int y) { return dst + y * dst_pitch; };
  if (width < 3 || height < 3) { // no inner pixels
    for (int y = 0; y < height; ++y)
      Row<Depth>::convert(source_row(y), pal, width, dest_row(y));
    return;
  }
  // Ring of three converted rows: row y lives in slot y % 3.
  std::vector<uint8_t> ring(n * 3);
  auto slot = [&](int y) { return ring.data() + static_cast<size_t>(y % 3) * n; };
  Extremes v, h;
  v.resize(n);
  h.resize(n);
  Row<Depth>::convert(source_row(0), pal, width, slot(0));
  Row<Depth>::convert(source_row(1), pal, width, slot(1));
  std::memcpy(dest_row(0), slot(0), n);
  int d = kFirstDither;
  for (int y = 1; y + 1 < height; ++y) {
    Row<Depth>::convert(source_row(y + 1), pal, width, slot(y + 1));
    const uint8_t *row = slot(y);
    uint8_t *out = dest_row(y);
    vertical(slot(y - 1), row, slot(y + 1), n, v);
    horizontal(v, n, h);
    std::memcpy(out, row, 3);
    std::memcpy(out + n - 3, row + n - 3, 3);
    d = filter_row(row, h, width, d, out);
  }
  std::memcpy(dest_row(height - 1), slot(height - 1), n);
}

} // namespace

void flat_area_filter(const uint8_t *src, ptrdiff_t src_pitch, int depth, const uint8_t (*palette)[3], int width,
                      int height, uint8_t *dst, ptrdiff_t dst_pitch) {
  if (!src || !dst || width < 1 || height < 1)
    return;
  if ((depth == 4 || depth == 8) && !palette)
    return;
  switch (depth) {
  case 4: return run<4>(src, src_pitch, palette, width, height, dst, dst_pitch);
  case 8: return run<8>(src, src_pitch, palette, width, height, dst, dst_pitch);
  case 16: return run<16>(src, src_pitch, palette, width, height, dst, dst_pitch);
  case 24: return run<24>(src, src_pitch, palette, width, height, dst, dst_pitch);
  case 32: return run<32>(src, src_pitch, palette, width, height, dst, dst_pitch);
  default: return;
  }
}

} // namespace vex::gfile
