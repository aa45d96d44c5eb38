// A bit writer in front of a VEXFILE for long runs of short fields: the
// fields are gathered in memory and reach the file in one byte write, with
// the same bits as one VEXFilePutBits call per field.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include "vexutil/file.h"

namespace vex::huff {

// Fields gather in a 64-bit word, least significant bit first; once it
// holds 32 bits or more, its low 4 bytes go to the buffer. Between
// additions the word holds fewer than 32 bits and a field has at most 32,
// so it never overflows. The gathering starts at the bit position the
// output is at, so that after its first partial byte everything reaches
// the output as whole bytes at a byte boundary (the output's fast path).
class BitGatherer {
public:
  // Room a buffer needs for `bits` bits: the output's pending bits and a
  // whole last word come on top.
  static constexpr size_t bytes_for(uint64_t bits) { return static_cast<size_t>(bits / 8) + 12; }

  // buffer: at least bytes_for(the bits to gather); nothing is checked.
  BitGatherer(VEXFILE *out, std::span<uint8_t> buffer) : out_(out), begin_(buffer.data()), at_(buffer.data()) {
    offset_ = fill_ = VEXFileBitPos(out);
  }
  // A field of `length` bits (at most 32; the bits above are 0).
  void add(uint64_t code, uint32_t length) {
    bits_ |= code << fill_;
    fill_ += length;
    if (fill_ >= 32) {
      store_word(static_cast<uint32_t>(bits_));
      bits_ >>= 32;
      fill_ -= 32;
    }
  }
  // Puts everything gathered: the bits that complete the output's pending
  // byte, the whole bytes, the bits left.
  void finish() {
    store_word(static_cast<uint32_t>(bits_));
    const uint64_t end = static_cast<uint64_t>(at_ - begin_ - 4) * 8 + fill_; // in bits, offset included
    if (end == offset_)
      return;
    size_t byte = 0;
    if (offset_ != 0) {
      const auto first = static_cast<uint32_t>(std::min<uint64_t>(end, 8) - offset_);
      VEXFilePutBits(out_, begin_[0] >> offset_, first);
      if (end <= 8)
        return;
      byte = 1;
    }
    const size_t whole_end = static_cast<size_t>(end / 8);
    if (whole_end > byte)
      VEXFilePut(out_, begin_ + byte, static_cast<uint32_t>(whole_end - byte));
    if (end % 8 != 0)
      VEXFilePutBits(out_, begin_[whole_end], static_cast<uint32_t>(end % 8));
  }

private:
  void store_word(uint32_t w) {
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(at_, &w, 4);
    } else {
      for (uint32_t i = 0; i < 4; ++i)
        at_[i] = static_cast<uint8_t>(w >> (8 * i));
    }
    at_ += 4;
  }

  VEXFILE *out_;
  uint8_t *begin_;
  uint8_t *at_;
  uint64_t bits_ = 0;
  uint32_t fill_ = 0;
  uint32_t offset_ = 0;
};

} // namespace vex::huff
