// Colour matrix and range of movie pictures: QTFile and the AVI frame getter
// against the ffmpeg tool's own decode to blue-green-red, which honours
// the matrix and range each picture is tagged with. Within 1 level: the
// same conversion, rounding aside.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "movie/avi_reader.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/movie.h"

namespace {

using vex::testkit::ffmpeg;
using vex::testkit::ffmpeg_decode;
using vex::testkit::shell_quote;

constexpr int kFrames = 4;

enum class Reader { qtfile, avi };

struct ColourCase {
  const char *name;
  const char *codec; // encoder and its pixel format
  int width, height;
  const char *tags; // -colorspace and -color_range options, or none
  const char *file; // container by extension
  Reader reader;
};

std::string source(int w, int h) {
  return "-f lavfi -i testsrc2=size=" + std::to_string(w) + "x" + std::to_string(h) + ":rate=10 -frames:v " +
         std::to_string(kFrames) + " ";
}

// Matrix of each picture as the decoder reports it ("bt709", "unknown", ...).
std::vector<std::string> frame_matrices(const std::string &file) {
  std::istringstream in(vex::testkit::ffprobe(file, "-select_streams v:0 -show_entries frame=color_space -of csv=p=0"));
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);)
    if (!line.empty())
      out.push_back(line.substr(0, line.find(',')));
  return out;
}

// The tool's decode with the scaler told which matrix to use for untagged
// pictures (its own default is BT.601 at every size).
std::vector<uint8_t> tool_decode(const std::string &file, int bytes_per_pixel, const std::string &untagged_matrix) {
  const std::string pix = bytes_per_pixel == 4 ? "bgra" : "bgr24";
  const std::string scale = untagged_matrix.empty() ? "" : "-vf scale=in_color_matrix=" + untagged_matrix + " ";
  return ffmpeg_decode(file, scale + "-fps_mode passthrough -f rawvideo -pix_fmt " + pix,
                       "-threads 1 -flags +bitexact");
}

// Our pictures, top-down, blue-green-red(-alpha), all frames in a row.
std::vector<uint8_t> our_decode(const ColourCase &c, const std::string &file) {
  std::vector<uint8_t> out;
  if (c.reader == Reader::qtfile) {
    QTFILE *qt = QTFileOpen(file.c_str());
    if (!qt)
      return out;
    for (int f = 0; f < qt->frame_count; ++f) {
      QTFileGet(qt);
      for (int y = 0; y < qt->height; ++y)
        out.insert(out.end(), qt->pixels + y * qt->pitch, qt->pixels + y * qt->pitch + qt->width * 4);
    }
    QTFileClose(qt);
    return out;
  }
  using namespace vex::movie;
  Stream *s = nullptr;
  if (StreamOpenFromSource(&s, vex::testkit::source_of(file), kVideo, 0) != kOk)
    return out;
  Getter *g = StreamGetFrameOpen(s);
  for (int f = 0; g && f < StreamLength(s); ++f) {
    const auto *dib = static_cast<const uint8_t *>(StreamGetFrame(g, f));
    if (!dib)
      break;
    BitmapHeader h;
    std::memcpy(&h, dib, sizeof h);
    const int pitch = (h.width * 3 + 3) & ~3;
    for (int y = 0; y < h.height; ++y) {
      const uint8_t *row = dib + 40 + static_cast<ptrdiff_t>(h.height - 1 - y) * pitch;
      out.insert(out.end(), row, row + h.width * 3);
    }
  }
  StreamGetFrameClose(g);
  StreamRelease(s);
  return out;
}

int max_difference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  int worst = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

class ColourMatrix : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ColourMatrix, PixelsAsTheToolConvertsThem) {
  const ColourCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string file = dir.file(c.file);
  ffmpeg(source(c.width, c.height) + c.codec + " " + c.tags + " " + file);
  const bool hd = c.width >= 1280 || c.height >= 720;
  const std::vector<std::string> matrices = frame_matrices(file);
  ASSERT_EQ(matrices.size(), size_t{kFrames});
  const bool untagged = matrices[0] == "unknown";
  const int bpp = c.reader == Reader::qtfile ? 4 : 3;
  // Untagged HD pictures are BT.709 for us; tell the tool so.
  const std::vector<uint8_t> want = tool_decode(file, bpp, untagged && hd ? "bt709" : "");
  ASSERT_EQ(want.size(), size_t{kFrames} * c.width * c.height * bpp);
  const std::vector<uint8_t> got = our_decode(c, file);
  ASSERT_EQ(got.size(), want.size());
  EXPECT_LE(max_difference(got, want), 1);

  // The pictures are colourful enough for the matrix to matter: the other
  // matrix would be far off.
  const bool is709 = matrices[0] == "bt709" || (untagged && hd);
  EXPECT_GE(max_difference(got, tool_decode(file, bpp, is709 ? "bt601" : "bt709")), 8);
}

const char *const k709 = "-colorspace bt709 -color_primaries bt709 -color_trc bt709";
const char *const k601 = "-colorspace smpte170m -color_primaries smpte170m -color_trc smpte170m";
const char *const k709Full = "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range pc";
const char *const k601Full = "-colorspace smpte170m -color_range pc";
const char *const kH264 = "-c:v libx264 -pix_fmt yuv420p";
const char *const kMpeg4 = "-c:v mpeg4 -q:v 2";

INSTANTIATE_TEST_SUITE_P(
    Streams, ColourMatrix,
    ::testing::Values(ColourCase{"h264_709_hd_mp4", kH264, 1280, 720, k709, "v.mp4", Reader::qtfile},
                      ColourCase{"h264_601_hd_mov", kH264, 1280, 720, k601, "v.mov", Reader::qtfile},
                      ColourCase{"h264_709_sd_mov", kH264, 640, 480, k709, "v.mov", Reader::qtfile},
                      ColourCase{"h264_601_sd_mp4", kH264, 640, 480, k601, "v.mp4", Reader::qtfile},
                      ColourCase{"h264_untagged_sd_mp4", kH264, 640, 480, "", "v.mp4", Reader::qtfile},
                      ColourCase{"h264_untagged_hd_mov", kH264, 1280, 720, "", "v.mov", Reader::qtfile},
                      ColourCase{"h264_full_709_hd_mp4", kH264, 1280, 720, k709Full, "v.mp4", Reader::qtfile},
                      ColourCase{"h264_full_601_sd_mov", "-c:v libx264 -pix_fmt yuvj420p", 640, 480, k601Full, "v.mov",
                                 Reader::qtfile},
                      ColourCase{"mpeg4_709_hd_mov", kMpeg4, 1280, 720, k709, "v.mov", Reader::qtfile},
                      ColourCase{"mpeg4_601_hd_mp4", kMpeg4, 1280, 720, k601, "v.mp4", Reader::qtfile},
                      ColourCase{"mpeg4_709_sd_mp4", kMpeg4, 640, 480, k709, "v.mp4", Reader::qtfile},
                      ColourCase{"mpeg4_601_sd_mov", kMpeg4, 640, 480, k601, "v.mov", Reader::qtfile},
                      ColourCase{"mpeg4_untagged_sd_mov", kMpeg4, 640, 480, "", "v.mov", Reader::qtfile},
                      ColourCase{"avi_h264_709_hd", kH264, 1280, 720, k709, "v.avi", Reader::avi},
                      ColourCase{"avi_h264_601_sd", kH264, 640, 480, k601, "v.avi", Reader::avi},
                      ColourCase{"avi_h264_709_sd", kH264, 640, 480, k709, "v.avi", Reader::avi},
                      ColourCase{"avi_h264_bframes_601_sd", "-c:v libx264 -bf 3 -pix_fmt yuv420p", 640, 480, k601,
                                 "v.avi", Reader::avi},
                      // mpeg4 in AVI loses its tags: untagged, by size.
                      ColourCase{"avi_mpeg4_untagged_hd", kMpeg4, 1280, 720, k601, "v.avi", Reader::avi},
                      ColourCase{"avi_mpeg4_untagged_sd", kMpeg4, 640, 480, k709, "v.avi", Reader::avi}),
    [](const auto &info) { return std::string(info.param.name); });

// A stream whose matrix changes between pictures: two h264 pieces with
// different tags joined into one file. Each picture follows its own tags.
TEST(ColourMatrixChanges, EachPictureUsesItsOwnTags) {
  vex::testkit::TempDir dir;
  const std::string a = dir.file("a.h264"), b = dir.file("b.h264"), mp4 = dir.file("ab.mp4");
  // No B-frames: a raw h264 stream carries no time stamps to reorder by.
  ffmpeg(source(640, 480) + kH264 + " -bf 0 " + k709 + " " + a);
  ffmpeg(source(640, 480) + "-vf hflip " + kH264 + " -bf 0 " + k601 + " " + b);
  ffmpeg("-r 10 -i " + shell_quote("concat:" + a + "|" + b) + " -c copy " + mp4);
  const std::vector<std::string> matrices = frame_matrices(mp4);
  ASSERT_EQ(matrices.size(), size_t{2 * kFrames});
  EXPECT_EQ(matrices.front(), "bt709");
  EXPECT_EQ(matrices.back(), "smpte170m");
  const ColourCase c{"joined", "", 640, 480, "", "ab.mp4", Reader::qtfile};
  const std::vector<uint8_t> want = tool_decode(mp4, 4, "");
  const std::vector<uint8_t> got = our_decode(c, mp4);
  ASSERT_EQ(got.size(), want.size());
  const size_t frame = size_t{640} * 480 * 4;
  for (size_t f = 0; f < got.size() / frame; ++f) {
    const std::vector<uint8_t> g(got.begin() + f * frame, got.begin() + (f + 1) * frame);
    const std::vector<uint8_t> w(want.begin() + f * frame, want.begin() + (f + 1) * frame);
    EXPECT_LE(max_difference(g, w), 1) << "frame " << f << " (" << matrices[f] << ")";
  }
}

} // namespace
