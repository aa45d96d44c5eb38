// Movie sound through QTSFile against the ffmpeg tool's decode of the same
// track, in pieces of every size, after jumps and past the end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/movie/qts_read.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/movie.h"

namespace {

using vex::testkit::ffmpeg;
using vex::testkit::ffmpeg_decode;
using vex::testkit::qts_read_all;

std::string tone(int hz, int rate, const char *seconds) {
  return "-f lavfi -i sine=frequency=" + std::to_string(hz) + ":sample_rate=" + std::to_string(rate) +
         ":duration=" + seconds + " ";
}

struct SoundCase {
  const char *name;
  std::string make;  // inputs and codec options
  const char *raw;   // the tool's output format for the same samples
  uint32_t rate, bits, channels;
};

class QTSFileDecodes : public ::testing::TestWithParam<SoundCase> {};

TEST_P(QTSFileDecodes, WholeTrackEqualsTheToolsDecodeInAnyPieceSize) {
  const SoundCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("s.mov");
  ffmpeg(c.make + " " + mov);
  const std::vector<uint8_t> want = ffmpeg_decode(mov, std::string("-f ") + c.raw);
  for (uint32_t piece : {4u, 1000u, 44100u * 3}) {
    QTSFILE *qs = QTSFileOpen(mov.c_str(), 0);
    ASSERT_NE(qs, nullptr);
    EXPECT_EQ(qs->rate, c.rate);
    EXPECT_EQ(qs->bits, c.bits);
    EXPECT_EQ(qs->channels, c.channels);
    EXPECT_EQ(qs->frame_bytes, c.bits / 8 * c.channels);
    EXPECT_EQ(qs->total_bytes, want.size());
    EXPECT_EQ(qts_read_all(qs, piece), want) << "pieces of " << piece;
    QTSFileClose(qs);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tracks, QTSFileDecodes,
    ::testing::Values(
        SoundCase{"s16_stereo", tone(440, 22050, "2.5") + tone(660, 22050, "2.5") +
                                    "-filter_complex amerge=inputs=2 -c:a pcm_s16le", "s16le -ac 2", 22050, 16, 2},
        SoundCase{"u8_mono", tone(300, 11025, "1.7") + "-c:a pcm_u8", "u8", 11025, 8, 1},
        SoundCase{"s16_mono_with_video", "-f lavfi -i testsrc=size=32x32:rate=10:duration=2 " + tone(440, 8000, "2") +
                                             "-c:v mjpeg -c:a pcm_s16le", "s16le", 8000, 16, 1}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(QTSFile, MoreThanOneSecondComesInOneCall) {
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("s.mov");
  ffmpeg(tone(440, 8000, "3") + "-c:a pcm_s16le " + mov);
  QTSFILE *qs = QTSFileOpen(mov.c_str(), 1);
  ASSERT_NE(qs, nullptr);
  std::vector<uint8_t> buf(qs->total_bytes);
  // 2.5 seconds need three conversions of at most one second each.
  EXPECT_EQ(QTSFileGet(qs, buf.data(), 40000), 40000u);
  QTSFileClose(qs);
}

TEST(QTSFile, GotoMillisecondsStartsAtThatSample) {
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("s.mov");
  ffmpeg(tone(1000, 8000, "2") + "-c:a pcm_s16le " + mov);
  const std::vector<uint8_t> want = ffmpeg_decode(mov, "-f s16le");
  QTSFILE *qs = QTSFileOpen(mov.c_str(), 0);
  ASSERT_NE(qs, nullptr);
  std::vector<uint8_t> buf(2000);
  for (uint32_t ms : {1250u, 3u, 0u, 1999u, 700u}) {
    QTSFileGoto(qs, ms);
    const size_t at = ms * 8u * 2u; // 8 samples per ms, 2 bytes each
    const uint32_t n = QTSFileGet(qs, buf.data(), 2000);
    const size_t expected = std::min<size_t>(2000, want.size() - at);
    ASSERT_EQ(n, expected) << ms;
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + n, want.begin() + static_cast<ptrdiff_t>(at))) << ms;
  }
  QTSFileClose(qs);
}

TEST(QTSFile, PastTheEndGivesSixteenBytesOfSilence) {
  vex::testkit::TempDir dir;
  const std::string s16 = dir.file("s.mov"), u8 = dir.file("u.mov");
  ffmpeg(tone(440, 8000, "0.5") + "-c:a pcm_s16le " + s16);
  ffmpeg(tone(440, 8000, "0.5") + "-c:a pcm_u8 " + u8);
  for (const auto &[name, fill] : {std::pair{s16, 0}, std::pair{u8, 0x80}}) {
    QTSFILE *qs = QTSFileOpen(name.c_str(), 0);
    ASSERT_NE(qs, nullptr);
    std::vector<uint8_t> buf(qs->total_bytes + 100, 0x55);
    EXPECT_EQ(QTSFileGet(qs, buf.data(), qs->total_bytes + 100), qs->total_bytes); // short count
    std::fill(buf.begin(), buf.end(), 0x55);
    EXPECT_EQ(QTSFileGet(qs, buf.data(), 100), 16u);
    EXPECT_EQ(std::count(buf.begin(), buf.begin() + 16, fill), 16);
    EXPECT_EQ(buf[16], 0x55);
    QTSFileClose(qs);
  }
}

TEST(QTSFile, TracksCountFromOneAndVideoRateComesAlong) {
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("t.mov");
  ffmpeg("-f lavfi -i testsrc=size=32x32:rate=15:duration=2 " + tone(440, 8000, "2") + tone(440, 16000, "2") +
         "-map 0 -map 1 -map 2 -c:v mjpeg -c:a pcm_s16le " + mov);
  QTSFILE *first = QTSFileOpen(mov.c_str(), 0), *one = QTSFileOpen(mov.c_str(), 1), *two = QTSFileOpen(mov.c_str(), 2);
  ASSERT_TRUE(first && one && two);
  EXPECT_EQ(first->rate, 8000u);
  EXPECT_EQ(one->rate, 8000u);
  EXPECT_EQ(two->rate, 16000u);
  EXPECT_EQ(one->video_rate_num, 15u);
  EXPECT_EQ(one->video_rate_den, 1u);
  EXPECT_EQ(QTSFileOpen(mov.c_str(), 3), nullptr);
  EXPECT_EQ(QTSFileOpen(mov.c_str(), -1), nullptr);
  QTSFileClose(first);
  QTSFileClose(one);
  QTSFileClose(two);
  QTSFileClose(nullptr);
}

TEST(QTSFile, RefusesMoviesWithoutSoundAndOtherFiles) {
  vex::testkit::TempDir dir;
  const std::string mute = dir.file("v.mov"), avi = dir.file("a.avi");
  ffmpeg("-f lavfi -i testsrc=size=32x32:rate=10:duration=1 -c:v mjpeg " + mute);
  ffmpeg(tone(440, 8000, "1") + "-c:a pcm_s16le " + avi);
  EXPECT_EQ(QTSFileOpen(mute.c_str(), 0), nullptr);
  EXPECT_EQ(QTSFileOpen(avi.c_str(), 0), nullptr);
  EXPECT_EQ(QTSFileOpen(dir.file("none.mov").c_str(), 0), nullptr);
}

} // namespace
