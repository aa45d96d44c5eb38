#include "formats/korvane/korvane_tree.h"

namespace vex::korvane {

namespace {

constexpr size_t kMaxWideLeaves = 0x10000 + 3; // every value plus the three escapes

struct Slot {
  uint32_t at;    // index into child_ to fill
  uint32_t depth; // depth of the node that goes there
};

} // namespace

void Tree::set_empty() {
  child_.clear();
  leaf_.assign(1, kLeafEmpty << 16);
  table_.assign(1, kEntryLeaf); // leaf 0, no bits
  table_bits_ = 0;
  empty_ = true;
}

void Tree::set_single(uint32_t leaf) {
  child_.clear();
  leaf_.assign(1, leaf);
  table_.assign(1, kEntryLeaf);
  table_bits_ = 0;
  empty_ = false;
}

uint32_t Tree::read_leaf(BitReader &br, const LeafSource &src) const {
  uint32_t v;
  if (src.low) {
    v = src.low->decode(br) & 0xFF;
    v |= (src.high->decode(br) & 0xFF) << 8;
  } else {
    v = br.get(8);
  }
  if (src.escapes) {
    for (uint32_t k = 0; k < 3; ++k)
      if (v == src.escape[k])
        return (kLeafRecent + k) << 16;
  }
  return v;
}

// Pre-order shape with leaves, then the closing 0 bit. Iterative, so a
// hostile stream cannot exhaust the stack; leaves and depth are bounded.
bool Tree::read_shape(BitReader &br, const LeafSource &src, unsigned table_bits) {
  child_.clear();
  leaf_.clear();
  if (br.bit() == 0) {
    set_single(read_leaf(br, src));
  } else {
    std::vector<Slot> pending;
    child_.resize(2);
    pending.push_back({1, 1});
    pending.push_back({0, 1});
    while (!pending.empty()) {
      const Slot s = pending.back();
      pending.pop_back();
      if (s.depth > kMaxDepth || br.overrun())
        return false;
      if (br.bit()) {
        const auto node = static_cast<uint32_t>(child_.size() / 2);
        child_[s.at] = node;
        child_.resize(child_.size() + 2);
        pending.push_back({2 * node + 1, s.depth + 1});
        pending.push_back({2 * node, s.depth + 1});
      } else {
        if (leaf_.size() >= src.max_leaves)
          return false;
        child_[s.at] = kEntryLeaf | static_cast<uint32_t>(leaf_.size());
        leaf_.push_back(read_leaf(br, src));
      }
    }
    empty_ = false;
    build_table(table_bits);
  }
  return br.bit() == 0 && !br.overrun();
}

void Tree::build_table(unsigned table_bits) {
  table_bits_ = table_bits;
  table_.resize(size_t{1} << table_bits);
  for (uint32_t i = 0; i < table_.size(); ++i) {
    uint32_t ref = 0; // the root is internal node 0
    unsigned d = 0;
    while (!(ref & kEntryLeaf) && d < table_bits) {
      ref = child_[2 * ref + ((i >> d) & 1)];
      ++d;
    }
    table_[i] = (ref & kEntryLeaf) ? (ref | d << kLenShift) : ref;
  }
}

bool Tree::read_byte_tree(BitReader &br, unsigned table_bits) {
  LeafSource src;
  if (read_shape(br, src, table_bits))
    return true;
  set_empty();
  return false;
}

bool Tree::read_wide_tree(BitReader &br, unsigned table_bits) {
  set_empty();
  if (br.bit() == 0)
    return !br.overrun();
  // An absent byte tree decodes as a single leaf of value 0.
  Tree low, high;
  low.set_single(0);
  high.set_single(0);
  if (br.bit() && !low.read_byte_tree(br, 8))
    return false;
  if (br.bit() && !high.read_byte_tree(br, 8))
    return false;
  LeafSource src;
  src.low = &low;
  src.high = &high;
  src.escapes = true;
  for (auto &e : src.escape)
    e = br.get(16);
  src.max_leaves = kMaxWideLeaves;
  if (read_shape(br, src, table_bits))
    return true;
  set_empty();
  return false;
}

bool VideoTrees::read(const uint8_t *data, uint32_t size) {
  BitReader br(data, data + size);
  // Lookup depths: 12 bits for the block contents, 10 for the type tree.
  return mono_map.read_wide_tree(br, 12) && mono_colours.read_wide_tree(br, 12) && full.read_wide_tree(br, 12) &&
         type.read_wide_tree(br, 10);
}

} // namespace vex::korvane
