// A slow, direct transcription of the flat-area filter for the tests and
// the benchmark: every output pixel looks up its own nine neighbours in the
// source frame, one pixel at a time. It shares no code with the library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
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

// A frame to filter: gently shaded areas (slopes of a few steps over a
// handful of pixels, a little noise, dark patches) and occasional sharp
// pixels, so that copied and quantised pixels both occur at every depth.
// Rows of `pitch` bytes (a few more than a row needs), the rest 0xA5.
struct TestFrame {
  int width, height, depth;
  size_t pitch;
  std::vector<uint8_t> bytes;
  std::array<std::array<uint8_t, 3>, 256> palette{}; // neighbouring indices are neighbouring shades
};
TestFrame shaded_frame(int width, int height, int depth, std::mt19937 &rng);

} // namespace flat_area_reference
