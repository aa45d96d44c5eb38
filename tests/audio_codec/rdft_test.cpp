// The real DFT against the testkit's direct O(N^2) evaluation of its
// definition in double precision.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "audio_codec/rdft.h"
#include "testkit/audio_codec/direct_dft.h"

namespace {

using vex::audio_codec::rdft;
using vex::audio_codec::RdftPath;
using vex::audio_codec::RdftTables;

std::vector<float> random_values(size_t n, uint32_t seed, float scale) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> u(-scale, scale);
  std::vector<float> v(n);
  for (auto &x : v)
    x = u(gen);
  return v;
}

// Largest error relative to the largest exact value; single precision over
// log2(n) stages stays well inside 1e-5 of it.
double relative_error(const std::vector<float> &got, const std::vector<double> &want) {
  double err = 0, peak = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    err = std::max(err, std::fabs(got[i] - want[i]));
    peak = std::max(peak, std::fabs(want[i]));
  }
  return err / peak;
}

// Every size through both complex transforms: the plain stages, and the
// best the processor has (the 256-bit one from 128 points where present).
class RdftSizes : public ::testing::TestWithParam<std::tuple<uint32_t, RdftPath>> {};

TEST_P(RdftSizes, ForwardAndInverseMatchTheDirectSums) {
  const auto [n, path] = GetParam();
  RdftTables tables{};
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    const auto x = random_values(n, seed * 7919 + n, 32768.0f);
    auto f = x, g = x;
    rdft(n, 1, f.data(), tables, path);
    EXPECT_LT(relative_error(f, vex::testkit::direct_forward(x)), 1e-5) << "forward, n=" << n;
    rdft(n, -1, g.data(), tables, path);
    EXPECT_LT(relative_error(g, vex::testkit::direct_inverse(x)), 1e-5) << "inverse, n=" << n;
    // inverse(forward(x)) = x n / 2
    rdft(n, -1, f.data(), tables, path);
    std::vector<double> scaled(x.begin(), x.end());
    for (auto &v : scaled)
      v *= n / 2.0;
    EXPECT_LT(relative_error(f, scaled), 1e-5) << "round trip, n=" << n;
  }
}

INSTANTIATE_TEST_SUITE_P(CodecAndOtherSizes, RdftSizes,
                         ::testing::Combine(::testing::Values(4u, 8u, 16u, 32u, 64u, 128u, 256u, 512u, 1024u, 2048u,
                                                              4096u),
                                            ::testing::Values(RdftPath::best, RdftPath::plain)),
                         [](const auto &info) {
                           return "n" + std::to_string(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) == RdftPath::best ? "_best" : "_plain");
                         });

TEST(Rdft, HandComputedTablesFollowTheSizeAndRefusedSizesAreUntouched) {
  // x = 1, 2, 3, 4: sum 10; sum x cos(pi j) = 1 - 2 + 3 - 4 = -2;
  // k = 1: cos terms 1 - 3 = -2, sin terms 2 - 4 = -2.
  RdftTables tables{};
  std::vector<float> a = {1, 2, 3, 4};
  rdft(4, 1, a.data(), tables);
  for (int i = 0; i < 4; ++i)
    EXPECT_FLOAT_EQ(a[i], i == 0 ? 10 : -2) << i;
  std::vector<float> big = random_values(4096, 5, 1000.0f), small = random_values(512, 6, 1000.0f);
  const auto small_in = small;
  rdft(4096, 1, big.data(), tables);
  rdft(512, 1, small.data(), tables); // rebuilds for the new size
  EXPECT_LT(relative_error(small, vex::testkit::direct_forward(small_in)), 1e-5);
  std::vector<float> odd(6, 1.0f), huge(8192, 1.0f);
  rdft(6, 1, odd.data(), tables);
  rdft(8192, 1, huge.data(), tables);
  EXPECT_EQ(odd, std::vector<float>(6, 1.0f));
  EXPECT_EQ(huge, std::vector<float>(8192, 1.0f));
}

} // namespace
