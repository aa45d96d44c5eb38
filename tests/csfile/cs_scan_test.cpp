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

#include "cs_writer_harness.h"
#include "testkit/audio_codec/test_signals.h"
#include "testkit/util/wav_file.h"
#include "vexutil/csfile.h"
#include "vexutil/sfile.h"

namespace {

using namespace vex::testkit;
using vex::csfile::CsOptions;
using Bytes = std::vector<uint8_t>;

struct ScanCloser {
  void operator()(CSSCAN *s) const { CSFileScanClose(s); }
};
using Scan = std::unique_ptr<CSSCAN, ScanCloser>;

struct SourceCloser {
  void operator()(SFILE *s) const { SFileClose(s); }
};
using Source = std::unique_ptr<SFILE, SourceCloser>;

// Every byte the source delivers, in pieces of changing size.
Bytes read_source(SFILE *s) {
  static constexpr uint32_t kPieces[] = {4096, 4, 12, 65536, 3000}; // whole frames of every layout
  Bytes out;
  for (size_t i = 0;; ++i) {
    Bytes piece(kPieces[i % std::size(kPieces)]);
    const uint32_t n = SFileGet(s, piece.data(), static_cast<uint32_t>(piece.size()));
    if (n == 0)
      return out;
    out.insert(out.end(), piece.begin(), piece.begin() + n);
  }
}

// What the sound source delivers for a stream in a ".vcs" file, read
// twice (the second time after SFileReset); empty when it is refused.
struct Delivered {
  bool opened = false;
  Bytes pcm;
  std::string damage, refusal;
  uint32_t rate = 0, bits = 0, channels = 0;
};
Delivered deliver(const Bytes &stream, int32_t rate, int32_t start = 0, int32_t end = 0, int32_t raw = 0) {
  TempDir dir;
  write_file(dir.file("s.VCS"), stream);
  Source s(SFileOpen(dir.file("s.VCS").c_str(), rate, 0, 0, start, end, 0, raw, 0, nullptr));
  Delivered d;
  if (!s) {
    d.refusal = VEXLastError();
    return d;
  }
  d.opened = true;
  EXPECT_EQ(s->kind, SFILE_CHUNKS);
  d.rate = s->source_rate;
  d.bits = s->source_bits;
  d.channels = s->source_channels;
  d.pcm = read_source(s.get());
  d.damage = SFileDamage(s.get()) ? SFileDamage(s.get()) : "";
  SFileReset(s.get());
  EXPECT_EQ(read_source(s.get()), d.pcm) << "again after SFileReset";
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
  Seen v;
  if (!s)
    return v;
  v = {s->coding, s->channels, s->bits, s->variant, s->chunk_count, s->chunk_bytes, s->pcm_bytes, s->trailing, {}};
  for (int pass = 0; pass < 2; ++pass) {
    CSCHUNK c;
    size_t n = 0;
    while (CSFileScanNext(s, &c)) {
      if (pass == 0)
        v.chunks.push_back({c.offset, c.size, c.pcm_bytes, c.variant});
      else
        EXPECT_EQ(v.chunks.at(n), (std::array<uint64_t, 4>{c.offset, c.size, c.pcm_bytes, c.variant}));
      ++n;
    }
    EXPECT_EQ(n, v.chunks.size());
  }
  return v;
}

Seen scan_memory(const Bytes &b, bool raw, uint32_t rate) {
  Scan s(CSFileScanMemory(b.data(), b.size(), raw, rate));
  EXPECT_NE(s, nullptr) << VEXLastError();
  return seen(s.get());
}

// Memory and file scans agree; the memory one is returned.
Seen scan_both(const Bytes &b, bool raw, uint32_t rate) {
  TempDir dir;
  write_file(dir.file("s.vcs"), b);
  Scan f(CSFileScan(dir.file("s.vcs").c_str(), raw, rate));
  EXPECT_NE(f, nullptr) << VEXLastError();
  const Seen m = scan_memory(b, raw, rate);
  EXPECT_EQ(seen(f.get()), m) << "file and memory scans differ";
  return m;
}

struct Made {
  const char *name;
  int32_t compression;
  bool raw;
  uint32_t rate, bits, channels, put_bytes;
  int32_t coding;
  uint32_t scan_rate; // what the scan is told (0: not known)
};

class CsScanWritten : public ::testing::TestWithParam<Made> {
protected:
  // Two and a half puts' worth: three chunks.
  void SetUp() override {
    const Made &m = GetParam();
    const Pcm noise = white_noise(m.channels, m.put_bytes * 5 / 2 / (m.bits / 8 * m.channels) + 77, 20000, 5);
    pcm = m.bits == 8 ? pcm8_bytes(noise) : pcm16_bytes(noise);
    CsOptions o;
    o.compression = m.compression;
    o.raw_storage = m.raw;
    w = write_stream(memory_source(pcm, m.rate, m.bits, m.channels), o, fixed_count(m.put_bytes));
    const ChunkKind kind = m.coding == CSSCAN_RAW       ? ChunkKind::raw
                           : m.coding == CSSCAN_HUFFMAN ? ChunkKind::huffman
                                                        : ChunkKind::transform;
    d = read_chunk_stream(w.bytes, {kind, m.rate, m.bits, m.channels});
  }
  Bytes pcm; // what went in
  WrittenStream w;
  DecodedStream d;
};

TEST_P(CsScanWritten, SummaryAndChunksAreTheWritersAndTheReadersOwn) {
  const Made &m = GetParam();
  ASSERT_GT(d.chunks.size(), 1u);
  if (m.coding == CSSCAN_TRANSFORM) {
    ASSERT_GT(d.chunks[0].size, 65536u);
  }

  const Seen s = scan_both(w.bytes, m.raw, m.scan_rate);
  EXPECT_EQ(s.coding, m.coding);
  EXPECT_EQ(s.channels, m.raw ? 0 : m.channels);
  EXPECT_EQ(s.bits, m.raw ? 0 : m.bits);
  EXPECT_EQ(s.variant, m.coding == CSSCAN_HUFFMAN ? d.chunks[0].variant : 0u);
  EXPECT_EQ(s.chunk_count, w.puts_that_wrote);
  EXPECT_EQ(s.chunk_bytes, w.bytes.size());
  EXPECT_EQ(s.chunk_bytes, w.last.total_chunk_bytes);
  EXPECT_EQ(s.trailing, 0u);
  uint64_t pcm = 0;
  ASSERT_EQ(s.chunks.size(), d.chunks.size());
  for (size_t i = 0; i < d.chunks.size(); ++i) {
    const ChunkSummary &c = d.chunks[i];
    EXPECT_EQ(s.chunks[i], (std::array<uint64_t, 4>{c.offset, c.size, c.pcm_bytes, c.variant})) << "chunk " << i;
    pcm += c.pcm_bytes;
  }
  EXPECT_EQ(s.pcm_bytes, pcm);
  if (!m.raw) {
    EXPECT_EQ(s.pcm_bytes, w.last.total_pcm_bytes);
  }
}

// The sound source gives the testkit reader's PCM, which for the lossless
// codings is what went in (raw chunks: and their zero padding); trimmed,
// the same from the whole frames of 100 ms to those of 300 ms. A Huffman
// stream needs its rate; a transform stream is read at the rate its blocks
// decode at, which must be the one given.
TEST_P(CsScanWritten, ReadBackThroughTheSoundSource) {
  const Made &m = GetParam();
  const int32_t raw =
      m.raw ? static_cast<int32_t>(m.rate << 3 | (m.bits == 16 ? 2 : 0) | (m.channels == 2 ? 1 : 0)) : 0;
  const auto rate = static_cast<int32_t>(m.coding == CSSCAN_HUFFMAN ? m.rate : m.scan_rate);
  const Delivered whole = deliver(w.bytes, rate, 0, 0, raw);
  ASSERT_TRUE(whole.opened) << whole.refusal;
  EXPECT_EQ(whole.rate, m.rate);
  EXPECT_EQ(whole.bits, m.bits);
  EXPECT_EQ(whole.channels, m.channels);
  EXPECT_EQ(whole.damage, "");
  ASSERT_EQ(whole.pcm.size(), d.pcm.size());
  EXPECT_TRUE(whole.pcm == d.pcm);
  if (m.raw) {
    // Each chunk: the PCM the writer put in it, then its zero padding.
    Bytes unpadded;
    size_t at = 0;
    ASSERT_EQ(w.chunk_pcm_bytes.size(), d.chunks.size());
    for (size_t i = 0; i < d.chunks.size(); at += d.chunks[i++].pcm_bytes) {
      const auto chunk = d.pcm.begin() + static_cast<ptrdiff_t>(at);
      unpadded.insert(unpadded.end(), chunk, chunk + w.chunk_pcm_bytes[i]);
      EXPECT_TRUE(
          std::all_of(chunk + w.chunk_pcm_bytes[i], chunk + d.chunks[i].pcm_bytes, [](uint8_t b) { return b == 0; }));
    }
    EXPECT_TRUE(unpadded == pcm);
  } else if (m.coding == CSSCAN_HUFFMAN && m.compression < 10) {
    EXPECT_TRUE(whole.pcm == pcm);
  }

  const uint32_t frame = m.bits / 8 * m.channels, per_second = m.rate * frame;
  const size_t from = per_second / 10 / frame * frame, length = per_second / 5 / frame * frame;
  const Delivered trimmed = deliver(w.bytes, rate, 100, 300, raw);
  ASSERT_TRUE(trimmed.opened) << trimmed.refusal;
  EXPECT_TRUE(trimmed.pcm == Bytes(d.pcm.begin() + from, d.pcm.begin() + from + length));

  if (m.coding == CSSCAN_HUFFMAN) {
    const Delivered no_rate = deliver(w.bytes, 0);
    EXPECT_FALSE(no_rate.opened);
    EXPECT_NE(no_rate.refusal.find("does not record its sample rate"), std::string::npos) << no_rate.refusal;
  }
  if (m.coding == CSSCAN_TRANSFORM) {
    // (44100 Hz mono and 22050 Hz stereo share every block layout: no
    // scan can tell them apart.)
    const Delivered wrong = deliver(w.bytes, 8000);
    EXPECT_FALSE(wrong.opened);
    EXPECT_NE(wrong.refusal.find("do not decode at"), std::string::npos) << wrong.refusal;
  }
}

// The transform streams' first chunks outgrow the scan's 64 KiB read
// window (noise codes to nearly as many bytes as it has), so a file scan
// refills it, and so does the sound source.
INSTANTIATE_TEST_SUITE_P(
    Streams, CsScanWritten,
    ::testing::Values(Made{"huffman_8_mono", 0, false, 11025, 8, 1, 5000, CSSCAN_HUFFMAN, 0},
                      Made{"huffman_8_stereo", 3, false, 8000, 8, 2, 6000, CSSCAN_HUFFMAN, 0},
                      Made{"huffman_16_mono", 0, false, 44100, 16, 1, 30000, CSSCAN_HUFFMAN, 44100},
                      Made{"huffman_16_stereo_lossy", 45, false, 22050, 16, 2, 40000, CSSCAN_HUFFMAN, 22050},
                      Made{"transform_mono_given_rate", 104, false, 44100, 16, 1, 400000, CSSCAN_TRANSFORM, 44100},
                      Made{"transform_stereo_rate_found", 104, false, 22050, 16, 2, 400000, CSSCAN_TRANSFORM, 0},
                      Made{"raw_16_stereo", 0, true, 8000, 16, 2, 15000, CSSCAN_RAW, 0},
                      Made{"raw_8_mono_padded", 0, true, 11025, 8, 1, 5001, CSSCAN_RAW, 0}),
    [](const auto &info) { return std::string(info.param.name); });

// Transform streams scanned without their rate. Mono at 22050, 44100 and
// 48000 Hz codes into the layout of stereo at 11025, 22050 and 32000 Hz
// (the same bits), so the decoded sound tells which: speech, a sweep
// (left equals right in stereo) and, in stereo, two tones apart.
struct ChannelCase {
  const char *name;
  uint32_t rate, channels;
};

class CsScanChannels : public ::testing::TestWithParam<ChannelCase> {};

TEST_P(CsScanChannels, TransformChannelsWithoutTheRate) {
  const ChannelCase &c = GetParam();
  std::vector<std::pair<const char *, Pcm>> signals = {
      {"speech", espeak_speech("Seven silver swans swam silently", c.rate, c.channels)},
      {"sweep", sine_sweep(c.rate, c.channels, c.rate * 2, 100, 3000, 12000)}};
  if (c.channels == 2) {
    const Pcm low = sine_sweep(c.rate, 1, c.rate * 2, 300, 300.5, 9000), high = sine_sweep(c.rate, 1, c.rate * 2, 1700, 1701, 9000);
    Pcm both;
    for (size_t i = 0; i < low.size(); ++i)
      both.insert(both.end(), {low[i], high[i]});
    signals.emplace_back("two tones", both);
  }
  for (const auto &[what, pcm] : signals) {
    CsOptions o;
    o.compression = 104;
    const WrittenStream w =
        write_stream(memory_source(pcm16_bytes(pcm), c.rate, 16, c.channels), o, fixed_count(c.rate * 2 * c.channels));
    ASSERT_GT(w.puts_that_wrote, 0u) << what;
    const Seen s = scan_memory(w.bytes, false, 0);
    EXPECT_EQ(s.coding, CSSCAN_TRANSFORM) << what;
    EXPECT_EQ(s.channels, c.channels) << what;
    EXPECT_EQ(scan_memory(w.bytes, false, c.rate).channels, c.channels) << what << ", rate given";
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, CsScanChannels,
                         ::testing::Values(ChannelCase{"mono_22050", 22050, 1}, ChannelCase{"stereo_22050", 22050, 2},
                                           ChannelCase{"mono_44100", 44100, 1}, ChannelCase{"stereo_44100", 44100, 2},
                                           ChannelCase{"mono_48000", 48000, 1}, ChannelCase{"stereo_48000", 48000, 2}),
                         [](const auto &info) { return std::string(info.param.name); });

// Huffman chunks of 1000 8-bit mono samples each.
Bytes huffman_stream(uint32_t chunks = 3) {
  const Pcm noise = white_noise(1, 1000 * chunks, 20000, 9);
  return write_stream(memory_source(pcm8_bytes(noise), 11025, 8, 1), CsOptions{}, fixed_count(1000)).bytes;
}

void put32(Bytes &b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k)
    b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

uint32_t get32(const Bytes &b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}

// A Huffman chunk's variant is the low 3 bits of its first body byte.
void set_variant(Bytes &b, size_t chunk, uint8_t v) { b[chunk + 8] = static_cast<uint8_t>((b[chunk + 8] & ~7) | v); }
void set_variants(Bytes &b, uint8_t v) {
  for (size_t at = 0; at < b.size(); at += get32(b, at))
    set_variant(b, at, v);
}

// Three Huffman chunks of 8-bit mono, 1000 samples each, spoilt one way
// at a time: what is whole from the start stays a chunk, the rest trails.
// The sound source (at 11025 Hz) refuses what is no stream it can read,
// and otherwise delivers the samples up to the damage, which it names.
TEST(CsScanDamaged, WholeChunksFromTheStartAndTheRestTrails) {
  const Bytes good = huffman_stream();
  const uint32_t first = get32(good, 0), second = get32(good, first);
  ASSERT_EQ(first + second + get32(good, first + second), good.size());
  const Bytes samples = deliver(good, 11025).pcm;
  ASSERT_EQ(samples, pcm8_bytes(white_noise(1, 3000, 20000, 9)));
  constexpr int64_t kRefused = -1;
  struct Case {
    const char *name;
    std::function<void(Bytes &)> spoil;
    uint64_t chunks, trailing;
    int32_t coding;
    int64_t least, most; // samples the sound source delivers, or kRefused
    const char *damage;  // what SFileDamage says ("": null)
  };
  const Case cases[] = {
      {"intact", [](Bytes &) {}, 3, 0, CSSCAN_HUFFMAN, 3000, 3000, ""},
      {"three bytes more", [](Bytes &b) { b.insert(b.end(), {1, 2, 3}); }, 3, 3, CSSCAN_HUFFMAN, 3000, 3000,
       "after chunk 3, 3 bytes are no whole chunk"},
      {"last chunk cut by 4", [](Bytes &b) { b.resize(b.size() - 4); }, 2, good.size() - 4 - first - second,
       CSSCAN_HUFFMAN, 2000, 2000, "after chunk 2"},
      {"second size not a multiple of 4", [&](Bytes &b) { put32(b, first, second + 2); }, 1, good.size() - first,
       CSSCAN_HUFFMAN, 1000, 1000, "after chunk 1"},
      {"second size past the end", [&](Bytes &b) { put32(b, first, second + 4 + (good.size() - first - second)); }, 1,
       good.size() - first, CSSCAN_HUFFMAN, 1000, 1000, "after chunk 1"},
      {"first size 4", [](Bytes &b) { put32(b, 0, 4); }, 0, good.size(), CSSCAN_UNKNOWN, kRefused, kRefused, ""},
      {"second chunk of another variant", [&](Bytes &b) { set_variant(b, first, 5); }, 3, 0, CSSCAN_UNKNOWN, kRefused,
       kRefused, ""},
      // Read as 16-bit mono, the first table's bits are no tables for two
      // bytes: wherever that shows, the sound ends there.
      {"every chunk of that variant", [&](Bytes &b) { set_variants(b, 5); }, 3, 0, CSSCAN_HUFFMAN, 0, 1000,
       "chunk 1 (at byte 0)"},
      {"and one count not whole frames of it", [&](Bytes &b) { set_variants(b, 5), put32(b, first + 4, 999); }, 3, 0,
       CSSCAN_UNKNOWN, kRefused, kRefused, ""},
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
      {"second count doubled", [&](Bytes &b) { put32(b, first + 4, 2000); }, 3, 0, CSSCAN_HUFFMAN, 2000, 2040,
       "the codes run past its end"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = good;
    c.spoil(b);
    const Seen s = scan_both(b, false, 0);
    EXPECT_EQ(s.coding, c.coding);
    EXPECT_EQ(s.chunk_count, c.chunks);
    EXPECT_EQ(s.trailing, c.trailing);
    EXPECT_EQ(s.chunk_bytes + s.trailing, b.size());
    EXPECT_EQ(s.chunks.size(), c.chunks);

    const Delivered d = deliver(b, 11025);
    ASSERT_EQ(d.opened, c.least != kRefused) << d.refusal;
    if (!d.opened)
      continue;
    ASSERT_GE(static_cast<int64_t>(d.pcm.size()), c.least);
    EXPECT_LE(static_cast<int64_t>(d.pcm.size()), c.most);
    EXPECT_TRUE(std::equal(samples.begin(), samples.begin() + c.least, d.pcm.begin()))
        << "the samples before the damage";
    EXPECT_NE(d.damage.find(c.damage), std::string::npos) << d.damage;
    EXPECT_EQ(d.damage.empty(), std::string(c.damage).empty()) << d.damage;
  }
}

// The first chunk is a transform chunk while its blocks decode to its
// count word or up to one window more (22050 Hz stereo: windows of 2048
// values overlapping by 128, so 3840 bytes a block).
TEST(CsScanDamaged, TransformCountsWithinOneWindowOfTheBlocks) {
  const Pcm noise = white_noise(2, 12000, 20000, 3);
  CsOptions o;
  o.compression = 104;
  const Bytes good = write_stream(memory_source(pcm16_bytes(noise), 22050, 16, 2), o, fixed_count(16000)).bytes;
  const DecodedStream d = read_chunk_stream(good, {ChunkKind::transform, 22050, 16, 2});
  const uint32_t decoded = d.chunks.at(0).blocks * 3840;
  ASSERT_GT(d.chunks.at(0).blocks, 1u);
  for (const auto &[count, transform] : std::vector<std::pair<uint32_t, bool>>{
           {decoded, true}, {decoded + 1, false}, {decoded - 3840, true}, {decoded - 3841, false}}) {
    SCOPED_TRACE(count);
    Bytes b = good;
    put32(b, 4, count);
    const Seen s = scan_memory(b, false, 22050);
    EXPECT_EQ(s.coding == CSSCAN_TRANSFORM, transform);
    if (transform) {
      EXPECT_EQ(s.channels, 2u);
    }
  }
  // Later chunks are not scanned: the sound source finds a count above
  // what the second chunk's blocks decode to when it gets there, and a
  // block cut short in the last chunk, and delivers what came before.
  const uint32_t first = get32(good, 0), second = get32(good, first);
  ASSERT_GT(good.size(), first + second) << "three chunks";
  const Bytes samples = deliver(good, 22050).pcm;
  ASSERT_EQ(samples, d.pcm);
  Bytes counted = good;
  put32(counted, first + 4, d.chunks[1].blocks * 3840 + 4);
  Delivered r = deliver(counted, 22050);
  EXPECT_TRUE(r.pcm == Bytes(samples.begin(), samples.begin() + d.chunks[0].pcm_bytes + d.chunks[1].blocks * 3840));
  EXPECT_NE(r.damage.find("chunk 2 (at byte " + std::to_string(first) + "): its blocks decode to 4 bytes fewer"),
            std::string::npos)
      << r.damage;
  Bytes cut = good;
  const uint32_t third = get32(good, first + second);
  put32(cut, first + second, third - 8);
  cut.resize(cut.size() - 8);
  r = deliver(cut, 22050);
  ASSERT_GE(r.pcm.size(), d.chunks[0].pcm_bytes + d.chunks[1].pcm_bytes);
  EXPECT_TRUE(std::equal(r.pcm.begin(), r.pcm.end(), samples.begin()));
  EXPECT_NE(r.damage.find("chunk 3"), std::string::npos) << r.damage;
  EXPECT_NE(r.damage.find("runs past its end"), std::string::npos) << r.damage;
}

TEST(CsScanDamaged, FilesThatAreNotThereOrChangeAfterTheScan) {
  TempDir dir;
  EXPECT_EQ(CSFileScan(dir.file("none.vcs").c_str(), 0, 0), nullptr);
  EXPECT_STRNE(VEXLastError(), "");
  EXPECT_EQ(CSFileScanMemory(nullptr, 4, 0, 0), nullptr);
  // Larger than the scan's read window, so that the list reads the file
  // again, and then cut in half.
  const Bytes good = huffman_stream(200);
  ASSERT_GT(good.size(), 2u * 65536);
  write_file(dir.file("s.vcs"), good);
  Scan s(CSFileScan(dir.file("s.vcs").c_str(), 0, 0));
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->chunk_count, 200u);
  Source sound(SFileOpen(dir.file("s.vcs").c_str(), 11025, 0, 0, 0, 0, 0, 0, 0, nullptr));
  ASSERT_NE(sound, nullptr) << VEXLastError();
  std::filesystem::resize_file(dir.file("s.vcs"), good.size() / 2);
  // The sound source gives the chunks that are still whole, and says at the
  // first read after the cut that the file changed.
  const Bytes delivered = read_source(sound.get());
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
