// Corrupt and truncated movies: open fails or the frame is refused, and
// nothing outside a buffer is touched (the sanitizer build checks that).
#include <gtest/gtest.h>

#include "testkit/audio_codec/test_signals.h"
#include "testkit/util/source_of.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/util/temp_dir.h"
#include "tests/formats/korvane/korvane_test_util.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace kw = vex::testkit::korvane;
using namespace korvane_test;

namespace {

class KorvaneBadInput : public ::testing::Test {
protected:
  void SetUp() override {
    vex::testkit::PatternOptions o;
    o.width = 32;
    o.height = 16;
    o.frames = 6;
    o.noise = o.cycle = true;
    kw::MoviePlan plan;
    kw::TrackPlan raw;
    raw.frames.assign(6, Bytes(300, 0x80));
    plan.tracks[0] = raw;
    kw::TrackPlan delta = raw;
    delta.kind = kw::SoundKind::delta;
    plan.tracks[1] = delta;
    kw::TrackPlan tr;
    tr.kind = kw::SoundKind::transform;
    tr.rate = 8000;
    const auto sweep = vex::testkit::sine_sweep(8000, 1, 6 * 533, 100, 3000, 8000);
    for (size_t f = 0; f < 6; ++f) {
      Bytes b;
      for (size_t i = 0; i < 533; ++i) {
        b.push_back(static_cast<uint8_t>(sweep[f * 533 + i]));
        b.push_back(static_cast<uint8_t>(sweep[f * 533 + i] >> 8));
      }
      tr.frames.push_back(b);
    }
    plan.tracks[2] = tr;
    movie = kw::write_korvane(kw::pattern_frames(vex::testkit::PatternAnimation(o)), plan, dir.file("good.kvn"));
    ASSERT_TRUE(movie.ok) << movie.error;
  }

  // Opens the bytes and reads every record with every track; true when it opened.
  bool try_movie(const Bytes &b, Decoded *out = nullptr) {
    const std::string p = dir.file("bad.kvn");
    save(p, b);
    KORVA *k = KorvaOpen(vex::testkit::source_of(p.c_str()), 0);
    if (!k)
      return false;
    const Decoded d = read_records(k, k->frames + 1);
    KorvaClose(k);
    if (out)
      *out = d;
    return true;
  }

  size_t records_at() const { return 104 + 5 * 6 + get32(movie.file, 13 * 4); }
  static uint32_t get32(const Bytes &b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
  }
  static void set32(Bytes &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }

  vex::testkit::TempDir dir;
  kw::WrittenMovie movie;
};

TEST_F(KorvaneBadInput, TheUntouchedMovieReads) {
  Decoded d;
  ASSERT_TRUE(try_movie(movie.file, &d));
  for (size_t r = 0; r < 6; ++r)
    EXPECT_EQ(d.refused[r], 0);
}

TEST_F(KorvaneBadInput, HeadersThatContradictTheFile) {
  auto with = [&](size_t word, uint32_t v) {
    Bytes b = movie.file;
    set32(b, 4 * word, v);
    return try_movie(b);
  };
  EXPECT_FALSE(with(0, 0x334E564B)) << "KVN3";
  EXPECT_FALSE(with(1, 0));
  // Sizes that are not multiples of 4 open (only whole blocks are coded);
  // the frames coded for the wider picture are refused or read, safely.
  EXPECT_TRUE(with(1, 30));
  EXPECT_TRUE(with(2, 18));
  EXPECT_TRUE(with(1, 3));
  EXPECT_FALSE(with(1, 1u << 20));
  EXPECT_FALSE(with(3, 0)) << "no frames";
  EXPECT_FALSE(with(3, 0x40000000)) << "tables larger than the file";
  EXPECT_FALSE(with(13, 0xFFFFFFF0)) << "tree block larger than the file";
  EXPECT_FALSE(with(5, 6)) << "both vertical bits";
  EXPECT_FALSE(with(3, 7)) << "one record more than the file holds";
  EXPECT_FALSE(try_movie(Bytes(movie.file.begin(), movie.file.begin() + 103)));
  EXPECT_FALSE(try_movie({}));
}

// Each refusal leaves its own reason, and the shared picture limits apply:
// sides up to 32767 and at most 2^26 pixels.
TEST_F(KorvaneBadInput, RefusalsSayWhy) {
  using vex::util::Status;
  struct Case {
    size_t word;
    uint32_t value;
    Status status;
    const char *text;
  } cases[] = {
      {0, 0x334E564B, Status::kNotThisFormat, "Wasn't a Korvane file"},
      {1, 0, Status::kDamaged, "Korvane picture size out of range"},
      {1, 32768, Status::kTooLarge, "Korvane picture size out of range"},
      {3, 0, Status::kDamaged, "Korvane file has no frames"},
      {5, 6, Status::kUnsupported, "Korvane vertical mode unknown"},
      {6, 0x7FFFFFFF, Status::kTooLarge, "Korvane sound size of a frame out of range"},
      {3, 0x40000000, Status::kDamaged, "Korvane tables do not fit the file"},
  };
  for (const Case &c : cases) {
    Bytes b = movie.file;
    set32(b, 4 * c.word, c.value);
    EXPECT_FALSE(try_movie(b)) << c.text;
    EXPECT_EQ(vex::util::last_status(), c.status) << c.text;
    EXPECT_STREQ(VEXLastError(), c.text);
  }
  Bytes b = movie.file;
  set32(b, 4, 32767);
  set32(b, 8, 2049); // 32767 x 2049 is past 2^26 pixels
  EXPECT_FALSE(try_movie(b));
  EXPECT_EQ(vex::util::last_status(), Status::kTooLarge);
  set32(b, 8, 16); // 32767 x 16 is inside the limits; wider than the coded frames, read safely
  EXPECT_TRUE(try_movie(b));
  EXPECT_FALSE(try_movie(Bytes(movie.file.begin(), movie.file.begin() + 103)));
  EXPECT_EQ(vex::util::last_status(), Status::kDamaged);
  EXPECT_STREQ(VEXLastError(), "the Korvane header is cut short");
  EXPECT_FALSE(try_movie({}));
  EXPECT_STREQ(VEXLastError(), "the file is empty");
  EXPECT_EQ(KorvaOpen(vex::testkit::source_of(dir.file("none.kvn").c_str()), 0), nullptr);
  EXPECT_EQ(vex::util::last_status(), Status::kNoFile);
  KORVA *k = KorvaOpen(vex::testkit::source_of(dir.file("good.kvn").c_str()), 0);
  EXPECT_NE(k, nullptr) << VEXLastError();
  EXPECT_STREQ(VEXLastError(), ""); // an open forgets the reason before it
  KorvaClose(k);
}

TEST_F(KorvaneBadInput, FrameSizesPastTheEnd) {
  Bytes b = movie.file;
  set32(b, 104 + 4 * 5, get32(b, 104 + 4 * 5) + 4); // the last record one word longer
  EXPECT_FALSE(try_movie(b));
  b = movie.file;
  set32(b, 104, 0xFFFFFFFC);
  EXPECT_FALSE(try_movie(b));
}

TEST_F(KorvaneBadInput, TreesCutShortOrWithoutLeaves) {
  const size_t trees = 104 + 5 * 6;
  const uint32_t size = get32(movie.file, 13 * 4);
  // The tree block cut short: the header says fewer bytes.
  for (uint32_t cut : {1u, size / 2, size - 1}) {
    Bytes b = movie.file;
    set32(b, 13 * 4, cut);
    // The records then start early and the sizes no longer add up, or the
    // trees end inside the block: either way nothing opens.
    EXPECT_FALSE(try_movie(b)) << cut;
  }
  // An empty type tree: every frame is refused.
  HandMovie m(2, 4, 4);
  Bits t;
  t.empty_tree().empty_tree().empty_tree().empty_tree();
  m.trees = t.bytes();
  m.add(0, {});
  Decoded d;
  ASSERT_TRUE(try_movie(m.file(), &d));
  EXPECT_EQ(d.refused[0], 1);
  // A tree that never reaches a leaf (all ones) is refused at open.
  HandMovie deep(2, 4, 4);
  deep.trees = Bytes(64, 0xFF);
  deep.add(0, {});
  EXPECT_FALSE(try_movie(deep.file()));
  (void)trees;
}

TEST_F(KorvaneBadInput, SoundChunksThatClaimMoreThanTheyHold) {
  const size_t rec = records_at();
  // Record 0: palette chunk, then track 0 raw (length word first).
  const size_t pal = movie.file[rec] * 4u;
  const size_t snd = rec + pal;
  ASSERT_EQ(get32(movie.file, snd), 304u);
  Bytes b = movie.file;
  set32(b, snd, 0x7FFFFFF0); // longer than the record
  Decoded d;
  ASSERT_TRUE(try_movie(b, &d));
  EXPECT_EQ(d.refused[0], 1);
  EXPECT_TRUE(d.sound[0][0].empty());
  EXPECT_EQ(d.refused[1], 0);
  b = movie.file;
  set32(b, snd, 2); // shorter than its own length word
  ASSERT_TRUE(try_movie(b, &d));
  EXPECT_EQ(d.refused[0], 1);
  // The delta chunk says it decodes to more than its data holds.
  b = movie.file;
  const size_t delta = snd + 304;
  const uint32_t len = get32(b, delta);
  ASSERT_EQ(get32(b, delta + 4), 300u);
  set32(b, delta, 12); // keep only 4 bytes of coded data
  // The video now starts early: the frame may decode or be refused, the
  // sound must be refused.
  ASSERT_TRUE(try_movie(b, &d));
  EXPECT_TRUE(d.sound[1][0].empty());
  (void)len;
  // Transform chunk data cut: blocks run out before the decoded size.
  b = movie.file;
  const size_t tr = delta + get32(b, delta);
  const uint32_t tlen = get32(b, tr);
  ASSERT_GT(tlen, 40u);
  set32(b, tr, 40);
  ASSERT_TRUE(try_movie(b, &d));
  EXPECT_TRUE(d.sound[2][0].empty());
}

TEST_F(KorvaneBadInput, EveryTruncationAndEveryFlippedByteIsSafe) {
  const Bytes &good = movie.file;
  for (size_t n = 0; n < good.size(); n += 7)
    try_movie(Bytes(good.begin(), good.begin() + n));
  // Flip bytes across tables, trees and records.
  for (size_t at = 0; at < good.size(); at += 13) {
    Bytes b = good;
    b[at] ^= 0xA5;
    try_movie(b);
  }
  SUCCEED() << "no crash and no access outside a buffer";
}

} // namespace
