// Decoding a frame allocates nothing: every work area is on the stack or in
// the caller's buffers. Counted through the global allocation functions of
// this test program.
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

// Every plain form is replaced, so that whatever allocates through one of
// them releases through the matching one of this file.
void *operator new(std::size_t n) {
  ++g_allocations;
  if (void *p = std::malloc(n ? n : 1))
    return p;
  throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return operator new(n); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept {
  ++g_allocations;
  return std::malloc(n ? n : 1);
}
void *operator new[](std::size_t n, const std::nothrow_t &t) noexcept { return operator new(n, t); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }

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
  Decoder d(plan.padded_width);
  const formats::tolm::TolmFrameArgs a = d.args(plan, data, target, ref, &map);
  const long before = g_allocations.load();
  const uint32_t faults = formats::tolm::TolmExpandFrame(a);
  const long during = g_allocations.load() - before;
  EXPECT_EQ(faults, 0u);
  EXPECT_EQ(during, 0);
  // The counter does see allocations.
  auto probe = std::make_unique<int>(1);
  EXPECT_GT(g_allocations.load(), before);
}

} // namespace
} // namespace vex::tolm_test
