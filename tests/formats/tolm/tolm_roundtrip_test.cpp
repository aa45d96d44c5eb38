// Frames planned block by block, packed by the test encoder and decoded:
// the decoder must produce the pictures the plans imply.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "testkit/formats/tolm/tolm_random_plan.h"
#include "tests/formats/tolm/tolm_test_util.h"

namespace vex::tolm_test {
namespace {

using tk::BlockPlan;
using tk::FramePlan;

struct Result {
  uint32_t faults;
  Mismatch mismatch;
};

// Encodes, decodes over `reference` (target starts as `initial`) and
// compares with the model.
Result round_trip(FramePlan &plan, const tk::Picture &reference, const tk::Picture &initial,
                  const tk::EncodeOptions &options = {}) {
  const auto data = tk::encode_frame(plan, options);
  tk::Picture target = initial;
  Decoder decoder(plan.padded_width);
  const uint32_t faults = decoder.decode(plan, data, target, reference);
  const auto model = tk::model_frame(plan, reference, initial);
  return {faults, compare(model, target)};
}

Result round_trip(FramePlan &plan, const tk::EncodeOptions &options = {}) {
  const auto ref = random_picture(plan.padded_width, plan.padded_height, plan.has_alpha, 7);
  const auto initial = random_picture(plan.padded_width, plan.padded_height, plan.has_alpha, 8);
  return round_trip(plan, ref, initial, options);
}

FramePlan plan_of(uint8_t type, uint32_t width, uint32_t height, uint32_t seed,
                  tk::RandomPlanOptions options = {}) {
  std::mt19937 rng(seed);
  options.types = {type};
  return tk::random_plan(width, height, rng, options);
}

#define EXPECT_CLEAN(r)                                                                                           \
  do {                                                                                                           \
    const Result res_ = (r);                                                                                      \
    EXPECT_EQ(res_.faults, 0u);                                                                                   \
    EXPECT_EQ(res_.mismatch.count, 0u) << res_.mismatch.first;                                                    \
  } while (0)

// One row a family of plans: each block type alone, mixed blocks of many
// seeds and sizes, every scan order, every code table with every
// permutation form, the chunk layouts (one chunk per band or as many bands
// as fit, with and without repeat symbols and fill chunks), both quantiser
// tables at every quantiser, sizes that are and are not multiples of 8 and
// 16, and the alpha plane with the frame flags.
TEST(TolmRoundTrip, PlansDecodeToTheirModel) {
  struct Row {
    std::string name;
    FramePlan plan;
    tk::EncodeOptions options = {};
  };
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
    rows.back().options.greedy_chunks = variant & 1;
    rows.back().options.use_repeats = variant & 2;
    rows.back().options.use_fills = variant & 4;
    ro = {};
    ro.has_alpha = variant & 1;
    ro.no_chroma = variant & 2;
    ro.signed_colours = variant & 4;
    rng.seed(40 + variant);
    rows.push_back({"alpha and flags " + std::to_string(variant), tk::random_plan(40, 24, rng, ro)});
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
  for (Row &row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_CLEAN(round_trip(row.plan, row.options));
  }
}

TEST(TolmRoundTrip, AlphaPresentButNotDecoded) {
  tk::RandomPlanOptions ro;
  ro.has_alpha = true;
  std::mt19937 rng(3);
  FramePlan plan = tk::random_plan(32, 16, rng, ro);
  const auto data = tk::encode_frame(plan);
  const auto ref = random_picture(plan.padded_width, plan.padded_height, true, 1);
  tk::Picture target = random_picture(plan.padded_width, plan.padded_height, true, 2);
  const tk::Picture initial = target;
  Decoder decoder(plan.padded_width);
  formats::tolm::TolmFrameArgs a = decoder.args(plan, data, target, ref);
  a.decoder_flags = 0; // the data has it, the caller does not ask for it
  EXPECT_EQ(formats::tolm::TolmExpandFrame(a), 0u);
  EXPECT_EQ(target.alpha, initial.alpha);
  FramePlan colour_only = plan;
  colour_only.has_alpha = false;
  const auto model = tk::model_frame(colour_only, ref, initial);
  EXPECT_EQ(compare(model, target).count, 0u);
}

TEST(TolmRoundTrip, SignedColoursMapAroundHalfway) {
  // With the signed-colour flag a stored byte v < 128 means 128 + v and
  // v >= 128 means 256 - v; colours 1..255 are all reachable.
  FramePlan plan = tk::uniform_plan(16, 8, tk::kRaw);
  plan.signed_colours = true;
  plan.no_chroma = true;
  for (auto &band : plan.planes[tk::kLuma].bands)
    for (size_t i = 0; i < band.size(); ++i) {
      band[i].colours.clear();
      for (int k = 0; k < 64; ++k)
        band[i].colours.push_back(static_cast<uint8_t>(1 + (i * 64 + k) * 2));
    }
  EXPECT_CLEAN(round_trip(plan));
  // The same bytes without the flag decode as stored.
  FramePlan plain = plan;
  plain.signed_colours = false;
  auto data = tk::encode_frame(plain);
  // Re-read those bytes with the flag on: the luma size word is then taken
  // as picture data, so decode must differ from the plain reading.
  tk::Picture a = random_picture(16, 16, false, 1), b = a, ref = a;
  Decoder d(16);
  d.decode(plain, data, a, ref);
  plain.signed_colours = true;
  d.decode(plain, data, b, ref);
  EXPECT_NE(a.yuv, b.yuv);
}

TEST(TolmRoundTrip, RunBlocksEndingAt63And64) {
  FramePlan plan = tk::uniform_plan(16, 8, tk::kRun);
  plan.no_chroma = true;
  auto &band = plan.planes[tk::kLuma].bands[0];
  // 4 runs of 16 reach 64: no extra colour is read.
  band[0].runs = {{true, 16}, {true, 16}, {true, 16}, {true, 16}};
  band[0].colours = {10, 20, 30, 40};
  // 3 x 16 + 15 = 63: the last pixel of the scan takes one more colour.
  band[1].scan = 7;
  band[1].runs = {{true, 16}, {false, 15}, {true, 16}, {true, 16}};
  band[1].colours = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 99};
  EXPECT_CLEAN(round_trip(plan));
  const auto data = tk::encode_frame(plan);
  tk::Picture target(16, 16, false), ref(16, 16, false);
  Decoder d(16);
  ASSERT_EQ(d.decode(plan, data, target, ref), 0u);
  // Scan 0 goes down column 0 first: pixel (7, 0) is the 8th step.
  EXPECT_EQ(target.yuv[7 * 16 + 0], 10);
  EXPECT_EQ(target.yuv[7 * 16 + 7], 40); // step 63 of scan 0 is pixel 7
  // Scan 7 snakes along rows; its step 63 is pixel 56 (row 7, column 0).
  EXPECT_EQ(target.yuv[7 * 16 + 8], 99);
}

TEST(TolmRoundTrip, ScaledBlocksInEvenAndOddBands) {
  FramePlan plan = tk::uniform_plan(32, 32, tk::kSkip);
  plan.no_chroma = true;
  auto &bands = plan.planes[tk::kLuma].bands;
  BlockPlan scaled;
  scaled.type = tk::kScaled;
  scaled.sub_type = tk::kPattern;
  scaled.colours = {50, 200};
  scaled.pattern = {0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0};
  BlockPlan skip;
  // Band 0: scaled over x 0-15, rows 0-15; band 1 repeats it (nothing read).
  bands[0] = {scaled, skip, skip};
  bands[1] = {scaled, skip, skip};
  // Band 3 (odd, rows 24-31): a scaled value writes nothing but still marks
  // its two block-map halves.
  bands[2] = {skip, skip, skip, skip};
  bands[3] = {skip, skip, scaled};
  EXPECT_CLEAN(round_trip(plan));

  const auto data = tk::encode_frame(plan);
  tk::Picture ref = random_picture(32, 32, false, 4), target = ref;
  std::vector<uint8_t> map;
  Decoder d(32);
  ASSERT_EQ(d.decode(plan, data, target, ref, &map), 0u);
  // A pattern bit covers 2x2 pixels: row 0 bits 0-3 set -> x 0-7 second colour.
  EXPECT_EQ(target.yuv[0], 200);
  EXPECT_EQ(target.yuv[32 * 1 + 8], 50);
  EXPECT_EQ(target.yuv[32 * 2 + 0], 50);
  EXPECT_EQ(target.yuv[32 * 15 + 15], 200);
  EXPECT_EQ(target.yuv[32 * 24 + 20], ref.yuv[32 * 24 + 20]);
  EXPECT_EQ(map, (std::vector<uint8_t>{1, 0, 0, 1}));
}

// The block map a plan implies: a 1 for each 16x16 macroblock in which any
// plane has a non-skip block.
std::vector<uint8_t> expected_map(const FramePlan &plan) {
  const uint32_t mw = plan.padded_width / 16;
  std::vector<uint8_t> map(mw * (plan.padded_height / 16), 0);
  std::vector<int> planes = {tk::kLuma};
  if (!plan.no_chroma)
    planes.insert(planes.end(), {tk::kChroma1, tk::kChroma2});
  if (plan.has_alpha)
    planes.push_back(tk::kAlpha);
  for (int p : planes) {
    const int per_macroblock = (p == tk::kChroma1 || p == tk::kChroma2) ? 8 : 16; // plane pixels
    const auto &bands = plan.planes[p].bands;
    for (size_t j = 0; j < bands.size(); ++j) {
      uint32_t x = 0;
      for (const BlockPlan &b : bands[j]) {
        const uint32_t w = b.type == tk::kScaled ? 16 : 8;
        if (b.type != tk::kSkip)
          for (uint32_t px = x; px < x + w; px += 8) {
            const uint32_t mx = px / per_macroblock, my = (8 * j) / per_macroblock;
            if (mx < mw)
              map[my * mw + mx] = 1;
          }
        x += w;
      }
    }
  }
  return map;
}

TEST(TolmRoundTrip, BlockMapMarksEveryMacroblockWithANonSkipBlock) {
  for (uint32_t seed = 0; seed < 20; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    tk::RandomPlanOptions ro;
    ro.types = {0, 0, 0, 0, 0, 0, 0, 1, 2, 6};
    ro.has_alpha = seed & 1;
    ro.no_chroma = seed & 2;
    FramePlan plan = tk::random_plan(24 + 8 * (seed % 7), 16 + 8 * (seed % 4), rng, ro);
    const auto data = tk::encode_frame(plan);
    tk::Picture target(plan.padded_width, plan.padded_height, ro.has_alpha), ref = target;
    std::vector<uint8_t> map;
    Decoder d(plan.padded_width);
    ASSERT_EQ(d.decode(plan, data, target, ref, &map), 0u);
    EXPECT_EQ(map, expected_map(plan));
  }
}

TEST(TolmRoundTrip, UnknownTypesLeaveTheTargetAlone) {
  FramePlan plan = tk::uniform_plan(32, 8, tk::kSkip);
  plan.no_chroma = true;
  auto &band = plan.planes[tk::kLuma].bands[0];
  band[0].type = 10;
  band[1].type = 11;
  band[2] = {};
  band[2].type = tk::kScaled;
  band[2].sub_type = tk::kMotion; // not a scaled sub-type: nothing written
  band.pop_back();
  EXPECT_CLEAN(round_trip(plan));
}

TEST(TolmRoundTrip, ResiduesLongerThanTheEventLimitAreCut) {
  FramePlan plan = tk::uniform_plan(8, 8, tk::kResidue);
  plan.no_chroma = true;
  auto &b = plan.planes[tk::kLuma].bands[0][0];
  for (int k = 0; k < 64; ++k)
    b.residue[k] = static_cast<int8_t>(k % 2 ? 127 : -127); // 7 events each
  const auto wanted = b.residue;
  EXPECT_CLEAN(round_trip(plan));
  // The encoder has cut the plan to what 128 events carry.
  EXPECT_NE(plan.planes[tk::kLuma].bands[0][0].residue, wanted);
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
    const uint32_t w = 40 + 8 * seed, h = 24 + 4 * seed;
    const uint32_t W = (w + 15) & ~15u, H = (h + 15) & ~15u;
    tk::Picture buffers[2] = {random_picture(W, H, ro.has_alpha, seed), random_picture(W, H, ro.has_alpha, seed + 1)};
    Decoder d(W);
    for (int frame = 0; frame < 12; ++frame) {
      FramePlan plan = tk::random_plan(w, h, rng, ro);
      const auto data = tk::encode_frame(plan);
      tk::Picture &target = buffers[frame & 1];
      const tk::Picture &ref = buffers[(frame + 1) & 1];
      const auto model = tk::model_frame(plan, ref, target);
      ASSERT_EQ(d.decode(plan, data, target, ref), 0u) << "frame " << frame;
      // The model of the next frame starts from the decoded picture, so
      // transform rounding does not accumulate between model and decoder.
      const Mismatch m = compare(model, target);
      ASSERT_EQ(m.count, 0u) << "frame " << frame << ": " << m.first;
    }
  }
}

TEST(TolmRoundTrip, ExportedEntryPointsMatchTheInternalDecoder) {
  std::mt19937 rng(8);
  tk::RandomPlanOptions ro;
  ro.has_alpha = true;
  FramePlan plan = tk::random_plan(48, 40, rng, ro);
  auto data = tk::encode_frame(plan);
  data.resize(data.size() + 8, 0); // the slack the exported call asks for
  const auto ref = random_picture(plan.padded_width, plan.padded_height, true, 5);
  tk::Picture a = random_picture(plan.padded_width, plan.padded_height, true, 6), b = a;
  Decoder d(plan.padded_width);
  std::vector<uint8_t> map_a, map_b(size_t{plan.padded_width / 16} * (plan.padded_height / 16), 0);
  ASSERT_EQ(d.decode(plan, data, a, ref, &map_a), 0u);
  const uint32_t faults =
      ExpandTolm(b.yuv.data(), ref.yuv.data(), b.alpha.data(), ref.alpha.data(), map_b.data(), plan.width,
                 plan.height, plan.padded_width, plan.padded_height, data.data(), 1, d.bundles(),
                 VEX_TOLM_DECODE_ALPHA, VEX_TOLM_VIDEO_ALPHA);
  EXPECT_EQ(faults, 0u);
  EXPECT_EQ(a.yuv, b.yuv);
  EXPECT_EQ(a.alpha, b.alpha);
  EXPECT_EQ(map_a, map_b);
}

} // namespace
} // namespace vex::tolm_test
