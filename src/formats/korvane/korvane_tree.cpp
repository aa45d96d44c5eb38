#include "formats/korvane/korvane_tree.h"

#include <algorithm>
#include <bit>

#include "util/status.h"

namespace vex::formats::korvane {

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
  table_.assign(1, kEntryLeaf | kLeafEmpty << 16 << kShift); // no bits
  table_bits_ = 0;
  empty_ = true;
}

void Tree::set_single(uint32_t leaf) {
  child_.clear();
  leaf_.assign(1, leaf);
  table_.assign(1, kEntryLeaf | leaf << kShift);
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

// Walks the subtree once: a leaf at depth d < bits owns every entry whose
// low d bits are its code (codes are read least significant bit first),
// an internal node at depth bits owns its one entry.
void Tree::fill(uint32_t node, unsigned bits, size_t at) {
  struct Step {
    uint32_t ref, code, depth;
  };
  std::vector<Step> todo{{node, 0, 0}};
  while (!todo.empty()) {
    const Step s = todo.back();
    todo.pop_back();
    if (s.ref & kEntryLeaf) {
      const uint32_t entry = kEntryLeaf | leaf_[s.ref & kRefMask] << kShift | s.depth;
      for (size_t i = s.code; i < (size_t{1} << bits); i += size_t{1} << s.depth)
        table_[at + i] = entry;
    } else if (s.depth == bits) {
      table_[at + s.code] = s.ref << kShift;
    } else {
      todo.push_back({child_[2 * s.ref], s.code, s.depth + 1});
      todo.push_back({child_[2 * s.ref + 1], s.code | 1u << s.depth, s.depth + 1});
    }
  }
}

// First level: table_bits from the root. Every internal node reached there
// gets a second-level table as deep as its subtree (at most kSubBits).
void Tree::build_table(unsigned table_bits) {
  const size_t nodes = child_.size() / 2;
  // Children are numbered after their parents (pre-order), so heights
  // come out in one backward pass.
  std::vector<uint8_t> height(nodes, 0);
  for (size_t n = nodes; n-- > 0;) {
    unsigned h = 0;
    for (int c = 0; c < 2; ++c) {
      const uint32_t ref = child_[2 * n + c];
      h = std::max<unsigned>(h, (ref & kEntryLeaf) ? 0u : height[ref]);
    }
    height[n] = static_cast<uint8_t>(std::min(h + 1, 255u));
  }
  // A table much larger than the tree only spills the caches: look at a
  // bit more than a balanced tree of these leaves would need.
  table_bits_ = std::min<unsigned>(table_bits, static_cast<unsigned>(std::bit_width(leaf_.size())) + 1);
  table_.assign(size_t{1} << table_bits_, 0);
  fill(0, table_bits_, 0);
  const size_t first = table_.size();
  for (size_t i = 0; i < first; ++i) {
    const uint32_t e = table_[i];
    if (e & kEntryLeaf)
      continue;
    const uint32_t node = e >> kShift;
    const unsigned bits = std::min<unsigned>(height[node], kSubBits);
    const size_t at = table_.size();
    table_.resize(at + (size_t{1} << bits));
    fill(node, bits, at);
    table_[i] = kEntrySub | static_cast<uint32_t>(at) << kShift | bits;
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
  // Most bits the lookups take: 16 for the full blocks' tree, which holds
  // thousands of pixel pairs in noisy movies, 12 for the others.
  const struct {
    Tree *tree;
    unsigned table_bits;
  } order[] = {{&mono_map, 12}, {&mono_colours, 12}, {&full, 16}, {&type, 12}};
  int number = 1;
  for (const auto &t : order) {
    if (!t.tree->read_wide_tree(br, t.table_bits))
      return br.overrun() ? util::fail(util::Status::kDamaged, "tree %d is cut short", number)
                          : util::fail(util::Status::kDamaged, "tree %d is malformed", number);
    ++number;
  }
  return true;
}

} // namespace vex::formats::korvane
