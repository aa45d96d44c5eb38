// Rate conversion through SFileGet beside libswresample (swr_convert with
// its default settings) on the same stereo PCM, in the same run:
// 44100 -> 22050 Hz and 22050 -> 44100 Hz. Counters: source sample frames
// per second, the ratio of our speed to swresample's (both timed here in
// turns), and for information each one's SNR against a slow windowed-sinc
// resampler (ours is a two-tap filter; swresample's is long).
#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <ctime>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "testkit/util/wav_file.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/sfile.h"

namespace {

constexpr uint32_t kSeconds = 10;
constexpr size_t kPiece = 65536; // bytes per SFileGet

// Ten seconds of stereo: a few partials moving in pitch and some noise.
std::vector<int16_t> music(uint32_t rate) {
  std::vector<int16_t> out(size_t{rate} * kSeconds * 2);
  uint32_t x = 12345;
  double phase[4] = {};
  for (size_t i = 0; i < out.size() / 2; ++i) {
    const double t = static_cast<double>(i) / rate;
    double l = 0, r = 0;
    for (int p = 0; p < 4; ++p) {
      const double f = (220.0 + 110.0 * std::sin(0.3 * t + p)) * (p + 1);
      phase[p] += 2 * std::numbers::pi * f / rate;
      const double v = std::sin(phase[p]) * 5000.0 / (p + 1);
      l += v * (p % 2 ? 0.6 : 1.0);
      r += v * (p % 2 ? 1.0 : 0.6);
    }
    x = x * 1664525 + 1013904223;
    const double noise = ((x >> 16) & 0x3FF) - 512.0;
    out[2 * i] = static_cast<int16_t>(l + noise);
    out[2 * i + 1] = static_cast<int16_t>(r - noise);
  }
  return out;
}

struct Case {
  uint32_t in_rate, out_rate;
  std::vector<int16_t> pcm;
  vex::testkit::TempDir dir;
  std::string wav;
  Case(uint32_t in, uint32_t out) : in_rate(in), out_rate(out), pcm(music(in)), wav(dir.file("in.wav")) {
    vex::testkit::write_file(wav, vex::testkit::pcm_wav(in, 16, 2, vex::testkit::pcm_bytes(pcm)));
  }
};

Case &down() {
  static Case c(44100, 22050);
  return c;
}
Case &same() {
  static Case c(44100, 44100);
  return c;
}
Case &up() {
  static Case c(22050, 44100);
  return c;
}

// Output buffers allocated once, so that neither side pays for page faults.
std::vector<int16_t> &our_buffer() {
  static std::vector<int16_t> b(size_t{44100} * kSeconds * 2 + kPiece);
  return b;
}
std::vector<int16_t> &their_buffer() {
  static std::vector<int16_t> b(size_t{44100} * kSeconds * 2 + 8192);
  return b;
}

// Returns the number of 16-bit samples made into our_buffer().
size_t ours_into(const Case &c) {
  SFILE *s = SFileOpen(c.wav.c_str(), static_cast<int32_t>(c.out_rate), 16, 2, 0, 0, 0, 0, 0, nullptr);
  std::vector<int16_t> &out = our_buffer();
  size_t at = 0;
  while (uint32_t n = SFileGet(s, out.data() + at / 2, static_cast<uint32_t>(std::min(kPiece, out.size() * 2 - at))))
    at += n;
  SFileClose(s);
  return at / 2;
}

size_t theirs_into(const Case &c) {
  SwrContext *swr = nullptr;
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, static_cast<int>(c.out_rate), &stereo, AV_SAMPLE_FMT_S16,
                      static_cast<int>(c.in_rate), 0, nullptr);
  swr_init(swr);
  std::vector<int16_t> &out = their_buffer();
  const size_t in_frames = c.pcm.size() / 2, piece = kPiece / 4;
  size_t made = 0;
  for (size_t at = 0; at < in_frames; at += piece) {
    const auto *in = reinterpret_cast<const uint8_t *>(c.pcm.data() + 2 * at);
    auto *dst = reinterpret_cast<uint8_t *>(out.data() + 2 * made);
    const int n = swr_convert(swr, &dst, static_cast<int>(out.size() / 2 - made), &in,
                              static_cast<int>(std::min(piece, in_frames - at)));
    made += static_cast<size_t>(std::max(n, 0));
  }
  swr_free(&swr);
  return made * 2;
}

std::vector<int16_t> ours(const Case &c) {
  const size_t n = ours_into(c);
  return {our_buffer().begin(), our_buffer().begin() + static_cast<long>(n)};
}
std::vector<int16_t> theirs(const Case &c) {
  const size_t n = theirs_into(c);
  return {their_buffer().begin(), their_buffer().begin() + static_cast<long>(n)};
}

double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Left channel of the whole signal resampled with a Blackman-windowed sinc
// of 2 x 64 taps, cut off at the lower Nyquist frequency.
std::vector<double> reference(const Case &c) {
  const double step = static_cast<double>(c.in_rate) / c.out_rate;
  const double cutoff = std::min(1.0, static_cast<double>(c.out_rate) / c.in_rate);
  const size_t frames = c.pcm.size() / 2;
  std::vector<double> out(static_cast<size_t>(static_cast<double>(frames) / step));
  constexpr int kHalf = 64;
  for (size_t k = 0; k < out.size(); ++k) {
    const double t = static_cast<double>(k) * step;
    const auto centre = static_cast<long>(t);
    double sum = 0;
    for (long n = centre - kHalf; n <= centre + kHalf; ++n) {
      if (n < 0 || n >= static_cast<long>(frames))
        continue;
      const double d = t - static_cast<double>(n);
      const double w = 0.42 + 0.5 * std::cos(std::numbers::pi * d / (kHalf + 1)) +
                       0.08 * std::cos(2 * std::numbers::pi * d / (kHalf + 1));
      const double x = std::numbers::pi * cutoff * d;
      sum += c.pcm[2 * static_cast<size_t>(n)] * cutoff * (d == 0 ? 1.0 : std::sin(x) / x) * w;
    }
    out[k] = sum;
  }
  return out;
}

// SNR in dB of the left channel over the middle of the signal, at the lag
// (within +-32 output samples) that suits it best.
double snr(const std::vector<int16_t> &got, const std::vector<double> &ref) {
  double best = -1e9;
  const size_t from = ref.size() / 4, to = ref.size() * 3 / 4;
  for (int lag = -32; lag <= 32; ++lag) {
    double sig = 0, err = 0;
    for (size_t k = from; k < to; ++k) {
      const long j = static_cast<long>(k) + lag;
      if (j < 0 || static_cast<size_t>(j) * 2 >= got.size())
        continue;
      const double e = got[2 * static_cast<size_t>(j)] - ref[k];
      sig += ref[k] * ref[k];
      err += e * e;
    }
    if (err > 0)
      best = std::max(best, 10 * std::log10(sig / err));
  }
  return best;
}

void run_ours(benchmark::State &state, Case &c) {
  for (auto _ : state)
    benchmark::DoNotOptimize(ours_into(c));
  state.SetItemsProcessed(static_cast<int64_t>(c.pcm.size() / 2) * state.iterations());
  state.counters["snr_db"] = snr(ours(c), reference(c));
}

void run_theirs(benchmark::State &state, Case &c) {
  for (auto _ : state)
    benchmark::DoNotOptimize(theirs_into(c));
  state.SetItemsProcessed(static_cast<int64_t>(c.pcm.size() / 2) * state.iterations());
  state.counters["snr_db"] = snr(theirs(c), reference(c));
}

// Both in turns, timed by the thread's own CPU clock (the machine is
// shared): how many times faster ours is.
void run_ratio(benchmark::State &state, Case &c) {
  double ours_s = 0, theirs_s = 0;
  for (auto _ : state) {
    const double t0 = thread_seconds();
    benchmark::DoNotOptimize(ours_into(c));
    const double t1 = thread_seconds();
    benchmark::DoNotOptimize(theirs_into(c));
    const double t2 = thread_seconds();
    ours_s += t1 - t0;
    theirs_s += t2 - t1;
  }
  state.counters["ours_per_s"] = static_cast<double>(c.pcm.size() / 2) * state.iterations() / ours_s;
  state.counters["swr_per_s"] = static_cast<double>(c.pcm.size() / 2) * state.iterations() / theirs_s;
  state.counters["speed_ratio"] = theirs_s / ours_s;
}

void BM_SFileGet_44100_to_22050(benchmark::State &s) { run_ours(s, down()); }
void BM_Swresample_44100_to_22050(benchmark::State &s) { run_theirs(s, down()); }
void BM_Ratio_44100_to_22050(benchmark::State &s) { run_ratio(s, down()); }
void BM_SFileGet_22050_to_44100(benchmark::State &s) { run_ours(s, up()); }
void BM_Swresample_22050_to_44100(benchmark::State &s) { run_theirs(s, up()); }
void BM_Ratio_22050_to_44100(benchmark::State &s) { run_ratio(s, up()); }

// The floor: reading the file with no conversion at all.
void BM_SFileGet_44100_unchanged(benchmark::State &state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(ours_into(same()));
  state.SetItemsProcessed(static_cast<int64_t>(same().pcm.size() / 2) * state.iterations());
}

BENCHMARK(BM_SFileGet_44100_unchanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SFileGet_44100_to_22050)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Swresample_44100_to_22050)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ratio_44100_to_22050)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_SFileGet_22050_to_44100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Swresample_22050_to_44100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ratio_22050_to_44100)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

BENCHMARK_MAIN();
