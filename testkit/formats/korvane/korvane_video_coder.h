// The testkit's Korvane video coder. Per 4x4 block it picks void when the
// block is unchanged from the picture before (never in a key frame), solid
// for one colour, mono for two, full otherwise (version 4: doubled or
// half-height when the block really has that shape, so the coding stays
// exact), and codes runs of equal types. The output is a list of
// operations: symbols for the four trees and raw bits, in stream order.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vex::testkit::korvane {

enum TreeId : uint8_t { kTreeMonoMap = 0, kTreeMonoColours = 1, kTreeFull = 2, kTreeType = 3, kRawBit = 4 };

struct VideoOp {
  uint8_t tree;    // TreeId
  uint16_t value;  // symbol, or the raw bit
};

struct BlockCounts {
  uint32_t mono = 0, full = 0, doubled = 0, half = 0, voids = 0, solid = 0, runs = 0, long_runs = 0;
};

// Codes one stored picture (width x height, rows width apart) against the
// picture before it (same size): its whole 4x4 blocks, the columns and rows
// past the last whole block are not coded.
std::vector<VideoOp> code_picture(const uint8_t *pixels, const uint8_t *before, uint32_t width, uint32_t height,
                                  bool key, bool version4, BlockCounts &counts);

} // namespace vex::testkit::korvane
