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
  // Tops the cache up to at least 57 bits; bytes past the end are zeros.
  void refill() {
    if (next_byte_ + 8 <= data_.size()) {
      uint64_t w;
      std::memcpy(&w, data_.data() + next_byte_, 8);
      cache_ |= w << avail_;
      const unsigned bytes = (63 - avail_) >> 3;
      next_byte_ += bytes;
      avail_ += 8 * bytes;              // 56..63
      cache_ &= (uint64_t{1} << avail_) - 1; // drop the part of a byte not counted in
      return;
    }
    while (avail_ <= 56) {
      const uint64_t b = next_byte_ < data_.size() ? data_[next_byte_] : 0;
      cache_ |= b << avail_;
      ++next_byte_;
      avail_ += 8;
    }
  }

  std::span<const uint8_t> data_;
  size_t next_byte_ = 0; // next byte to enter the cache
  uint64_t cache_ = 0;   // unread bits, next one in bit 0
  unsigned avail_ = 0;   // bits in the cache
};

} // namespace vex::formats::tolm
