// The writer's PCM logic seen through the chunks it writes: lead-in, whole
// frames, the pass and its cut, filling by repeating, silence padding,
// endless repetition, empty sources; the coder choice and the counters.
#include <gtest/gtest.h>

#include <numeric>

#include "cs_writer_harness.h"

namespace {

using namespace vex::testkit;
using vex::csfile::CsOptions;
using Bytes = std::vector<uint8_t>;

// Distinct non-silent bytes (never 0 or 0x80), so that any silence shows.
Bytes pattern(size_t n, uint32_t seed = 1) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i)
    b[i] = static_cast<uint8_t>(1 + (i * 7 + seed * 13 + i / 256) % 127);
  return b;
}

DecodedStream decode(const WrittenStream &w, uint32_t rate, uint32_t bits, uint32_t channels,
                     ChunkKind kind = ChunkKind::huffman) {
  return read_chunk_stream(w.bytes, {kind, rate, bits, channels});
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes head(const Bytes &b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); }

TEST(CsPcmFeed, LeadInOf100MsAt22050Hz16BitMonoIs4410BytesOfSilence) {
  const Bytes src = pattern(22050 * 2);
  CsOptions o;
  o.lead_in_ms = 100;
  const WrittenStream w = write_stream(memory_source(src, 22050, 16, 1), o, fixed_count(1000));
  EXPECT_EQ(w.last.lead_in_bytes, 4410u);
  // The lead-in is part of the pass (the source's length here), so the
  // source's last 4410 bytes make way for it.
  EXPECT_EQ(decode(w, 22050, 16, 1).pcm, concat({Bytes(4410, 0), head(src, src.size() - 4410)}));
}

TEST(CsPcmFeed, EightBitLeadInIsSilence128RoundedUpToWholeFrames) {
  // 100 ms of 11025 Hz 8-bit stereo: 2205 bytes, up to the frame: 2206.
  const Bytes src = pattern(11025 * 2);
  CsOptions o;
  o.lead_in_ms = 100;
  const WrittenStream w = write_stream(memory_source(src, 11025, 8, 2), o, fixed_count(3000));
  EXPECT_EQ(w.last.lead_in_bytes, 2206u);
  EXPECT_EQ(w.last.silence, 0x80808080u);
  EXPECT_EQ(decode(w, 11025, 8, 2).pcm, concat({Bytes(2206, 0x80), head(src, src.size() - 2206)}));
}

TEST(CsPcmFeed, CountsAreRoundedDownToWholeFramesAndCutToThePass) {
  const Bytes src = pattern(1000);
  const std::vector<uint32_t> counts = {7, 3, 600, 600, 600};
  const WrittenStream w = write_stream(memory_source(src, 22050, 16, 2), CsOptions{},
                                       [&](uint32_t i) { return i < counts.size() ? counts[i] : 0; });
  // 7 -> 4 bytes; 3 -> no frame, no chunk; then 600 and what is left.
  EXPECT_EQ(w.chunk_pcm_bytes, (std::vector<uint32_t>{4, 600, 396}));
  EXPECT_EQ(w.last.pass_left, 0u);
  EXPECT_EQ(decode(w, 22050, 16, 2).pcm, src);
}

TEST(CsPcmFeed, SourceEndingBeforeThePassIsPaddedWithSilence) {
  // A pass of 300 ms (13230 bytes) over 100 ms of sound (4410 bytes).
  const Bytes src = pattern(4410);
  CsOptions o;
  o.pass_ms = 300;
  const WrittenStream w = write_stream(memory_source(src, 22050, 16, 1), o, fixed_count(4096));
  EXPECT_EQ(w.last.pass_bytes, 13230u);
  EXPECT_EQ(decode(w, 22050, 16, 1).pcm, concat({src, Bytes(13230 - 4410, 0)}));
}

TEST(CsPcmFeed, FillByRepeatingReadsTheSourceAgainAcrossReadSeams) {
  // A pass of 250 ms: 11025 bytes, up to the frame 11026; the source of
  // 4000 bytes comes 2 times and 3026 bytes more. The source hands out at
  // most 6 bytes per read, as a list of pieces may.
  const Bytes src = pattern(4000);
  auto source = memory_source(src, 22050, 16, 1);
  source->limit_reads(6);
  const MemoryPcmSource *seen = source.get();
  CsOptions o;
  o.pass_ms = 250;
  o.fill_repeat = true;
  uint32_t rewinds = 0;
  WrittenStream w = write_stream(std::move(source), o, [&](uint32_t i) {
    if (i == 3)
      rewinds = seen->rewinds();
    return 5000;
  });
  EXPECT_EQ(w.last.pass_bytes, 11026u);
  EXPECT_EQ(rewinds, 2u);
  EXPECT_EQ(decode(w, 22050, 16, 1).pcm, concat({src, src, head(src, 3026)}));
}

TEST(CsPcmFeed, RepeatForeverStartsLeadInAndPassAgain) {
  // Pass = the source's length, 10 ms lead-in (441 bytes, up to 442), so
  // every pass is 442 bytes of silence and the source's first 4000 - 442.
  const Bytes src = pattern(4000);
  CsOptions o;
  o.lead_in_ms = 10;
  o.repeat_forever = true;
  const WrittenStream w =
      write_stream(memory_source(src, 22050, 16, 1), o, fixed_count(1500), /*max_puts=*/10);
  EXPECT_EQ(w.puts_that_wrote, 10u);
  const Bytes pass = concat({Bytes(442, 0), head(src, 4000 - 442)});
  const Bytes expected = head(concat({pass, pass, pass, pass}), 15000);
  EXPECT_EQ(decode(w, 22050, 16, 1).pcm, expected);
  // Chunks are not cut at the end of a pass.
  EXPECT_EQ(w.chunk_pcm_bytes, std::vector<uint32_t>(10, 1500));
}

TEST(CsPcmFeed, EmptySourcesWriteNoChunkAndNeverHang) {
  for (const bool forever : {false, true}) {
    CsOptions o;
    o.repeat_forever = forever;
    o.fill_repeat = true;
    const WrittenStream w = write_stream(memory_source({}, 22050, 16, 2), o, fixed_count(4096), 5);
    EXPECT_TRUE(w.bytes.empty());
    EXPECT_EQ(w.last.total_chunk_bytes, 0u);
    EXPECT_EQ(w.last.total_pcm_bytes, 0u);
  }
  // A fixed pass over a source that has nothing: the pass is silence,
  // even when filling by repeating asks for the source again.
  CsOptions o;
  o.pass_ms = 50;
  o.fill_repeat = true;
  const WrittenStream w = write_stream(memory_source({}, 22050, 8, 1), o, fixed_count(400));
  EXPECT_EQ(decode(w, 22050, 8, 1).pcm, Bytes(1102, 0x80)); // 22050 * 50 / 1000 = 1102
}

TEST(CsPcmFeed, PassFromAResamplingSourceIsItsLengthInOutputBytes) {
  // 1006 bytes of 44100 Hz 16-bit stereo read as 22050 Hz 16-bit mono:
  // 1006 * 22050 * 2 / (4 * 44100) = 251.5, down to whole frames: 250.
  auto source = memory_source(pattern(2000), 22050, 16, 1);
  source->report_input({44100, 16, 2}, 1006);
  const WrittenStream w = write_stream(std::move(source), CsOptions{}, fixed_count(100));
  EXPECT_EQ(w.last.pass_bytes, 250u);
  EXPECT_EQ(w.last.total_pcm_bytes, 250u);
}

TEST(CsPcmFeed, CountersAreWhatTheChunksHold) {
  const Bytes src = pattern(30000);
  const WrittenStream w = write_stream(memory_source(src, 11025, 8, 1), CsOptions{}, fixed_count(7000));
  const DecodedStream d = decode(w, 11025, 8, 1);
  ASSERT_EQ(d.chunks.size(), 5u);
  EXPECT_EQ(w.last.total_chunk_bytes, w.bytes.size());
  EXPECT_EQ(w.last.total_pcm_bytes, d.pcm.size());
  EXPECT_EQ(w.last.last_pcm_bytes, d.chunks.back().pcm_bytes);
  EXPECT_EQ(w.last.last_chunk_bytes, d.chunks.back().size);
  EXPECT_EQ(d.chunks.back().pcm_bytes, 2000u);
  EXPECT_EQ(d.pcm, src);
}

TEST(CsPcmFeed, RawStorageCarriesThePcmAndIgnoresAFixedPass) {
  const Bytes src = pattern(1001);
  CsOptions o;
  o.raw_storage = true;
  o.compression = 104;
  o.pass_ms = 5000;
  const WrittenStream w = write_stream(memory_source(src, 22050, 16, 1), o, fixed_count(300));
  EXPECT_EQ(w.last.encoder, nullptr);
  EXPECT_EQ(w.last.pass_bytes, 1000u); // the source's length in whole frames
  const DecodedStream d = decode(w, 22050, 16, 1, ChunkKind::raw);
  // 300, 300, 300, 100: whole frames, no padding needed but the last.
  EXPECT_EQ(d.pcm, head(src, 1000));
}

// The codec's window is not cleared between windows; lead-in bytes there
// are silence all the same. At 22050 Hz mono a window is 1024 samples and
// moves by 960; a block whose whole window is silent decodes to exact
// zeros, and so does the next block's output once its cross-fade with such
// a block is over.
TEST(CsPcmFeed, TransformLeadInIsSilenceInEveryPass) {
  const Bytes src = pcm16_bytes(white_noise(1, 6615, 20000, 4)); // 300 ms: the pass
  CsOptions o;
  o.compression = 104;
  o.lead_in_ms = 100; // 2205 samples
  o.repeat_forever = true;
  const WrittenStream w = write_stream(memory_source(src, 22050, 16, 1), o, fixed_count(4000), 12);
  ASSERT_NE(w.last.encoder, nullptr);
  const DecodedStream d = decode(w, 22050, 16, 1, ChunkKind::transform);
  ASSERT_GE(d.pcm.size(), 2u * 15360);
  const auto sample = [&](size_t i) { return static_cast<int16_t>(d.pcm[2 * i] | d.pcm[2 * i + 1] << 8); };
  // Passes start at samples 0, 6615 and 13230; the windows wholly inside
  // their lead-ins are 0-1, 7-8 and 14-15.
  for (const auto &[from, to] : {std::pair<size_t, size_t>{0, 1920}, {6784, 8640}, {13504, 15360}})
    for (size_t i = from; i < to; ++i)
      ASSERT_EQ(sample(i), 0) << "sample " << i;
  // And the sound is there between them.
  int32_t loudest = 0;
  for (size_t i = 2300; i < 6500; ++i)
    loudest = std::max(loudest, std::abs(int32_t{sample(i)}));
  EXPECT_GT(loudest, 10000);
}

struct Choice {
  uint32_t rate, bits, channels;
  int32_t compression;
  bool transform;
  uint32_t mask, threshold;
};

TEST(CsOpen, CompressionPicksTheCoderByOutputFormat) {
  const Choice cases[] = {
      // Quality 4: the threshold is 4 * 4 / 10 = 1 for 16-bit, 1 * 4 / 10 = 0
      // for 8-bit; with every delta bit kept it never matters.
      {22050, 16, 2, 104, true, 0xFFFF, 1},   // transform codec, quality 4
      {22050, 8, 2, 104, false, 0xFF, 0},     // 8-bit: lossless Huffman deltas
      {11025, 16, 2, 104, false, 0xFFFF, 1},  // below 16000 Hz: Huffman
      {16000, 16, 1, 199, true, 0xF800, 2969},
      {15999, 16, 1, 199, false, 0xF800, 2969},
      {44100, 16, 2, 45, false, 0xFFC0, 96},  // m = 0: Huffman at quality 45
      {44100, 16, 2, -5, false, 0xFFFF, 0},   // negative: lossless
  };
  for (const Choice &c : cases) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz " + std::to_string(c.bits) + "-bit, compression " +
                 std::to_string(c.compression));
    CsOptions o;
    o.compression = c.compression;
    CsFilePtr cs(vex::csfile::CSFileOpenSource(memory_source(pattern(4000), c.rate, c.bits, c.channels), o));
    ASSERT_NE(cs, nullptr);
    EXPECT_EQ(cs->encoder != nullptr, c.transform);
    for (HUFF *h : cs->huff)
      EXPECT_EQ(h != nullptr, !c.transform);
    EXPECT_EQ(cs->delta_mask, c.mask);
    EXPECT_EQ(cs->threshold, c.threshold);
    EXPECT_EQ(cs->quality, c.compression < 0 ? 0u : static_cast<uint32_t>(c.compression % 100));
  }
}

TEST(CsOpen, RefusesSourcesOfNoUsableFormat) {
  for (const vex::csfile::PcmFormat f : {vex::csfile::PcmFormat{0, 16, 1}, vex::csfile::PcmFormat{22050, 12, 1},
                                        vex::csfile::PcmFormat{22050, 16, 3}}) {
    // A memory source needs a frame size; build it as 16-bit mono and
    // report the bad format through a wrapper.
    struct Bad : MemoryPcmSource {
      explicit Bad(const vex::csfile::PcmFormat &f) : MemoryPcmSource(Bytes(16, 1), {22050, 16, 1}), f_(f) {}
      vex::csfile::PcmFormat output() const override { return f_; }
      vex::csfile::PcmFormat f_;
    };
    EXPECT_EQ(vex::csfile::CSFileOpenSource(std::make_unique<Bad>(f), CsOptions{}), nullptr);
  }
  EXPECT_EQ(vex::csfile::CSFileOpenSource(nullptr, CsOptions{}), nullptr);
}

TEST(CsOpen, PutWithoutOutputAndCloseOfNullDoNothing) {
  CsFilePtr cs(vex::csfile::CSFileOpenSource(memory_source(pattern(100), 22050, 16, 1), CsOptions{}));
  ASSERT_NE(cs, nullptr);
  CSFilePut(cs.get(), 100);
  EXPECT_EQ(cs->total_chunk_bytes, 0u);
  EXPECT_EQ(cs->pass_left, 100u) << "nothing was read";
  CSFilePut(nullptr, 100);
  CSFileClose(nullptr);
}

TEST(CsCommandLine, CompressionAndPFlag) {
  char given[] = "in.wav out.snd /L213 /P";
  int32_t compression = 0, p = 0;
  CSFileCommandline(given, &compression, &p, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                    nullptr);
  EXPECT_EQ(compression, 213);
  EXPECT_EQ(p, 1);
  char plain[] = "in.wav out.snd";
  CSFileCommandline(plain, &compression, &p, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                    nullptr);
  EXPECT_EQ(compression, 104);
  EXPECT_EQ(p, 0);
}

} // namespace
