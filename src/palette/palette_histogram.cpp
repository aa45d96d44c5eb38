#include "palette/palette_histogram.h"

#include <algorithm>

namespace vex::palette {

namespace {

uint64_t magnitude(int32_t v) { return v < 0 ? uint64_t{0} - static_cast<uint64_t>(int64_t{v}) : uint64_t(v); }

// Buckets of the 256 palette entries, looked up per pixel.
std::array<uint32_t, 256> palette_buckets(ConstPalette palette) {
  std::array<uint32_t, 256> b{};
  for (uint32_t i = 0; i < 256; ++i)
    b[i] = bucket_of8(palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]);
  return b;
}

// The 5-bit fields of a 5-5-5 pixel as the top 5 of 6 bits:
// red bits 10-14 -> 13-17, green 5-9 -> 7-11, blue 0-4 -> 1-5.
constexpr uint32_t bucket_of555(uint32_t p) { return (p & 0x7C00) << 3 | (p & 0x03E0) << 2 | (p & 0x001F) << 1; }

} // namespace

std::vector<uint32_t> make_histogram() { return std::vector<uint32_t>(kBucketCount, 0); }

void count_row4(Histogram h, std::span<const uint8_t> row, uint32_t pixels, ConstPalette palette) {
  const auto buckets = palette_buckets(palette);
  pixels = static_cast<uint32_t>(std::min<uint64_t>(pixels, uint64_t{2} * row.size()));
  for (uint32_t x = 0; x + 1 < pixels; x += 2) {
    const uint8_t v = row[x / 2];
    ++h[buckets[v & 15]];
    ++h[buckets[v >> 4]];
  }
  if (pixels & 1)
    ++h[buckets[row[pixels / 2] & 15]];
}

void count_row8(Histogram h, std::span<const uint8_t> row, ConstPalette palette) {
  // Index counts first (a cheap increment into 256 counters that stay in
  // cache), then one add per palette entry.
  std::array<uint32_t, 256> n{};
  for (uint8_t v : row)
    ++n[v];
  const auto buckets = palette_buckets(palette);
  for (uint32_t i = 0; i < 256; ++i)
    h[buckets[i]] += n[i];
}

void count_row16(Histogram h, std::span<const uint8_t> row) {
  const uint8_t *p = row.data();
  for (size_t n = row.size() / 2; n > 0; --n, p += 2)
    ++h[bucket_of555(uint32_t{p[0]} | uint32_t{p[1]} << 8)];
}

void count_row24(Histogram h, std::span<const uint8_t> row) {
  const uint8_t *p = row.data();
  for (size_t n = row.size() / 3; n > 0; --n, p += 3)
    ++h[bucket_of8(p[2], p[1], p[0])];
}

void count_row32(Histogram h, std::span<const uint8_t> row) {
  const uint8_t *p = row.data();
  for (size_t n = row.size() / 4; n > 0; --n, p += 4)
    ++h[bucket_of8(p[2], p[1], p[0])];
}

bool count_window(Histogram h, const PixelWindow &w) {
  if (w.width == 0 || w.height == 0)
    return true;
  if (w.first_row == nullptr || ((w.depth == 4 || w.depth == 8) && w.palette == nullptr))
    return false;
  size_t row_bytes = 0;
  switch (w.depth) {
  case 4: row_bytes = (size_t{w.width} + 1) / 2; break;
  case 8: row_bytes = w.width; break;
  case 16: row_bytes = size_t{w.width} * 2; break;
  case 24: row_bytes = size_t{w.width} * 3; break;
  case 32: row_bytes = size_t{w.width} * 4; break;
  default: return false;
  }
  const uint8_t *row = w.first_row;
  for (uint32_t y = 0; y < w.height; ++y, row += w.pitch) {
    const std::span<const uint8_t> r(row, row_bytes);
    switch (w.depth) {
    case 4: count_row4(h, r, w.width, ConstPalette(w.palette, kPaletteBytes)); break;
    case 8: count_row8(h, r, ConstPalette(w.palette, kPaletteBytes)); break;
    case 16: count_row16(h, r); break;
    case 24: count_row24(h, r); break;
    default: count_row32(h, r); break;
    }
  }
  return true;
}

void add_uncovered_black(Histogram h, uint32_t visible_width, uint32_t visible_height, uint32_t uncovered_width,
                         uint32_t uncovered_height, int32_t origin_x, int32_t origin_y) {
  const uint64_t black = (uint64_t{visible_width} + uncovered_width + magnitude(origin_x)) * uncovered_height +
                         (uint64_t{uncovered_width} + magnitude(origin_y)) * visible_height;
  h[0] += static_cast<uint32_t>(black);
}

UsageCounts count_usage(std::span<const uint8_t> frame, uint32_t pitch, uint32_t width, uint32_t height,
                        int32_t origin_x, int32_t origin_y, uint32_t uncovered_width, uint32_t uncovered_height) {
  // Four sets of counters, so that runs of one index do not wait on their
  // own increments.
  std::array<std::array<uint32_t, 256>, 4> part{};
  const uint64_t first_row = origin_y < 0 ? magnitude(origin_y) : 0;
  for (uint64_t y = first_row; y < first_row + height; ++y) {
    const uint64_t start = y * pitch;
    if (start >= frame.size())
      break;
    const std::span<const uint8_t> row = frame.subspan(start, std::min<uint64_t>(width, frame.size() - start));
    size_t x = 0;
    for (; x + 4 <= row.size(); x += 4) {
      ++part[0][row[x]];
      ++part[1][row[x + 1]];
      ++part[2][row[x + 2]];
      ++part[3][row[x + 3]];
    }
    for (; x < row.size(); ++x)
      ++part[0][row[x]];
  }
  UsageCounts usage{};
  for (uint32_t i = 0; i < 256; ++i)
    usage[i] = part[0][i] + part[1][i] + part[2][i] + part[3][i];
  const uint64_t black = (magnitude(origin_x) + uncovered_width) * height +
                         (uint64_t{width} + uncovered_width) * (magnitude(origin_y) + uncovered_height);
  usage[0] += static_cast<uint32_t>(black);
  return usage;
}

} // namespace vex::palette
