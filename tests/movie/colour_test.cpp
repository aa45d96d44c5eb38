// Colour conversions of movie pictures. The matrix and range each picture
// is tagged with, through QTFile and the AVI frame getter, against the
// ffmpeg tool's own decode to blue-green-red, which honours them (within
// 1: the same conversion, rounding aside). BGR rows into JPEG's full-range
// 4:4:4 YCbCr beside libswscale doing the same (within 1) and at the
// corners of the colour cube by hand. The converter's direct path against
// its own two-step path.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "movie/bgr_to_yuv444.h"
#include "movie/media_reader.h"
#include "movie/picture_converter.h"
#include "testkit/movie/colour_oracles.h"
#include "testkit/movie/movie_read.h"
#include "testkit/stills/still_pixels.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"

namespace {

using namespace vex::testkit;

constexpr int kFrames = 4;

struct ColourCase {
  const char *name;
  const char *codec; // encoder and its pixel format
  int width, height;
  const char *tags; // -colorspace and -color_range options, or none
  const char *file; // container by extension: QTFile, or the AVI getter for .avi
};

std::string source(int w, int h) {
  return "-f lavfi -i testsrc2=size=" + std::to_string(w) + "x" + std::to_string(h) + ":rate=10 -frames:v " +
         std::to_string(kFrames) + " ";
}

class ColourMatrix : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ColourMatrix, PixelsAsTheToolConvertsThem) {
  const ColourCase &c = GetParam();
  TempDir dir;
  const std::string file = dir.file(c.file);
  const bool avi = std::string(c.file).ends_with(".avi");
  ffmpeg(source(c.width, c.height) + c.codec + " " + c.tags + " " + file);
  const bool hd = c.width >= 1280 || c.height >= 720;
  const std::vector<std::string> matrices = frame_matrices(file);
  ASSERT_EQ(matrices.size(), size_t{kFrames});
  const bool untagged = matrices[0] == "unknown";
  // Untagged HD pictures are BT.709 for us; tell the tool so.
  const std::vector<uint8_t> want = tool_decode_bgr(file, !avi, untagged && hd ? "bt709" : "");
  ASSERT_EQ(want.size(), size_t{kFrames} * c.width * c.height * (avi ? 3 : 4));
  const std::vector<uint8_t> got = avi ? avi_all_frames(file) : qt_all_frames(file);
  EXPECT_LE(max_byte_difference(got, want), 1);
  // The pictures are colourful enough for the matrix to matter: the other
  // matrix would be far off.
  const bool is709 = matrices[0] == "bt709" || (untagged && hd);
  EXPECT_GE(max_byte_difference(got, tool_decode_bgr(file, !avi, is709 ? "bt601" : "bt709")), 8);
}

const char *const k709 = "-colorspace bt709 -color_primaries bt709 -color_trc bt709";
const char *const k601 = "-colorspace smpte170m -color_primaries smpte170m -color_trc smpte170m";
const char *const k709Full = "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range pc";
const char *const kH264 = "-c:v libx264 -pix_fmt yuv420p";
const char *const kMpeg4 = "-c:v mpeg4 -q:v 2";

INSTANTIATE_TEST_SUITE_P(
    Streams, ColourMatrix,
    ::testing::Values(ColourCase{"h264_709_hd_mp4", kH264, 1280, 720, k709, "v.mp4"},
                      ColourCase{"h264_601_hd_mov", kH264, 1280, 720, k601, "v.mov"},
                      ColourCase{"h264_709_sd_mov", kH264, 640, 480, k709, "v.mov"},
                      ColourCase{"h264_601_sd_mp4", kH264, 640, 480, k601, "v.mp4"},
                      ColourCase{"h264_untagged_sd_mp4", kH264, 640, 480, "", "v.mp4"},
                      ColourCase{"h264_untagged_hd_mov", kH264, 1280, 720, "", "v.mov"},
                      ColourCase{"h264_full_709_hd_mp4", kH264, 1280, 720, k709Full, "v.mp4"},
                      ColourCase{"h264_full_601_sd_mov", "-c:v libx264 -pix_fmt yuvj420p", 640, 480,
                                 "-colorspace smpte170m -color_range pc", "v.mov"},
                      ColourCase{"mpeg4_709_hd_mov", kMpeg4, 1280, 720, k709, "v.mov"},
                      ColourCase{"mpeg4_601_hd_mp4", kMpeg4, 1280, 720, k601, "v.mp4"},
                      ColourCase{"mpeg4_709_sd_mp4", kMpeg4, 640, 480, k709, "v.mp4"},
                      ColourCase{"mpeg4_601_sd_mov", kMpeg4, 640, 480, k601, "v.mov"},
                      ColourCase{"mpeg4_untagged_sd_mov", kMpeg4, 640, 480, "", "v.mov"},
                      ColourCase{"avi_h264_709_hd", kH264, 1280, 720, k709, "v.avi"},
                      ColourCase{"avi_h264_601_sd", kH264, 640, 480, k601, "v.avi"},
                      ColourCase{"avi_h264_709_sd", kH264, 640, 480, k709, "v.avi"},
                      ColourCase{"avi_h264_bframes_601_sd", "-c:v libx264 -bf 3 -pix_fmt yuv420p", 640, 480, k601, "v.avi"},
                      // mpeg4 in AVI loses its tags: untagged, by size.
                      ColourCase{"avi_mpeg4_untagged_hd", kMpeg4, 1280, 720, k601, "v.avi"},
                      ColourCase{"avi_mpeg4_untagged_sd", kMpeg4, 640, 480, k709, "v.avi"}),
    [](const auto &info) { return std::string(info.param.name); });

// A stream whose matrix changes between pictures: two h264 pieces with
// different tags joined into one file. Each picture follows its own tags.
TEST(ColourMatrixChanges, EachPictureUsesItsOwnTags) {
  TempDir dir;
  const std::string a = dir.file("a.h264"), b = dir.file("b.h264"), mp4 = dir.file("ab.mp4");
  // No B-frames: a raw h264 stream carries no time stamps to reorder by.
  ffmpeg(source(640, 480) + kH264 + " -bf 0 " + k709 + " " + a);
  ffmpeg(source(640, 480) + "-vf hflip " + kH264 + " -bf 0 " + k601 + " " + b);
  ffmpeg("-r 10 -i " + shell_quote("concat:" + a + "|" + b) + " -c copy " + mp4);
  const std::vector<std::string> matrices = frame_matrices(mp4);
  ASSERT_EQ(matrices.size(), size_t{2 * kFrames});
  EXPECT_EQ(std::tuple(matrices.front(), matrices.back()), std::tuple("bt709", "smpte170m"));
  const std::vector<uint8_t> want = tool_decode_bgr(mp4, true, ""), got = qt_all_frames(mp4);
  ASSERT_EQ(got.size(), want.size());
  const size_t frame = size_t{640} * 480 * 4;
  for (size_t f = 0; f < got.size() / frame; ++f) {
    const auto at = static_cast<ptrdiff_t>(f * frame);
    EXPECT_LE(max_byte_difference({got.begin() + at, got.begin() + at + frame}, {want.begin() + at, want.begin() + at + frame}), 1)
        << "frame " << f << " (" << matrices[f] << ")";
  }
}

// Y, Cb, Cr planes of a w x h picture.
using Planes = std::array<std::vector<uint8_t>, 3>;

// Ours, from bottom-up rows `pitch` bytes apart.
Planes ours(const std::vector<uint8_t> &rows, int pitch, int w, int h) {
  Planes out;
  for (auto &p : out)
    p.assign(static_cast<size_t>(w) * h, 0);
  uint8_t *planes[3] = {out[0].data(), out[1].data(), out[2].data()};
  const int linesize[3] = {w, w, w};
  vex::movie::bgr_to_yuv444(rows.data(), pitch, w, h, planes, linesize);
  return out;
}

TEST(BgrToYuv444, AgreesWithLibswscaleWithinOneAndTurnsTheRows) {
  std::mt19937 rng(11);
  for (const auto &[w, h] : {std::pair{64, 16}, std::pair{37, 9}, std::pair{1, 3}}) {
    const int pitch = (w * 3 + 3) & ~3;
    std::vector<uint8_t> rows(static_cast<size_t>(pitch) * h, 0xEE); // padding that must not be read as pixels
    for (int y = 0; y < h; ++y)
      for (int i = 0; i < w * 3; ++i)
        rows[y * pitch + i] = static_cast<uint8_t>(rng());
    const Planes a = ours(rows, pitch, w, h), b = swscale_yuvj444(rows, pitch, w, h);
    for (int c = 0; c < 3; ++c)
      EXPECT_LE(max_byte_difference(a[c], b[c]), 1) << w << " x " << h << " plane " << c;
  }
  // Two rows: black stored first (the picture's bottom), white second.
  const Planes a = ours({0, 0, 0, 0, 255, 255, 255, 0}, 4, 1, 2);
  EXPECT_EQ(a[0], (std::vector<uint8_t>{255, 0}));
}

TEST(BgrToYuv444, CornersOfTheColourCube) {
  // Blue, green, red in; Y, Cb, Cr out, from the equations by hand:
  // e.g. pure blue: Y = 0.114 x 255 = 29.07, Cb = 127.5 + 128 = 255.5,
  // Cr = -0.081312 x 255 + 128 = 107.27. Halves of Cb and Cr round down
  // (255.5 stays 255, and 0.5 for yellow and cyan 0).
  using C = std::array<uint8_t, 6>;
  for (const C c : {C{0, 0, 0, 0, 128, 128}, C{255, 255, 255, 255, 128, 128}, C{255, 0, 0, 29, 255, 107},
                    C{0, 255, 0, 150, 44, 21}, C{0, 0, 255, 76, 85, 255}, C{0, 255, 255, 226, 0, 149},
                    C{255, 255, 0, 179, 171, 0}, C{255, 0, 255, 105, 212, 235}}) {
    const Planes a = ours({c[0], c[1], c[2], 0}, 4, 1, 1);
    EXPECT_EQ(std::tuple(a[0][0], a[1][0], a[2][0]), std::tuple(c[3], c[4], c[5]))
        << int(c[0]) << " " << int(c[1]) << " " << int(c[2]);
  }
}

// A 16-byte aligned block of `bytes`, filled with a marker.
struct Target {
  std::vector<uint8_t> store;
  uint8_t *base;
  explicit Target(size_t bytes) : store(bytes + 16, 0xAB) {
    base = reinterpret_cast<uint8_t *>((reinterpret_cast<uintptr_t>(store.data()) + 15) & ~uintptr_t{15});
  }
};

// Random pictures of every pixel format the direct path takes, at widths
// of 16 to 640 and odd heights, give the same blue, green and red bytes as
// `convert` at 24 and 32 bits, the fourth byte as `convert` at 32 bits
// (kept) or 0, and no byte between a row's end and the next row.
TEST(PictureConverter, DirectRowsEqualTheTwoStepConversion) {
  vex::movie::start_libraries(); // quiet scaler
  std::mt19937 rng(7);
  for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,
                                     AV_PIX_FMT_YUVA420P, AV_PIX_FMT_NV12, AV_PIX_FMT_GRAY8, AV_PIX_FMT_RGB24})
    for (const int w : {16, 48, 640})
      for (const int h : {1, 7, 16, 41}) {
        SCOPED_TRACE(std::string(av_get_pix_fmt_name(format)) + " " + std::to_string(w) + "x" + std::to_string(h));
        FramePtr f = random_av_picture(format, w, h, rng);
        ASSERT_NE(f, nullptr);
        f->colorspace = h == 7 ? AVCOL_SPC_BT709 : AVCOL_SPC_UNSPECIFIED;
        f->color_range = h >= 16 ? AVCOL_RANGE_JPEG : AVCOL_RANGE_UNSPECIFIED;
        vex::movie::PictureConverter two_step, direct;
        std::vector<uint8_t> bgr(size_t(w) * 3 * h), bgra(size_t(w) * 4 * h);
        ASSERT_TRUE(two_step.convert(f.get(), 24, w, h, bgr.data(), w * 3));
        ASSERT_TRUE(two_step.convert(f.get(), 32, w, h, bgra.data(), w * 4));
        const ptrdiff_t pitch = ptrdiff_t{w} * 4 + 32; // room that must stay untouched
        for (const int bits : {24, 32})
          for (const bool keep : {false, true}) {
            Target t(size_t(pitch) * size_t(h));
            ASSERT_TRUE(direct.convert_into(f.get(), bits, keep, t.base, pitch));
            for (int y = 0; y < h; ++y) {
              const uint8_t *row = t.base + y * pitch;
              for (int x = 0; x < w; ++x) {
                const size_t i = size_t(y) * size_t(w) + size_t(x);
                const uint8_t *c = bits == 24 ? &bgr[i * 3] : &bgra[i * 4];
                const uint8_t want[4] = {c[0], c[1], c[2], bits == 32 && keep ? bgra[i * 4 + 3] : uint8_t{0}};
                ASSERT_EQ(std::memcmp(row + x * 4, want, 4), 0) << "bits " << bits << " at " << x << "," << y;
              }
              ASSERT_EQ(std::count(row + w * 4, row + pitch, 0xAB), pitch - w * 4) << "past row " << y;
            }
          }
      }
}

// Widths, targets and pitches the scaler does not write exactly are refused.
TEST(PictureConverter, DirectPathRefusesWhatItCannotWriteExactly) {
  std::mt19937 rng(9);
  vex::movie::PictureConverter c;
  FramePtr ok = random_av_picture(AV_PIX_FMT_YUV420P, 32, 4, rng);
  Target t(size_t{4} * 64 * 4 + 64);
  EXPECT_TRUE(c.convert_into(ok.get(), 32, false, t.base, 32 * 4));
  EXPECT_FALSE(c.convert_into(ok.get(), 32, false, t.base + 4, 32 * 4)) << "unaligned target";
  EXPECT_FALSE(c.convert_into(ok.get(), 32, false, t.base, 32 * 4 + 4)) << "unaligned pitch";
  EXPECT_FALSE(c.convert_into(ok.get(), 32, false, t.base, 16 * 4)) << "pitch shorter than a row";
  EXPECT_FALSE(c.convert_into(ok.get(), 16, false, t.base, 32 * 4)) << "no such depth";
  for (const int w : {8, 24, 40, 100})
    EXPECT_FALSE(c.convert_into(random_av_picture(AV_PIX_FMT_YUV420P, w, 4, rng).get(), 32, false, t.base, 128 * 4))
        << "width " << w;
  // A format whose 24-bit and 32-bit conversions were not shown to agree.
  FramePtr deep = random_av_picture(AV_PIX_FMT_YUV420P10LE, 32, 4, rng);
  EXPECT_FALSE(c.convert_into(deep.get(), 24, false, t.base, 32 * 4));
  EXPECT_TRUE(c.convert_into(deep.get(), 32, true, t.base, 32 * 4));
}

} // namespace
