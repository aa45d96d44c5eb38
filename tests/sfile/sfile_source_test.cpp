// The sound records' layout, the sound switches of a command line (the
// source's own and the compressed-sound writer's), and the source's width,
// channel and rate conversion: values the rules give by hand, then the
// library against the step-by-step reference (testkit/sfile) on random PCM
// at many rate pairs, read in pieces of many sizes.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "testkit/sfile/resample_reference.h"
#include "testkit/sfile/sound_reading.h"
#include "testkit/util/message_log.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/wav_file.h"
#include "vexutil/csfile.h"

extern "C" const size_t sfile_c_offsets[];
extern "C" const size_t csfile_c_offsets[];

namespace vex::testkit {
namespace {

// Where a 64-bit C compiler puts the first field of each group of the
// records, in the interface order, then the size. SFILE: two names of 128
// characters, eleven 32-bit counts, three pointers, two words, the kind,
// six resampler words, the callback, the two lengths, the file and its data
// start, the executable, the movie handles, the skip counts, the list file
// and entry, the series state, the AVI stream and offsets, QuickTime, and
// the repeat. CSFILE: pointers 8 bytes, the rest 4, counters last.
TEST(SoundRecords, FieldsInTheirOrderAsCSeesThem) {
  const std::vector<size_t> sfile = {0,   128, 256, 260, 264, 268, 272, 276, 280, 284, 288, 292, 296, 304, 328, 332,
                                     336, 340, 368, 376, 380, 384, 400, 408, 432, 440, 456, 592, 616, 628, 896},
                            csfile = {0,  8,  16, 20, 24, 28,  32,  36,  40,  44,
                                      48, 52, 56, 64, 72, 104, 108, 112, 116, 120};
  for (const auto &[name, c, want, cpp_size] :
       {std::tuple<const char *, const size_t *, const std::vector<size_t> &, size_t>{"SFILE", sfile_c_offsets, sfile,
                                                                                      sizeof(SFILE)},
        {"CSFILE", csfile_c_offsets, csfile, sizeof(CSFILE)}}) {
    std::vector<size_t> got;
    for (const size_t *p = c; *p != 0 || got.empty(); ++p)
      got.push_back(*p);
    EXPECT_EQ(got, want) << name;
    EXPECT_EQ(cpp_size, want.back()) << name << ": C and C++ agree";
  }
}

TEST(SoundSwitches, NumbersRawFormatsAndTheirDefaults) {
  // rate, bits, channels, start, end, track, raw format, raw header. /Y1
  // 8-bit mono, /Y2 8-bit stereo, /Y3 16-bit mono, /Y4 16-bit stereo, /Y5
  // the same bits as /Y4 plus bit 2; the rate (11025 by default) above bit
  // 3; other /Y values are the raw format itself, without a header.
  struct Row {
    std::string cmd;
    std::array<int32_t, 8> want;
    std::string left;
  };
  std::vector<Row> rows = {
      {"in.wav /r22050 /B8 /c1 /S-3 /e2000 /T2 out", {22050, 8, 1, -3, 2000, 2, 0, 0}, "in.wav       out"},
      {"", {0, 0, 0, 0, 0, 0, 0, 0}, ""},
      {"/Y2", {0, 0, 0, 0, 0, 0, 1 + 8 * 11025, 0}, ""},
      {"/Y176403 /K10", {0, 0, 0, 0, 0, 0, 176403, 0}, ""},
      {"/Y0 /K10", {0, 0, 0, 0, 0, 0, 0, 0}, ""},
  };
  for (int32_t y = 1; y <= 5; ++y)
    rows.push_back({"/Y" + std::to_string(y) + " /D8000 /K44", {0, 0, 0, 0, 0, 0, (y - 1) + 8 * 8000, 44}, ""});
  for (const Row &r : rows) {
    std::vector<char> cmd(r.cmd.begin(), r.cmd.end());
    cmd.push_back(0);
    std::array<int32_t, 8> s;
    s.fill(-9);
    SFileCommandLine(cmd.data(), &s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &s[6], &s[7]);
    EXPECT_EQ(s, r.want) << r.cmd;
    if (!r.left.empty()) {
      EXPECT_EQ(std::string(cmd.data()), r.left) << "the switches blanked out";
    }
  }
  char cmd[] = "/R8000 /B16";
  int32_t bits = 0;
  SFileCommandLine(cmd, nullptr, &bits, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(bits, 16) << "null pointers skip options";
  SFileCommandLine(nullptr, nullptr, &bits, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(bits, 16) << "no command line: nothing changes";
}

TEST(SoundSwitches, TheWriterSwitchesAndTheSourcesTogether) {
  // compression, /P, then the source's eight.
  const std::pair<std::string, std::array<int32_t, 10>> rows[] = {
      {"a.wav /L45 /P /R11025 /Y3 /D22050 /K8 b.cs", {45, 1, 11025, 0, 0, 0, 0, 0, 2 + 8 * 22050, 8}},
      {"in.wav out.snd /L213 /P", {213, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"a.wav", {104, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto &[text, want] : rows) {
    std::vector<char> cmd(text.begin(), text.end());
    cmd.push_back(0);
    std::array<int32_t, 10> s;
    s.fill(-9);
    CSFileCommandline(cmd.data(), &s[0], &s[1], &s[2], &s[3], &s[4], &s[5], &s[6], &s[7], &s[8], &s[9]);
    EXPECT_EQ(s, want) << text;
  }
}

// Samples as bytes: 8-bit ones as they are, 16-bit ones little-endian.
std::vector<uint8_t> as_pcm(const std::vector<int32_t> &samples, uint32_t bits) {
  std::vector<uint8_t> out;
  for (const int32_t v : samples) {
    out.push_back(static_cast<uint8_t>(v));
    if (bits == 16)
      out.push_back(static_cast<uint8_t>(v >> 8));
  }
  return out;
}

// Hand-worked conversions: source samples, what is asked for, and the
// samples the rules give, read 6 bytes at a time and then in one piece.
TEST(SoundConversion, GivesTheWorkedOutBytes) {
  const struct {
    uint32_t rate, bits, channels;
    std::vector<int32_t> in;
    SoundOptions asked;
    std::vector<int32_t> want;
  } cases[] = {
      // Doubling the rate: s0, s1, (s1+s2)/2, s2, (s2+s3)/2, ... truncated
      // toward zero; the last source frame is only read ahead: the sound
      // ends on the one before.
      {11025, 16, 1, {100, 201, -50, -51, 7, 1000}, {.rate = 22050}, {100, 201, 75, -50, -50, -51, -22, 7}},
      // Halving the rate averages pairs (301 / 2, -101 / 2, 1007 / 2), and
      // the last frame stands alone.
      {22050, 16, 1, {100, 201, -50, -51, 7, 1000, 3}, {.rate = 11025}, {150, -50, 503, 3}},
      // Stereo to mono averages unless both sides agree; (-3 + 0) / 2
      // truncates to -1.
      {8000, 16, 2, {-3, 0, 5, 5, 32767, 32766, -32768, -32767}, {.channels = 1}, {-1, 5, 32766, -32767}},
      // Sixteen to eight bits: sample / 256 truncated, + 128, modulo 256:
      // -1 gives 128.
      {8000, 16, 1, {-1, 0, 255, 256, -256, -257, 32767, -32768}, {.bits = 8}, {128, 128, 128, 129, 127, 127, 255, 0}},
      // Eight-bit mono to sixteen-bit stereo: (s - 128) * 256 on both sides.
      {8000, 8, 1, {0, 128, 255, 1}, {.bits = 16, .channels = 2}, {-32768, -32768, 0, 0, 32512, 32512, -32512, -32512}},
  };
  TempDir dir;
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.in));
    write_file(dir.file("h.wav"), pcm_wav(c.rate, c.bits, c.channels, as_pcm(c.in, c.bits)));
    Sound s = open_sound(dir.file("h.wav"), c.asked);
    ASSERT_TRUE(s);
    const std::vector<uint8_t> want = as_pcm(c.want, c.asked.bits ? c.asked.bits : c.bits);
    EXPECT_EQ(read_sound(s.get(), {6}), want);
    SFileReset(s.get());
    EXPECT_EQ(read_sound(s.get(), {4096}), want);
  }
}

// Random PCM of every source layout, resampled to many rates and widths,
// read in ragged pieces: byte for byte what the reference gives, and again
// after a reset.
TEST(SoundConversion, StreamingMatchesTheReferenceAtManyRatePairs) {
  TempDir dir;
  std::mt19937 rng(1234);
  const uint32_t rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 7999, 96000};
  for (uint16_t bits : {8, 16})
    for (uint16_t channels : {1, 2}) {
      std::vector<uint8_t> pcm((1500 + rng() % 700) * channels * bits / 8);
      for (auto &b : pcm)
        b = static_cast<uint8_t>(rng());
      const auto in_frames = frames_of(pcm, bits, channels);
      for (uint32_t in_rate : rates) {
        write_file(dir.file("r.wav"), pcm_wav(in_rate, bits, channels, pcm));
        for (uint32_t out_rate : rates) {
          const uint32_t out_bits = rng() % 2 ? 8 : 16, out_channels = rng() % 2 ? 1 : 2;
          SCOPED_TRACE(std::to_string(bits) + "-bit " + std::to_string(channels) + " ch " + std::to_string(in_rate) +
                       " -> " + std::to_string(out_rate) + " " + std::to_string(out_bits) + "-bit " +
                       std::to_string(out_channels) + " ch");
          Sound s = open_sound(dir.file("r.wav"), {.rate = int32_t(out_rate), .bits = int32_t(out_bits),
                                                   .channels = int32_t(out_channels)});
          ASSERT_TRUE(s);
          const auto got = read_sound(
              s.get(), {static_cast<uint32_t>(1 + rng() % 5000), 7, 4096, static_cast<uint32_t>(2 + rng() % 300)});
          const auto want = reference_output(in_frames, in_rate, out_rate, out_bits, out_channels);
          ASSERT_EQ(got.size(), want.size());
          EXPECT_TRUE(got == want);
          EXPECT_EQ(s->frames_out, want.size() / s->frame_bytes);
          EXPECT_EQ(s->at_end, 1);
          SFileReset(s.get());
          EXPECT_TRUE(read_sound(s.get(), {333}) == want) << "after reset";
        }
      }
    }
}

TEST(SoundConversion, ProgressMessagesCountTheSourceBytesHandedOver) {
  TempDir dir;
  write_file(dir.file("p.wav"), pcm_wav(8000, 8, 1, std::vector<uint8_t>(100000, 128)));
  MessageLog log;
  Sound in = open_sound(dir.file("p.wav"), {}, MessageLog::callback);
  ASSERT_TRUE(in);
  std::vector<uint8_t> buf(40000);
  for (int i = 0; i < 3; ++i)
    SFileGet(in.get(), buf.data(), 40000);
  // The file is read 16384 bytes at a time: 3 reads for the first 40000
  // bytes (49152 of 100000), 5 for the next.
  std::string got;
  for (const Message &m : log.messages())
    got += std::to_string(m.level) + " " + m.text + "\n";
  EXPECT_EQ(got, "1 Processing sound data (0%)...\n0 Processing sound data (49%)...\n"
                 "0 Processing sound data (81%)...\n");
}

} // namespace
} // namespace vex::testkit
