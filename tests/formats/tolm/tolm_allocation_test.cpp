// Decoding a frame allocates nothing: every work area is on the stack or in
// the caller's buffers. Counted through the global allocation functions of
// this test program: the runtime's array and nothrow forms go through the
// ones replaced here.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>

#include "testkit/formats/tolm/tolm_random_plan.h"
#include "tests/formats/tolm/tolm_test_util.h"

namespace {
std::atomic<long> g_allocations{0};
}

void *operator new(std::size_t n) {
  ++g_allocations;
  if (void *p = std::malloc(n ? n : 1))
    return p;
  throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace vex::tolm_test {
namespace {

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
