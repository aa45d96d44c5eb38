// The transform codec's geometry and block layout on hand-computed cases,
// and its block reader against the testkit's plain bit-by-bit reading on
// written blocks, their truncations and garbage.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "audio_codec/audio_codec.h"
#include "audio_codec/block_bits.h"
#include "audio_codec/block_layout.h"
#include "testkit/audio_codec/codec_driver.h"
#include "testkit/audio_codec/plain_block.h"

namespace {

using namespace vex::audio_codec;
using vex::testkit::RunHeader;

TEST(CodecGeometry, WindowsBandsAndEdges) {
  // edge[b] = f[b] * (n / 2) / h with h half the sequence's rate: 11025 Hz
  // mono gives h = 5513 and the 20 bands up to the 5300 Hz edge; 44100 Hz
  // stereo runs at 88200 Hz, h = 44100, all 25 bands. Frame lengths switch
  // at 22050 and 44100 Hz; degenerate rates still give a usable layout.
  const struct {
    uint32_t rate, channels, n, overlap, bands, band, edge;
  } rows[] = {{11025, 1, 512, 32, 20, 1, 4},       // 100 * 256 / 5513 = 4.6
              {11025, 1, 512, 32, 20, 18, 204},    // 4400 * 256 / 5513 = 204.3
              {11025, 1, 512, 32, 20, 19, 246},    // 5300 * 256 / 5513 = 246.1
              {11025, 1, 512, 32, 20, 20, 256},    {44100, 2, 4096, 256, 25, 1, 4},
              {44100, 2, 4096, 256, 25, 24, 719},  // 15500 * 2048 / 44100 = 719.8
              {44100, 2, 4096, 256, 25, 25, 2048}, {22049, 1, 512, 32, 23, 0, 0},  // h = 11025 as for 22050
              {22050, 1, 1024, 64, 23, 0, 0},      // h = 11025: edges up to 9500 Hz
              {44099, 2, 2048, 128, 25, 0, 0},     {48000, 1, 2048, 128, 25, 0, 0},
              {0, 1, 512, 32, 0, 0, 256},          {0xFFFFFFFFu, 2, 4096, 256, 25, 0, 0}};
  for (const auto &r : rows) {
    const CodecGeometry g = codec_geometry(r.rate, r.channels);
    EXPECT_EQ(g.n, r.n) << r.rate;
    EXPECT_EQ(g.overlap, r.overlap) << r.rate;
    EXPECT_EQ(g.bands, r.bands) << r.rate;
    EXPECT_EQ(g.edge[r.band], r.edge) << r.rate << " band " << r.band;
  }
}

TEST(CodecBlock, TwentyNineBitNumbers) {
  // 1.0: n = 1, e = 1, m = 2^22; -3.25: e = 2, m = 3.25 * 2^21, sign bit.
  for (const auto &[x, bits] : {std::pair{0.0f, 0u}, {1.0f, 1u | (1u << 22) << 5}, {-3.25f, 2u | 6815744u << 5 | 1u << 28}}) {
    EXPECT_EQ(encode_29(x), bits) << x;
    EXPECT_EQ(decode_29(bits), x) << x;
  }
  std::mt19937 gen(3);
  std::uniform_real_distribution<float> u(-2.2e6f, 2.2e6f);
  for (int i = 0; i < 10000; ++i) {
    const float x = u(gen) * (i % 3 == 0 ? 1e-4f : 1.0f);
    EXPECT_NEAR(decode_29(encode_29(x)), x, std::fabs(x) * 0x1p-22f + 0x1p-23f) << x;
    EXPECT_LT(encode_29(x), 1u << 29);
  }
}

TEST(CodecBlock, SilenceCostsOneRunHeaderPer64Groups) {
  for (const auto &[rate, channels] : {std::pair{11025u, 1u}, std::pair{44100u, 2u}}) {
    // An empty source codes one silent window: 58 + 8 B bits of head, then
    // one 9-bit run (flag 1, code 15, width 0) per 64 groups of 8.
    const vex::testkit::CodedStream s = vex::testkit::encode_stream({}, rate, channels, 4);
    ASSERT_EQ(s.blocks.size(), 1u);
    const std::vector<uint8_t> &bytes = s.blocks[0].bytes;
    EXPECT_EQ(bytes.size(), (58 + 8 * s.bands + 9 * (s.n / 512) + 31) / 32 * 4) << rate;
    EXPECT_EQ(vex::testkit::plain_runs(bytes, s.n, s.bands), std::vector<RunHeader>(s.n / 512, {1, 15, 0}));
  }
}

// A 512-point block with no bands whose group g holds +-(2^w - 1) for the
// width w given by digit g of `widths` (0 past its end).
std::vector<uint8_t> block_with_widths(const std::string &widths) {
  BlockContent c{};
  for (uint32_t i = 2; i < 512; ++i) {
    const size_t g = (i - 2) / 8;
    const int w = g < widths.size() ? widths[g] - '0' : 0;
    c.q[i] = static_cast<int16_t>(((1 << w) - 1) * (i % 2 ? 1 : -1));
  }
  std::vector<uint8_t> out(max_block_bytes(512));
  out.resize(write_block(c, 512, 0, out.data()));
  return out;
}

TEST(CodecBlock, RunsAreChosenGreedilyFromTheTable) {
  const struct {
    std::string widths; // of the first groups, a digit each; the others 0
    std::vector<RunHeader> runs;
    size_t bytes; // 0: not checked
  } rows[] = {
      // Groups 0-4 width 3, group 5 width 1, the rest 0: lengths 2..5 fit
      // the first run (code 3); the lone group has flag 0; the rest is
      // shorter than 64 but all zero, so it takes code 15. 58 + 9 + 40 * 4
      // + 5 + 8 * 2 + 9 = 257 bits: 9 words.
      {"333331", {{1, 3, 3}, {0, 0, 1}, {1, 15, 0}}, 36},
      // 40 zero groups then 24 of width 2: 32 (code 14), then 8 (code 5, as
      // 9 would reach width 2), then the last 24 under the code of 32.
      {std::string(40, '0') + std::string(24, '2'), {{1, 14, 0}, {1, 5, 0}, {1, 14, 2}}, 0},
      // A single remaining group is always a run of one.
      {std::string(63, '0') + "1", {{1, 14, 0}, {1, 13, 0}, {1, 12, 0}, {0, 0, 1}}, 0},
  };
  for (const auto &r : rows) {
    const auto block = block_with_widths(r.widths);
    EXPECT_EQ(vex::testkit::plain_runs(block, 512, 0), r.runs) << r.widths;
    EXPECT_EQ(block.size(), r.bytes ? r.bytes : block.size());
  }
}

// Compares the library's reading of the first `size` bytes with the plain one.
void expect_same_reading(const std::vector<uint8_t> &block, uint32_t size, uint32_t n, uint32_t bands,
                         const char *what) {
  SCOPED_TRACE(testing::Message() << what << " size " << size << " n " << n);
  const vex::testkit::PlainBlock want = vex::testkit::plain_read(block, size, n, bands);
  BlockContent got{};
  bool complete = !want.complete;
  ASSERT_EQ(read_block(block.data(), size, n, bands, got, &complete), want.used);
  ASSERT_EQ(complete, want.complete);
  ASSERT_EQ(got.x0, decode_29(want.x0_bits));
  ASSERT_EQ(got.x1, decode_29(want.x1_bits));
  ASSERT_EQ(std::memcmp(got.step_code, want.c.step_code, bands), 0);
  for (uint32_t i = 2; i < n; ++i)
    ASSERT_EQ(got.q[i], want.c.q[i]) << "coefficient " << i;
}

TEST(CodecBlockReader, FieldsMatchAPlainBitByBitReading) {
  std::mt19937 gen(41);
  for (uint32_t size = 0; size < 48; ++size) {
    std::vector<uint8_t> data(size);
    for (auto &x : data)
      x = static_cast<uint8_t>(gen());
    BlockReader fast(data.data(), size);
    vex::testkit::PlainBits plain(data.data(), size);
    // Fields of every width, run on well past the end (zeros there).
    while (plain.at() < uint64_t{size} * 8 + 150) {
      const uint32_t bits = gen() % 33;
      ASSERT_EQ(fast.get(bits), plain.get(bits)) << "size " << size << " at " << plain.at();
      ASSERT_EQ(fast.bits_read(), plain.at());
      ASSERT_EQ(fast.overran(), plain.at() > uint64_t{size} * 8);
      ASSERT_EQ(fast.bytes_used(), std::min<uint64_t>((plain.at() + 31) / 32 * 4, size));
    }
  }
}

// Written blocks of every width at every length (runs of both kinds of
// header), whole, cut short and given room to spare; the widest need the
// most room the output area has.
TEST(CodecBlockReader, CoefficientsMatchAPlainReadingOfEveryWidth) {
  std::mt19937 gen(43);
  for (const auto &[n, bands] : {std::pair{512u, 20u}, {1024u, 23u}, {2048u, 24u}, {4096u, 25u}}) {
    for (uint32_t width = 0; width <= 15; ++width) {
      BlockContent c{};
      c.x0 = static_cast<float>(gen() % 100000) - 50000.0f;
      c.x1 = static_cast<float>(gen() % 1000) * 0.25f;
      for (uint32_t b = 0; b < bands; ++b)
        c.step_code[b] = static_cast<uint8_t>(gen());
      for (uint32_t i = 2; i < n;) {
        const uint32_t w = gen() % 4 == 0 ? std::min<uint32_t>(15u, width + static_cast<uint32_t>(gen() % 3)) : width;
        for (uint32_t k = 0, groups = 1 + gen() % 12; k < 8 * groups && i < n; ++k, ++i) {
          const int mag = w == 0 ? 0 : static_cast<int>(gen() % (1u << w));
          c.q[i] = static_cast<int16_t>(gen() % 2 ? -mag : mag);
        }
      }
      std::vector<uint8_t> block(max_block_bytes(n));
      block.resize(write_block(c, n, bands, block.data()));
      BlockContent back{};
      bool complete = false;
      ASSERT_EQ(read_block(block.data(), static_cast<uint32_t>(block.size()), n, bands, back, &complete), block.size());
      ASSERT_TRUE(complete);
      ASSERT_EQ(std::memcmp(back.q + 2, c.q + 2, (n - 2) * 2), 0) << "n " << n << " width " << width;
      for (uint32_t cut = 0; cut < block.size(); cut += 1 + gen() % 97)
        expect_same_reading(block, cut, n, bands, "cut");
      std::vector<uint8_t> spare = block;
      spare.resize(block.size() + 11, 0xA5);
      expect_same_reading(spare, static_cast<uint32_t>(spare.size()), n, bands, "spare");
    }
  }
  // Every coefficient at full 15-bit width: 58 + 200 head bits, 8 run
  // headers of 9 bits, 4094 * 16 coefficient bits = 65834 bits, 8232 bytes.
  // Widths alternating 15 and 14 cost a 5-bit header per group and need
  // more: 258 + 512 * 5 + 256 * 8 * 16 + 255 * 8 * 15 + 6 * 15 = 66276 bits.
  BlockContent c{};
  for (uint32_t b = 0; b < kMaxBands; ++b)
    c.step_code[b] = static_cast<uint8_t>(b * 7);
  std::fill(c.q + 2, c.q + 4096, -32767);
  std::vector<uint8_t> out(max_block_bytes(4096) + 64, 0xEE);
  EXPECT_EQ(write_block(c, 4096, 25, out.data()), 8232u);
  for (uint32_t i = 2; i < 4096; ++i)
    c.q[i] = static_cast<int16_t>(((i - 2) / 8) % 2 ? 16383 : -32767);
  EXPECT_EQ(write_block(c, 4096, 25, out.data()), 8288u);
  EXPECT_LE(8288u, max_block_bytes(4096));
  EXPECT_LE(max_block_bytes(4096), sizeof(AUDIOENC::output));
  EXPECT_EQ(std::count(out.begin() + max_block_bytes(4096), out.end(), 0xEE), 64);
}

TEST(CodecBlockReader, GarbageReadsAsThePlainReadingDoes) {
  std::mt19937 gen(47);
  for (int t = 0; t < 200; ++t) {
    // Uniform bytes give wide runs; sparse ones give narrow runs and long
    // zero runs, where the pair tables and the run-header table do the work.
    std::vector<uint8_t> junk(gen() % 3000);
    for (auto &x : junk)
      x = static_cast<uint8_t>(t % 3 == 0 ? gen() : t % 3 == 1 ? gen() & gen() & gen() : (gen() % 7 == 0) * gen());
    expect_same_reading(junk, static_cast<uint32_t>(junk.size()), 512u << (t % 4), static_cast<uint32_t>(t % 26),
                        "garbage");
  }
}

} // namespace
