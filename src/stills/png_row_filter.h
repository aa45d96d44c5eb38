// PNG row prediction (filter method 0). Each stored row is one filter-type
// byte and the row's bytes less a prediction from the pixel to the left
// (a), the one above (b) and the one above-left (c), modulo 256:
//   0 none, 1 sub (a), 2 up (b), 3 average (floor((a + b) / 2)),
//   4 Paeth (whichever of a, b, c is nearest to a + b - c; ties a, then b).
// Left of the first pixel and above the first row count as 0.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace vex::stills::png {

enum class Filter : uint8_t { none = 0, sub = 1, up = 2, average = 3, paeth = 4 };

// Blue, green, red pixels (the still image's order) into red, green, blue
// (the PNG's).
void bgr_to_rgb(const uint8_t *bgr, uint8_t *rgb, size_t pixels);

class RowFilter {
public:
  // Rows of `row_bytes` bytes with `pixel_bytes` bytes a pixel.
  RowFilter(size_t row_bytes, size_t pixel_bytes);

  // Writes the filter byte and the filtered row (row_bytes + 1 bytes) to
  // `out`. `above` is the previous row as it was before filtering, or
  // empty for the first row. adaptive: the filter whose output has the
  // smallest sum of bytes taken as signed magnitudes (a row that predicts
  // well is mostly small values, which the compressor codes shortest);
  // ties go to the lower filter number. Otherwise `fixed` is used.
  void filter(std::span<const uint8_t> row, std::span<const uint8_t> above, bool adaptive, Filter fixed, uint8_t *out);

private:
  size_t n_, bpp_;
  std::vector<uint8_t> zero_row_;                // stands for the row above the first
  std::array<std::vector<uint8_t>, 5> trial_;    // one filtered row per filter
};

} // namespace vex::stills::png
