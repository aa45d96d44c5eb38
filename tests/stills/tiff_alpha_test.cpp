// TIFF pictures with alpha against ImageMagick, which writes them (alpha
// unassociated or associated, in the layouts it offers) and decodes them
// for the expected pixels. Unassociated alpha comes back exactly as
// stored; associated alpha comes back as stored too, so the colours are
// ImageMagick's (un-premultiplied) decode premultiplied again, within the
// rounding of that double step.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "stills/still_image.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/imagemagick_tool.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"

namespace {

using namespace vex::stills;
using vex::testkit::source_of;

constexpr int32_t kW = 61, kH = 37;

// A picture whose alpha runs over every value class: fully transparent
// columns, fully opaque ones, and a ramp between, with colours that differ
// in every channel.
std::string source_png(const vex::testkit::TempDir &dir) {
  const std::string png = dir.file("src.png");
  vex::testkit::ffmpeg("-f lavfi -i testsrc=size=61x37 -frames:v 1 -update 1 -vf "
                       "\"format=rgba,geq=r='X*4':g='Y*6+20':b='250-X*3':a='if(lt(X,4),0,if(gt(X,56),255,X*4+Y))'\" " +
                       png);
  return png;
}

// The loaded image as red, green, blue, alpha, rows top first.
std::vector<uint8_t> loaded_rgba(const Image &im) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < kH; ++y) {
    const uint8_t *row = im.pixels + static_cast<ptrdiff_t>(kH - 1 - y) * im.pitch;
    for (int32_t x = 0; x < kW; ++x)
      out.insert(out.end(), {row[x * 4 + 2], row[x * 4 + 1], row[x * 4], row[x * 4 + 3]});
  }
  return out;
}

struct AlphaCase {
  const char *name;
  const char *options; // ImageMagick's layout options
};

class TiffAlpha : public ::testing::TestWithParam<std::tuple<const char *, AlphaCase>> {};

TEST_P(TiffAlpha, PixelsAsStored) {
  const std::string kind = std::get<0>(GetParam());
  const AlphaCase &c = std::get<1>(GetParam());
  vex::testkit::TempDir dir;
  const std::string tif = dir.file("a.tif");
  vex::testkit::imagemagick(vex::testkit::shell_quote(source_png(dir)) + " -alpha on -define tiff:alpha=" + kind + " " +
                            c.options + " " + vex::testkit::shell_quote(tif));
  const std::vector<uint8_t> decoded = vex::testkit::imagemagick_rgba(tif);
  ASSERT_EQ(decoded.size(), size_t{kW} * kH * 4);

  Info info{};
  ASSERT_EQ(StillInfo(Format::tif, source_of(tif), &info), 0);
  EXPECT_EQ(info.width, kW);
  EXPECT_EQ(info.height, kH);
  EXPECT_EQ(info.bits, 32);
  Image im{};
  ASSERT_EQ(StillAlloc(&im, info.width + 1, info.height, info.bits), 0);
  ASSERT_EQ(StillLoad(Format::tif, source_of(tif), &im), 0);
  const std::vector<uint8_t> got = loaded_rgba(im);
  StillFree(&im);

  int worst = 0, alpha_wrong = 0, partly = 0;
  for (size_t i = 0; i < got.size(); i += 4) {
    const int a = decoded[i + 3];
    alpha_wrong += got[i + 3] != a;
    partly += a > 0 && a < 255;
    for (size_t k = 0; k < 3; ++k) {
      const int want = kind == "unassociated" ? decoded[i + k] : (decoded[i + k] * a + 127) / 255;
      worst = std::max(worst, std::abs(got[i + k] - want));
    }
  }
  EXPECT_EQ(alpha_wrong, 0);
  EXPECT_GT(partly, kW * kH / 2) << "most pixels are partly transparent";
  EXPECT_LE(worst, kind == "unassociated" ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffAlpha,
    ::testing::Combine(::testing::Values("unassociated", "associated"),
                       ::testing::Values(AlphaCase{"plain", "-compress none"}, AlphaCase{"lzw", "-compress lzw"},
                                         AlphaCase{"lzw_predictor", "-compress lzw -define tiff:predictor=2"},
                                         AlphaCase{"zip_predictor", "-compress zip -define tiff:predictor=2"},
                                         AlphaCase{"packbits_strips", "-compress rle -define tiff:rows-per-strip=5"},
                                         AlphaCase{"tiled", "-compress zip -define tiff:tile-geometry=16x16"},
                                         AlphaCase{"planes", "-interlace plane -compress lzw"},
                                         AlphaCase{"sixteen_bits", "-depth 16 -compress zip"},
                                         AlphaCase{"grey", "-colorspace gray -compress lzw"})),
    [](const auto &info) { return std::string(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name; });

// The loaded picture against ImageMagick's decode of the same file.
struct Loaded {
  int32_t bits = 0;
  std::vector<uint8_t> rgba;
};
Loaded load_tif(const std::string &tif) {
  Loaded l;
  Info info{};
  EXPECT_EQ(StillInfo(Format::tif, source_of(tif), &info), 0);
  l.bits = info.bits;
  Image im{};
  EXPECT_EQ(StillAlloc(&im, kW, kH, 32), 0);
  EXPECT_EQ(StillLoad(Format::tif, source_of(tif), &im), 0);
  l.rgba = loaded_rgba(im);
  StillFree(&im);
  return l;
}

// Peak signal-to-noise ratio in dB of channel k (0-3) over all pixels.
double psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, size_t k) {
  double sum = 0;
  for (size_t i = k; i < std::min(a.size(), b.size()); i += 4)
    sum += (a[i] - b[i]) * (a[i] - b[i]);
  const double mse = sum / static_cast<double>(a.size() / 4);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// A layout left to libtiff's RGBA reader delivers no alpha (24 bits) and
// colours that are not premultiplied: CMYK with unassociated alpha, which
// ImageMagick converts with the same plain formula.
TEST(TiffAlpha, RgbaReaderLayoutsKeepTheirColours) {
  vex::testkit::TempDir dir;
  const std::string tif = dir.file("cmyk.tif");
  vex::testkit::imagemagick(vex::testkit::shell_quote(source_png(dir)) +
                            " -alpha on -define tiff:alpha=unassociated -colorspace cmyk -depth 8 -compress lzw " +
                            vex::testkit::shell_quote(tif));
  const std::vector<uint8_t> decoded = vex::testkit::imagemagick_rgba(tif);
  ASSERT_EQ(decoded.size(), size_t{kW} * kH * 4);
  const Loaded got = load_tif(tif);
  EXPECT_EQ(got.bits, 24);
  ASSERT_EQ(got.rgba.size(), decoded.size());
  int worst = 0, opaque = 0;
  for (size_t i = 0; i < got.rgba.size(); i += 4) {
    opaque += got.rgba[i + 3] == 255;
    for (size_t k = 0; k < 3; ++k)
      worst = std::max(worst, std::abs(got.rgba[i + k] - decoded[i + k]));
  }
  EXPECT_EQ(opaque, kW * kH);
  EXPECT_LE(worst, 1);
}

// JPEG inside a TIFF with unassociated alpha: RGB, read block by block, the
// colours as stored. ImageMagick decodes such a file through libtiff's
// RGBA reader, premultiplied, so the expected pixels are its decode of the
// same picture stored losslessly, within what JPEG loses.
TEST(TiffAlpha, JpegCompressedColoursAreNotPremultiplied) {
  vex::testkit::TempDir dir;
  const std::string png = source_png(dir), jpeg = dir.file("jpeg.tif"), plain = dir.file("plain.tif");
  for (const auto &[file, options] :
       {std::pair{jpeg, "-compress jpeg -quality 95"}, std::pair{plain, "-compress none"}})
    vex::testkit::imagemagick(vex::testkit::shell_quote(png) + " -alpha on -define tiff:alpha=unassociated " + options +
                              " " + vex::testkit::shell_quote(file));
  const std::vector<uint8_t> want = vex::testkit::imagemagick_rgba(plain);
  ASSERT_EQ(want.size(), size_t{kW} * kH * 4);
  const Loaded got = load_tif(jpeg);
  EXPECT_EQ(got.bits, 32);
  ASSERT_EQ(got.rgba.size(), want.size());
  for (size_t k = 0; k < 4; ++k)
    EXPECT_GE(psnr(got.rgba, want, k), 35) << "channel " << k;
}

// The complaint this guards: a pixel stored as (192, 141, 78) with alpha
// 175 must not come back as (132, 97, 54).
TEST(TiffAlpha, UnassociatedColoursAreNotPremultiplied) {
  vex::testkit::TempDir dir;
  const std::string tif = dir.file("one.tif");
  vex::testkit::imagemagick("-size 3x2 xc:\"rgba(192,141,78,0.686275)\" -alpha on -define tiff:alpha=unassociated " +
                            vex::testkit::shell_quote(tif));
  Image im{};
  ASSERT_EQ(StillAlloc(&im, 3, 2, 32), 0);
  ASSERT_EQ(StillLoad(Format::tif, source_of(tif), &im), 0);
  EXPECT_EQ(im.pixels[0], 78);
  EXPECT_EQ(im.pixels[1], 141);
  EXPECT_EQ(im.pixels[2], 192);
  EXPECT_EQ(im.pixels[3], 175);
  StillFree(&im);
}

} // namespace
