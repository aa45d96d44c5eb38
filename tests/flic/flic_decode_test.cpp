// Sub-chunk decoders on hand-computed data, and on bad data: nothing may be
// written outside the picture or the palette.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "flic/flic_decode.h"
#include "vexutil/flic.h"

namespace vex::flic {
namespace {

constexpr uint8_t kGuard = 0xCC;

// A picture of w x h inside a larger block: 4 guard columns right of every
// row, 2 guard rows below and 64 guard bytes before and after.
class GuardedPicture {
public:
  GuardedPicture(uint32_t w, uint32_t h, uint8_t fill = 0)
      : w_(w), h_(h), pitch_(w + 4), block_(64 + size_t{pitch_} * (h + 2) + 64, kGuard) {
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x)
        at(x, y) = fill;
  }
  Picture pic() { return {block_.data() + 64, pitch_, w_, h_}; }
  uint8_t &at(uint32_t x, uint32_t y) { return block_[64 + size_t{y} * pitch_ + x]; }
  std::vector<uint8_t> row(uint32_t y) {
    return {block_.begin() + 64 + y * pitch_, block_.begin() + 64 + y * pitch_ + w_};
  }
  bool guards_intact() const {
    for (size_t i = 0; i < block_.size(); ++i) {
      const size_t o = i - 64;
      const bool inside = i >= 64 && o < size_t{pitch_} * h_ && o % pitch_ < w_;
      if (!inside && block_[i] != kGuard)
        return false;
    }
    return true;
  }

private:
  uint32_t w_, h_, pitch_;
  std::vector<uint8_t> block_;
};

using Row = std::vector<uint8_t>;

TEST(FlicDecode, WordDeltaSkipsLinesSetsTheLastPixelCopiesAndRepeats) {
  GuardedPicture g(8, 4);
  const std::vector<uint8_t> d = {
      2,    0,                  // two lines with packets
      0xFE, 0xFF,               // skip 2 lines
      0x55, 0x80,               // last pixel of line 2 = 0x55
      2,    0,                  // 2 packets
      1,    1,    0xA1, 0xA2,   // skip 1 column, copy one word
      1,    0xFF, 0xB1, 0xB2,   // skip 1 column, the word once
      1,    0,                  // line 3: 1 packet
      0,    0xFD, 7,    8,      // the word (7, 8) three times
      9,    9,    9,    9,      // beyond the line count: ignored
  };
  decode_delta_flc(d, g.pic());
  EXPECT_EQ(g.row(0), Row(8, 0));
  EXPECT_EQ(g.row(1), Row(8, 0));
  EXPECT_EQ(g.row(2), (Row{0, 0xA1, 0xA2, 0, 0xB1, 0xB2, 0, 0x55}));
  EXPECT_EQ(g.row(3), (Row{7, 8, 7, 8, 7, 8, 0, 0}));
  EXPECT_TRUE(g.guards_intact());
}

TEST(FlicDecode, ByteDeltaFromAFirstLineWithCopiesAndRuns) {
  GuardedPicture g(8, 4, 1);
  const std::vector<uint8_t> d = {1, 0, 2, 0,       // first line 1, 2 lines
                                  2,                // line 1: 2 packets
                                  3, 2, 9, 10,      // skip 3, copy 2
                                  1, 0xFE, 4,       // skip 1, 4 twice
                                  0};               // line 2: none
  decode_delta_fli(d, g.pic());
  EXPECT_EQ(g.row(0), Row(8, 1));
  EXPECT_EQ(g.row(1), (Row{1, 1, 1, 9, 10, 1, 4, 4}));
  EXPECT_EQ(g.row(2), Row(8, 1));
  EXPECT_TRUE(g.guards_intact());

  GuardedPicture wide(200, 1);
  decode_delta_fli(std::vector<uint8_t>{0, 0, 1, 0, 1, 0, 0x80, 5}, wide.pic()); // -128: 128 times
  Row want(200, 0);
  std::fill(want.begin(), want.begin() + 128, 5);
  EXPECT_EQ(wide.row(0), want);
}

TEST(FlicDecode, ByteRunCopyAndBlack) {
  GuardedPicture g(5, 2, 3);
  decode_byte_run(std::vector<uint8_t>{9, 3, 1, 0xFE, 8, 9, 0, 0xFB, 1, 2, 3, 4, 5}, g.pic());
  EXPECT_EQ(g.row(0), (Row{1, 1, 1, 8, 9}));
  EXPECT_EQ(g.row(1), (Row{1, 2, 3, 4, 5}));
  EXPECT_TRUE(g.guards_intact());

  GuardedPicture c(3, 2, 7);
  decode_copy(std::vector<uint8_t>{1, 2, 3, 4}, c.pic()); // the second row is not all there
  EXPECT_EQ(c.row(0), (Row{1, 2, 3}));
  EXPECT_EQ(c.row(1), (Row{7, 7, 7}));
  decode_copy(std::vector<uint8_t>{1, 2, 3, 4, 5, 6}, c.pic());
  EXPECT_EQ(c.row(1), (Row{4, 5, 6}));
  decode_black(c.pic());
  EXPECT_EQ(c.row(0), Row(3, 0));
  EXPECT_EQ(c.row(1), Row(3, 0));
  EXPECT_TRUE(c.guards_intact());
}

TEST(FlicDecode, CountsAndSkipsThatLeaveThePictureOnlyLoseTheirPixels) {
  GuardedPicture g(6, 3);
  // Word delta: a run past the row end, then a skip of 16384 lines.
  decode_delta_flc(std::vector<uint8_t>{2, 0, 1, 0, 4, 0x80, 1, 2, 0x00, 0xC0, 1, 0, 0, 1, 5, 5}, g.pic());
  EXPECT_EQ(g.row(0), (Row{0, 0, 0, 0, 1, 2}));
  // Byte delta starting far below the picture, and a copy past the row end.
  decode_delta_fli(std::vector<uint8_t>{0x60, 0xEA, 1, 0, 1, 0, 1, 9}, g.pic());
  decode_delta_fli(std::vector<uint8_t>{1, 0, 1, 0, 2, 250, 2, 9, 9, 4, 1, 9}, g.pic());
  EXPECT_EQ(g.row(1), Row(6, 0));
  // Byte run: a run of 100 in a row of 6 ends the row; the next row reads on.
  decode_byte_run(std::vector<uint8_t>{0, 100, 4, 0, 0xFA, 1, 2, 3, 4, 5, 6}, g.pic());
  EXPECT_EQ(g.row(0), Row(6, 4));
  EXPECT_EQ(g.row(1), (Row{1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(g.guards_intact());
}

TEST(FlicDecode, PalettePacketsStopAtEntry255AndAtTheEndOfTheData) {
  std::vector<uint8_t> block(768 + 32, kGuard);
  uint8_t *pal = block.data();
  std::fill(pal, pal + 768, 0);
  std::vector<uint8_t> d = {2, 0, 250, 10};
  for (int i = 0; i < 30; ++i)
    d.push_back(static_cast<uint8_t>(100 + i));
  d.insert(d.end(), {0, 3, 1, 2}); // second packet cut short: not stored
  decode_palette(d, pal, false);
  for (int i = 0; i < 750; ++i)
    ASSERT_EQ(pal[i], 0) << i;
  for (int i = 750; i < 768; ++i)
    EXPECT_EQ(pal[i], 100 + i - 750);
  for (size_t i = 768; i < block.size(); ++i)
    ASSERT_EQ(block[i], kGuard) << "written past entry 255";
}

TEST(FlicDecode, FrameWalkStopsAtLyingCountsAndSizes) {
  GuardedPicture g(2, 1);
  uint8_t pal[768] = {};
  // One COPY sub-chunk, but the header counts 5; then a sub-chunk of size 0
  // stops the walk before a BLACK that would clear the picture.
  std::vector<uint8_t> d = {8, 0, 0, 0, 16, 0, 4, 5, 0, 0, 0, 0, 13, 0, 6, 0, 0, 0, 13, 0};
  EXPECT_FALSE(decode_frame(d, 5, g.pic(), pal));
  EXPECT_EQ(g.row(0), (Row{4, 5}));
  // A palette chunk whose size runs past the frame still counts as decoded.
  std::vector<uint8_t> p = {0xFF, 0xFF, 0, 0, 4, 0, 1, 0, 3, 1, 10, 20, 30};
  EXPECT_TRUE(decode_frame(p, 1, g.pic(), pal));
  EXPECT_EQ(pal[9], 10);
  EXPECT_EQ(pal[11], 30);
}

// The short copies and fills use overlapping fixed-size stores; every
// length and start column, clipped or not, must match a plain byte loop.
// A chunk reads its own bytes only: a FLI_COPY whose declared size stops
// after two rows leaves the other rows alone instead of copying the next
// chunk's bytes into them, and the next chunk still decodes. A chunk that
// claims more than the frame holds is cut at the frame's end.
TEST(FlicDecode, EveryChunkReadsOnlyTheBytesItDeclares) {
  const uint32_t w = 4, h = 3;
  std::vector<uint8_t> frame;
  const auto chunk = [&](uint32_t size, uint16_t type) {
    for (int i = 0; i < 4; ++i)
      frame.push_back(static_cast<uint8_t>(size >> (8 * i)));
    frame.push_back(static_cast<uint8_t>(type));
    frame.push_back(static_cast<uint8_t>(type >> 8));
  };
  chunk(6 + 2 * w, VEXFLIC_FLI_COPY); // two rows of the three
  for (uint8_t v = 1; v <= 2 * w; ++v)
    frame.push_back(v);
  chunk(6 + 2 + 2 + 3, VEXFLIC_COLOR_256); // one packet: entry 0 only
  for (uint8_t v : {1, 0, 1, 1, 10, 20, 30})
    frame.push_back(v);
  GuardedPicture g(w, h, 0xEE);
  uint8_t pal[768] = {};
  EXPECT_TRUE(decode_frame(frame, 2, g.pic(), pal));
  EXPECT_EQ(g.row(0), (Row{1, 2, 3, 4}));
  EXPECT_EQ(g.row(1), (Row{5, 6, 7, 8}));
  EXPECT_EQ(g.row(2), (Row{0xEE, 0xEE, 0xEE, 0xEE})); // not the palette chunk's bytes
  EXPECT_EQ(pal[3], 10);                               // entry 1 after a skip of 1
  EXPECT_EQ(pal[0], 0);
  EXPECT_TRUE(g.guards_intact());

  // A size past the end of the frame: the body is what the frame has.
  std::vector<uint8_t> over;
  frame.swap(over);
  chunk(1000, VEXFLIC_FLI_COPY);
  for (uint8_t v = 1; v <= w; ++v)
    frame.push_back(v);
  GuardedPicture g2(w, h, 0xEE);
  EXPECT_FALSE(decode_frame(frame, 1, g2.pic(), pal));
  EXPECT_EQ(g2.row(0), (Row{1, 2, 3, 4}));
  EXPECT_EQ(g2.row(1), (Row{0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_TRUE(g2.guards_intact());
}

TEST(FlicDecode, CopiesAndFillsOfEveryLengthMatchAPlainLoop) {
  const uint32_t w = 37; // odd: word fills that reach the edge get clipped to odd lengths
  for (uint32_t x = 0; x < w; ++x)
    for (uint32_t n = 1; n <= 40; ++n) {
      SCOPED_TRACE("column " + std::to_string(x) + ", count " + std::to_string(n));
      Row want_copy(w, 0), want_pairs(w, 0), want_bytes(w, 0);
      std::vector<uint8_t> words = {1, 0, 1, 0, static_cast<uint8_t>(x), static_cast<uint8_t>(n)};
      std::vector<uint8_t> runs = {1, 0, 1, 0, static_cast<uint8_t>(x), static_cast<uint8_t>(256 - n), 0xA5, 0x5A};
      std::vector<uint8_t> bytes = {0, 0, 1, 0, 1, static_cast<uint8_t>(x), static_cast<uint8_t>(256 - n), 0x77};
      for (uint32_t i = 0; i < 2 * n; ++i) {
        words.push_back(static_cast<uint8_t>(i + 1));
        if (x + i < w) {
          want_copy[x + i] = static_cast<uint8_t>(i + 1);
          want_pairs[x + i] = i % 2 ? 0x5A : 0xA5;
        }
      }
      for (uint32_t i = 0; i < n && x + i < w; ++i)
        want_bytes[x + i] = 0x77;
      GuardedPicture a(w, 1), b(w, 1), c(w, 1);
      decode_delta_flc(words, a.pic());
      decode_delta_flc(runs, b.pic());
      decode_delta_fli(bytes, c.pic());
      ASSERT_EQ(a.row(0), want_copy);
      ASSERT_EQ(b.row(0), want_pairs);
      ASSERT_EQ(c.row(0), want_bytes);
      ASSERT_TRUE(a.guards_intact() && b.guards_intact() && c.guards_intact());
    }
}

TEST(FlicDecode, RandomDataNeverWritesOutsideThePicture) {
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    GuardedPicture g(1 + rng() % 40, 1 + rng() % 20);
    std::vector<uint8_t> d(rng() % 300);
    for (auto &b : d)
      b = static_cast<uint8_t>(rng());
    uint8_t pal[768];
    decode_delta_flc(d, g.pic());
    decode_delta_fli(d, g.pic());
    decode_byte_run(d, g.pic());
    decode_copy(d, g.pic());
    decode_palette(d, pal, round & 1);
    decode_frame(d, rng() % 70000, g.pic(), pal);
    ASSERT_TRUE(g.guards_intact()) << "round " << round;
  }
}

} // namespace
} // namespace vex::flic
