// Bit reader of the Tolm frame data: little-endian 32-bit words, bits taken
// from the least significant end first; an n-bit field has its first-read
// bit as its least significant bit. Bits past the end of the data read as 0
// and are counted, so a decoder can report the overrun.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "formats/tolm/tolm_tables.h"

namespace vex::formats::tolm {

static_assert(std::endian::native == std::endian::little, "the reader loads words natively");

class BitReader {
public:
  explicit BitReader(std::span<const uint8_t> data) : data_(data) {}

  // The next n bits (n <= 25) without consuming them.
  uint32_t peek(unsigned n) {
    if (avail_ < n)
      refill();
    return static_cast<uint32_t>(cache_) & ((1u << n) - 1);
  }
  // The same for up to 56 bits (a run of flags).
  uint64_t peek_wide(unsigned n) {
    if (avail_ < n)
      refill();
    return cache_ & ((uint64_t{1} << n) - 1);
  }
  void skip(unsigned n) {
    cache_ >>= n;
    avail_ -= n;
  }
  uint32_t read(unsigned n) {
    const uint32_t v = peek(n);
    skip(n);
    return v;
  }
  bool bit() { return read(1) != 0; }

  // One value of a prefix code: the code word's position 0-15.
  unsigned code_position(const PrefixCode &code) {
    const uint8_t e = code.entry[peek(code.longest)];
    skip(e >> 4);
    return e & 15u;
  }

  size_t bit_position() const { return next_byte_ * 8 - avail_; }
  bool overrun() const { return bit_position() > data_.size() * 8; }
  // Bytes of the whole words loaded so far (a word is loaded by the first
  // bit taken from it).
  size_t bytes_loaded() const { return ((bit_position() + 31) / 32) * 4; }

private:
  // Tops the cache up to at least 56 bits; bytes past the end are zeros.
  // Everything is inline but the rare load near the end, which takes and
  // returns values, so a reader copied into a local stays in registers.
  void refill() {
    const uint64_t w = next_byte_ + 8 <= data_.size() ? load_word(data_.data() + next_byte_)
                                                      : load_near_end(data_, next_byte_);
    cache_ |= w << avail_;
    const unsigned bytes = (63 - avail_) >> 3;
    next_byte_ += bytes;
    avail_ += 8 * bytes;                   // 56..63
    cache_ &= (uint64_t{1} << avail_) - 1; // drop the part of a byte not counted in
  }
  static uint64_t load_word(const uint8_t *p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
  }
  // The eight bytes from `at`, those at or past the end read as 0.
  [[gnu::noinline]] static uint64_t load_near_end(std::span<const uint8_t> data, size_t at) {
    uint64_t w = 0;
    for (size_t i = 0; i < 8 && at + i < data.size(); ++i)
      w |= uint64_t{data[at + i]} << (8 * i);
    return w;
  }

  std::span<const uint8_t> data_;
  size_t next_byte_ = 0; // next byte to enter the cache
  uint64_t cache_ = 0;   // unread bits, next one in bit 0
  unsigned avail_ = 0;   // bits in the cache
};

} // namespace vex::formats::tolm
