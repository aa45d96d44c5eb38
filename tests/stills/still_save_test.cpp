// Saving stills: every file written is read back by the ffmpeg tool to the
// pixels that were saved, and by our own loader as well; the PNG writer's
// own choices are checked from the file's bytes: each row's filter (the
// predictor that leaves the smallest residuals) and the rows rebuilt from
// the inflated stream by a plain transcription of PNG's reconstruction.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "testkit/stills/still_load.h"
#include "testkit/stills/still_files.h"
#include "testkit/stills/still_pixels.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"

namespace {

using namespace stills_test;
using namespace vex::testkit;

// A w x h picture at `bits` from a function of (x, y, byte of the pixel)
// for each byte of a row (bottom-up in memory, so y counts from the top);
// the table at 8 bits is (i, 255 - i, 7i).
template <class Value> void fill(Held &im, int32_t w, int32_t h, int32_t bits, Value value) {
  if (StillAlloc(&im, w, h, bits) != 0)
    throw std::runtime_error("allocation");
  for (int i = 0; i < 256; ++i)
    im.colors[i * 4] = static_cast<uint8_t>(i), im.colors[i * 4 + 1] = static_cast<uint8_t>(255 - i),
                  im.colors[i * 4 + 2] = static_cast<uint8_t>(i * 7);
  im.colors_used = 256;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w * bits / 8; ++x)
      im.pixels[(h - 1 - y) * im.pitch + x] = static_cast<uint8_t>(value(x / (bits / 8), y, x % (bits / 8)));
}

struct SaveCase {
  const char *name;
  Format format;
  const char *file;
  int32_t bits, option;
  double min_psnr; // lossy formats: the bound in dB; 0: the colours come back exactly
};

class StillSaves : public ::testing::TestWithParam<SaveCase> {};

TEST_P(StillSaves, TheToolAndOurLoaderReadBackWhatWasSaved) {
  const SaveCase &c = GetParam();
  constexpr int32_t kW = 45, kH = 23;
  TempDir dir;
  const std::string file = dir.file(c.file);
  const bool lossy = c.format == Format::jpeg;
  std::mt19937 rng(c.bits * 7 + lossy);
  // Flat areas (runs for the RLE coders) beside noisy ones (literal
  // stretches); for JPEG a gradient, which it keeps well.
  Held im;
  fill(im, kW, kH, c.bits, [&](int32_t x, int32_t y, int32_t k) {
    return lossy ? (x * c.bits / 8 + k) * 2 + y * 3 : x < 20 ? y * 10 + x / 7 : static_cast<int>(rng());
  });
  const std::vector<uint8_t> wrote = still_bgr(im, kW, kH);
  ASSERT_EQ(StillSave(c.format, file.c_str(), &im, c.option), 0);
  Info info{};
  Held back;
  ASSERT_EQ(StillInfo(c.format, source_of(file), &info), 0);
  EXPECT_EQ(std::tuple(info.width, info.height), std::tuple(kW, kH));
  ASSERT_EQ(StillAlloc(&back, kW + 1, kH, info.bits), 0);
  ASSERT_EQ(StillLoad(c.format, source_of(file), &back), 0);
  for (const auto &got : {ffmpeg_decode(file, "-f rawvideo -pix_fmt bgr24", "-threads 1 -flags +bitexact"),
                          still_bgr(back, kW, kH)}) {
    // Lossless formats give the colours back exactly; lossy ones are bounded
    // by PSNR, which does not hang on one decoder's rounding of one pixel.
    if (c.min_psnr == 0)
      EXPECT_EQ(max_byte_difference(got, wrote), 0);
    else
      EXPECT_GE(psnr(got, wrote), c.min_psnr);
  }
  for (int32_t y = 0; c.bits == 8 && !lossy && y < kH; ++y) // indices and table survive, not just colours
    EXPECT_EQ(std::memcmp(back.pixels + y * back.pitch, im.pixels + y * im.pitch, kW), 0) << y;
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

TEST(StillSave, RefusesWhatAFormatCannotHoldOrCannotWrite) {
  TempDir dir;
  Held im;
  fill(im, 16, 16, 24, [](int32_t x, int32_t y, int32_t) { return x ^ y; });
  EXPECT_NE(StillSave(Format::gif, dir.file("a.gif").c_str(), &im, 0), 0);
  EXPECT_NE(StillSave(Format::tif, dir.file("a.tif").c_str(), &im, 12345), 0);
  EXPECT_NE(StillSave(Format::bmp, dir.file("no/such/dir.bmp").c_str(), &im, 0), 0);
  EXPECT_EQ(StillSave(Format::png, "/dev/full", &im, 0), kWriteError);
  StillFree(&im);
  EXPECT_NE(StillSave(Format::bmp, dir.file("b.bmp").c_str(), &im, 0), 0); // freed: no pixels
}

// The PNG file of a picture taken apart: each row's filter, and the rows
// rebuilt by the transcription, against the picture's rows top first as
// the file stores them (red, green, blue at 24 bits).
void expect_png_rows(const Image &im, int32_t level, const std::vector<uint8_t> &filters) {
  TempDir dir;
  const std::string file = dir.file("a.png");
  ASSERT_EQ(StillSave(Format::png, file.c_str(), &im, level), 0);
  const int bpp = im.bits / 8;
  const size_t row_bytes = static_cast<size_t>(im.width) * bpp;
  const std::vector<uint8_t> rows = png_filtered_rows(read_file(file), row_bytes, im.height);
  std::vector<uint8_t> want, got;
  for (int32_t y = 0; y < im.height; ++y) {
    got.push_back(rows[y * (row_bytes + 1)]);
    const uint8_t *row = im.pixels + (im.height - 1 - y) * im.pitch;
    for (int32_t x = 0; x < im.width; ++x)
      for (int k = bpp - 1; k >= 0; --k)
        want.push_back(row[x * bpp + k]);
  }
  EXPECT_EQ(filters.empty() ? filters : got, filters);
  EXPECT_EQ(png_unfilter(rows, row_bytes, im.height, bpp), want) << "level " << level;
  if (im.width <= 5) { // and the tool reads it
    EXPECT_EQ(ffmpeg_decode(file, "-f rawvideo -pix_fmt bgr24", "-threads 1"), still_bgr(im, im.width, im.height))
        << im.width << " x " << im.height;
  }
}

TEST(PngWriter, RowsTakeThePredictorWithTheSmallestResiduals) {
  // Columns that repeat down the picture: the first row has nothing above
  // and is best told from its left neighbours (Sub); every later row equals
  // the one above, which Up and Paeth both predict exactly (a tie: Up, the
  // lower number).
  Held columns, rows, indices;
  fill(columns, 40, 6, 24, [](int32_t x, int32_t, int32_t k) { return x * (3 + 2 * k); });
  expect_png_rows(columns, 0, {1, 2, 2, 2, 2, 2});
  // Flat rows whose grey rises by 5 a row: Sub costs the first pixel's
  // value (3 x |v|), Paeth only the step from the row above (3 x 5), as
  // it predicts every later pixel from its left neighbour. Row 0 is black,
  // which every filter leaves as zeros (a tie: None); row 1 (v = 5) ties
  // Sub with Paeth (Sub); from v = 10 on Paeth is cheaper.
  fill(rows, 40, 6, 24, [](int32_t, int32_t y, int32_t) { return y * 5; });
  expect_png_rows(rows, 0, {0, 1, 4, 4, 4, 4});
  // Index rows are stored unfiltered.
  fill(indices, 33, 5, 8, [](int32_t x, int32_t y, int32_t) { return (y * 33 + x) * 3; });
  expect_png_rows(indices, 0, std::vector<uint8_t>(5, 0));
}

TEST(PngWriter, NoiseAtEveryLevelAndTinyPicturesRebuildExactly) {
  std::mt19937 rng(7);
  Held noise; // noise beside smooth bands, so rows pick different filters
  fill(noise, 97, 31, 24, [&](int32_t x, int32_t y, int32_t k) {
    return (x + y) % 3 == 0 ? static_cast<int>(rng()) : x * (k + 1) + y * 2;
  });
  for (int32_t level : {0, 1, 6, 12, 99})
    expect_png_rows(noise, level, {});
  for (int32_t w : {1, 2, 3, 5})
    for (int32_t h : {1, 2, 4}) {
      Held tiny;
      fill(tiny, w, h, 24, [&](int32_t, int32_t, int32_t) { return static_cast<int>(rng()); });
      expect_png_rows(tiny, 0, {});
    }
}

} // namespace
