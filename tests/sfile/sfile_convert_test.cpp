// Width, channel and rate conversion: the values the rules give by hand,
// then the library against the step-by-step reference on random PCM at
// many rate pairs, read in pieces of many sizes.
#include <gtest/gtest.h>

#include <random>

#include "testkit/util/wav_file.h"
#include "testkit/util/temp_dir.h"
#include "tests/sfile/sfile_test_util.h"

namespace {

using namespace sfile_test;
namespace tk = vex::testkit;

class SoundConversion : public ::testing::Test {
protected:
  tk::TempDir dir;
  std::string wav(const std::string &name, uint32_t rate, uint16_t bits, uint16_t channels,
                  const std::vector<uint8_t> &pcm) {
    const std::string path = dir.file(name);
    tk::write_file(path, tk::pcm_wav(rate, bits, channels, pcm));
    return path;
  }
};

// Hand-worked conversions: source PCM, what is asked for, and the bytes the
// rules give.
struct HandCase {
  const char *name;
  uint32_t rate;
  uint16_t bits, channels;
  std::vector<uint8_t> pcm;
  OpenOptions asked;
  uint32_t frame_bytes;
  std::vector<uint8_t> want;
  std::vector<uint32_t> pieces = {4096};
};
void PrintTo(const HandCase &c, std::ostream *os) { *os << c.name; }

class HandConversion : public SoundConversion, public ::testing::WithParamInterface<HandCase> {};

TEST_P(HandConversion, GivesTheWorkedOutBytes) {
  const HandCase &c = GetParam();
  Source in = open(wav("h.wav", c.rate, c.bits, c.channels, c.pcm), c.asked);
  ASSERT_TRUE(in);
  EXPECT_EQ(in->frame_bytes, c.frame_bytes);
  EXPECT_EQ(read_all(in.get(), c.pieces), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Sfile, HandConversion,
    ::testing::Values(
        // s0, s1, (s1+s2)/2, s2, (s2+s3)/2, ... truncated toward zero; the
        // last source frame is only read ahead: the sound ends on the one
        // before.
        HandCase{"doubling_the_rate_interpolates_halfway_and_truncates", 11025, 16, 1,
                 tk::pcm_bytes({100, 201, -50, -51, 7, 1000}), OpenOptions{.rate = 22050}, 2,
                 tk::pcm_bytes({100, 201, (201 - 50) / 2, -50, (-50 - 51) / 2, -51, (-51 + 7) / 2, 7}), {6}},
        HandCase{"halving_the_rate_averages_pairs", 22050, 16, 1, tk::pcm_bytes({100, 201, -50, -51, 7, 1000, 3}),
                 OpenOptions{.rate = 11025}, 2, tk::pcm_bytes({(100 + 201) / 2, (-50 - 51) / 2, (7 + 1000) / 2, 3})},
        // (-3 + 0) / 2 truncates to -1.
        HandCase{"stereo_to_mono_averages_unless_both_sides_agree", 8000, 16, 2,
                 tk::pcm_bytes({-3, 0, 5, 5, 32767, 32766, -32768, -32767}), OpenOptions{.channels = 1}, 2,
                 tk::pcm_bytes({-1, 5, 32766, -32767})},
        // sample / 256 truncated, + 128, modulo 256: -1 gives 128.
        HandCase{"sixteen_to_eight_bits_divides_toward_zero", 8000, 16, 1,
                 tk::pcm_bytes({-1, 0, 255, 256, -256, -257, 32767, -32768}), OpenOptions{.bits = 8}, 1,
                 {128, 128, 128, 129, 127, 127, 255, 0}},
        HandCase{"eight_bit_mono_to_sixteen_bit_stereo", 8000, 8, 1, {0, 128, 255, 1},
                 OpenOptions{.bits = 16, .channels = 2}, 4,
                 tk::pcm_bytes({-32768, -32768, 0, 0, 127 * 256, 127 * 256, -127 * 256, -127 * 256})}),
    [](const auto &info) { return std::string(info.param.name); });

// Random PCM of every source layout, resampled to many rates and widths,
// read in ragged pieces: byte for byte what the reference gives.
TEST_F(SoundConversion, StreamingMatchesTheReferenceAtManyRatePairs) {
  std::mt19937 rng(1234);
  const uint32_t rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 7999, 96000};
  for (uint16_t bits : {8, 16})
    for (uint16_t channels : {1, 2}) {
      const uint32_t frames = 1500 + rng() % 700;
      std::vector<uint8_t> pcm(frames * channels * bits / 8);
      for (auto &b : pcm)
        b = static_cast<uint8_t>(rng());
      for (uint32_t in_rate : rates) {
        const auto src = wav("r.wav", in_rate, bits, channels, pcm);
        const auto in_frames = frames_of(pcm, bits, channels);
        for (uint32_t out_rate : rates) {
          const uint32_t out_bits = rng() % 2 ? 8 : 16, out_channels = rng() % 2 ? 1 : 2;
          SCOPED_TRACE(std::to_string(bits) + "-bit " + std::to_string(channels) + " ch " + std::to_string(in_rate) +
                       " -> " + std::to_string(out_rate) + " " + std::to_string(out_bits) + "-bit " +
                       std::to_string(out_channels) + " ch");
          OpenOptions o{.rate = static_cast<int32_t>(out_rate),
                        .bits = static_cast<int32_t>(out_bits),
                        .channels = static_cast<int32_t>(out_channels)};
          Source s = open(src, o);
          ASSERT_TRUE(s);
          const std::vector<uint32_t> pieces = {static_cast<uint32_t>(1 + rng() % 5000), 7, 4096,
                                               static_cast<uint32_t>(2 + rng() % 300)};
          const auto got = read_all(s.get(), pieces);
          const auto want = reference_output(in_frames, in_rate, out_rate, out_bits, out_channels);
          ASSERT_EQ(got.size(), want.size());
          EXPECT_TRUE(got == want);
          EXPECT_EQ(s->frames_out, want.size() / s->frame_bytes);
          EXPECT_EQ(s->at_end, 1);
          // A reset starts the same sound again.
          SFileReset(s.get());
          EXPECT_TRUE(read_all(s.get(), {333}) == want) << "after reset";
        }
      }
    }
}

TEST_F(SoundConversion, ProgressMessagesCountTheSourceBytesHandedOver) {
  const auto src = wav("p.wav", 8000, 8, 1, std::vector<uint8_t>(100000, 128));
  Source in = open(src);
  ASSERT_TRUE(in);
  std::vector<uint8_t> buf(40000);
  for (int i = 0; i < 3; ++i)
    SFileGet(in.get(), buf.data(), 40000);
  // The file is read 16384 bytes at a time: 3 reads for the first 40000
  // bytes (49152 of 100000), 5 for the next.
  const std::vector<std::pair<std::string, int>> expected = {{"Processing sound data (0%)...", 1},
                                                             {"Processing sound data (49%)...", 0},
                                                             {"Processing sound data (81%)...", 0}};
  EXPECT_EQ(messages(), expected);
}

} // namespace
