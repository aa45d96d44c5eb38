// The transform codec's block read as its layout is written down, one bit
// and one field at a time, with no code of the library's reader: the oracle
// the fast reader (an accumulator refilled 8 bytes at a time, tables for
// run headers and narrow coefficients) is compared with.
#pragma once

#include <cstdint>
#include <vector>

#include "audio_codec/block_layout.h"

namespace vex::testkit {

// Bit i of the stream is bit i % 8 of byte i / 8; bits past the end are 0.
class PlainBits {
public:
  PlainBits(const uint8_t *data, uint32_t size) : data_(data), size_(size) {}
  uint32_t get(uint32_t bits);
  uint64_t at() const { return at_; }

private:
  const uint8_t *data_;
  uint32_t size_;
  uint64_t at_ = 0;
};

struct PlainBlock {
  audio_codec::BlockContent c{}; // x0 and x1 left 0: see the raw bits
  uint32_t x0_bits = 0, x1_bits = 0;
  bool complete = false; // every field within the size given
  uint32_t used = 0;     // bytes, in whole 32-bit words, at most the size
};
PlainBlock plain_read(const std::vector<uint8_t> &block, uint32_t size, uint32_t n, uint32_t bands);

// The run headers of a block: flag, code (when the flag is 1) and width.
struct RunHeader {
  uint32_t flag, code, width;
  bool operator==(const RunHeader &) const = default;
};
std::vector<RunHeader> plain_runs(const std::vector<uint8_t> &block, uint32_t n, uint32_t bands);

} // namespace vex::testkit
