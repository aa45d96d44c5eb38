// The Huffman encoder, read back by the testkit's separately written table
// reader, against hand-worked bit strings and an optimal-cost oracle; the
// library's own table-driven decoder reads the same streams, and refuses
// tables and codes that run past the bits given.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>
#include <string>

#include "huff/huff_decoder.h"
#include "huff/huff_record.h"
#include "testkit/huff/huff_oracles.h"
#include "testkit/huff/huff_reader.h"
#include "vexutil/huff.h"
#include "vexutil/util.h"

namespace {

using namespace vex::testkit;

struct HuffCloser {
  void operator()(HUFF *h) const { HuffClose(h); }
};
using HuffPtr = std::unique_ptr<HUFF, HuffCloser>;

// Per block of one encoder: the table result, then the code bits and the
// symbols it counted.
struct Block {
  int32_t result;
  uint32_t bits, symbols;
  bool operator==(const Block &) const = default;
};

// Blocks of one encoder (8-bit or 16-bit) one after another into one
// stream: each gathered, its table written, its symbols coded; then a
// marker 101, so that a hand-worked stream shows where the codes end.
std::vector<uint8_t> code_blocks(HUFF *h, const std::vector<std::vector<uint32_t>> &blocks,
                                 std::vector<Block> *results = nullptr) {
  return capture_bits([&](VEXFILE *f) {
    HuffSetOutput(h, f);
    for (const auto &b : blocks) {
      HuffInitStats(h);
      for (uint32_t s : b)
        HuffAddStat(h, s);
      const int32_t r = HuffStartEncode(h);
      for (uint32_t s : b)
        HuffEncode(h, s);
      if (results)
        results->push_back({r, h->bits_coded, h->symbols_coded});
    }
    VEXFilePutBits(f, 0b101, 3);
  });
}

// Bits least significant first, as the encoder writes them; a symbol's 8
// bits written "<n>" in the text.
std::vector<uint8_t> bits_of(const std::string &text) {
  std::string bits;
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '<') {
      const int v = std::stoi(text.substr(i + 1));
      for (int k = 0; k < 8; ++k)
        bits += static_cast<char>('0' + (v >> k & 1));
      i = text.find('>', i);
    } else if (text[i] != ' ') {
      bits += text[i];
    }
  std::vector<uint8_t> out((bits.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits.size(); ++i)
    out[i / 8] |= static_cast<uint8_t>((bits[i] == '1') << (i % 8));
  return out;
}

// Whole streams worked out by hand: the table (present bit, the tree in
// preorder: 1 for an internal node, 0 and the symbol for a leaf, then the
// closing bit), the codes, and a marker 101 right behind them.
TEST(HuffTable, SmallTablesAndCodesBitForBit) {
  const struct { const char *name; std::vector<uint32_t> symbols; int32_t result; const char *bits; } rows[] = {
      {"no statistics: one zero bit", {}, 12, "0"},
      {"one symbol: a single leaf coded with no bits", std::vector<uint32_t>(100, 65), 20, "1 0<65> 0"},
      {"two symbols: the lighter on the 1-branch", {7, 7, 7, 7, 7, 9, 9}, 24, "1 1 0<7> 0<9> 0  0000011"},
      // Equal weights: the later entry of the sorted list (the higher
      // symbol, inserted last) takes the 1-branch.
      {"equal weights", {200, 3, 200, 3, 3, 200}, 24, "1 1 0<3> 0<200> 0  101001"},
      // Counts 0:1, 1:1, 2:2. Inserting symbol 2 lands at the front of a run
      // of equal weights, so the run's first entry (symbol 0) moves to the
      // end instead of shifting: the list becomes [2, 1, 0], the first pair
      // is (0-branch 1, 1-branch 0), and the codes are 2 = 0, 1 = 10, 0 = 11.
      {"the equal-weight shortcut", {0, 1, 2, 2}, 32, "1 1 0<2> 1 0<1> 0<0> 0  11 10 0 0"},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    HuffPtr h(HuffOpen(1));
    std::vector<Block> results;
    EXPECT_EQ(code_blocks(h.get(), {r.symbols}, &results), bits_of(std::string(r.bits) + "101"));
    EXPECT_EQ(results[0].result, r.result);
  }
}

TEST(HuffRoundTrip, EightBitStreamsDecodeAndCostTheOptimum) {
  std::mt19937 gen(42);
  std::vector<std::vector<uint32_t>> streams(1);
  for (int rep = 0; rep < 4; ++rep) // every value 4 times: all codes 8 bits
    for (uint32_t s = 0; s < 256; ++s)
      streams[0].push_back(s);
  for (double p : {0.5, 0.2, 0.05}) {
    std::geometric_distribution<int> g(p);
    streams.emplace_back();
    for (int i = 0; i < 20000; ++i)
      streams.back().push_back(static_cast<uint32_t>(std::min(g(gen), 255)));
  }
  streams.push_back(fibonacci_stream(31)); // codes of exactly 30 bits
  for (auto &s : {&streams[0], &streams.back()})
    std::shuffle(s->begin(), s->end(), gen);
  const int depths[] = {8, 0, 0, 0, 30}; // of the deepest leaf; 0: not checked
  // One encoder codes them all one after another: each block builds its
  // table afresh from its own counts.
  HuffPtr h(HuffOpen(1));
  std::vector<Block> results;
  const auto bytes = code_blocks(h.get(), streams, &results);
  BitSource in(bytes);
  vex::huff::BitReader lib(bytes);
  for (size_t i = 0; i < streams.size(); ++i) {
    SCOPED_TRACE("stream " + std::to_string(i));
    const auto &s = streams[i];
    const auto distinct = static_cast<int32_t>(std::set(s.begin(), s.end()).size());
    EXPECT_EQ(results[i], (Block{16 + 8 * (distinct - 1), static_cast<uint32_t>(optimal_cost(s)),
                                 static_cast<uint32_t>(s.size())}));
    const auto t = read_table8(in);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->max_depth(), depths[i] ? depths[i] : t->max_depth());
    // The library's decoder gives the same symbols and ends where the
    // testkit's reader ends, within the bytes.
    vex::huff::Table8 lt;
    ASSERT_TRUE(lt.read(lib));
    for (size_t k = 0; k < s.size(); ++k) {
      ASSERT_EQ(decode8(*t, in), s[k]) << k;
      ASSERT_EQ(lt.decode(lib), static_cast<int32_t>(s[k])) << k;
    }
    EXPECT_EQ(lib.position(), in.position());
  }
  EXPECT_FALSE(in.overrun());
}

TEST(HuffRoundTrip, A31BitCodeFailsTheBlockAndTheFlagStays) {
  // The flag stays set for the blocks after; a single leaf, which builds
  // no tree, still codes.
  HuffPtr deep(HuffOpen(1));
  std::vector<Block> results;
  code_blocks(deep.get(), {fibonacci_stream(32), {1, 2, 2}, {4, 4}}, &results);
  EXPECT_EQ((std::vector{results[0].result, results[1].result, results[2].result}), (std::vector<int32_t>{-1, -1, 20}));
  EXPECT_EQ(deep->length_overflow, 1);
}

// Hand-made tables and codes: the library's decoder takes no bit that is
// not there and no tree the encoder cannot write.
TEST(HuffDecoder, TablesAndCodesWithinTheBitsGiven) {
  const std::string leaf_a = "0<1>", leaf_b = "0<2>";
  const std::string two = "1 1" + leaf_a + leaf_b + "0"; // codes 0 -> 1, 1 -> 2
  // Thirty internal nodes, each with a leaf on its 1-branch: codes of up to
  // 30 bits, past the lookup's 10.
  std::string deep = "1" + std::string(30, '1') + leaf_a;
  for (int i = 0; i < 30; ++i)
    deep += leaf_b;
  deep += "0" + std::string(59, '0') + "1";
  const struct {
    const char *name;
    std::string bits;
    size_t bytes;                 // of the bits given (0: all)
    bool table;                   // the table reads
    std::vector<int32_t> symbols; // what decoding gives then, -1 past the end
  } cases[] = {
      {"absent table", "0", 0, true, {-1}},
      {"single leaf: no bits", "1" + leaf_a + "0", 0, true, {1, 1, 1}},
      {"two leaves, codes 0 1 1 then the end", two + "011", 0, true, {1, 2, 2, -1}},
      {"closing bit 1", "1 1" + leaf_a + leaf_b + "1", 0, false, {}},
      {"cut inside a leaf's symbol", two, 2, false, {}},
      {"internal nodes 31 deep", "1" + std::string(31, '1'), 0, false, {}},
      {"30 bits deep", deep, 0, true, {1, 2, -1}},
  };
  for (const auto &c : cases) {
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

// Decodes one 16-bit table and its symbols with the testkit's reader.
void expect_16(BitSource &in, const std::vector<uint32_t> &symbols) {
  const auto t = read_table16(in);
  ASSERT_TRUE(t);
  Decoder16 d(*t);
  for (size_t i = 0; i < symbols.size(); ++i)
    ASSERT_EQ(d.next(in), symbols[i]) << "symbol " << i;
  EXPECT_FALSE(in.overrun());
}

TEST(Huff16, EscapesAreTheLowestFreeValuesAndNeed32Hits) {
  // Symbols 0, 1, 3 occur, so the escapes are 2, 4, 5. Runs of one value
  // hit position 0: 31 hits leave escape 0 unused, 32 make it a leaf.
  for (uint32_t hits : {31u, 32u}) {
    std::vector<uint32_t> s = {1, 3};
    s.insert(s.end(), hits, 3); // position-0 hits
    s.push_back(0);             // found at recent position 2 (recent = 3, 1, 0): a count of 1
    HuffPtr h(HuffOpen(0));
    const auto bytes = code_blocks(h.get(), {s});
    BitSource in(bytes);
    EXPECT_EQ(h->length[2] < 255, hits == 32);
    EXPECT_EQ(h->length[4], 255);
    BitSource again = in;
    EXPECT_EQ(read_table16(again)->escape, (std::array<uint32_t, 3>{2, 4, 5}));
    expect_16(in, s);
  }
}

// A stream heavy in recent repeats makes the escapes worth leaves; the
// counters advance by two per symbol. (The recent context's restart at
// each frame is the movie writer's, whose frames the movie reader's tests
// decode.) Then, in the same encoder, one distinct symbol: a single leaf,
// its bytes through one-leaf byte tables, no bits per symbol.
TEST(Huff16, StreamsWithEscapesThenASingleSymbolRoundTrip) {
  const auto s = recent_heavy_stream(7, 5000);
  HuffPtr h(HuffOpen(0));
  std::vector<Block> results;
  const auto bytes = code_blocks(h.get(), {s, {0x1234, 0x1234, 0x1234}}, &results);
  EXPECT_GT(results[0].result, 20);
  EXPECT_EQ(results[0].symbols, 2 * s.size());
  EXPECT_EQ(results[1].result, 20);
  BitSource in(bytes), again(bytes);
  expect_16(in, s);
  const auto t = read_table16(again);
  size_t escapes_used = 0;
  for (auto [v, depth] : t->tree.leaves())
    escapes_used += std::count(t->escape.begin(), t->escape.end(), v);
  EXPECT_GT(escapes_used, 0u) << "the stream should make the escapes worth a leaf";
  const uint64_t at = in.position();
  const auto one = read_table16(in);
  ASSERT_TRUE(one);
  ASSERT_EQ(one->tree.nodes.size(), 1u);
  EXPECT_EQ(one->tree.nodes[0].value, 0x1234u);
  EXPECT_EQ(in.position() - at, 1 + (1 + 1 + 8 + 1) * 2 + 48 + 1 + 1u);
}

} // namespace
