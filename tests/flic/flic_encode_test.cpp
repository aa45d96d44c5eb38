// The writer's encoders against the reader's decoders: whatever the frames,
// decoding the encoding onto the previous frame gives the new frame, and an
// encoding that could not stay below its limit is refused.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "flic/flic_decode.h"
#include "flic/flic_encode.h"

namespace vex::flic {
namespace {

using Frame = std::vector<uint8_t>;

// Frames built to hit the encoders' limits: long runs (over 127), long
// unchanged stretches (over 254 bytes), alternating values, single changed
// bytes at the row ends, and noise.
Frame make_frame(std::mt19937 &rng, uint32_t w, uint32_t h, const Frame *base) {
  Frame f = base ? *base : Frame(size_t{w} * h, 0);
  const int kind = static_cast<int>(rng() % 6);
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t *row = f.data() + size_t{y} * w;
    switch ((kind + y) % 6) {
    case 0: break; // unchanged line
    case 1:
      for (uint32_t x = 0; x < w; ++x)
        row[x] = static_cast<uint8_t>(rng());
      break;
    case 2: {
      const uint32_t a = rng() % w, len = rng() % (w - a + 1);
      std::fill(row + a, row + a + len, static_cast<uint8_t>(rng()));
      break;
    }
    case 3:
      for (uint32_t x = 0; x < w; ++x)
        row[x] = static_cast<uint8_t>((x / (1 + rng() % 3)) & 1 ? 7 : 9);
      break;
    case 4:
      row[0] ^= 1;
      row[w - 1] ^= 2;
      break;
    default:
      for (uint32_t x = 0; x < w; x += 1 + rng() % 9)
        row[x] = static_cast<uint8_t>(rng());
    }
  }
  return f;
}

void decode_onto(std::vector<uint8_t> &frame, uint32_t w, uint32_t h, const uint8_t *data, size_t size,
                 void (*dec)(Bytes, const Picture &)) {
  dec(Bytes(data, size), Picture{frame.data(), w, w, h});
}

TEST(FlicEncode, WordAndByteDeltasAndRunsDecodeToTheNewFrame) {
  std::mt19937 rng(11);
  const std::pair<uint32_t, uint32_t> sizes[] = {{320, 200}, {2, 1}, {2, 5}, {600, 3}, {258, 7}, {1000, 2}};
  for (auto [w, h] : sizes)
    for (int round = 0; round < 30; ++round) {
      SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " round " + std::to_string(round));
      const Frame prev = make_frame(rng, w, h, nullptr);
      const Frame cur = make_frame(rng, w, h, &prev);
      const size_t n = size_t{w} * h;
      std::vector<uint8_t> out(n);
      if (size_t s = encode_byte_run(cur.data(), w, h, out.data(), n)) {
        ASSERT_LT(s, n);
        Frame got(n, 0xEE);
        decode_onto(got, w, h, out.data(), s, decode_byte_run);
        ASSERT_EQ(got, cur) << "BYTE_RUN";
      }
      if (cur == prev)
        continue;
      if (size_t s = encode_delta_flc(cur.data(), prev.data(), w, h, out.data(), n)) {
        ASSERT_LT(s, n);
        Frame got = prev;
        decode_onto(got, w, h, out.data(), s, decode_delta_flc);
        ASSERT_EQ(got, cur) << "DELTA_FLC";
      }
      if (h <= 65535 && w <= 255 * 4)
        if (size_t s = encode_delta_fli(cur.data(), prev.data(), w, h, out.data(), n)) {
          ASSERT_LT(s, n);
          Frame got = prev;
          decode_onto(got, w, h, out.data(), s, decode_delta_fli);
          ASSERT_EQ(got, cur) << "DELTA_FLI";
        }
    }
}

TEST(FlicEncode, LineSkipsBeyond16384LinesTakeSeveralWords) {
  const uint32_t w = 2, h = 40000;
  Frame prev(size_t{w} * h, 0), cur = prev;
  cur[size_t{w} * (h - 1)] = 5;
  std::vector<uint8_t> out(cur.size());
  const size_t s = encode_delta_flc(cur.data(), prev.data(), w, h, out.data(), out.size());
  // Line count, skips of 16384, 16384 and 7231, packet count, one packet.
  ASSERT_EQ(s, 2u + 3 * 2 + 2 + 4);
  EXPECT_EQ(out[2] | out[3] << 8, 0xC000);
  EXPECT_EQ(out[6] | out[7] << 8, 0x10000 - 7231);
  Frame got = prev;
  decode_onto(got, w, h, out.data(), s, decode_delta_flc);
  EXPECT_EQ(got, cur);
}

TEST(FlicEncode, EncodingsThatCannotBeatTheLimitAreRefused) {
  std::mt19937 rng(5);
  const uint32_t w = 64, h = 8;
  Frame a(w * h), b(w * h);
  for (auto &v : a)
    v = static_cast<uint8_t>(rng());
  for (auto &v : b)
    v = static_cast<uint8_t>(rng());
  std::vector<uint8_t> out(w * h);
  EXPECT_EQ(encode_byte_run(a.data(), w, h, out.data(), out.size()), 0u);
  EXPECT_EQ(encode_delta_flc(a.data(), b.data(), w, h, out.data(), out.size()), 0u);
  EXPECT_EQ(encode_delta_fli(a.data(), b.data(), w, h, out.data(), out.size()), 0u);
  // A single colour: 1 + 2 bytes per row, accepted only while below the limit.
  const Frame one(w * h, 3);
  EXPECT_EQ(encode_byte_run(one.data(), w, h, out.data(), out.size()), 3u * h);
  EXPECT_EQ(encode_byte_run(one.data(), w, h, out.data(), 3 * h), 0u);
  EXPECT_EQ(encode_byte_run(one.data(), w, h, out.data(), 3 * h + 1), 3u * h);
}

} // namespace
} // namespace vex::flic
