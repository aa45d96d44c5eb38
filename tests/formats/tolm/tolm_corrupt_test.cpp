// Frames assembled bit by bit, and damaged frames: the decoder must read
// what the layout says, stay inside its buffers whatever the data says, and
// report what it had to cut or clamp.
#include <gtest/gtest.h>

#include <random>

#include "testkit/formats/tolm/tolm_bit_writer.h"
#include "testkit/formats/tolm/tolm_random_plan.h"
#include "tests/formats/tolm/tolm_test_util.h"

namespace vex::tolm_test {
namespace {

using tk::BitWriter;

// A luma-only frame of width8 x 8 pixels in a 16 x 16 buffer, every code
// table the plain 4-bit code 0.
struct HandFrame {
  uint32_t width8;
  BitWriter bits;
  explicit HandFrame(uint32_t w8) : width8(w8) { bits.put(0, 4 * 23); }
  void put(uint32_t v, int n) { bits.put(v, n); }
  std::vector<uint8_t> data(bool size_word = true) const {
    std::vector<uint8_t> plane = bits.bytes(), out;
    if (size_word) {
      const uint32_t l = static_cast<uint32_t>(plane.size() + 4);
      for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(l >> (8 * i)));
    }
    out.insert(out.end(), plane.begin(), plane.end());
    return out;
  }
};

struct Decoded {
  uint32_t faults;
  tk::Picture picture;
  std::vector<uint8_t> map;
};

Decoded decode(const std::vector<uint8_t> &data, uint32_t width, uint32_t decoder_flags = 0,
               uint32_t video_flags = VEX_TOLM_VIDEO_NO_CHROMA, uint32_t W = 16, uint32_t H = 16,
               uint32_t height = 8) {
  Decoded d{0, random_picture(W, H, false, 9), std::vector<uint8_t>(size_t{W / 16} * (H / 16), 0)};
  const tk::Picture ref = random_picture(W, H, false, 10);
  Decoder dec(W);
  formats::tolm::TolmFrameArgs a;
  a.target = d.picture.yuv.data();
  a.reference = ref.yuv.data();
  a.block_map = d.map.data();
  a.width = width;
  a.height = height;
  a.padded_width = W;
  a.padded_height = H;
  a.data = data;
  a.bundles = dec.bundles();
  a.decoder_flags = decoder_flags;
  a.video_flags = video_flags;
  d.faults = formats::tolm::TolmExpandFrame(a);
  return d;
}

// Refill of band 0 for an 8-pixel-wide plane: every count field is 10 bits
// except the sub-block types' 9.
void empty_bundles_after_colours(HandFrame &f) {
  f.put(0, 10); // patterns
  f.put(0, 10); // x offsets
  f.put(0, 10); // y offsets
  f.put(0, 10); // intra DC
  f.put(0, 10); // inter DC
}

TEST(TolmHandFrames, FillBlockBitByBit) {
  for (bool signed_colours : {false, true}) {
    HandFrame f(8);
    f.put(1, 10);  // block types: one element
    f.put(1, 1);   // fill
    f.put(6, 4);   //   with type 6
    f.put(0, 9);   // sub-block types: finished
    f.put(1, 10);  // colours: one element
    f.put(0, 1);   // not a fill chunk
    f.put(0x4, 4); //   high nibble (context 0 table, code 0)
    f.put(0xD, 4); //   low nibble -> 0x4D = 77
    empty_bundles_after_colours(f);
    f.put(0, 10); // runs
    const auto d = decode(f.data(!signed_colours), 8, signed_colours ? VEX_TOLM_DECODE_SIGNED_COLOURS : 0);
    EXPECT_EQ(d.faults, 0u);
    const int want = signed_colours ? 128 + 77 : 77;
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < 8; ++c)
        ASSERT_EQ(d.picture.yuv[r * 16 + c], want) << r << "," << c;
    EXPECT_EQ(d.map[0], 1);
  }
}

TEST(TolmHandFrames, FinishedBundlesAreNotReadAgain) {
  // Band 0 refills everything: two skip blocks' worth of types (one per
  // band), every other bundle finished with a zero count. The data ends in
  // the padding of its last word, so any further count read would run past
  // it.
  HandFrame f(8);
  f.put(2, 10), f.put(1, 1), f.put(0, 4); // types: 2 x skip
  f.put(0, 9);                            // sub-block types finished
  for (int i = 0; i < 7; ++i)
    f.put(0, 10); // colours ... runs finished
  const auto data = f.data();
  EXPECT_EQ(data.size(), 4u + 24); // 186 bits in six words
  // Two bands: band 1 reads nothing.
  EXPECT_EQ(decode(data, 8, 0, VEX_TOLM_VIDEO_NO_CHROMA, 16, 16, 16).faults, 0u);
  // Three bands: band 2 must refill the exhausted block types and so
  // reads past the end.
  EXPECT_EQ(decode(data, 8, 0, VEX_TOLM_VIDEO_NO_CHROMA, 16, 32, 24).faults,
            static_cast<uint32_t>(VEX_TOLM_FAULT_DATA_END | VEX_TOLM_FAULT_UNDERRUN));
}

TEST(TolmHandFrames, CodeTablePermutationForms) {
  // Block-type table: code 5, explicit head of three symbols 7, 3, 6; the
  // rest follow in increasing order, so position 2 (code word 0100) is 6.
  HandFrame f(8);
  BitWriter &w = f.bits;
  w = BitWriter();
  w.put(5, 4);
  w.put(1, 1);
  w.put(2, 3);
  w.put(7, 4);
  w.put(3, 4);
  w.put(6, 4);
  w.put(0, 4 * 22); // the other tables: code 0
  w.put(1, 10);     // block types: one element, coded
  w.put(0, 1);
  w.put(0b0010, 4); // "0100" in reading order: position 2 of code 5
  w.put(0, 9);
  w.put(1, 10);
  w.put(1, 1); // colours: fill chunk
  w.put(0x2, 4);
  w.put(0x1, 4); // 0x21
  empty_bundles_after_colours(f);
  w.put(0, 10);
  const auto d = decode(f.data(), 8);
  EXPECT_EQ(d.faults, 0u);
  EXPECT_EQ(d.picture.yuv[0], 0x21); // type 6 (fill) was decoded
  EXPECT_EQ(d.picture.yuv[7 * 16 + 7], 0x21);

  // Merge form, one level, for the colours' own table: pairs unswapped,
  // then (0,1)+(2,3) merged by bits 1,0,1 -> 2 0 3 1; the other merges take
  // the first list (bits 0,0). Position 0 of code 1 (word "0") is symbol 2.
  HandFrame g(8);
  BitWriter &v = g.bits;
  v = BitWriter();
  v.put(0, 4 * 18); // block types, sub types, sixteen contexts
  v.put(1, 4);
  v.put(0, 1);
  v.put(1, 2);
  v.put(0, 8);                                      // no swaps
  v.put(0b101, 3);                                  // merge 0,1 with 2,3
  v.put(0, 2), v.put(0, 2), v.put(0, 2);            // the other three merges
  v.put(0, 4 * 4);                                  // patterns, x, y, runs
  v.put(1, 10), v.put(1, 1), v.put(6, 4), v.put(0, 9); // one fill block
  v.put(1, 10), v.put(1, 1), v.put(0x5, 4), v.put(0, 1); // colour 0x5 high, low "0" -> 2
  empty_bundles_after_colours(g);
  v.put(0, 10);
  const auto e = decode(g.data(), 8);
  EXPECT_EQ(e.faults, 0u);
  EXPECT_EQ(e.picture.yuv[0], 0x52);
}

TEST(TolmCorrupt, RepeatPastTheChunk) {
  HandFrame f(8);
  f.put(1, 10);
  f.put(0, 1);
  f.put(15, 4); // repeat 32 in a chunk of one: cut, value 0 (skip)
  f.put(0, 9);
  f.put(0, 10); // colours finished
  empty_bundles_after_colours(f);
  f.put(0, 10);
  const auto d = decode(f.data(), 8);
  EXPECT_EQ(d.faults, static_cast<uint32_t>(VEX_TOLM_FAULT_CHUNK));
  EXPECT_EQ(d.map[0], 0); // a skip block
}

TEST(TolmCorrupt, ChunkLongerThanItsBundleAndBlocksPastTheBundle) {
  HandFrame f(16);
  f.put(1023, 10); // 1023 elements in a bundle of 514: cut to 514
  f.put(1, 1);
  f.put(6, 4);
  f.put(0, 10); // sub-block types (half of 16 wide: 513, 10 bits)
  f.put(1, 10);
  f.put(1, 1);
  f.put(0x30, 8); // colour 0x03 (high 0, low 3)
  empty_bundles_after_colours(f);
  f.put(0, 10);
  auto d = decode(f.data(), 16);
  EXPECT_EQ(d.faults, static_cast<uint32_t>(VEX_TOLM_FAULT_CHUNK | VEX_TOLM_FAULT_UNDERRUN));
  // Two fill blocks but one colour: the second takes from an empty bundle.
  EXPECT_EQ(d.picture.yuv[0], 3);
  EXPECT_EQ(d.picture.yuv[8], 0);
}

TEST(TolmCorrupt, RunsPastPixel63) {
  HandFrame f(8);
  f.put(1, 10), f.put(1, 1), f.put(3, 4); // one run block
  f.put(0, 9);
  f.put(5, 10), f.put(0, 1);               // five colours 1..5
  for (int c = 1; c <= 5; ++c)
    f.put(c << 4, 8);                      // low nibble 0, high c (first read: high)
  empty_bundles_after_colours(f);
  f.put(5, 10), f.put(0, 1);               // runs 10, 16, 16, 16, 16
  for (int r : {9, 15, 15, 15, 15})
    f.put(r, 4);
  f.put(0, 4);                             // scan 0
  f.put(0b11111, 5);                       // five one-colour runs: 10+16*4 = 74
  const auto d = decode(f.data(), 8);
  EXPECT_EQ(d.faults, static_cast<uint32_t>(VEX_TOLM_FAULT_RUN));
  // Scan 0 snakes down and up the columns: step 63 is pixel (0, 7), in the
  // last run, cut to steps 58-63; pixel (7, 7) is step 56, in run 4.
  EXPECT_EQ(d.picture.yuv[7], 0x05);
  EXPECT_EQ(d.picture.yuv[7 * 16 + 7], 0x04);
  EXPECT_EQ(d.picture.yuv[0], 0x01);
}

TEST(TolmCorrupt, MotionLeavingThePlaneIsClamped) {
  tk::FramePlan plan = tk::uniform_plan(32, 16, tk::kMotion);
  for (auto &plane : plan.planes)
    for (auto &band : plane.bands)
      for (auto &b : band) {
        b.dx = -15;
        b.dy = 15;
      }
  const auto data = tk::encode_frame(plan);
  const auto ref = random_picture(32, 16, false, 1);
  tk::Picture target = random_picture(32, 16, false, 2);
  const tk::Picture initial = target;
  Decoder d(32);
  EXPECT_EQ(d.decode(plan, data, target, ref), static_cast<uint32_t>(VEX_TOLM_FAULT_MOTION));
  // The reference block moved back inside: left column, bottom rows.
  EXPECT_EQ(compare(tk::model_frame(plan, ref, initial), target).count, 0u);
  EXPECT_EQ(target.yuv[0], ref.yuv[8 * 32 + 0]);
}

TEST(TolmCorrupt, SizeWordsOutsideTheData) {
  HandFrame f(8);
  f.put(0, 64);
  auto data = f.data();
  data[0] = 0xFF; // luma size past the end
  EXPECT_EQ(decode(data, 8).faults, static_cast<uint32_t>(VEX_TOLM_FAULT_LAYOUT));
  data[0] = 2; // smaller than its own word
  EXPECT_EQ(decode(data, 8).faults, static_cast<uint32_t>(VEX_TOLM_FAULT_LAYOUT));
  EXPECT_EQ(decode({1, 0}, 8).faults, static_cast<uint32_t>(VEX_TOLM_FAULT_LAYOUT));
  const std::vector<uint8_t> alpha = {200, 0, 0, 0, 8, 0, 0, 0};
  EXPECT_EQ(decode(alpha, 8, VEX_TOLM_DECODE_ALPHA, VEX_TOLM_VIDEO_ALPHA).faults,
            static_cast<uint32_t>(VEX_TOLM_FAULT_LAYOUT));
}

TEST(TolmCorrupt, SizesThatDoNotFitThePlanes) {
  const std::vector<uint8_t> data(64, 0);
  auto before = random_picture(16, 16, false, 9);
  for (auto [width, W] : {std::pair{8u, 20u}, {24u, 16u}, {0u, 16u}}) {
    const auto d = decode(data, width, 0, 0, W, 16);
    EXPECT_EQ(d.faults, static_cast<uint32_t>(VEX_TOLM_FAULT_GEOMETRY));
    if (W == 16) {
      EXPECT_EQ(d.picture.yuv, before.yuv); // nothing written
    }
  }
}

TEST(TolmCorrupt, EveryTruncationOfAValidFrame) {
  std::mt19937 rng(21);
  tk::RandomPlanOptions ro;
  ro.has_alpha = true;
  tk::FramePlan plan = tk::random_plan(24, 16, rng, ro);
  const auto full = tk::encode_frame(plan);
  Decoder d(plan.padded_width);
  for (size_t n = 0; n + 4 <= full.size(); ++n) {
    const std::vector<uint8_t> cut(full.begin(), full.begin() + n);
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
    std::vector<uint8_t> data(rng() % 600);
    for (uint8_t &b : data)
      b = static_cast<uint8_t>(rng() & (trial % 3 ? 0xFF : 0x11)); // sparse bits reach deeper
    const size_t frame = size_t{W} * H * 3 / 2, guard = 64;
    std::vector<uint8_t> target(frame + guard, 0xAA), ref(frame, 0x55), alpha(size_t{W} * H + guard, 0xAA),
        ref_alpha(size_t{W} * H, 0x55), map(size_t{W / 16} * (H / 16) + guard, 0);
    Decoder dec(W);
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
    for (size_t i = 0; i < guard; ++i) {
      ASSERT_EQ(target[frame + i], 0xAA) << "trial " << trial;
      ASSERT_EQ(alpha[size_t{W} * H + i], 0xAA) << "trial " << trial;
      ASSERT_EQ(map[size_t{W / 16} * (H / 16) + i], 0) << "trial " << trial;
    }
  }
}

} // namespace
} // namespace vex::tolm_test
