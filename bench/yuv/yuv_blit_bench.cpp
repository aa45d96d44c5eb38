// YUV_blit_32bpp at 640x480 in every mode, each beside libswscale's
// conversion of the same planes to the same output in the same run.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdint>
#include <ctime>
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
  const double pixels = double(W) * ((flags >> 28 & 7) == 6 ? H / 2 : H); // mode 6 converts even rows only
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * pixels));
  state.counters["Mpx/s"] = benchmark::Counter(double(state.iterations()) * pixels / 1e6, benchmark::Counter::kIsRate);
}

// The peer for each mode: libswscale from YUV420P (GRAY8 for grey: the
// luma plane alone) to BGRA at the mode's output size, with the mode's row
// steps: rows_out 2 leaves every other destination row (modes 2 and 5),
// rows_in 2 reads every other source row with the chroma rows that follow
// the doubled pitch (mode 6).
struct Peer {
  int algorithm;
  int scale_x = 1, scale_y = 1;
  bool grey = false;
  int rows_out = 1, rows_in = 1;
};

void Swscale(benchmark::State &state, Peer peer) {
  const int in_h = H / peer.rows_in, out_w = W * peer.scale_x, out_h = in_h * peer.scale_y;
  SwsContext *ctx = sws_getContext(W, in_h, peer.grey ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_YUV420P, out_w, out_h,
                                   AV_PIX_FMT_BGRA, peer.algorithm, nullptr, nullptr, nullptr);
  std::vector<uint8_t> dest(size_t(out_w) * out_h * peer.rows_out * 4);
  const uint8_t *p = planes().data();
  // Plane 1 drives red (Cr), plane 2 blue (Cb): YUV420P wants Cb first.
  const uint8_t *src[4] = {p, p + W * H + (W / 2) * (H / 2), p + W * H, nullptr};
  const int src_stride[4] = {W * peer.rows_in, W / 2 * peer.rows_in, W / 2 * peer.rows_in, 0};
  uint8_t *dst[4] = {dest.data(), nullptr, nullptr, nullptr};
  const int dst_stride[4] = {out_w * 4 * peer.rows_out, 0, 0, 0};
  for (auto _ : state) {
    sws_scale(ctx, src, src_stride, 0, in_h, dst, dst_stride);
    benchmark::DoNotOptimize(dest.data());
  }
  sws_freeContext(ctx);
  const double pixels = double(W) * in_h;
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * pixels));
  state.counters["Mpx/s"] = benchmark::Counter(double(state.iterations()) * pixels / 1e6, benchmark::Counter::kIsRate);
}

double thread_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Copy mode and libswscale's fastest path (SWS_POINT) in turns, one frame
// each, timed by the thread's own processor clock: speed_ratio is the
// median over the turns of swscale's time over ours (above 1: ours is
// faster). Each side writes its own destination, warm from the turn before;
// both read the same planes. Alternating keeps both under the same load on
// the shared machine, and the median drops turns an interruption spoiled.
void CopyRatio(benchmark::State &state) {
  std::vector<uint32_t> ours(size_t(W) * H);
  std::vector<uint8_t> theirs(size_t(W) * H * 4);
  YUV_init(3);
  SwsContext *ctx =
      sws_getContext(W, H, AV_PIX_FMT_YUV420P, W, H, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
  const uint8_t *p = planes().data();
  const uint8_t *src[4] = {p, p + W * H + (W / 2) * (H / 2), p + W * H, nullptr};
  const int src_stride[4] = {W, W / 2, W / 2, 0};
  uint8_t *dst[4] = {theirs.data(), nullptr, nullptr, nullptr};
  const int dst_stride[4] = {W * 4, 0, 0, 0};
  std::vector<double> ratios;
  double ours_s = 0, theirs_s = 0;
  for (auto _ : state) {
    const double t0 = thread_seconds();
    YUV_blit_32bpp(ours.data(), 0, 0, W * 4, p, 0, 0, W, H, W, H, 0);
    benchmark::DoNotOptimize(ours.data());
    const double t1 = thread_seconds();
    sws_scale(ctx, src, src_stride, 0, H, dst, dst_stride);
    benchmark::DoNotOptimize(theirs.data());
    const double t2 = thread_seconds();
    ours_s += t1 - t0;
    theirs_s += t2 - t1;
    ratios.push_back((t2 - t1) / (t1 - t0));
  }
  sws_freeContext(ctx);
  std::nth_element(ratios.begin(), ratios.begin() + static_cast<long>(ratios.size() / 2), ratios.end());
  state.counters["speed_ratio"] = ratios[ratios.size() / 2];
  const double frames = static_cast<double>(state.iterations());
  state.counters["ours_Gpx_s"] = frames * W * H / ours_s / 1e9;
  state.counters["swscale_Gpx_s"] = frames * W * H / theirs_s / 1e9;
}

// Source pixels a second (counted like the peer's: half the rows in mode 6).
BENCHMARK_CAPTURE(Blit, copy, 0u, 1, 1);
BENCHMARK_CAPTURE(Blit, copy_plain, uint32_t{YUV_NO_SIMD}, 1, 1);
BENCHMARK_CAPTURE(Swscale, copy_point, Peer{SWS_POINT});
BENCHMARK_CAPTURE(Swscale, copy_bilinear, Peer{SWS_BILINEAR});
BENCHMARK(CopyRatio)->Iterations(2000);
BENCHMARK_CAPTURE(Blit, double_height, 1u << 28, 1, 2);
BENCHMARK_CAPTURE(Swscale, double_height_point, Peer{SWS_POINT, 1, 2});
BENCHMARK_CAPTURE(Swscale, double_height_fast_bilinear, Peer{SWS_FAST_BILINEAR, 1, 2});
BENCHMARK_CAPTURE(Blit, alternate_rows, 2u << 28, 1, 2);
BENCHMARK_CAPTURE(Swscale, alternate_rows_point, Peer{SWS_POINT, 1, 1, false, 2});
BENCHMARK_CAPTURE(Blit, double_width, 3u << 28, 2, 1);
BENCHMARK_CAPTURE(Swscale, double_width_point, Peer{SWS_POINT, 2, 1});
BENCHMARK_CAPTURE(Swscale, double_width_fast_bilinear, Peer{SWS_FAST_BILINEAR, 2, 1});
BENCHMARK_CAPTURE(Blit, double_both, 4u << 28, 2, 2);
BENCHMARK_CAPTURE(Swscale, double_both_point, Peer{SWS_POINT, 2, 2});
BENCHMARK_CAPTURE(Swscale, double_both_fast_bilinear, Peer{SWS_FAST_BILINEAR, 2, 2});
BENCHMARK_CAPTURE(Blit, double_width_alternate_rows, 5u << 28, 2, 2);
BENCHMARK_CAPTURE(Swscale, double_width_alternate_rows_point, Peer{SWS_POINT, 2, 1, false, 2});
BENCHMARK_CAPTURE(Blit, half_height, 6u << 28, 1, 1);
BENCHMARK_CAPTURE(Swscale, half_height_point, Peer{SWS_POINT, 1, 1, false, 1, 2});
BENCHMARK_CAPTURE(Blit, grey, uint32_t{YUV_GREY}, 1, 1);
BENCHMARK_CAPTURE(Swscale, grey_point, Peer{SWS_POINT, 1, 1, true});

} // namespace

BENCHMARK_MAIN();
