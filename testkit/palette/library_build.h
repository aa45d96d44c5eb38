// The library's palette build called the way the tests call it: a
// histogram of 2^18 counters, the usable entries and the system-colours
// option, the previous frame's usage and the palette to start from; gives
// what the build returned and the palette it left.
#pragma once

#include <cstdint>
#include <vector>

#include "palette/palette_build.h"

namespace vex::palette::test {

struct LibraryBuilt {
  util::Status status = util::Status::kOk;
  PaletteOutcome outcome;
  std::vector<uint8_t> palette;
};

inline LibraryBuilt library_build(const std::vector<uint32_t> &histogram, uint32_t first, uint32_t count,
                                  int32_t option, const UsageCounts &usage, std::vector<uint8_t> palette,
                                  const MessageFn &talk = {}) {
  LibraryBuilt r{util::Status::kOk, {}, std::move(palette)};
  const PaletteRequest q{std::span<const uint32_t, kBucketCount>(histogram.data(), kBucketCount),
                         first,
                         count,
                         static_cast<SystemColours>(option),
                         &usage,
                         Palette(r.palette.data(), kPaletteBytes),
                         talk};
  r.status = build_palette(q, r.outcome);
  return r;
}

} // namespace vex::palette::test
