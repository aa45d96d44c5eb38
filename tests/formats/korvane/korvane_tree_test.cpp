// Random tree shapes read and decoded through the lookup tables, against
// the codes of the same shapes worked out by walking them: codes that end in
// the first table level, in the second and beyond both, small trees (whose
// tables shrink to fit), trees of tens of thousands of 16-bit leaves and
// trees at the depth limit and one past it.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <numeric>

#include "formats/korvane/korvane_tree.h"
#include "testkit/formats/korvane/korvane_hand.h"

namespace {

using namespace vex::testkit::korvane;
using vex::formats::korvane::BitReader;
using vex::formats::korvane::Tree;

std::vector<uint32_t> values_below(uint32_t n) {
  std::vector<uint32_t> v(n);
  std::iota(v.begin(), v.end(), 0u);
  return v;
}

std::vector<size_t> message(const TreeShape &s, size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<size_t> m(n);
  for (auto &i : m)
    i = rng() % s.codes.size();
  return m;
}

TEST(KorvaneTree, ByteTreesDecodeEveryCodeAtEveryTableSize) {
  constexpr Split R = Split::random, S = Split::skewed, C = Split::chain;
  const struct {
    uint32_t leaves;
    unsigned depth;
    Split split;
  } cases[] = {{1, 1, R},   {2, 1, R},   {3, 2, S},   {17, 8, S},  {100, 32, S},
               {256, 8, R}, {256, 32, S}, {200, 12, R}, {33, 64, C}, {34, 64, C}}; // chains of depth 32 and 33
  uint32_t seed = 1;
  for (const auto &c : cases) {
    const TreeShape s = random_tree_shape(c.leaves, c.depth, c.split, values_below(256), seed++);
    const auto m = message(s, 3000, seed++);
    Bits b;
    put_tree_shape(b, s, 8);
    b.put(0, 1);
    for (size_t i : m)
      put_code(b, s.codes[i]);
    const bool too_deep = c.split == C && c.leaves - 1 > vex::formats::korvane::kMaxDepth;
    for (unsigned table_bits : {1u, 4u, 8u, 12u}) {
      SCOPED_TRACE(testing::Message() << c.leaves << " leaves, depth " << c.depth << ", table " << table_bits);
      BitReader br(b.bytes().data(), b.bytes().data() + b.bytes().size());
      Tree t;
      ASSERT_EQ(t.read_byte_tree(br, table_bits), !too_deep);
      if (too_deep) {
        EXPECT_TRUE(t.empty());
        continue;
      }
      EXPECT_EQ(t.leaves(), c.leaves);
      size_t wrong = 0;
      for (size_t i : m)
        wrong += (t.decode(br) & 0xFF) != s.values[i];
      EXPECT_EQ(wrong, 0u);
      EXPECT_FALSE(br.overrun());
    }
  }
}

TEST(KorvaneTree, WideTreesOfManyLeavesWithEscapes) {
  constexpr uint16_t esc[3] = {0x1234, 0xBEEF, 0x0000};
  std::vector<uint32_t> values;
  for (uint32_t v : values_below(0x10000))
    if (std::find(std::begin(esc), std::end(esc), v) == std::end(esc))
      values.push_back(v);
  const struct {
    uint32_t leaves;
    unsigned depth;
    Split split;
    unsigned table_bits;
  } cases[] = {{40000, 32, Split::random, 16}, {20000, 32, Split::skewed, 16}, {5000, 24, Split::skewed, 12},
               {3, 2, Split::random, 16}};
  uint32_t seed = 100;
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.leaves << " leaves, table " << c.table_bits);
    // The first three leaves (in pre-order, the order of s.values) become
    // the escapes.
    TreeShape s = random_tree_shape(c.leaves, c.depth, c.split, values, seed++);
    std::copy(esc, esc + std::min<size_t>(3, s.values.size()), s.values.begin());
    s.relabel();
    const auto m = message(s, 60000, seed++);
    Bits b;
    b.put(1, 1).put(1, 1);
    put_flat_byte_tree(b);
    b.put(1, 1);
    put_flat_byte_tree(b);
    for (uint16_t e : esc)
      b.put(e, 16);
    put_tree_shape(b, s, 0);
    b.put(0, 1);
    for (size_t i : m)
      put_code(b, s.codes[i]);
    BitReader br(b.bytes().data(), b.bytes().data() + b.bytes().size());
    Tree t;
    ASSERT_TRUE(t.read_wide_tree(br, c.table_bits));
    EXPECT_EQ(t.leaves(), c.leaves);
    size_t wrong = 0;
    for (size_t i : m) {
      const auto k = std::find(std::begin(esc), std::end(esc), s.values[i]) - std::begin(esc);
      wrong += t.decode(br) != (k < 3 ? (vex::formats::korvane::kLeafRecent + uint32_t(k)) << 16 : s.values[i]);
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_FALSE(br.overrun());
  }
}

} // namespace
