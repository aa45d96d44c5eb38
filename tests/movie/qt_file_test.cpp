// Movie pictures through QTFile against the ffmpeg tool's own decode of the
// same file, and frame-exact random access against stepping.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "movie/movie_runtime.h"
#include "testkit/movie/edit_list.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/movie.h"

namespace {

using vex::testkit::ffmpeg;
using vex::testkit::ffmpeg_decode;

constexpr int kW = 64, kH = 48, kFrames = 20;
const std::string kSource = "-f lavfi -i testsrc=size=64x48:rate=10:duration=2 ";
const std::string kSound = "-f lavfi -i sine=frequency=500:sample_rate=22050:duration=2 ";

// The 32-bit pixels of the current frame, rows packed.
std::vector<uint8_t> pixels_of(const QTFILE *qt) {
  std::vector<uint8_t> out;
  for (int y = 0; y < qt->height; ++y)
    out.insert(out.end(), qt->pixels + y * qt->pitch, qt->pixels + y * qt->pitch + qt->width * 4);
  return out;
}

int max_difference(const uint8_t *a, const uint8_t *b, size_t n) {
  int worst = 0;
  for (size_t i = 0; i < n; ++i)
    worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

struct Case {
  const char *name;
  std::string options; // video encoding and pixel format
  int tolerance;       // 0: lossless, pixels must match exactly
};

class QTFileDecodes : public ::testing::TestWithParam<Case> {};

TEST_P(QTFileDecodes, EveryFrameAsTheToolDecodesIt) {
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("m.mov");
  ffmpeg(kSource + GetParam().options + " " + mov);
  const std::vector<uint8_t> want = ffmpeg_decode(mov, "-f rawvideo -pix_fmt bgra");
  QTFILE *qt = QTFileOpen(mov.c_str());
  ASSERT_NE(qt, nullptr);
  EXPECT_EQ(qt->width, kW);
  EXPECT_EQ(qt->height, kH);
  EXPECT_EQ(qt->depth, 32);
  EXPECT_EQ(qt->pitch, kW * 4);
  ASSERT_EQ(qt->frame_count, kFrames);
  ASSERT_EQ(want.size(), size_t{kW} * kH * 4 * kFrames);
  EXPECT_EQ(qt->rate_num, 10u);
  EXPECT_EQ(qt->rate_den, 1u);
  EXPECT_EQ(qt->has_sound, 0);
  const auto sizes = vex::testkit::ffprobe_video_packet_sizes(mov);
  for (int i = 0; i < kFrames; ++i) {
    QTFileGet(qt);
    const auto got = pixels_of(qt);
    EXPECT_LE(max_difference(got.data(), want.data() + size_t{kW} * kH * 4 * i, got.size()), GetParam().tolerance)
        << "frame " << i;
    EXPECT_EQ(qt->frame_bytes, sizes.at(static_cast<size_t>(i))) << "frame " << i;
  }
  QTFileClose(qt);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, QTFileDecodes,
    ::testing::Values(Case{"qtrle_alpha", "-vf format=argb,geq=r=4*X+N:g=5*Y:b=200-N:a=4*X -c:v qtrle -pix_fmt argb", 0},
                      Case{"png_alpha", "-vf format=rgba,geq=r=3*Y:g=4*X-N:b=N*9:a=255-4*Y -c:v png", 0},
                      Case{"png", "-c:v png -pix_fmt rgb24", 0}, Case{"mjpeg", "-c:v mjpeg -q:v 3", 2}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(QTFile, RandomAccessGivesTheFramesThatSteppingGives) {
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("m.mov");
  ffmpeg(kSource + "-c:v mpeg4 -g 6 -q:v 4 " + mov);
  QTFILE *qt = QTFileOpen(mov.c_str());
  ASSERT_NE(qt, nullptr);
  ASSERT_EQ(qt->frame_count, kFrames);
  std::vector<std::vector<uint8_t>> stepped;
  for (int i = 0; i < kFrames; ++i) {
    QTFileGet(qt);
    stepped.push_back(pixels_of(qt));
  }
  // Backwards, across key frames, repeated, inside one group, past the end.
  for (int frame : {13, 2, 0, 19, 5, 5, 6, 11, 12, 1, 25}) {
    QTFileGoto(qt, frame);
    QTFileGet(qt);
    const int expected = std::min(frame, kFrames - 1);
    EXPECT_EQ(pixels_of(qt), stepped[static_cast<size_t>(expected)]) << "frame " << frame;
  }
  // Adjacent frames differ, so the comparisons above can tell them apart.
  EXPECT_NE(stepped[4], stepped[5]);
  QTFileGoto(qt, 0);
  QTFileGet(qt);
  EXPECT_EQ(pixels_of(qt), stepped[0]);
  QTFileClose(qt);
}

TEST(QTFile, PalettisedMovieDeliversIndicesAndItsPalette) {
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("p.mov");
  ffmpeg(kSource + "-frames:v 3 -c:v rawvideo -pix_fmt pal8 " + mov);
  const std::vector<uint8_t> want = ffmpeg_decode(mov, "-f rawvideo -pix_fmt bgra");
  QTFILE *qt = QTFileOpen(mov.c_str());
  ASSERT_NE(qt, nullptr);
  ASSERT_EQ(qt->depth, 8);
  EXPECT_EQ(qt->pitch, kW);
  for (int f = 0; f < 3; ++f) {
    QTFileGet(qt);
    int wrong = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const uint8_t *c = qt->palette[qt->pixels[y * qt->pitch + x]];
        const uint8_t *w = &want[((size_t{kW} * kH * f) + y * kW + x) * 4];
        wrong += c[0] != w[0] || c[1] != w[1] || c[2] != w[2];
      }
    EXPECT_EQ(wrong, 0) << "frame " << f;
  }
  EXPECT_EQ(qt->palette[7][3], 0);
  QTFileClose(qt);
}

// A movie whose edit list ends before its last sample: that sample is
// decoded (others may need it) but never shown. With B-frames the sample
// left out is not the last one in decoding order.
class QTFileEditEnd : public ::testing::TestWithParam<const char *> {};

TEST_P(QTFileEditEnd, FramesAreThoseAPlayerShows) {
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("cut.mov");
  ffmpeg("-f lavfi -i testsrc=size=64x48:rate=10:duration=2.5 " + std::string(GetParam()) + " -use_editlist 1 " + mov);
  vex::testkit::set_edit_length(mov, 0, 2400); // 24 of the 25 frames
  const auto want = vex::testkit::ffmpeg_decode_rgb(mov, kW, kH);
  ASSERT_EQ(want.size(), 24u);
  QTFILE *qt = QTFileOpen(mov.c_str());
  ASSERT_NE(qt, nullptr);
  EXPECT_EQ(qt->frame_count, 24);
  EXPECT_EQ(qt->rate_num, 10u);
  EXPECT_EQ(qt->rate_den, 1u);
  auto rgb = [&] {
    std::vector<uint8_t> out;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const uint8_t *p = qt->pixels + y * qt->pitch + x * 4;
        out.insert(out.end(), {p[2], p[1], p[0]});
      }
    return out;
  };
  const size_t bytes = size_t{kW} * kH * 3;
  for (size_t i = 0; i < want.size(); ++i) {
    QTFileGet(qt);
    const auto got = rgb();
    EXPECT_LE(max_difference(got.data(), want[i].data(), bytes), 2) << "frame " << i;
  }
  // Jumps land on shown frames; past the end stays on the last one shown.
  for (int frame : {23, 24, 30, 11}) {
    QTFileGoto(qt, frame);
    QTFileGet(qt);
    const auto got = rgb();
    EXPECT_LE(max_difference(got.data(), want[static_cast<size_t>(std::min(frame, 23))].data(), bytes), 2) << frame;
  }
  QTFileClose(qt);
}

INSTANTIATE_TEST_SUITE_P(Codecs, QTFileEditEnd,
                         ::testing::Values("-c:v mjpeg -q:v 2", "-c:v libx264 -bf 2 -g 12"),
                         [](const auto &info) { return info.index == 0 ? std::string("mjpeg") : std::string("h264_bframes"); });

TEST(QTFile, SoundFlagFollowsTheTracks) {
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("s.mov");
  ffmpeg(kSource + kSound + "-c:v mjpeg -c:a pcm_s16le " + mov);
  QTFILE *qt = QTFileOpen(mov.c_str());
  ASSERT_NE(qt, nullptr);
  EXPECT_EQ(qt->has_sound, 1);
  QTFileClose(qt);
}

TEST(QTFile, RefusesWhatIsNotAQuickTimeMovieWithPictures) {
  vex::testkit::TempDir dir;
  const std::string sound_only = dir.file("a.mov"), avi = dir.file("v.avi"), junk = dir.file("j.mov");
  ffmpeg(kSound + "-c:a pcm_s16le " + sound_only);
  ffmpeg(kSource + "-c:v mjpeg " + avi);
  std::ofstream(junk) << "this is not a movie at all, just some words";
  EXPECT_EQ(QTFileOpen(sound_only.c_str()), nullptr);
  EXPECT_EQ(QTFileOpen(avi.c_str()), nullptr);
  EXPECT_EQ(QTFileOpen(junk.c_str()), nullptr);
  EXPECT_EQ(QTFileOpen(dir.file("missing.mov").c_str()), nullptr);
  EXPECT_EQ(QTFileOpen(nullptr), nullptr);
  QTFileClose(nullptr);
}

TEST(QTFile, TruncatedMovieOpensNothingOrDeliversWhatIsThere) {
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("m.mov");
  ffmpeg(kSource + "-c:v mjpeg " + mov);
  std::ifstream in(mov, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (size_t cut : {size_t{0}, size_t{16}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 7}) {
    const std::string part = dir.file("cut.mov");
    std::ofstream(part, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(cut));
    QTFILE *qt = QTFileOpen(part.c_str());
    if (cut < 64) {
      EXPECT_EQ(qt, nullptr) << cut;
    } else if (qt) {
      // Whatever survives is the movie's own: its size, at most its frames.
      EXPECT_EQ(qt->width, kW);
      EXPECT_LE(qt->frame_count, kFrames);
      for (int i = 0; i < qt->frame_count + 2; ++i)
        QTFileGet(qt);
    }
    QTFileClose(qt);
  }
}

TEST(MovieRuntime, StartsOnceAndShutsDownToNotTried) {
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("m.mov");
  ffmpeg(kSource + "-frames:v 1 -c:v png " + mov);
  VEXQTShutdown();
  EXPECT_EQ(vex::movie::movie_runtime_state(), vex::movie::RuntimeState::not_tried);
  const int base = vex::movie::movie_runtime_count();
  QTFileClose(QTFileOpen(mov.c_str()));
  QTFileClose(QTFileOpen(mov.c_str()));
  EXPECT_EQ(vex::movie::movie_runtime_state(), vex::movie::RuntimeState::ready);
  EXPECT_EQ(vex::movie::movie_runtime_count(), base + 1);
  VEXQTShutdown();
  EXPECT_EQ(vex::movie::movie_runtime_count(), base);
  VEXAVIInit();
  const int after_avi = vex::movie::movie_runtime_count();
  VEXAVIInit();
  EXPECT_EQ(vex::movie::movie_runtime_count(), after_avi);
}

} // namespace
