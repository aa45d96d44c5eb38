// A slow, direct transcription of the flat-area filter for the tests and
// the benchmark: every output pixel looks up its own nine neighbours in the
// source frame, one pixel at a time. It shares no code with the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flat_area_reference {

struct Frame {
  const uint8_t *first_row;    // the first visible row
  ptrdiff_t pitch;             // bytes from one row to the next, signed
  int depth;                   // 4, 8, 16, 24 or 32
  const uint8_t (*palette)[3]; // red, green, blue (depths 4 and 8)
  int width, height;
};

struct Counts {
  size_t copied = 0, quantised = 0; // inner pixels by outcome
};

// Rows of width x 3 bytes (blue, green, red), packed.
std::vector<uint8_t> filter(const Frame &f, Counts *counts = nullptr);

} // namespace flat_area_reference
