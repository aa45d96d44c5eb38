// Frames planned block by block, packed by the test encoder and decoded:
// the decoder must produce the pictures the plans imply.
#include <gtest/gtest.h>

#include <random>

#include "testkit/formats/tolm_random_plan.h"
#include "tests/formats/tolm_harness.h"

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

TEST(TolmRoundTrip, EveryBlockTypeAlone) {
  for (uint8_t type = 0; type <= 9; ++type) {
    SCOPED_TRACE(int(type));
    FramePlan plan = plan_of(type, 48, 32, 100 + type);
    EXPECT_CLEAN(round_trip(plan));
  }
}

TEST(TolmRoundTrip, MixedBlocksManySeeds) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    FramePlan plan = tk::random_plan(40 + 8 * (seed % 5), 24 + 8 * (seed % 3), rng);
    EXPECT_CLEAN(round_trip(plan));
  }
}

} // namespace
} // namespace vex::tolm_test
