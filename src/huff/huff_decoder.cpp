#include "huff/huff_decoder.h"

#include <algorithm>

#include "util/status.h"

namespace vex::huff {

using util::fail;
using util::Status;

uint32_t BitReader::peek(uint32_t n) const {
  const uint64_t byte = position_ >> 3;
  // Five bytes hold 32 bits from any bit of the first.
  uint64_t word = 0;
  const uint64_t have = byte < bytes_.size() ? std::min<uint64_t>(bytes_.size() - byte, 5) : 0;
  for (uint64_t i = 0; i < have; ++i)
    word |= uint64_t{bytes_[byte + i]} << (8 * i);
  return static_cast<uint32_t>((word >> (position_ & 7)) & ((uint64_t{1} << n) - 1));
}

bool BitReader::take(uint32_t n, uint32_t &value) {
  if (n > left())
    return false;
  value = peek(n);
  position_ += n;
  return true;
}

bool Table8::read(BitReader &in) {
  present_ = false;
  node_count_ = 0;
  uint32_t bit = 0;
  if (!in.take(1, bit))
    return fail(Status::kDamaged, "a code table is cut short");
  if (bit == 0)
    return true;
  if (!read_tree(in))
    return false;
  if (!in.take(1, bit))
    return fail(Status::kDamaged, "a code table is cut short");
  if (bit != 0)
    return fail(Status::kDamaged, "a code table lacks its closing bit");
  present_ = true;
  fill_lookup();
  return true;
}

// Pre-order, 1 = internal node and its two subtrees, 0 = leaf and its 8-bit
// symbol. A node's children are filled in once the node itself has its
// place, so the walk keeps, per depth, the node whose child comes next.
bool Table8::read_tree(BitReader &in) {
  struct Open {
    uint16_t node;
    uint8_t next_child; // 0 or 1
  };
  std::array<Open, kMaxLength + 1> path{}; // internal nodes from the root down
  uint32_t depth = 0;                      // of the node read next
  for (;;) {
    uint32_t bit = 0, symbol = 0;
    if (!in.take(1, bit) || (bit == 0 && !in.take(8, symbol)))
      return fail(Status::kDamaged, "a code table is cut short");
    if (node_count_ == nodes_.size())
      return fail(Status::kDamaged, "a code table has more than 256 leaves");
    const auto index = static_cast<uint16_t>(node_count_++);
    nodes_[index] = Node{{0, 0}, static_cast<uint8_t>(symbol), bit == 0};
    if (depth > 0) {
      Open &parent = path[depth - 1];
      nodes_[parent.node].child[parent.next_child] = index;
    }
    if (bit == 1) {
      if (depth == kMaxLength)
        return fail(Status::kDamaged, "a code table is deeper than %u bits", kMaxLength);
      path[depth++] = {index, 0};
      continue;
    }
    // A leaf: climb to the nearest node still waiting for its 1-branch.
    while (depth > 0 && path[depth - 1].next_child == 1)
      --depth;
    if (depth == 0)
      return true;
    path[depth - 1].next_child = 1;
  }
}

void Table8::fill_lookup() {
  struct Visit {
    uint16_t node;
    uint32_t depth, code;
  };
  std::array<Visit, kLookupBits + 2> stack{};
  size_t top = 0;
  stack[top++] = {0, 0, 0};
  while (top > 0) {
    const Visit v = stack[--top];
    const Node &n = nodes_[v.node];
    if (n.leaf || v.depth == kLookupBits) {
      // Every index whose low `depth` bits are this code.
      for (uint32_t high = 0; high < (1u << (kLookupBits - v.depth)); ++high)
        lookup_[v.code | high << v.depth] = {v.node, static_cast<uint8_t>(v.depth)};
      continue;
    }
    stack[top++] = {n.child[1], v.depth + 1, v.code | 1u << v.depth};
    stack[top++] = {n.child[0], v.depth + 1, v.code};
  }
}

int32_t Table8::decode(BitReader &in) const {
  if (!present_)
    return -1;
  const Entry e = lookup_[in.peek(kLookupBits)];
  if (e.length > in.left())
    return -1;
  in.skip(e.length);
  uint32_t node = e.node;
  while (!nodes_[node].leaf) {
    uint32_t bit = 0;
    if (!in.take(1, bit))
      return -1;
    node = nodes_[node].child[bit];
  }
  return nodes_[node].symbol;
}

} // namespace vex::huff
