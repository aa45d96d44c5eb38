// Loading stills: pictures written by the ffmpeg tool in every format and
// depth it offers, by libpng and libtiff at 1 and 2 bits, by ImageMagick
// with alpha, and built byte by byte: information and pixels against the
// tool's own decode (or the indices they were made from), the same from
// every kind of byte source.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "stills/still_codec.h"
#include "testkit/stills/still_load.h"
#include "testkit/stills/still_files.h"
#include "testkit/stills/still_pixels.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/imagemagick_tool.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace {

using namespace stills_test;
using namespace vex::testkit;

constexpr int32_t kW = 61, kH = 37; // odd sizes: padded rows, odd nibbles

struct LoadCase {
  const char *name;
  Format format;
  const char *file;
  std::string options;        // pixel format and codec options for the tool
  int32_t bits;               // reported bits per pixel
  int tolerance = 0;          // lossless formats: the rounding the format itself implies
  double min_psnr = 0;        // lossy formats: the bound in dB against the tool's decode
  int32_t stored = 0;         // bits per pixel in the file, when not `bits`
  int32_t compression = 0;    // TIF's compression code
};

// Information and every byte of the load from `source`, against what the
// plain file gave.
void expect_same_read(Format f, const vex::file::ByteSource &source, const Info &info, const std::vector<uint8_t> &want) {
  Info again{};
  std::vector<uint8_t> got;
  EXPECT_EQ(info_and_load(f, source, &again, &got), 0) << VEXLastError();
  EXPECT_EQ(std::tie(again.width, again.height, again.bits, again.compression, again.stored_bits),
            std::tie(info.width, info.height, info.bits, info.compression, info.stored_bits));
  EXPECT_TRUE(got == want);
}

class StillLoads : public ::testing::TestWithParam<LoadCase> {};

TEST_P(StillLoads, InfoAndPixelsMatchTheToolsDecodeFromEverySource) {
  const LoadCase &c = GetParam();
  TempDir dir;
  const std::string file = dir.file(c.file), junked = dir.file("behind_junk"), huge = dir.file("huge");
  ffmpeg("-f lavfi -i testsrc=size=61x37 -frames:v 1 -update 1 " + c.options + " " + file);
  const std::vector<uint8_t> want = ffmpeg_decode(file, "-f rawvideo -pix_fmt bgr24", "-threads 1 -flags +bitexact");
  // Lossy pictures decoded by two decoders differ by their rounding, which
  // moves with their versions and code paths: bounded by PSNR instead.
  const auto expect_close = [&](const Image &im) {
    const std::vector<uint8_t> got = still_bgr(im, kW, kH);
    if (c.min_psnr > 0)
      EXPECT_GE(psnr(got, want), c.min_psnr);
    else
      EXPECT_LE(max_byte_difference(got, want), c.tolerance);
  };
  Info info{};
  ASSERT_EQ(StillInfo(c.format, source_of(file), &info), 0);
  EXPECT_EQ(std::tuple(info.width, info.height, info.bits, info.stored_bits, info.compression),
            std::tuple(kW, kH, c.bits, c.stored ? c.stored : c.bits, c.compression));
  std::vector<uint8_t> plain;
  {
    Held im; // the graphics source allocates one column more than the picture
    ASSERT_EQ(StillAlloc(&im, info.width + 1, info.height, info.bits), 0);
    ASSERT_EQ(StillLoad(c.format, source_of(file), &im), 0);
    expect_close(im);
    plain = image_bytes(im);
    StillFree(&im);
    EXPECT_EQ(im.pixels, nullptr);
  }
  // The same bytes from memory, and from a stretch of a file behind junk
  // that no reader of the file's start could take for a picture.
  const std::vector<uint8_t> bytes = read_file(file);
  std::vector<uint8_t> junk(1001);
  for (size_t i = 0; i < junk.size(); ++i)
    junk[i] = static_cast<uint8_t>(i * 37 + 11);
  junk.insert(junk.end(), bytes.begin(), bytes.end());
  write_file(junked, junk);
  vex::file::ByteSource memory;
  memory.open(bytes);
  // Behind the picture, a sparse stretch that takes the file past the
  // largest the own readers read whole: the information reads only the
  // header, so it is the same; the libraries' loads read only the picture
  // and give the same bytes, the own readers refuse the file's size before
  // reading any of it.
  write_file(huge, bytes);
  std::filesystem::resize_file(huge, kMaxFileBytes + 1);
  const bool own = c.format == Format::bmp || c.format == Format::pcx || c.format == Format::tga;
  const std::pair<const char *, vex::file::ByteSource> sources[] = {
      {"memory", memory}, {"slice", source_of(junked).slice(1001)}, {"huge", source_of(huge)}};
  for (const auto &[how, source] : sources) {
    SCOPED_TRACE(how);
    if (own && std::string(how) == "huge") {
      Info again{};
      EXPECT_EQ(info_and_load(c.format, source, &again), kNoFile);
      EXPECT_EQ(vex::util::last_status(), vex::util::Status::kTooLarge);
      EXPECT_EQ(std::tie(again.width, again.height, again.bits), std::tie(info.width, info.height, info.bits));
    } else {
      expect_same_read(c.format, source, info, plain);
    }
  }
  if (info.bits <= 8) { // palette pictures also expand into a true-colour image
    Held im;
    ASSERT_EQ(StillAlloc(&im, kW, kH, 24), 0);
    ASSERT_EQ(StillLoad(c.format, source_of(file), &im), 0);
    expect_close(im);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, StillLoads,
    ::testing::Values(LoadCase{"bmp24", Format::bmp, "a.bmp", "-pix_fmt bgr24", 24},
                      LoadCase{"bmp32", Format::bmp, "a.bmp", "-pix_fmt bgra", 32},
                      LoadCase{"bmp16", Format::bmp, "a.bmp", "-pix_fmt rgb555le", 16},
                      LoadCase{"bmp8", Format::bmp, "a.bmp", "-pix_fmt pal8", 8},
                      LoadCase{"bmp8_grey", Format::bmp, "a.bmp", "-pix_fmt gray", 8},
                      LoadCase{"bmp1", Format::bmp, "a.bmp", "-pix_fmt monob", 8, 0, 0, 1},
                      LoadCase{"pcx24", Format::pcx, "a.pcx", "-pix_fmt rgb24", 24},
                      LoadCase{"pcx8", Format::pcx, "a.pcx", "-pix_fmt pal8", 8},
                      LoadCase{"pcx1", Format::pcx, "a.pcx", "-pix_fmt monob", 8, 0, 0, 1},
                      LoadCase{"png24", Format::png, "a.png", "-pix_fmt rgb24", 24},
                      LoadCase{"png32", Format::png, "a.png", "-pix_fmt rgba", 32},
                      LoadCase{"png48", Format::png, "a.png", "-pix_fmt rgb48be", 24, 1},
                      LoadCase{"png8", Format::png, "a.png", "-pix_fmt pal8", 8},
                      LoadCase{"png_grey", Format::png, "a.png", "-pix_fmt gray", 8},
                      LoadCase{"png1", Format::png, "a.png", "-pix_fmt monob", 8, 0, 0, 1},
                      LoadCase{"tga24_rle", Format::tga, "a.tga", "-pix_fmt bgr24", 24},
                      LoadCase{"tga24_raw", Format::tga, "a.tga", "-pix_fmt bgr24 -rle 0", 24},
                      LoadCase{"tga32", Format::tga, "a.tga", "-pix_fmt bgra", 32},
                      LoadCase{"tga16", Format::tga, "a.tga", "-pix_fmt rgb555le -rle 0", 16},
                      LoadCase{"tga8_mapped", Format::tga, "a.tga", "-pix_fmt pal8", 8},
                      LoadCase{"tga8_grey", Format::tga, "a.tga", "-pix_fmt gray -rle 0", 8},
                      LoadCase{"tif24", Format::tif, "a.tif", "-pix_fmt rgb24 -compression_algo raw", 24, 0, 0, 0, 1},
                      LoadCase{"tif24_lzw", Format::tif, "a.tif", "-pix_fmt rgb24 -compression_algo lzw", 24, 0, 0, 0, kTifLzw},
                      LoadCase{"tif32", Format::tif, "a.tif", "-pix_fmt rgba -compression_algo deflate", 32, 0, 0, 0, 32946},
                      LoadCase{"tif8", Format::tif, "a.tif", "-pix_fmt pal8 -compression_algo packbits", 8, 0, 0, 0, 32773},
                      LoadCase{"tif_grey", Format::tif, "a.tif", "-pix_fmt gray", 8, 0, 0, 0, 32773},
                      LoadCase{"tif1", Format::tif, "a.tif", "-pix_fmt monob", 8, 0, 0, 1, 32773},
                      LoadCase{"gif", Format::gif, "a.gif", "-pix_fmt rgb8", 8},
                      LoadCase{"jpeg", Format::jpeg, "a.jpg", "-pix_fmt yuvj444p -q:v 2", 24, 0, 50}),
    [](const auto &info) { return std::string(info.param.name); });

// Pictures of 1 and 2 bits a pixel in every format that stores them:
// reported as 8 bits, loaded into an 8-bit image as the very indices they
// were made from, one a byte, with their colour table; their colours as
// the tool decodes the file where it reads it; held at the stored depth,
// the same picture packed.
struct SmallCase {
  const char *name;
  Format format;
  const char *file;
  int bits;
  std::function<void(const std::string &, const IndexedPicture &)> write;
  bool tool_reads = true; // the ffmpeg tool decodes this kind of file (not 2-bit BMP)
  bool grey = false;      // the table is grey levels, not random colours
};

void PrintTo(const SmallCase &c, std::ostream *os) { *os << c.name; }

class SmallDepth : public ::testing::TestWithParam<SmallCase> {};

TEST_P(SmallDepth, LoadsAsOneIndexABytePlusItsTable) {
  const SmallCase &c = GetParam();
  std::mt19937 rng(c.bits * 31 + static_cast<int>(c.format));
  const IndexedPicture m = random_indexed(29, 7, c.bits, c.grey, rng); // odd width: a partial last byte
  TempDir dir;
  const std::string file = dir.file(c.file);
  c.write(file, m);
  Info info{};
  ASSERT_EQ(StillInfo(c.format, source_of(file), &info), 0);
  EXPECT_EQ(std::tuple(info.width, info.height, info.bits, info.stored_bits), std::tuple(29, 7, 8, c.bits));
  std::vector<uint8_t> ours;
  {
    Held im;
    ASSERT_EQ(StillAlloc(&im, info.width + 1, info.height, info.bits), 0);
    ASSERT_EQ(StillLoad(c.format, source_of(file), &im), 0);
    for (int32_t y = 0; y < m.height; ++y) {
      const uint8_t *row = im.pixels + static_cast<ptrdiff_t>(m.height - 1 - y) * im.pitch;
      EXPECT_TRUE(std::equal(row, row + m.width, m.index.begin() + y * m.width)) << "row " << y;
    }
    for (size_t i = 0; i < m.colours.size(); ++i)
      EXPECT_EQ(std::tuple(im.colors[i * 4 + 2], im.colors[i * 4 + 1], im.colors[i * 4]),
                std::tuple(m.colours[i][0], m.colours[i][1], m.colours[i][2])) << "colour " << i;
    ours = still_bgr(im, m.width, m.height);
  }
  if (c.tool_reads) {
    EXPECT_EQ(ours, ffmpeg_decode(file, "-f rawvideo -pix_fmt bgr24", "-threads 1"));
  }
  Held packed;
  ASSERT_EQ(StillAlloc(&packed, info.width, info.height, c.bits), 0);
  ASSERT_EQ(StillLoad(c.format, source_of(file), &packed), 0);
  EXPECT_EQ(still_bgr(packed, m.width, m.height), ours);
}

const auto kPng = [](auto &n, auto &m) { write_indexed_png(n, m, false); };
const auto kBmp = [](auto &n, auto &m) { write_file(n, indexed_bmp(m)); };

INSTANTIATE_TEST_SUITE_P(
    Formats, SmallDepth,
    ::testing::Values(SmallCase{"png1", Format::png, "a.png", 1, kPng}, SmallCase{"png2", Format::png, "a.png", 2, kPng},
                      SmallCase{"png2_grey", Format::png, "a.png", 2,
                                [](auto &n, auto &m) { write_indexed_png(n, m, true); }, true, true},
                      SmallCase{"tif1", Format::tif, "a.tif", 1, write_indexed_tiff},
                      SmallCase{"tif2", Format::tif, "a.tif", 2, write_indexed_tiff},
                      SmallCase{"bmp1", Format::bmp, "a.bmp", 1, kBmp}, SmallCase{"bmp2", Format::bmp, "a.bmp", 2, kBmp, false},
                      SmallCase{"pcx_two_planes", Format::pcx, "a.pcx", 2,
                                [](auto &n, auto &m) { write_file(n, indexed_pcx(m, 2)); }},
                      SmallCase{"pcx_two_bits", Format::pcx, "a.pcx", 2,
                                [](auto &n, auto &m) { write_file(n, indexed_pcx(m, 1)); }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(StillLoad, FourBitBitmapsPlainAndRle4) {
  TempDir dir;
  const std::string file = dir.file("f.bmp");
  for (bool rle : {false, true}) {
    SCOPED_TRACE(rle ? "rle4" : "plain");
    write_file(file, bmp4_file(rle));
    Info info{};
    ASSERT_EQ(StillInfo(Format::bmp, source_of(file), &info), 0);
    EXPECT_EQ(info.bits, 4);
    Held im, packed;
    ASSERT_EQ(StillAlloc(&im, 6, 2, 8), 0);
    ASSERT_EQ(StillLoad(Format::bmp, source_of(file), &im), 0);
    EXPECT_EQ(std::vector<uint8_t>(im.pixels, im.pixels + 5), (std::vector<uint8_t>{0, 1, 2, 3, 4})); // bottom
    EXPECT_EQ(std::vector<uint8_t>(im.pixels + im.pitch, im.pixels + im.pitch + 5), (std::vector<uint8_t>{4, 3, 2, 1, 0}));
    EXPECT_EQ(std::tuple(im.colors[12], im.colors[14]), std::tuple(48, 252));
    // Held at 4 bits: two per byte, the left pixel in the low nibble.
    ASSERT_EQ(StillAlloc(&packed, 6, 2, 4), 0);
    ASSERT_EQ(StillLoad(Format::bmp, source_of(file), &packed), 0);
    EXPECT_EQ(std::tuple(packed.pixels[0], packed.pixels[1], packed.pixels[2] & 15, packed.pixels[packed.pitch]),
              std::tuple(0x10, 0x32, 4, 0x34));
  }
}

TEST(StillLoad, PitchRefusalsAndColoursThatDoNotFit) {
  {
    Held a, b, none;
    ASSERT_EQ(StillAlloc(&a, 62, 5, 24), 0);
    EXPECT_EQ(std::tuple(a.pitch, a.size), std::tuple(188, 188u * 5)); // 186 rounded up to a multiple of 4
    EXPECT_NE(a.colors, nullptr);
    ASSERT_EQ(StillAlloc(&b, 62, 5, 8), 0);
    EXPECT_EQ(b.pitch, 64);
    for (const auto &[w, bits] : {std::pair{0, 8}, std::pair{100000, 8}, std::pair{5, 7}})
      EXPECT_NE(StillAlloc(&none, w, 5, bits), 0) << w << " " << bits;
    EXPECT_EQ(none.pixels, nullptr); // an empty descriptor may be freed
  }
  TempDir dir;
  const std::string file = dir.file("a.png");
  ffmpeg("-f lavfi -i testsrc=size=61x37 -frames:v 1 -update 1 -pix_fmt rgb24 " + file);
  for (const auto &[w, bits] : {std::pair{62, 8}, std::pair{60, 24}}) { // indexed, or narrower
    Held im;
    ASSERT_EQ(StillAlloc(&im, w, 37, bits), 0);
    EXPECT_NE(StillLoad(Format::png, source_of(file), &im), 0) << w << " " << bits;
  }
}

// A comment segment longer than the chunks a file is read in is skipped
// over, not read (it is full of end-of-picture markers, which a reader
// that landed inside would stop at): from a file and from memory the
// picture is the one without the comment, and cut short inside the
// comment it is refused.
TEST(StillLoad, JpegSkipsALongCommentFromFileAndMemory) {
  TempDir dir;
  const std::string plain = dir.file("a.jpg"), commented = dir.file("c.jpg");
  ffmpeg("-f lavfi -i testsrc=size=61x37 -frames:v 1 -update 1 -pix_fmt yuvj420p " + plain);
  std::vector<uint8_t> bytes = read_file(plain);
  std::vector<uint8_t> comment = {0xFF, 0xFE, 0xEA, 0x60}; // 60000 bytes with the length
  for (size_t i = 2; i < 60000; i += 2)
    comment.insert(comment.end(), {0xFF, 0xD9});
  bytes.insert(bytes.begin() + 2, comment.begin(), comment.end()); // behind the start marker
  write_file(commented, bytes);
  Info info{};
  std::vector<uint8_t> want;
  ASSERT_EQ(info_and_load(Format::jpeg, source_of(plain), &info, &want), 0);
  vex::file::ByteSource memory, cut;
  memory.open(bytes);
  for (const auto &[how, source] : {std::pair{"file", source_of(commented)}, std::pair{"memory", memory}}) {
    SCOPED_TRACE(how);
    expect_same_read(Format::jpeg, source, info, want);
  }
  cut.open(std::span<const uint8_t>(bytes.data(), 30000));
  EXPECT_EQ(StillInfo(Format::jpeg, cut, &info), kBadFile);
  EXPECT_NE(vex::util::last_status(), vex::util::Status::kOk);
}

// TIFF pictures with alpha that ImageMagick writes (alpha unassociated or
// associated, in the layouts it offers) and decodes for the expected
// pixels. Unassociated alpha comes back exactly as stored; associated
// alpha comes back as stored too, so the colours are ImageMagick's
// (un-premultiplied) decode premultiplied again, within that rounding.
std::string alpha_png(const TempDir &dir) {
  const std::string png = dir.file("src.png");
  // Fully transparent columns, fully opaque ones, and a ramp between.
  ffmpeg("-f lavfi -i testsrc=size=61x37 -frames:v 1 -update 1 -vf "
         "\"format=rgba,geq=r='X*4':g='Y*6+20':b='250-X*3':a='if(lt(X,4),0,if(gt(X,56),255,X*4+Y))'\" " + png);
  return png;
}

// A TIFF made by ImageMagick from that picture with `options`, its decode
// by ImageMagick and ours (red, green, blue, alpha, rows top first).
struct AlphaRead {
  int32_t bits = 0;
  std::vector<uint8_t> want, got;
};
AlphaRead read_alpha_tif(const TempDir &dir, const std::string &options, const std::string &name = "a.tif") {
  const std::string tif = dir.file(name);
  imagemagick(shell_quote(alpha_png(dir)) + " -alpha on " + options + " " + shell_quote(tif));
  AlphaRead r;
  r.want = imagemagick_rgba(tif);
  Info info{};
  Held im;
  if (StillInfo(Format::tif, source_of(tif), &info) || StillAlloc(&im, kW + 1, kH, 32) ||
      StillLoad(Format::tif, source_of(tif), &im))
    return r;
  r.bits = info.bits;
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) {
      const uint8_t *p = im.pixels + static_cast<ptrdiff_t>(kH - 1 - y) * im.pitch + x * 4;
      r.got.insert(r.got.end(), {p[2], p[1], p[0], p[3]});
    }
  return r;
}

// Peak signal-to-noise ratio in dB of channel k (0-3) over all pixels.
double channel_psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, size_t k) {
  std::vector<uint8_t> x, y;
  for (size_t i = k; i < std::min(a.size(), b.size()); i += 4)
    x.push_back(a[i]), y.push_back(b[i]);
  return psnr(x, y);
}

const char *const kLayouts[][2] = {{"plain", "-compress none"},
                                   {"lzw", "-compress lzw"},
                                   {"lzw_predictor", "-compress lzw -define tiff:predictor=2"},
                                   {"zip_predictor", "-compress zip -define tiff:predictor=2"},
                                   {"packbits_strips", "-compress rle -define tiff:rows-per-strip=5"},
                                   {"tiled", "-compress zip -define tiff:tile-geometry=16x16"},
                                   {"planes", "-interlace plane -compress lzw"},
                                   {"sixteen_bits", "-depth 16 -compress zip"},
                                   {"grey", "-colorspace gray -compress lzw"}};

class TiffAlpha : public ::testing::TestWithParam<std::tuple<const char *, int>> {};

TEST_P(TiffAlpha, PixelsAsStored) {
  const std::string kind = std::get<0>(GetParam());
  TempDir dir;
  const AlphaRead r = read_alpha_tif(dir, "-define tiff:alpha=" + kind + " " + kLayouts[std::get<1>(GetParam())][1]);
  ASSERT_EQ(r.want.size(), size_t{kW} * kH * 4);
  ASSERT_EQ(r.got.size(), r.want.size());
  EXPECT_EQ(r.bits, 32);
  int worst = 0, alpha_wrong = 0, partly = 0;
  for (size_t i = 0; i < r.got.size(); i += 4) {
    const int a = r.want[i + 3];
    alpha_wrong += r.got[i + 3] != a;
    partly += a > 0 && a < 255;
    for (size_t k = 0; k < 3; ++k)
      worst = std::max(worst, std::abs(r.got[i + k] - (kind == "unassociated" ? r.want[i + k] : (r.want[i + k] * a + 127) / 255)));
  }
  EXPECT_EQ(alpha_wrong, 0);
  EXPECT_GT(partly, kW * kH / 2) << "most pixels are partly transparent";
  EXPECT_LE(worst, kind == "unassociated" ? 0 : 1);
}


INSTANTIATE_TEST_SUITE_P(Layouts, TiffAlpha,
                         ::testing::Combine(::testing::Values("unassociated", "associated"),
                                            ::testing::Range(0, 9)),
                         [](const auto &info) {
                           return std::string(std::get<0>(info.param)) + "_" + kLayouts[std::get<1>(info.param)][0];
                         });

TEST(TiffAlphaOther, RgbaReaderLayoutsAndJpegKeepTheirColours) {
  TempDir dir;
  // A layout left to libtiff's RGBA reader delivers no alpha (24 bits) and
  // colours that are not premultiplied: CMYK with unassociated alpha, which
  // ImageMagick converts with the same plain formula.
  const AlphaRead cmyk = read_alpha_tif(dir, "-define tiff:alpha=unassociated -colorspace cmyk -depth 8 -compress lzw");
  ASSERT_EQ(cmyk.got.size(), size_t{kW} * kH * 4);
  ASSERT_EQ(cmyk.want.size(), cmyk.got.size());
  EXPECT_EQ(cmyk.bits, 24);
  int worst = 0, opaque = 0;
  for (size_t i = 0; i < cmyk.got.size(); i += 4) {
    opaque += cmyk.got[i + 3] == 255;
    for (size_t k = 0; k < 3; ++k)
      worst = std::max(worst, std::abs(cmyk.got[i + k] - cmyk.want[i + k]));
  }
  EXPECT_EQ(opaque, kW * kH);
  EXPECT_LE(worst, 1);
  // JPEG inside a TIFF with unassociated alpha: RGB, read block by block,
  // the colours as stored. ImageMagick decodes such a file premultiplied,
  // so the expected pixels are its decode of the same picture stored
  // losslessly, within what JPEG loses.
  const AlphaRead jpeg = read_alpha_tif(dir, "-define tiff:alpha=unassociated -compress jpeg -quality 95", "j.tif");
  const AlphaRead plain = read_alpha_tif(dir, "-define tiff:alpha=unassociated -compress none", "p.tif");
  EXPECT_EQ(jpeg.bits, 32);
  ASSERT_EQ(jpeg.got.size(), plain.want.size());
  for (size_t k = 0; k < 4; ++k)
    EXPECT_GE(channel_psnr(jpeg.got, plain.want, k), 35) << "channel " << k;
  // The complaint this guards: a pixel stored as (192, 141, 78) with alpha
  // 175 must not come back as (132, 97, 54).
  const std::string one = dir.file("one.tif");
  imagemagick("-size 3x2 xc:\"rgba(192,141,78,0.686275)\" -alpha on -define tiff:alpha=unassociated " + shell_quote(one));
  Held im;
  ASSERT_EQ(StillAlloc(&im, 3, 2, 32), 0);
  ASSERT_EQ(StillLoad(Format::tif, source_of(one), &im), 0);
  EXPECT_EQ(std::vector<uint8_t>(im.pixels, im.pixels + 4), (std::vector<uint8_t>{78, 141, 192, 175}));
}

} // namespace
