// Frames planned block by block, packed by the test encoder and decoded:
// the decoder must produce the pictures and block maps the plans imply,
// read hand-assembled fields as the layout says, stay inside its buffers
// and report what it cut or clamped on damaged data, decode the encoder's
// real-content mode close to the source, and allocate nothing (counted
// through the global allocation functions of this test program: the
// runtime's array and nothrow forms go through the ones replaced here).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <new>
#include <random>

#include "testkit/formats/tolm/tolm_frame_args.h"
#include "testkit/formats/tolm/tolm_random_plan.h"
#include "testkit/formats/tolm/yuv_scenes.h"
#include "tests/formats/tolm/tolm_test_util.h"

// Every operator new of the process, counted (allocation_counter.cpp; a
// translation unit of its own, so that no inlined pair of new and delete
// here looks mismatched to the compiler).
extern std::atomic<long> g_allocations;

namespace vex::tolm_test {
namespace {

using tk::BlockPlan;
using tk::FramePlan;

struct Outcome {
  tk::Picture target, reference, initial;
  std::vector<uint8_t> map;
};

struct Row {
  std::string name;
  FramePlan plan;
  tk::EncodeOptions options = {};
  uint32_t faults = 0;
  std::function<void(const FramePlan &, const Outcome &)> check = nullptr; // values worked out by hand
  bool ignore_alpha = false; // the data has an alpha plane, the caller does not ask for it
};

FramePlan plan_of(uint8_t type, uint32_t width, uint32_t height, uint32_t seed, tk::RandomPlanOptions options = {}) {
  std::mt19937 rng(seed);
  options.types = {type};
  return tk::random_plan(width, height, rng, options);
}

FramePlan luma_plan(uint32_t width, uint32_t height, uint8_t type) {
  FramePlan plan = tk::uniform_plan(width, height, type);
  plan.no_chroma = true;
  return plan;
}

// Each block type alone, mixed blocks of many seeds and sizes, every scan
// order, every code table with every permutation form, the chunk layouts
// (one chunk per band or as many bands as fit, with and without repeat
// symbols and fill chunks), both quantiser tables at every quantiser, sizes
// that are and are not multiples of 8 and 16, the alpha plane with the
// frame flags, and blocks worked out by hand.
std::vector<Row> rows() {
  std::vector<Row> rows;
  for (uint8_t type = 0; type <= 9; ++type)
    rows.push_back({"type " + std::to_string(type), plan_of(type, 48, 32, 100 + type)});
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    rows.push_back(
        {"mixed, seed " + std::to_string(seed), tk::random_plan(40 + 8 * (seed % 5), 24 + 8 * (seed % 3), rng)});
  }
  for (uint8_t scan = 0; scan < 16; ++scan) {
    rows.push_back({"scan " + std::to_string(scan), plan_of(tk::kRun, 32, 16, 300 + scan)});
    for (auto &plane : rows.back().plan.planes)
      for (auto &band : plane.bands)
        for (auto &b : band)
          b.scan = scan;
  }
  for (int code = 0; code < 16; ++code)
    for (int form = -1; form <= 4; ++form) {
      std::mt19937 rng(1000 + code * 8 + form);
      rows.push_back({"code " + std::to_string(code) + " form " + std::to_string(form), tk::random_plan(48, 24, rng)});
      rows.back().options.tables = {code, form};
    }
  for (int variant = 0; variant < 8; ++variant) {
    std::mt19937 rng(77 + variant);
    tk::RandomPlanOptions ro;
    ro.types = {0, 0, 0, 2, 6, 6, 8, 5}; // long runs of equal block types
    rows.push_back({"chunk layout " + std::to_string(variant), tk::random_plan(64, 48, rng, ro)});
    rows.back().options = {{}, (variant & 1) != 0, (variant & 2) != 0, (variant & 4) != 0};
    ro = {};
    ro.has_alpha = variant & 1;
    ro.no_chroma = variant & 2;
    ro.signed_colours = variant & 4;
    ro.types = {0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}; // skips: a sparse block map
    rng.seed(40 + variant);
    rows.push_back({"alpha and flags " + std::to_string(variant),
                    tk::random_plan(24 + 8 * variant, 16 + 8 * (variant % 4), rng, ro)});
  }
  for (uint8_t type : {tk::kIntra, tk::kInter})
    for (uint8_t q = 0; q < 16; ++q) {
      tk::RandomPlanOptions ro;
      ro.quantiser = q;
      rows.push_back({"type " + std::to_string(type) + " q " + std::to_string(q), plan_of(type, 32, 16, 500 + q, ro)});
    }
  uint32_t seed = 900;
  for (auto [w, h] : {std::pair{1u, 1u}, {7u, 9u}, {8u, 8u}, {16u, 16u}, {17u, 23u}, {33u, 8u}, {40u, 40u},
                      {100u, 50u}, {15u, 47u}, {64u, 17u}}) {
    std::mt19937 rng(seed++);
    rows.push_back({std::to_string(w) + "x" + std::to_string(h), tk::random_plan(w, h, rng)});
  }
  {
    std::mt19937 rng(3);
    tk::RandomPlanOptions ro;
    ro.has_alpha = true;
    rows.push_back({"alpha present but not decoded", tk::random_plan(32, 16, rng, ro)});
    rows.back().ignore_alpha = true;
  }
  { // With the signed-colour flag a stored byte v < 128 means 128 + v and
    // v >= 128 means 256 - v; colours 1..255 are all reachable.
    FramePlan plan = luma_plan(16, 8, tk::kRaw);
    plan.signed_colours = true;
    for (auto &band : plan.planes[tk::kLuma].bands)
      for (size_t i = 0; i < band.size(); ++i)
        for (int k = 0; k < 64; ++k)
          band[i].colours.push_back(static_cast<uint8_t>(1 + (i * 64 + k) * 2));
    rows.push_back({"signed colours", plan, {}, 0, [](const FramePlan &p, const Outcome &) {
                      // The same frame without the flag carries the luma size word, which the
                      // signed reading takes as picture data: the two readings must differ.
                      FramePlan plain = p;
                      plain.signed_colours = false;
                      const auto data = tk::encode_frame(plain);
                      tk::Picture a(16, 16, false), b = a;
                      const tk::FrameDecoder d(16);
                      d.decode(plain, data, a, a);
                      plain.signed_colours = true;
                      d.decode(plain, data, b, b);
                      EXPECT_NE(a.yuv, b.yuv);
                    }});
  }
  {
    FramePlan plan = luma_plan(16, 8, tk::kRun);
    auto &band = plan.planes[tk::kLuma].bands[0];
    // 4 runs of 16 reach 64: no extra colour is read.
    band[0].runs = {{true, 16}, {true, 16}, {true, 16}, {true, 16}};
    band[0].colours = {10, 20, 30, 40};
    // 3 x 16 + 15 = 63: the last pixel of the scan takes one more colour.
    band[1].scan = 7;
    band[1].runs = {{true, 16}, {false, 15}, {true, 16}, {true, 16}};
    band[1].colours = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 99};
    rows.push_back({"run blocks ending at 63 and 64", plan, {}, 0, [](const FramePlan &, const Outcome &o) {
                      EXPECT_EQ(o.target.yuv[7 * 16 + 0], 10); // scan 0 goes down column 0 first
                      EXPECT_EQ(o.target.yuv[7 * 16 + 7], 40); // its step 63 is pixel 7
                      EXPECT_EQ(o.target.yuv[7 * 16 + 8], 99); // scan 7 snakes along rows to pixel 56
                    }});
  }
  {
    FramePlan plan = luma_plan(32, 32, tk::kSkip);
    auto &bands = plan.planes[tk::kLuma].bands;
    BlockPlan scaled, skip;
    scaled.type = tk::kScaled;
    scaled.sub_type = tk::kPattern;
    scaled.colours = {50, 200};
    scaled.pattern = {0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0};
    // Band 0: scaled over x 0-15, rows 0-15; band 1 repeats it (nothing
    // read). Band 3 (odd, rows 24-31): a scaled value writes nothing but
    // still marks its two block-map halves.
    bands = {{scaled, skip, skip}, {scaled, skip, skip}, {skip, skip, skip, skip}, {skip, skip, scaled}};
    rows.push_back({"scaled blocks in even and odd bands", plan, {}, 0, [](const FramePlan &, const Outcome &o) {
                      // A pattern bit covers 2 x 2 pixels: row 0 bits 0-3 set -> x 0-7 second colour.
                      EXPECT_EQ(o.target.yuv[0], 200);
                      EXPECT_EQ(o.target.yuv[32 * 1 + 8], 50);
                      EXPECT_EQ(o.target.yuv[32 * 2 + 0], 50);
                      EXPECT_EQ(o.target.yuv[32 * 15 + 15], 200);
                      EXPECT_EQ(o.target.yuv[32 * 24 + 20], o.initial.yuv[32 * 24 + 20]);
                      EXPECT_EQ(o.map, (std::vector<uint8_t>{1, 0, 0, 1}));
                    }});
  }
  {
    FramePlan plan = luma_plan(32, 8, tk::kSkip);
    auto &band = plan.planes[tk::kLuma].bands[0];
    band[0].type = 10;
    band[1].type = 11;
    band[2].type = tk::kScaled;
    band[2].sub_type = tk::kMotion; // not a scaled sub-type: nothing written
    band.pop_back();
    rows.push_back({"unknown types leave the target alone", plan});
  }
  {
    FramePlan plan = luma_plan(8, 8, tk::kResidue);
    std::array<int8_t, 64> wanted;
    for (int k = 0; k < 64; ++k) // 7 events each
      wanted[k] = static_cast<int8_t>(k % 2 ? 127 : -127);
    plan.planes[tk::kLuma].bands[0][0].residue = wanted;
    rows.push_back({"residue longer than the event limit", plan, {}, 0, [wanted](const FramePlan &p, const Outcome &) {
                      // The encoder has cut the plan to what 128 events carry.
                      EXPECT_NE(p.planes[tk::kLuma].bands[0][0].residue, wanted);
                    }});
  }
  {
    FramePlan plan = tk::uniform_plan(32, 16, tk::kMotion);
    for (auto &plane : plan.planes)
      for (auto &band : plane.bands)
        for (auto &b : band)
          b.dx = -15, b.dy = 15;
    rows.push_back({"motion leaving the plane is clamped", plan, {}, VEX_TOLM_FAULT_MOTION,
                    [](const FramePlan &, const Outcome &o) {
                      // The reference block moved back inside: left column, bottom rows.
                      EXPECT_EQ(o.target.yuv[0], o.reference.yuv[8 * 32 + 0]);
                    }});
  }
  return rows;
}

TEST(TolmRoundTrip, PlansDecodeToTheirModel) {
  for (Row &row : rows()) {
    SCOPED_TRACE(row.name);
    FramePlan &plan = row.plan;
    const auto data = tk::encode_frame(plan, row.options);
    Outcome o{tk::Picture(), tk::random_picture(plan.padded_width, plan.padded_height, plan.has_alpha, 7),
              tk::random_picture(plan.padded_width, plan.padded_height, plan.has_alpha, 8), {}};
    o.target = o.initial;
    const tk::FrameDecoder decoder(plan.padded_width);
    auto args = decoder.args(plan, data, o.target, o.reference, &o.map);
    FramePlan modelled = plan;
    if (row.ignore_alpha) {
      args.decoder_flags = 0;
      modelled.has_alpha = false;
    }
    EXPECT_EQ(formats::tolm::TolmExpandFrame(args), row.faults);
    const tk::Mismatch m = tk::compare(tk::model_frame(modelled, o.reference, o.initial), o.target);
    EXPECT_EQ(m.count, 0u) << m.first;
    EXPECT_EQ(o.map, tk::expected_block_map(modelled));
    if (row.ignore_alpha) {
      EXPECT_EQ(o.target.alpha, o.initial.alpha);
    }
    if (row.check)
      row.check(plan, o);
  }
}

TEST(TolmRoundTrip, SeededSequencesOverTwoAlternatingBuffers) {
  // Like the movie reader: the target is the buffer two frames back, the
  // reference the latest frame; skip and motion depend on it.
  // VEX_TOLM_SEQUENCES sequences (3 by default) of 12 frames.
  const char *rounds = std::getenv("VEX_TOLM_SEQUENCES");
  for (uint32_t seed = 0; seed < (rounds ? std::strtoul(rounds, nullptr, 10) : 3); ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed * 31 + 5);
    tk::RandomPlanOptions ro;
    ro.has_alpha = seed % 3 == 0;
    const uint32_t w = 40 + 8 * seed, h = 24 + 4 * seed, W = (w + 15) & ~15u, H = (h + 15) & ~15u;
    tk::Picture buffers[2] = {tk::random_picture(W, H, ro.has_alpha, seed),
                              tk::random_picture(W, H, ro.has_alpha, seed + 1)};
    const tk::FrameDecoder d(W);
    for (int frame = 0; frame < 12; ++frame) {
      FramePlan plan = tk::random_plan(w, h, rng, ro);
      const auto data = tk::encode_frame(plan);
      tk::Picture &target = buffers[frame & 1];
      const tk::Picture &ref = buffers[(frame + 1) & 1];
      const auto model = tk::model_frame(plan, ref, target);
      ASSERT_EQ(d.decode(plan, data, target, ref), 0u) << "frame " << frame;
      // The model of the next frame starts from the decoded picture, so
      // transform rounding does not accumulate between model and decoder.
      const tk::Mismatch m = tk::compare(model, target);
      ASSERT_EQ(m.count, 0u) << "frame " << frame << ": " << m.first;
    }
  }
}

TEST(TolmRoundTrip, ExportedEntryPointMatchesTheInternalDecoder) {
  std::mt19937 rng(8);
  tk::RandomPlanOptions ro;
  ro.has_alpha = true;
  FramePlan plan = tk::random_plan(48, 40, rng, ro);
  auto data = tk::encode_frame(plan);
  data.resize(data.size() + 8, 0); // the slack the exported call asks for
  const auto ref = tk::random_picture(plan.padded_width, plan.padded_height, true, 5);
  tk::Picture a = tk::random_picture(plan.padded_width, plan.padded_height, true, 6), b = a;
  const tk::FrameDecoder d(plan.padded_width);
  std::vector<uint8_t> map_a, map_b(size_t{plan.padded_width / 16} * (plan.padded_height / 16), 0);
  ASSERT_EQ(d.decode(plan, data, a, ref, &map_a), 0u);
  EXPECT_EQ(ExpandTolm(b.yuv.data(), ref.yuv.data(), b.alpha.data(), ref.alpha.data(), map_b.data(), plan.width,
                       plan.height, plan.padded_width, plan.padded_height, data.data(), 1, d.bundles(),
                       VEX_TOLM_DECODE_ALPHA, VEX_TOLM_VIDEO_ALPHA),
            0u);
  EXPECT_EQ(a.yuv, b.yuv);
  EXPECT_EQ(a.alpha, b.alpha);
  EXPECT_EQ(map_a, map_b);
}

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
           .put(0b0010, 4).put(0, 9).put(1, 10).put(1, 1).put(0x2, 4).put(0x1, 4).empty_after_colours().put(0, 10)
           .data(),
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
    tk::Picture target(W, H, true), ref(W, H, true);
    target.yuv.assign(frame + guard, 0xAA);
    target.alpha.assign(plane + guard, 0xAA);
    std::fill(ref.yuv.begin(), ref.yuv.end(), 0x55);
    std::fill(ref.alpha.begin(), ref.alpha.end(), 0x55);
    Bytes map(blocks + guard, 0);
    const tk::FrameDecoder dec(W);
    const uint32_t decoder_flags =
        (rng() & 1 ? VEX_TOLM_DECODE_SIGNED_COLOURS : 0) | (rng() & 1 ? VEX_TOLM_DECODE_ALPHA : 0);
    const uint32_t video_flags =
        (rng() & 1 ? VEX_TOLM_VIDEO_ALPHA : 0) | (rng() % 4 == 0 ? VEX_TOLM_VIDEO_NO_CHROMA : 0);
    formats::tolm::TolmExpandFrame(
        tk::frame_args(target, ref, width, height, data, dec.bundles(), decoder_flags, video_flags, map.data()));
    ASSERT_EQ(Bytes(target.yuv.begin() + frame, target.yuv.end()), Bytes(guard, 0xAA)) << "trial " << trial;
    ASSERT_EQ(Bytes(target.alpha.begin() + plane, target.alpha.end()), Bytes(guard, 0xAA)) << "trial " << trial;
    ASSERT_EQ(Bytes(map.begin() + blocks, map.end()), Bytes(guard, 0)) << "trial " << trial;
  }
}

struct SequenceStats {
  std::map<int, int> types; // luma block types over the sequence
  double worst_psnr = 99;
};

SequenceStats run_sequence(tk::Scene scene, uint32_t width, uint32_t height, bool alpha, uint8_t q, int frames) {
  SequenceStats stats;
  const uint32_t W = (width + 15) & ~15u, H = (height + 15) & ~15u;
  tk::Picture buffers[2] = {tk::Picture(W, H, alpha), tk::Picture(W, H, alpha)};
  const tk::FrameDecoder d(W);
  tk::RealOptions options;
  options.q = q;
  for (int f = 0; f < frames; ++f) {
    const tk::Picture source = tk::render_scene(scene, f, width, height, alpha);
    tk::Picture &target = buffers[f & 1];
    const tk::Picture &previous = buffers[(f + 1) & 1];
    tk::FramePlan plan = tk::plan_from_picture(source, f ? &previous : nullptr, width, height, options);
    EXPECT_EQ(d.decode(plan, tk::encode_frame(plan), target, previous), 0u) << "frame " << f;
    for (const auto &band : plan.planes[tk::kLuma].bands)
      for (const auto &b : band)
        ++stats.types[b.type];
    // Peak signal-to-noise ratio of the luma, first chroma and alpha planes.
    for (int p : {tk::kLuma, tk::kChroma1, tk::kAlpha}) {
      const bool chroma = p == tk::kChroma1;
      const uint32_t w = chroma ? (width + 1) / 2 : width, h = chroma ? (height + 1) / 2 : height;
      const uint32_t pitch = target.pitch(p);
      double se = 0;
      for (uint32_t y = 0; y < h && (p != tk::kAlpha || alpha); ++y)
        for (uint32_t x = 0; x < w; ++x)
          se += std::pow(double(source.plane(p)[y * pitch + x]) - target.plane(p)[y * pitch + x], 2);
      stats.worst_psnr = std::min(stats.worst_psnr, se == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * w * h / se));
    }
  }
  return stats;
}

// Per scene: the worst PSNR allowed, and the block types that must appear
// (a group counts when any of its types does).
TEST(TolmRealContent, ScenesDecodeCloseWithTheBlocksTheyCallFor) {
  const struct {
    tk::Scene scene;
    uint32_t width, height;
    bool alpha;
    uint8_t q;
    int frames;
    double psnr;
    std::vector<std::vector<int>> groups;
    int least = 1; // of the first group
  } cases[] = {
      {tk::Scene::kShapes, 160, 120, false, 1, 8, 34.0,
       {{tk::kSkip}, {tk::kMotion}, {tk::kFill}, {tk::kPattern}, {tk::kIntra, tk::kInter}}, 4},
      {tk::Scene::kPattern, 120, 90, false, 1, 6, 32.0,
       {{tk::kSkip, tk::kMotion}, {tk::kIntra, tk::kInter, tk::kRaw}}, 2},
      {tk::Scene::kNoise, 64, 48, false, 0, 3, 30.0, {{tk::kRaw, tk::kIntra, tk::kInter}}, 41},
      {tk::Scene::kShapes, 90, 58, true, 2, 5, 32.0, {}}, // odd sizes with alpha
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    auto s = run_sequence(c.scene, c.width, c.height, c.alpha, c.q, c.frames);
    EXPECT_GT(s.worst_psnr, c.psnr);
    for (size_t g = 0; g < c.groups.size(); ++g) {
      int n = 0;
      for (int type : c.groups[g])
        n += s.types[type];
      EXPECT_GE(n, g == 0 ? c.least : 1) << "group " << g;
    }
  }
}

TEST(TolmAllocation, DecodingAFrameAllocatesNothing) {
  std::mt19937 rng(4);
  tk::RandomPlanOptions ro;
  ro.has_alpha = true;
  tk::FramePlan plan = tk::random_plan(64, 48, rng, ro);
  const auto data = tk::encode_frame(plan);
  tk::Picture target(plan.padded_width, plan.padded_height, true), ref = target;
  std::vector<uint8_t> map;
  const tk::FrameDecoder d(plan.padded_width);
  const formats::tolm::TolmFrameArgs a = d.args(plan, data, target, ref, &map);
  const long before = g_allocations.load();
  EXPECT_EQ(formats::tolm::TolmExpandFrame(a), 0u);
  EXPECT_EQ(g_allocations.load(), before);
  auto probe = std::make_unique<int>(1); // the counter does see allocations
  EXPECT_GT(g_allocations.load(), before);
}

} // namespace
} // namespace vex::tolm_test
