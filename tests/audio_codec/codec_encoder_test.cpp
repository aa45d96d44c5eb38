// Encoder accounting, padding and behaviour on extreme PCM.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "audio_codec/audio_codec.h"
#include "testkit/audio_codec/codec_driver.h"
#include "testkit/audio_codec/test_signals.h"

namespace {

using namespace vex::testkit;

struct Free {
  void operator()(void *p) const { AudioCodecFree(p); }
};
using EncPtr = std::unique_ptr<AUDIOENC, Free>;

struct Step {
  uint32_t size, accounted;
};

Step feed(AUDIOENC *e, const int16_t *samples, uint32_t count) {
  void *where = nullptr;
  uint32_t room = 0;
  AudioEncInput(e, &where, &room);
  const uint32_t bytes = std::min(room, count * 2);
  if (bytes)
    std::memcpy(where, samples, bytes);
  const uint8_t *block = nullptr;
  Step s{};
  AudioEncBlock(e, 4, bytes, &block, &s.size, &s.accounted);
  EXPECT_EQ(block, e->output);
  EXPECT_EQ(s.size % 4, 0u);
  return s;
}

TEST(CodecEncoder, AccountingAndThePaddedFinalWindow) {
  // 11025 Hz mono: N = 512, V = 32, hop 480. 522 samples: the first
  // window takes 512 and accounts for 480; the second takes 10 more, pads
  // with the last one and accounts for the remaining 42.
  EncPtr e(AudioEncOpen(11025, 1));
  Pcm pcm = sine_sweep(11025, 1, 522, 200, 2000, 9000);
  pcm.back() = 777;
  const Step a = feed(e.get(), pcm.data(), 512);
  EXPECT_EQ(a.accounted, 960u);
  const Step b = feed(e.get(), pcm.data() + 512, 10);
  EXPECT_EQ(b.accounted, 84u);
  for (uint32_t i = 0; i < e->overlap; ++i) // the kept overlap continues the padding
    ASSERT_EQ(e->input[i], 777) << i;
  const Step c = feed(e.get(), nullptr, 0);
  EXPECT_EQ(c.accounted, 0u);
  EXPECT_EQ(e->received, 1044u);
  EXPECT_EQ(e->consumed, 1044u);

  const CodedStream s = encode_stream(pcm, 11025, 1, 4);
  EXPECT_EQ(s.blocks.size(), 2u);
  EXPECT_EQ(s.pcm_bytes, 1044u);
  EXPECT_EQ(decode_stream(s, 11025, 1).size(), 522u);
}

TEST(CodecEncoder, EmptySourceCodesOneSilentWindow) {
  const CodedStream s = encode_stream({}, 22050, 2, 4);
  ASSERT_EQ(s.blocks.size(), 1u);
  EXPECT_EQ(s.pcm_bytes, 0u);
  for (int16_t v : decode_alone(s.blocks[0].bytes, 22050, 2))
    ASSERT_EQ(v, 0);
  // More bytes placed than fit count as what fits.
  EncPtr e(AudioEncOpen(22050, 2));
  const uint8_t *block = nullptr;
  uint32_t size = 0, accounted = 0;
  AudioEncBlock(e.get(), 4, 1u << 30, &block, &size, &accounted);
  EXPECT_EQ(e->received, e->n * 2);
}

TEST(CodecEncoder, DcAndTheHighestFrequencyTravelAsTheTwoRealValues) {
  // A constant and a +-32767 alternation are the two real transform values,
  // sent as 29-bit numbers: they come back within rounding (and 1 more
  // from the cross-fade's floor divisions).
  for (const auto &[rate, ch] : {std::pair{11025u, 1u}, std::pair{22050u, 2u}, std::pair{44100u, 2u}}) {
    for (int16_t dc : {int16_t{32767}, int16_t{-32768}, int16_t{-5}}) {
      const Pcm pcm = constant(ch, rate / 2, dc);
      const Pcm out = decode_stream(encode_stream(pcm, rate, ch, 4), rate, ch);
      ASSERT_EQ(out.size(), pcm.size());
      for (size_t i = 0; i < out.size(); ++i)
        ASSERT_NEAR(out[i], dc, 2) << rate << " " << dc << " at " << i;
    }
    // Whole windows only; the last V samples still fade into the window the
    // encoder adds behind them, which is padding and no longer a pure tone.
    const auto g = vex::audio_codec::codec_geometry(rate, ch);
    Pcm alt(g.n + 10 * (g.n - g.overlap));
    for (size_t i = 0; i < alt.size(); ++i)
      alt[i] = i % 2 ? -32767 : 32767;
    const Pcm out = decode_stream(encode_stream(alt, rate, ch, 4), rate, ch);
    ASSERT_EQ(out.size(), alt.size());
    for (size_t i = 0; i + g.overlap < out.size(); ++i)
      ASSERT_NEAR(out[i], alt[i], 2) << rate << " at " << i;
  }
}

TEST(CodecEncoder, ExtremePcmStaysInBoundsAtEveryQuality) {
  // Full-scale squares, clipped noise and their mixes at the extremes of the
  // quality range: every block fits the output area and decodes to the
  // right length (the sanitizer build checks every integer conversion).
  // Rates 0 and 8000 leave no bands or fewer bands than the table.
  for (const auto &[rate, ch] : {std::pair{11025u, 1u}, std::pair{22050u, 1u}, std::pair{44100u, 2u},
                                 std::pair{8000u, 2u}, std::pair{0u, 1u}})
    for (uint32_t quality : {0u, 4u, 99u, 1000u}) {
      for (const Pcm &pcm : {square(ch, 4000, 2, -32768, 32767), square(ch, 4000, 100, -32768, 32767),
                             square(ch, 4000, 7, -32768, 32767), white_noise(ch, 4000, 60000, 3)}) {
        const CodedStream s = encode_stream(pcm, rate, ch, quality);
        for (const auto &b : s.blocks)
          ASSERT_LE(b.bytes.size(), sizeof(AUDIOENC::output));
        ASSERT_EQ(decode_stream(s, rate, ch).size(), pcm.size());
      }
    }
}

TEST(CodecEncoder, HigherQualityNumbersRaiseTheSmallestSteps) {
  // The search starts from (0.5 A[b])^((quality + 1) / 4): the quality
  // number raises the floor of the steps in the bands where the ear is
  // least sensitive, so blocks shrink as it grows; above 99 it counts as 99.
  const Pcm speech = espeak_speech("Sixty zebras quietly jumped over seven boxes", 22050, 1);
  auto total = [&](uint32_t q) {
    size_t bytes = 0;
    for (const auto &b : encode_stream(speech, 22050, 1, q).blocks)
      bytes += b.bytes.size();
    return bytes;
  };
  const size_t q0 = total(0), q4 = total(4), q40 = total(40), q99 = total(99);
  EXPECT_GT(q0, q4);
  EXPECT_GT(q4, q40);
  EXPECT_GT(q40, q99);
  EXPECT_EQ(total(250), q99);
}

} // namespace
