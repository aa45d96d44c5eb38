// Bit reader over one chunk in memory: bits least significant first (the
// file's 32-bit words read LSB first are the same stream as its bytes read
// LSB first). Past the end the reader yields zero bits and remembers that
// it overran, so a decoder can refuse what it read; it never touches a byte
// outside [begin, end).
#pragma once

#include <cstdint>
#include <cstring>

namespace vex::formats::korvane {

class BitReader {
public:
  BitReader() = default;
  BitReader(const uint8_t *begin, const uint8_t *end) : p_(begin), end_(end) {}

  // At least 56 bits are buffered after this. Away from the end it loads
  // eight bytes whatever is buffered: the bits above the count that this
  // leaves behind are the stream's own next bits, so loading them again
  // ORs in the same values, and the fill costs no branch on the count.
  [[gnu::always_inline]] void refill() {
    if (end_ - p_ >= 8) [[likely]] {
      uint64_t v;
      std::memcpy(&v, p_, 8);
      bits_ |= v << count_;
      p_ += (63 - count_) >> 3;
      count_ |= 56;
      return;
    }
    refill_near_end();
  }

  // The next n (0..32) bits without consuming them; call refill first.
  [[gnu::always_inline]] uint32_t peek(unsigned n) const {
    return static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
  }
  // n at most 63; the mask lets the shift take n as it stands.
  [[gnu::always_inline]] void skip(unsigned n) {
    bits_ >>= n & 63;
    count_ -= n;
  }
  [[gnu::always_inline]] uint32_t get(unsigned n) {
    refill();
    const uint32_t v = peek(n);
    skip(n);
    return v;
  }
  [[gnu::always_inline]] uint32_t bit() {
    if (count_ == 0)
      refill();
    const uint32_t v = static_cast<uint32_t>(bits_ & 1);
    skip(1);
    return v;
  }

  // More bits were consumed than the chunk holds.
  bool overrun() const { return padding_ > count_; }

private:
  void refill_near_end() {
    while (count_ <= 56) {
      if (p_ < end_) {
        bits_ |= static_cast<uint64_t>(*p_++) << count_;
      } else {
        padding_ += 8; // zero bits past the end
      }
      count_ += 8;
    }
  }

  const uint8_t *p_ = nullptr;
  const uint8_t *end_ = nullptr;
  uint64_t bits_ = 0;
  unsigned count_ = 0;   // bits buffered
  uint32_t padding_ = 0; // zero bits buffered from past the end
};

} // namespace vex::formats::korvane
