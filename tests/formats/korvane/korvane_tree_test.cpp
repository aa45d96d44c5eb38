// Random tree shapes read and decoded through the lookup tables, against
// the codes of the same shapes worked out by walking them: codes that end in
// the first table level, in the second and beyond both, small trees (whose
// tables shrink to fit), trees of tens of thousands of 16-bit leaves and
// trees at the depth limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <numeric>
#include <random>

#include "formats/korvane/korvane_tree.h"
#include "tests/formats/korvane/korvane_test_util.h"

namespace {

using korvane_test::Bits;
using vex::formats::korvane::BitReader;
using vex::formats::korvane::Tree;

struct Shape {
  struct Node {
    int child[2] = {-1, -1};
    uint32_t value = 0; // leaves only
  };
  std::vector<Node> nodes;
  std::vector<std::vector<int>> codes; // per leaf, in leaf order: the path from the root
  std::vector<uint32_t> values;        // per leaf
};

// How a node's leaves are shared between its children: at random,
// lopsided more often than not (so long codes appear), or one leaf to the
// first child every time (a chain: leaf k at depth k + 1).
enum class Split { random, skewed, chain };

// A subtree of `leaves` leaves no deeper than `room` more levels.
int grow(Shape &s, uint32_t leaves, unsigned room, Split split, std::mt19937 &rng, std::vector<uint32_t> &values,
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

Shape random_shape(uint32_t leaves, unsigned max_depth, Split split, std::vector<uint32_t> values, uint32_t seed) {
  std::mt19937 rng(seed);
  std::shuffle(values.begin(), values.end(), rng);
  values.resize(leaves);
  Shape s;
  std::vector<int> path;
  grow(s, leaves, max_depth, split, rng, values, path);
  return s;
}

// Pre-order: 1 = internal node, 0 = leaf and its value; a closing 0.
template <typename PutLeaf> void put_shape(Bits &b, const Shape &s, int node, PutLeaf &&leaf) {
  const auto &n = s.nodes[node];
  if (n.child[0] < 0) {
    b.put(0, 1);
    leaf(n.value);
    return;
  }
  b.put(1, 1);
  put_shape(b, s, n.child[0], leaf);
  put_shape(b, s, n.child[1], leaf);
}

void put_code(Bits &b, const std::vector<int> &code) {
  for (int bit : code)
    b.put(static_cast<uint32_t>(bit), 1);
}

// A byte tree whose leaf k (in pre-order) is the value k: every byte costs
// its 8 bits, the highest first.
void put_flat_byte_tree(Bits &b) {
  for (uint32_t v = 0; v < 256; ++v) {
    for (uint32_t d = 0; d < 8; ++d)
      if ((v & ((1u << (8 - d)) - 1)) == 0) // v starts a subtree of 2^(8-d) leaves
        b.put(1, 1);
    b.put(0, 1).put(v, 8);
  }
  b.put(0, 1);
}

void put_flat_byte(Bits &b, uint32_t v) {
  for (int k = 7; k >= 0; --k)
    b.put(v >> k & 1, 1);
}

std::vector<size_t> message(const Shape &s, size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<size_t> m(n);
  for (auto &i : m)
    i = rng() % s.codes.size();
  return m;
}

struct ByteCase {
  uint32_t leaves;
  unsigned depth;
  Split split;
};

TEST(KorvaneTree, ByteTreesDecodeEveryCodeAtEveryTableSize) {
  std::vector<uint32_t> all(256);
  std::iota(all.begin(), all.end(), 0u);
  constexpr Split R = Split::random, S = Split::skewed;
  const ByteCase cases[] = {{1, 1, R},    {2, 1, R},   {3, 2, S},    {17, 8, S},
                            {100, 32, S}, {256, 8, R}, {256, 32, S}, {200, 12, R}};
  uint32_t seed = 1;
  for (const ByteCase &c : cases) {
    const Shape s = random_shape(c.leaves, c.depth, c.split, all, seed++);
    const auto m = message(s, 3000, seed++);
    Bits b;
    put_shape(b, s, 0, [&](uint32_t v) { b.put(v, 8); });
    b.put(0, 1);
    for (size_t i : m)
      put_code(b, s.codes[i]);
    for (unsigned table_bits : {1u, 4u, 8u, 12u}) {
      SCOPED_TRACE(testing::Message() << c.leaves << " leaves, depth " << c.depth << ", table " << table_bits);
      BitReader br(b.bytes().data(), b.bytes().data() + b.bytes().size());
      Tree t;
      ASSERT_TRUE(t.read_byte_tree(br, table_bits));
      EXPECT_EQ(t.leaves(), c.leaves);
      size_t wrong = 0;
      for (size_t i : m)
        wrong += (t.decode(br) & 0xFF) != s.values[i];
      EXPECT_EQ(wrong, 0u);
      EXPECT_FALSE(br.overrun());
    }
  }
}

TEST(KorvaneTree, ChainsUpToTheDepthLimitAndOnePast) {
  for (uint32_t leaves : {33u, 34u}) {
    std::vector<uint32_t> values(leaves);
    std::iota(values.begin(), values.end(), 0u);
    const Shape s = random_shape(leaves, 64, Split::chain, values, leaves); // depth leaves - 1
    Bits b;
    put_shape(b, s, 0, [&](uint32_t v) { b.put(v, 8); });
    b.put(0, 1);
    for (size_t i = s.codes.size(); i-- > 0;)
      put_code(b, s.codes[i]);
    BitReader br(b.bytes().data(), b.bytes().data() + b.bytes().size());
    Tree t;
    if (leaves - 1 > vex::formats::korvane::kMaxDepth) {
      EXPECT_FALSE(t.read_byte_tree(br, 8));
      EXPECT_TRUE(t.empty());
      continue;
    }
    ASSERT_TRUE(t.read_byte_tree(br, 8));
    for (size_t i = s.codes.size(); i-- > 0;)
      EXPECT_EQ(t.decode(br) & 0xFF, s.values[i]) << "leaf " << i;
  }
}

TEST(KorvaneTree, WideTreesOfManyLeavesWithEscapes) {
  constexpr uint16_t esc[3] = {0x1234, 0xBEEF, 0x0000};
  std::vector<uint32_t> all(0x10000);
  std::iota(all.begin(), all.end(), 0u);
  struct WideCase {
    uint32_t leaves;
    unsigned depth;
    Split split;
    unsigned table_bits;
  };
  constexpr Split R = Split::random, S = Split::skewed;
  const WideCase cases[] = {{40000, 32, R, 16}, {20000, 32, S, 16}, {5000, 24, S, 12}, {3, 2, R, 16}};
  uint32_t seed = 100;
  for (const WideCase &c : cases) {
    SCOPED_TRACE(testing::Message() << c.leaves << " leaves, table " << c.table_bits);
    std::vector<uint32_t> values;
    std::copy_if(all.begin(), all.end(), std::back_inserter(values),
                 [&](uint32_t v) { return std::find(std::begin(esc), std::end(esc), v) == std::end(esc); });
    Shape s = random_shape(c.leaves, c.depth, c.split, values, seed++);
    // The first three leaves become the escapes. Nodes were made in
    // pre-order, so their leaves come in the order of s.values.
    for (size_t k = 0; k < 3 && k < s.values.size(); ++k)
      s.values[k] = esc[k];
    size_t leaf = 0;
    for (auto &n : s.nodes)
      if (n.child[0] < 0)
        n.value = s.values[leaf++];
    std::vector<uint32_t> sorted = s.values;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "leaf values must differ";

    const auto m = message(s, 60000, seed++);
    Bits b;
    b.put(1, 1).put(1, 1);
    put_flat_byte_tree(b);
    b.put(1, 1);
    put_flat_byte_tree(b);
    for (uint16_t e : esc)
      b.put(e, 16);
    put_shape(b, s, 0, [&](uint32_t v) {
      put_flat_byte(b, v & 0xFF);
      put_flat_byte(b, v >> 8);
    });
    b.put(0, 1);
    for (size_t i : m)
      put_code(b, s.codes[i]);

    BitReader br(b.bytes().data(), b.bytes().data() + b.bytes().size());
    Tree t;
    ASSERT_TRUE(t.read_wide_tree(br, c.table_bits));
    EXPECT_EQ(t.leaves(), c.leaves);
    size_t wrong = 0;
    for (size_t i : m) {
      const uint32_t v = s.values[i];
      const auto k = std::find(std::begin(esc), std::end(esc), v) - std::begin(esc);
      const uint32_t want = k < 3 ? (vex::formats::korvane::kLeafRecent + static_cast<uint32_t>(k)) << 16 : v;
      wrong += t.decode(br) != want;
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_FALSE(br.overrun());
  }
}

} // namespace
