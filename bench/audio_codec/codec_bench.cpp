// The transform codec beside FFmpeg's native AAC encoder and decoder on the
// same PCM. Counters: x_realtime = seconds of sound coded per second.
//
// The encoders are compared at their own rates (ours at quality 4, AAC at
// 64 kbit/s per channel). The decoders are fed streams of the same bit rate:
// AAC is asked for the rate our encoder reached on the same PCM, since the
// cost of decoding grows with the bits read. Each side delivers its own
// output format (ours interleaved 16-bit, AAC planar float, left as it is).
#include <benchmark/benchmark.h>

#include <cstring>
#include <stdexcept>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include "testkit/audio_codec/bench_signal.h"
#include "testkit/audio_codec/codec_driver.h"

namespace {

using vex::testkit::Pcm;

void report(benchmark::State &state, size_t samples, uint32_t rate, uint32_t channels, size_t coded_bytes) {
  const double seconds = static_cast<double>(samples) / channels / rate;
  state.counters["x_realtime"] = benchmark::Counter(seconds * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["samples_per_s"] =
      benchmark::Counter(static_cast<double>(samples) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["kbit_per_s"] = static_cast<double>(coded_bytes) * 8 / seconds / 1000;
}

void BM_VexEncode(benchmark::State &state) {
  const auto rate = static_cast<uint32_t>(state.range(0)), ch = static_cast<uint32_t>(state.range(1));
  const Pcm &pcm = bench_pcm(rate, ch);
  size_t bytes = 0;
  for (auto _ : state) {
    const auto s = vex::testkit::encode_stream(pcm, rate, ch, 4);
    bytes = 0;
    for (const auto &b : s.blocks)
      bytes += b.bytes.size();
    benchmark::DoNotOptimize(bytes);
  }
  report(state, pcm.size(), rate, ch, bytes);
}

void BM_VexDecode(benchmark::State &state) {
  const auto rate = static_cast<uint32_t>(state.range(0)), ch = static_cast<uint32_t>(state.range(1));
  const Pcm &pcm = bench_pcm(rate, ch);
  const auto s = vex::testkit::encode_stream(pcm, rate, ch, 4);
  size_t bytes = 0;
  for (const auto &b : s.blocks)
    bytes += b.bytes.size();
  for (auto _ : state) {
    const auto out = vex::testkit::decode_stream(s, rate, ch);
    benchmark::DoNotOptimize(out.data());
  }
  report(state, pcm.size(), rate, ch, bytes);
}

// FFmpeg's AAC: planar float frames of 1024 samples per channel.
struct Aac {
  AVCodecContext *ctx = nullptr;
  AVFrame *frame = nullptr;
  AVPacket *pkt = nullptr;
  Aac(bool encoder, uint32_t rate, uint32_t ch, const AVCodecParameters *par = nullptr, int64_t bit_rate = 0) {
    const AVCodec *c = encoder ? avcodec_find_encoder(AV_CODEC_ID_AAC) : avcodec_find_decoder(AV_CODEC_ID_AAC);
    ctx = avcodec_alloc_context3(c);
    ctx->sample_rate = static_cast<int>(rate);
    av_channel_layout_default(&ctx->ch_layout, static_cast<int>(ch));
    if (encoder) {
      ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
      ctx->bit_rate = bit_rate > 0 ? bit_rate : 64000 * ch;
    } else if (par) {
      avcodec_parameters_to_context(ctx, par);
    }
    if (avcodec_open2(ctx, c, nullptr) < 0)
      throw std::runtime_error("cannot open FFmpeg's AAC");
    frame = av_frame_alloc();
    pkt = av_packet_alloc();
  }
  ~Aac() {
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
  }
};

// Encodes the PCM; returns the packets (and their total size).
std::vector<std::vector<uint8_t>> aac_encode(Aac &a, const Pcm &pcm, uint32_t ch, AVCodecParameters *par) {
  std::vector<std::vector<uint8_t>> packets;
  const int fs = a.ctx->frame_size;
  const size_t frames = pcm.size() / ch;
  auto drain = [&] {
    while (avcodec_receive_packet(a.ctx, a.pkt) == 0) {
      packets.emplace_back(a.pkt->data, a.pkt->data + a.pkt->size);
      av_packet_unref(a.pkt);
    }
  };
  for (size_t start = 0; start < frames; start += static_cast<size_t>(fs)) {
    const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(fs), frames - start));
    a.frame->nb_samples = n;
    a.frame->format = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_copy(&a.frame->ch_layout, &a.ctx->ch_layout);
    a.frame->sample_rate = a.ctx->sample_rate;
    if (av_frame_get_buffer(a.frame, 0) < 0)
      throw std::runtime_error("frame buffer");
    for (uint32_t c = 0; c < ch; ++c) {
      auto *dst = reinterpret_cast<float *>(a.frame->data[c]);
      for (int i = 0; i < n; ++i)
        dst[i] = pcm[(start + static_cast<size_t>(i)) * ch + c] * (1.0f / 32768.0f);
    }
    avcodec_send_frame(a.ctx, a.frame);
    av_frame_unref(a.frame);
    drain();
  }
  avcodec_send_frame(a.ctx, nullptr);
  drain();
  if (par)
    avcodec_parameters_from_context(par, a.ctx);
  return packets;
}

void BM_AacEncode(benchmark::State &state) {
  const auto rate = static_cast<uint32_t>(state.range(0)), ch = static_cast<uint32_t>(state.range(1));
  const Pcm &pcm = bench_pcm(rate, ch);
  size_t bytes = 0;
  for (auto _ : state) {
    Aac enc(true, rate, ch);
    const auto packets = aac_encode(enc, pcm, ch, nullptr);
    bytes = 0;
    for (const auto &p : packets)
      bytes += p.size();
  }
  report(state, pcm.size(), rate, ch, bytes);
}

// Our stream's bit rate for this PCM and geometry (what BM_VexDecode reads).
int64_t vex_bit_rate(const Pcm &pcm, uint32_t rate, uint32_t ch) {
  const auto s = vex::testkit::encode_stream(pcm, rate, ch, 4);
  size_t bytes = 0;
  for (const auto &b : s.blocks)
    bytes += b.bytes.size();
  const double seconds = static_cast<double>(pcm.size()) / ch / rate;
  return static_cast<int64_t>(static_cast<double>(bytes) * 8 / seconds);
}

void BM_AacDecode(benchmark::State &state) {
  const auto rate = static_cast<uint32_t>(state.range(0)), ch = static_cast<uint32_t>(state.range(1));
  const Pcm &pcm = bench_pcm(rate, ch);
  AVCodecParameters *par = avcodec_parameters_alloc();
  std::vector<std::vector<uint8_t>> packets;
  {
    Aac enc(true, rate, ch, nullptr, vex_bit_rate(pcm, rate, ch));
    packets = aac_encode(enc, pcm, ch, par);
  }
  size_t bytes = 0;
  for (const auto &p : packets)
    bytes += p.size();
  for (auto _ : state) {
    Aac dec(false, rate, ch, par);
    for (auto &p : packets) {
      dec.pkt->data = p.data();
      dec.pkt->size = static_cast<int>(p.size());
      avcodec_send_packet(dec.ctx, dec.pkt);
      while (avcodec_receive_frame(dec.ctx, dec.frame) == 0) {
        benchmark::DoNotOptimize(dec.frame->data[0]);
        av_frame_unref(dec.frame);
      }
    }
  }
  avcodec_parameters_free(&par);
  report(state, pcm.size(), rate, ch, bytes);
}

void geometries(benchmark::internal::Benchmark *b) {
  b->Args({44100, 2})->Args({22050, 1})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_VexEncode)->Apply(geometries);
BENCHMARK(BM_AacEncode)->Apply(geometries);
BENCHMARK(BM_VexDecode)->Apply(geometries);
BENCHMARK(BM_AacDecode)->Apply(geometries);

} // namespace
BENCHMARK_MAIN();
