// Reading back what the 8-bit encoder wrote (layout in vexutil/huff.h): a
// table, then the codes of its symbols. Bits come least significant first,
// as VEXFilePutBits writes them; a code's first bit (the one nearest the
// root) comes first. Nothing is read beyond the bytes given: every table
// field and every code is checked against the bits left before it is
// taken.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vex::huff {

class BitReader {
public:
  // The bits of `bytes` from bit `first_bit` of its first byte on.
  explicit BitReader(std::span<const uint8_t> bytes, uint32_t first_bit = 0)
      : bytes_(bytes), position_(first_bit), end_(uint64_t{bytes.size()} * 8) {}

  uint64_t position() const { return position_; } // bits from the first byte's bit 0
  uint64_t left() const { return end_ > position_ ? end_ - position_ : 0; }
  // n bits (at most 32), the first in bit 0; false, taking nothing, when
  // fewer are left.
  bool take(uint32_t n, uint32_t &value);
  // The next n bits (at most 32) without taking them; bits past the end
  // read as 0.
  uint32_t peek(uint32_t n) const;
  // Passes over n bits; n must be at most left().
  void skip(uint32_t n) { position_ += n; }

private:
  std::span<const uint8_t> bytes_;
  uint64_t position_;
  uint64_t end_;
};

// One 8-bit table and its decoder: the first kLookupBits bits of a code
// index a table that gives its symbol and length at once; a longer code
// continues from the node the table names, one bit at a time.
class Table8 {
public:
  static constexpr uint32_t kLookupBits = 10;
  // The encoder fails every code of 31 bits or more.
  static constexpr uint32_t kMaxLength = 30;

  // Reads the table-present bit and, when it is set, the tree and its
  // closing bit. False (the reason recorded as the thread's) when the
  // table is cut short, deeper than kMaxLength or lacks its closing bit.
  bool read(BitReader &in);
  // False for a table written as absent (no symbols counted).
  bool present() const { return present_; }
  // The next symbol; -1 when its code runs past the bits left, or the
  // table is absent.
  int32_t decode(BitReader &in) const;

private:
  struct Node {
    uint16_t child[2]; // internal nodes: the 0-branch and 1-branch node
    uint8_t symbol;    // leaves
    bool leaf;
  };
  struct Entry {
    uint16_t node;  // the leaf reached, or the internal node at depth kLookupBits
    uint8_t length; // bits the entry's code takes (at most kLookupBits)
  };

  bool read_tree(BitReader &in);
  void fill_lookup();

  bool present_ = false;
  uint32_t node_count_ = 0;
  std::array<Node, 511> nodes_{}; // 256 leaves and 255 internal nodes at most; [0] the root
  std::array<Entry, 1u << kLookupBits> lookup_{};
};

} // namespace vex::huff
