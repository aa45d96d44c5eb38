// What the writer writes, read back by independent decoders: FLIC and AVI
// by the ffmpeg tools, still images by ImageMagick. Pixels must match
// exactly wherever the format is lossless; the sound track sample for
// sample, paced as worked out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "testkit/ogfile/test_frames.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/imagemagick_tool.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/ogfile.h"

namespace {

using namespace vex::testkit;
namespace fs = std::filesystem;

constexpr int32_t kW = 37, kH = 21, kPitch = 44, kFrames = 6;

// Frames of 8 bits with a palette that changes at frame 3, or of 32 bits;
// the pixels, the palette, and the picture they show.
struct Shot {
  std::vector<uint8_t> pixels, palette, rgb;
};
std::vector<Shot> shots(bool colour) {
  std::vector<Shot> out;
  for (int f = 0; f < kFrames; ++f) {
    const std::vector<uint8_t> px = colour ? colour_frame(kW, kH, kPitch, f) : indexed_frame(kW, kH, kPitch, f);
    const std::vector<uint8_t> pal = colour ? std::vector<uint8_t>{} : palette(f < 3 ? 0 : 1);
    out.push_back({px, pal, colour ? rgb_of_colour(px, kW, kH, kPitch) : rgb_of_indexed(px, kW, kH, kPitch, pal)});
  }
  return out;
}

// "frames,width,height,rate" of the first video stream.
std::string video_facts(const std::string &file) {
  return ffprobe(file, "-count_frames -select_streams v:0 -show_entries "
                       "stream=width,height,r_frame_rate,nb_read_frames -of csv=p=0");
}

// FLIC, AVI of each depth plain and through encoders, and each kind of
// still: 8-bit frames through their palette, 32-bit frames as their
// colours; TGA holds 8-bit frames at 24 bits; JPEG is lossy. TGA files go
// to ffmpeg instead of ImageMagick: Debian's ImageMagick 6.9.11 reads the
// rows of a TGA whose descriptor says bottom-up as top first (and writes
// its own TGAs that way), where ffmpeg follows the descriptor.
TEST(OgfileOutput, EveryKindComesBackThroughAnIndependentDecoder) {
  struct Row {
    const char *name;
    bool colour;
    const char *codec;
    double min_psnr; // 0: exact
  };
  const Row rows[] = {{"a.flc", false, nullptr, 0}, {"m.avi", false, nullptr, 0}, {"m.avi", true, nullptr, 0},
                      {"m.avi", false, "ffv1", 0},  {"m.avi", true, "ffv1", 0},   {"m.avi", true, "mjpeg", 30},
                      {"f.bmp", false, nullptr, 0}, {"f.bmp", true, nullptr, 0},  {"f.png", false, nullptr, 0},
                      {"f.png", true, nullptr, 0},  {"f.tif", false, nullptr, 0}, {"f.tif", true, nullptr, 0},
                      {"f.tga", false, nullptr, 0}, {"f.tga", true, nullptr, 0},  {"f.pcx", false, nullptr, 0},
                      {"f.gif", false, nullptr, 0}, {"f.jpg", true, nullptr, 30}, {"f.jpg", false, nullptr, 30}};
  for (const Row &r : rows) {
    SCOPED_TRACE(std::string(r.name) + (r.colour ? " 32-bit " : " 8-bit ") + (r.codec ? r.codec : ""));
    const std::string ext = fs::path(r.name).extension(), stem = fs::path(r.name).stem();
    TempDir dir;
    const std::vector<Shot> in = shots(r.colour);
    const bool avi = ext == ".avi";
    OGFILE *o = OGFileCreate(r.codec, dir.file(r.name).c_str(), r.colour, kFrames, avi ? 30000 : 15, avi ? 1001 : 1, kW,
                             kH, kPitch, nullptr, OGFILE_NO_OVERWRITE_QUESTION);
    ASSERT_NE(o, nullptr) << VEXLastError();
    for (const Shot &s : in)
      OGFilePut(o, s.pixels.data(), s.palette.empty() ? nullptr : s.palette.data());
    EXPECT_EQ(o->error, 0);
    EXPECT_EQ(o->compressed, r.codec ? 1 : 0);
    EXPECT_EQ(o->depth, r.colour || ext == ".tga" ? 24 : 8);
    const uint32_t size = OGFileClose(o);
    std::vector<std::vector<uint8_t>> got;
    if (ext == ".flc") {
      // FLIC rows are whole multiples of 4 pixels: 40 wide, the extra
      // columns in colour 0; the decoder may also show the ring frame.
      EXPECT_EQ(size, fs::file_size(dir.file(r.name)));
      const auto wide = ffmpeg_decode_rgb(dir.file(r.name), 40, kH);
      for (size_t f = 0; f < std::min(wide.size(), in.size()); ++f) {
        got.emplace_back();
        for (int y = 0; y < kH; ++y) {
          const auto row = wide[f].begin() + y * 40 * 3;
          got.back().insert(got.back().end(), row, row + kW * 3);
          EXPECT_TRUE(std::equal(row + kW * 3, row + kW * 3 + 3, in[f].palette.begin())) << "padding of frame " << f;
        }
      }
    } else if (avi) {
      EXPECT_EQ(size, fs::file_size(dir.file(r.name)));
      EXPECT_EQ(video_facts(dir.file(r.name)), "37,21,30000/1001,6\n");
      got = ffmpeg_decode_rgb(dir.file(r.name), kW, kH);
    } else {
      EXPECT_GT(size, 0u);
      for (int f = 0; f < kFrames; ++f) {
        const std::string file = dir.file(stem + std::to_string(f) + ext);
        got.push_back(ext == ".tga" ? ffmpeg_decode_rgb(file, kW, kH).at(0) : drop_alpha(imagemagick_rgba(file)));
      }
    }
    ASSERT_EQ(got.size(), in.size());
    for (size_t f = 0; f < in.size(); ++f)
      if (r.min_psnr == 0)
        EXPECT_EQ(got[f], in[f].rgb) << "frame " << f;
      else
        EXPECT_GE(psnr(got[f], in[f].rgb), r.min_psnr) << "frame " << f;
  }
}

// The writer's answers add up to the movie's length at any rate, in whole
// sample frames, and the track comes back sample for sample. The first row
// by hand: 15 frames a second, 22050 Hz 16-bit mono: the first answer is
// the pre-roll, 16540 sample frames (three quarters of a second, rounded
// up to a multiple of 4: 16537 + 3 rounded down), 33080 bytes; then 44100
// / 15 = 2940 bytes a frame, until the movie's 2 seconds (88200 bytes) are
// full: 33080 + 18 x 2940 = 86000, so the 20th answer is the last 2200.
TEST(OgfileOutput, AviSoundIsPacedAndComesBackSampleForSample) {
  struct Row {
    uint32_t rate, scale, hz, bits, channels;
    int32_t frames;
    uint32_t total; // by hand: bytes a second x seconds, whole sample frames
  };
  const Row rows[] = {{15, 1, 22050, 16, 1, 30, 88200},
                      {30000, 1001, 44100, 16, 2, 100, 588588}, // 176400 x 100 x 1001 / 30000, exactly
                      {25, 1, 11025, 8, 1, 50, 22050},
                      {24, 1, 48000, 16, 2, 7, 56000}};
  TempDir dir;
  const std::vector<uint8_t> picture = colour_frame(kW, kH, kPitch, 0);
  for (const Row &r : rows) {
    SCOPED_TRACE(std::to_string(r.rate) + "/" + std::to_string(r.scale));
    OGFILE *o = OGFileCreate(nullptr, dir.file("s.avi").c_str(), 1, r.frames, r.rate, r.scale, kW, kH, kPitch, nullptr,
                             OGFILE_NO_OVERWRITE_QUESTION);
    ASSERT_NE(o, nullptr) << VEXLastError();
    std::vector<uint32_t> amounts;
    std::vector<uint8_t> pcm;
    for (int f = 0; f < r.frames; ++f) {
      const uint32_t n = OGFilePutSoundAmount(o, r.hz, r.bits, r.channels);
      EXPECT_EQ(n % (r.bits * r.channels / 8), 0u) << "whole sample frames";
      amounts.push_back(n);
      for (uint32_t i = 0; i < n; ++i)
        pcm.push_back(static_cast<uint8_t>(pcm.size() * 37 / 3));
      OGFilePutSound(o, pcm.data() + pcm.size() - n, n);
      OGFilePut(o, picture.data(), nullptr);
    }
    EXPECT_EQ(pcm.size(), r.total);
    EXPECT_EQ(o->error, 0);
    ASSERT_GT(OGFileClose(o), 0u);
    EXPECT_EQ(ffmpeg_decode(dir.file("s.avi"), r.bits == 8 ? "-map 0:a -f u8" : "-map 0:a -f s16le"), pcm);
    if (r.rate != 15)
      continue;
    std::vector<uint32_t> want(r.frames, 0);
    want[0] = 33080;
    std::fill(want.begin() + 1, want.begin() + 19, 2940u);
    want[19] = 2200;
    EXPECT_EQ(amounts, want);
    EXPECT_EQ(video_facts(dir.file("s.avi")), "37,21,15/1,30\n");
  }
}

} // namespace
