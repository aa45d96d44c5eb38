// Lossless compressed-sound chunks (Huffman deltas, quality 0) beside FLAC
// at compression level 5 on the same PCM, in the same run. Counters: MB/s of
// PCM, and the coded size against the PCM size.
#include <benchmark/benchmark.h>

#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "csfile/cs_writer.h"
#include "testkit/csfile/memory_pcm_source.h" // pcm16_bytes
#include "testkit/audio_codec/test_signals.h"
#include "testkit/util/temp_dir.h"

namespace {

using vex::testkit::Pcm;

struct BenchSound {
  std::string name;
  uint32_t rate, channels;
  Pcm pcm;
};

// Ten seconds of espeak-ng speech (sentences with their pauses), repeated.
Pcm speech_pcm(uint32_t rate) {
  const Pcm one = vex::testkit::espeak_speech(
      "Compressed sound chunks carry speech and music for the tools. Each chunk is coded on its own, "
      "with a table for every byte of a sample frame.",
      rate, 1);
  Pcm out(static_cast<size_t>(rate) * 10);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = one[i % one.size()];
  return out;
}

// Ten seconds of something like music: a chord progression of harmonic
// tones with plucked envelopes, a bass line, and short noise bursts on the
// beat, panned apart in stereo.
Pcm music_pcm(uint32_t rate) {
  constexpr double kChords[4][3] = {{261.63, 329.63, 392.0}, {220.0, 261.63, 329.63},
                                    {174.61, 220.0, 261.63}, {196.0, 246.94, 293.66}};
  const double beat = 0.25; // seconds
  std::mt19937 gen(3);
  std::normal_distribution<double> noise(0.0, 1.0);
  const size_t frames = static_cast<size_t>(rate) * 10;
  Pcm out(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    const auto b = static_cast<size_t>(t / beat);
    const double in_beat = t - static_cast<double>(b) * beat;
    const double pluck = std::exp(-in_beat * 6);
    const auto &chord = kChords[(b / 8) % 4];
    double left = 0, right = 0;
    for (size_t k = 0; k < 3; ++k) {
      double tone = 0;
      for (int h = 1; h <= 5; ++h)
        tone += std::sin(2 * std::numbers::pi * chord[k] * h * t) / (h * h);
      left += tone * (k == 2 ? 0.4 : 1.0);
      right += tone * (k == 0 ? 0.4 : 1.0);
    }
    const double bass = std::sin(2 * std::numbers::pi * chord[0] / 4 * t) * 1.5;
    const double hat = in_beat < 0.03 ? noise(gen) * std::exp(-in_beat * 150) * 0.6 : 0.0;
    out[2 * i] = static_cast<int16_t>(std::lround(3000 * (left * pluck + bass + hat)));
    out[2 * i + 1] = static_cast<int16_t>(std::lround(3000 * (right * pluck + bass + hat)));
  }
  return out;
}

// The PCM of a sound, read in place (a sound source copies its PCM out too).
class ViewSource : public vex::csfile::PcmSource {
public:
  ViewSource(std::span<const uint8_t> pcm, const vex::csfile::PcmFormat &f) : pcm_(pcm), format_(f) {}
  uint32_t read(std::span<uint8_t> dest) override {
    const size_t n = std::min(dest.size(), pcm_.size() - pos_) / format_.frame_bytes() * format_.frame_bytes();
    std::memcpy(dest.data(), pcm_.data() + pos_, n);
    pos_ += n;
    return static_cast<uint32_t>(n);
  }
  bool at_end() const override { return pos_ == pcm_.size(); }
  void rewind() override { pos_ = 0; }
  vex::csfile::PcmFormat output() const override { return format_; }
  vex::csfile::PcmFormat input() const override { return format_; }
  uint32_t input_bytes() const override { return static_cast<uint32_t>(pcm_.size()); }

private:
  std::span<const uint8_t> pcm_;
  vex::csfile::PcmFormat format_;
  size_t pos_ = 0;
};

const BenchSound &sound(int which) {
  static const BenchSound sounds[] = {
      {"speech 22050 Hz mono", 22050, 1, speech_pcm(22050)},
      {"music 44100 Hz stereo", 44100, 2, music_pcm(44100)},
  };
  return sounds[which];
}

void BM_CompressedSoundChunks(benchmark::State &state) {
  const BenchSound &s = sound(static_cast<int>(state.range(0)));
  const auto bytes = vex::testkit::pcm16_bytes(s.pcm);
  const auto chunk = static_cast<uint32_t>(s.rate * 2 * s.channels * state.range(1) / 1000);
  vex::testkit::TempDir dir;
  const std::string name = dir.file("chunks.bin");
  uint64_t coded = 0;
  for (auto _ : state) {
    auto source = std::make_unique<ViewSource>(bytes, vex::csfile::PcmFormat{s.rate, 16, s.channels});
    CSFILE *cs = vex::csfile::CSFileOpenSource(std::move(source), vex::csfile::CsOptions{});
    VEXFILE *f = VEXFileCreate(65536, name.c_str());
    CSFileSetOutput(cs, f);
    while (cs->pass_left > 0)
      CSFilePut(cs, chunk);
    coded = cs->total_chunk_bytes;
    CSFileClose(cs);
    VEXFileClose(f);
  }
  state.SetLabel(s.name + ", chunks of " + std::to_string(state.range(1)) + " ms");
  state.SetBytesProcessed(static_cast<int64_t>(bytes.size()) * state.iterations());
  state.counters["coded_ratio"] = static_cast<double>(coded) / static_cast<double>(bytes.size());
}

FLAC__StreamEncoderWriteStatus count_bytes(const FLAC__StreamEncoder *, const FLAC__byte[], size_t bytes, uint32_t,
                                           uint32_t, void *client) {
  *static_cast<uint64_t *>(client) += bytes;
  return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

void BM_Flac(benchmark::State &state) {
  const BenchSound &s = sound(static_cast<int>(state.range(0)));
  // FLAC takes 32-bit samples; the conversion is left out of the timing.
  const std::vector<FLAC__int32> wide(s.pcm.begin(), s.pcm.end());
  uint64_t coded = 0;
  for (auto _ : state) {
    coded = 0;
    FLAC__StreamEncoder *e = FLAC__stream_encoder_new();
    FLAC__stream_encoder_set_channels(e, s.channels);
    FLAC__stream_encoder_set_bits_per_sample(e, 16);
    FLAC__stream_encoder_set_sample_rate(e, s.rate);
    FLAC__stream_encoder_set_compression_level(e, 5);
    FLAC__stream_encoder_set_verify(e, false);
    if (FLAC__stream_encoder_init_stream(e, count_bytes, nullptr, nullptr, nullptr, &coded) !=
        FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
      state.SkipWithError("FLAC encoder init failed");
      break;
    }
    FLAC__stream_encoder_process_interleaved(e, wide.data(), static_cast<uint32_t>(s.pcm.size() / s.channels));
    FLAC__stream_encoder_finish(e);
    FLAC__stream_encoder_delete(e);
  }
  state.SetLabel(s.name);
  state.SetBytesProcessed(static_cast<int64_t>(s.pcm.size() * 2) * state.iterations());
  state.counters["coded_ratio"] = static_cast<double>(coded) / static_cast<double>(s.pcm.size() * 2);
}

BENCHMARK(BM_CompressedSoundChunks)->ArgsProduct({{0, 1}, {100, 1000}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Flac)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

} // namespace
BENCHMARK_MAIN();
