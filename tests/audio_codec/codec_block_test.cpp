// Geometry, block layout and decoder behaviour of the transform codec on
// hand-built and hand-computed cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "audio_codec/audio_codec.h"
#include "audio_codec/block_bits.h"
#include "audio_codec/block_layout.h"
#include "testkit/audio_codec/codec_driver.h"

namespace {

using namespace vex::audio_codec;
using vex::testkit::Pcm;

struct Free {
  void operator()(void *p) const { AudioCodecFree(p); }
};
using EncPtr = std::unique_ptr<AUDIOENC, Free>;
using DecPtr = std::unique_ptr<AUDIODEC, Free>;

TEST(CodecGeometry, WindowsBandsAndEdges) {
  // 11025 Hz mono: h = 5513, so the bands below it are the 20 up to the
  // 5300 Hz edge; edge[b] = f[b] * 256 / 5513.
  CodecGeometry g = codec_geometry(11025, 1);
  EXPECT_EQ(g.n, 512u);
  EXPECT_EQ(g.overlap, 32u);
  EXPECT_EQ(g.bands, 20u);
  EXPECT_EQ(g.edge[1], 4u);    // 100 * 256 / 5513 = 4.6
  EXPECT_EQ(g.edge[18], 204u); // 4400 * 256 / 5513 = 204.3
  EXPECT_EQ(g.edge[19], 246u); // 5300 * 256 / 5513 = 246.1
  EXPECT_EQ(g.edge[20], 256u);

  // 44100 Hz stereo: the sequence runs at 88200 Hz, h = 44100, all 25 bands.
  g = codec_geometry(44100, 2);
  EXPECT_EQ(g.n, 4096u);
  EXPECT_EQ(g.overlap, 256u);
  EXPECT_EQ(g.bands, 25u);
  EXPECT_EQ(g.edge[1], 4u);    // 100 * 2048 / 44100 = 4.6
  EXPECT_EQ(g.edge[24], 719u); // 15500 * 2048 / 44100 = 719.8
  EXPECT_EQ(g.edge[25], 2048u);

  // Frame lengths switch at 22050 and 44100 Hz.
  EXPECT_EQ(codec_geometry(22049, 1).n, 512u);
  EXPECT_EQ(codec_geometry(22050, 1).n, 1024u);
  EXPECT_EQ(codec_geometry(22050, 1).bands, 23u); // h = 11025: edges up to 9500 Hz
  EXPECT_EQ(codec_geometry(44099, 2).n, 2048u);
  EXPECT_EQ(codec_geometry(48000, 1).n, 2048u);
  // Degenerate rates still give a usable layout.
  EXPECT_EQ(codec_geometry(0, 1).bands, 0u);
  EXPECT_EQ(codec_geometry(0, 1).edge[0], 256u);
  EXPECT_EQ(codec_geometry(0xFFFFFFFFu, 2).bands, 25u);

  // The encoder takes the whole first window, then the hop behind the overlap.
  EncPtr e(AudioEncOpen(44100, 2));
  void *where = nullptr;
  uint32_t bytes = 0;
  AudioEncInput(e.get(), &where, &bytes);
  EXPECT_EQ(where, e->input);
  EXPECT_EQ(bytes, 8192u);
  const uint8_t *block = nullptr;
  uint32_t size = 0, accounted = 0;
  AudioEncBlock(e.get(), 4, bytes, &block, &size, &accounted);
  EXPECT_EQ(accounted, 3840u * 2);
  AudioEncInput(e.get(), &where, &bytes);
  EXPECT_EQ(where, e->input + 256);
  EXPECT_EQ(bytes, 3840u * 2);
}

TEST(CodecBlock, TwentyNineBitNumbers) {
  EXPECT_EQ(encode_29(0.0f), 0u);
  // 1.0: n = 1, e = 1, m = 2^22.
  EXPECT_EQ(encode_29(1.0f), 1u | (1u << 22) << 5);
  EXPECT_EQ(decode_29(encode_29(1.0f)), 1.0f);
  // -3.25: e = 2, m = 3.25 * 2^21, sign bit.
  EXPECT_EQ(encode_29(-3.25f), 2u | 6815744u << 5 | 1u << 28);
  EXPECT_EQ(decode_29(encode_29(-3.25f)), -3.25f);
  std::mt19937 gen(3);
  std::uniform_real_distribution<float> u(-2.2e6f, 2.2e6f);
  for (int i = 0; i < 10000; ++i) {
    const float x = u(gen) * (i % 3 == 0 ? 1e-4f : 1.0f);
    const float back = decode_29(encode_29(x));
    EXPECT_NEAR(back, x, std::fabs(x) * 0x1p-22f + 0x1p-23f) << x;
    EXPECT_LT(encode_29(x), 1u << 29);
  }
}

BlockContent content_with(uint32_t n, int16_t fill) {
  BlockContent c{};
  c.x0 = 1000.0f;
  c.x1 = -20.5f;
  for (uint32_t b = 0; b < kMaxBands; ++b)
    c.step_code[b] = static_cast<uint8_t>(b * 7);
  std::fill(c.q + 2, c.q + n, fill);
  return c;
}

TEST(CodecBlock, SilenceCostsOneRunHeaderPer64Groups) {
  for (const auto &[rate, channels] : {std::pair{11025u, 1u}, std::pair{44100u, 2u}}) {
    EncPtr e(AudioEncOpen(rate, channels));
    void *where = nullptr;
    uint32_t room = 0;
    AudioEncInput(e.get(), &where, &room);
    std::memset(where, 0, room);
    const uint8_t *block = nullptr;
    uint32_t size = 0, accounted = 0;
    AudioEncBlock(e.get(), 4, room, &block, &size, &accounted);
    // 58 + 8 B bits of head, then one 9-bit run (flag 1, code 15, width 0)
    // per 64 groups of 8.
    const uint32_t bits = 58 + 8 * e->bands + 9 * (e->n / 8 / 64);
    EXPECT_EQ(size, (bits + 31) / 32 * 4) << rate;
    BlockReader br(block, size);
    br.get(29);
    br.get(29);
    for (uint32_t b = 0; b < e->bands; ++b)
      br.get(8);
    for (uint32_t r = 0; r < e->n / 512; ++r) {
      EXPECT_EQ(br.get(1), 1u);
      EXPECT_EQ(br.get(4), 15u);
      EXPECT_EQ(br.get(4), 0u);
    }
    DecPtr d(AudioDecOpen(rate, channels, 1));
    const int16_t *pcm = nullptr;
    uint32_t pcm_bytes = 0;
    const uint8_t *next = nullptr;
    EXPECT_EQ(AudioDecBlock(d.get(), &pcm, &pcm_bytes, block, size, &next), 1);
    EXPECT_EQ(next, block + size);
    EXPECT_EQ(pcm_bytes, (d->n - d->overlap) * 2);
    for (uint32_t i = 0; i < d->n; ++i)
      ASSERT_EQ(pcm[i], 0) << i;
  }
}

struct RunHeader {
  uint32_t flag, code, width;
  bool operator==(const RunHeader &) const = default;
};

// Lists the run headers of a block with no bands (the test's own parser).
std::vector<RunHeader> runs_of(const std::vector<uint8_t> &block, uint32_t n) {
  BlockReader br(block.data(), static_cast<uint32_t>(block.size()));
  br.get(29);
  br.get(29);
  std::vector<RunHeader> runs;
  for (uint32_t i = 2; i < n;) {
    RunHeader r{br.get(1), 0, 0};
    uint32_t count = 8;
    if (r.flag) {
      r.code = br.get(4);
      count = kRunGroups[r.code] * 8;
    }
    r.width = br.get(4);
    count = std::min(count, n - i);
    for (uint32_t k = 0; k < count && r.width; ++k)
      if (br.get(r.width))
        br.get(1);
    i += count;
    runs.push_back(r);
  }
  return runs;
}

std::vector<uint8_t> block_with_widths(const std::vector<uint8_t> &widths, BlockContent &c) {
  c = BlockContent{};
  for (size_t g = 0; g < widths.size(); ++g)
    for (uint32_t i = 2 + 8 * g; i < std::min<size_t>(2 + 8 * g + 8, 512); ++i)
      c.q[i] = static_cast<int16_t>(widths[g] ? ((1 << widths[g]) - 1) * (i % 2 ? 1 : -1) : 0);
  std::vector<uint8_t> out(max_block_bytes(512));
  out.resize(write_block(c, 512, 0, out.data()));
  return out;
}

TEST(CodecBlock, RunsAreChosenGreedilyFromTheTable) {
  BlockContent c;
  // Groups 0-4 width 3, group 5 width 1, the 58 others width 0. Lengths
  // 2..5 fit the first run (code 3); the lone group has flag 0; the rest
  // is shorter than 64 but all zero, so it takes code 15.
  std::vector<uint8_t> w(64, 0);
  std::fill(w.begin(), w.begin() + 5, 3);
  w[5] = 1;
  auto block = block_with_widths(w, c);
  EXPECT_EQ(runs_of(block, 512), (std::vector<RunHeader>{{1, 3, 3}, {0, 0, 1}, {1, 15, 0}}));
  // 58 + 9 + 40 * 4 + 5 + 8 * 2 + 9 = 257 bits: 9 words.
  EXPECT_EQ(block.size(), 36u);

  // 40 zero groups then 24 of width 2: 32 (code 14), then 8 (code 5, as 9
  // would reach width 2), then the last 24 under the code of 32.
  w.assign(64, 0);
  std::fill(w.begin() + 40, w.end(), 2);
  EXPECT_EQ(runs_of(block_with_widths(w, c), 512), (std::vector<RunHeader>{{1, 14, 0}, {1, 5, 0}, {1, 14, 2}}));

  // A single remaining group is always a run of one.
  w.assign(64, 0);
  w[63] = 1;
  EXPECT_EQ(runs_of(block_with_widths(w, c), 512), (std::vector<RunHeader>{{1, 14, 0}, {1, 13, 0}, {1, 12, 0}, {0, 0, 1}}));

  // Whatever the runs, the reader gets the coefficients back.
  std::mt19937 gen(9);
  for (int t = 0; t < 50; ++t) {
    for (auto &x : w)
      x = static_cast<uint8_t>(gen() % 4 == 0 ? gen() % 16 : gen() % 2);
    block = block_with_widths(w, c);
    BlockContent back{};
    bool complete = false;
    EXPECT_EQ(read_block(block.data(), static_cast<uint32_t>(block.size()), 512, 0, back, &complete), block.size());
    EXPECT_TRUE(complete);
    ASSERT_EQ(std::memcmp(back.q + 2, c.q + 2, 510 * 2), 0) << t;
  }
}

TEST(CodecBlock, WorstCaseBlocksFitTheOutputArea) {
  // Every coefficient at full 15-bit width: 58 + 200 head bits, 8 run
  // headers of 9 bits, 4094 * 16 coefficient bits = 65834 bits, 8232 bytes.
  BlockContent c = content_with(4096, -32767);
  std::vector<uint8_t> out(max_block_bytes(4096) + 64, 0xEE);
  EXPECT_EQ(write_block(c, 4096, 25, out.data()), 8232u);
  // Widths alternating 15 and 14 cost a 5-bit header per group and need
  // more: 258 + 512 * 5 + 256 * 8 * 16 + 255 * 8 * 15 + 6 * 15 = 66276 bits.
  for (uint32_t i = 2; i < 4096; ++i)
    c.q[i] = static_cast<int16_t>(((i - 2) / 8) % 2 ? 16383 : -32767);
  const uint32_t size = write_block(c, 4096, 25, out.data());
  EXPECT_EQ(size, 8288u);
  EXPECT_LE(size, max_block_bytes(4096));
  EXPECT_LE(max_block_bytes(4096), sizeof(AUDIOENC::output));
  for (size_t i = max_block_bytes(4096); i < out.size(); ++i)
    ASSERT_EQ(out[i], 0xEE);
  BlockContent back{};
  bool complete = false;
  read_block(out.data(), size, 4096, 25, back, &complete);
  EXPECT_TRUE(complete);
  EXPECT_EQ(std::memcmp(back.q + 2, c.q + 2, 4094 * 2), 0);
  EXPECT_EQ(std::memcmp(back.step_code, c.step_code, 25), 0);
}

} // namespace
