// YUV_blit_32bpp at 640x480 in its main modes, beside libswscale's
// YUV420P -> BGRA conversion of the same planes in the same run.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <vector>

#include "vexutil/yuv.h"

namespace {

constexpr int W = 640, H = 480;

const std::vector<uint8_t> &planes() {
  static const std::vector<uint8_t> p = [] {
    std::vector<uint8_t> v(size_t(W) * H * 3 / 2);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        v[size_t(y) * W + x] = static_cast<uint8_t>(16 + (x * 7 + y * 3) % 220);
    for (size_t i = size_t(W) * H; i < v.size(); ++i)
      v[i] = static_cast<uint8_t>(64 + i * 13 % 128);
    return v;
  }();
  return p;
}

void Blit(benchmark::State &state, uint32_t flags, int out_scale_x, int out_scale_y) {
  std::vector<uint32_t> dest(size_t(W) * H * out_scale_x * out_scale_y);
  YUV_init(3);
  for (auto _ : state) {
    YUV_blit_32bpp(dest.data(), 0, 0, W * 4 * out_scale_x, planes().data(), 0, 0, W, H, W, H, flags);
    benchmark::DoNotOptimize(dest.data());
  }
  state.SetItemsProcessed(state.iterations() * W * H);
  state.counters["Mpx/s"] = benchmark::Counter(double(state.iterations()) * W * H / 1e6, benchmark::Counter::kIsRate);
}

void Swscale(benchmark::State &state, int algorithm) {
  SwsContext *ctx = sws_getContext(W, H, AV_PIX_FMT_YUV420P, W, H, AV_PIX_FMT_BGRA, algorithm, nullptr, nullptr, nullptr);
  std::vector<uint8_t> dest(size_t(W) * H * 4);
  const uint8_t *p = planes().data();
  // Plane 1 drives red (Cr), plane 2 blue (Cb): YUV420P wants Cb first.
  const uint8_t *src[4] = {p, p + W * H + (W / 2) * (H / 2), p + W * H, nullptr};
  const int src_stride[4] = {W, W / 2, W / 2, 0};
  uint8_t *dst[4] = {dest.data(), nullptr, nullptr, nullptr};
  const int dst_stride[4] = {W * 4, 0, 0, 0};
  for (auto _ : state) {
    sws_scale(ctx, src, src_stride, 0, H, dst, dst_stride);
    benchmark::DoNotOptimize(dest.data());
  }
  sws_freeContext(ctx);
  state.SetItemsProcessed(state.iterations() * W * H);
  state.counters["Mpx/s"] = benchmark::Counter(double(state.iterations()) * W * H / 1e6, benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(Blit, copy, 0u, 1, 1);
BENCHMARK_CAPTURE(Blit, copy_plain, uint32_t{YUV_NO_SIMD}, 1, 1);
BENCHMARK_CAPTURE(Blit, double_width, 3u << 28, 2, 1);
BENCHMARK_CAPTURE(Blit, double_both, 4u << 28, 2, 2);
BENCHMARK_CAPTURE(Blit, grey, uint32_t{YUV_GREY}, 1, 1);
BENCHMARK_CAPTURE(Swscale, point, SWS_POINT);
BENCHMARK_CAPTURE(Swscale, bilinear, SWS_BILINEAR);

} // namespace

BENCHMARK_MAIN();
