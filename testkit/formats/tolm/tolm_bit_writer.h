// Bit writer of the test encoder: fields packed least significant bit first
// into little-endian 32-bit words, the first-written bit of a field being
// its least significant bit.
#pragma once

#include <cstdint>
#include <vector>

namespace vex::testkit::tolm {

class BitWriter {
public:
  void put(uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i) {
      if (count_ % 32 == 0)
        words_.push_back(0);
      words_.back() |= (i < 32 ? (value >> i) & 1u : 0u) << (count_ % 32);
      ++count_;
    }
  }
  void put_bit(bool b) { put(b ? 1 : 0, 1); }
  size_t bit_count() const { return count_; }
  // The data so far, in whole words.
  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> out;
    for (uint32_t w : words_)
      for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(w >> (8 * i)));
    return out;
  }

private:
  std::vector<uint32_t> words_;
  size_t count_ = 0;
};

} // namespace vex::testkit::tolm
