// Palette building written as plainly as its description reads, as the
// reference the library's version must match bit for bit: every candidate
// split walks every bucket of its box, every placement step scans every
// free colour against every free entry, and nothing is kept between steps.
// Slow on purpose; only the tests use it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "palette/palette_tables.h"

namespace vex::testref {

using Callback = std::function<int32_t(const char *, int32_t)>;

struct Reduced {
  std::vector<palette::Rgb> colours;
  bool cancelled = false;
};

// Reduction of a histogram (2^18 counters) whose reserved buckets are
// already cleared, to at most `target` colours.
Reduced reduce(const std::vector<uint32_t> &histogram, int32_t target, const Callback &talk);

// Placement of colours into entries lo..hi (inclusive; none when hi < lo).
// Returns 'A' or 'B' for the candidate taken, 0 when nothing was placed.
char place(const std::vector<palette::Rgb> &colours, std::vector<uint8_t> &palette, int32_t lo, int32_t hi,
           const std::vector<uint32_t> &usage, const Callback &talk);

struct Built {
  std::vector<uint8_t> palette;
  size_t colours = 0;
  bool cancelled = false;
  char placement = 0;
};

// The whole of it: system colours and reserved entries, reduction,
// placement. option: 0 or 1 writes the system colours, 2 does not.
Built build(std::vector<uint32_t> histogram, int32_t first, int32_t count, int32_t option,
            const std::vector<uint32_t> &usage, std::vector<uint8_t> palette, const Callback &talk);

} // namespace vex::testref
