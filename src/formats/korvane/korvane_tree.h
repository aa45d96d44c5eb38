// The Huffman trees of Korvane movies, unpacked once into node arrays with
// a lookup table of the first few levels.
//
// Byte tree: pre-order, one bit per node: 1 = internal node (its 0-subtree
// follows, then its 1-subtree), 0 = leaf followed by its 8-bit value; one
// more 0 bit closes the tree. Decoding reads one bit per internal node from
// the root, 0 = first subtree.
//
// 16-bit tree: a presence bit (0 = empty). Then a presence bit and a byte
// tree for low bytes, a presence bit and a byte tree for high bytes, three
// 16-bit escape values, and the tree itself in pre-order, each leaf's value
// coded as its low byte (low-byte tree) then its high byte (high-byte tree);
// a leaf equal to escape k stands for the k-th most recent value.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "formats/korvane/korvane_bits.h"

namespace vex::korvane {

// A decoded leaf: bits 0-15 the value, bits 16-18 its kind.
constexpr uint32_t kLeafPlain = 0;  // the value itself
constexpr uint32_t kLeafRecent = 1; // kinds 1-3: the 1st-3rd most recent value
constexpr uint32_t kLeafEmpty = 4;  // decoding an empty tree
constexpr unsigned kMaxDepth = 32;  // deeper trees are refused (a valid coder stops at 30)

class Tree {
public:
  Tree() { set_empty(); }

  // Read from the stream; false when the tree is malformed (then the tree
  // is left empty). table_bits: depth of the lookup table (1..12).
  bool read_byte_tree(BitReader &br, unsigned table_bits);
  bool read_wide_tree(BitReader &br, unsigned table_bits);

  bool empty() const { return empty_; }
  size_t leaves() const { return leaf_.size(); }

  // The leaf word (value | kind << 16) of the next code.
  uint32_t decode(BitReader &br) const {
    br.refill(); // at least 33 bits: enough for both table levels
    uint32_t e = table_[br.peek(table_bits_)];
    if (e & kEntryLeaf) {
      br.skip((e >> kLenShift) & 31);
      return e & kWordMask;
    }
    br.skip(table_bits_);
    if (e & kEntrySub) {
      const unsigned bits = (e >> kLenShift) & 31;
      e = table_[(e & kRefMask) + br.peek(bits)];
      if (e & kEntryLeaf) {
        br.skip((e >> kLenShift) & 31);
        return e & kWordMask;
      }
      br.skip(bits);
    }
    // Codes longer than both levels: one bit per node.
    uint32_t ref = e & kRefMask;
    for (;;) {
      ref = child_[2 * ref + br.bit()];
      if (ref & kEntryLeaf)
        return leaf_[ref & kRefMask];
    }
  }

private:
  // Table entries: a leaf (flag, code length, the leaf word itself, so
  // that a hit costs one load), a second-level
  // table (flag, its bits, its offset in table_), or an internal node to
  // walk on from.
  static constexpr uint32_t kEntryLeaf = 0x80000000u;
  static constexpr uint32_t kEntrySub = 0x40000000u;
  // Most bits a second-level table looks at: deeper tables grow past the
  // caches on trees of thousands of leaves and lose more than they save.
  static constexpr unsigned kSubBits = 5;
  static constexpr uint32_t kWordMask = 0x7FFFF; // value and kind
  static constexpr uint32_t kRefMask = 0x00FFFFFFu;
  static_assert(12 + kSubBits <= 32, "both levels fit in one refill");
  static constexpr unsigned kLenShift = 24;

  // Value readers for the leaves of one tree.
  struct LeafSource {
    const Tree *low = nullptr; // null: 8 raw bits
    const Tree *high = nullptr;
    std::array<uint32_t, 3> escape{};
    bool escapes = false;
    size_t max_leaves = 256;
  };
  bool read_shape(BitReader &br, const LeafSource &src, unsigned table_bits);
  uint32_t read_leaf(BitReader &br, const LeafSource &src) const;
  void build_table(unsigned table_bits);
  // Entries for `count` = 2^bits codes continuing below internal node `node`.
  void fill(uint32_t node, unsigned bits, size_t at);
  void set_empty();
  void set_single(uint32_t leaf);

  std::vector<uint32_t> child_; // two references per internal node
  std::vector<uint32_t> leaf_;  // leaf words
  std::vector<uint32_t> table_; // lookup of the first table_bits_ bits
  unsigned table_bits_ = 0;
  bool empty_ = true;
};

// Decoding through a 16-bit tree with the cache of the three most recent
// values; the cache starts at zero with every frame.
class WideDecoder {
public:
  explicit WideDecoder(const Tree &t) : tree_(&t) {}
  uint32_t next(BitReader &br, bool &failed) {
    const uint32_t leaf = tree_->decode(br);
    const uint32_t kind = leaf >> 16;
    uint32_t v = leaf & 0xFFFF;
    if (kind != kLeafPlain) {
      if (kind == kLeafEmpty) {
        failed = true;
        return 0;
      }
      v = recent_[kind - kLeafRecent];
    }
    if (v != recent_[0]) {
      recent_[2] = recent_[1];
      recent_[1] = recent_[0];
      recent_[0] = v;
    }
    return v;
  }

private:
  const Tree *tree_;
  std::array<uint32_t, 3> recent_{};
};

// The packed tree block: four 16-bit trees in this order.
struct VideoTrees {
  Tree mono_map, mono_colours, full, type;
  // False when the block is malformed or shorter than its trees.
  bool read(const uint8_t *data, uint32_t size);
};

} // namespace vex::korvane
