// Sub-chunk decoders on hand-computed data and on bad data (nothing may be
// written outside the picture or the palette), and the writer's encoders
// against the decoders: decoding an encoding onto the previous frame gives
// the new frame, and an encoding that cannot stay below its limit is refused.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "flic/flic_decode.h"
#include "flic/flic_encode.h"
#include "testkit/flic/flic_test_frames.h"
#include "vexutil/flic.h"

namespace vex::flic {
namespace {

using testkit::edge_frame;
using testkit::GuardedPicture;

using Row = std::vector<uint8_t>;
constexpr uint8_t kGuard = GuardedPicture::kGuard;

Row cat(const Row &a, const Row &b) {
  Row r(a);
  r.resize(a.size() + b.size());
  std::copy(b.begin(), b.end(), r.begin() + static_cast<std::ptrdiff_t>(a.size()));
  return r;
}

Picture pic(GuardedPicture &g) { return {g.pixels(), g.pitch(), g.width(), g.height()}; }

enum class Dec { flc, fli, brun, copy, black };

void run(Dec d, const Row &data, const Picture &p) {
  switch (d) {
  case Dec::flc: return decode_delta_flc(data, p);
  case Dec::fli: return decode_delta_fli(data, p);
  case Dec::brun: return decode_byte_run(data, p);
  case Dec::copy: return decode_copy(data, p);
  case Dec::black: return decode_black(p);
  }
}

struct DecodeCase {
  const char *name;
  Dec dec;
  uint32_t w, h;
  uint8_t fill;
  Row data;
  std::vector<Row> want; // every row of the picture afterwards
};

TEST(FlicDecode, SubChunksGiveTheWorkedOutPixels) {
  const DecodeCase cases[] = {
      {"word delta: line skips, the last pixel, copies and repeats", Dec::flc, 8, 4, 0,
       {2, 0,            // two lines with packets
        0xFE, 0xFF,      // skip 2 lines
        0x55, 0x80,      // last pixel of line 2 = 0x55
        2, 0,            // 2 packets
        1, 1, 0xA1, 0xA2, // skip 1 column, copy one word
        1, 0xFF, 0xB1, 0xB2, // skip 1 column, the word once
        1, 0,            // line 3: 1 packet
        0, 0xFD, 7, 8,   // the word (7, 8) three times
        9, 9, 9, 9},     // beyond the line count: ignored
       {Row(8, 0), Row(8, 0), {0, 0xA1, 0xA2, 0, 0xB1, 0xB2, 0, 0x55}, {7, 8, 7, 8, 7, 8, 0, 0}}},
      {"byte delta from a first line, copies and runs", Dec::fli, 8, 4, 1,
       {1, 0, 2, 0,    // first line 1, 2 lines
        2,             // line 1: 2 packets
        3, 2, 9, 10,   // skip 3, copy 2
        1, 0xFE, 4,    // skip 1, 4 twice
        0},            // line 2: none
       {Row(8, 1), {1, 1, 1, 9, 10, 1, 4, 4}, Row(8, 1), Row(8, 1)}},
      {"byte delta run of -128: 128 times", Dec::fli, 200, 1, 0, {0, 0, 1, 0, 1, 0, 0x80, 5},
       {cat(Row(128, 5), Row(72, 0))}},
      {"byte run: runs and copies", Dec::brun, 5, 2, 3, {9, 3, 1, 0xFE, 8, 9, 0, 0xFB, 1, 2, 3, 4, 5},
       {{1, 1, 1, 8, 9}, {1, 2, 3, 4, 5}}},
      {"copy whose second row is not all there", Dec::copy, 3, 2, 7, {1, 2, 3, 4}, {{1, 2, 3}, {7, 7, 7}}},
      {"copy of both rows", Dec::copy, 3, 2, 7, {1, 2, 3, 4, 5, 6}, {{1, 2, 3}, {4, 5, 6}}},
      {"black", Dec::black, 3, 2, 7, {}, {Row(3, 0), Row(3, 0)}},
      // Counts and skips that leave the picture only lose their pixels.
      {"word delta: a run past the row end, then a skip of 16384 lines", Dec::flc, 6, 3, 0,
       {2, 0, 1, 0, 4, 0x80, 1, 2, 0x00, 0xC0, 1, 0, 0, 1, 5, 5}, {{0, 0, 0, 0, 1, 2}, Row(6, 0), Row(6, 0)}},
      {"byte delta starting far below the picture", Dec::fli, 6, 3, 0, {0x60, 0xEA, 1, 0, 1, 0, 1, 9},
       {Row(6, 0), Row(6, 0), Row(6, 0)}},
      {"byte delta copies past the row end", Dec::fli, 6, 3, 0, {1, 0, 1, 0, 2, 250, 2, 9, 9, 4, 1, 9},
       {Row(6, 0), Row(6, 0), Row(6, 0)}},
      {"byte run: a run of 100 in a row of 6 ends the row, the next reads on", Dec::brun, 6, 3, 0,
       {0, 100, 4, 0, 0xFA, 1, 2, 3, 4, 5, 6}, {Row(6, 4), {1, 2, 3, 4, 5, 6}, Row(6, 0)}},
  };
  for (const DecodeCase &c : cases) {
    SCOPED_TRACE(c.name);
    GuardedPicture g(c.w, c.h, c.fill);
    run(c.dec, c.data, pic(g));
    for (uint32_t y = 0; y < c.h; ++y) {
      EXPECT_EQ(g.row(y), c.want[y]) << "row " << y;
    }
    EXPECT_TRUE(g.guards_intact());
  }
}

TEST(FlicDecode, PalettePacketsStopAtEntry255AndAtTheEndOfTheData) {
  std::vector<uint8_t> block(768 + 32, kGuard);
  std::fill_n(block.begin(), 768, 0);
  Row d = {2, 0, 250, 10};
  for (int i = 0; i < 30; ++i)
    d.push_back(static_cast<uint8_t>(100 + i));
  d.insert(d.end(), {0, 3, 1, 2}); // second packet cut short: not stored
  decode_palette(d, block.data(), false);
  for (int i = 0; i < 768; ++i) {
    ASSERT_EQ(block[i], i < 750 ? 0 : 100 + i - 750) << i;
  }
  for (size_t i = 768; i < block.size(); ++i) {
    ASSERT_EQ(block[i], kGuard) << "written past entry 255";
  }
}

// decode_frame walks the sub-chunks: a chunk reads its own bytes only (a
// FLI_COPY whose declared size stops after two rows leaves the other rows
// alone instead of copying the next chunk's bytes into them); a chunk that
// claims more than the frame holds is cut at the frame's end; a lying count
// or a sub-chunk of size 0 ends the walk.
TEST(FlicDecode, FrameWalkTakesEachChunkAsDeclared) {
  const struct {
    const char *name;
    Row data;
    uint32_t count, w, h;
    bool palette_changed;
    std::vector<Row> want;
    std::vector<std::pair<int, uint8_t>> palette; // (component, value)
  } cases[] = {
      {"a copy of two rows of three, then a palette packet of entry 1",
       {14, 0, 0, 0, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 13, 0, 0, 0, 4, 0, 1, 0, 1, 1, 10, 20, 30}, 2, 4, 3, true,
       {{1, 2, 3, 4}, {5, 6, 7, 8}, Row(4, 0xEE)}, {{3, 10}, {0, 0}, {5, 30}}},
      {"a copy claiming 1000 bytes in a frame of 4", {0xE8, 3, 0, 0, 16, 0, 1, 2, 3, 4}, 1, 4, 3, false,
       {{1, 2, 3, 4}, Row(4, 0xEE), Row(4, 0xEE)}, {}},
      {"one copy counted 5, a size-0 sub-chunk stops before a black",
       {8, 0, 0, 0, 16, 0, 4, 5, 0, 0, 0, 0, 13, 0, 6, 0, 0, 0, 13, 0}, 5, 2, 1, false, {{4, 5}}, {}},
      {"a palette chunk whose size runs past the frame", {0xFF, 0xFF, 0, 0, 4, 0, 1, 0, 3, 1, 10, 20, 30}, 1, 2, 1,
       true, {Row(2, 0xEE)}, {{9, 10}, {11, 30}, {12, 0}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    GuardedPicture g(c.w, c.h, 0xEE);
    uint8_t pal[768] = {};
    EXPECT_EQ(decode_frame(c.data, c.count, pic(g), pal), c.palette_changed);
    for (uint32_t y = 0; y < c.h; ++y) {
      EXPECT_EQ(g.row(y), c.want[y]) << "row " << y;
    }
    for (const auto &[at, v] : c.palette) {
      EXPECT_EQ(pal[at], v) << "palette byte " << at;
    }
    EXPECT_TRUE(g.guards_intact());
  }
}

// The short copies and fills use overlapping fixed-size stores; every
// length and start column, clipped or not, must match a plain byte loop.
TEST(FlicDecode, CopiesAndFillsOfEveryLengthMatchAPlainLoop) {
  const uint32_t w = 37; // odd: word fills that reach the edge get clipped to odd lengths
  for (uint32_t x = 0; x < w; ++x)
    for (uint32_t n = 1; n <= 40; ++n) {
      SCOPED_TRACE("column " + std::to_string(x) + ", count " + std::to_string(n));
      Row want_copy(w, 0), want_pairs(w, 0), want_bytes(w, 0);
      Row words = {1, 0, 1, 0, static_cast<uint8_t>(x), static_cast<uint8_t>(n)};
      const Row runs = {1, 0, 1, 0, static_cast<uint8_t>(x), static_cast<uint8_t>(256 - n), 0xA5, 0x5A};
      const Row bytes = {0, 0, 1, 0, 1, static_cast<uint8_t>(x), static_cast<uint8_t>(256 - n), 0x77};
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
      decode_delta_flc(words, pic(a));
      decode_delta_flc(runs, pic(b));
      decode_delta_fli(bytes, pic(c));
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
    Row d(rng() % 300);
    for (auto &b : d)
      b = static_cast<uint8_t>(rng());
    uint8_t pal[768];
    for (Dec dec : {Dec::flc, Dec::fli, Dec::brun, Dec::copy})
      run(dec, d, pic(g));
    decode_palette(d, pal, round & 1);
    decode_frame(d, rng() % 70000, pic(g), pal);
    ASSERT_TRUE(g.guards_intact()) << "round " << round;
  }
}

TEST(FlicEncode, WordAndByteDeltasAndRunsDecodeToTheNewFrame) {
  std::mt19937 rng(11);
  const std::pair<uint32_t, uint32_t> sizes[] = {{320, 200}, {2, 1}, {2, 5}, {600, 3}, {258, 7}, {1000, 2}};
  for (const auto &size : sizes)
    for (int round = 0; round < 30; ++round) {
      const uint32_t w = size.first, h = size.second; // plain names: the lambda below captures them
      SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " round " + std::to_string(round));
      const Row prev = edge_frame(rng, w, h, nullptr), cur = edge_frame(rng, w, h, &prev);
      const size_t n = size_t{w} * h;
      Row out(n);
      const auto check = [&](const char *name, size_t s, Dec dec, Row got) {
        if (s == 0)
          return;
        ASSERT_LT(s, n) << name;
        run(dec, Row(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(s)), Picture{got.data(), w, w, h});
        ASSERT_EQ(got, cur) << name;
      };
      check("BYTE_RUN", encode_byte_run(cur.data(), w, h, out.data(), n), Dec::brun, Row(n, 0xEE));
      if (cur == prev)
        continue;
      check("DELTA_FLC", encode_delta_flc(cur.data(), prev.data(), w, h, out.data(), n), Dec::flc, prev);
      if (w <= 255 * 4) // at most 255 packets of 4 pixels a line
        check("DELTA_FLI", encode_delta_fli(cur.data(), prev.data(), w, h, out.data(), n), Dec::fli, prev);
    }
}

TEST(FlicEncode, LineSkipsBeyond16384LinesTakeSeveralWords) {
  const uint32_t w = 2, h = 40000;
  Row prev(size_t{w} * h, 0), cur = prev;
  cur[size_t{w} * (h - 1)] = 5;
  Row out(cur.size());
  const size_t s = encode_delta_flc(cur.data(), prev.data(), w, h, out.data(), out.size());
  // Line count, skips of 16384, 16384 and 7231, packet count, one packet.
  ASSERT_EQ(s, 2u + 3 * 2 + 2 + 4);
  EXPECT_EQ(out[2] | out[3] << 8, 0xC000);
  EXPECT_EQ(out[6] | out[7] << 8, 0x10000 - 7231);
  decode_delta_flc(Row(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(s)), Picture{prev.data(), w, w, h});
  EXPECT_EQ(prev, cur);
}

TEST(FlicEncode, EncodingsThatCannotBeatTheLimitAreRefused) {
  std::mt19937 rng(5);
  const uint32_t w = 64, h = 8;
  Row a(w * h), b(w * h), out(w * h);
  for (auto &v : a)
    v = static_cast<uint8_t>(rng());
  for (auto &v : b)
    v = static_cast<uint8_t>(rng());
  EXPECT_EQ(encode_byte_run(a.data(), w, h, out.data(), out.size()), 0u);
  EXPECT_EQ(encode_delta_flc(a.data(), b.data(), w, h, out.data(), out.size()), 0u);
  EXPECT_EQ(encode_delta_fli(a.data(), b.data(), w, h, out.data(), out.size()), 0u);
  // A single colour: 1 + 2 bytes per row, accepted only while below the limit.
  const Row one(w * h, 3);
  EXPECT_EQ(encode_byte_run(one.data(), w, h, out.data(), out.size()), 3u * h);
  EXPECT_EQ(encode_byte_run(one.data(), w, h, out.data(), 3 * h), 0u);
  EXPECT_EQ(encode_byte_run(one.data(), w, h, out.data(), 3 * h + 1), 3u * h);
}

} // namespace
} // namespace vex::flic
