// Movies built bit by bit, with results worked out by hand: the pixel
// order of each block type, run lengths across block rows, the recent-value
// cache, palette operations, delta-coded sound and the header's numbers.
#include <gtest/gtest.h>

#include "formats/korvane/korvane_log.h"
#include "testkit/util/source_of.h"
#include "tests/formats/korvane/korvane_test_util.h"
#include "testkit/util/temp_dir.h"

using namespace korvane_test;

namespace {

constexpr uint16_t kEsc = 0xFFF0; // escapes 0xFFF0-0xFFF2

// Code k of a tree with four leaves at depth 2 (first bit nearest the root).
void code4(Bits &b, uint32_t k) { b.put(k >> 1, 1).put(k & 1, 1); }

void byte_tree4(Bits &b, const std::array<uint8_t, 4> &v) {
  b.put(1, 1).put(1, 1).put(0, 1).put(v[0], 8).put(0, 1).put(v[1], 8);
  b.put(1, 1).put(0, 1).put(v[2], 8).put(0, 1).put(v[3], 8).put(0, 1);
}

// A 16-bit tree of four leaves; leaf k has the code k. In the tree itself
// leaf k's bytes are leaf k of the byte trees, so each costs code k twice.
void wide_tree4(Bits &b, const std::array<uint16_t, 4> &v) {
  b.put(1, 1);
  b.put(1, 1);
  byte_tree4(b, {uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), uint8_t(v[3])});
  b.put(1, 1);
  byte_tree4(b, {uint8_t(v[0] >> 8), uint8_t(v[1] >> 8), uint8_t(v[2] >> 8), uint8_t(v[3] >> 8)});
  b.put(kEsc, 16).put(kEsc + 1, 16).put(kEsc + 2, 16);
  b.put(1, 1).put(1, 1);
  b.put(0, 1), code4(b, 0), code4(b, 0);
  b.put(0, 1), code4(b, 1), code4(b, 1);
  b.put(1, 1);
  b.put(0, 1), code4(b, 2), code4(b, 2);
  b.put(0, 1), code4(b, 3), code4(b, 3);
  b.put(0, 1);
}

uint16_t type_symbol(uint32_t type, uint32_t run_index, uint32_t extra) {
  return static_cast<uint16_t>(type | run_index << 2 | extra << 8);
}

class KorvaneHandMade : public ::testing::Test {
protected:
  vex::testkit::TempDir dir;
  std::string write(HandMovie &m) {
    const std::string p = dir.file("h.kvn");
    save(p, m.file());
    return p;
  }
  // Picture of the first record (and the record after, when asked).
  std::vector<Bytes> pictures(HandMovie &m, size_t records, std::vector<uint8_t> *refused = nullptr) {
    const Decoded d = read_movie(write(m), records);
    EXPECT_TRUE(d.opened);
    if (refused)
      *refused = d.refused;
    return d.pictures;
  }
};

TEST_F(KorvaneHandMade, SingleLeafTreesReadNoBits) {
  HandMovie m(2, 8, 8);
  Bits t;
  t.empty_tree().empty_tree().empty_tree().wide_leaf(type_symbol(3, 3, 0x2A)); // solid 0x2A, run 4
  m.trees = t.bytes();
  m.add(0, {});
  std::vector<uint8_t> refused;
  const auto p = pictures(m, 1, &refused);
  EXPECT_EQ(refused[0], 0);
  EXPECT_EQ(p[0], Bytes(64, 0x2A));
}

TEST_F(KorvaneHandMade, FullBlockRowsTakeTheSecondValueFirst) {
  HandMovie m(2, 4, 4);
  Bits t;
  t.empty_tree().empty_tree();
  wide_tree4(t, {0x0201, 0x0403, 0x0605, 0x0807});
  t.wide_leaf(type_symbol(1, 0, 0));
  m.trees = t.bytes();
  Bits v; // per row: first value (pixels 2, 3), then second (pixels 0, 1)
  for (uint32_t k : {2, 0, 3, 1, 0, 3, 1, 2})
    code4(v, k);
  m.add(0, v.bytes());
  const auto p = pictures(m, 1);
  EXPECT_EQ(p[0], (Bytes{1, 2, 5, 6, 3, 4, 7, 8, 7, 8, 1, 2, 5, 6, 3, 4}));
}

TEST_F(KorvaneHandMade, Version4FullBlocksDoubledHalfAndNormal) {
  HandMovie m(4, 12, 4);
  Bits t;
  t.empty_tree().empty_tree();
  wide_tree4(t, {0x0201, 0x0403, 0x0605, 0x0807});
  t.wide_leaf(type_symbol(1, 2, 0)); // three full blocks
  m.trees = t.bytes();
  Bits v;
  v.put(1, 1); // doubled: values 0x0201, 0x0807
  code4(v, 0), code4(v, 3);
  v.put(0, 1).put(1, 1); // half height: rows (0x0403 | 0x0201 << ...) then (0x0807, 0x0605)
  for (uint32_t k : {1, 0, 3, 2})
    code4(v, k);
  v.put(0, 1).put(0, 1); // normal
  for (uint32_t k : {0, 0, 1, 1, 2, 2, 3, 3})
    code4(v, k);
  m.add(0, v.bytes());
  const auto p = pictures(m, 1);
  const Bytes want = {
      1, 1, 2, 2, 1, 2, 3, 4, 1, 2, 1, 2, //
      1, 1, 2, 2, 1, 2, 3, 4, 3, 4, 3, 4, //
      7, 7, 8, 8, 5, 6, 7, 8, 5, 6, 5, 6, //
      7, 7, 8, 8, 5, 6, 7, 8, 7, 8, 7, 8};
  EXPECT_EQ(p[0], want);
}

TEST_F(KorvaneHandMade, Version2NeverReadsTheModeBits) {
  HandMovie m(2, 4, 4);
  Bits t;
  t.empty_tree().empty_tree();
  wide_tree4(t, {0x0201, 0x0403, 0x0605, 0x0807});
  t.wide_leaf(type_symbol(1, 0, 0));
  m.trees = t.bytes();
  Bits v; // would be a doubled block in a version 4 file
  for (uint32_t k : {3, 3, 3, 3, 3, 3, 3, 3})
    code4(v, k);
  m.add(0, v.bytes());
  EXPECT_EQ(pictures(m, 1)[0], Bytes({7, 8, 7, 8, 7, 8, 7, 8, 7, 8, 7, 8, 7, 8, 7, 8}));
}

TEST_F(KorvaneHandMade, MonoMapBitsGoRowByRowLowBitFirst) {
  HandMovie m(2, 4, 4);
  Bits t;
  t.wide_leaf(0x8421).wide_leaf(0x0905).empty_tree().wide_leaf(type_symbol(0, 0, 0));
  m.trees = t.bytes();
  m.add(0, {});
  EXPECT_EQ(pictures(m, 1)[0], Bytes({9, 5, 5, 5, 5, 9, 5, 5, 5, 5, 9, 5, 5, 5, 5, 9}));
}

TEST_F(KorvaneHandMade, RunsContinueOnTheNextBlockRow) {
  HandMovie m(2, 64, 8); // 16 blocks a row, 32 in all
  Bits t;
  t.empty_tree().empty_tree().empty_tree();
  wide_tree4(t, {type_symbol(3, 19, 1), type_symbol(3, 11, 2), type_symbol(3, 59, 3), type_symbol(2, 0, 0)});
  m.trees = t.bytes();
  Bits v;
  code4(v, 0), code4(v, 1); // 20 blocks of 1, 12 of 2
  m.add(0, v.bytes());
  Bits w; // a run of 128 blocks passes the last block
  code4(w, 2);
  m.add(0, w.bytes());
  std::vector<uint8_t> refused;
  const auto p = pictures(m, 2, &refused);
  for (uint32_t y = 0; y < 8; ++y)
    for (uint32_t x = 0; x < 64; ++x) {
      const uint32_t block = (y / 4) * 16 + x / 4;
      ASSERT_EQ(p[0][y * 64 + x], block < 20 ? 1 : 2) << x << "," << y;
    }
  EXPECT_EQ(refused, (std::vector<uint8_t>{0, 1}));
  EXPECT_EQ(p[1], Bytes(64 * 8, 3)); // filled up to the last block, no further
}

TEST_F(KorvaneHandMade, RecentValueLeavesAndTheirCacheRestartEachFrame) {
  HandMovie m(2, 20, 4); // five blocks
  Bits t;
  t.wide_leaf(0xFFFF).wide_leaf(0x0905).empty_tree(); // mono: all pixels colour 9
  const uint16_t a = type_symbol(3, 0, 7), b = type_symbol(3, 0, 8);
  wide_tree4(t, {a, b, kEsc, uint16_t(kEsc + 1)});
  m.trees = t.bytes();
  Bits v; // A, B, recent 2 (= A), recent 1 (= A), recent 2 (= B)
  for (uint32_t k : {0, 1, 3, 2, 3})
    code4(v, k);
  m.add(0, v.bytes());
  Bits w; // recent 1 at the start of a frame is 0: a mono block of one run
  for (uint32_t k : {2, 0, 0, 0, 0})
    code4(w, k);
  m.add(0, w.bytes());
  const auto p = pictures(m, 2);
  const uint8_t first[5] = {7, 8, 7, 7, 8}, second[5] = {9, 7, 7, 7, 7};
  for (uint32_t x = 0; x < 20; ++x) {
    EXPECT_EQ(p[0][x], first[x / 4]) << x;
    EXPECT_EQ(p[1][x], second[x / 4]) << x;
  }
}

TEST_F(KorvaneHandMade, InterlacedAndDoubledRowsLandAsDescribed) {
  for (uint32_t mode : {2u, 4u}) {
    HandMovie m(2, 4, 4);
    m.header[5] = mode;
    Bits t;
    t.empty_tree().empty_tree();
    wide_tree4(t, {0x0101, 0x0202, 0x0303, 0x0404});
    t.wide_leaf(type_symbol(1, 0, 0));
    m.trees = t.bytes();
    Bits v; // rows of 1s, 2s, 3s, 4s
    for (uint32_t k : {0, 0, 1, 1, 2, 2, 3, 3})
      code4(v, k);
    m.add(0, v.bytes());
    const Decoded d = read_movie(write(m), 1);
    ASSERT_TRUE(d.opened);
    EXPECT_EQ(d.height, 8u);
    Bytes want;
    for (uint8_t r = 1; r <= 4; ++r) {
      want.insert(want.end(), 4, r);
      want.insert(want.end(), 4, mode == 4 ? r : 0);
    }
    EXPECT_EQ(d.pictures[0], want) << mode;
  }
}

TEST_F(KorvaneHandMade, PaletteOperationsReadTheOldPalette) {
  HandMovie m(2, 4, 4);
  Bits t;
  t.empty_tree().empty_tree().empty_tree().wide_leaf(type_symbol(2, 0, 0));
  m.trees = t.bytes();
  // Entry 0 explicit, keep 10, copy 3 from index 0 to 11..13, keep the rest.
  Bytes p1 = {0, 63, 32, 1, 0x89, 0x42, 0, 0xFF, 0xF1};
  p1[0] = 3; // 9 bytes, padded to 12
  p1.resize(12, 0);
  m.add(1, p1);
  // Entry 0 becomes black; entry 1 copies the old entry 0, not the new one.
  Bytes p2 = {2, 0, 0, 0, 0x40, 0, 0xFF, 0xFD};
  m.add(1, p2);
  m.add(0, {}); // no palette chunk
  KORVA *k = KorvaOpen(vex::testkit::source_of(write(m).c_str()), 0);
  ASSERT_NE(k, nullptr);
  EXPECT_TRUE(k->palette_changed);
  const uint8_t e0[3] = {255, 130, 4};
  for (uint32_t c = 0; c < 256; ++c)
    for (uint32_t i = 0; i < 3; ++i)
      EXPECT_EQ(k->palette[3 * c + i], c == 0 ? e0[i] : 0) << c; // the copy read zeros
  ASSERT_EQ(KorvaNextFrame(k), 1u);
  EXPECT_TRUE(k->palette_changed);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(k->palette[i], 0);
    EXPECT_EQ(k->palette[3 + i], e0[i]);
    EXPECT_EQ(k->palette[6 + i], 0); // entry 2 kept
  }
  ASSERT_EQ(KorvaNextFrame(k), 1u);
  EXPECT_FALSE(k->palette_changed);
  EXPECT_EQ(k->palette[3], 255);
  KorvaClose(k);
}

// A frame with one sound chunk for track t (frame type bit t + 1).
std::string sound_movie(vex::testkit::TempDir &dir, uint32_t track, uint32_t format, uint32_t largest,
                        const Bytes &chunk) {
  HandMovie m(2, 4, 4);
  Bits t;
  t.empty_tree().empty_tree().empty_tree().wide_leaf(type_symbol(2, 0, 0));
  m.trees = t.bytes();
  m.header[6 + track] = largest;
  m.header[18 + track] = format;
  m.add(static_cast<uint8_t>(2u << track), chunk);
  const std::string p = dir.file("s.kvn");
  save(p, m.file());
  return p;
}

Bytes compressed_chunk(int32_t decoded, const Bytes &data) {
  Bytes c;
  put32(c, static_cast<uint32_t>(data.size() + 8));
  put32(c, static_cast<uint32_t>(decoded));
  c.insert(c.end(), data.begin(), data.end());
  return c;
}

Bytes sound_of(const std::string &path, uint32_t track, int32_t *result = nullptr) {
  KORVA *k = KorvaOpen(vex::testkit::source_of(path.c_str()), 0);
  if (!k)
    return {0xEE};
  Bytes out(k->header[6 + track] + 8, 0xCD);
  const int32_t n = KorvaGetSound(k, out.data(), vex::formats::korvane::kTrackBit << track);
  KorvaClose(k);
  if (result)
    *result = n;
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

constexpr uint32_t kDelta = 0x80000000u | 11025;

TEST_F(KorvaneHandMade, DeltaSoundByHand) {
  { // 8-bit mono: deltas +1, +1, -1 from 100
    Bits b;
    b.put(1, 1).put(0, 1).put(0, 1);
    b.put(1, 1).put(1, 1).put(0, 1).put(1, 8).put(0, 1).put(0xFF, 8).put(0, 1);
    b.put(100, 8).put(0, 1).put(0, 1).put(1, 1);
    EXPECT_EQ(sound_of(sound_movie(dir, 4, kDelta, 4, compressed_chunk(4, b.bytes())), 4), Bytes({100, 101, 102, 101}));
  }
  { // 16-bit mono: start 0xFFF0 sent high byte first, deltas of 0x0110 wrap
    Bits b;
    b.put(1, 1).put(0, 1).put(1, 1);
    b.put(1, 1).byte_leaf(0x10).put(1, 1).byte_leaf(0x01);
    b.put(0xFF, 8).put(0xF0, 8);
    EXPECT_EQ(sound_of(sound_movie(dir, 0, kDelta | 1u << 29, 6, compressed_chunk(6, b.bytes())), 0),
              Bytes({0xF0, 0xFF, 0x00, 0x01, 0x10, 0x02}));
  }
  { // 8-bit stereo: the right channel's start comes first
    Bits b;
    b.put(1, 1).put(1, 1).put(0, 1);
    b.put(1, 1).byte_leaf(2).put(1, 1).byte_leaf(0xFF);
    b.put(50, 8).put(10, 8);
    EXPECT_EQ(sound_of(sound_movie(dir, 6, kDelta | 1u << 28, 6, compressed_chunk(6, b.bytes())), 6),
              Bytes({10, 50, 12, 49, 14, 48}));
  }
  { // 16-bit stereo: left low, left high, right low, right high trees
    Bits b;
    b.put(1, 1).put(1, 1).put(1, 1);
    b.put(1, 1).byte_leaf(0x01).put(1, 1).byte_leaf(0x00).put(1, 1).byte_leaf(0xFF).put(1, 1).byte_leaf(0xFF);
    b.put(0x12, 8).put(0x34, 8).put(0x00, 8).put(0x00, 8); // right 0x1234, left 0
    EXPECT_EQ(sound_of(sound_movie(dir, 2, kDelta | 3u << 28, 8, compressed_chunk(8, b.bytes())), 2),
              Bytes({0x00, 0x00, 0x34, 0x12, 0x01, 0x00, 0x33, 0x12}));
  }
}

TEST_F(KorvaneHandMade, EmptyAndRefusedSoundChunks) {
  int32_t r = 7;
  Bits off; // data-present bit 0
  off.put(0, 1);
  EXPECT_TRUE(sound_of(sound_movie(dir, 1, kDelta, 64, compressed_chunk(10, off.bytes())), 1, &r).empty());
  EXPECT_EQ(r, 0);
  sound_of(sound_movie(dir, 1, kDelta, 64, compressed_chunk(0, {})), 1, &r);
  EXPECT_EQ(r, 0);
  sound_of(sound_movie(dir, 1, kDelta, 64, compressed_chunk(-1, {})), 1, &r);
  EXPECT_EQ(r, -1);
  // A decoded size over the track's largest is refused.
  Bits b;
  b.put(1, 1).put(0, 1).put(0, 1).put(1, 1).byte_leaf(1).put(0, 8);
  sound_of(sound_movie(dir, 1, kDelta, 3, compressed_chunk(4, b.bytes())), 1, &r);
  EXPECT_EQ(r, 0);
  // Raw PCM is copied; more than the track's largest is refused.
  Bytes raw;
  put32(raw, 9);
  raw.insert(raw.end(), {1, 2, 3, 4, 5});
  EXPECT_EQ(sound_of(sound_movie(dir, 3, 22050, 5, raw), 3), Bytes({1, 2, 3, 4, 5}));
  sound_of(sound_movie(dir, 3, 22050, 4, raw), 3, &r);
  EXPECT_EQ(r, 0);
}

TEST_F(KorvaneHandMade, HeaderNumbers) {
  HandMovie m(2, 8, 4);
  Bits t;
  t.empty_tree().empty_tree().empty_tree().wide_leaf(type_symbol(2, 0, 0));
  m.trees = t.bytes();
  m.add(0, {});
  m.add(0, {});
  for (auto [speed, period] : {std::pair{-6667, 6667u}, {100, 10000u}, {0, 0u}}) {
    m.header[4] = static_cast<uint32_t>(speed);
    KORVA *k = KorvaOpen(vex::testkit::source_of(write(m).c_str()), 0);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->period, period);
    EXPECT_EQ(k->frames, 2u);
    EXPECT_EQ(k->width, 8u);
    EXPECT_EQ(k->height, 4u);
    KorvaClose(k);
  }
}

TEST_F(KorvaneHandMade, SuccessfulOpenAndCloseAreLogged) {
  HandMovie m(2, 4, 4);
  Bits t;
  t.empty_tree().empty_tree().empty_tree().wide_leaf(type_symbol(2, 0, 0));
  m.trees = t.bytes();
  m.add(0, {});
  const std::string p = write(m);
  setenv("VEXUTIL_KORVANE_DEBUG", "1", 1);
  vex::formats::korvane::reload_debug_setting();
  testing::internal::CaptureStderr();
  KORVA *k = KorvaOpen(vex::testkit::source_of(p.c_str()), 0);
  KorvaClose(k);
  const std::string err = testing::internal::GetCapturedStderr();
  unsetenv("VEXUTIL_KORVANE_DEBUG");
  vex::formats::korvane::reload_debug_setting();
  ASSERT_NE(k, nullptr);
  const std::string h = std::to_string(reinterpret_cast<uintptr_t>(k));
  EXPECT_EQ(err.rfind("KorvaOpen - file: " + p + "\n", 0), 0u) << err;
  EXPECT_NE(err.find("KorvaOpen returned: " + h + "\n"), std::string::npos) << err;
  EXPECT_NE(err.find("KorvaClose: " + h + "\n"), std::string::npos) << err;
}

} // namespace
