// Damaged movies where the public sources cannot show it: the status of
// each refusal and the reader's own words where the graphics source
// answers first, sound chunks that claim more than they hold, decoded
// sizes that end inside a sample frame, and every truncation and flipped
// byte (the sanitizer build checks that nothing outside a buffer is
// touched). The reasons a user reads are rows of
// tests/gfile/bad_inputs/korvane_rows.cpp.
#include <gtest/gtest.h>

#include "testkit/audio_codec/test_signals.h"
#include "testkit/formats/korvane/korvane_read.h"
#include "util/status.h"
#include "vexutil/util.h"

using namespace korvane_test;
using vex::testkit::le32_at;
using vex::testkit::set_le32;
using vex::util::Status;

namespace {

// Six frames with a raw, a delta and a transform track.
kw::WrittenMovie three_track_movie(const std::string &path) {
  kw::MoviePlan plan;
  plan.tracks[0] = track(kw::SoundKind::raw, false, false, std::vector<Bytes>(6, Bytes(300, 0x80)));
  plan.tracks[1] = track(kw::SoundKind::delta, false, false, std::vector<Bytes>(6, Bytes(300, 0x80)));
  plan.tracks[2] = track(kw::SoundKind::transform, false, true,
                         split_pcm(vex::testkit::sine_sweep(8000, 1, 6 * 533, 100, 3000, 8000), 533), 8000);
  return kw::write_korvane(kw::pattern_frames(pattern(32, 16, 6, false)), plan, path);
}

TEST(KorvaneBadInput, StatusOfEachRefusal) {
  vex::testkit::TempDir dir;
  const auto movie = three_track_movie(dir.file("good.kvn"));
  ASSERT_TRUE(movie.ok) << movie.error;
  const auto with = [&](std::initializer_list<std::pair<size_t, uint32_t>> words) {
    Bytes b = movie.file;
    for (auto [word, value] : words)
      set_le32(b, 4 * word, value);
    return b;
  };
  const uint32_t trees = le32_at(movie.file, 4 * kv::kHdrTreeBytes), last = le32_at(movie.file, 4 * (26 + 5));
  const struct {
    Bytes bytes;
    Status status;
    const char *reason; // null: a row of the shared table says it
  } rows[] = {{with({{0, 0x334E564B}}), Status::kNotThisFormat, "Wasn't a Korvane file"}, // KVN3
              {{}, Status::kNotThisFormat, "the file is empty"},
              {with({{1, 0}}), Status::kDamaged, nullptr},
              {with({{1, 32768}}), Status::kTooLarge, nullptr},
              {with({{1, 32767}, {2, 2049}}), Status::kTooLarge, nullptr}, // past 2^26 pixels
              {with({{3, 0}}), Status::kDamaged, nullptr},
              {with({{5, 6}}), Status::kUnsupported, nullptr},
              {with({{6, 0x7FFFFFFF}}), Status::kTooLarge, nullptr},
              {with({{3, 0x40000000}}), Status::kDamaged, nullptr},
              {with({{3, 7}}), Status::kDamaged, nullptr},   // one record more than the file holds
              {with({{13, 0xFFFFFFF0}}), Status::kDamaged, nullptr},
              {with({{13, 1}}), Status::kDamaged, nullptr}, // the tree block cut short
              {with({{13, trees / 2}}), Status::kDamaged, nullptr},
              {with({{13, trees - 1}}), Status::kDamaged, nullptr},
              {with({{26, 0xFFFFFFFC}}), Status::kDamaged, nullptr}, // record sizes past the end
              {with({{26 + 5, last + 4}}), Status::kDamaged, nullptr},
              {Bytes(movie.file.begin(), movie.file.begin() + 103), Status::kDamaged, nullptr},
              // Sizes that are not multiples of 4, or wider than the coded
              // frames but inside the limits: they open and read safely.
              {with({{1, 30}}), Status::kOk, ""},
              {with({{2, 18}}), Status::kOk, ""},
              {with({{1, 3}}), Status::kOk, ""},
              {with({{1, 32767}, {2, 16}}), Status::kOk, ""}};
  for (size_t i = 0; i < std::size(rows); ++i) {
    vex::file::ByteSource source;
    source.open(rows[i].bytes);
    KORVA *k = KorvaOpen(std::move(source), 0);
    EXPECT_EQ(k != nullptr, rows[i].status == Status::kOk) << "row " << i;
    EXPECT_EQ(vex::util::last_status(), rows[i].status) << "row " << i;
    if (rows[i].reason) {
      EXPECT_STREQ(VEXLastError(), rows[i].reason) << "row " << i;
    }
    if (k)
      read_records(k, 7);
    KorvaClose(k);
  }
  EXPECT_EQ(KorvaOpen(vex::testkit::source_of(dir.file("none.kvn")), 0), nullptr);
  EXPECT_EQ(vex::util::last_status(), Status::kNoFile);
  KORVA *k = KorvaOpen(vex::testkit::source_of(dir.file("good.kvn")), 0);
  EXPECT_NE(k, nullptr) << VEXLastError();
  EXPECT_STREQ(VEXLastError(), ""); // an open forgets the reason before it
  KorvaClose(k);
}

TEST(KorvaneBadInput, SoundChunksThatClaimMoreThanTheyHold) {
  vex::testkit::TempDir dir;
  const auto movie = three_track_movie(dir.file("good.kvn"));
  ASSERT_TRUE(movie.ok) << movie.error;
  const size_t raw = kw::first_chunk_at(movie.file, 0), delta = kw::first_chunk_at(movie.file, 1);
  const size_t transform = kw::first_chunk_at(movie.file, 2);
  ASSERT_EQ(le32_at(movie.file, raw), 304u);
  ASSERT_EQ(le32_at(movie.file, delta + 4), 300u);
  ASSERT_GT(le32_at(movie.file, transform), 40u);
  const struct {
    const char *name;
    size_t at;
    uint32_t value;
    uint32_t track;
    int refused; // -1: either way
  } cases[] = {
      {"raw chunk longer than the record", raw, 0x7FFFFFF0, 0, 1},
      {"raw chunk shorter than its length word", raw, 2, 0, 1},
      // The video then starts early: the frame may decode or be refused.
      {"delta chunk keeps 4 bytes of coded data", delta, 12, 1, -1},
      {"transform blocks run out before the decoded size", transform, 40, 2, -1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = movie.file;
    set_le32(b, c.at, c.value);
    const Decoded d = read_bytes(b, 7);
    ASSERT_TRUE(d.opened);
    EXPECT_TRUE(d.sound[c.track][0].empty());
    if (c.refused >= 0) {
      EXPECT_EQ(d.refused[0], c.refused);
    }
    EXPECT_EQ(d.refused[1], 0);
  }
}

// Delta chunks whose decoded size D ends inside a sample frame: the reader
// decodes up to D and delivers exactly D bytes, the leading bytes of what
// the same stream gives with D rounded up to whole frames, and never
// writes past D.
TEST(KorvaneBadInput, DecodedSizesThatEndInsideASampleFrame) {
  vex::testkit::TempDir dir;
  kw::MoviePlan plan;
  const size_t kFrameBytes = 800;  // a multiple of every frame size
  for (uint32_t t = 0; t < 4; ++t) // 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo
    plan.tracks[t] = track(kw::SoundKind::delta, t & 1, t & 2, walk_pcm(2, kFrameBytes, 7 + t, false, t & 2));
  plan.tracks[4] = track(kw::SoundKind::delta, true, true, {{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}, {}});
  const auto m = kw::write_korvane(kw::pattern_frames(pattern(16, 16, 2)), plan, dir.file("p.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  const auto sound = [&](const Bytes &bytes, uint32_t t, int32_t *result) {
    vex::file::ByteSource source;
    source.open(bytes);
    KORVA *k = KorvaOpen(std::move(source), 0);
    Bytes out(k ? k->header[kv::kHdrSoundSize + t] + 64 : 0, 0xCD);
    *result = k ? KorvaGetSound(k, out.data(), kv::kTrackBit << t) : -99;
    KorvaClose(k);
    return out;
  };
  for (uint32_t t = 0; t < 5; ++t) {
    const uint32_t align = (t & 1 ? 2 : 1) * (t & 2 ? 2 : 1) * (t == 4 ? 4 : 1);
    const size_t at = kw::first_chunk_at(m.file, t) + 4;
    const uint32_t full = t == 4 ? 8 : kFrameBytes;
    ASSERT_EQ(le32_at(m.file, at), full) << "track " << t;
    for (uint32_t shortfall = 1; shortfall <= 3; ++shortfall) {
      SCOPED_TRACE("track " + std::to_string(t) + ", " + std::to_string(shortfall) + " short");
      const uint32_t d = t == 4 ? shortfall : full - shortfall; // below one frame on track 4
      const uint32_t rounded = (d + align - 1) / align * align;
      Bytes edited = m.file;
      set_le32(edited, at, rounded);
      int32_t whole_result = 0, cut_result = 0;
      const Bytes whole = sound(edited, t, &whole_result);
      ASSERT_EQ(whole_result, static_cast<int32_t>(rounded));
      EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + rounded, m.sound[t][0].begin()));
      set_le32(edited, at, d);
      const Bytes cut = sound(edited, t, &cut_result);
      ASSERT_EQ(cut_result, static_cast<int32_t>(d));
      EXPECT_TRUE(std::equal(cut.begin(), cut.begin() + d, whole.begin()));
      EXPECT_TRUE(std::all_of(cut.begin() + d, cut.end(), [](uint8_t b) { return b == 0xCD; }))
          << "bytes past D were written";
    }
  }
}

TEST(KorvaneBadInput, EveryTruncationAndEveryFlippedByteIsSafe) {
  vex::testkit::TempDir dir;
  const auto movie = three_track_movie(dir.file("good.kvn"));
  ASSERT_TRUE(movie.ok) << movie.error;
  EXPECT_EQ(read_bytes(movie.file, 7).refused, Bytes(7, 0)); // the untouched movie reads
  const auto play = [&](const Bytes &b) {
    vex::file::ByteSource source;
    source.open(b);
    if (KORVA *k = KorvaOpen(std::move(source), 0)) {
      read_records(k, k->frames + 1);
      KorvaClose(k);
    }
  };
  for (size_t n = 0; n < movie.file.size(); n += 7)
    play(Bytes(movie.file.begin(), movie.file.begin() + n));
  for (size_t at = 0; at < movie.file.size(); at += 13) { // across tables, trees and records
    Bytes b = movie.file;
    b[at] ^= 0xA5;
    play(b);
  }
}

} // namespace
