// Whole movies from the testkit writer read back by the reader: pictures
// (against the writer's record and the source frames), palettes and every
// track's sound, across versions, sound kinds, ring frames, vertical modes,
// sizes, key frames, sources and both ways of storing records.
#include <gtest/gtest.h>

#include <algorithm>

#include "testkit/audio_codec/test_signals.h"
#include "testkit/formats/korvane/korvane_read.h"
#include "util/status.h"

using namespace korvane_test;

namespace {

// Records from..from+n-1 of the movie against what the writer says the
// reader must give.
void expect_matches(const kw::WrittenMovie &m, const Decoded &d, size_t from = 0) {
  ASSERT_TRUE(d.opened);
  for (size_t r = 0; r < d.pictures.size(); ++r) {
    SCOPED_TRACE("record " + std::to_string(r + from));
    EXPECT_EQ(d.refused[r], 0);
    EXPECT_TRUE(d.pictures[r] == m.pictures[r + from]) << "picture differs";
    EXPECT_TRUE(std::equal(d.palettes[r].begin(), d.palettes[r].end(), m.palettes[r + from].begin()));
    for (size_t t = 0; t < 7; ++t)
      EXPECT_TRUE(d.sound[t][r] == m.sound[t][r + from]) << "track " << t;
  }
}

enum class Content { pattern, shaped, noise, palettes };
enum class From { file, memory, inside };

// Pattern frames (their palettes changing at frame 4 and in one entry at
// frame 6 only for `palettes`), or noise (shaped: doubled and half-height
// blocks and long runs).
std::vector<vex::testkit::Frame8> frames_of(Content c, uint32_t w, uint32_t h, uint32_t n) {
  if (c == Content::pattern || c == Content::palettes) {
    auto frames = kw::pattern_frames(pattern(w, h, n));
    for (size_t i = 0; i < frames.size() && c == Content::palettes; ++i)
      frames[i].palette = frames[i < 4 ? 0 : 4].palette;
    if (c == Content::palettes)
      frames[6].palette[3 * 77] ^= 0x40;
    return frames;
  }
  return kw::noise_frames(w, h, n, c == Content::shaped);
}

// Sound 1: raw and delta tracks of every width and channel count and a
// mono transform track; sound 2: one stereo transform track at 44100 Hz.
// Transform tracks give what the library's codec makes of the same blocks.
void add_sound(kw::MoviePlan &plan, int sound, size_t n) {
  if (sound == 1) {
    plan.tracks[0] = track(kw::SoundKind::raw, false, false, walk_pcm(n, 735, 1, false, false));
    plan.tracks[1] = track(kw::SoundKind::raw, true, true, walk_pcm(n, 2940, 2, true, true));
    plan.tracks[2] = track(kw::SoundKind::delta, false, false, walk_pcm(n, 735, 3, false, false));
    plan.tracks[3] = track(kw::SoundKind::delta, true, false, walk_pcm(n, 1470, 4, true, false));
    plan.tracks[4] = track(kw::SoundKind::delta, false, true, walk_pcm(n, 1470, 5, false, true));
    plan.tracks[5] = track(kw::SoundKind::delta, true, true, walk_pcm(n, 2940, 6, false, true));
    const auto mono = vex::testkit::sine_sweep(11025, 1, 735 * n, 100, 4000, 12000);
    plan.tracks[6] = track(kw::SoundKind::transform, false, true, split_pcm(mono, 735));
    plan.tracks[6]->quality = 4;
  } else if (sound == 2) {
    const auto stereo = vex::testkit::sine_sweep(44100, 2, 2940 * n, 60, 10000, 9000);
    plan.tracks[2] = track(kw::SoundKind::transform, true, true, split_pcm(stereo, 2 * 2940), 44100);
    plan.tracks[2]->quality = 4;
  }
}

// Each row's movie read twice through: versions, block
// shapes, sizes that are not multiples of 4 in every vertical mode (which
// report twice the stored height and refuse a destination that holds only
// the stored height), records larger than the read-ahead, palettes that
// change on some frames only, the ring record (frame 0 again, then frame
// 1) or none (frame 0 again), every kind of sound track, and the movie
// from a file, from memory and behind 5000 bytes of something else (as
// inside a program file), whole and through the read-ahead window.
TEST(KorvaneRoundTrip, MoviesDecodeToTheirFramesTwiceThrough) {
  struct Row {
    Content content;
    uint32_t w, h, n, version = 4, vertical = 0;
    bool ring = false;
    From from = From::file;
    uint32_t buffer = 0;
    int sound = 0; // add_sound()
  };
  std::vector<Row> rows = {{Content::pattern, 64, 48, 26, 2}, {Content::pattern, 64, 48, 26, 4},
                           {Content::shaped, 128, 64, 6},     {Content::noise, 160, 120, 4},
                           {Content::palettes, 16, 16, 8},    {Content::pattern, 48, 32, 7, 4, 0, true},
                           {Content::pattern, 48, 32, 7}};
  for (auto [w, h] : {std::pair{32u, 16u}, {30u, 18u}, {33u, 7u}, {4u, 5u}, {3u, 2u}})
    for (uint32_t vertical : {0u, 2u, 4u})
      rows.push_back({Content::pattern, w, h, 6, 4, vertical});
  for (From from : {From::memory, From::inside})
    for (uint32_t buffer : {0u, 1u << 24})
      rows.push_back({Content::pattern, 48, 32, 8, 4, 0, true, from, buffer});
  for (int sound : {1, 2})
    for (uint32_t buffer : {0u, 1u << 24})
      rows.push_back({Content::pattern, 16, 16, 12, 4, 0, false, From::file, buffer, sound});
  vex::testkit::TempDir dir;
  for (const auto &c : rows) {
    SCOPED_TRACE(testing::Message() << int(c.content) << " " << c.w << "x" << c.h << " version " << c.version
                                    << " vertical " << c.vertical << " ring " << c.ring << " from " << int(c.from)
                                    << " buffer " << c.buffer << " sound " << c.sound);
    const auto frames = frames_of(c.content, c.w, c.h, c.n);
    ASSERT_EQ(frames.size(), c.n);
    kw::MoviePlan plan;
    plan.version = c.version;
    plan.vertical = c.vertical;
    plan.ring = c.ring;
    if (c.content == Content::noise)
      plan.tracks[0] = track(kw::SoundKind::raw, false, false, walk_pcm(4, 20000, 4, false, false));
    if (c.w == 48)
      plan.tracks[3] = track(kw::SoundKind::delta, true, true, walk_pcm(c.n, 3000, 7, true, true));
    add_sound(plan, c.sound, c.n);
    const auto m = kw::write_korvane(frames, plan, dir.file("v.kvn"));
    ASSERT_TRUE(m.ok) << m.error;
    // The movie 5000 bytes into a bigger file, 777 bytes before its end.
    Bytes file(5000 + m.file.size() + 777, 0x11);
    std::fill_n(file.begin(), 5000, uint8_t{0x5A});
    std::copy(m.file.begin(), m.file.end(), file.begin() + 5000);
    vex::testkit::write_file(dir.file("h.bin"), file);
    const vex::file::ByteSource whole = vex::testkit::source_of(dir.file("h.bin"));
    vex::file::ByteSource source;
    if (c.from == From::memory)
      source.open(m.file);
    else
      source = vex::testkit::source_of(dir.file("v.kvn"));
    KORVA *k = KorvaOpen(c.from == From::inside ? whole.slice(5000) : std::move(source), c.buffer);
    ASSERT_NE(k, nullptr) << vex::util::last_reason();
    EXPECT_EQ(std::vector<uint32_t>({k->width, k->height, k->frames}),
              std::vector<uint32_t>({c.w, c.vertical ? 2 * c.h : c.h, c.n}));
    // Twice through: the wrap to frame 0 starts the sound over too (a
    // transform track's decoder once carried its state across it).
    const Decoded d = read_records(k, 2 * c.n);
    EXPECT_EQ(k->frame, c.n - 1);
    for (size_t r = 0; r < d.pictures.size(); ++r) {
      const size_t want = c.ring ? (r <= c.n ? r : r - c.n) : r % c.n;
      EXPECT_EQ(d.refused[r], 0) << r;
      EXPECT_TRUE(d.pictures[r] == m.pictures[want]) << r;
      EXPECT_TRUE(std::equal(d.palettes[r].begin(), d.palettes[r].end(), m.palettes[want].begin())) << r;
      EXPECT_EQ(d.palette_changed[r], m.palette_chunk[want]) << r;
      for (size_t t = 0; t < 7; ++t)
        EXPECT_TRUE(d.sound[t][r] == m.sound[t][want]) << "record " << r << " track " << t;
    }
    if (c.ring) {
      EXPECT_TRUE(d.pictures[c.n] == d.pictures[0]);
    }
    // Only whole 4x4 blocks are coded: the coded pixels are the frame's, the
    // last columns and rows of other sizes stay as the buffer had them
    // (zero); with a vertical mode the frame's rows land on the even rows.
    for (size_t i = 0; i < frames.size(); ++i) {
      const auto &f = frames[i];
      size_t wrong = 0;
      for (uint32_t y = 0; y < f.height; ++y)
        for (uint32_t x = 0; x < f.width; ++x) {
          const bool coded = x < f.width / 4 * 4 && y < f.height / 4 * 4;
          wrong += d.pictures[i][size_t{c.vertical ? 2 * y : y} * f.width + x] !=
                   (coded ? f.pixels[size_t{y} * f.width + x] : 0);
        }
      EXPECT_EQ(wrong, 0u) << "frame " << i;
    }
    std::vector<uint8_t> small(size_t{c.w} * c.h);
    KorvaGoto(k, 1);
    if (c.sound == 2) { // mask bits of several tracks: the lowest track wins; no chunk gives 0
      EXPECT_EQ(KorvaGetSound(k, small.data(), kv::kTrackBit << 0), 0);
      EXPECT_EQ(KorvaGetSound(k, small.data(), 0), 0);
      std::vector<uint8_t> out(k->header[kv::kHdrSoundSize + 2]);
      EXPECT_EQ(KorvaGetSound(k, out.data(), (kv::kTrackBit << 2) | (kv::kTrackBit << 5)),
                static_cast<int32_t>(m.sound[2][0].size()));
    }
    EXPECT_EQ(KorvaToBuffer(k, 0, 0, c.w, c.h, small.data(), 0), c.vertical ? 0u : 1u);
    EXPECT_EQ(KorvaDoFrame(k), c.vertical ? 1u : 0u);
    KorvaClose(k);
    // The caller's source is untouched, and a slice not at a movie is refused.
    uint8_t first = 0;
    EXPECT_TRUE(whole.read_exact(0, &first, 1));
    EXPECT_EQ(first, 0x5A);
    EXPECT_EQ(KorvaOpen(whole, 0), nullptr);
  }
}

TEST(KorvanePlayback, SeekingToAnyFrameReadingOnAndDestinations) {
  const uint32_t n = 20;
  vex::testkit::TempDir dir;
  kw::MoviePlan plan;
  plan.key_interval = 5;
  plan.tracks[3] = track(kw::SoundKind::delta, true, true, walk_pcm(n, 3000, 7, true, true));
  const auto m = kw::write_korvane(kw::pattern_frames(pattern(48, 32, n)), plan, dir.file("p.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  for (uint32_t size : {0u, 1u << 24}) {
    KORVA *k = KorvaOpen(vex::testkit::source_of(dir.file("p.kvn")), size);
    ASSERT_NE(k, nullptr);
    std::vector<uint8_t> out(k->header[kv::kHdrSoundSize + 3]);
    // Every frame, in a scrambled order: its own sound comes back.
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t f = (i * 7) % n;
      ASSERT_EQ(KorvaGoto(k, f + 1), 1u);
      EXPECT_EQ(k->frame, f);
      const int32_t got = KorvaGetSound(k, out.data(), kv::kTrackBit << 3);
      EXPECT_EQ(Bytes(out.begin(), out.begin() + std::max(got, 0)), m.sound[3][f]) << f;
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
  // The destination at an offset in a larger buffer; the rest is untouched.
  KORVA *k = KorvaOpen(vex::testkit::source_of(dir.file("p.kvn")), 0);
  ASSERT_NE(k, nullptr);
  std::vector<uint8_t> big(60 * 50, 0xEE);
  EXPECT_EQ(KorvaToBuffer(k, 11, 9, 60, 50, big.data(), 0), 1U);
  EXPECT_EQ(KorvaToBuffer(k, 13, 9, 60, 50, big.data(), 0), 0U);  // would pass the row
  EXPECT_EQ(KorvaToBuffer(k, 11, 19, 60, 50, big.data(), 0), 0U); // would pass the bottom
  EXPECT_EQ(KorvaToBuffer(k, 0, 0, 60, 50, big.data(), 1), 0U);   // flags other than 0
  ASSERT_EQ(KorvaToBuffer(k, 11, 9, 60, 50, big.data(), 0), 1U);
  EXPECT_EQ(KorvaDoFrame(k), 0u);
  for (uint32_t y = 0; y < 50; ++y)
    for (uint32_t x = 0; x < 60; ++x) {
      const bool inside = x >= 11 && x < 59 && y >= 9 && y < 41;
      ASSERT_EQ(big[y * 60 + x], inside ? m.pictures[0][(y - 9) * 48 + (x - 11)] : 0xEE) << x << "," << y;
    }
  EXPECT_EQ(KorvaToBuffer(k, 0, 0, 0, 0, nullptr, 0), 1u); // released
  EXPECT_EQ(KorvaDoFrame(k), 1u);
  KorvaClose(k);
}

} // namespace
