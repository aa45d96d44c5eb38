#include "testkit/huff/huff_reader.h"

#include <functional>
#include <stdexcept>

namespace vex::testkit {

uint32_t BitSource::bit() {
  const uint64_t byte = pos_ / 8;
  uint32_t b = 0;
  if (byte < bytes_.size())
    b = (bytes_[byte] >> (pos_ % 8)) & 1u;
  else
    overrun_ = true;
  ++pos_;
  return b;
}

uint32_t BitSource::bits(uint32_t n) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < n; ++i)
    v |= bit() << i;
  return v;
}

std::vector<std::pair<uint32_t, uint32_t>> HuffTree::leaves() const {
  std::vector<std::pair<uint32_t, uint32_t>> out;
  std::vector<std::pair<uint32_t, uint32_t>> stack{{0, 0}};
  while (!stack.empty()) {
    auto [i, d] = stack.back();
    stack.pop_back();
    if (nodes[i].leaf) {
      out.emplace_back(nodes[i].value, d);
    } else {
      stack.emplace_back(nodes[i].child[1], d + 1);
      stack.emplace_back(nodes[i].child[0], d + 1);
    }
  }
  return out;
}

int HuffTree::max_depth() const {
  int m = 0;
  for (auto [v, d] : leaves())
    m = std::max(m, static_cast<int>(d));
  return m;
}

namespace {

constexpr int kDepthLimit = 64;

// Pre-order: 1 = internal node and its two subtrees, 0 = leaf and its value.
HuffTree read_tree(BitSource &in, const std::function<uint32_t()> &leaf_value) {
  HuffTree t;
  std::function<uint32_t(int)> node = [&](int depth) -> uint32_t {
    if (depth > kDepthLimit || in.overrun())
      throw std::runtime_error("tree too deep or truncated");
    const auto index = static_cast<uint32_t>(t.nodes.size());
    t.nodes.push_back({});
    if (in.bit() == 0) {
      t.nodes[index] = {true, leaf_value(), {0, 0}};
    } else {
      t.nodes[index].leaf = false;
      const uint32_t zero = node(depth + 1);
      const uint32_t one = node(depth + 1);
      t.nodes[index].child[0] = zero;
      t.nodes[index].child[1] = one;
    }
    return index;
  };
  node(0);
  if (in.bit() != 0)
    throw std::runtime_error("missing closing bit");
  return t;
}

uint32_t walk(const HuffTree &t, BitSource &in) {
  uint32_t i = 0;
  while (!t.nodes[i].leaf)
    i = t.nodes[i].child[in.bit()];
  return t.nodes[i].value;
}

} // namespace

std::optional<HuffTree> read_table8(BitSource &in) {
  if (in.bit() == 0)
    return std::nullopt;
  return read_tree(in, [&] { return in.bits(8); });
}

uint32_t decode8(const HuffTree &t, BitSource &in) { return walk(t, in); }

std::optional<HuffTable16> read_table16(BitSource &in) {
  if (in.bit() == 0)
    return std::nullopt;
  HuffTable16 t;
  t.low = read_table8(in);
  t.high = read_table8(in);
  if (!t.low || !t.high)
    throw std::runtime_error("16-bit table without byte tables");
  for (auto &e : t.escape)
    e = in.bits(16);
  t.tree = read_tree(in, [&] { return walk(*t.low, in) | walk(*t.high, in) << 8; });
  return t;
}

uint32_t Decoder16::next(BitSource &in) {
  uint32_t v = walk(t_.tree, in);
  for (int i = 0; i < 3; ++i)
    if (v == t_.escape[static_cast<size_t>(i)]) {
      v = recent_[static_cast<size_t>(i)];
      break;
    }
  if (v != recent_[0]) {
    recent_[2] = recent_[1];
    recent_[1] = recent_[0];
    recent_[0] = v;
  }
  return v;
}

} // namespace vex::testkit
