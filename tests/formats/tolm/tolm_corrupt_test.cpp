// Frames assembled field by field, and damaged frames: the decoder must
// read what the layout says, stay inside its buffers whatever the data
// says, and report what it had to cut or clamp.
#include <gtest/gtest.h>

#include <random>

#include "testkit/formats/tolm/tolm_random_plan.h"
#include "tests/formats/tolm/tolm_test_util.h"

namespace vex::tolm_test {
namespace {

using Pixels = std::vector<std::pair<size_t, int>>; // luma index (pitch 16 unless W says otherwise), value

Pixels square(int value) { // the top-left 8 x 8 pixels
  Pixels p;
  for (size_t i = 0; i < 64; ++i)
    p.push_back({i / 8 * 16 + i % 8, value});
  return p;
}

Bytes with_byte(Bytes data, size_t at, uint8_t value) {
  data[at] = value;
  return data;
}

// Luma-only frames of 8 x 8 pixels in a 16 x 16 buffer unless the row
// says otherwise; every code table is the plain 4-bit code 0 unless the
// row writes its own. Count fields of an 8-pixel-wide plane are 10 bits,
// the sub-block types' 9.
TEST(TolmHandFrames, FieldsAsTheLayoutSays) {
  using H = tk::HandFrame;
  // Band 0 refills everything: two skip blocks' worth of types (one per
  // band), every other bundle finished with a zero count; 186 bits in six
  // words, so any further count read runs past the data.
  const Bytes finished = H().put(2, 10).put(1, 1).put(0, 4).put(0, 9).put(0, 70).data();
  EXPECT_EQ(finished.size(), 4u + 24);
  const Bytes zeros = H().put(0, 64).data();
  const struct {
    const char *name;
    Bytes data;
    uint32_t width, height, W, H, decoder_flags, video_flags, faults;
    Pixels pixels;
    int map0 = -1; // the first block-map entry, -1 not checked
    bool untouched = false;
  } rows[] = {
      {"fill block: type 6, colour 0x4D", // fill chunk of one type, colours one element: high then low nibble
       H().put(1, 10).put(1, 1).put(6, 4).put(0, 9).put(1, 10).put(0, 1).put(0x4, 4).put(0xD, 4).empty_after_colours()
           .put(0, 10).data(),
       8, 8, 16, 16, 0, VEX_TOLM_VIDEO_NO_CHROMA, 0, square(77), 1},
      {"the same with signed colours: no size word, 128 + 77",
       H().put(1, 10).put(1, 1).put(6, 4).put(0, 9).put(1, 10).put(0, 1).put(0x4, 4).put(0xD, 4).empty_after_colours()
           .put(0, 10).data(false),
       8, 8, 16, 16, VEX_TOLM_DECODE_SIGNED_COLOURS, VEX_TOLM_VIDEO_NO_CHROMA, 0, square(205), 1},
      {"finished bundles are not read again: band 1 reads nothing", finished, 8, 16, 16, 16, 0,
       VEX_TOLM_VIDEO_NO_CHROMA, 0, {}},
      {"band 2 must refill the exhausted block types", finished, 8, 24, 16, 32, 0, VEX_TOLM_VIDEO_NO_CHROMA,
       VEX_TOLM_FAULT_DATA_END | VEX_TOLM_FAULT_UNDERRUN, {}},
      // Block-type table: code 5, explicit head of three symbols 7, 3, 6; the
      // rest follow in increasing order, so position 2 (code word 0100) is 6.
      {"explicit head of the symbol order",
       H().clear().put(5, 4).put(1, 1).put(2, 3).put(7, 4).put(3, 4).put(6, 4).put(0, 4 * 22).put(1, 10).put(0, 1)
           .put(0b0010, 4).put(0, 9).put(1, 10).put(1, 1).put(0x2, 4).put(0x1, 4).empty_after_colours().put(0, 10).data(),
       8, 8, 16, 16, 0, VEX_TOLM_VIDEO_NO_CHROMA, 0, {{0, 0x21}, {7 * 16 + 7, 0x21}}},
      // Merge form, one level, for the colours' own table: pairs unswapped,
      // then (0,1)+(2,3) merged by bits 1,0,1 -> 2 0 3 1; the other merges take
      // the first list (bits 0,0). Position 0 of code 1 (word "0") is symbol 2.
      {"merged symbol order",
       H().clear().put(0, 4 * 18).put(1, 4).put(0, 1).put(1, 2).put(0, 8).put(0b101, 3).put(0, 6).put(0, 4 * 4)
           .put(1, 10).put(1, 1).put(6, 4).put(0, 9).put(1, 10).put(1, 1).put(0x5, 4).put(0, 1).empty_after_colours()
           .put(0, 10).data(),
       8, 8, 16, 16, 0, VEX_TOLM_VIDEO_NO_CHROMA, 0, {{0, 0x52}}},
      {"repeat 32 in a chunk of one: cut, value 0 (a skip block)",
       H().put(1, 10).put(0, 1).put(15, 4).put(0, 9).put(0, 10).empty_after_colours().put(0, 10).data(), 8, 8, 16, 16,
       0, VEX_TOLM_VIDEO_NO_CHROMA, VEX_TOLM_FAULT_CHUNK, {}, 0},
      // 1023 elements in a bundle of 514: cut to 514; the sub-block types of
      // half of 16 wide (513) take 10 bits. Two fill blocks but one colour
      // (0x03): the second takes from an empty bundle.
      {"chunk longer than its bundle",
       H().put(1023, 10).put(1, 1).put(6, 4).put(0, 10).put(1, 10).put(1, 1).put(0x30, 8).empty_after_colours()
           .put(0, 10).data(),
       16, 8, 16, 16, 0, VEX_TOLM_VIDEO_NO_CHROMA, VEX_TOLM_FAULT_CHUNK | VEX_TOLM_FAULT_UNDERRUN, {{0, 3}, {8, 0}}},
      // One run block, five colours (high nibble first) 0x10..0x50, runs of
      // 10, 16, 16, 16, 16 in scan 0, each of one colour: 74 pixels. Scan 0
      // snakes down and up the columns: step 63 is pixel (0, 7), in the last
      // run, cut to steps 58-63; pixel (7, 7) is step 56, in run 4.
      {"runs past pixel 63",
       H().put(1, 10).put(1, 1).put(3, 4).put(0, 9).put(5, 10).put(0, 1).put(0x40302010, 32).put(0x50, 8)
           .empty_after_colours().put(5, 10).put(0, 1).put(0xFFFF9, 20).put(0, 4).put(0b11111, 5).data(),
       8, 8, 16, 16, 0, VEX_TOLM_VIDEO_NO_CHROMA, VEX_TOLM_FAULT_RUN, {{7, 0x05}, {7 * 16 + 7, 0x04}, {0, 0x01}}},
      {"luma size past the end", with_byte(zeros, 0, 0xFF), 8, 8, 16, 16, 0, VEX_TOLM_VIDEO_NO_CHROMA,
       VEX_TOLM_FAULT_LAYOUT, {}},
      {"luma size smaller than its own word", with_byte(zeros, 0, 2), 8, 8, 16, 16, 0, VEX_TOLM_VIDEO_NO_CHROMA,
       VEX_TOLM_FAULT_LAYOUT, {}},
      {"two bytes of data", {1, 0}, 8, 8, 16, 16, 0, VEX_TOLM_VIDEO_NO_CHROMA, VEX_TOLM_FAULT_LAYOUT, {}},
      {"alpha size past the end", {200, 0, 0, 0, 8, 0, 0, 0}, 8, 8, 16, 16, VEX_TOLM_DECODE_ALPHA,
       VEX_TOLM_VIDEO_ALPHA, VEX_TOLM_FAULT_LAYOUT, {}},
      {"padded width not a multiple of 16", Bytes(64, 0), 8, 8, 20, 16, 0, 0, VEX_TOLM_FAULT_GEOMETRY, {}},
      {"width past the padded width", Bytes(64, 0), 24, 8, 16, 16, 0, 0, VEX_TOLM_FAULT_GEOMETRY, {}, -1, true},
      {"width 0", Bytes(64, 0), 0, 8, 16, 16, 0, 0, VEX_TOLM_FAULT_GEOMETRY, {}, -1, true},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    const tk::HandDecoded d = tk::decode_hand(r.data, r.width, r.height, r.W, r.H, r.decoder_flags, r.video_flags);
    EXPECT_EQ(d.faults, r.faults);
    for (auto [at, value] : r.pixels)
      EXPECT_EQ(d.picture.yuv[at], value) << "pixel " << at;
    if (r.map0 >= 0) {
      EXPECT_EQ(d.map[0], r.map0);
    }
    if (r.untouched) {
      EXPECT_EQ(d.picture.yuv, tk::random_picture(r.W, r.H, false, 9).yuv);
    }
  }
}

TEST(TolmCorrupt, EveryTruncationOfAValidFrameIsReported) {
  std::mt19937 rng(21);
  tk::RandomPlanOptions ro;
  ro.has_alpha = true;
  tk::FramePlan plan = tk::random_plan(24, 16, rng, ro);
  const auto full = tk::encode_frame(plan);
  const tk::FrameDecoder d(plan.padded_width);
  for (size_t n = 0; n + 4 <= full.size(); ++n) {
    const Bytes cut(full.begin(), full.begin() + n);
    tk::Picture target(plan.padded_width, plan.padded_height, true), ref = target;
    ASSERT_NE(d.decode(plan, cut, target, ref), 0u) << "length " << n;
  }
}

TEST(TolmCorrupt, RandomBytesStayInsideGuardedBuffers) {
  // Targets with guard bytes behind every buffer; ASan builds check the
  // bundle buffers and the data as well.
  std::mt19937 rng(99);
  for (int trial = 0; trial < 400; ++trial) {
    const uint32_t W = 16 * (1 + rng() % 4), H = 16 * (1 + rng() % 3);
    const uint32_t width = 1 + rng() % W, height = 1 + rng() % H;
    Bytes data(rng() % 600);
    for (uint8_t &b : data)
      b = static_cast<uint8_t>(rng() & (trial % 3 ? 0xFF : 0x11)); // sparse bits reach deeper
    const size_t frame = size_t{W} * H * 3 / 2, plane = size_t{W} * H, blocks = size_t{W / 16} * (H / 16), guard = 64;
    Bytes target(frame + guard, 0xAA), ref(frame, 0x55), alpha(plane + guard, 0xAA), ref_alpha(plane, 0x55),
        map(blocks + guard, 0);
    const tk::FrameDecoder dec(W);
    formats::tolm::TolmFrameArgs a;
    a.target = target.data();
    a.reference = ref.data();
    a.target_alpha = alpha.data();
    a.reference_alpha = ref_alpha.data();
    a.block_map = map.data();
    a.width = width;
    a.height = height;
    a.padded_width = W;
    a.padded_height = H;
    a.data = data;
    a.bundles = dec.bundles();
    a.decoder_flags = (rng() & 1 ? VEX_TOLM_DECODE_SIGNED_COLOURS : 0) | (rng() & 1 ? VEX_TOLM_DECODE_ALPHA : 0);
    a.video_flags = (rng() & 1 ? VEX_TOLM_VIDEO_ALPHA : 0) | (rng() % 4 == 0 ? VEX_TOLM_VIDEO_NO_CHROMA : 0);
    formats::tolm::TolmExpandFrame(a);
    ASSERT_EQ(Bytes(target.begin() + frame, target.end()), Bytes(guard, 0xAA)) << "trial " << trial;
    ASSERT_EQ(Bytes(alpha.begin() + plane, alpha.end()), Bytes(guard, 0xAA)) << "trial " << trial;
    ASSERT_EQ(Bytes(map.begin() + blocks, map.end()), Bytes(guard, 0)) << "trial " << trial;
  }
}

} // namespace
} // namespace vex::tolm_test
