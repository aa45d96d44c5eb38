// The chunk scan (CSFileScan, CSFileScanMemory) over streams the writer
// made, against the writer's own counters and the testkit's independent
// chunk reader, from memory and from a file alike; then streams that are
// damaged or only look like one coding, and the transform recognition's
// tolerance of one window, at its edges. The sound source reads the same
// streams (a ".vcs" file) with the library's own decoders: its PCM is the
// testkit reader's, whole and trimmed, and a damaged stream is refused or
// ends where its damage is, which SFileDamage names.
#include <gtest/gtest.h>

#include <filesystem>

#include "testkit/audio_codec/test_signals.h"
#include "testkit/csfile/chunk_reader.h"
#include "testkit/csfile/cs_writer_driver.h"
#include "testkit/sfile/sound_reading.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/csfile.h"
#include "vexutil/util.h"

namespace vex::testkit {
namespace {

using csfile::CsOptions;
using Bytes = std::vector<uint8_t>;

struct ScanCloser {
  void operator()(CSSCAN *s) const { CSFileScanClose(s); }
};
using Scan = std::unique_ptr<CSSCAN, ScanCloser>;

// Pieces of changing size, whole frames of every layout.
const std::vector<uint32_t> kPieces = {4096, 4, 12, 65536, 3000};

// What the sound source delivers for a stream in a ".vcs" file, read twice
// (the second time after SFileReset); `refusal` when it is refused.
struct Delivered {
  bool opened = false;
  Bytes pcm;
  std::string damage, refusal;
  std::vector<uint32_t> format; // rate, bits, channels
};
Delivered deliver(const Bytes &stream, int32_t rate, int32_t start = 0, int32_t end = 0, int32_t raw = 0) {
  TempDir dir;
  write_file(dir.file("s.VCS"), stream);
  Sound s = open_sound(dir.file("s.VCS"), {.rate = rate, .start = start, .end = end, .raw_format = raw});
  Delivered d;
  if (!s) {
    d.refusal = VEXLastError();
    return d;
  }
  d.opened = true;
  EXPECT_EQ(s->kind, SFILE_CHUNKS);
  d.format = {s->source_rate, s->source_bits, s->source_channels};
  d.pcm = read_sound(s.get(), kPieces);
  d.damage = SFileDamage(s.get()) ? SFileDamage(s.get()) : "";
  SFileReset(s.get());
  EXPECT_EQ(read_sound(s.get(), kPieces), d.pcm) << "again after SFileReset";
  return d;
}

// The record's summary and every chunk it lists (twice: the list starts
// again after its end), as one comparable value.
struct Seen {
  int32_t coding = -1;
  uint32_t channels = 0, bits = 0, variant = 0;
  uint64_t chunk_count = 0, chunk_bytes = 0, pcm_bytes = 0, trailing = 0;
  std::vector<std::array<uint64_t, 4>> chunks;
  bool operator==(const Seen &) const = default;
};

Seen seen(CSSCAN *s) {
  EXPECT_NE(s, nullptr) << VEXLastError();
  Seen v;
  if (!s)
    return v;
  v = {s->coding, s->channels, s->bits, s->variant, s->chunk_count, s->chunk_bytes, s->pcm_bytes, s->trailing, {}};
  for (int pass = 0; pass < 2; ++pass) {
    CSCHUNK c;
    size_t n = 0;
    for (; CSFileScanNext(s, &c); ++n) {
      const std::array<uint64_t, 4> row{c.offset, c.size, c.pcm_bytes, c.variant};
      if (pass == 0)
        v.chunks.push_back(row);
      else
        EXPECT_EQ(v.chunks.at(n), row);
    }
    EXPECT_EQ(n, v.chunks.size());
  }
  return v;
}

Seen scan_memory(const Bytes &b, bool raw, uint32_t rate) {
  return seen(Scan(CSFileScanMemory(b.data(), b.size(), raw, rate)).get());
}

// Memory and file scans agree; the memory one is returned.
Seen scan_both(const Bytes &b, bool raw, uint32_t rate) {
  TempDir dir;
  write_file(dir.file("s.vcs"), b);
  const Seen m = scan_memory(b, raw, rate);
  EXPECT_EQ(seen(Scan(CSFileScan(dir.file("s.vcs").c_str(), raw, rate)).get()), m) << "file and memory scans differ";
  return m;
}

// Streams of two and a half puts' worth of noise (three chunks). The
// transform streams' first chunks outgrow the scan's 64 KiB read window
// (noise codes to nearly as many bytes as it has), so a file scan refills
// it, and so does the sound source. The sound source gives the testkit
// reader's PCM, which for the lossless codings is what went in (raw
// chunks: and their zero padding); trimmed, the same from the whole frames
// of 100 ms to those of 300 ms. A Huffman stream needs its rate; a
// transform stream is read at the rate its blocks decode at, which must be
// the one given.
TEST(CsScan, WrittenStreamsAreTheWritersAndTheReadersOwn) {
  const struct {
    const char *name;
    int32_t compression;
    bool raw;
    uint32_t rate, bits, channels, put_bytes;
    int32_t coding;
    uint32_t scan_rate; // what the scan is told (0: not known)
  } cases[] = {
      {"huffman 8 mono", 0, false, 11025, 8, 1, 5000, CSSCAN_HUFFMAN, 0},
      {"huffman 8 stereo", 3, false, 8000, 8, 2, 6000, CSSCAN_HUFFMAN, 0},
      {"huffman 16 mono", 0, false, 44100, 16, 1, 30000, CSSCAN_HUFFMAN, 44100},
      {"huffman 16 stereo lossy", 45, false, 22050, 16, 2, 40000, CSSCAN_HUFFMAN, 22050},
      {"transform mono, rate given", 104, false, 44100, 16, 1, 400000, CSSCAN_TRANSFORM, 44100},
      {"transform stereo, rate found", 104, false, 22050, 16, 2, 400000, CSSCAN_TRANSFORM, 0},
      {"raw 16 stereo", 0, true, 8000, 16, 2, 15000, CSSCAN_RAW, 0},
      {"raw 8 mono, padded", 0, true, 11025, 8, 1, 5001, CSSCAN_RAW, 0},
  };
  for (const auto &m : cases) {
    SCOPED_TRACE(m.name);
    const Pcm noise = white_noise(m.channels, m.put_bytes * 5 / 2 / (m.bits / 8 * m.channels) + 77, 20000, 5);
    const Bytes pcm = m.bits == 8 ? pcm8_bytes(noise) : pcm16_bytes(noise);
    const WrittenStream w =
        write_stream(memory_source(pcm, m.rate, m.bits, m.channels),
                     cs_options(m.compression, 0, 0, false, false, m.raw), fixed_count(m.put_bytes));
    const ChunkKind kind = m.coding == CSSCAN_RAW       ? ChunkKind::raw
                           : m.coding == CSSCAN_HUFFMAN ? ChunkKind::huffman
                                                        : ChunkKind::transform;
    const DecodedStream d = read_chunk_stream(w.bytes, {kind, m.rate, m.bits, m.channels});
    ASSERT_GT(d.chunks.size(), 1u);
    if (m.coding == CSSCAN_TRANSFORM) {
      ASSERT_GT(d.chunks[0].size, 65536u);
    }

    const Seen s = scan_both(w.bytes, m.raw, m.scan_rate);
    const uint32_t variant = m.coding == CSSCAN_HUFFMAN ? d.chunks[0].variant : 0u;
    Seen want{m.coding, m.raw ? 0 : m.channels, m.raw ? 0 : m.bits, variant, w.puts_that_wrote, w.bytes.size(), 0, 0,
              {}};
    for (const ChunkSummary &c : d.chunks) {
      want.chunks.push_back({c.offset, c.size, c.pcm_bytes, c.variant});
      want.pcm_bytes += c.pcm_bytes;
    }
    EXPECT_EQ(s, want);
    EXPECT_EQ(s.chunk_bytes, w.last.total_chunk_bytes);
    if (!m.raw) {
      EXPECT_EQ(s.pcm_bytes, w.last.total_pcm_bytes);
    }

    const int32_t raw = m.raw ? int32_t(m.rate << 3 | (m.bits == 16 ? 2 : 0) | (m.channels == 2 ? 1 : 0)) : 0;
    const auto rate = static_cast<int32_t>(m.coding == CSSCAN_HUFFMAN ? m.rate : m.scan_rate);
    const Delivered whole = deliver(w.bytes, rate, 0, 0, raw);
    ASSERT_TRUE(whole.opened) << whole.refusal;
    EXPECT_EQ(whole.format, std::vector<uint32_t>({m.rate, m.bits, m.channels}));
    EXPECT_EQ(whole.damage, "");
    EXPECT_TRUE(whole.pcm == d.pcm);
    if (m.coding == CSSCAN_HUFFMAN && m.compression < 10) {
      EXPECT_TRUE(whole.pcm == pcm);
    }
    const uint32_t frame = m.bits / 8 * m.channels, per_second = m.rate * frame;
    const size_t from = per_second / 10 / frame * frame, length = per_second / 5 / frame * frame;
    const Delivered trimmed = deliver(w.bytes, rate, 100, 300, raw);
    EXPECT_TRUE(trimmed.pcm == Bytes(d.pcm.begin() + from, d.pcm.begin() + from + length)) << trimmed.refusal;
    // (44100 Hz mono and 22050 Hz stereo share every block layout: no scan
    // can tell them apart.)
    if (m.coding == CSSCAN_TRANSFORM) {
      const Delivered other = deliver(w.bytes, 8000);
      EXPECT_NE(other.refusal.find("do not decode at"), std::string::npos) << other.refusal;
    }
  }
}

// Transform streams scanned without their rate. Mono at 22050, 44100 and
// 48000 Hz codes into the layout of stereo at 11025, 22050 and 32000 Hz
// (the same bits), so the decoded sound tells which: speech, a sweep (left
// equals right in stereo) and, in stereo, two tones apart.
TEST(CsScan, TransformChannelsWithoutTheRate) {
  for (uint32_t rate : {22050u, 44100u, 48000u})
    for (uint32_t channels : {1u, 2u}) {
      std::vector<std::pair<const char *, Pcm>> signals = {
          {"speech", espeak_speech("Seven silver swans swam silently", rate, channels)},
          {"sweep", sine_sweep(rate, channels, rate * 2, 100, 3000, 12000)}};
      if (channels == 2) {
        const Pcm low = sine_sweep(rate, 1, rate * 2, 300, 300.5, 9000), high = sine_sweep(rate, 1, rate * 2, 1700, 1701, 9000);
        Pcm both;
        for (size_t i = 0; i < low.size(); ++i)
          both.insert(both.end(), {low[i], high[i]});
        signals.emplace_back("two tones", both);
      }
      for (const auto &[what, pcm] : signals) {
        SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(channels) + " channels, " + what);
        const WrittenStream w = write_stream(memory_source(pcm16_bytes(pcm), rate, 16, channels), cs_options(104),
                                             fixed_count(rate * 2 * channels));
        ASSERT_GT(w.puts_that_wrote, 0u);
        const Seen s = scan_memory(w.bytes, false, 0);
        EXPECT_EQ(s.coding, CSSCAN_TRANSFORM);
        EXPECT_EQ(s.channels, channels);
        EXPECT_EQ(scan_memory(w.bytes, false, rate).channels, channels) << "rate given";
      }
    }
}

// Huffman chunks of 1000 8-bit mono samples each.
Bytes huffman_stream(uint32_t chunks = 3) {
  const Pcm noise = white_noise(1, 1000 * chunks, 20000, 9);
  return write_stream(memory_source(pcm8_bytes(noise), 11025, 8, 1), CsOptions{}, fixed_count(1000)).bytes;
}

// A Huffman chunk's variant is the low 3 bits of its first body byte.
void set_variant(Bytes &b, size_t chunk, uint8_t v) { b[chunk + 8] = static_cast<uint8_t>((b[chunk + 8] & ~7) | v); }

// Three Huffman chunks of 8-bit mono, 1000 samples each, spoilt one way
// at a time: what is whole from the start stays a chunk, the rest trails.
// The sound source (at 11025 Hz) refuses what is no stream it can read,
// and otherwise delivers the samples up to the damage, which it names.
TEST(CsScanDamaged, WholeChunksFromTheStartAndTheRestTrails) {
  const Bytes good = huffman_stream();
  const uint32_t first = le32_at(good, 0), second = le32_at(good, first);
  ASSERT_EQ(first + second + le32_at(good, first + second), good.size());
  const Bytes samples = deliver(good, 11025).pcm;
  ASSERT_EQ(samples, pcm8_bytes(white_noise(1, 3000, 20000, 9)));
  const auto every_variant = [](Bytes &b, uint8_t v) {
    for (size_t at = 0; at < b.size(); at += le32_at(b, at))
      set_variant(b, at, v);
  };
  constexpr int64_t kRefused = -1;
  const struct {
    const char *name;
    std::function<void(Bytes &)> spoil;
    uint64_t chunks, trailing;
    int32_t coding;
    int64_t least, most; // samples the sound source delivers, or kRefused
    const char *damage;  // what SFileDamage says ("": null)
  } cases[] = {
      {"intact", [](Bytes &) {}, 3, 0, CSSCAN_HUFFMAN, 3000, 3000, ""},
      {"three bytes more", [](Bytes &b) { b.insert(b.end(), {1, 2, 3}); }, 3, 3, CSSCAN_HUFFMAN, 3000, 3000,
       "after chunk 3, 3 bytes are no whole chunk"},
      {"last chunk cut by 4", [](Bytes &b) { b.resize(b.size() - 4); }, 2, good.size() - 4 - first - second,
       CSSCAN_HUFFMAN, 2000, 2000, "after chunk 2"},
      {"second size not a multiple of 4", [&](Bytes &b) { set_le32(b, first, second + 2); }, 1, good.size() - first,
       CSSCAN_HUFFMAN, 1000, 1000, "after chunk 1"},
      {"second size past the end", [&](Bytes &b) { set_le32(b, first, second + 4 + (good.size() - first - second)); },
       1, good.size() - first, CSSCAN_HUFFMAN, 1000, 1000, "after chunk 1"},
      {"first size 4", [](Bytes &b) { set_le32(b, 0, 4); }, 0, good.size(), CSSCAN_UNKNOWN, kRefused, kRefused, ""},
      {"second chunk of another variant", [&](Bytes &b) { set_variant(b, first, 5); }, 3, 0, CSSCAN_UNKNOWN, kRefused,
       kRefused, ""},
      // Read as 16-bit mono, the first table's bits are no tables for two
      // bytes: wherever that shows, the sound ends there.
      {"every chunk of that variant", [&](Bytes &b) { every_variant(b, 5); }, 3, 0, CSSCAN_HUFFMAN, 0, 1000,
       "chunk 1 (at byte 0)"},
      {"and one count not whole frames of it", [&](Bytes &b) { every_variant(b, 5), set_le32(b, first + 4, 999); }, 3,
       0, CSSCAN_UNKNOWN, kRefused, kRefused, ""},
      {"empty", [](Bytes &b) { b.clear(); }, 0, 0, CSSCAN_UNKNOWN, kRefused, kRefused, ""},
      // A chunk with no body and a count of 0 holds no coded block: it is
      // no transform stream at any rate.
      {"one empty chunk", [](Bytes &b) { b = {8, 0, 0, 0, 0, 0, 0, 0}; }, 1, 0, CSSCAN_UNKNOWN, kRefused, kRefused,
       ""},
      // The second chunk's first table: internal nodes to 31 bits deep.
      {"second table too deep",
       [&](Bytes &b) {
         b[first + 8] |= 0xF8;
         std::fill(b.begin() + first + 9, b.begin() + first + 16, 0xFF);
       },
       3, 0, CSSCAN_HUFFMAN, 1000, 1000, "chunk 2 (at byte "},
      // A count twice what its codes hold: the codes run out (the zero
      // bits of its alignment and padding still decode as a few samples).
      {"second count doubled", [&](Bytes &b) { set_le32(b, first + 4, 2000); }, 3, 0, CSSCAN_HUFFMAN, 2000, 2040,
       "the codes run past its end"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = good;
    c.spoil(b);
    const Seen s = scan_both(b, false, 0);
    EXPECT_EQ(std::vector<uint64_t>({uint64_t(int64_t(s.coding)), s.chunk_count, s.trailing, s.chunks.size(),
                                     s.chunk_bytes + s.trailing}),
              std::vector<uint64_t>({uint64_t(int64_t(c.coding)), c.chunks, c.trailing, c.chunks, b.size()}));
    const Delivered d = deliver(b, 11025);
    ASSERT_EQ(d.opened, c.least != kRefused) << d.refusal;
    if (!d.opened)
      continue;
    ASSERT_GE(static_cast<int64_t>(d.pcm.size()), c.least);
    EXPECT_LE(static_cast<int64_t>(d.pcm.size()), c.most);
    EXPECT_TRUE(std::equal(samples.begin(), samples.begin() + c.least, d.pcm.begin())) << "the samples before the damage";
    EXPECT_NE(d.damage.find(c.damage), std::string::npos) << d.damage;
    EXPECT_EQ(d.damage.empty(), std::string(c.damage).empty()) << d.damage;
  }
}

// The first chunk is a transform chunk while its blocks decode to its
// count word or up to one window more (22050 Hz stereo: windows of 2048
// values overlapping by 128, so 3840 bytes a block). Later chunks are not
// scanned: the sound source finds a count above what the second chunk's
// blocks decode to when it gets there, and a block cut short in the last
// chunk, and delivers what came before.
TEST(CsScanDamaged, TransformCountsWithinOneWindowOfTheBlocks) {
  const Bytes good = write_stream(memory_source(pcm16_bytes(white_noise(2, 12000, 20000, 3)), 22050, 16, 2),
                                  cs_options(104), fixed_count(16000))
                         .bytes;
  const DecodedStream d = read_chunk_stream(good, {ChunkKind::transform, 22050, 16, 2});
  const uint32_t decoded = d.chunks.at(0).blocks * 3840;
  ASSERT_GT(d.chunks.at(0).blocks, 1u);
  for (const auto &[count, transform] : std::vector<std::pair<uint32_t, bool>>{
           {decoded, true}, {decoded + 1, false}, {decoded - 3840, true}, {decoded - 3841, false}}) {
    SCOPED_TRACE(count);
    Bytes b = good;
    set_le32(b, 4, count);
    const Seen s = scan_memory(b, false, 22050);
    EXPECT_EQ(s.coding == CSSCAN_TRANSFORM, transform);
    EXPECT_EQ(s.channels, transform ? 2u : s.channels);
  }
  const uint32_t first = le32_at(good, 0), second = le32_at(good, first), third = le32_at(good, first + second);
  ASSERT_GT(good.size(), first + second) << "three chunks";
  const Bytes samples = deliver(good, 22050).pcm;
  ASSERT_EQ(samples, d.pcm);
  Bytes counted = good;
  set_le32(counted, first + 4, d.chunks[1].blocks * 3840 + 4);
  Delivered r = deliver(counted, 22050);
  EXPECT_TRUE(r.pcm == Bytes(samples.begin(), samples.begin() + d.chunks[0].pcm_bytes + d.chunks[1].blocks * 3840));
  EXPECT_NE(r.damage.find("chunk 2 (at byte " + std::to_string(first) + "): its blocks decode to 4 bytes fewer"),
            std::string::npos)
      << r.damage;
  Bytes cut = good;
  set_le32(cut, first + second, third - 8);
  cut.resize(cut.size() - 8);
  r = deliver(cut, 22050);
  ASSERT_GE(r.pcm.size(), d.chunks[0].pcm_bytes + d.chunks[1].pcm_bytes);
  EXPECT_TRUE(std::equal(r.pcm.begin(), r.pcm.end(), samples.begin()));
  EXPECT_NE(r.damage.find("chunk 3"), std::string::npos) << r.damage;
  EXPECT_NE(r.damage.find("runs past its end"), std::string::npos) << r.damage;
}

// A stream larger than the scan's read window, so that the list reads the
// file again, cut in half after the scan and the source's open: the source
// gives the chunks that are still whole and says at the first read after
// the cut that the file changed; the list ends early and starts again.
TEST(CsScanDamaged, FilesThatAreNotThereOrChangeAfterTheScan) {
  TempDir dir;
  EXPECT_EQ(CSFileScan(dir.file("none.vcs").c_str(), 0, 0), nullptr);
  EXPECT_STRNE(VEXLastError(), "");
  EXPECT_EQ(CSFileScanMemory(nullptr, 4, 0, 0), nullptr);
  const Bytes good = huffman_stream(200);
  ASSERT_GT(good.size(), 2u * 65536);
  write_file(dir.file("s.vcs"), good);
  Scan s(CSFileScan(dir.file("s.vcs").c_str(), 0, 0));
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->chunk_count, 200u);
  Sound sound = open_sound(dir.file("s.vcs"), {.rate = 11025});
  ASSERT_NE(sound, nullptr) << VEXLastError();
  std::filesystem::resize_file(dir.file("s.vcs"), good.size() / 2);
  const Bytes delivered = read_sound(sound.get(), kPieces);
  EXPECT_EQ(delivered.size() % 1000, 0u);
  EXPECT_GT(delivered.size(), 50000u);
  EXPECT_LT(delivered.size(), 200000u);
  EXPECT_TRUE(std::equal(delivered.begin(), delivered.end(), pcm8_bytes(white_noise(1, 200000, 20000, 9)).begin()));
  ASSERT_NE(SFileDamage(sound.get()), nullptr);
  EXPECT_NE(std::string(SFileDamage(sound.get())).find("changed while open: it holds " + std::to_string(good.size() / 2)),
            std::string::npos)
      << SFileDamage(sound.get());
  CSCHUNK c;
  uint64_t listed = 0;
  while (CSFileScanNext(s.get(), &c))
    ++listed;
  EXPECT_GT(listed, 50u);
  EXPECT_LT(listed, 200u);
  EXPECT_STRNE(VEXLastError(), "");
  EXPECT_EQ(CSFileScanNext(s.get(), &c), 1) << "the list starts again at the first chunk";
  EXPECT_EQ(c.offset, 0u);
}

} // namespace
} // namespace vex::testkit
