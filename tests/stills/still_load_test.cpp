// Still images written by the ffmpeg tool in every format and depth it
// offers: information and loaded pixels against the tool's own decode, and
// the same read from every kind of byte source.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "stills/still_codec.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/stills/still_pixels.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/wav_file.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace {

using namespace vex::stills;
using vex::testkit::source_of;
using vex::testkit::ffmpeg;

constexpr int32_t kW = 61, kH = 37; // odd sizes: padded rows, odd nibbles

struct LoadCase {
  const char *name;
  Format format;
  const char *file;
  std::string options; // pixel format and codec options for the tool
  int32_t bits;        // reported bits per pixel
  int tolerance;       // lossless formats: the rounding the format itself implies
  double min_psnr = 0; // lossy formats: the bound in dB against the tool's decode
  int32_t stored = 0;  // bits per pixel in the file, when not `bits`
};

// A lossy picture decoded by two decoders differs by their rounding, which
// moves with their versions and code paths: bound it by PSNR instead.
void expect_close(const std::vector<uint8_t> &got, const std::vector<uint8_t> &want, const LoadCase &c) {
  if (c.min_psnr > 0)
    EXPECT_GE(vex::testkit::psnr(got, want), c.min_psnr);
  else
    EXPECT_LE(vex::testkit::max_byte_difference(got, want), c.tolerance);
}

// Every byte a load leaves in the descriptor: pixels and colour table.
std::vector<uint8_t> image_bytes(const Image &im) {
  std::vector<uint8_t> all(im.pixels, im.pixels + im.size);
  all.insert(all.end(), im.colors, im.colors + 256 * 4);
  return all;
}

bool same_info(const Info &a, const Info &b) {
  return a.width == b.width && a.height == b.height && a.bits == b.bits && a.compression == b.compression &&
         a.stored_bits == b.stored_bits;
}

// Information and every byte of the load from `source`, against what the
// plain file gave.
void expect_same_read(Format f, const vex::file::ByteSource &source, const Info &info,
                      const std::vector<uint8_t> &want) {
  Info again{};
  ASSERT_EQ(StillInfo(f, source, &again), 0) << VEXLastError();
  EXPECT_TRUE(same_info(again, info));
  Image im{};
  ASSERT_EQ(StillAlloc(&im, info.width + 1, info.height, info.bits), 0);
  EXPECT_EQ(StillLoad(f, source, &im), 0) << VEXLastError();
  EXPECT_TRUE(image_bytes(im) == want);
  StillFree(&im);
}

class StillLoads : public ::testing::TestWithParam<LoadCase> {};

TEST_P(StillLoads, InfoAndPixelsMatchTheToolsDecode) {
  const LoadCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string file = dir.file(c.file);
  ffmpeg("-f lavfi -i testsrc=size=61x37 -frames:v 1 -update 1 " + c.options + " " + file);
  const std::vector<uint8_t> want =
      vex::testkit::ffmpeg_decode(file, "-f rawvideo -pix_fmt bgr24", "-threads 1 -flags +bitexact");

  Info info{};
  ASSERT_EQ(StillInfo(c.format, source_of(file), &info), 0);
  EXPECT_EQ(info.width, kW);
  EXPECT_EQ(info.height, kH);
  EXPECT_EQ(info.bits, c.bits);
  EXPECT_EQ(info.stored_bits, c.stored ? c.stored : c.bits);
  // The graphics source allocates one column more than the picture.
  Image im{};
  ASSERT_EQ(StillAlloc(&im, info.width + 1, info.height, info.bits), 0);
  ASSERT_EQ(StillLoad(c.format, source_of(file), &im), 0);
  expect_close(vex::testkit::still_bgr(im, kW, kH), want, c);
  const std::vector<uint8_t> plain = image_bytes(im);
  StillFree(&im);
  EXPECT_EQ(im.pixels, nullptr);

  // The same bytes from memory, and from a stretch of a file behind junk
  // that no reader of the file's start could take for a picture: the same
  // information and the same bytes loaded.
  const std::vector<uint8_t> bytes = vex::testkit::read_file(file);
  std::vector<uint8_t> junk(1001);
  for (size_t i = 0; i < junk.size(); ++i)
    junk[i] = static_cast<uint8_t>(i * 37 + 11);
  junk.insert(junk.end(), bytes.begin(), bytes.end());
  vex::testkit::write_file(dir.file("behind_junk"), junk);
  vex::file::ByteSource memory;
  memory.open(bytes);
  {
    SCOPED_TRACE("memory");
    expect_same_read(c.format, memory, info, plain);
  }
  {
    SCOPED_TRACE("slice");
    expect_same_read(c.format, source_of(dir.file("behind_junk")).slice(junk.size() - bytes.size()), info, plain);
  }
  // Behind the picture, a sparse stretch that takes the file past the
  // largest the own readers read whole: the information reads only the
  // header, so it is the same; the libraries' loads read only the picture
  // and give the same bytes, the own readers refuse the file's size before
  // reading any of it.
  const std::string huge = dir.file("huge");
  vex::testkit::write_file(huge, bytes);
  std::filesystem::resize_file(huge, kMaxFileBytes + 1);
  const vex::file::ByteSource big = source_of(huge);
  Info again{};
  ASSERT_EQ(StillInfo(c.format, big, &again), 0) << VEXLastError();
  EXPECT_TRUE(same_info(again, info));
  const bool own = c.format == Format::bmp || c.format == Format::pcx || c.format == Format::tga;
  if (own) {
    ASSERT_EQ(StillAlloc(&im, kW + 1, kH, info.bits), 0);
    EXPECT_EQ(StillLoad(c.format, big, &im), kNoFile);
    EXPECT_EQ(vex::util::last_status(), vex::util::Status::kTooLarge);
    StillFree(&im);
  } else {
    expect_same_read(c.format, big, info, plain);
  }

  // Palette pictures also expand into a true-colour image.
  if (info.bits <= 8) {
    ASSERT_EQ(StillAlloc(&im, kW, kH, 24), 0);
    ASSERT_EQ(StillLoad(c.format, source_of(file), &im), 0);
    expect_close(vex::testkit::still_bgr(im, kW, kH), want, c);
    StillFree(&im);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, StillLoads,
    ::testing::Values(LoadCase{"bmp24", Format::bmp, "a.bmp", "-pix_fmt bgr24", 24, 0},
                      LoadCase{"bmp32", Format::bmp, "a.bmp", "-pix_fmt bgra", 32, 0},
                      LoadCase{"bmp16", Format::bmp, "a.bmp", "-pix_fmt rgb555le", 16, 0},
                      LoadCase{"bmp8", Format::bmp, "a.bmp", "-pix_fmt pal8", 8, 0},
                      LoadCase{"bmp8_grey", Format::bmp, "a.bmp", "-pix_fmt gray", 8, 0},
                      LoadCase{"bmp1", Format::bmp, "a.bmp", "-pix_fmt monob", 8, 0, 0, 1},
                      LoadCase{"pcx24", Format::pcx, "a.pcx", "-pix_fmt rgb24", 24, 0},
                      LoadCase{"pcx8", Format::pcx, "a.pcx", "-pix_fmt pal8", 8, 0},
                      LoadCase{"pcx1", Format::pcx, "a.pcx", "-pix_fmt monob", 8, 0, 0, 1},
                      LoadCase{"png24", Format::png, "a.png", "-pix_fmt rgb24", 24, 0},
                      LoadCase{"png32", Format::png, "a.png", "-pix_fmt rgba", 32, 0},
                      LoadCase{"png48", Format::png, "a.png", "-pix_fmt rgb48be", 24, 1},
                      LoadCase{"png8", Format::png, "a.png", "-pix_fmt pal8", 8, 0},
                      LoadCase{"png_grey", Format::png, "a.png", "-pix_fmt gray", 8, 0},
                      LoadCase{"png1", Format::png, "a.png", "-pix_fmt monob", 8, 0, 0, 1},
                      LoadCase{"tga24_rle", Format::tga, "a.tga", "-pix_fmt bgr24", 24, 0},
                      LoadCase{"tga24_raw", Format::tga, "a.tga", "-pix_fmt bgr24 -rle 0", 24, 0},
                      LoadCase{"tga32", Format::tga, "a.tga", "-pix_fmt bgra", 32, 0},
                      LoadCase{"tga16", Format::tga, "a.tga", "-pix_fmt rgb555le -rle 0", 16, 0},
                      LoadCase{"tga8_mapped", Format::tga, "a.tga", "-pix_fmt pal8", 8, 0},
                      LoadCase{"tga8_grey", Format::tga, "a.tga", "-pix_fmt gray -rle 0", 8, 0},
                      LoadCase{"tif24", Format::tif, "a.tif", "-pix_fmt rgb24 -compression_algo raw", 24, 0},
                      LoadCase{"tif24_lzw", Format::tif, "a.tif", "-pix_fmt rgb24 -compression_algo lzw", 24, 0},
                      LoadCase{"tif32", Format::tif, "a.tif", "-pix_fmt rgba -compression_algo deflate", 32, 0},
                      LoadCase{"tif8", Format::tif, "a.tif", "-pix_fmt pal8 -compression_algo packbits", 8, 0},
                      LoadCase{"tif_grey", Format::tif, "a.tif", "-pix_fmt gray", 8, 0},
                      LoadCase{"tif1", Format::tif, "a.tif", "-pix_fmt monob", 8, 0, 0, 1},
                      LoadCase{"gif", Format::gif, "a.gif", "-pix_fmt rgb8", 8, 0},
                      LoadCase{"jpeg", Format::jpeg, "a.jpg", "-pix_fmt yuvj444p -q:v 2", 24, 0, 50}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(StillInfo, TifReportsItsCompressionCode) {
  vex::testkit::TempDir dir;
  const std::string file = dir.file("a.tif");
  for (const auto &[algo, code] : {std::pair{"raw", 1}, std::pair{"lzw", kTifLzw}, std::pair{"packbits", 32773}}) {
    ffmpeg("-f lavfi -i testsrc=size=16x16 -frames:v 1 -update 1 -pix_fmt rgb24 -compression_algo " +
           std::string(algo) + " " + file);
    Info info{};
    ASSERT_EQ(StillInfo(Format::tif, source_of(file), &info), 0);
    EXPECT_EQ(info.compression, code) << algo;
  }
}

// Four-bit bitmaps, plain and RLE4, built by hand: two rows of five
// pixels, indices 0..4 in the bottom row and 4..0 in the top row.
std::vector<uint8_t> bmp4(bool rle) {
  std::vector<uint8_t> f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i)
      f.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put32(40);
  put32(5);
  put32(2);
  f.insert(f.end(), {1, 0, 4, 0});
  put32(rle ? 2 : 0);
  for (int i = 0; i < 5; ++i)
    put32(0);
  for (uint8_t i = 0; i < 16; ++i) // colour i = (blue 16i, green 100, red 255 - i)
    f.insert(f.end(), {static_cast<uint8_t>(16 * i), 100, static_cast<uint8_t>(255 - i), 0});
  const uint32_t offset = static_cast<uint32_t>(f.size());
  if (rle)
    f.insert(f.end(), {0, 5, 0x01, 0x23, 0x40, 0, 0, 0, // literal 0 1 2 3 4, padded to 16 bits; end of row
                       2, 0x43, 2, 0x21, 1, 0x00, 0, 1}); // runs 4 3 | 2 1 | 0; end of picture
  else
    f.insert(f.end(), {0x01, 0x23, 0x40, 0, 0x43, 0x21, 0x00, 0});
  for (int i = 0; i < 4; ++i)
    f[10 + i] = static_cast<uint8_t>(offset >> (8 * i));
  return f;
}

TEST(StillLoad, FourBitBitmapsPlainAndRle4) {
  vex::testkit::TempDir dir;
  for (bool rle : {false, true}) {
    const std::string file = dir.file("f.bmp");
    const auto bytes = bmp4(rle);
    FILE *fp = std::fopen(file.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), fp);
    std::fclose(fp);
    Info info{};
    ASSERT_EQ(StillInfo(Format::bmp, source_of(file), &info), 0);
    EXPECT_EQ(info.bits, 4);
    Image im{};
    ASSERT_EQ(StillAlloc(&im, 6, 2, 8), 0);
    ASSERT_EQ(StillLoad(Format::bmp, source_of(file), &im), 0) << rle;
    const uint8_t *bottom = im.pixels, *top = im.pixels + im.pitch;
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(bottom[x], x) << rle;
      EXPECT_EQ(top[x], 4 - x) << rle;
    }
    EXPECT_EQ(im.colors[3 * 4 + 0], 48);
    EXPECT_EQ(im.colors[3 * 4 + 2], 252);
    StillFree(&im);
    // Held at 4 bits: two per byte, the left pixel in the low nibble.
    ASSERT_EQ(StillAlloc(&im, 6, 2, 4), 0);
    ASSERT_EQ(StillLoad(Format::bmp, source_of(file), &im), 0);
    EXPECT_EQ(im.pixels[0], 0x10);
    EXPECT_EQ(im.pixels[1], 0x32);
    EXPECT_EQ(im.pixels[2] & 15, 4);
    EXPECT_EQ(im.pixels[im.pitch], 0x34);
    StillFree(&im);
  }
}

TEST(StillAlloc, PitchAndRefusals) {
  Image im{};
  ASSERT_EQ(StillAlloc(&im, 62, 5, 24), 0);
  EXPECT_EQ(im.pitch, 188); // 186 rounded up to a multiple of 4
  EXPECT_EQ(im.size, 188u * 5);
  EXPECT_NE(im.colors, nullptr);
  StillFree(&im);
  ASSERT_EQ(StillAlloc(&im, 62, 5, 8), 0);
  EXPECT_EQ(im.pitch, 64);
  StillFree(&im);
  EXPECT_NE(StillAlloc(&im, 0, 5, 8), 0);
  EXPECT_NE(StillAlloc(&im, 100000, 5, 8), 0);
  EXPECT_NE(StillAlloc(&im, 5, 5, 7), 0);
  EXPECT_EQ(im.pixels, nullptr);
  StillFree(&im); // an empty descriptor may be freed
}

TEST(StillLoad, ColoursDoNotFitAnIndexedOrSmallerImage) {
  vex::testkit::TempDir dir;
  const std::string file = dir.file("a.png");
  ffmpeg("-f lavfi -i testsrc=size=61x37 -frames:v 1 -update 1 -pix_fmt rgb24 " + file);
  Image im{};
  ASSERT_EQ(StillAlloc(&im, 62, 37, 8), 0);
  EXPECT_NE(StillLoad(Format::png, source_of(file), &im), 0);
  StillFree(&im);
  ASSERT_EQ(StillAlloc(&im, 60, 37, 24), 0);
  EXPECT_NE(StillLoad(Format::png, source_of(file), &im), 0);
  StillFree(&im);
}

// A comment segment longer than the chunks a file is read in is skipped
// over, not read (it is full of end-of-picture markers, which a reader
// that landed inside would stop at): from a file and from memory the
// picture is the one without the comment, and cut short inside the
// comment it is refused.
TEST(StillLoad, JpegSkipsALongCommentFromFileAndMemory) {
  vex::testkit::TempDir dir;
  const std::string plain = dir.file("a.jpg"), commented = dir.file("c.jpg");
  ffmpeg("-f lavfi -i testsrc=size=61x37 -frames:v 1 -update 1 -pix_fmt yuvj420p " + plain);
  std::vector<uint8_t> bytes = vex::testkit::read_file(plain);
  std::vector<uint8_t> comment = {0xFF, 0xFE, 0xEA, 0x60}; // 60000 bytes with the length
  for (size_t i = 2; i < 60000; i += 2)
    comment.insert(comment.end(), {0xFF, 0xD9});
  bytes.insert(bytes.begin() + 2, comment.begin(), comment.end()); // behind the start marker
  vex::testkit::write_file(commented, bytes);
  Info info{};
  ASSERT_EQ(StillInfo(Format::jpeg, source_of(plain), &info), 0);
  Image im{};
  ASSERT_EQ(StillAlloc(&im, kW + 1, kH, info.bits), 0);
  ASSERT_EQ(StillLoad(Format::jpeg, source_of(plain), &im), 0);
  const std::vector<uint8_t> want = image_bytes(im);
  StillFree(&im);
  vex::file::ByteSource memory;
  memory.open(bytes);
  for (const auto &[how, source] : {std::pair{"file", source_of(commented)}, std::pair{"memory", memory}}) {
    SCOPED_TRACE(how);
    expect_same_read(Format::jpeg, source, info, want);
  }
  vex::file::ByteSource cut;
  cut.open(std::span<const uint8_t>(bytes.data(), 30000));
  EXPECT_EQ(StillInfo(Format::jpeg, cut, &info), kBadFile);
  EXPECT_NE(vex::util::last_status(), vex::util::Status::kOk);
}

} // namespace
