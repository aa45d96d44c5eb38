// Helpers for the buffered-file tests: whole-file reads and writes through
// the standard library (testkit), independent of the code under test, and a
// reference bit stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testkit/util/wav_file.h"

namespace vex::test {

using vex::testkit::read_file;
using vex::testkit::write_file;

// Reference LSB-first bit stream: the first bit is bit 0 of the first byte.
class BitModel {
public:
  void put(uint64_t v, unsigned width) {
    for (unsigned i = 0; i < width; ++i)
      push((v >> i) & 1u);
  }
  void align_byte() {
    while (bits_ % 8 != 0)
      push(0);
  }
  void align_to(uint32_t multiple) {
    align_byte();
    if (multiple > 1)
      while (bytes_.size() % multiple != 0)
        put(0, 8);
  }
  uint64_t get(size_t bit_pos, unsigned width) const {
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) {
      const size_t b = bit_pos + i;
      if (b / 8 < bytes_.size())
        v |= uint64_t{(bytes_[b / 8] >> (b % 8)) & 1u} << i;
    }
    return v;
  }
  std::vector<uint8_t> bytes() const { return bytes_; }
  size_t bits() const { return bits_; }

private:
  void push(unsigned bit) {
    if (bits_ % 8 == 0)
      bytes_.push_back(0);
    bytes_.back() = static_cast<uint8_t>(bytes_.back() | bit << (bits_ % 8));
    ++bits_;
  }
  std::vector<uint8_t> bytes_;
  size_t bits_ = 0;
};

} // namespace vex::test
