// The library's real DFT beside FFTW's single-precision real-to-complex
// transform (planned with FFTW_MEASURE) for the codec's window sizes.
#include <benchmark/benchmark.h>

#include <fftw3.h>

#include <algorithm>
#include <ctime>
#include <random>
#include <vector>

#include "audio_codec/rdft.h"

namespace {

std::vector<float> input(size_t n) {
  std::mt19937 gen(1);
  std::uniform_real_distribution<float> u(-30000, 30000);
  std::vector<float> v(n);
  for (auto &x : v)
    x = u(gen);
  return v;
}

// The input is restored before every transform by this loop in both
// benchmarks, not by memcpy: glibc's memcpy takes `rep movsb` for these
// sizes, which some processors (AMD Zen under glibc 2.36) run up to fifty
// times slower when the destination lies a little above the source modulo
// 4 KiB, as two consecutive heap blocks do. The copy then decided the
// figures (3 us for 4 KiB, 0.2 us for 8 KiB on this machine).
__attribute__((noinline, optimize("no-tree-loop-distribute-patterns"))) void restore(const std::vector<float> &x,
                                                                                    float *to) {
  for (size_t i = 0; i < x.size(); ++i)
    to[i] = x[i];
}

void BM_Rdft(benchmark::State &state) {
  const auto n = static_cast<uint32_t>(state.range(0));
  const auto x = input(n);
  std::vector<float> a(n);
  vex::audio_codec::RdftTables tables{};
  for (auto _ : state) {
    restore(x, a.data());
    vex::audio_codec::rdft(n, 1, a.data(), tables);
    benchmark::DoNotOptimize(a.data());
  }
}

void BM_FftwR2c(benchmark::State &state) {
  const auto n = static_cast<int>(state.range(0));
  const auto x = input(static_cast<size_t>(n));
  float *in = fftwf_alloc_real(static_cast<size_t>(n));
  fftwf_complex *out = fftwf_alloc_complex(static_cast<size_t>(n / 2 + 1));
  fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
  for (auto _ : state) {
    restore(x, in); // the same copy the library's in-place transform pays
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out);
  }
  fftwf_destroy_plan(plan);
  fftwf_free(out);
  fftwf_free(in);
}

double thread_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Both sides in turns, 64 transforms each per turn, timed by the thread's
// own processor clock: time_ratio is the median over the turns of our time
// over FFTW's (below 1: ours is faster). Alternating keeps both sides under
// the same load and cache state on the shared machine, and the median
// drops the turns an interruption spoiled.
void BM_RdftTimeRatio(benchmark::State &state) {
  const auto n = static_cast<uint32_t>(state.range(0));
  const auto x = input(n);
  std::vector<float> a(n);
  vex::audio_codec::RdftTables tables{};
  float *in = fftwf_alloc_real(n);
  fftwf_complex *out = fftwf_alloc_complex(n / 2 + 1);
  fftwf_plan plan = fftwf_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_MEASURE);
  constexpr int kTurn = 64;
  std::vector<double> ratios;
  double ours_s = 0, theirs_s = 0;
  for (auto _ : state) {
    const double t0 = thread_seconds();
    for (int r = 0; r < kTurn; ++r) {
      restore(x, a.data());
      vex::audio_codec::rdft(n, 1, a.data(), tables);
      benchmark::DoNotOptimize(a.data());
    }
    const double t1 = thread_seconds();
    for (int r = 0; r < kTurn; ++r) {
      restore(x, in);
      fftwf_execute(plan);
      benchmark::DoNotOptimize(out);
    }
    const double t2 = thread_seconds();
    ours_s += t1 - t0;
    theirs_s += t2 - t1;
    ratios.push_back((t1 - t0) / (t2 - t1));
  }
  std::nth_element(ratios.begin(), ratios.begin() + static_cast<long>(ratios.size() / 2), ratios.end());
  state.counters["time_ratio"] = ratios[ratios.size() / 2];
  state.counters["ours_us"] = ours_s * 1e6 / (static_cast<double>(state.iterations()) * kTurn);
  state.counters["fftw_us"] = theirs_s * 1e6 / (static_cast<double>(state.iterations()) * kTurn);
  fftwf_destroy_plan(plan);
  fftwf_free(out);
  fftwf_free(in);
}

BENCHMARK(BM_Rdft)->RangeMultiplier(2)->Range(512, 4096);
BENCHMARK(BM_FftwR2c)->RangeMultiplier(2)->Range(512, 4096);
BENCHMARK(BM_RdftTimeRatio)->RangeMultiplier(2)->Range(512, 4096)->Iterations(400);

} // namespace
