// What the writer writes, read back by independent decoders: FLIC and AVI
// by the ffmpeg tools, still images by ImageMagick. Pixels must match
// exactly wherever the format is lossless.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "ogfile_test_util.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/imagemagick_tool.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/ogfile.h"

namespace {

using namespace vex::ogtest;
using vex::testkit::ffmpeg_decode_rgb;
using vex::testkit::ffprobe;
namespace fs = std::filesystem;

constexpr int32_t kW = 37, kH = 21, kPitch = 44, kFrames = 6;

// What one frame shows, and what to put for it.
struct Shot {
  std::vector<uint8_t> pixels, palette, rgb;
};

// Frames of 8 bits with a palette that changes at frame 3, or of 32 bits.
std::vector<Shot> shots(bool colour) {
  std::vector<Shot> out;
  for (int f = 0; f < kFrames; ++f) {
    Shot s;
    if (colour) {
      s.pixels = colour_frame(kW, kH, kPitch, f);
      s.rgb = rgb_of_colour(s.pixels, kW, kH, kPitch);
    } else {
      s.pixels = indexed_frame(kW, kH, kPitch, f);
      s.palette = palette(f < 3 ? 0 : 1);
      s.rgb = rgb_of_indexed(s.pixels, kW, kH, kPitch, s.palette);
    }
    out.push_back(std::move(s));
  }
  return out;
}

OGFILE *write_all(const std::string &name, bool colour, const char *codec, const std::vector<Shot> &in,
                  uint32_t rate = 15, uint32_t scale = 1) {
  OGFILE *o = OGFileCreate(codec, name.c_str(), colour, static_cast<int32_t>(in.size()), rate, scale, kW, kH, kPitch,
                           nullptr, OGFILE_NO_OVERWRITE_QUESTION);
  if (o)
    for (const Shot &s : in)
      OGFilePut(o, s.pixels.data(), s.palette.empty() ? nullptr : s.palette.data());
  return o;
}

// "frames,width,height,rate" of the first video stream.
std::string video_facts(const std::string &file) {
  std::string s = ffprobe(file, "-count_frames -select_streams v:0 -show_entries "
                                "stream=nb_read_frames,width,height,r_frame_rate -of csv=p=0");
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
    s.pop_back();
  return s;
}

TEST(OgfileOutput, FlicFramesComeBackThroughFfmpeg) {
  vex::testkit::TempDir dir;
  const std::vector<Shot> in = shots(false);
  OGFILE *o = write_all(dir.file("a.flc"), false, nullptr, in);
  ASSERT_NE(o, nullptr) << VEXLastError();
  EXPECT_EQ(o->error, 0);
  const uint32_t size = OGFileClose(o);
  EXPECT_EQ(size, fs::file_size(dir.path() / "a.flc"));
  // FLIC rows are whole multiples of 4 pixels: 40 wide, the extra columns
  // in colour 0.
  const auto frames = ffmpeg_decode_rgb(dir.file("a.flc"), 40, kH);
  ASSERT_GE(frames.size(), in.size()); // the decoder may also show the ring frame
  for (size_t f = 0; f < in.size(); ++f)
    for (int y = 0; y < kH; ++y) {
      EXPECT_EQ(0, std::memcmp(&frames[f][static_cast<size_t>(y) * 40 * 3], &in[f].rgb[static_cast<size_t>(y) * kW * 3],
                               kW * 3))
          << "frame " << f << " row " << y;
      EXPECT_EQ(0, std::memcmp(&frames[f][(static_cast<size_t>(y) * 40 + kW) * 3], in[f].palette.data(), 3))
          << "padding of frame " << f;
    }
}

struct AviCase {
  const char *label;
  bool colour;
  const char *codec;
  double min_psnr; // 0: exact
};

class AviOut : public ::testing::TestWithParam<AviCase> {};

TEST_P(AviOut, FramesRateAndSizeComeBackThroughFfmpeg) {
  const AviCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::vector<Shot> in = shots(c.colour);
  OGFILE *o = write_all(dir.file("m.avi"), c.colour, c.codec, in, 30000, 1001);
  ASSERT_NE(o, nullptr) << VEXLastError();
  EXPECT_EQ(o->error, 0);
  EXPECT_EQ(o->compressed, c.codec ? 1 : 0);
  EXPECT_EQ(o->depth, c.colour ? 24 : 8);
  const uint32_t size = OGFileClose(o);
  EXPECT_EQ(size, fs::file_size(dir.path() / "m.avi"));
  EXPECT_EQ(video_facts(dir.file("m.avi")), "37,21,30000/1001,6");
  const auto frames = ffmpeg_decode_rgb(dir.file("m.avi"), kW, kH);
  ASSERT_EQ(frames.size(), in.size());
  for (size_t f = 0; f < in.size(); ++f) {
    if (c.min_psnr == 0)
      EXPECT_EQ(frames[f], in[f].rgb) << "frame " << f;
    else
      EXPECT_GE(vex::testkit::psnr(frames[f], in[f].rgb), c.min_psnr) << "frame " << f;
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, AviOut,
                         ::testing::Values(AviCase{"raw8", false, nullptr, 0}, AviCase{"raw24", true, nullptr, 0},
                                           AviCase{"ffv1_8", false, "ffv1", 0}, AviCase{"ffv1_24", true, "ffv1", 0},
                                           AviCase{"mjpeg24", true, "mjpeg", 30}),
                         [](const auto &info) { return std::string(info.param.label); });

// 15 frames a second, 22050 Hz 16-bit mono: the first answer is the
// pre-roll, 16540 sample frames (three quarters of a second, rounded up to
// a multiple of 4: 16537 + 3 rounded down), 33080 bytes; then 44100 / 15
// = 2940 bytes a frame, until the movie's 2 seconds (88200 bytes) are full.
TEST(OgfileOutput, AviSoundIsPacedAndComesBackSampleForSample) {
  vex::testkit::TempDir dir;
  constexpr int32_t frames = 30;
  const std::vector<uint8_t> picture = colour_frame(kW, kH, kPitch, 0);
  OGFILE *o = OGFileCreate(nullptr, dir.file("s.avi").c_str(), 1, frames, 15, 1, kW, kH, kPitch, nullptr, 0);
  ASSERT_NE(o, nullptr) << VEXLastError();
  std::vector<uint32_t> amounts;
  std::vector<uint8_t> pcm;
  for (int f = 0; f < frames; ++f) {
    const uint32_t n = OGFilePutSoundAmount(o, 22050, 16, 1);
    amounts.push_back(n);
    std::vector<uint8_t> chunk(n);
    for (uint32_t i = 0; i < n; ++i)
      chunk[i] = static_cast<uint8_t>((pcm.size() + i) * 37 / 3);
    pcm.insert(pcm.end(), chunk.begin(), chunk.end());
    if (n)
      OGFilePutSound(o, chunk.data(), n);
    OGFilePut(o, picture.data(), nullptr);
  }
  EXPECT_EQ(o->sound_preroll, 33080u);
  EXPECT_EQ(o->sound_total, 88200u);
  EXPECT_EQ(o->sound_allowed, 0u);
  EXPECT_EQ(o->sound_position, 44100u);
  EXPECT_EQ(o->error, 0);
  ASSERT_GT(OGFileClose(o), 0u);
  // 33080 + 18 x 2940 = 86000; the 20th answer is the last 2200 bytes.
  ASSERT_EQ(amounts.size(), 30u);
  EXPECT_EQ(amounts[0], 33080u);
  for (int f = 1; f <= 18; ++f)
    EXPECT_EQ(amounts[f], 2940u) << f;
  EXPECT_EQ(amounts[19], 2200u);
  for (int f = 20; f < frames; ++f)
    EXPECT_EQ(amounts[f], 0u) << f;

  const std::vector<uint8_t> track = vex::testkit::ffmpeg_decode(dir.file("s.avi"), "-map 0:a -f s16le");
  EXPECT_EQ(track, pcm);
  // Durations as the decoder finds them: frames at 15 a second, samples of
  // 2 bytes at 22050 a second.
  const double video = std::stod(ffprobe(dir.file("s.avi"), "-count_frames -select_streams v:0 -show_entries "
                                                            "stream=nb_read_frames -of csv=p=0")) / 15;
  const double audio = static_cast<double>(track.size()) / 2 / 22050;
  EXPECT_DOUBLE_EQ(video, 2.0);
  EXPECT_NEAR(audio, video, 1.0 / 15);
}

TEST(OgfileOutput, SoundAnswersAddUpToTheMovieAtAnyRate) {
  struct Row {
    uint32_t rate, scale, hz, bits, channels;
    int32_t frames;
    uint32_t total; // by hand: bytes a second x seconds, whole sample frames
  };
  const Row rows[] = {{30000, 1001, 44100, 16, 2, 100, 588588}, // 176400 x 100 x 1001 / 30000, exactly
                      {25, 1, 11025, 8, 1, 50, 22050},
                      {24, 1, 48000, 16, 2, 7, 56000}};
  vex::testkit::TempDir dir;
  for (const Row &r : rows) {
    OGFILE *o = OGFileCreate(nullptr, dir.file("r.avi").c_str(), 0, r.frames, r.rate, r.scale, 8, 8, 8, nullptr,
                             OGFILE_NO_OVERWRITE_QUESTION);
    ASSERT_NE(o, nullptr);
    const std::vector<uint8_t> frame(64, 1), pal = palette(0);
    std::vector<uint8_t> pcm(1 << 20, 0x80);
    uint64_t sum = 0;
    for (int32_t f = 0; f < r.frames; ++f) {
      const uint32_t n = OGFilePutSoundAmount(o, r.hz, r.bits, r.channels);
      EXPECT_EQ(n % (r.bits * r.channels / 8), 0u) << "whole sample frames";
      sum += n;
      OGFilePutSound(o, pcm.data(), n);
      OGFilePut(o, frame.data(), pal.data());
    }
    EXPECT_EQ(sum, r.total) << r.rate << "/" << r.scale;
    EXPECT_EQ(o->error, 0);
    EXPECT_GT(OGFileClose(o), 0u);
  }
}

// Each kind of still, read back by ImageMagick: 8-bit frames through
// their palette, 32-bit frames as their colours; TGA holds 8-bit frames at
// 24 bits; JPEG is lossy. TGA files go to ffmpeg instead: Debian's
// ImageMagick 6.9.11 reads the rows of a TGA whose descriptor says
// bottom-up as top first (and writes its own TGAs that way), where ffmpeg
// follows the descriptor.
TEST(OgfileOutput, StillSeriesComeBackThroughImageMagick) {
  struct Row {
    const char *ext;
    bool colour;
    double min_psnr; // 0: exact
  };
  const Row rows[] = {{".bmp", false, 0}, {".bmp", true, 0}, {".png", false, 0}, {".png", true, 0},
                      {".tif", false, 0}, {".tif", true, 0}, {".tga", false, 0}, {".tga", true, 0},
                      {".pcx", false, 0}, {".gif", false, 0}, {".jpg", true, 30}, {".jpg", false, 30}};
  for (const Row &r : rows) {
    vex::testkit::TempDir dir;
    const std::vector<Shot> in = shots(r.colour);
    OGFILE *o = write_all(dir.file(std::string("f") + r.ext), r.colour, nullptr, in);
    ASSERT_NE(o, nullptr) << r.ext << ": " << VEXLastError();
    EXPECT_EQ(o->depth, r.colour || std::string(r.ext) == ".tga" ? 24 : 8) << r.ext;
    EXPECT_EQ(o->error, 0) << r.ext;
    EXPECT_GT(OGFileClose(o), 0u);
    for (int f = 0; f < kFrames; ++f) {
      const std::string file = dir.file("f" + std::to_string(f) + r.ext);
      const std::vector<uint8_t> got = std::string(r.ext) == ".tga"
                                           ? vex::testkit::ffmpeg_decode_rgb(file, kW, kH).at(0)
                                           : drop_alpha(vex::testkit::imagemagick_rgba(file));
      if (r.min_psnr == 0)
        EXPECT_EQ(got, in[f].rgb) << file;
      else
        EXPECT_GE(vex::testkit::psnr(got, in[f].rgb), r.min_psnr) << file;
    }
  }
}

} // namespace
