// The Huffman encoder, read back by the testkit's separately written table
// reader, against hand-computed tables and an optimal-cost oracle; the
// library's own table-driven decoder reads the same streams, and refuses
// tables and codes that run past the bits given.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <queue>
#include <random>

#include "huff/huff_decoder.h"
#include "huff/huff_record.h"
#include "huff_stream.h"
#include "testkit/huff/huff_reader.h"
#include "vexutil/huff.h"
#include "vexutil/util.h"

namespace {

using vex::testkit::BitSource;
using vex::testkit::Decoder16;
using vex::testkit::read_table16;
using vex::testkit::read_table8;

struct HuffCloser {
  void operator()(HUFF *h) const { HuffClose(h); }
};
using HuffPtr = std::unique_ptr<HUFF, HuffCloser>;

// Gathers, writes the table, codes the symbols; returns the table result.
int32_t code_block(HUFF *h, const std::vector<uint32_t> &symbols) {
  HuffInitStats(h);
  for (uint32_t s : symbols)
    HuffAddStat(h, s);
  const int32_t r = HuffStartEncode(h);
  for (uint32_t s : symbols)
    HuffEncode(h, s);
  return r;
}

struct Coded {
  std::vector<uint8_t> bytes;
  int32_t result;
  uint32_t bits_coded, symbols_coded;
};

Coded code8(const std::vector<uint32_t> &symbols) {
  HuffPtr h(HuffOpen(1));
  Coded c{};
  c.bytes = capture_bits([&](VEXFILE *f) {
    HuffSetOutput(h.get(), f);
    c.result = code_block(h.get(), symbols);
  });
  c.bits_coded = h->bits_coded;
  c.symbols_coded = h->symbols_coded;
  return c;
}

std::vector<uint32_t> decode8_all(const std::vector<uint8_t> &bytes, size_t count) {
  BitSource in(bytes);
  const auto t = read_table8(in);
  EXPECT_TRUE(t.has_value());
  std::vector<uint32_t> out;
  for (size_t i = 0; i < count; ++i)
    out.push_back(decode8(*t, in));
  EXPECT_FALSE(in.overrun());
  return out;
}

// The same through the library's decoder, which must end within the bytes
// and where the testkit's reader ends.
std::vector<uint32_t> library_decode8_all(const std::vector<uint8_t> &bytes, size_t count) {
  vex::huff::BitReader in(bytes);
  vex::huff::Table8 t;
  EXPECT_TRUE(t.read(in));
  std::vector<uint32_t> out;
  for (size_t i = 0; i < count; ++i) {
    const int32_t v = t.decode(in);
    EXPECT_GE(v, 0) << "symbol " << i;
    out.push_back(static_cast<uint32_t>(v));
  }
  BitSource oracle(bytes);
  const auto ot = read_table8(oracle);
  for (size_t i = 0; i < count; ++i)
    decode8(*ot, oracle);
  EXPECT_EQ(in.position(), oracle.position());
  return out;
}

// Weighted path length of an optimal prefix code: the sum of all merged
// weights of a textbook min-heap construction.
uint64_t optimal_cost(const std::map<uint32_t, uint64_t> &counts) {
  std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<>> q;
  for (auto [s, c] : counts)
    q.push(c);
  uint64_t cost = 0;
  while (q.size() > 1) {
    const uint64_t a = q.top();
    q.pop();
    const uint64_t b = q.top();
    q.pop();
    cost += a + b;
    q.push(a + b);
  }
  return cost;
}

std::map<uint32_t, uint64_t> histogram(const std::vector<uint32_t> &symbols) {
  std::map<uint32_t, uint64_t> m;
  for (uint32_t s : symbols)
    ++m[s];
  return m;
}

// Counts 1, 1, 2, 3, 5, ... give the deepest possible tree: depth = symbols - 1.
std::vector<uint32_t> fibonacci_stream(uint32_t symbols) {
  std::vector<uint32_t> out;
  uint64_t a = 1, b = 1;
  for (uint32_t s = 0; s < symbols; ++s) {
    out.insert(out.end(), a, s);
    const uint64_t c = a + b;
    a = b;
    b = c;
  }
  return out;
}

TEST(HuffTable, NoStatisticsWritesOneZeroBit) {
  HuffPtr h(HuffOpen(1));
  int32_t r = 0;
  const auto bytes = capture_bits([&](VEXFILE *f) {
    HuffSetOutput(h.get(), f);
    HuffInitStats(h.get());
    r = HuffStartEncode(h.get());
    VEXFilePutBits(f, 0b101, 3); // marker right behind the table
  });
  EXPECT_EQ(r, 12);
  ASSERT_EQ(bytes.size(), 1u);
  EXPECT_EQ(bytes[0], 0b1010);
}

TEST(HuffTable, OneSymbolIsASingleLeafCodedWithNoBits) {
  HuffPtr h(HuffOpen(1));
  int32_t r = 0;
  const auto bytes = capture_bits([&](VEXFILE *f) {
    HuffSetOutput(h.get(), f);
    r = code_block(h.get(), std::vector<uint32_t>(100, 65));
    VEXFilePutBits(f, 0b101, 3);
  });
  EXPECT_EQ(r, 20);
  EXPECT_EQ(h->length[65], 0);
  // bits: 1 (table), 0 (leaf), 65 in 8 bits, 0 (closing), then 1 0 1.
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x05, 0x29}));
}

TEST(HuffTable, TwoSymbolsLighterOrLaterOnTheOneBranch) {
  std::vector<uint32_t> s(5, 7);
  s.insert(s.end(), 2, 9);
  const Coded c = code8(s);
  EXPECT_EQ(c.result, 24);
  // 1 (table) 1 (root) 0 7 0 9 0 (closing), then the codes 0 0 0 0 0 1 1.
  BitSource in(c.bytes);
  EXPECT_EQ(in.bits(2), 3u);
  EXPECT_EQ(in.bit(), 0u);
  EXPECT_EQ(in.bits(8), 7u);
  EXPECT_EQ(in.bit(), 0u);
  EXPECT_EQ(in.bits(8), 9u);
  EXPECT_EQ(in.bit(), 0u);
  EXPECT_EQ(in.bits(7), 0b1100000u);

  // Equal weights: the later entry of the sorted list (the higher symbol,
  // inserted last) takes the 1-branch.
  std::vector<uint32_t> e = {200, 3, 200, 3, 3, 200};
  const Coded ce = code8(e);
  BitSource in2(ce.bytes);
  const auto t = read_table8(in2);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->nodes[t->nodes[0].child[0]].value, 3u);
  EXPECT_EQ(t->nodes[t->nodes[0].child[1]].value, 200u);
}

TEST(HuffTable, EqualWeightShortcutDecidesThePairing) {
  // Counts 0:1, 1:1, 2:2. Inserting symbol 2 lands at the front of a run of
  // equal weights, so the run's first entry (symbol 0) moves to the end
  // instead of shifting: the list becomes [2, 1, 0], the first pair is
  // (0-branch 1, 1-branch 0), and the codes are 2 = "0", 1 = "10", 0 = "11".
  HuffPtr h(HuffOpen(1));
  int32_t r = 0;
  const auto bytes = capture_bits([&](VEXFILE *f) {
    HuffSetOutput(h.get(), f);
    r = code_block(h.get(), {0, 1, 2, 2});
  });
  EXPECT_EQ(r, 32);
  EXPECT_EQ(h->length[2], 1);
  EXPECT_EQ(h->code[2], 0u);
  EXPECT_EQ(h->length[1], 2);
  EXPECT_EQ(h->code[1], 0b01u); // first bit 1, then 0 (first bit in bit 0)
  EXPECT_EQ(h->length[0], 2);
  EXPECT_EQ(h->code[0], 0b11u);
  // Table: 1 1 | 0 <2> | 1 0 <1> 0 <0> | 0, then codes 11 10 0 0.
  BitSource in(bytes);
  EXPECT_EQ(in.bits(3), 0b011u);
  EXPECT_EQ(in.bits(8), 2u);
  EXPECT_EQ(in.bits(2), 0b01u);
  EXPECT_EQ(in.bits(8), 1u);
  EXPECT_EQ(in.bit(), 0u);
  EXPECT_EQ(in.bits(8), 0u);
  EXPECT_EQ(in.bit(), 0u);
  EXPECT_EQ(in.bits(6), 0b000111u);
}

TEST(HuffRoundTrip, EightBitStreamsDecodeAndCostTheOptimum) {
  std::mt19937 gen(42);
  std::vector<std::vector<uint32_t>> streams;
  std::vector<uint32_t> all256;
  for (int rep = 0; rep < 4; ++rep)
    for (uint32_t s = 0; s < 256; ++s)
      all256.push_back(s);
  std::shuffle(all256.begin(), all256.end(), gen);
  streams.push_back(all256);
  for (double p : {0.5, 0.2, 0.05}) {
    std::geometric_distribution<int> g(p);
    std::vector<uint32_t> s;
    for (int i = 0; i < 20000; ++i)
      s.push_back(static_cast<uint32_t>(std::min(g(gen), 255)));
    streams.push_back(s);
  }
  streams.push_back(fibonacci_stream(31)); // codes of exactly 30 bits
  std::shuffle(streams.back().begin(), streams.back().end(), gen);

  for (size_t i = 0; i < streams.size(); ++i) {
    const auto &s = streams[i];
    const Coded c = code8(s);
    const auto counts = histogram(s);
    EXPECT_EQ(c.result, static_cast<int32_t>(16 + 8 * (counts.size() - 1))) << "stream " << i;
    EXPECT_EQ(decode8_all(c.bytes, s.size()), s) << "stream " << i;
    EXPECT_EQ(library_decode8_all(c.bytes, s.size()), s) << "stream " << i;
    EXPECT_EQ(c.bits_coded, optimal_cost(counts)) << "stream " << i;
    EXPECT_EQ(c.symbols_coded, s.size());
  }
  const Coded deepest = code8(streams.back());
  BitSource deep_in(deepest.bytes);
  EXPECT_EQ(read_table8(deep_in)->max_depth(), 30);
  const Coded uniform = code8(streams[0]);
  BitSource in(uniform.bytes);
  for (auto [v, depth] : read_table8(in)->leaves())
    EXPECT_EQ(depth, 8u) << v;
}

// Bits least significant first, as the encoder writes them.
std::vector<uint8_t> bits_of(const std::string &text) {
  std::vector<uint8_t> out((text.size() + 7) / 8, 0);
  for (size_t i = 0; i < text.size(); ++i)
    out[i / 8] |= static_cast<uint8_t>((text[i] == '1') << (i % 8));
  return out;
}

// Hand-made tables and codes: the library's decoder takes no bit that is
// not there and no tree the encoder cannot write.
TEST(HuffDecoder, TablesAndCodesWithinTheBitsGiven) {
  const std::string leaf_a = "0" "10000000", leaf_b = "0" "01000000"; // symbols 1 and 2
  const std::string two = "1" "1" + leaf_a + leaf_b + "0";            // codes 0 -> 1, 1 -> 2
  struct Case {
    const char *name;
    std::string bits;
    size_t bytes; // of the bits given (0: all)
    bool table;   // the table reads
    std::vector<int32_t> symbols; // what decoding gives then, -1 past the end
  };
  const Case cases[] = {
      {"absent table", "0", 0, true, {-1}},
      {"single leaf: no bits", "1" + leaf_a + "0", 0, true, {1, 1, 1}},
      {"two leaves, codes 0 1 1 then the end", two + "011", 0, true, {1, 2, 2, -1}},
      {"closing bit 1", "1" "1" + leaf_a + leaf_b + "1", 0, false, {}},
      {"cut inside a leaf's symbol", two, 2, false, {}},
      {"internal nodes 31 deep", "1" + std::string(31, '1'), 0, false, {}},
      // Thirty internal nodes, each with a leaf on its 1-branch: codes of
      // up to 30 bits, past the lookup's 10.
      {"30 bits deep", [&] {
         std::string t = "1";
         for (int i = 0; i < 30; ++i)
           t += "1";
         t += leaf_a;
         for (int i = 0; i < 30; ++i)
           t += leaf_b;
         return t + "0" + std::string(30, '0') + std::string(29, '0') + "1";
       }(), 0, true, {1, 2, -1}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = bits_of(c.bits);
    if (c.bytes)
      bytes.resize(c.bytes);
    vex::huff::BitReader in(bytes);
    vex::huff::Table8 t;
    ASSERT_EQ(t.read(in), c.table) << VEXLastError();
    std::vector<int32_t> got;
    for (size_t i = 0; i < c.symbols.size(); ++i)
      got.push_back(t.decode(in));
    // The zero bits that fill the last byte decode too: compare what the
    // bits written give.
    EXPECT_EQ(got, c.symbols);
    EXPECT_LE(in.position(), bytes.size() * 8);
  }
}

TEST(HuffRoundTrip, CodesOf31BitsFailForTheRestOfTheEncodersLife) {
  HuffPtr h(HuffOpen(1));
  std::vector<int32_t> results;
  capture_bits([&](VEXFILE *f) {
    HuffSetOutput(h.get(), f);
    results.push_back(code_block(h.get(), fibonacci_stream(32)));
    results.push_back(code_block(h.get(), {1, 2, 2}));
    results.push_back(code_block(h.get(), {4, 4}));
  });
  EXPECT_EQ(results[0], -1);
  EXPECT_EQ(h->length_overflow, 1);
  EXPECT_EQ(results[1], -1); // the flag stays set
  EXPECT_EQ(results[2], 20); // a single leaf never builds a tree
}

TEST(HuffRoundTrip, LaterBlocksBuildFreshTables) {
  HuffPtr h(HuffOpen(1));
  const std::vector<uint32_t> a = {1, 1, 1, 2, 3, 3}, b = {9, 8, 8, 8, 8, 1, 1};
  const auto bytes = capture_bits([&](VEXFILE *f) {
    HuffSetOutput(h.get(), f);
    code_block(h.get(), a);
    code_block(h.get(), b);
  });
  BitSource in(bytes);
  for (const auto *s : {&a, &b}) {
    const auto t = read_table8(in);
    ASSERT_TRUE(t);
    for (uint32_t v : *s)
      EXPECT_EQ(decode8(*t, in), v);
  }
  EXPECT_FALSE(in.overrun());
}

// 16-bit mode: streams with many repeats of recent symbols.
std::vector<uint32_t> recent_heavy_stream(uint32_t seed, size_t count) {
  std::mt19937 gen(seed);
  std::vector<uint32_t> out;
  std::uniform_int_distribution<uint32_t> any(0, 0xFFFF), pick(0, 9);
  std::vector<uint32_t> pool;
  for (int i = 0; i < 40; ++i)
    pool.push_back(any(gen));
  for (size_t i = 0; i < count; ++i) {
    const uint32_t r = pick(gen);
    if (r < 3 && out.size() > 3)
      out.push_back(out[out.size() - 1 - r]); // a recent symbol
    else if (r < 8)
      out.push_back(pool[pick(gen) * 4 % pool.size()]);
    else
      out.push_back(any(gen));
  }
  return out;
}

struct Coded16 {
  std::vector<uint8_t> bytes;
  int32_t result;
};

Coded16 code16(HUFF *h, const std::vector<uint32_t> &s) {
  Coded16 c{};
  c.bytes = capture_bits([&](VEXFILE *f) {
    HuffSetOutput(h, f);
    c.result = code_block(h, s);
  });
  return c;
}

TEST(Huff16, StreamsWithEscapesRoundTrip) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    HuffPtr h(HuffOpen(0));
    const auto s = recent_heavy_stream(seed, 5000);
    const Coded16 c = code16(h.get(), s);
    EXPECT_GT(c.result, 20);
    BitSource in(c.bytes);
    const auto t = read_table16(in);
    ASSERT_TRUE(t);
    Decoder16 d(*t);
    size_t escapes_used = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      ASSERT_EQ(d.next(in), s[i]) << "seed " << seed << " symbol " << i;
    }
    EXPECT_FALSE(in.overrun());
    for (auto [v, depth] : t->tree.leaves())
      escapes_used += std::count(t->escape.begin(), t->escape.end(), v);
    EXPECT_GT(escapes_used, 0u) << "the stream should make the escapes worth a leaf";
  }
}

TEST(Huff16, CountersAdvanceByTwoPerSymbol) {
  HuffPtr h(HuffOpen(0));
  std::vector<uint32_t> s = {5, 6, 7, 5, 6, 7, 1000};
  capture_bits([&](VEXFILE *f) {
    HuffSetOutput(h.get(), f);
    code_block(h.get(), s);
    EXPECT_EQ(h->symbols_coded, 2 * s.size());
  });
}

TEST(Huff16, EscapesAreTheLowestFreeValuesAndNeed32Hits) {
  // Symbols 0, 1, 3 occur, so the escapes are 2, 4, 5. Runs of one value
  // hit position 0: 31 hits leave escape 0 unused, 32 make it a leaf.
  for (uint32_t hits : {31u, 32u}) {
    std::vector<uint32_t> s = {1, 3};
    s.insert(s.end(), hits, 3); // position-0 hits
    s.push_back(0);             // found at recent position 2 (recent = 3, 1, 0): a count of 1
    HuffPtr h(HuffOpen(0));
    const Coded16 c = code16(h.get(), s);
    EXPECT_EQ(h->recent_hits[0], 2u);
    EXPECT_EQ(h->recent_hits[1], 4u);
    EXPECT_EQ(h->recent_hits[2], 5u);
    if (hits == 31)
      EXPECT_EQ(h->length[2], 255);
    else
      EXPECT_LT(h->length[2], 255);
    EXPECT_EQ(h->length[4], 255);
    BitSource in(c.bytes);
    const auto t = read_table16(in);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->escape, (std::array<uint32_t, 3>{2, 4, 5}));
    Decoder16 d(*t);
    for (uint32_t v : s)
      EXPECT_EQ(d.next(in), v);
  }
}

TEST(Huff16, SingleSymbolAndRecentContextRestart) {
  // One distinct symbol: a single leaf, its bytes through one-leaf byte
  // tables, no bits per symbol.
  HuffPtr h(HuffOpen(0));
  const Coded16 one = code16(h.get(), {0x1234, 0x1234, 0x1234});
  EXPECT_EQ(one.result, 20);
  {
    BitSource in(one.bytes);
    const auto t = read_table16(in);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->tree.nodes.size(), 1u);
    EXPECT_EQ(t->tree.nodes[0].value, 0x1234u);
    EXPECT_EQ(in.position(), 1 + (1 + 1 + 8 + 1) * 2 + 48 + 1 + 1u);
  }
  // Frames: the recent context restarts in both passes and in the reader.
  const std::vector<std::vector<uint32_t>> frames = {
      recent_heavy_stream(7, 300), recent_heavy_stream(8, 300), recent_heavy_stream(9, 300)};
  HuffPtr h2(HuffOpen(0));
  const auto bytes = capture_bits([&](VEXFILE *f) {
    HuffSetOutput(h2.get(), f);
    HuffInitStats(h2.get());
    for (const auto &fr : frames) {
      HuffInitLasts(h2.get());
      for (uint32_t v : fr)
        HuffAddStat(h2.get(), v);
    }
    HuffStartEncode(h2.get());
    for (const auto &fr : frames) {
      HuffInitLasts(h2.get());
      for (uint32_t v : fr)
        HuffEncode(h2.get(), v);
    }
  });
  BitSource in(bytes);
  const auto t = read_table16(in);
  ASSERT_TRUE(t);
  Decoder16 d(*t);
  for (const auto &fr : frames) {
    d.reset_recent();
    for (uint32_t v : fr)
      ASSERT_EQ(d.next(in), v);
  }
}

TEST(Huff16, MovieTreeBlockOfFourTablesBackToBack) {
  // Four 16-bit tables written one after another with one bit stream, the
  // second absent, are read back in order by one bit reader.
  const std::vector<std::vector<uint32_t>> data = {recent_heavy_stream(11, 800), {}, {42, 42},
                                                   recent_heavy_stream(12, 200)};
  std::vector<HuffPtr> enc;
  const auto bytes = capture_bits([&](VEXFILE *f) {
    for (const auto &s : data) {
      enc.emplace_back(HuffOpen(0));
      HuffSetOutput(enc.back().get(), f);
      HuffInitStats(enc.back().get());
      for (uint32_t v : s)
        HuffAddStat(enc.back().get(), v);
      HuffStartEncode(enc.back().get());
    }
    for (size_t i = 0; i < data.size(); ++i)
      for (uint32_t v : data[i])
        HuffEncode(enc[i].get(), v);
  });
  BitSource in(bytes);
  std::vector<std::optional<vex::testkit::HuffTable16>> tables;
  for (size_t i = 0; i < data.size(); ++i)
    tables.push_back(read_table16(in));
  EXPECT_FALSE(tables[1].has_value());
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i].empty())
      continue;
    ASSERT_TRUE(tables[i]);
    Decoder16 d(*tables[i]);
    for (uint32_t v : data[i])
      ASSERT_EQ(d.next(in), v);
  }
}

} // namespace
