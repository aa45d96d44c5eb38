// The flat-area filter of 24-bit promotion on a 640 x 480 frame at 24 and
// 32 bits, beside the slow transcription the tests check it against, in
// megapixels per second (the "Mpix/s" counter). The frame is a smooth
// gradient with noise and sharp edges, so both outcomes of the filter
// occur.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "gfile/flat_area_filter.h"
#include "testkit/gfile/flat_area_reference.h"

namespace {

constexpr int kW = 640, kH = 480;

std::vector<uint8_t> frame(int depth) {
  const int bpp = depth / 8;
  std::vector<uint8_t> f(static_cast<size_t>(kW) * kH * bpp);
  std::mt19937 rng(7);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      uint8_t *p = &f[(static_cast<size_t>(y) * kW + x) * bpp];
      const bool edge = (x / 40 + y / 30) % 7 == 0;
      for (int c = 0; c < bpp; ++c)
        p[c] = static_cast<uint8_t>(edge ? rng() : 40 + (x + y * 2 + c * 50) / 6 + rng() % 3);
    }
  return f;
}

void mpix(benchmark::State &state) {
  state.counters["Mpix/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kW * kH / 1e6, benchmark::Counter::kIsRate);
}

void BM_FlatAreaFilter(benchmark::State &state) {
  const int depth = static_cast<int>(state.range(0));
  const auto src = frame(depth);
  std::vector<uint8_t> out(static_cast<size_t>(kW) * kH * 3 + 4);
  for (auto _ : state) {
    vex::gfile::flat_area_filter(src.data(), kW * depth / 8, depth, nullptr, kW, kH, out.data(), kW * 3);
    benchmark::DoNotOptimize(out.data());
  }
  mpix(state);
}

void BM_FlatAreaTranscription(benchmark::State &state) {
  const int depth = static_cast<int>(state.range(0));
  const auto src = frame(depth);
  for (auto _ : state) {
    auto out = flat_area_reference::filter({src.data(), kW * depth / 8, depth, nullptr, kW, kH});
    benchmark::DoNotOptimize(out.data());
  }
  mpix(state);
}

BENCHMARK(BM_FlatAreaFilter)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatAreaTranscription)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

} // namespace
BENCHMARK_MAIN();
