// Frames planned block by block, packed by the test encoder and decoded:
// the decoder must produce the pictures and block maps the plans imply,
// read hand-assembled fields as the layout says, report what it cut or
// clamped on damaged data (staying inside its buffers is the sanitizer
// build's check, over these cases and the fuzz corpus), decode the encoder's
// real-content mode close to the source, and allocate nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>

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
  std::function<void(const Outcome &)> check = nullptr; // values worked out by hand
  bool ignore_alpha = false;                            // the data has an alpha plane, the caller does not ask for it
  bool shared = false;                                  // a key frame decoded in one buffer (target and reference)
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
    rows.back().ignore_alpha = variant == 1; // alpha present but not asked for
  }
  for (uint8_t type : {tk::kIntra, tk::kInter})
    for (uint8_t q = 0; q < 16; ++q) {
      tk::RandomPlanOptions ro;
      ro.quantiser = q;
      rows.push_back({"type " + std::to_string(type) + " q " + std::to_string(q), plan_of(type, 32, 16, 500 + q, ro)});
    }
  uint32_t seed = 900;
  const uint32_t sizes[][2] = {{1, 1},  {7, 9},   {8, 8},    {16, 16}, {17, 23},
                               {33, 8}, {40, 40}, {100, 50}, {15, 47}, {64, 17}};
  for (auto [w, h] : sizes) {
    std::mt19937 rng(seed++);
    rows.push_back({std::to_string(w) + "x" + std::to_string(h), tk::random_plan(w, h, rng)});
  }
  { // With the signed-colour flag a stored byte v < 128 means 128 + v and
    // v >= 128 means 256 - v; colours 1..255 are all reachable.
    FramePlan plan = luma_plan(16, 8, tk::kRaw);
    plan.signed_colours = true;
    for (auto &band : plan.planes[tk::kLuma].bands)
      for (size_t i = 0; i < band.size(); ++i)
        for (int k = 0; k < 64; ++k)
          band[i].colours.push_back(static_cast<uint8_t>(1 + (i * 64 + k) * 2));
    rows.push_back({"signed colours", plan});
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
    rows.push_back({"run blocks ending at 63 and 64", plan, {}, 0, [](const Outcome &o) {
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
    rows.push_back({"scaled blocks in even and odd bands", plan, {}, 0, [](const Outcome &o) {
                      // A pattern bit covers 2 x 2 pixels: row 0 bits 0-3 set -> x 0-7 second colour.
                      EXPECT_EQ(o.target.yuv[0], 200);
                      EXPECT_EQ(o.target.yuv[32 * 1 + 8], 50);
                      EXPECT_EQ(o.target.yuv[32 * 2 + 0], 50);
                      EXPECT_EQ(o.target.yuv[32 * 15 + 15], 200);
                      EXPECT_EQ(o.target.yuv[32 * 24 + 20], o.initial.yuv[32 * 24 + 20]);
                      EXPECT_EQ(o.map, (std::vector<uint8_t>{1, 0, 0, 1}));
                    }});
  }
  { // Skip blocks leave a key frame decoded in one buffer as it was.
    std::mt19937 rng(60);
    tk::RandomPlanOptions ro;
    ro.types = {tk::kSkip, tk::kFill, tk::kRaw, tk::kIntra};
    rows.push_back({"key frame in one buffer", tk::random_plan(32, 32, rng, ro)});
    rows.back().shared = true;
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
    for (int k = 0; k < 64; ++k) // 7 events each: the encoder cuts the plan to what 128 events carry
      plan.planes[tk::kLuma].bands[0][0].residue[k] = static_cast<int8_t>(k % 2 ? 127 : -127);
    rows.push_back({"residue longer than the event limit", plan});
  }
  {
    FramePlan plan = tk::uniform_plan(32, 16, tk::kMotion);
    for (auto &plane : plan.planes) // down and left in even bands, up and right in odd ones
      for (size_t r = 0; r < plane.bands.size(); ++r)
        for (auto &b : plane.bands[r])
          b.dx = r % 2 ? 15 : -15, b.dy = r % 2 ? -15 : 15;
    rows.push_back({"motion leaving the plane is clamped", plan, {}, VEX_TOLM_FAULT_MOTION, [](const Outcome &o) {
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
    Outcome o;
    o.reference = tk::random_picture(plan.padded_width, plan.padded_height, plan.has_alpha, 7);
    o.target = o.initial = tk::random_picture(plan.padded_width, plan.padded_height, plan.has_alpha, 8);
    if (row.shared)
      o.reference = o.initial; // what the target holds before decoding
    const tk::FrameDecoder decoder(plan.padded_width);
    auto args = decoder.args(plan, data, o.target, row.shared ? o.target : o.reference, &o.map);
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
      row.check(o);
  }
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

// Fields (value, width in bits) of a hand-made luma-only frame: after the
// 23 plain code tables unless `tables` is false, behind the luma size word
// unless `size_word` is false.
using Fields = std::vector<std::pair<uint32_t, int>>;
Bytes hand(const Fields &fields, bool tables = true, bool size_word = true) {
  tk::HandFrame h;
  if (!tables)
    h.clear();
  for (auto [v, n] : fields)
    h.put(v, n);
  return h.data(size_word);
}
// The five empty bundles read after the colours (patterns, x and y
// offsets, intra and inter DC) of a plane at most 64 pixels wide.
const std::pair<uint32_t, int> kEmpty{0, 50};

// Luma-only frames of 8 x 8 pixels in a 16 x 16 buffer unless the row
// says otherwise; every code table is the plain 4-bit code 0 unless the
// row writes its own. Count fields of an 8-pixel-wide plane are 10 bits,
// the sub-block types' 9.
TEST(TolmHandFrames, FieldsAsTheLayoutSays) {
  // Band 0 refills everything: two skip blocks' worth of types (one per
  // band), every other bundle finished with a zero count; 186 bits in six
  // words, so any further count read runs past the data.
  const Bytes finished = hand({{2, 10}, {1, 1}, {0, 4}, {0, 9}, {0, 70}});
  EXPECT_EQ(finished.size(), 4u + 24);
  const Bytes zeros = hand({{0, 64}});
  // Fill chunk of one type 6, colours one element: high then low nibble.
  const Fields fill = {{1, 10}, {1, 1}, {6, 4}, {0, 9}, {1, 10}, {0, 1}, {0x4, 4}, {0xD, 4}, kEmpty, {0, 10}};
  // Block-type table: code 5, explicit head of three symbols 7, 3, 6; the
  // rest follow in increasing order, so position 2 (code word 0100) is 6.
  const Fields head = {{5, 4},      {1, 1}, {2, 3},  {7, 4}, {3, 4},   {6, 4},   {0, 4 * 22}, {1, 10}, {0, 1},
                       {0b0010, 4}, {0, 9}, {1, 10}, {1, 1}, {0x2, 4}, {0x1, 4}, kEmpty,      {0, 10}};
  // Merge form, one level, for the colours' own table: pairs unswapped,
  // then (0,1)+(2,3) merged by bits 1,0,1 -> 2 0 3 1; the other merges take
  // the first list (bits 0,0). Position 0 of code 1 (word "0") is symbol 2.
  const Fields merged = {{0, 4 * 18}, {1, 4}, {0, 1}, {1, 2},  {0, 8}, {0b101, 3}, {0, 6}, {0, 4 * 4}, {1, 10},
                         {1, 1},      {6, 4}, {0, 9}, {1, 10}, {1, 1}, {0x5, 4},   {0, 1}, kEmpty,     {0, 10}};
  // 1023 elements in a bundle of 514: cut to 514; the sub-block types of
  // half of 16 wide (513) take 10 bits. Two fill blocks but one colour
  // (0x03): the second takes from an empty bundle.
  const Fields longer = {{1023, 10}, {1, 1}, {6, 4}, {0, 10}, {1, 10}, {1, 1}, {0x30, 8}, kEmpty, {0, 10}};
  // One run block, five colours (high nibble first) 0x10..0x50, runs of
  // 10, 16, 16, 16, 16 in scan 0, each of one colour: 74 pixels. Scan 0
  // snakes down and up the columns: step 63 is pixel (0, 7), in the last
  // run, cut to steps 58-63; pixel (7, 7) is step 56, in run 4.
  const Fields runs = {{1, 10},   {1, 1}, {3, 4},  {0, 9}, {5, 10},       {0, 1}, {0x40302010, 32},
                       {0x50, 8}, kEmpty, {5, 10}, {0, 1}, {0xFFFF9, 20}, {0, 4}, {0b11111, 5}};
  // The same with the runs bundle filled with one value, 15: four runs of
  // 16 reach pixel 63 exactly (columns 0-1 colour 1, ..., 6-7 colour 4).
  const Fields filled = {{1, 10},   {1, 1}, {3, 4},  {0, 9}, {5, 10},  {0, 1}, {0x40302010, 32},
                         {0x50, 8}, kEmpty, {5, 10}, {1, 1}, {0xF, 4}, {0, 4}, {0b11111, 5}};
  const uint32_t kNoChroma = VEX_TOLM_VIDEO_NO_CHROMA;
  const struct {
    const char *name;
    Bytes data;
    uint32_t width, height, W, H, decoder_flags, video_flags, faults;
    Pixels pixels = {};
    int map0 = -1; // the first block-map entry, -1 not checked
    bool untouched = false;
  } rows[] = {
      {"fill block: type 6, colour 0x4D", hand(fill), 8, 8, 16, 16, 0, kNoChroma, 0, square(77), 1},
      {"the same with signed colours: no size word, 128 + 77", hand(fill, true, false), 8, 8, 16, 16,
       VEX_TOLM_DECODE_SIGNED_COLOURS, kNoChroma, 0, square(205), 1},
      {"finished bundles are not read again: band 1 reads nothing", finished, 8, 16, 16, 16, 0, kNoChroma, 0},
      {"band 2 must refill the exhausted block types", finished, 8, 24, 16, 32, 0, kNoChroma,
       VEX_TOLM_FAULT_DATA_END | VEX_TOLM_FAULT_UNDERRUN},
      {"explicit head of the symbol order", hand(head, false), 8, 8, 16, 16, 0, kNoChroma, 0,
       Pixels{{0, 0x21}, {7 * 16 + 7, 0x21}}},
      {"merged symbol order", hand(merged, false), 8, 8, 16, 16, 0, kNoChroma, 0, Pixels{{0, 0x52}}},
      {"repeat 32 in a chunk of one: cut, value 0 (a skip block)",
       hand({{1, 10}, {0, 1}, {15, 4}, {0, 9}, {0, 10}, kEmpty, {0, 10}}), 8, 8, 16, 16, 0, kNoChroma,
       VEX_TOLM_FAULT_CHUNK, Pixels{}, 0},
      {"chunk longer than its bundle", hand(longer), 16, 8, 16, 16, 0, kNoChroma,
       VEX_TOLM_FAULT_CHUNK | VEX_TOLM_FAULT_UNDERRUN, Pixels{{0, 3}, {8, 0}}},
      {"runs past pixel 63", hand(runs), 8, 8, 16, 16, 0, kNoChroma, VEX_TOLM_FAULT_RUN,
       Pixels{{7, 0x05}, {7 * 16 + 7, 0x04}, {0, 0x01}}},
      {"runs bundle filled with one value", hand(filled), 8, 8, 16, 16, 0, kNoChroma, 0,
       Pixels{{0, 0x01}, {2, 0x02}, {7, 0x04}, {7 * 16 + 7, 0x04}, {7 * 16 + 5, 0x03}}},
      {"luma size past the end", with_byte(zeros, 0, 0xFF), 8, 8, 16, 16, 0, kNoChroma, VEX_TOLM_FAULT_LAYOUT},
      {"luma size smaller than its own word", with_byte(zeros, 0, 2), 8, 8, 16, 16, 0, kNoChroma,
       VEX_TOLM_FAULT_LAYOUT},
      {"two bytes of data", Bytes{1, 0}, 8, 8, 16, 16, 0, kNoChroma, VEX_TOLM_FAULT_LAYOUT},
      {"alpha size past the end", Bytes{200, 0, 0, 0, 8, 0, 0, 0}, 8, 8, 16, 16, VEX_TOLM_DECODE_ALPHA,
       VEX_TOLM_VIDEO_ALPHA, VEX_TOLM_FAULT_LAYOUT},
      {"padded width not a multiple of 16", Bytes(64, 0), 8, 8, 20, 16, 0, 0, VEX_TOLM_FAULT_GEOMETRY},
      {"width past the padded width", Bytes(64, 0), 24, 8, 16, 16, 0, 0, VEX_TOLM_FAULT_GEOMETRY, Pixels{}, -1, true},
      {"width 0", Bytes(64, 0), 0, 8, 16, 16, 0, 0, VEX_TOLM_FAULT_GEOMETRY, Pixels{}, -1, true},
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

// Eight frames of the encoder's real-content mode (a moving scene at
// 160 x 120, quantiser 1) decoded over two alternating buffers, the target
// being the buffer two frames back: the luma and first chroma planes come
// back close to the source pictures (peak signal-to-noise ratio), and the
// encoder did use transform blocks.
TEST(TolmRealContent, ASceneDecodesCloseToItsSource) {
  const uint32_t width = 160, height = 120, H = 128; // padded to whole macroblocks
  tk::Picture buffers[2] = {tk::Picture(width, H, false), tk::Picture(width, H, false)};
  const tk::FrameDecoder d(width);
  tk::RealOptions options;
  options.q = 1;
  int transform_blocks = 0;
  for (int f = 0; f < 8; ++f) {
    const tk::Picture source = tk::render_scene(tk::Scene::kShapes, f, width, height, false);
    tk::Picture &target = buffers[f & 1];
    const tk::Picture &previous = buffers[(f + 1) & 1];
    tk::FramePlan plan = tk::plan_from_picture(source, f ? &previous : nullptr, width, height, options);
    EXPECT_EQ(d.decode(plan, tk::encode_frame(plan), target, previous), 0u) << "frame " << f;
    for (const auto &band : plan.planes[tk::kLuma].bands)
      for (const auto &b : band)
        transform_blocks += b.type == tk::kIntra || b.type == tk::kInter;
    for (int p : {tk::kLuma, tk::kChroma1}) {
      const uint32_t w = p == tk::kLuma ? width : width / 2, h = p == tk::kLuma ? height : height / 2;
      const uint32_t pitch = target.pitch(p);
      double se = 0;
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
          se += std::pow(double(source.plane(p)[y * pitch + x]) - target.plane(p)[y * pitch + x], 2);
      EXPECT_GT(se == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * w * h / se), 34.0) << "frame " << f << " plane " << p;
    }
  }
  EXPECT_GT(transform_blocks, 0);
}

// The exported entry point gives what the internal call gives, and
// neither allocates (counted through the global allocation functions of
// this test program: the runtime's array and nothrow forms go through the
// ones replaced here).
TEST(TolmExported, MatchesTheInternalDecoderAndAllocatesNothing) {
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
  const formats::tolm::TolmFrameArgs args = d.args(plan, data, a, ref, &map_a);
  const long before = g_allocations.load();
  EXPECT_EQ(formats::tolm::TolmExpandFrame(args), 0u);
  EXPECT_EQ(ExpandTolm(b.yuv.data(), ref.yuv.data(), b.alpha.data(), ref.alpha.data(), map_b.data(), plan.width,
                       plan.height, plan.padded_width, plan.padded_height, data.data(), 1, d.bundles(),
                       VEX_TOLM_DECODE_ALPHA, VEX_TOLM_VIDEO_ALPHA),
            0u);
  EXPECT_EQ(g_allocations.load(), before);
  auto probe = std::make_unique<int>(1); // the counter does see allocations
  EXPECT_GT(g_allocations.load(), before);
  EXPECT_EQ(a.yuv, b.yuv);
  EXPECT_EQ(a.alpha, b.alpha);
  EXPECT_EQ(map_a, map_b);
}

} // namespace
} // namespace vex::tolm_test
