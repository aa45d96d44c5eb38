// Bit packing of coded sound blocks: fields are packed least significant bit
// first into 32-bit little-endian words; a field that crosses a word
// boundary continues in the low bits of the next word. (This is the same
// bit order as a byte stream packed least significant bit first.)
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace vex::audio_codec {

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
//
// The bits not yet consumed sit in a 64-bit accumulator, the next one in
// bit 0. A refill tops it up to at least 56 bits with one unaligned 8-byte
// load while 8 bytes are left (byte by byte, zeros past the end, in the last
// 8). Bits of the accumulator above the count are either 0 or the stream's
// own next bits, so a refill may OR the same byte in twice.
class BlockReader {
public:
  static constexpr uint32_t kRefillBits = 56;

  BlockReader(const uint8_t *data, uint32_t size) : data_(data), size_(size) {}

  // 0 to 32 bits.
  uint32_t get(uint32_t bits) {
    if (have_ < bits)
      refill();
    const uint32_t v = static_cast<uint32_t>(acc_ & ((uint64_t{1} << bits) - 1));
    skip(bits);
    return v;
  }
  // Afterwards at least kRefillBits bits can be taken without another.
  void refill() {
    if (uint64_t{next_} + 8 <= size_) [[likely]] {
      acc_ |= load_le64(data_ + next_) << have_;
      next_ += (63 - have_) >> 3;
      have_ |= kRefillBits;
    } else {
      while (have_ < kRefillBits) {
        acc_ |= uint64_t{next_ < size_ ? data_[next_] : uint8_t{0}} << have_;
        ++next_;
        have_ += 8;
      }
    }
  }
  // The bits not consumed yet (as many as the last refill left).
  uint64_t peek() const { return acc_; }
  // Consumes n bits, n no more than are held.
  void skip(uint32_t n) {
    acc_ >>= n;
    have_ -= n;
  }
  // One coefficient of width w (1-15, mask = 2^w - 1): w bits of
  // magnitude, then a sign bit (1 = negative) only when the magnitude is
  // not 0. Takes at most 16 bits, without a refill and without a branch.
  int16_t coefficient(uint32_t w, uint32_t mask) {
    const auto mag = static_cast<uint32_t>(acc_) & mask;
    const uint32_t nonzero = mag != 0 ? 1u : 0u;
    const uint32_t negative = static_cast<uint32_t>(acc_ >> w) & nonzero;
    skip(w + nonzero);
    return static_cast<int16_t>((mag ^ (0u - negative)) + negative);
  }
  // Bits read so far.
  uint64_t bits_read() const { return uint64_t{next_} * 8 - have_; }
  // True when the bits read went past the given size.
  bool overran() const { return bits_read() > uint64_t{size_} * 8; }
  // Whole words the bits read occupy, limited to the given size.
  uint32_t bytes_used() const {
    const uint64_t words = (bits_read() + 31) / 32;
    return words * 4 < size_ ? static_cast<uint32_t>(words * 4) : size_;
  }

private:
  static uint64_t load_le64(const uint8_t *p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big)
      v = __builtin_bswap64(v);
    return v;
  }
  const uint8_t *data_;
  uint32_t size_;
  uint32_t next_ = 0; // next byte to load; runs past size_ while zeros are read
  uint64_t acc_ = 0;
  uint32_t have_ = 0; // bits held in acc_
};

} // namespace vex::audio_codec
