// The library's real DFT beside FFTW's single-precision real-to-complex
// transform (planned with FFTW_MEASURE) for the codec's window sizes.
#include <benchmark/benchmark.h>

#include <fftw3.h>

#include <random>
#include <vector>

#include "audio/rdft.h"

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
  vex::audio::RdftTables tables{};
  for (auto _ : state) {
    restore(x, a.data());
    vex::audio::rdft(n, 1, a.data(), tables);
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

BENCHMARK(BM_Rdft)->RangeMultiplier(2)->Range(512, 4096);
BENCHMARK(BM_FftwR2c)->RangeMultiplier(2)->Range(512, 4096);

} // namespace
