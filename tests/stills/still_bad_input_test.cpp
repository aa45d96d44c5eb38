// Damaged stills: truncation, impossible sizes, colour tables that claim
// more than they hold, run-length data that overruns. Every call fails
// with a non-zero result, touches nothing outside its buffers (ASan) and
// prints nothing: the libraries' error handlers are caught.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <span>
#include <map>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "stills/still_codec.h"
#include "stills/still_image.h"
#include "testkit/util/wav_file.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"
#include "util/bytes.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace {

using namespace vex::stills;

using vex::testkit::source_of;
using vex::testkit::write_file;

// Info and load of a source; non-zero when either fails.
int32_t info_and_load(Format fmt, const vex::file::ByteSource &source) {
  Info info{};
  if (const int32_t r = StillInfo(fmt, source, &info))
    return r;
  Image im{};
  if (StillAlloc(&im, info.width + 1, info.height, info.bits))
    return kNoMemory;
  const int32_t r = StillLoad(fmt, source, &im);
  StillFree(&im);
  return r;
}

int32_t info_and_load(Format fmt, const std::string &name) { return info_and_load(fmt, source_of(name)); }

struct Sample {
  const char *name;
  Format format;
  const char *file;
  const char *options;
};

class DamagedStills : public ::testing::TestWithParam<Sample> {};

// Cut short in memory, and in a file behind a few junk bytes (read from
// the slice after them), at every cut the picture is refused with a reason.
TEST_P(DamagedStills, TruncatedSourcesFailQuietly) {
  const Sample &s = GetParam();
  vex::testkit::TempDir dir;
  const std::string good = dir.file(s.file), cut = dir.file(std::string("cut_") + s.file);
  vex::testkit::ffmpeg("-f lavfi -i testsrc=size=40x30 -frames:v 1 -update 1 " + std::string(s.options) + " " + good);
  const std::vector<uint8_t> bytes = vex::testkit::read_file(good);
  ASSERT_EQ(info_and_load(s.format, good), 0);
  const std::vector<uint8_t> junk = {'j', 'u', 'n', 'k', 0, 0xFF, 7};
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (size_t keep : {size_t{0}, size_t{3}, size_t{17}, bytes.size() / 4, bytes.size() / 2, bytes.size() * 9 / 10}) {
    const std::span<const uint8_t> head(bytes.data(), keep);
    vex::file::ByteSource memory;
    memory.open(head);
    std::vector<uint8_t> behind = junk;
    behind.insert(behind.end(), head.begin(), head.end());
    write_file(cut, behind);
    const std::pair<const char *, vex::file::ByteSource> sources[] = {{"memory", memory},
                                                                      {"slice", source_of(cut).slice(junk.size())}};
    for (const auto &[how, source] : sources) {
      EXPECT_NE(info_and_load(s.format, source), 0) << how << ", kept " << keep << " of " << bytes.size();
      EXPECT_NE(vex::util::last_status(), vex::util::Status::kOk) << how << ", kept " << keep;
      EXPECT_STRNE(VEXLastError(), "") << how << ", kept " << keep;
    }
  }
  // Another format's file is refused as well.
  EXPECT_NE(info_and_load(s.format == Format::png ? Format::gif : Format::png, good), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedStills,
                         ::testing::Values(Sample{"bmp", Format::bmp, "a.bmp", "-pix_fmt bgr24"},
                                           Sample{"bmp8", Format::bmp, "a.bmp", "-pix_fmt pal8"},
                                           Sample{"pcx", Format::pcx, "a.pcx", "-pix_fmt rgb24"},
                                           Sample{"tga", Format::tga, "a.tga", "-pix_fmt bgr24"},
                                           Sample{"png", Format::png, "a.png", "-pix_fmt rgb24"},
                                           Sample{"jpeg", Format::jpeg, "a.jpg", "-pix_fmt yuvj420p"},
                                           Sample{"tif", Format::tif, "a.tif", "-pix_fmt rgb24 -compression_algo lzw"},
                                           Sample{"tif_rgba", Format::tif, "a.tif", "-pix_fmt rgba -compression_algo deflate"},
                                           Sample{"tif_rgba64", Format::tif, "a.tif", "-pix_fmt rgba64le -compression_algo raw"},
                                           Sample{"gif", Format::gif, "a.gif", "-pix_fmt rgb8"}),
                         [](const auto &info) { return std::string(info.param.name); });

// A minimal 8-bit bitmap of w x h with `colours` table entries claimed.
std::vector<uint8_t> bmp8(int32_t w, int32_t h, uint32_t compression, uint32_t colours, size_t table_bytes,
                          const std::vector<uint8_t> &data) {
  std::vector<uint8_t> f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0};
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i)
      f.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put32(static_cast<uint32_t>(54 + table_bytes));
  put32(40);
  put32(static_cast<uint32_t>(w));
  put32(static_cast<uint32_t>(h));
  f.insert(f.end(), {1, 0, 8, 0});
  put32(compression);
  put32(0);
  put32(0);
  put32(0);
  put32(colours);
  put32(0);
  f.resize(f.size() + table_bytes, 0x40);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

// A hand-made file and what must become of it: info fails already, the
// load fails, or (the well-formed cases around them) info and load succeed.
enum class Fate { info_fails, load_fails, loads };
struct Made {
  const char *what;
  std::vector<uint8_t> bytes;
  Fate fate;
};

void expect_fates(Format format, const char *file, const std::vector<Made> &cases) {
  vex::testkit::TempDir dir;
  const std::string name = dir.file(file);
  for (const Made &c : cases) {
    write_file(name, c.bytes);
    Info info{};
    if (c.fate == Fate::info_fails)
      EXPECT_NE(StillInfo(format, source_of(name), &info), 0) << c.what;
    else
      EXPECT_EQ(info_and_load(format, name) == 0, c.fate == Fate::loads) << c.what;
  }
}

TEST(DamagedBmp, SizesTablesAndRunsAreChecked) {
  const std::vector<uint8_t> rows(8 * 2, 1);
  expect_fates(Format::bmp, "x.bmp",
               {{"the well-formed base case", bmp8(8, 2, 0, 4, 16, rows), Fate::loads},
                {"0 x 2", bmp8(0, 2, 0, 4, 16, rows), Fate::info_fails},
                {"8 x 0", bmp8(8, 0, 0, 4, 16, rows), Fate::info_fails},
                {"100000 x 2", bmp8(100000, 2, 0, 4, 16, rows), Fate::info_fails},
                {"8 x 100000", bmp8(8, 100000, 0, 4, 16, rows), Fate::info_fails},
                {"more than 256 entries", bmp8(8, 2, 0, 300, 1200, rows), Fate::load_fails},
                {"a table longer than the file", bmp8(8, 2, 0, 200, 16, {}), Fate::load_fails},
                {"a run of 9 in a row of 8", bmp8(8, 2, 1, 4, 16, {9, 1, 0, 1}), Fate::load_fails},
                {"a third row", bmp8(8, 2, 1, 4, 16, {0, 0, 0, 0, 0, 0, 8, 1, 0, 1}), Fate::load_fails},
                {"literal run past the data", bmp8(8, 2, 1, 4, 16, {0, 12, 1, 2}), Fate::load_fails},
                {"RLE8 done right", bmp8(8, 2, 1, 4, 16, {8, 1, 0, 0, 8, 2, 0, 1}), Fate::loads}});
}

// A 2177 x 6 BMP of every header size, depth, coding and row order, with
// rows of varied values (runs and literals for RLE). The still-image fuzz
// target once met shapes of this size that took 0.2 s each in this build
// (21-55 s under the fuzzer): each must now load in CPU time near what its
// 13,062 pixels need, a few milliseconds (50 ms allowed, 500 under the
// sanitizers' instrumentation), whether it loads or is refused.
TEST(BmpShapes, AWidePictureLoadsFastInEveryLayout) {
#if defined(__SANITIZE_ADDRESS__)
  constexpr double kLimit = 0.5;
#else
  constexpr double kLimit = 0.05;
#endif
  constexpr int32_t kW = 2177, kH = 6;
  uint32_t seed = 1;
  const auto next = [&seed] { return static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16); };
  int shapes = 0, loaded = 0;
  for (uint32_t header : {12u, 40u, 52u, 56u, 108u, 124u})
    for (uint16_t bits : {1, 2, 4, 8, 16, 24, 32})
      for (uint32_t coding : {0u, 1u, 2u, 3u})
        for (bool top_down : {false, true}) {
          if (header == 12 && (coding != 0 || top_down))
            continue; // the core header has neither
          std::vector<uint8_t> data;
          if (coding == 1 || coding == 2) { // per row: a run of 200, a literal of 100, ...; then end of picture
            for (int32_t y = 0; y < kH; ++y) {
              for (int32_t x = 0; x + 300 <= kW; x += 300) {
                data.insert(data.end(), {200, next(), 0, 100});
                for (int i = 0; i < (coding == 1 ? 100 : 50); ++i)
                  data.push_back(next());
              }
              data.insert(data.end(), {0, 0});
            }
            data.insert(data.end(), {0, 1});
          } else {
            data.resize(size_t((kW * bits + 31) / 32 * 4) * kH);
            for (uint8_t &b : data)
              b = next();
          }
          const uint32_t colours = bits <= 8 ? 1u << bits : 0, entry = header == 12 ? 3 : 4;
          const uint32_t masks = coding == 3 && header < 56 ? 12 : 0;
          const uint32_t offset = 14 + header + masks + colours * entry;
          std::vector<uint8_t> f(offset, 0);
          f[0] = 'B', f[1] = 'M';
          vex::util::put_le32(&f[2], offset + static_cast<uint32_t>(data.size()));
          vex::util::put_le32(&f[10], offset);
          vex::util::put_le32(&f[14], header);
          if (header == 12) {
            vex::util::put_le16(&f[18], kW), vex::util::put_le16(&f[20], kH);
            vex::util::put_le16(&f[22], 1), vex::util::put_le16(&f[24], bits);
          } else {
            vex::util::put_le32(&f[18], kW), vex::util::put_le32(&f[22], uint32_t(top_down ? -kH : kH));
            vex::util::put_le16(&f[26], 1), vex::util::put_le16(&f[28], bits);
            vex::util::put_le32(&f[30], coding);
            vex::util::put_le32(&f[46], colours);
            // Bit fields: 5-6-5 or 10-10-10 (and 2 bits of alpha where the header has room).
            const uint32_t m[4] = {bits == 16 ? 0xF800u : 0x3FF00000u, bits == 16 ? 0x07E0u : 0x000FFC00u,
                                   bits == 16 ? 0x001Fu : 0x000003FFu, bits == 16 ? 0u : 0xC0000000u};
            for (uint32_t i = 0; i < 4 && coding == 3; ++i)
              if (58 + 4 * i <= offset)
                vex::util::put_le32(&f[54 + 4 * i], m[i]);
          }
          for (uint32_t i = 0; i < colours * entry; ++i)
            f[14 + header + masks + i] = next();
          f.insert(f.end(), data.begin(), data.end());
          vex::file::ByteSource source;
          source.open(std::span<const uint8_t>(f));
          const std::clock_t start = std::clock();
          loaded += info_and_load(Format::bmp, source) == 0;
          const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
          ++shapes;
          EXPECT_LT(seconds, kLimit) << "header " << header << ", " << bits << " bits, coding " << coding
                                     << (top_down ? ", top down" : "");
        }
  // Every depth and coding the reader takes is among them.
  EXPECT_EQ(shapes, 7 * 1 + 5 * 7 * 4 * 2);
  EXPECT_EQ(loaded, 7 + 5 * (7 * 2 + 1 + 1 + 2 * 2)) << "of " << shapes;
}

// 4 x 2, colour-mapped RLE, a map of 24 bits.
std::vector<uint8_t> tga8(uint16_t map_length, const std::vector<uint8_t> &data, uint8_t width = 4) {
  std::vector<uint8_t> f = {
      0, 1, 9, 0, 0, static_cast<uint8_t>(map_length), static_cast<uint8_t>(map_length >> 8), 24, 0, 0, 0, 0, width,
      0, 2, 0, 8, 0};
  f.resize(f.size() + 2 * 3, 0x7F);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

TEST(DamagedTga, MapsAndRunsAreChecked) {
  expect_fates(Format::tga, "x.tga",
               {{"one run of 8 pixels", tga8(2, {0x87, 1}), Fate::loads},
                {"a run of 9 past the picture", tga8(2, {0x88, 1}), Fate::load_fails},
                {"four literal pixels promised, three there", tga8(2, {0x03, 1, 1, 1}), Fate::load_fails},
                {"a map longer than the file and than 256", tga8(300, {0x87, 1}), Fate::load_fails},
                {"width 0", tga8(2, {0x87, 1}, 0), Fate::info_fails}});
}

// 4 x 1 pixels of 8 bits in one plane, then `data`; x_max 3 unless given.
std::vector<uint8_t> pcx8(const std::vector<uint8_t> &data, uint8_t x_min = 0) {
  std::vector<uint8_t> f(128, 0);
  f[0] = 0x0A;
  f[1] = 5;
  f[2] = 1;
  f[3] = 8;
  f[4] = x_min;
  f[8] = 3;
  f[65] = 1;
  f[66] = 4;
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

TEST(DamagedPcx, RunsPastThePictureFail) {
  expect_fates(Format::pcx, "x.pcx",
               {{"one run of four", pcx8({0xC4, 9}), Fate::loads},
                {"x from 5 to 3", pcx8({0xC4, 9}, 5), Fate::info_fails},
                {"five bytes into a picture of four", pcx8({0xC5, 9}), Fate::load_fails}});
}

// The result codes leave a reason of the matching kind; a success none.
TEST(StillReasons, MissingJunkAndGoodFiles) {
  using vex::util::Status;
  vex::testkit::TempDir dir;
  Info info{};
  EXPECT_EQ(StillInfo(Format::bmp, source_of(dir.file("absent.bmp")), &info), kNoFile);
  EXPECT_EQ(vex::util::last_status(), Status::kNoFile);
  EXPECT_STREQ(VEXLastError(), "no such file");
  Image im{};
  ASSERT_EQ(StillAlloc(&im, 4, 4, 8), 0);
  vex::util::clear_reason();
  EXPECT_EQ(StillLoad(Format::png, vex::file::ByteSource{}, &im), kNoFile); // never opened
  EXPECT_EQ(vex::util::last_status(), Status::kInvalidArgument);
  StillFree(&im);
  {
    std::FILE *f = std::fopen(dir.file("junk.bmp").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("this is not a picture at all, only some words", f);
    std::fclose(f);
  }
  for (const Format format : {Format::bmp, Format::pcx, Format::tga, Format::png, Format::gif}) {
    EXPECT_NE(StillInfo(format, source_of(dir.file("junk.bmp")), &info), 0);
    EXPECT_EQ(vex::util::last_status(), Status::kNotThisFormat) << VEXLastError();
  }
  EXPECT_STREQ(VEXLastError(), "not a GIF file, or a damaged one");
  vex::testkit::ffmpeg("-f lavfi -i testsrc=size=16x8 -frames:v 1 -update 1 -pix_fmt bgr24 " + dir.file("good.bmp"));
  EXPECT_EQ(StillInfo(Format::bmp, source_of(dir.file("good.bmp")), &info), 0);
  EXPECT_EQ(vex::util::last_status(), Status::kOk);
  EXPECT_STREQ(VEXLastError(), "");
}

// The information of a BMP, PCX or TGA file is read from its first 128
// bytes only. The result, the kind of reason and its text are the codec's
// on the whole file, around that length and beyond it, a BMP header that
// claims more than 128 bytes included.
TEST(StillReasons, FirstBytesJudgeAsTheWholeFileWould) {
  vex::testkit::TempDir dir;
  using Decode = int32_t (*)(std::span<const uint8_t>, uint64_t, Picture &, bool);
  const struct {
    Format format;
    const char *name;
    Decode decode;
    std::vector<uint8_t> head;
  } kinds[] = {
      {Format::bmp, "BMP", decode_bmp, {'B', 'M'}},
      // 4 x 4 at 24 bits, uncompressed, behind a header of 300 bytes
      {Format::bmp, "BMP 300", decode_bmp, {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x2C, 1, 0, 0,
                                            4, 0, 0, 0, 4, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0}},
      {Format::pcx, "PCX", decode_pcx, {0x0A, 5, 1, 8}},
      {Format::tga, "TGA", decode_tga, {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0x10, 0, 24, 0}},
  };
  std::map<std::string, int> taken; // by kind: the well-formed heads must be taken somewhere
  uint32_t seed = 7;
  for (const auto &k : kinds)
    for (const size_t size : {size_t{100}, size_t{128}, size_t{129}, size_t{4000}})
      for (const bool looks_like_it : {false, true}) {
        std::vector<uint8_t> bytes(size);
        for (auto &b : bytes)
          b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
        bytes[0] = 0x55; // none of the three begins so
        if (looks_like_it)
          std::copy(k.head.begin(), k.head.end(), bytes.begin());
        const std::string name = dir.file("f.bin");
        write_file(name, bytes);
        Picture whole;
        const int32_t want = k.decode(bytes, bytes.size(), whole, true);
        taken[k.name] += want == 0;
        const auto want_status = vex::util::last_status();
        const std::string want_reason = VEXLastError();
        Info info{};
        const int32_t got = StillInfo(k.format, source_of(name), &info);
        SCOPED_TRACE(std::string(k.name) + ", " + std::to_string(size) + " bytes" +
                     (looks_like_it ? ", format's first bytes" : ""));
        EXPECT_EQ(got != 0, want != 0);
        if (want != 0) {
          EXPECT_EQ(vex::util::last_status(), want_status);
          if (want_status == vex::util::Status::kNotThisFormat) {
            EXPECT_EQ(std::string(VEXLastError()), want_reason);
          }
        }
      }
  EXPECT_GT(taken["BMP 300"], 0);
  EXPECT_GT(taken["TGA"], 0);
}

} // namespace
