// Oracles and streams for the Huffman tests: the cost of an optimal prefix
// code from a textbook min-heap construction, a plain transcription of the
// construction's sorted list on a vector, symbol streams with known code
// depths or many repeats, and the bytes a piece of code writes to a VEXFILE.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "huff/huff_weight_list.h"
#include "vexutil/file.h"

namespace vex::testkit {

// Runs body on a VEXFILE in a temporary folder and returns the bytes
// written (the last byte padded with 0 bits).
std::vector<uint8_t> capture_bits(const std::function<void(VEXFILE *)> &body);

// Weighted path length of an optimal prefix code for the symbols' counts:
// the sum of all merged weights of a min-heap construction.
uint64_t optimal_cost(const std::vector<uint32_t> &symbols);

// Symbol s repeated as often as the s-th Fibonacci number (1, 1, 2, 3, ...):
// the deepest possible tree, depth = symbols - 1. In order, not shuffled.
std::vector<uint32_t> fibonacci_stream(uint32_t symbols);

// 16-bit symbols, many of them repeats of the three most recent or drawn
// from a small pool.
std::vector<uint32_t> recent_heavy_stream(uint32_t seed, size_t count);

// Descending weight; binary search; shortcut when the run from the
// insertion point to the end has one weight; otherwise shift up.
struct PlainWeightList {
  std::vector<huff::WeightedRef> v;
  void insert(huff::WeightedRef e);
  huff::WeightedRef pop_last();
};

} // namespace vex::testkit
