// The record's layout, and the sound switches of a command line (the
// source's own and the compressed-sound writer's).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "vexutil/csfile.h"
#include "vexutil/sfile.h"

extern "C" const size_t sfile_c_offsets[];
extern "C" const size_t sfile_c_offset_count;

namespace {

// The first field of each numbered group of the record, in the interface
// order, where a 64-bit C compiler puts it: two names of 128 characters,
// eleven 32-bit counts, three pointers, two words, the kind, six resampler
// words, the callback, the two lengths, the file and its data start, the
// executable, the movie handles, the skip counts, the list file and entry,
// the series state, the AVI stream and offsets, QuickTime, and the repeat.
TEST(SoundSourceRecord, FieldsInTheirOrderAsCSeesThem) {
  const std::vector<size_t> expected = {0,   128, 256, 260, 264, 268, 272, 276, 280, 284, 288,
                                        292, 296, 304, 328, 332, 336, 340, 368, 376, 380, 384,
                                        400, 408, 432, 440, 456, 592, 616, 628, 896};
  ASSERT_EQ(sfile_c_offset_count, expected.size());
  EXPECT_EQ(std::vector<size_t>(sfile_c_offsets, sfile_c_offsets + sfile_c_offset_count), expected);
  EXPECT_EQ(sizeof(SFILE), expected.back()) << "C and C++ agree";
}

struct Switches {
  int32_t rate = -9, bits = -9, channels = -9, start = -9, end = -9, track = -9, raw = -9, header = -9;
};

Switches read(const char *text, std::string *left = nullptr) {
  std::vector<char> cmd(text, text + std::strlen(text) + 1);
  Switches s;
  SFileCommandLine(cmd.data(), &s.rate, &s.bits, &s.channels, &s.start, &s.end, &s.track, &s.raw, &s.header);
  if (left)
    *left = cmd.data();
  return s;
}

TEST(SoundSwitches, NumbersAndTheirDefaults) {
  std::string left;
  const Switches s = read("in.wav /r22050 /B8 /c1 /S-3 /e2000 /T2 out", &left);
  EXPECT_EQ(s.rate, 22050);
  EXPECT_EQ(s.bits, 8);
  EXPECT_EQ(s.channels, 1);
  EXPECT_EQ(s.start, -3);
  EXPECT_EQ(s.end, 2000);
  EXPECT_EQ(s.track, 2);
  EXPECT_EQ(s.raw, 0);
  EXPECT_EQ(s.header, 0);
  EXPECT_EQ(left, "in.wav       out");
  const Switches d = read("");
  EXPECT_EQ(std::vector<int32_t>({d.rate, d.bits, d.channels, d.start, d.end, d.track, d.raw, d.header}),
            std::vector<int32_t>(8, 0));
}

TEST(SoundSwitches, RawFormatsFromYAndD) {
  // /Y1 8-bit mono, /Y2 8-bit stereo, /Y3 16-bit mono, /Y4 16-bit stereo,
  // /Y5 the same bits as /Y4 plus bit 2; the rate above bit 3.
  for (int32_t y = 1; y <= 5; ++y) {
    const std::string cmd = "/Y" + std::to_string(y) + " /D8000 /K44";
    const Switches s = read(cmd.c_str());
    EXPECT_EQ(s.raw, (y - 1) + 8 * 8000) << y;
    EXPECT_EQ(s.header, 44) << y;
  }
  EXPECT_EQ(read("/Y2").raw, 1 + 8 * 11025) << "the rate defaults to 11025";
  // Other values are kept as the raw format itself, without a header.
  const Switches big = read("/Y176403 /K10");
  EXPECT_EQ(big.raw, 176403);
  EXPECT_EQ(big.header, 0);
  EXPECT_EQ(read("/Y0 /K10").raw, 0);
}

TEST(SoundSwitches, NullPointersSkipOptions) {
  char cmd[] = "/R8000 /B16";
  int32_t bits = 0;
  SFileCommandLine(cmd, nullptr, &bits, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(bits, 16);
  SFileCommandLine(nullptr, nullptr, &bits, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(bits, 16) << "no command line: nothing changes";
}

TEST(CompressedSoundSwitches, WriterSwitchesAndTheSourcesTogether) {
  char cmd[] = "a.wav /L45 /P /R11025 /Y3 /D22050 /K8 b.cs";
  int32_t compression = 0, p = 0, rate = 0, bits = 0, channels = 0, start = 0, end = 0, track = 0, raw = 0,
          header = 0;
  CSFileCommandline(cmd, &compression, &p, &rate, &bits, &channels, &start, &end, &track, &raw, &header);
  EXPECT_EQ(compression, 45);
  EXPECT_EQ(p, 1);
  EXPECT_EQ(rate, 11025);
  EXPECT_EQ(raw, 2 + 8 * 22050);
  EXPECT_EQ(header, 8);
  char plain[] = "a.wav";
  CSFileCommandline(plain, &compression, &p, &rate, &bits, &channels, &start, &end, &track, &raw, &header);
  EXPECT_EQ(compression, 104);
  EXPECT_EQ(p, 0);
  EXPECT_EQ(raw, 0);
}

} // namespace
