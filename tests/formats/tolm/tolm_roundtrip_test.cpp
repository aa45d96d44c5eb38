// Frames planned block by block, packed by the test encoder and decoded:
// the decoder must produce the pictures and block maps the plans imply.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>

#include "testkit/formats/tolm/tolm_random_plan.h"
#include "tests/formats/tolm/tolm_test_util.h"

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
    rows.push_back({"mixed, seed " + std::to_string(seed), tk::random_plan(40 + 8 * (seed % 5), 24 + 8 * (seed % 3), rng)});
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
    rows.push_back({"alpha and flags " + std::to_string(variant), tk::random_plan(24 + 8 * variant, 16 + 8 * (variant % 4), rng, ro)});
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
    // The chroma planes take half the size rounded up, then rounded up to 8.
    EXPECT_EQ(rows.back().plan.planes[tk::kChroma1].width8, (((w + 1) / 2 + 7) / 8) * 8);
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

} // namespace
} // namespace vex::tolm_test
