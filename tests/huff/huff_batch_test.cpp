// The batched Huffman calls against the per-symbol calls they stand for:
// the same bytes, the same counters, at every bit offset.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "huff/huff_batch.h"
#include "huff/huff_record.h"
#include "huff_stream.h"

namespace {

struct Coded {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> symbols_coded, bits_coded, counts;
  uint32_t longest = 0; // longest code of a symbol that occurs
};

// For each bit offset 0-7: aligns, writes that many bits, then one block for
// n interleaved encoders (counts, tables, codes), either symbol by symbol
// or batched, and 2 more bits; all into one stream.
Coded code_blocks(size_t n, const std::vector<uint8_t> &symbols, bool batched) {
  Coded r;
  std::vector<uint8_t> scratch;
  r.bytes = capture_bits([&](VEXFILE *f) {
    for (uint32_t lead = 0; lead < 8; ++lead) {
      std::vector<HUFF *> enc(n);
      for (auto &h : enc) {
        h = HuffOpen(1);
        HuffSetOutput(h, f);
        HuffInitStats(h);
      }
      VEXFileByteAlign(f);
      VEXFilePutBits(f, 0x55, lead);
      if (batched) {
        vex::huff::add_stats(enc, symbols);
      } else {
        for (size_t i = 0; i < symbols.size(); ++i)
          HuffAddStat(enc[i % n], symbols[i]);
      }
      for (HUFF *h : enc)
        for (uint32_t s = 0; s < 256; ++s)
          r.counts.push_back(h->code[s]);
      for (HUFF *h : enc)
        HuffStartEncode(h);
      if (batched) {
        vex::huff::encode(enc, symbols, scratch);
      } else {
        for (size_t i = 0; i < symbols.size(); ++i)
          HuffEncode(enc[i % n], symbols[i]);
      }
      VEXFilePutBits(f, 0x3, 2); // what follows lands where it should
      for (size_t i = 0; i < symbols.size(); ++i)
        r.longest = std::max<uint32_t>(r.longest, enc[i % n]->length[symbols[i]]);
      for (HUFF *h : enc) {
        r.symbols_coded.push_back(h->symbols_coded);
        r.bits_coded.push_back(h->bits_coded);
        HuffClose(h);
      }
    }
  });
  return r;
}

void expect_same(size_t n, const std::vector<uint8_t> &symbols) {
  const Coded one = code_blocks(n, symbols, false);
  const Coded batch = code_blocks(n, symbols, true);
  EXPECT_EQ(batch.counts, one.counts);
  EXPECT_EQ(batch.bytes, one.bytes);
  EXPECT_EQ(batch.symbols_coded, one.symbols_coded);
  EXPECT_EQ(batch.bits_coded, one.bits_coded);
}

TEST(HuffBatch, SameBitsAndCountersAsOneCallPerSymbol) {
  std::mt19937 gen(17);
  for (size_t n = 1; n <= 4; ++n) {
    SCOPED_TRACE("encoders " + std::to_string(n));
    // Sizes around whole frames and around the 32-bit words of the gatherer.
    for (size_t size : {size_t{0}, size_t{1}, n, n + 1, size_t{33}, size_t{1000}, size_t{4099}}) {
      SCOPED_TRACE("symbols " + std::to_string(size));
      std::vector<uint8_t> flat(size), skewed(size), constant(size, 0x7F);
      std::geometric_distribution<int> geo(0.3);
      for (size_t i = 0; i < size; ++i) {
        flat[i] = static_cast<uint8_t>(gen());
        skewed[i] = static_cast<uint8_t>(i % n == 0 ? geo(gen) : 255 - geo(gen) % 3);
      }
      expect_same(n, flat);
      expect_same(n, skewed);
      expect_same(n, constant); // one-leaf tables: codes of 0 bits
    }
  }
}

TEST(HuffBatch, LongCodesFillTheGathererWord) {
  // Fibonacci counts give codes of up to 24 bits.
  std::vector<uint8_t> symbols;
  uint32_t a = 1, b = 1;
  for (uint8_t s = 0; s < 25; ++s) {
    for (uint32_t k = 0; k < a; ++k)
      symbols.push_back(s);
    const uint32_t c = a + b;
    a = b;
    b = c;
  }
  std::shuffle(symbols.begin(), symbols.end(), std::mt19937(5));
  const Coded r = code_blocks(1, symbols, true);
  EXPECT_EQ(r.bytes, code_blocks(1, symbols, false).bytes);
  EXPECT_EQ(r.longest, 24u);
}

} // namespace
