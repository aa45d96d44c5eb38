// The Huffman construction's sorted list against a plain transcription of
// its rules on a vector: the same entries in the same order after every
// step, including the equal-weight shortcut and re-centring.
#include <gtest/gtest.h>

#include <random>

#include "huff/huff_weight_list.h"

namespace {

using vex::huff::WeightedRef;
using vex::huff::WeightList;

// Descending weight; binary search; shortcut when the run from the
// insertion point to the end has one weight; otherwise shift up.
struct PlainList {
  std::vector<WeightedRef> v;
  void insert(WeightedRef e) {
    const int n = static_cast<int>(v.size());
    int low = 0, high = n, mid = 0;
    while (low <= high) {
      mid = (low + high) / 2;
      if (mid == n)
        break;
      if (v[static_cast<size_t>(mid)].weight < e.weight)
        high = mid - 1;
      else
        low = mid + 1;
    }
    const int pos = mid == n || v[static_cast<size_t>(mid)].weight < e.weight ? mid : mid + 1;
    if (pos == n) {
      v.push_back(e);
    } else if (v[static_cast<size_t>(pos)].weight == v.back().weight) {
      v.push_back(v[static_cast<size_t>(pos)]);
      v[static_cast<size_t>(pos)] = e;
    } else {
      v.insert(v.begin() + pos, e);
    }
  }
  WeightedRef pop_last() {
    const WeightedRef e = v.back();
    v.pop_back();
    return e;
  }
};

void expect_equal(const WeightList &list, const PlainList &plain) {
  ASSERT_EQ(list.size(), plain.v.size());
  for (size_t i = 0; i < plain.v.size(); ++i) {
    ASSERT_EQ(list.at(i).weight, plain.v[i].weight) << "entry " << i;
    ASSERT_EQ(list.at(i).ref, plain.v[i].ref) << "entry " << i;
  }
}

TEST(HuffWeightList, FollowsThePlainListThroughInsertsAndPops) {
  std::mt19937 gen(31);
  for (uint32_t spread : {1u, 3u, 20u, 1000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE("weights below " + std::to_string(spread));
    for (size_t capacity : {1u, 2u, 5u, 64u, 300u}) {
      WeightList list(capacity);
      PlainList plain;
      uint32_t ref = 0;
      // Fill with leaves, then pair the two lightest as the tree builder
      // does, pushing and popping at random in between.
      for (size_t i = 0; i < capacity; ++i) {
        const WeightedRef e{static_cast<uint32_t>(gen() % spread), ref++};
        list.insert(e);
        plain.insert(e);
        expect_equal(list, plain);
      }
      while (list.size() >= 2) {
        const WeightedRef one = list.pop_last(), zero = list.pop_last();
        const WeightedRef p1 = plain.pop_last(), p0 = plain.pop_last();
        ASSERT_EQ(one.ref, p1.ref);
        ASSERT_EQ(zero.ref, p0.ref);
        const WeightedRef merged{zero.weight + one.weight, ref++};
        list.insert(merged);
        plain.insert(merged);
        expect_equal(list, plain);
        if (gen() % 4 == 0 && list.size() < capacity) {
          const WeightedRef e{static_cast<uint32_t>(gen() % spread), ref++};
          list.insert(e);
          plain.insert(e);
          expect_equal(list, plain);
        }
      }
    }
  }
}

} // namespace
