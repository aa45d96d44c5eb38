// Saving: every file written is read back by the ffmpeg tool to the pixels
// that were saved, and by our own loader as well.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "stills/still_image.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/stills/still_pixels.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"

namespace {

using namespace vex::stills;
using vex::testkit::source_of;

constexpr int32_t kW = 45, kH = 23;

// An image with flat areas (runs for the RLE coders) and noisy ones
// (literal stretches); `smooth` makes a gradient that JPEG keeps well.
Image make_image(int32_t bits, bool smooth) {
  Image im{};
  if (StillAlloc(&im, kW, kH, bits) != 0)
    throw std::runtime_error("allocation");
  std::mt19937 rng(bits * 7 + smooth);
  for (int i = 0; i < 256; ++i) {
    im.colors[i * 4] = static_cast<uint8_t>(i);
    im.colors[i * 4 + 1] = static_cast<uint8_t>(255 - i);
    im.colors[i * 4 + 2] = static_cast<uint8_t>(i * 7);
  }
  im.colors_used = 256;
  const int32_t bytes = bits / 8;
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW * bytes; ++x) {
      uint8_t v;
      if (smooth)
        v = static_cast<uint8_t>(x * 2 + y * 3);
      else if (x < 20 * bytes)
        v = static_cast<uint8_t>(y * 10 + (x / bytes) / 7); // runs
      else
        v = static_cast<uint8_t>(rng());
      im.pixels[y * im.pitch + x] = v;
    }
  return im;
}

struct SaveCase {
  const char *name;
  Format format;
  const char *file;
  int32_t bits, option;
  double min_psnr; // lossy formats: the bound in dB; 0: the colours come back exactly
};

class StillSaves : public ::testing::TestWithParam<SaveCase> {};

// Lossless formats give the colours back exactly; lossy ones are bounded
// by PSNR, which does not hang on one decoder's rounding of one pixel.
void expect_close(const std::vector<uint8_t> &got, const std::vector<uint8_t> &want, double min_psnr) {
  if (min_psnr == 0)
    EXPECT_EQ(vex::testkit::max_byte_difference(got, want), 0);
  else
    EXPECT_GE(vex::testkit::psnr(got, want), min_psnr);
}

TEST_P(StillSaves, TheToolAndOurLoaderReadBackWhatWasSaved) {
  const SaveCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string file = dir.file(c.file);
  const bool lossy = c.format == Format::jpeg;
  Image im = make_image(c.bits, lossy);
  const std::vector<uint8_t> wrote = vex::testkit::still_bgr(im, kW, kH);
  ASSERT_EQ(StillSave(c.format, file.c_str(), &im, c.option), 0);
  const std::vector<uint8_t> tool =
      vex::testkit::ffmpeg_decode(file, "-f rawvideo -pix_fmt bgr24", "-threads 1 -flags +bitexact");
  expect_close(tool, wrote, c.min_psnr);

  Info info{};
  ASSERT_EQ(StillInfo(c.format, source_of(file), &info), 0);
  EXPECT_EQ(info.width, kW);
  EXPECT_EQ(info.height, kH);
  Image back{};
  ASSERT_EQ(StillAlloc(&back, kW + 1, kH, info.bits), 0);
  ASSERT_EQ(StillLoad(c.format, source_of(file), &back), 0);
  expect_close(vex::testkit::still_bgr(back, kW, kH), wrote, c.min_psnr);
  if (c.bits == 8 && !lossy) { // indices and table survive, not just colours
    for (int32_t y = 0; y < kH; ++y)
      EXPECT_EQ(std::memcmp(back.pixels + y * back.pitch, im.pixels + y * im.pitch, kW), 0) << y;
  }
  StillFree(&back);
  StillFree(&im);
}

// The third arguments of the output writer first, then the others.
INSTANTIATE_TEST_SUITE_P(
    Formats, StillSaves,
    ::testing::Values(SaveCase{"bmp8", Format::bmp, "a.bmp", 8, 0, 0}, SaveCase{"bmp24", Format::bmp, "a.bmp", 24, 0, 0},
                      SaveCase{"bmp8_rle", Format::bmp, "a.bmp", 8, 1, 0},
                      SaveCase{"jpeg24", Format::jpeg, "a.jpg", 24, 100, 45},
                      SaveCase{"jpeg8", Format::jpeg, "a.jpg", 8, 100, 44},
                      SaveCase{"tga8_rle", Format::tga, "a.tga", 8, 1, 0},
                      SaveCase{"tga24_rle", Format::tga, "a.tga", 24, 1, 0},
                      SaveCase{"tga24_raw", Format::tga, "a.tga", 24, 0, 0},
                      SaveCase{"tif8", Format::tif, "a.tif", 8, 1, 0}, SaveCase{"tif24", Format::tif, "a.tif", 24, 1, 0},
                      SaveCase{"tif24_lzw", Format::tif, "a.tif", 24, kTifLzw, 0},
                      SaveCase{"tif8_deflate", Format::tif, "a.tif", 8, 8, 0},
                      SaveCase{"pcx8", Format::pcx, "a.pcx", 8, 0, 0}, SaveCase{"pcx24", Format::pcx, "a.pcx", 24, 0, 0},
                      SaveCase{"gif8", Format::gif, "a.gif", 8, 0, 0}, SaveCase{"png8", Format::png, "a.png", 8, 0, 0},
                      SaveCase{"png24", Format::png, "a.png", 24, 0, 0},
                      SaveCase{"png24_level9", Format::png, "a.png", 24, 9, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(StillSave, RefusesWhatAFormatCannotHold) {
  vex::testkit::TempDir dir;
  Image im = make_image(24, false);
  EXPECT_NE(StillSave(Format::gif, dir.file("a.gif").c_str(), &im, 0), 0);
  EXPECT_NE(StillSave(Format::tif, dir.file("a.tif").c_str(), &im, 12345), 0);
  EXPECT_NE(StillSave(Format::bmp, dir.file("no/such/dir.bmp").c_str(), &im, 0), 0);
  StillFree(&im);
  EXPECT_NE(StillSave(Format::bmp, dir.file("b.bmp").c_str(), &im, 0), 0); // freed: no pixels
}

} // namespace
