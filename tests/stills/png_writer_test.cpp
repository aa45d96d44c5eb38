// The PNG writer's own choices, checked from the file's bytes: each row's
// filter (the predictor that leaves the smallest residuals), the rows
// rebuilt from the inflated stream by a plain transcription of PNG's
// reconstruction, and pictures of odd sizes read back by the ffmpeg tool.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "stills/still_image.h"
#include "testkit/stills/still_pixels.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"

namespace {

using namespace vex::stills;

std::vector<uint8_t> file_bytes(const std::string &name) {
  std::vector<uint8_t> out;
  if (FILE *f = std::fopen(name.c_str(), "rb")) {
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
      out.insert(out.end(), buf, buf + n);
    std::fclose(f);
  }
  return out;
}

uint32_t be32(const uint8_t *p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

// The IDAT data of a PNG file, inflated by zlib: height rows of a filter
// byte and row_bytes bytes. Every chunk's CRC is checked on the way.
std::vector<uint8_t> inflated_rows(const std::vector<uint8_t> &png, size_t row_bytes, int32_t height) {
  std::vector<uint8_t> packed;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = be32(&png[at]);
    if (at + 12 + length > png.size())
      throw std::runtime_error("chunk past the end");
    if (crc32(0, &png[at + 4], length + 4) != be32(&png[at + 8 + length]))
      throw std::runtime_error("bad CRC");
    if (std::memcmp(&png[at + 4], "IDAT", 4) == 0)
      packed.insert(packed.end(), &png[at + 8], &png[at + 8] + length);
    at += 12 + length;
  }
  std::vector<uint8_t> rows((row_bytes + 1) * static_cast<size_t>(height));
  uLongf n = rows.size();
  if (uncompress(rows.data(), &n, packed.data(), packed.size()) != Z_OK || n != rows.size())
    throw std::runtime_error("inflate");
  return rows;
}

// PNG's reconstruction, byte by byte as the format defines it.
std::vector<uint8_t> unfiltered(const std::vector<uint8_t> &rows, size_t row_bytes, int32_t height, int bpp) {
  std::vector<uint8_t> out(row_bytes * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t type = rows[y * (row_bytes + 1)];
    const uint8_t *f = &rows[y * (row_bytes + 1) + 1];
    uint8_t *o = &out[y * row_bytes];
    for (size_t x = 0; x < row_bytes; ++x) {
      const int a = x >= size_t(bpp) ? o[x - bpp] : 0;
      const int b = y > 0 ? o[x - row_bytes] : 0;
      const int c = y > 0 && x >= size_t(bpp) ? o[x - row_bytes - bpp] : 0;
      int pred = 0;
      if (type == 1) pred = a;
      else if (type == 2) pred = b;
      else if (type == 3) pred = (a + b) / 2;
      else if (type == 4) {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      } else if (type != 0) throw std::runtime_error("filter type " + std::to_string(type));
      o[x] = static_cast<uint8_t>(f[x] + pred);
    }
  }
  return out;
}

// A 24-bit picture from a colour function of (x, y), blue, green, red.
template <class Colour> Image picture(int32_t w, int32_t h, Colour colour) {
  Image im{};
  if (StillAlloc(&im, w, h, 24) != 0)
    throw std::runtime_error("allocation");
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t bgr[3];
      colour(x, y, bgr);
      std::memcpy(im.pixels + (h - 1 - y) * im.pitch + x * 3, bgr, 3); // bottom-up
    }
  return im;
}

// The picture's rows top first as red, green, blue: what the PNG stores.
std::vector<uint8_t> rgb_rows(const Image &im) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < im.height; ++y) {
    const uint8_t *row = im.pixels + (im.height - 1 - y) * im.pitch;
    for (int32_t x = 0; x < im.width; ++x)
      out.insert(out.end(), {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
  }
  return out;
}

struct Saved {
  std::vector<uint8_t> filters; // one per row
  std::vector<uint8_t> rebuilt; // the rows by the transcription
};

Saved save_and_take_apart(Image &im, int32_t option = 0) {
  vex::testkit::TempDir dir;
  const std::string file = dir.file("a.png");
  if (StillSave(Format::png, file.c_str(), &im, option) != 0)
    throw std::runtime_error("save");
  const size_t row_bytes = static_cast<size_t>(im.width) * (im.bits / 8);
  const std::vector<uint8_t> rows = inflated_rows(file_bytes(file), row_bytes, im.height);
  Saved s;
  for (int32_t y = 0; y < im.height; ++y)
    s.filters.push_back(rows[y * (row_bytes + 1)]);
  s.rebuilt = unfiltered(rows, row_bytes, im.height, im.bits / 8);
  return s;
}

TEST(PngRowFilter, ColourRowsTakeThePredictorWithTheSmallestResiduals) {
  // Columns that repeat down the picture: the first row has nothing above
  // and is best told from its left neighbours (Sub); every later row equals
  // the one above, which Up and Paeth both predict exactly (a tie: Up, the
  // lower number).
  Image columns = picture(40, 6, [](int32_t x, int32_t, uint8_t *p) {
    p[0] = static_cast<uint8_t>(x * 3);
    p[1] = static_cast<uint8_t>(x * 5);
    p[2] = static_cast<uint8_t>(x * 7);
  });
  Saved s = save_and_take_apart(columns);
  EXPECT_EQ(s.filters, (std::vector<uint8_t>{1, 2, 2, 2, 2, 2}));
  EXPECT_EQ(s.rebuilt, rgb_rows(columns));
  StillFree(&columns);

  // Flat rows whose grey rises by 5 a row: Sub costs the first pixel's
  // value (3 x |v|), Paeth only the step from the row above (3 x 5), as
  // it predicts every later pixel from its left neighbour. Row 0 is black,
  // which every filter leaves as zeros (a tie: None); row 1 (v = 5) ties
  // Sub with Paeth (Sub); from v = 10 on Paeth is cheaper.
  Image rows = picture(40, 6, [](int32_t, int32_t y, uint8_t *p) { std::memset(p, y * 5, 3); });
  s = save_and_take_apart(rows);
  EXPECT_EQ(s.filters, (std::vector<uint8_t>{0, 1, 4, 4, 4, 4}));
  EXPECT_EQ(s.rebuilt, rgb_rows(rows));
  StillFree(&rows);
}

TEST(PngRowFilter, NoisePicturesAndEveryLevelRebuildExactly) {
  std::mt19937 rng(7);
  // Noise beside smooth bands, so rows pick different filters.
  Image im = picture(97, 31, [&](int32_t x, int32_t y, uint8_t *p) {
    for (int c = 0; c < 3; ++c)
      p[c] = static_cast<uint8_t>((x + y) % 3 == 0 ? rng() : x * (c + 1) + y * 2);
  });
  const std::vector<uint8_t> want = rgb_rows(im);
  for (int32_t level : {0, 1, 6, 12, 99}) {
    Saved s = save_and_take_apart(im, level);
    EXPECT_EQ(s.rebuilt, want) << "level " << level;
  }
  StillFree(&im);
}

TEST(PngRowFilter, IndexRowsAreStoredUnfiltered) {
  Image im{};
  ASSERT_EQ(StillAlloc(&im, 33, 5, 8), 0);
  for (int32_t i = 0; i < 33 * 5; ++i)
    im.pixels[(i / 33) * im.pitch + i % 33] = static_cast<uint8_t>(i * 3);
  Saved s = save_and_take_apart(im);
  EXPECT_EQ(s.filters, std::vector<uint8_t>(5, 0));
  for (int32_t y = 0; y < 5; ++y)
    EXPECT_EQ(std::memcmp(&s.rebuilt[y * 33], im.pixels + (4 - y) * im.pitch, 33), 0) << y;
  StillFree(&im);
}

TEST(PngWriter, PicturesOfOneToFivePixelsAcrossReadBackInTheTool) {
  std::mt19937 rng(3);
  for (int32_t w : {1, 2, 3, 5})
    for (int32_t h : {1, 2, 4}) {
      vex::testkit::TempDir dir;
      const std::string file = dir.file("a.png");
      Image im = picture(w, h, [&](int32_t, int32_t, uint8_t *p) {
        for (int c = 0; c < 3; ++c)
          p[c] = static_cast<uint8_t>(rng());
      });
      ASSERT_EQ(StillSave(Format::png, file.c_str(), &im, 0), 0);
      EXPECT_EQ(vex::testkit::ffmpeg_decode(file, "-f rawvideo -pix_fmt bgr24", "-threads 1"),
                vex::testkit::still_bgr(im, w, h))
          << w << " x " << h;
      StillFree(&im);
    }
}

TEST(PngWriter, AFullDeviceIsAWriteError) {
  Image im = picture(16, 16, [](int32_t x, int32_t y, uint8_t *p) { std::memset(p, x ^ y, 3); });
  EXPECT_EQ(StillSave(Format::png, "/dev/full", &im, 0), kWriteError);
  StillFree(&im);
}

} // namespace
