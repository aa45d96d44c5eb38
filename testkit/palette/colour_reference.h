// Plain searches the colour-matching code must agree with, written one
// pixel and one entry at a time, and the 6-bit histogram of pictures
// counted the same way. Slow on purpose; only the tests use them.
#pragma once

#include <cstdint>
#include <vector>

namespace vex::testref {

// The 6-bit histogram (2^18 counters, red << 12 | green << 6 | blue) of
// frames of packed blue, green, red pixels.
std::vector<uint32_t> histogram_bgr(const std::vector<std::vector<uint8_t>> &frames);

// The entry of first .. first + count - 1 nearest to a blue, green, red
// pixel by squared distance at 6 bits a channel; the first of equals.
int nearest6(const uint8_t (*palette)[3], const uint8_t *bgr, int first, int count);

// Where the remap table of 8-bit output sends source index i of colour
// `rgb`: the entry j of first .. first + count - 1 with the smallest
// (squared 8-bit distance) x 256 + |i - j|, searched in wrap order from i
// (from first when i lies outside the range), the first of equals.
uint32_t remap(const uint8_t *rgb, const uint8_t (*palette)[3], uint32_t i, uint32_t first, uint32_t count);

} // namespace vex::testref
