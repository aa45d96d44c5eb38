// Bit packing of coded sound blocks: fields are packed least significant bit
// first into 32-bit little-endian words; a field that crosses a word
// boundary continues in the low bits of the next word. (This is the same
// bit order as a byte stream packed least significant bit first.)
#pragma once

#include <cstdint>

namespace vex::audio {

class BlockWriter {
public:
  // The caller guarantees room for everything it writes (see
  // max_block_bytes).
  explicit BlockWriter(uint8_t *out) : out_(out) {}

  // 0 to 32 bits of v (bits above `bits` must be 0).
  void put(uint32_t v, uint32_t bits) {
    acc_ |= uint64_t{v} << have_;
    have_ += bits;
    if (have_ >= 32) {
      store(static_cast<uint32_t>(acc_));
      acc_ >>= 32;
      have_ -= 32;
    }
  }
  // Pads with 0 bits to a word boundary; returns the block size in bytes.
  uint32_t finish() {
    if (have_ > 0) {
      store(static_cast<uint32_t>(acc_));
      acc_ = 0;
      have_ = 0;
    }
    return bytes_;
  }

private:
  void store(uint32_t w) {
    for (int i = 0; i < 4; ++i)
      out_[bytes_++] = static_cast<uint8_t>(w >> (8 * i));
  }
  uint8_t *out_;
  uint64_t acc_ = 0;
  uint32_t have_ = 0;
  uint32_t bytes_ = 0;
};

// Reads at most `size` bytes; bits past the end read as 0 and are counted,
// so the caller can tell a block that needed more than it was given.
class BlockReader {
public:
  BlockReader(const uint8_t *data, uint32_t size) : data_(data), size_(size) {}

  // 0 to 32 bits.
  uint32_t get(uint32_t bits) {
    if (have_ < bits) {
      acc_ |= uint64_t{load_word()} << have_;
      have_ += 32;
    }
    const uint32_t v = bits == 32 ? static_cast<uint32_t>(acc_) : static_cast<uint32_t>(acc_ & ((1ull << bits) - 1));
    acc_ = bits == 32 ? acc_ >> 32 : acc_ >> bits;
    have_ -= bits;
    consumed_ += bits;
    return v;
  }
  // The next 32 bits without consuming them; skip(n) then consumes n <= 32.
  uint32_t peek32() {
    if (have_ < 32) {
      acc_ |= uint64_t{load_word()} << have_;
      have_ += 32;
    }
    return static_cast<uint32_t>(acc_);
  }
  void skip(uint32_t n) {
    acc_ >>= n;
    have_ -= n;
    consumed_ += n;
  }
  // Bits read so far.
  uint64_t bits_read() const { return consumed_; }
  // True when the bits read went past the given size.
  bool overran() const { return consumed_ > uint64_t{size_} * 8; }
  // Whole words the bits read occupy, limited to the given size.
  uint32_t bytes_used() const {
    const uint64_t words = (consumed_ + 31) / 32;
    return words * 4 < size_ ? static_cast<uint32_t>(words * 4) : size_;
  }

private:
  uint32_t load_word() {
    uint32_t w = 0;
    for (uint32_t i = 0; i < 4; ++i, ++next_)
      if (next_ < size_)
        w |= uint32_t{data_[next_]} << (8 * i);
    return w;
  }
  const uint8_t *data_;
  uint32_t size_;
  uint32_t next_ = 0; // next byte to load
  uint64_t acc_ = 0;
  uint32_t have_ = 0;
  uint64_t consumed_ = 0;
};

} // namespace vex::audio
