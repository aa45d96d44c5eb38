// Whole movies from the testkit writer read back by the reader: pictures,
// palettes and every track's sound, across versions, sound kinds, ring
// frames, vertical modes, key frames and both ways of storing records.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>

#include "file/byte_source.h"
#include "testkit/util/source_of.h"
#include "formats/korvane/korvane_reader.h"
#include "testkit/audio_codec/codec_driver.h"
#include "testkit/audio_codec/test_signals.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/util/temp_dir.h"
#include "tests/formats/korvane/korvane_test_util.h"
#include "util/status.h"

namespace kv = vex::formats::korvane;

namespace kw = vex::testkit::korvane;
using namespace korvane_test;
using vex::testkit::PatternAnimation;
using vex::testkit::PatternOptions;

namespace {

PatternAnimation pattern(uint32_t w, uint32_t h, uint32_t frames) {
  PatternOptions o;
  o.width = w;
  o.height = h;
  o.frames = frames;
  o.cycle = o.noise = o.stills = o.solid = true;
  return PatternAnimation(o);
}

// PCM per frame: `bytes` each (some frames empty when gaps is set).
std::vector<kw::Bytes> pcm_frames(size_t frames, size_t bytes, uint32_t seed, bool gaps, bool sixteen) {
  std::vector<kw::Bytes> out(frames);
  uint32_t x = seed, level = 128 << 8;
  for (size_t f = 0; f < frames; ++f) {
    if (gaps && f % 3 == 1)
      continue;
    for (size_t i = 0; i < bytes; i += sixteen ? 2 : 1) {
      x = x * 1664525 + 1013904223;
      level += (x >> 24) - 128; // a random walk keeps the deltas small
      if (sixteen) {
        out[f].push_back(static_cast<uint8_t>(level));
        out[f].push_back(static_cast<uint8_t>(level >> 8));
      } else {
        out[f].push_back(static_cast<uint8_t>(level >> 8));
      }
    }
  }
  return out;
}

kw::TrackPlan track(kw::SoundKind kind, bool stereo, bool sixteen, std::vector<kw::Bytes> frames) {
  kw::TrackPlan t;
  t.kind = kind;
  t.rate = 11025;
  t.stereo = stereo;
  t.sixteen = sixteen;
  t.frames = std::move(frames);
  return t;
}

void expect_matches(const kw::WrittenMovie &m, const Decoded &d, size_t from = 0) {
  ASSERT_TRUE(d.opened);
  for (size_t r = 0; r < d.pictures.size(); ++r) {
    SCOPED_TRACE("record " + std::to_string(r + from));
    EXPECT_EQ(d.refused[r], 0);
    EXPECT_TRUE(d.pictures[r] == m.pictures[r + from]) << "picture differs";
    EXPECT_TRUE(std::equal(d.palettes[r].begin(), d.palettes[r].end(), m.palettes[r + from].begin()))
        << "palette differs";
    for (size_t t = 0; t < 7; ++t)
      EXPECT_TRUE(d.sound[t][r] == m.sound[t][r + from]) << "track " << t;
  }
}

class KorvaneRoundTrip : public ::testing::Test {
protected:
  vex::testkit::TempDir dir;
  std::string path(const char *name) { return dir.file(name); }
};

TEST_F(KorvaneRoundTrip, PatternMoviesOfBothVersionsDecodeExactly) {
  const auto frames = kw::pattern_frames(pattern(64, 48, 26));
  for (uint32_t version : {2u, 4u}) {
    SCOPED_TRACE(version);
    kw::MoviePlan plan;
    plan.version = version;
    const auto m = kw::write_korvane(frames, plan, path("p.kvn"));
    ASSERT_TRUE(m.ok) << m.error;
    // The movie uses every kind of block, run and palette operation.
    EXPECT_GT(m.blocks.mono, 0u);
    EXPECT_GT(m.blocks.voids, 0u);
    EXPECT_GT(m.blocks.solid, 0u);
    EXPECT_GT(m.blocks.full, 0u);
    EXPECT_GT(m.palette_ops.copies, 0u);
    EXPECT_GT(m.palette_ops.keeps, 0u);
    if (version == 2) {
      EXPECT_EQ(m.blocks.doubled + m.blocks.half, 0u);
    }
    const Decoded d = read_movie(path("p.kvn"), frames.size());
    EXPECT_EQ(d.width, 64u);
    EXPECT_EQ(d.height, 48u);
    EXPECT_EQ(d.frames, 26u);
    expect_matches(m, d);
    // The reader's pictures are the frames themselves: the coding is exact.
    for (size_t i = 0; i < frames.size(); ++i)
      EXPECT_TRUE(d.pictures[i] == frames[i].pixels) << i;
  }
}

TEST_F(KorvaneRoundTrip, ShapedBlocksAndLongRunsOfVersion4) {
  // Pixels doubled across and rows doubled: every block that is not flat
  // is a doubled or half-height full block; a flat picture gives long runs.
  PatternOptions o;
  o.width = 128;
  o.height = 64;
  o.frames = 6;
  o.noise_full = true;
  const PatternAnimation noise(o);
  std::vector<vex::testkit::Frame8> frames;
  for (uint32_t i = 0; i < o.frames; ++i) {
    auto f = noise.frame(i);
    for (uint32_t y = 0; y < f.height; ++y)
      for (uint32_t x = 0; x < f.width; ++x) {
        const uint32_t sx = (i % 2) ? x & ~1u : x; // odd frames doubled across
        f.pixels[y * f.width + x] = noise.frame(i).pixels[(y & ~1u) * f.width + sx];
      }
    if (i == 3)
      std::fill(f.pixels.begin(), f.pixels.end(), 9);
    frames.push_back(f);
  }
  kw::MoviePlan plan;
  const auto m = kw::write_korvane(frames, plan, path("s.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  EXPECT_GT(m.blocks.doubled, 0u);
  EXPECT_GT(m.blocks.half, 0u);
  EXPECT_GT(m.blocks.long_runs, 0u);
  expect_matches(m, read_movie(path("s.kvn"), frames.size()));
}

TEST_F(KorvaneRoundTrip, AllSevenTracksOfEveryKind) {
  const size_t n = 12;
  const auto frames = kw::pattern_frames(pattern(32, 32, n));
  kw::MoviePlan plan;
  plan.tracks[0] = track(kw::SoundKind::raw, false, false, pcm_frames(n, 735, 1, false, false));
  plan.tracks[1] = track(kw::SoundKind::raw, true, true, pcm_frames(n, 2940, 2, true, true));
  plan.tracks[2] = track(kw::SoundKind::delta, false, false, pcm_frames(n, 735, 3, false, false));
  plan.tracks[3] = track(kw::SoundKind::delta, true, false, pcm_frames(n, 1470, 4, true, false));
  plan.tracks[4] = track(kw::SoundKind::delta, false, true, pcm_frames(n, 1470, 5, false, true));
  plan.tracks[5] = track(kw::SoundKind::delta, true, true, pcm_frames(n, 2940, 6, false, true));
  // A sweep split into frames of 1470 bytes (735 samples).
  const auto sweep = vex::testkit::sine_sweep(11025, 1, 735 * n, 100, 4000, 12000);
  std::vector<kw::Bytes> tf(n);
  for (size_t f = 0; f < n; ++f)
    for (size_t i = 0; i < 735; ++i) {
      tf[f].push_back(static_cast<uint8_t>(sweep[f * 735 + i]));
      tf[f].push_back(static_cast<uint8_t>(sweep[f * 735 + i] >> 8));
    }
  plan.tracks[6] = track(kw::SoundKind::transform, false, true, tf);
  plan.tracks[6]->quality = 4;
  const auto m = kw::write_korvane(frames, plan, path("t.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  // In memory and through the read-ahead window.
  for (uint32_t size : {0u, 1u << 24}) {
    SCOPED_TRACE(size);
    const Decoded d = read_movie(path("t.kvn"), n, size);
    expect_matches(m, d);
    // Raw and delta tracks give back exactly what went in.
    for (size_t t = 0; t < 6; ++t)
      for (size_t f = 0; f < n; ++f)
        EXPECT_TRUE(d.sound[t][f] == plan.tracks[t]->frames[f]) << t << " " << f;
    // The transform track: the library's decoder over the same blocks
    // gives the same sound, and that sound keeps the codec's own bound.
    std::vector<int16_t> got;
    for (const auto &s : d.sound[6])
      for (size_t i = 0; i + 1 < s.size(); i += 2)
        got.push_back(static_cast<int16_t>(s[i] | s[i + 1] << 8));
    ASSERT_GE(got.size(), sweep.size());
    const auto s = vex::testkit::encode_stream(sweep, 11025, 1, 4);
    const auto ref = vex::testkit::decode_stream(s, 11025, 1);
    got.resize(sweep.size());
    EXPECT_TRUE(got == ref);
    double sig = 0, err = 0;
    for (size_t i = 0; i < sweep.size(); ++i) {
      sig += double(sweep[i]) * sweep[i];
      err += double(sweep[i] - got[i]) * (sweep[i] - got[i]);
    }
    EXPECT_GT(10 * std::log10(sig / err), 8.0);
  }
}

TEST_F(KorvaneRoundTrip, StereoTransformTrackAtFortyFourKilohertz) {
  const size_t n = 5;
  const auto frames = kw::pattern_frames(pattern(16, 16, n));
  const uint32_t per = 44100 / 15; // sample frames per movie frame
  const auto sweep = vex::testkit::sine_sweep(44100, 2, per * n, 60, 10000, 9000);
  std::vector<kw::Bytes> tf(n);
  for (size_t f = 0; f < n; ++f)
    for (size_t i = 0; i < 2 * per; ++i) {
      const int16_t v = sweep[f * 2 * per + i];
      tf[f].push_back(static_cast<uint8_t>(v));
      tf[f].push_back(static_cast<uint8_t>(v >> 8));
    }
  kw::MoviePlan plan;
  plan.tracks[2] = track(kw::SoundKind::transform, true, true, tf);
  plan.tracks[2]->rate = 44100;
  plan.tracks[2]->quality = 4;
  const auto m = kw::write_korvane(frames, plan, path("st.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  expect_matches(m, read_movie(path("st.kvn"), n));
  // Mask bits of several tracks: the lowest track wins; no chunk gives 0.
  KORVA *k = KorvaOpen(vex::testkit::source_of(path("st.kvn").c_str()), 0);
  ASSERT_NE(k, nullptr);
  std::vector<uint8_t> out(k->header[kv::kHdrSoundSize + 2]);
  EXPECT_EQ(KorvaGetSound(k, out.data(), kv::kTrackBit << 0), 0);
  EXPECT_EQ(KorvaGetSound(k, out.data(), 0), 0);
  EXPECT_EQ(static_cast<size_t>(KorvaGetSound(k, out.data(), (kv::kTrackBit << 2) | (kv::kTrackBit << 5))),
            m.sound[2][0].size());
  KorvaClose(k);
}

TEST_F(KorvaneRoundTrip, RingFrameLeadsBackToTheSecondFrame) {
  const auto frames = kw::pattern_frames(pattern(32, 24, 7));
  kw::MoviePlan plan;
  plan.ring = true;
  const auto m = kw::write_korvane(frames, plan, path("r.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  KORVA *k = KorvaOpen(vex::testkit::source_of(path("r.kvn").c_str()), 0);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->frames, 7u);
  // Two laps: 0..6, ring (7), then 1..6 again.
  const Decoded d = read_records(k, 8 + 6);
  EXPECT_EQ(k->frame, 6u);
  KorvaClose(k);
  ASSERT_EQ(m.pictures.size(), 8u);
  for (size_t r = 0; r < d.pictures.size(); ++r) {
    const size_t want = r < 8 ? r : r - 7;
    EXPECT_EQ(d.refused[r], 0) << r;
    EXPECT_TRUE(d.pictures[r] == m.pictures[want]) << r;
    EXPECT_TRUE(std::equal(d.palettes[r].begin(), d.palettes[r].end(), m.palettes[want].begin())) << r;
  }
  // The ring record shows the first frame again.
  EXPECT_TRUE(d.pictures[7] == frames[0].pixels);
}

TEST_F(KorvaneRoundTrip, WithoutRingTheMovieLoopsToFrameZero) {
  const auto frames = kw::pattern_frames(pattern(32, 24, 5));
  kw::MoviePlan plan;
  plan.tracks[0] = track(kw::SoundKind::raw, false, false, pcm_frames(5, 100, 9, false, false));
  const auto m = kw::write_korvane(frames, plan, path("l.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  KORVA *k = KorvaOpen(vex::testkit::source_of(path("l.kvn").c_str()), 0);
  ASSERT_NE(k, nullptr);
  const Decoded d = read_records(k, 10);
  KorvaClose(k);
  for (size_t r = 0; r < 10; ++r) {
    EXPECT_TRUE(d.pictures[r] == m.pictures[r % 5]) << r;
    EXPECT_TRUE(d.sound[0][r] == m.sound[0][r % 5]) << r;
  }
}

TEST_F(KorvaneRoundTrip, SeekingToAnyFrameAndReadingOn) {
  const size_t n = 20;
  const auto frames = kw::pattern_frames(pattern(48, 32, n));
  kw::MoviePlan plan;
  plan.key_interval = 5;
  plan.tracks[3] = track(kw::SoundKind::delta, true, true, pcm_frames(n, 400, 7, false, true));
  const auto m = kw::write_korvane(frames, plan, path("k.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  for (uint32_t size : {0u, 1u << 24}) {
    KORVA *k = KorvaOpen(vex::testkit::source_of(path("k.kvn").c_str()), size);
    ASSERT_NE(k, nullptr);
    std::vector<uint8_t> out(k->header[kv::kHdrSoundSize + 3]);
    // Every frame, in a scrambled order: its own sound comes back.
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t f = (i * 7) % n;
      ASSERT_EQ(KorvaGoto(k, f + 1), 1u);
      EXPECT_EQ(k->frame, f);
      const int32_t got = KorvaGetSound(k, out.data(), kv::kTrackBit << 3);
      ASSERT_EQ(static_cast<size_t>(got), m.sound[3][f].size());
      EXPECT_TRUE(std::equal(out.begin(), out.begin() + got, m.sound[3][f].begin())) << f;
    }
    // From a key frame on, pictures and palettes are exact whatever came before.
    for (uint32_t key : {15u, 5u, 10u}) {
      ASSERT_EQ(KorvaGoto(k, key + 1), 1u);
      expect_matches(m, read_records(k, 5), key);
    }
    // Frame 0 and frame 1 both mean the first frame; past the end is refused.
    EXPECT_EQ(KorvaGoto(k, 0), 1u);
    EXPECT_EQ(k->frame, 0u);
    EXPECT_EQ(KorvaGoto(k, n + 1), 0u);
    KorvaClose(k);
  }
}

TEST_F(KorvaneRoundTrip, PaletteChangesOnSomeFramesOnly) {
  auto frames = kw::pattern_frames(pattern(16, 16, 8));
  for (size_t i = 0; i < frames.size(); ++i)
    frames[i].palette = frames[i < 4 ? 0 : 4].palette; // changes at frame 4 only
  frames[6].palette[3 * 77] ^= 0x40;                   // and one entry at frame 6
  const auto m = kw::write_korvane(frames, {}, path("c.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  EXPECT_EQ(m.palette_chunk, (std::vector<bool>{true, false, false, false, true, false, true, true}));
  KORVA *k = KorvaOpen(vex::testkit::source_of(path("c.kvn").c_str()), 0);
  ASSERT_NE(k, nullptr);
  for (size_t r = 0; r < frames.size(); ++r) {
    if (r)
      KorvaNextFrame(k);
    EXPECT_EQ(k->palette_changed != 0, m.palette_chunk[r]) << r;
    EXPECT_TRUE(std::equal(k->palette, k->palette + 768, m.palettes[r].begin())) << r;
  }
  KorvaClose(k);
}

TEST_F(KorvaneRoundTrip, VerticalModesReportTwiceTheStoredHeight) {
  const auto frames = kw::pattern_frames(pattern(32, 16, 4));
  for (uint32_t mode : {2u, 4u}) {
    SCOPED_TRACE(mode);
    kw::MoviePlan plan;
    plan.vertical = mode;
    const auto m = kw::write_korvane(frames, plan, path("v.kvn"));
    ASSERT_TRUE(m.ok) << m.error;
    const Decoded d = read_movie(path("v.kvn"), 4);
    EXPECT_EQ(d.height, 32u);
    expect_matches(m, d);
    // A destination that holds only the stored height is refused.
    KORVA *k = KorvaOpen(vex::testkit::source_of(path("v.kvn").c_str()), 0);
    std::vector<uint8_t> small(32 * 16);
    EXPECT_EQ(KorvaToBuffer(k, 0, 0, 32, 16, small.data(), 0), 0u);
    EXPECT_EQ(KorvaDoFrame(k), 1u);
    KorvaClose(k);
  }
}

TEST_F(KorvaneRoundTrip, DestinationAtAnOffsetInALargerBuffer) {
  const auto frames = kw::pattern_frames(pattern(16, 8, 3));
  const auto m = kw::write_korvane(frames, {}, path("o.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  KORVA *k = KorvaOpen(vex::testkit::source_of(path("o.kvn").c_str()), 0);
  ASSERT_NE(k, nullptr);
  std::vector<uint8_t> big(40 * 20, 0xEE);
  EXPECT_EQ(KorvaToBuffer(k, 21, 9, 40, 20, big.data(), 0), 1U);
  EXPECT_EQ(KorvaToBuffer(k, 25, 9, 40, 20, big.data(), 0), 0U);  // would pass the row
  EXPECT_EQ(KorvaToBuffer(k, 21, 13, 40, 20, big.data(), 0), 0U); // would pass the bottom
  EXPECT_EQ(KorvaToBuffer(k, 0, 0, 40, 20, big.data(), 1), 0U);   // flags other than 0
  ASSERT_EQ(KorvaToBuffer(k, 21, 9, 40, 20, big.data(), 0), 1U);
  EXPECT_EQ(KorvaDoFrame(k), 0u);
  for (uint32_t y = 0; y < 20; ++y)
    for (uint32_t x = 0; x < 40; ++x) {
      const bool inside = x >= 21 && x < 37 && y >= 9 && y < 17;
      const uint8_t want = inside ? m.pictures[0][(y - 9) * 16 + (x - 21)] : 0xEE;
      ASSERT_EQ(big[y * 40 + x], want) << x << "," << y;
    }
  EXPECT_EQ(KorvaToBuffer(k, 0, 0, 0, 0, nullptr, 0), 1u); // released
  EXPECT_EQ(KorvaDoFrame(k), 1u);
  KorvaClose(k);
}

TEST_F(KorvaneRoundTrip, OpenByHandleAtAnOffsetLeavesTheHandleAlone) {
  const auto frames = kw::pattern_frames(pattern(32, 32, 10));
  kw::MoviePlan plan;
  plan.tracks[1] = track(kw::SoundKind::raw, false, false, pcm_frames(10, 3000, 3, false, false));
  const auto m = kw::write_korvane(frames, plan, path("h.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  // The movie behind 5000 bytes of something else, as inside a program file.
  Bytes file(5000 + m.file.size() + 777, 0x11);
  std::fill(file.begin(), file.begin() + 5000, 0x5A);
  std::copy(m.file.begin(), m.file.end(), file.begin() + 5000);
  save(path("h.bin"), file);
  const vex::file::ByteSource whole = vex::testkit::source_of(path("h.bin"));
  for (uint32_t size : {0u, 1u << 24}) {
    KORVA *k = KorvaOpen(whole.slice(5000), size);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->reader->storage.preloaded(), size != 0);
    expect_matches(m, read_records(k, 10));
    KorvaClose(k);
  }
  // The caller's source is untouched, and a slice not at a movie is refused.
  uint8_t first = 0;
  EXPECT_TRUE(whole.read_exact(0, &first, 1));
  EXPECT_EQ(first, 0x5A);
  EXPECT_EQ(KorvaOpen(whole, 0), nullptr);
}

// The same movie from memory, whole and through the read-ahead window's
// sizes, gives back what the writer coded, as the file does.
TEST_F(KorvaneRoundTrip, FromMemoryAsFromTheFile) {
  const auto frames = kw::pattern_frames(pattern(48, 32, 8));
  kw::MoviePlan plan;
  plan.ring = true;
  plan.tracks[0] = track(kw::SoundKind::delta, true, true, pcm_frames(8, 2000, 7, true, true));
  const auto m = kw::write_korvane(frames, plan, path("mem.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  for (uint32_t size : {0u, 1u << 24}) {
    vex::file::ByteSource source;
    source.open(m.file);
    KORVA *k = KorvaOpen(std::move(source), size);
    ASSERT_NE(k, nullptr) << vex::util::last_reason();
    EXPECT_TRUE(k->reader->storage.preloaded() || k->reader->storage.window_size() == 0)
        << "a memory source needs no buffer of its own";
    expect_matches(m, read_records(k, 9));
    KorvaClose(k);
  }
}

TEST_F(KorvaneRoundTrip, RecordsLargerThanTheReadAhead) {
  PatternOptions o;
  o.width = 160;
  o.height = 120;
  o.frames = 4;
  o.noise_full = true;
  const auto frames = kw::pattern_frames(PatternAnimation(o));
  kw::MoviePlan plan;
  plan.tracks[0] = track(kw::SoundKind::raw, false, false, pcm_frames(4, 20000, 4, false, false));
  const auto m = kw::write_korvane(frames, plan, path("big.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  KORVA *k = KorvaOpen(vex::testkit::source_of(path("big.kvn").c_str()), 0);
  ASSERT_NE(k, nullptr);
  EXPECT_FALSE(k->reader->storage.preloaded());
  EXPECT_GT(k->reader->largest, k->reader->storage.window_size()); // read straight into the record buffer
  expect_matches(m, read_records(k, 4));
  KorvaClose(k);
}

TEST_F(KorvaneRoundTrip, AnyFlicBecomesAMovie) {
  const auto anim = pattern(40, 24, 9);
  ASSERT_GT(vex::testkit::write_flc(anim, -6667, path("a.flc")), 0u);
  const auto frames = kw::frames_from_flic(path("a.flc"));
  ASSERT_EQ(frames.size(), 9u);
  const auto m = kw::write_korvane(frames, {}, path("a.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  const Decoded d = read_movie(path("a.kvn"), 9);
  expect_matches(m, d);
  for (size_t i = 0; i < 9; ++i)
    EXPECT_TRUE(d.pictures[i] == anim.frame(static_cast<uint32_t>(i)).pixels) << i;
}

// Only whole blocks are coded: the last columns and rows of other sizes
// stay as the buffer had them (zero here), in every vertical mode.
TEST_F(KorvaneRoundTrip, SizesThatAreNotMultiplesOfFour) {
  struct Size {
    uint32_t w, h;
  };
  for (const Size s : {Size{30, 18}, Size{33, 7}, Size{4, 5}, Size{3, 2}}) {
    const auto frames = kw::pattern_frames(pattern(s.w, s.h, 6));
    for (uint32_t vertical : {0u, 2u, 4u}) {
      SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " vertical " << vertical);
      kw::MoviePlan plan;
      plan.vertical = vertical;
      const auto m = kw::write_korvane(frames, plan, path("odd.kvn"));
      ASSERT_TRUE(m.ok) << m.error;
      const Decoded d = read_movie(path("odd.kvn"), frames.size());
      EXPECT_EQ(d.width, s.w);
      EXPECT_EQ(d.height, vertical ? 2 * s.h : s.h);
      expect_matches(m, d);
      // Hand check of the first frame: coded pixels equal the frame, the
      // rest is zero.
      const uint32_t cw = s.w / 4 * 4, ch = s.h / 4 * 4;
      size_t wrong = 0;
      for (uint32_t y = 0; y < s.h; ++y)
        for (uint32_t x = 0; x < s.w; ++x) {
          const uint8_t want = x < cw && y < ch ? frames[0].pixels[size_t{y} * s.w + x] : 0;
          wrong += d.pictures[0][size_t{vertical ? 2 * y : y} * s.w + x] != want;
        }
      EXPECT_EQ(wrong, 0u);
    }
  }
  std::vector<vex::testkit::Frame8> none(1);
  none[0].height = 16; // width 0
  EXPECT_FALSE(kw::write_korvane(none, {}, path("w.kvn")).ok);
}

} // namespace
