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
//
// The lookup table's first level is one bit wider than a balanced tree of
// the same leaves would need, at most 16 bits for the full blocks' tree and
// 12 for the others; second-level tables look at most kSubBits more.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "formats/korvane/korvane_bits.h"

namespace vex::formats::korvane {

// A decoded leaf: bits 0-15 the value, bits 16-18 its kind.
constexpr uint32_t kLeafPlain = 0;  // the value itself
constexpr uint32_t kLeafRecent = 1; // kinds 1-3: the 1st-3rd most recent value
constexpr uint32_t kLeafEmpty = 4;  // decoding an empty tree
constexpr unsigned kMaxDepth = 32;  // deeper trees are refused (a valid coder stops at 30)

// What decoding needs of a tree. Decoders hold a copy, not a reference:
// the picture is written with byte stores, which may alias anything that is
// reached through a pointer, and would make every lookup reload the tree.
struct TreeView {
  // Table entries: a leaf (flag, the leaf word, code length), a
  // second-level table (flag, its offset in the table, its bits), or an
  // internal node to walk on from (its number):
  //   bit 31 leaf, bit 30 second level, bits 6-29 word / offset / node,
  //   bits 0-5 code length / table bits.
  // The length sits at the bottom so that consuming it is one shift by the
  // entry itself: the only step between two lookups.
  static constexpr uint32_t kEntryLeaf = 0x80000000u;
  static constexpr uint32_t kEntrySub = 0x40000000u;
  static constexpr unsigned kShift = 6;
  static constexpr uint32_t kLenMask = 63;
  static constexpr uint32_t kWordMask = 0x7FFFF;  // value and kind
  static constexpr uint32_t kRefMask = 0xFFFFFFu; // leaf flag and index in child references
  // Most bits a second-level table looks at: deeper tables grow past the
  // caches on trees of thousands of leaves and lose more than they save.
  static constexpr unsigned kSubBits = 5;
  static_assert(16 + kSubBits <= 56, "both levels fit in one refill");

  const uint32_t *table; // lookup of the first table_bits bits
  const uint32_t *child; // two references per internal node
  const uint32_t *leaf;  // leaf words
  unsigned table_bits;

  // The leaf word (value | kind << 16) of the next code.
  [[gnu::always_inline]] uint32_t decode(BitReader &br) const {
    br.refill(); // enough for both table levels
    uint32_t e = table[br.peek(table_bits)];
    if (e & kEntryLeaf) {
      br.skip(e & kLenMask);
      return e >> kShift & kWordMask;
    }
    br.skip(table_bits);
    if (e & kEntrySub) {
      const uint32_t sub = e & kLenMask;
      e = table[(e >> kShift & kRefMask) + br.peek(sub)];
      if (e & kEntryLeaf) {
        br.skip(e & kLenMask);
        return e >> kShift & kWordMask;
      }
      br.skip(sub);
    }
    // Codes longer than both levels: one bit per node.
    uint32_t ref = e >> kShift;
    for (;;) {
      ref = child[2 * ref + br.bit()];
      if (ref & kEntryLeaf)
        return leaf[ref & kRefMask];
    }
  }
};

class Tree {
public:
  Tree() { set_empty(); }

  // Read from the stream; false when the tree is malformed (then the tree
  // is left empty). table_bits: most bits the lookup table takes (1..16).
  bool read_byte_tree(BitReader &br, unsigned table_bits);
  bool read_wide_tree(BitReader &br, unsigned table_bits);

  bool empty() const { return empty_; }
  size_t leaves() const { return leaf_.size(); }

  // The leaf word (value | kind << 16) of the next code.
  [[gnu::always_inline]] uint32_t decode(BitReader &br) const { return view().decode(br); }
  TreeView view() const { return {table_.data(), child_.data(), leaf_.data(), table_bits_}; }

private:
  static constexpr uint32_t kEntryLeaf = TreeView::kEntryLeaf;
  static constexpr uint32_t kEntrySub = TreeView::kEntrySub;
  static constexpr unsigned kSubBits = TreeView::kSubBits;
  static constexpr uint32_t kRefMask = TreeView::kRefMask;
  static constexpr unsigned kShift = TreeView::kShift;

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
  explicit WideDecoder(const Tree &t) : tree_(t.view()) {}
  [[gnu::always_inline]] uint32_t next(BitReader &br, bool &failed) {
    const uint32_t leaf = tree_.decode(br);
    const uint32_t kind = leaf >> 16;
    if (kind == kLeafEmpty) [[unlikely]] {
      failed = true;
      return 0;
    }
    uint32_t v = leaf & 0xFFFF;
    v = kind == kLeafRecent ? r0_ : v;
    v = kind == kLeafRecent + 1 ? r1_ : v;
    v = kind == kLeafRecent + 2 ? r2_ : v;
    if (v != r0_) {
      r2_ = r1_;
      r1_ = r0_;
    }
    r0_ = v;
    return v;
  }

private:
  TreeView tree_;
  uint32_t r0_ = 0, r1_ = 0, r2_ = 0; // most recent first
};

// The packed tree block: four 16-bit trees in this order.
struct VideoTrees {
  Tree mono_map, mono_colours, full, type;
  // False when the block is malformed or shorter than its trees.
  bool read(const uint8_t *data, uint32_t size);
};

} // namespace vex::formats::korvane
