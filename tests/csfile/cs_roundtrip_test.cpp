// Whole signals through the compressed-sound writer and back through the
// testkit's chunk reader: lossless qualities bit-exact at every layout,
// lossy qualities within their error bound (and reaching it), transform
// chunks equal to the codec driven directly. (CSFileOpen, the exported
// writer over files, is run by vexconv in tests/sfile/sfile_tools_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>

#include "testkit/audio_codec/codec_driver.h"
#include "testkit/audio_codec/codec_quality.h"
#include "testkit/csfile/chunk_reader.h"
#include "testkit/csfile/cs_writer_driver.h"

namespace vex::testkit {
namespace {

using csfile::CsOptions;
using Bytes = std::vector<uint8_t>;

struct Layout {
  uint32_t bits, channels;
};
constexpr Layout kLayouts[] = {{8, 1}, {8, 2}, {16, 1}, {16, 2}};
constexpr uint32_t kRate = 22050;

Bytes as_bytes(const Pcm &samples, uint32_t bits) { return bits == 8 ? pcm8_bytes(samples) : pcm16_bytes(samples); }

int32_t sample_at(const Bytes &pcm, size_t i, uint32_t bits) {
  return bits == 8 ? pcm[i] : static_cast<int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
}

DecodedStream write_and_read(const Bytes &pcm, const Layout &l, int32_t compression,
                             const std::function<uint32_t(uint32_t)> &counts, WrittenStream *written = nullptr) {
  WrittenStream w = write_stream(memory_source(pcm, kRate, l.bits, l.channels), cs_options(compression), counts);
  DecodedStream d = read_chunk_stream(w.bytes, {ChunkKind::huffman, kRate, l.bits, l.channels});
  if (written)
    *written = std::move(w);
  return d;
}

// Chunk sizes that are seldom whole frames (the writer rounds them down);
// every chunk announces the variant of the layout, and the chunk-by-chunk
// counts the record reported are what the chunks hold. Qualities 1-9 keep
// every bit too (the mask is all ones below 10).
TEST(CsRoundTrip, QualitiesBelowTenAreLosslessAtEveryLayout) {
  static constexpr uint32_t kCounts[] = {1, 7, 4096, 3, 1001, 65537, 2, 12345, 5};
  const auto ragged = [](uint32_t i) { return kCounts[i % std::size(kCounts)]; };
  for (const Layout &l : kLayouts) {
    const uint32_t frames = kRate / 3 + 17, ch = l.channels;
    for (const auto &[name, samples] :
         {std::pair<const char *, Pcm>{"sweep", sine_sweep(kRate, ch, frames, 40, 10000, 30000)},
          {"white", white_noise(ch, frames, 32767, 7 + ch)}, {"pink", pink_noise(ch, frames, 20000, 11)},
          {"clicks", click_train(ch, frames, 301, -32768)}, {"square", square(ch, frames, 50, -32768, 32767)},
          {"speech", espeak_speech("Seven silver swans", kRate, ch)}}) {
      SCOPED_TRACE(std::to_string(l.bits) + "-bit, " + std::to_string(ch) + " channels, " + name);
      const Bytes pcm = as_bytes(samples, l.bits);
      WrittenStream w;
      const DecodedStream d = write_and_read(pcm, l, 0, ragged, &w);
      ASSERT_EQ(d.pcm.size(), pcm.size());
      EXPECT_TRUE(d.pcm == pcm);
      ASSERT_EQ(w.chunk_pcm_bytes.size(), d.chunks.size());
      for (size_t i = 0; i < d.chunks.size(); ++i) {
        ASSERT_EQ(d.chunks[i].variant, (l.bits == 16 ? 4u : 0u) | (ch == 2 ? 2u : 0u) | 1u);
        EXPECT_EQ(w.chunk_pcm_bytes[i], d.chunks[i].pcm_bytes);
      }
      if (name == std::string("speech"))
        for (int32_t q = 1; q <= 9; ++q) {
          EXPECT_TRUE(write_and_read(pcm, l, q, fixed_count(8000)).pcm == pcm) << "quality " << q;
        }
    }
  }
}

// The largest error a masked delta may cause is the smaller of the dropped
// bits' value and the threshold. Worked out from the tables: the mask of
// row q / 10, threshold T[d] + (T[d + 1] - T[d]) * (q % 10) / 10. At
// quality 99 next to the lowest value a masked delta would decode below the
// range and wrap round to the top; the threshold makes the coder send the
// exact delta. Where the threshold is above every dropped value (quality
// 45 at 16 bits: mask 0xFFC0) the decoded sample is below the source by
// 0-63, and every residue occurs on noise.
TEST(CsRoundTrip, LossyQualitiesStayWithinTheirBoundAndReachIt) {
  const struct {
    int32_t quality;
    uint32_t bits;
    int32_t threshold, largest; // largest error on a loud noise
  } bounds[] = {
      {10, 8, 1, 1},         // 0xFE keeps all but 1, T 1
      {30, 8, 2, 2},         // 0xFC drops up to 3, T 2
      {39, 8, 2, 2},         // T 2 + (3 - 2) * 9 / 10 = 2
      {50, 8, 6, 6},         // 0xF8 drops up to 7, T 6
      {55, 8, 7, 7},         // T 6 + 2 * 5 / 10 = 7
      {70, 8, 12, 12},       // 0xF0 drops up to 15, T 12
      {79, 8, 15, 15},       // T 12 + 4 * 9 / 10 = 15
      {90, 8, 24, 24},       // 0xE0 drops up to 31, T 24
      {99, 8, 31, 31},       // T 24 + 8 * 9 / 10 = 31
      {10, 16, 4, 3},        // 0xFFFC drops up to 3, T 4
      {45, 16, 96, 63},      // 0xFFC0 drops up to 63, T 64 + 64 * 5 / 10 = 96
      {69, 16, 486, 255},    // 0xFF00 drops up to 255, T 256 + 256 * 9 / 10 = 486
      {99, 16, 2969, 2047},  // 0xF800, T 2048 + 1024 * 9 / 10 = 2969
  };
  std::mt19937 gen(9);
  for (const auto &b : bounds)
    for (uint32_t channels : {1u, 2u}) {
      SCOPED_TRACE("quality " + std::to_string(b.quality) + ", " + std::to_string(b.bits) + "-bit, " +
                   std::to_string(channels) + " channels");
      const Layout l{b.bits, channels};
      const Bytes pcm = as_bytes(white_noise(channels, 6000, 30000, 3), b.bits);
      WrittenStream w;
      const DecodedStream d = write_and_read(pcm, l, b.quality, fixed_count(5000), &w);
      ASSERT_EQ(d.pcm.size(), pcm.size());
      EXPECT_EQ(w.last.threshold, static_cast<uint32_t>(b.threshold));
      int32_t largest = 0;
      size_t exact = 0;
      std::set<int32_t> residues;
      for (size_t i = 0; i < pcm.size() / (b.bits / 8); ++i) {
        const int32_t err = std::abs(sample_at(d.pcm, i, b.bits) - sample_at(pcm, i, b.bits));
        ASSERT_LE(err, b.threshold) << "sample " << i;
        largest = std::max(largest, err);
        exact += err == 0;
        residues.insert(sample_at(pcm, i, b.bits) - sample_at(d.pcm, i, b.bits));
      }
      EXPECT_EQ(largest, b.largest);
      EXPECT_LT(exact, pcm.size() / (b.bits / 8)) << "the coding is lossy";
      if (b.quality == 45) {
        EXPECT_EQ(residues.size(), 64u);
        EXPECT_EQ(std::pair(*residues.begin(), *residues.rbegin()), std::pair(0, 63));
      }
      if (b.quality != 99)
        continue;
      // Samples near the bottom of the range.
      const int32_t low = b.bits == 8 ? 0 : -32768;
      std::uniform_int_distribution<int32_t> near_bottom(low, low + (b.bits == 8 ? 40 : 4000));
      Pcm bottom(3000 * channels);
      for (auto &v : bottom)
        v = static_cast<int16_t>(b.bits == 8 ? (near_bottom(gen) - 128) * 256 : near_bottom(gen));
      const Bytes low_pcm = as_bytes(bottom, b.bits);
      const DecodedStream dl = write_and_read(low_pcm, l, 99, fixed_count(4000));
      ASSERT_EQ(dl.pcm.size(), low_pcm.size());
      for (size_t i = 0; i < low_pcm.size() / (b.bits / 8); ++i) {
        ASSERT_LE(std::abs(sample_at(dl.pcm, i, b.bits) - sample_at(low_pcm, i, b.bits)), b.threshold) << i;
      }
    }
}

// Transform chunks decode to exactly what the codec gives when driven
// directly over the same PCM (the testkit's driver), however the stream is
// cut into chunks, and keep the codec's own quality (its SNR at quality 4,
// from its own round-trip test); a chunk stands for at least what was
// asked, in whole blocks.
TEST(CsRoundTrip, TransformChunksMatchTheCodecDrivenDirectly) {
  for (const auto &[rate, channels] : {std::pair<uint32_t, uint32_t>{22050, 2}, {44100, 1}, {16000, 1}}) {
    const Pcm speech = espeak_speech("A transform chunk", rate, channels);
    const Pcm direct = decode_stream(encode_stream(speech, rate, channels, 4), rate, channels);
    for (uint32_t count : {1000u, 4410u, 100000u}) {
      SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(channels) + " channels, puts of " +
                   std::to_string(count));
      WrittenStream w =
          write_stream(memory_source(pcm16_bytes(speech), rate, 16, channels), cs_options(104), fixed_count(count));
      ASSERT_NE(w.last.encoder, nullptr);
      const DecodedStream d = read_chunk_stream(w.bytes, {ChunkKind::transform, rate, 16, channels});
      ASSERT_EQ(d.pcm.size(), speech.size() * 2);
      EXPECT_TRUE(d.pcm == pcm16_bytes(direct));
      Pcm decoded(speech.size());
      std::memcpy(decoded.data(), d.pcm.data(), d.pcm.size());
      EXPECT_GT(snr_db(speech, decoded), 15);
      EXPECT_EQ(w.last.total_pcm_bytes, speech.size() * 2);
      for (size_t i = 0; i + 1 < d.chunks.size(); ++i) {
        EXPECT_GE(d.chunks[i].pcm_bytes, count - count % (2 * channels));
      }
    }
  }
}

// The encoder accounts for a window's samples one window late (it keeps an
// overlap of V samples), so the last chunk of a pass must drain what it
// still holds. At 22050 Hz mono a window moves by 1920 bytes and the first
// takes 2048; ends of the last window's read just below a whole hop leave
// the most behind (up to 2V = 128 bytes).
TEST(CsRoundTrip, TransformStreamsEndWithTheirLastSample) {
  for (uint32_t tail : {2u, 1000u, 1790u, 1794u, 1900u, 1918u, 1920u}) {
    const uint32_t length = 2048 + 3 * 1920 + tail;
    const Bytes pcm = pcm16_bytes(white_noise(1, length / 2, 8000, tail));
    for (uint32_t count : {1000u, 1920u, 3000u}) {
      SCOPED_TRACE(std::to_string(length) + " bytes in puts of " + std::to_string(count));
      const WrittenStream w = write_stream(memory_source(pcm, 22050, 16, 1), cs_options(104), fixed_count(count));
      EXPECT_EQ(w.last.total_pcm_bytes, length);
      EXPECT_EQ(read_chunk_stream(w.bytes, {ChunkKind::transform, 22050, 16, 1}).pcm.size(), length);
    }
  }
}

} // namespace
} // namespace vex::testkit
