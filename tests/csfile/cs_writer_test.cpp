// The compressed-sound writer: the bytes of small chunks worked out by
// hand; its PCM logic seen through the chunks it writes (lead-in, whole
// frames, the pass and its cut, filling by repeating, silence padding,
// endless repetition, empty sources) against the testkit's chunk reader;
// the coder it picks and the counters it keeps.
#include <gtest/gtest.h>

#include "testkit/csfile/chunk_reader.h"
#include "testkit/csfile/cs_writer_driver.h"

namespace vex::testkit {
namespace {

using Bytes = std::vector<uint8_t>;
using csfile::CsOptions;

// Distinct non-silent bytes (never 0 or 0x80), so that any silence shows.
Bytes pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i)
    b[i] = static_cast<uint8_t>(1 + (i * 7 + 13 + i / 256) % 127);
  return b;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes head(const Bytes &b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); }

// A chunk of a single frame: the variant, one table bit 0 per table (no
// statistics), the frame's bytes through the byte write at a bit offset,
// then alignment. Each byte b written at bit offset k emits
// (b << k | held) & 255 and holds b >> (8 - k). Padding counts from the
// chunk's start, not the file's.
TEST(CsChunkBytes, SmallChunksByHand) {
  const struct {
    Bytes pcm;
    uint32_t bits, channels;
    bool raw;
    Bytes want;
  } cases[] = {
      // Raw: the size word, the samples, zero bytes to a whole word.
      {{0x5A}, 8, 1, true, {8, 0, 0, 0, 0x5A, 0, 0, 0}},
      {{0x5A, 0x5B}, 8, 1, true, {8, 0, 0, 0, 0x5A, 0x5B, 0, 0}},
      // 8-bit mono 0x5A. Bits 1,0,0 + one 0 -> k 4, held 0x1; 0x5A -> A1,
      // held 05.
      {{0x5A}, 8, 1, false, {12, 0, 0, 0, 1, 0, 0, 0, 0xA1, 0x05, 0, 0}},
      // 8-bit stereo L 0x11 R 0x22. Bits 1,1,0 + two 0 -> k 5, held 0x3;
      // right first: 0x22 -> 43 (held 04), 0x11 -> 24 (held 02), alignment 02.
      {{0x11, 0x22}, 8, 2, false, {12, 0, 0, 0, 2, 0, 0, 0, 0x43, 0x24, 0x02, 0}},
      // 16-bit mono 0x1234. Bits 1,0,1 + two 0 -> k 5, held 0x5; high byte
      // first: 0x12 -> 45 (held 02), 0x34 -> 82 (held 06), alignment 06.
      {{0x34, 0x12}, 16, 1, false, {12, 0, 0, 0, 2, 0, 0, 0, 0x45, 0x82, 0x06, 0}},
      // 16-bit stereo L 0x1234 R 0xABCD. Bits 1,1,1 + four 0 -> k 7, held
      // 0x07; right high AB -> 87, right low CD -> D5, left high 12 -> 66,
      // left low 34 -> 09, alignment 1A; 13 bytes padded to 16.
      {{0x34, 0x12, 0xCD, 0xAB}, 16, 2, false, {16, 0, 0, 0, 4, 0, 0, 0, 0x87, 0xD5, 0x66, 0x09, 0x1A, 0, 0, 0}},
      // 8-bit mono 0x80 0x81. The one delta 1 gives a one-leaf table (bit
      // 1, leaf bit 0, symbol 0x01 as a byte, closing 0) and codes of 0
      // bits. Bits 1,0,0,1,0 hold 0x09 at k 5; 0x01 -> 29; closing 0 -> k 6;
      // first sample 0x80 -> 00 (held 20); alignment 20.
      {{0x80, 0x81}, 8, 1, false, {12, 0, 0, 0, 2, 0, 0, 0, 0x29, 0x00, 0x20, 0}},
      // 16-bit stereo frames (L 0x0100, R 0x0000) and (L 0x0103, R 0xFFFF):
      // deltas L 0x0003, R 0xFFFF, so tables left low {03}, left high {00},
      // right low {FF}, right high {FF}, all single leaves:
      //   111 | 1 0 03 0 -> 6F, k 6 | 1 0 -> 40, 00 byte, 0 -> k 1
      //   1 0 FF -> FA (held 07), 0 -> k 4 | 1 0 FF -> D7 (held 3F), 0 -> k 7
      //   first frame R high 00 -> 3F, R low 00 -> 00, L high 01 -> 80, L low 00 -> 00
      //   alignment 00: 10 bytes, chunk of 18 padded to 20.
      {{0, 1, 0, 0, 3, 1, 0xFF, 0xFF}, 16, 2, false, {20, 0,    0,    0,    8, 0,    0, 0, 0x6F, 0x40,
                                                      0,  0xFA, 0xD7, 0x3F, 0, 0x80, 0, 0, 0,    0}},
  };
  for (const auto &c : cases)
    for (uint32_t prefix : {0u, 1u, 2u, 3u, 5u}) {
      SCOPED_TRACE(::testing::PrintToString(c.pcm) + " after " + std::to_string(prefix) + " bytes");
      const WrittenStream w =
          write_stream(memory_source(c.pcm, 11025, c.bits, c.channels), cs_options(0, 0, 0, false, false, c.raw),
                       fixed_count(uint32_t(c.pcm.size())), 1, prefix);
      EXPECT_EQ(w.bytes, c.want);
    }
}

// Sources, the writer's options and the counts the puts ask for; what the
// chunks hold, and the record's counters where a row gives them.
struct Feed {
  Bytes src;
  uint32_t rate, bits, channels;
  CsOptions o;
  std::vector<uint32_t> counts;               // asked by the puts, the last repeated; 0 ends
  Bytes want;                                 // the PCM the chunks hold
  int64_t lead_in = -1, pass = -1;            // the record's, in bytes; -1: not checked
  std::vector<uint32_t> chunks = {};          // the PCM of each chunk; empty: not checked
  uint32_t max_puts = 100000, read_limit = 0; // read_limit: bytes a source read gives at most
  ChunkKind kind = ChunkKind::huffman;
};

std::vector<Feed> feeds() {
  const Bytes s4000 = pattern(4000), s1000 = pattern(1000), s4410 = pattern(4410);
  const Bytes s44100 = pattern(22050 * 2), s22050 = pattern(11025 * 2), s30000 = pattern(30000);
  // Pass = the source's length, 10 ms lead-in (441 bytes, up to 442): each
  // pass is 442 bytes of silence and the source's first 4000 - 442.
  const Bytes pass = cat({Bytes(442, 0), head(s4000, 4000 - 442)});
  const std::vector<uint32_t> none;
  return {
      // A 100 ms lead-in at 22050 Hz 16-bit mono: 4410 bytes of silence.
      // The lead-in is part of the pass (the source's length here), so the
      // source's last bytes make way for it.
      {s44100, 22050, 16, 1, cs_options(0, 100), {1000}, cat({Bytes(4410, 0), head(s44100, 44100 - 4410)}), 4410},
      // 100 ms of 11025 Hz 8-bit stereo: 2205 bytes of 128, up to the
      // frame: 2206.
      {s22050, 11025, 8, 2, cs_options(0, 100), {3000}, cat({Bytes(2206, 0x80), head(s22050, 22050 - 2206)}), 2206},
      // Counts are rounded down to whole frames and cut to the pass: 7 -> 4
      // bytes; 3 -> no frame, no chunk; then 600 and what is left.
      {s1000, 22050, 16, 2, cs_options(0), {7, 3, 600, 600, 600, 0}, s1000, -1, 1000, {4, 600, 396}},
      // A pass of 300 ms over 100 ms of sound is padded with silence.
      {s4410, 22050, 16, 1, cs_options(0, 0, 300), {4096}, cat({s4410, Bytes(13230 - 4410, 0)}), -1, 13230},
      // Filling by repeating reads the source again, in reads of at most 6
      // bytes (as a list of pieces may give): 250 ms is 11025 bytes, up to
      // the frame 11026: the source of 4000 bytes twice and 3026 more.
      {s4000,
       22050,
       16,
       1,
       cs_options(0, 0, 250, true),
       {5000},
       cat({s4000, s4000, head(s4000, 3026)}),
       -1,
       11026,
       none,
       100000,
       6},
      // Repeating forever starts lead-in and pass again; chunks are not cut
      // at the end of a pass.
      {s4000,
       22050,
       16,
       1,
       cs_options(0, 10, 0, false, true),
       {1500},
       head(cat({pass, pass, pass, pass}), 15000),
       442,
       4000,
       std::vector<uint32_t>(10, 1500),
       10},
      // An empty source writes no chunk, also when repeated forever.
      {{}, 22050, 16, 2, cs_options(0, 0, 0, true), {4096}, {}, -1, -1, none, 5},
      {{}, 22050, 16, 2, cs_options(0, 0, 0, true, true), {4096}, {}, -1, -1, none, 5},
      // A fixed pass over a source that has nothing is silence: 22050 * 50
      // / 1000 = 1102, even when filling asks for the source again.
      {{}, 22050, 8, 1, cs_options(0, 0, 50, true), {400}, Bytes(1102, 0x80), -1, 1102},
      {s30000, 11025, 8, 1, cs_options(0), {7000}, s30000, -1, 30000, {7000, 7000, 7000, 7000, 2000}},
      // Raw storage carries the PCM and ignores a fixed pass: 300, 300,
      // 300, 100: whole frames, no padding needed but the last.
      {pattern(1001),
       22050,
       16,
       1,
       cs_options(104, 0, 5000, false, false, true),
       {300},
       head(pattern(1001), 1000),
       -1,
       1000,
       {300, 300, 300, 100},
       100000,
       0,
       ChunkKind::raw},
  };
}

// The counters are what the chunks hold.
TEST(CsPcmFeed, ChunksHoldThePassAsTheOptionsShapeIt) {
  int row = 0;
  for (const Feed &f : feeds()) {
    SCOPED_TRACE("row " + std::to_string(row++));
    auto source = memory_source(f.src, f.rate, f.bits, f.channels);
    if (f.read_limit)
      source->limit_reads(f.read_limit);
    const WrittenStream w = write_stream(std::move(source), f.o, [&](uint32_t i) {
      return f.counts[std::min<size_t>(i, f.counts.size() - 1)];
    }, f.max_puts);
    const DecodedStream d = read_chunk_stream(w.bytes, {f.kind, f.rate, f.bits, f.channels});
    EXPECT_TRUE(d.pcm == f.want) << d.pcm.size() << " bytes, " << f.want.size() << " wanted";
    if (f.lead_in >= 0) {
      EXPECT_EQ(w.last.lead_in_bytes, f.lead_in);
    }
    if (f.pass >= 0) {
      EXPECT_EQ(w.last.pass_bytes, f.pass);
    }
    if (!f.chunks.empty()) {
      EXPECT_EQ(w.chunk_pcm_bytes, f.chunks);
    }
    EXPECT_EQ(w.last.total_chunk_bytes, w.bytes.size());
    if (f.kind == ChunkKind::huffman) {
      EXPECT_EQ(w.last.total_pcm_bytes, d.pcm.size());
    }
    ASSERT_EQ(w.puts_that_wrote, d.chunks.size());
    if (!d.chunks.empty()) {
      EXPECT_EQ(w.last.last_chunk_bytes, d.chunks.back().size);
      EXPECT_EQ(w.last.last_pcm_bytes, f.kind == ChunkKind::huffman ? d.chunks.back().pcm_bytes : f.chunks.back());
    }
  }
  // 1006 bytes of 44100 Hz 16-bit stereo read as 22050 Hz 16-bit mono:
  // 1006 * 22050 * 2 / (4 * 44100) = 251.5, down to whole frames: 250.
  auto source = memory_source(pattern(2000), 22050, 16, 1);
  source->report_input({44100, 16, 2}, 1006);
  const WrittenStream w = write_stream(std::move(source), CsOptions{}, fixed_count(100));
  EXPECT_EQ(std::pair(w.last.pass_bytes, w.last.total_pcm_bytes), std::pair(250u, 250u));
}

// The codec's window is not cleared between windows; lead-in bytes there
// are silence all the same. At 22050 Hz mono a window is 1024 samples and
// moves by 960; a block whose whole window is silent decodes to exact
// zeros, and so does the next block's output once its cross-fade with such
// a block is over.
TEST(CsPcmFeed, TransformLeadInIsSilenceInEveryPass) {
  const Bytes src = pcm16_bytes(white_noise(1, 6615, 20000, 4)); // 300 ms: the pass
  const WrittenStream w =
      write_stream(memory_source(src, 22050, 16, 1), cs_options(104, 100, 0, false, true), fixed_count(4000), 12);
  ASSERT_NE(w.last.encoder, nullptr);
  const DecodedStream d = read_chunk_stream(w.bytes, {ChunkKind::transform, 22050, 16, 1});
  ASSERT_GE(d.pcm.size(), 2u * 15360);
  const auto sample = [&](size_t i) { return static_cast<int16_t>(d.pcm[2 * i] | d.pcm[2 * i + 1] << 8); };
  // Passes start at samples 0, 6615 and 13230; the windows wholly inside
  // their lead-ins (2205 samples) are 0-1, 7-8 and 14-15.
  for (const auto &[from, to] : {std::pair<size_t, size_t>{0, 1920}, {6784, 8640}, {13504, 15360}})
    for (size_t i = from; i < to; ++i) {
      ASSERT_EQ(sample(i), 0) << "sample " << i;
    }
  int32_t loudest = 0;
  for (size_t i = 2300; i < 6500; ++i)
    loudest = std::max(loudest, std::abs(int32_t{sample(i)}));
  EXPECT_GT(loudest, 10000) << "the sound is there between them";
}

TEST(CsOpen, CompressionPicksTheCoderByOutputFormat) {
  const struct {
    uint32_t rate, bits, channels;
    int32_t compression;
    bool transform;
    uint32_t mask, threshold;
  } cases[] = {
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
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz " + std::to_string(c.bits) + "-bit, compression " +
                 std::to_string(c.compression));
    CsFilePtr cs(
        csfile::CSFileOpenSource(memory_source(pattern(4000), c.rate, c.bits, c.channels), cs_options(c.compression)));
    ASSERT_NE(cs, nullptr);
    EXPECT_EQ(cs->encoder != nullptr, c.transform);
    for (HUFF *h : cs->huff) {
      EXPECT_EQ(h != nullptr, !c.transform);
    }
    EXPECT_EQ(std::vector<uint32_t>({cs->delta_mask, cs->threshold, cs->quality}),
              std::vector<uint32_t>({c.mask, c.threshold, c.compression < 0 ? 0u : uint32_t(c.compression % 100)}));
  }
}

TEST(CsOpen, RefusesSourcesOfNoUsableFormatAndPutsWithoutOutput) {
  // A memory source needs a frame size: 16-bit mono reporting a bad format.
  struct Bad : MemoryPcmSource {
    explicit Bad(const csfile::PcmFormat &f) : MemoryPcmSource(Bytes(16, 1), {22050, 16, 1}), f_(f) {}
    csfile::PcmFormat output() const override { return f_; }
    csfile::PcmFormat f_;
  };
  for (const csfile::PcmFormat f : {csfile::PcmFormat{0, 16, 1}, {22050, 12, 1}, {22050, 16, 3}}) {
    EXPECT_EQ(csfile::CSFileOpenSource(std::make_unique<Bad>(f), CsOptions{}), nullptr);
  }
  EXPECT_EQ(csfile::CSFileOpenSource(nullptr, CsOptions{}), nullptr);
  CsFilePtr cs(csfile::CSFileOpenSource(memory_source(pattern(100), 22050, 16, 1), CsOptions{}));
  ASSERT_NE(cs, nullptr);
  CSFilePut(cs.get(), 100);
  EXPECT_EQ(cs->total_chunk_bytes, 0u);
  EXPECT_EQ(cs->pass_left, 100u) << "nothing was read";
  CSFilePut(nullptr, 100);
  CSFileClose(nullptr);
}

} // namespace
} // namespace vex::testkit
