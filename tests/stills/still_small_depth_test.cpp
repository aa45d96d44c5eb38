// Pictures of 1 and 2 bits a pixel in every format that stores them (PNG
// and TIFF written by their own libraries, PCX and BMP built byte by byte):
// reported as 8 bits, loaded into an 8-bit image as the very indices they
// were made from, one a byte, with their colour table; and their colours
// against the ffmpeg tool's decode of the same file where it reads them.
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "stills/still_image.h"
#include "testkit/util/wav_file.h"
#include "testkit/stills/still_pixels.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"
#include "util/bytes.h"

namespace {

using namespace vex::stills;
using vex::testkit::source_of;
using vex::testkit::write_file;

// What a file was made from: indices top row first, and the colours of
// the table as red, green, blue.
struct Made {
  int32_t width, height, bits;
  std::vector<uint8_t> index;
  std::vector<std::array<uint8_t, 3>> colours; // 1 << bits entries
};

Made random_picture(int32_t width, int32_t height, int bits, std::mt19937 &rng) {
  Made m{width, height, bits, {}, {}};
  m.index.resize(static_cast<size_t>(width) * height);
  for (auto &i : m.index)
    i = static_cast<uint8_t>(rng() % (1u << bits));
  for (int i = 0; i < (1 << bits); ++i)
    m.colours.push_back({static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())});
  return m;
}

// A row of indices packed from the most significant bit, `bytes` long.
std::vector<uint8_t> pack_row(const Made &m, int32_t y, size_t bytes) {
  std::vector<uint8_t> row(bytes, 0);
  for (int32_t x = 0; x < m.width; ++x) {
    const int32_t bit = x * m.bits;
    row[static_cast<size_t>(bit / 8)] |=
        static_cast<uint8_t>(m.index[static_cast<size_t>(y) * m.width + x] << (8 - m.bits - bit % 8));
  }
  return row;
}

void write_png(const std::string &name, const Made &m, bool grey) {
  FILE *f = std::fopen(name.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(m.width), static_cast<png_uint_32>(m.height), m.bits,
               grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (const auto &c : m.colours)
    palette.push_back({c[0], c[1], c[2]});
  if (!grey)
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_write_info(png, info);
  for (int32_t y = 0; y < m.height; ++y) {
    auto row = pack_row(m, y, (static_cast<size_t>(m.width) * m.bits + 7) / 8);
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

void write_tiff(const std::string &name, const Made &m) {
  TIFF *t = TIFFOpen(name.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(m.width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(m.height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(m.bits));
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(1));
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(3));
  std::vector<uint16_t> r, g, b;
  for (const auto &c : m.colours) {
    r.push_back(static_cast<uint16_t>(c[0] * 257));
    g.push_back(static_cast<uint16_t>(c[1] * 257));
    b.push_back(static_cast<uint16_t>(c[2] * 257));
  }
  TIFFSetField(t, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
  for (int32_t y = 0; y < m.height; ++y) {
    auto row = pack_row(m, y, (static_cast<size_t>(m.width) * m.bits + 7) / 8);
    ASSERT_EQ(TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0), 1);
  }
  TIFFClose(t);
}

// A BMP of 1 or 2 bits: 40-byte header, table of blue, green, red, 0,
// rows bottom-up padded to 4 bytes.
std::vector<uint8_t> bmp_bytes(const Made &m) {
  std::vector<uint8_t> f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  vex::util::append_le32(f, 40);
  vex::util::append_le32(f, static_cast<uint32_t>(m.width));
  vex::util::append_le32(f, static_cast<uint32_t>(m.height));
  vex::util::append_le16(f, 1);
  vex::util::append_le16(f, static_cast<uint32_t>(m.bits));
  for (int i = 0; i < 4; ++i)
    vex::util::append_le32(f, 0); // no compression, sizes and resolution
  vex::util::append_le32(f, static_cast<uint32_t>(m.colours.size()));
  vex::util::append_le32(f, 0);
  for (const auto &c : m.colours)
    f.insert(f.end(), {c[2], c[1], c[0], 0});
  vex::util::put_le32(&f[10], static_cast<uint32_t>(f.size()));
  const size_t stride = (static_cast<size_t>(m.width) * m.bits + 31) / 32 * 4;
  for (int32_t y = m.height - 1; y >= 0; --y) {
    const auto row = pack_row(m, y, stride);
    f.insert(f.end(), row.begin(), row.end());
  }
  vex::util::put_le32(&f[2], static_cast<uint32_t>(f.size()));
  return f;
}

// A run-length PCX of `planes` planes of `bpp` bits with the colours in
// the header's 16-entry table.
std::vector<uint8_t> pcx_bytes(const Made &m, int bpp, int planes) {
  std::vector<uint8_t> f(128, 0);
  f[0] = 0x0A, f[1] = 5, f[2] = 1, f[3] = static_cast<uint8_t>(bpp);
  vex::util::put_le16(&f[8], static_cast<uint32_t>(m.width - 1));
  vex::util::put_le16(&f[10], static_cast<uint32_t>(m.height - 1));
  for (size_t i = 0; i < m.colours.size(); ++i)
    for (size_t k = 0; k < 3; ++k)
      f[16 + i * 3 + k] = m.colours[i][k];
  f[65] = static_cast<uint8_t>(planes);
  const size_t line = ((static_cast<size_t>(m.width) * bpp + 7) / 8 + 1) & ~size_t{1}; // even
  vex::util::put_le16(&f[66], static_cast<uint32_t>(line));
  f[68] = 1;
  for (int32_t y = 0; y < m.height; ++y) {
    std::vector<uint8_t> scan;
    if (planes == 1) {
      scan = pack_row(m, y, line);
    } else {
      for (int k = 0; k < planes; ++k) { // plane k: bit k of each index
        Made plane = m;
        plane.bits = 1;
        for (auto &i : plane.index)
          i = static_cast<uint8_t>(i >> k & 1);
        const auto row = pack_row(plane, y, line);
        scan.insert(scan.end(), row.begin(), row.end());
      }
    }
    for (size_t i = 0; i < scan.size();) {
      size_t run = 1;
      while (i + run < scan.size() && run < 63 && scan[i + run] == scan[i])
        ++run;
      if (run > 1 || scan[i] >= 0xC0)
        f.push_back(static_cast<uint8_t>(0xC0 | run));
      f.push_back(scan[i]);
      i += run;
    }
  }
  return f;
}

struct Case {
  const char *name;
  Format format;
  const char *file;
  int bits;
  std::function<void(const std::string &, const Made &)> write;
  bool tool_reads = true; // the ffmpeg tool decodes this kind of file (not 2-bit BMP)
  bool grey = false;      // the table is grey levels, not the made colours
};

std::vector<std::array<uint8_t, 3>> table_of(const Image &im, size_t n) {
  std::vector<std::array<uint8_t, 3>> t;
  for (size_t i = 0; i < n; ++i)
    t.push_back({im.colors[i * 4 + 2], im.colors[i * 4 + 1], im.colors[i * 4]});
  return t;
}

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class SmallDepth : public ::testing::TestWithParam<Case> {};

TEST_P(SmallDepth, LoadsAsOneIndexABytePlusItsTable) {
  const Case &c = GetParam();
  std::mt19937 rng(c.bits * 31 + static_cast<int>(c.format));
  Made m = random_picture(29, 7, c.bits, rng); // odd width: a partial last byte
  if (c.grey)
    for (int i = 0; i < (1 << c.bits); ++i) {
      const auto v = static_cast<uint8_t>(i * 255 / ((1 << c.bits) - 1));
      m.colours[static_cast<size_t>(i)] = {v, v, v};
    }
  vex::testkit::TempDir dir;
  const std::string file = dir.file(c.file);
  c.write(file, m);

  Info info{};
  ASSERT_EQ(StillInfo(c.format, source_of(file), &info), 0);
  EXPECT_EQ(info.width, m.width);
  EXPECT_EQ(info.height, m.height);
  EXPECT_EQ(info.bits, 8);
  EXPECT_EQ(info.stored_bits, c.bits);

  // As the graphics source holds it: one column more, at the reported depth.
  Image im{};
  ASSERT_EQ(StillAlloc(&im, info.width + 1, info.height, info.bits), 0);
  ASSERT_EQ(StillLoad(c.format, source_of(file), &im), 0);
  for (int32_t y = 0; y < m.height; ++y) {
    const uint8_t *row = im.pixels + static_cast<ptrdiff_t>(m.height - 1 - y) * im.pitch;
    const std::vector<uint8_t> got(row, row + m.width);
    const std::vector<uint8_t> want(m.index.begin() + y * m.width, m.index.begin() + (y + 1) * m.width);
    EXPECT_EQ(got, want) << "row " << y;
  }
  EXPECT_EQ(table_of(im, m.colours.size()), m.colours);
  const std::vector<uint8_t> ours = vex::testkit::still_bgr(im, m.width, m.height);
  StillFree(&im);

  if (c.tool_reads) {
    const auto tool = vex::testkit::ffmpeg_decode(file, "-f rawvideo -pix_fmt bgr24", "-threads 1");
    EXPECT_EQ(ours, tool);
  }

  // Held at the stored depth instead, the same picture comes back packed.
  ASSERT_EQ(StillAlloc(&im, info.width, info.height, c.bits), 0);
  ASSERT_EQ(StillLoad(c.format, source_of(file), &im), 0);
  EXPECT_EQ(vex::testkit::still_bgr(im, m.width, m.height), ours);
  StillFree(&im);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SmallDepth,
    ::testing::Values(
        Case{"png1", Format::png, "a.png", 1, [](auto &n, auto &m) { write_png(n, m, false); }},
        Case{"png2", Format::png, "a.png", 2, [](auto &n, auto &m) { write_png(n, m, false); }},
        Case{"png2_grey", Format::png, "a.png", 2, [](auto &n, auto &m) { write_png(n, m, true); }, true, true},
        Case{"tif1", Format::tif, "a.tif", 1, write_tiff}, Case{"tif2", Format::tif, "a.tif", 2, write_tiff},
        Case{"bmp1", Format::bmp, "a.bmp", 1, [](auto &n, auto &m) { write_file(n, bmp_bytes(m)); }},
        Case{"bmp2", Format::bmp, "a.bmp", 2, [](auto &n, auto &m) { write_file(n, bmp_bytes(m)); }, false},
        Case{"pcx_two_planes", Format::pcx, "a.pcx", 2, [](auto &n, auto &m) { write_file(n, pcx_bytes(m, 1, 2)); }},
        Case{"pcx_two_bits", Format::pcx, "a.pcx", 2, [](auto &n, auto &m) { write_file(n, pcx_bytes(m, 2, 1)); }}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
