// Whole signals through the encoder and the decoder at every geometry.
#include <gtest/gtest.h>

#include <string>

#include "codec_quality.h"
#include "testkit/audio_codec/codec_driver.h"
#include "testkit/audio_codec/test_signals.h"

namespace {

using namespace vex::testkit;

struct Case {
  uint32_t rate, channels;
};

class CodecRoundTrip : public ::testing::TestWithParam<Case> {};

struct Signal {
  std::string name;
  Pcm pcm;
  double min_snr_db; // from measurements of correct code, about 2 dB below
};

std::vector<Signal> signals(uint32_t rate, uint32_t ch) {
  const uint32_t frames = rate * 3 / 2 + 77; // not a whole number of windows
  return {
      {"sweep", sine_sweep(rate, ch, frames, 50, rate * 0.45, 12000), 8},
      {"white", white_noise(ch, frames, 8000, rate + ch), 8},
      {"pink", pink_noise(ch, frames, 12000, rate * ch), 3},
      {"clicks", click_train(ch, frames, 1000, 20000), 2},
      {"speech", espeak_speech("The quick brown fox jumps over the lazy dog", rate, ch), 15},
  };
}

// Quality 4 is what the compressed-sound writer uses by default.
constexpr uint32_t kQuality = 4;

TEST_P(CodecRoundTrip, SignalsSurviveWithTheirNoiseAtTheThreshold) {
  const auto [rate, ch] = GetParam();
  for (const auto &sig : signals(rate, ch)) {
    SCOPED_TRACE(sig.name);
    const CodedStream s = encode_stream(sig.pcm, rate, ch, kQuality);
    const Pcm out = decode_stream(s, rate, ch);
    ASSERT_EQ(out.size(), sig.pcm.size());
    EXPECT_GT(snr_db(sig.pcm, out), sig.min_snr_db);

    // No step at the joins: the error's sample-to-sample change near a join
    // (the first samples of a block, the end of its cross-fade) is no
    // larger than anywhere else. Measured on correct code it stays at or
    // below the largest elsewhere (at most 1.004 times it); without the
    // cross-fade the sweeps, the speech and the pink noise jump 1.6 to 8
    // times higher there.
    const JoinJumps j = join_jumps(sig.pcm, out, s.n, s.overlap, ch);
    EXPECT_LE(j.at_joins, 1.1 * j.elsewhere + 8);

    // The encoder puts each band's noise at its masking threshold: the
    // searched step is the largest whose noise stays under it, and the
    // step code then rounds it to 0.664 dB steps, moving the noise by up to
    // about +-16 % (more where most coefficients quantise to 0). So where
    // the search set the step, the noise sits around the threshold, rarely
    // above twice it. Measured on correct code: medians 0.97-1.03, 90th
    // percentiles 1.15-1.8; sparse click spectra sit lower (medians down to
    // 0.71), as most of their coefficients quantise to 0. Where smoothing or the start value set a
    // larger step, the noise is above the threshold by design.
    const BandNoise bn = band_noise(s, rate, ch, kQuality);
    ASSERT_GT(bn.searched.size(), 100u);
    EXPECT_GT(quantile(bn.searched, 0.5), 0.5);
    EXPECT_LT(quantile(bn.searched, 0.5), 1.2);
    EXPECT_LT(quantile(bn.searched, 0.9), 2.0);
    EXPECT_GT(bn.searched.size(), bn.other.size() / 2) << "most bands get a searched step";
  }
}

INSTANTIATE_TEST_SUITE_P(Geometries, CodecRoundTrip,
                         ::testing::Values(Case{11025, 1}, Case{11025, 2}, Case{22050, 1}, Case{22050, 2},
                                           Case{44100, 1}, Case{44100, 2}),
                         [](const auto &info) {
                           return std::to_string(info.param.rate) + (info.param.channels == 2 ? "Stereo" : "Mono");
                         });

} // namespace
