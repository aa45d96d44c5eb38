#include "testkit/formats/korvane/korvane_hand.h"

#include <algorithm>

namespace vex::testkit::korvane {
namespace {

// A subtree of `leaves` leaves no deeper than `room` more levels.
int grow(TreeShape &s, uint32_t leaves, unsigned room, Split split, std::mt19937 &rng, std::vector<uint32_t> &values,
         std::vector<int> &path) {
  const int id = static_cast<int>(s.nodes.size());
  s.nodes.emplace_back();
  if (leaves == 1) {
    s.nodes[id].value = values.back();
    values.pop_back();
    s.codes.push_back(path);
    s.values.push_back(s.nodes[id].value);
    return id;
  }
  const uint64_t half = room >= 33 ? UINT64_MAX : uint64_t{1} << (room - 1); // most leaves a child may hold
  const uint32_t lo = static_cast<uint32_t>(std::max<uint64_t>(1, leaves > half ? leaves - half : 1));
  const uint32_t hi = static_cast<uint32_t>(std::min<uint64_t>(leaves - 1, half));
  uint32_t left = std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
  if (split == Split::skewed && rng() % 3 != 0)
    left = rng() % 2 ? lo : hi;
  if (split == Split::chain)
    left = lo;
  for (int side = 0; side < 2; ++side) {
    path.push_back(side);
    const int c = grow(s, side == 0 ? left : leaves - left, room - 1, split, rng, values, path);
    path.pop_back();
    s.nodes[id].child[side] = c;
  }
  return id;
}

void put_flat_byte(Bits &b, uint32_t v) {
  for (int k = 7; k >= 0; --k)
    b.put(v >> k & 1, 1);
}

void put_node(Bits &b, const TreeShape &s, int node, unsigned leaf_bits) {
  const auto &n = s.nodes[node];
  if (n.child[0] >= 0) {
    b.put(1, 1);
    put_node(b, s, n.child[0], leaf_bits);
    put_node(b, s, n.child[1], leaf_bits);
  } else if (b.put(0, 1); leaf_bits) {
    b.put(n.value, leaf_bits);
  } else {
    put_flat_byte(b, n.value & 0xFF);
    put_flat_byte(b, n.value >> 8);
  }
}

} // namespace

void TreeShape::relabel() {
  size_t leaf = 0;
  for (auto &n : nodes)
    if (n.child[0] < 0)
      n.value = values[leaf++];
}

TreeShape random_tree_shape(uint32_t leaves, unsigned max_depth, Split split, std::vector<uint32_t> values,
                            uint32_t seed) {
  std::mt19937 rng(seed);
  std::shuffle(values.begin(), values.end(), rng);
  values.resize(leaves);
  TreeShape s;
  std::vector<int> path;
  grow(s, leaves, max_depth, split, rng, values, path);
  return s;
}

void put_tree_shape(Bits &b, const TreeShape &s, unsigned leaf_bits) { put_node(b, s, 0, leaf_bits); }

void put_code(Bits &b, const std::vector<int> &code) {
  for (int bit : code)
    b.put(static_cast<uint32_t>(bit), 1);
}

void put_flat_byte_tree(Bits &b) {
  for (uint32_t v = 0; v < 256; ++v) {
    for (uint32_t d = 0; d < 8; ++d)
      if ((v & ((1u << (8 - d)) - 1)) == 0) // v starts a subtree of 2^(8-d) leaves
        b.put(1, 1);
    b.put(0, 1).put(v, 8);
  }
  b.put(0, 1);
}

Bits &byte_tree4(Bits &b, const std::array<uint8_t, 4> &v) {
  b.put(1, 1).put(1, 1).put(0, 1).put(v[0], 8).put(0, 1).put(v[1], 8);
  return b.put(1, 1).put(0, 1).put(v[2], 8).put(0, 1).put(v[3], 8).put(0, 1);
}

Bits &wide_tree4(Bits &b, const std::array<uint16_t, 4> &v) {
  b.put(1, 1).put(1, 1);
  byte_tree4(b, {uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), uint8_t(v[3])}).put(1, 1);
  byte_tree4(b, {uint8_t(v[0] >> 8), uint8_t(v[1] >> 8), uint8_t(v[2] >> 8), uint8_t(v[3] >> 8)});
  b.put(kHandEscape, 16).put(kHandEscape + 1, 16).put(kHandEscape + 2, 16).put(1, 1).put(1, 1);
  b.put(0, 1).code4(0).code4(0).put(0, 1).code4(1).code4(1).put(1, 1);
  return b.put(0, 1).code4(2).code4(2).put(0, 1).code4(3).code4(3).put(0, 1);
}

std::vector<HandBytes> walk_pcm(size_t frames, size_t bytes, uint32_t seed, bool gaps, bool sixteen) {
  std::vector<HandBytes> out(frames);
  uint32_t x = seed, level = 128 << 8;
  for (size_t f = 0; f < frames; ++f)
    for (size_t i = 0; i < bytes && !(gaps && f % 3 == 1); i += sixteen ? 2 : 1) {
      x = x * 1664525 + 1013904223;
      level += (x >> 24) - 128;
      if (sixteen)
        out[f].push_back(static_cast<uint8_t>(level));
      out[f].push_back(static_cast<uint8_t>(level >> 8));
    }
  return out;
}

std::vector<HandBytes> split_pcm(const std::vector<int16_t> &pcm, size_t per) {
  std::vector<HandBytes> out(pcm.size() / per);
  for (size_t i = 0; i < out.size() * per; ++i)
    append_le16(out[i / per], static_cast<uint16_t>(pcm[i]));
  return out;
}

HandBytes HandMovie::file() {
  for (auto &r : records)
    r.resize((r.size() + 3) & ~size_t{3}, 0);
  const size_t ring = header[5] & 1;
  header[3] = static_cast<uint32_t>(records.size() - ring);
  header[13] = static_cast<uint32_t>(trees.size());
  HandBytes f;
  for (uint32_t v : header)
    append_le32(f, v);
  for (const auto &r : records)
    append_le32(f, static_cast<uint32_t>(r.size()));
  f.insert(f.end(), types.begin(), types.end());
  f.insert(f.end(), trees.begin(), trees.end());
  for (const auto &r : records)
    f.insert(f.end(), r.begin(), r.end());
  return f;
}

} // namespace vex::testkit::korvane
