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

#include "formats/tolm_tables.h"

namespace vex::formats::tolm {

static_assert(std::endian::native == std::endian::little, "the reader loads words natively");

class BitReader {
public:
  explicit BitReader(std::span<const uint8_t> data) : data_(data) {}

  // The next n bits (n <= 25) without consuming them.
  uint32_t peek(unsigned n) const {
    const size_t byte = pos_ >> 3;
    uint64_t window;
    if (byte + 8 <= data_.size()) {
      std::memcpy(&window, data_.data() + byte, 8);
    } else {
      window = 0;
      for (size_t i = byte; i < data_.size() && i < byte + 8; ++i)
        window |= uint64_t{data_[i]} << (8 * (i - byte));
    }
    return static_cast<uint32_t>(window >> (pos_ & 7)) & ((1u << n) - 1);
  }
  void skip(unsigned n) { pos_ += n; }
  uint32_t read(unsigned n) {
    const uint32_t v = peek(n);
    pos_ += n;
    return v;
  }
  bool bit() { return read(1) != 0; }

  // One value of a prefix code: the code word's position 0-15.
  unsigned code_position(const PrefixCode &code) {
    const uint8_t e = code.entry[peek(code.longest)];
    pos_ += e >> 4;
    return e & 15u;
  }

  bool overrun() const { return pos_ > data_.size() * 8; }
  // Bytes of the whole words loaded so far (a word is loaded by the first
  // bit taken from it).
  size_t bytes_loaded() const { return ((pos_ + 31) / 32) * 4; }

private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
};

} // namespace vex::formats::tolm
