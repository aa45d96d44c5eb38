// The batched Huffman calls against the per-symbol calls they stand for
// (the same bytes, the same counters, at every bit offset), and the
// construction's sorted list against the testkit's plain transcription of
// its rules on a vector.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "huff/huff_batch.h"
#include "huff/huff_record.h"
#include "huff/huff_weight_list.h"
#include "testkit/huff/huff_oracles.h"

namespace {

struct Coded {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> counters; // per encoder: statistics, then symbols and bits coded
};

// For each bit offset 0-7: aligns, writes that many bits, then one block for
// n interleaved encoders (counts, tables, codes), either symbol by symbol
// or batched, and 2 more bits; all into one stream.
Coded code_blocks(size_t n, const std::vector<uint8_t> &symbols, bool batched) {
  Coded r;
  std::vector<uint8_t> scratch;
  r.bytes = vex::testkit::capture_bits([&](VEXFILE *f) {
    for (uint32_t lead = 0; lead < 8; ++lead) {
      std::vector<HUFF *> enc(n);
      for (auto &h : enc) {
        h = HuffOpen(1);
        HuffSetOutput(h, f);
        HuffInitStats(h);
      }
      VEXFileByteAlign(f);
      VEXFilePutBits(f, 0x55, lead);
      if (batched)
        vex::huff::add_stats(enc, symbols);
      for (size_t i = 0; i < symbols.size() && !batched; ++i)
        HuffAddStat(enc[i % n], symbols[i]);
      for (HUFF *h : enc)
        r.counters.insert(r.counters.end(), h->code, h->code + 256);
      for (HUFF *h : enc)
        HuffStartEncode(h);
      if (batched)
        vex::huff::encode(enc, symbols, scratch);
      for (size_t i = 0; i < symbols.size() && !batched; ++i)
        HuffEncode(enc[i % n], symbols[i]);
      VEXFilePutBits(f, 0x3, 2); // what follows lands where it should
      for (HUFF *h : enc) {
        r.counters.push_back(h->symbols_coded);
        r.counters.push_back(h->bits_coded);
        HuffClose(h);
      }
    }
  });
  return r;
}

TEST(HuffBatch, SameBitsAndCountersAsOneCallPerSymbol) {
  std::mt19937 gen(17);
  for (size_t n = 1; n <= 4; ++n) {
    // Sizes around whole frames and around the 32-bit words of the gatherer.
    for (size_t size : {size_t{0}, size_t{1}, n, n + 1, size_t{33}, size_t{1000}, size_t{4099}}) {
      SCOPED_TRACE(testing::Message() << "encoders " << n << " symbols " << size);
      std::vector<uint8_t> flat(size), skewed(size), constant(size, 0x7F); // constant: one-leaf tables
      std::geometric_distribution<int> geo(0.3);
      for (size_t i = 0; i < size; ++i) {
        flat[i] = static_cast<uint8_t>(gen());
        skewed[i] = static_cast<uint8_t>(i % n == 0 ? geo(gen) : 255 - geo(gen) % 3);
      }
      for (const auto *s : {&flat, &skewed, &constant}) {
        const Coded one = code_blocks(n, *s, false), batch = code_blocks(n, *s, true);
        EXPECT_EQ(batch.bytes, one.bytes);
        EXPECT_EQ(batch.counters, one.counters);
      }
    }
  }
  // Fibonacci counts give codes of up to 24 bits: the gatherer's word fills.
  std::vector<uint8_t> deep;
  for (uint32_t s : vex::testkit::fibonacci_stream(25))
    deep.push_back(static_cast<uint8_t>(s));
  std::shuffle(deep.begin(), deep.end(), std::mt19937(5));
  EXPECT_EQ(code_blocks(1, deep, true).bytes, code_blocks(1, deep, false).bytes);
}

TEST(HuffWeightList, FollowsThePlainListThroughInsertsAndPops) {
  using vex::huff::WeightedRef;
  std::mt19937 gen(31);
  for (uint32_t spread : {1u, 3u, 20u, 1000u, 0xFFFFFFFFu}) {
    for (size_t capacity : {1u, 2u, 5u, 64u, 300u}) {
      SCOPED_TRACE(testing::Message() << "weights below " << spread << ", capacity " << capacity);
      vex::huff::WeightList list(capacity);
      vex::testkit::PlainWeightList plain;
      uint32_t ref = 0;
      const auto insert = [&](WeightedRef e) {
        list.insert(e);
        plain.insert(e);
        ASSERT_EQ(list.size(), plain.v.size());
        for (size_t i = 0; i < plain.v.size(); ++i) {
          ASSERT_EQ(list.at(i).weight, plain.v[i].weight) << "entry " << i;
          ASSERT_EQ(list.at(i).ref, plain.v[i].ref) << "entry " << i;
        }
      };
      // Fill with leaves, then pair the two lightest as the tree builder
      // does, pushing now and then in between.
      for (size_t i = 0; i < capacity; ++i)
        insert({static_cast<uint32_t>(gen() % spread), ref++});
      while (list.size() >= 2) {
        const WeightedRef one = list.pop_last(), zero = list.pop_last();
        ASSERT_EQ(one.ref, plain.pop_last().ref);
        ASSERT_EQ(zero.ref, plain.pop_last().ref);
        insert({zero.weight + one.weight, ref++});
        if (gen() % 4 == 0 && list.size() < capacity)
          insert({static_cast<uint32_t>(gen() % spread), ref++});
      }
    }
  }
}

} // namespace
