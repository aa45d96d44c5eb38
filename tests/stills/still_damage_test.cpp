// Damaged stills where only the codec layer shows it (the graphics
// source's rows are in tests/gfile/bad_inputs/still_rows.cpp): cut short
// in memory and in a slice of a file behind junk, at every cut the picture
// is refused with a reason and nothing is printed (the libraries' error
// handlers are caught); the information read from the first 128 bytes
// judges as the whole file would; and wide bitmaps of every layout load
// fast, whether they load or are refused.
#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "stills/still_codec.h"
#include "testkit/stills/still_load.h"
#include "testkit/stills/still_files.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/bad_input_rows.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace {

using namespace stills_test;
using namespace vex::testkit;

struct Sample {
  const char *name;
  Format format;
  const char *file;
  const char *options;
};

class DamagedStills : public ::testing::TestWithParam<Sample> {};

TEST_P(DamagedStills, TruncatedSourcesFailQuietlyWithAReason) {
  const Sample &s = GetParam();
  TempDir dir;
  const std::string good = dir.file(s.file), cut = dir.file(std::string("cut_") + s.file);
  ffmpeg("-f lavfi -i testsrc=size=40x30 -frames:v 1 -update 1 " + std::string(s.options) + " " + good);
  const std::vector<uint8_t> bytes = read_file(good);
  ASSERT_EQ(info_and_load(s.format, source_of(good)), 0);
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
      SCOPED_TRACE(std::string(how) + ", kept " + std::to_string(keep) + " of " + std::to_string(bytes.size()));
      EXPECT_NE(info_and_load(s.format, source), 0);
      EXPECT_NE(vex::util::last_status(), vex::util::Status::kOk);
      EXPECT_STRNE(VEXLastError(), "");
    }
  }
  // Another format's file is refused as well.
  EXPECT_NE(info_and_load(s.format == Format::png ? Format::gif : Format::png, source_of(good)), 0);
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

// The information of a BMP, PCX or TGA file is read from its first 128
// bytes only. The result, the kind of reason and its text are the codec's
// on the whole file, around that length and beyond it, a BMP header that
// claims more than 128 bytes included. A source never opened is no file.
TEST(StillReasons, FirstBytesJudgeAsTheWholeFileWould) {
  TempDir dir;
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
        EXPECT_EQ(want != 0 ? vex::util::last_status() : want_status, want_status);
        EXPECT_EQ(want != 0 && want_status == vex::util::Status::kNotThisFormat ? VEXLastError() : want_reason,
                  want_reason);
      }
  EXPECT_GT(taken["BMP 300"], 0);
  EXPECT_GT(taken["TGA"], 0);
  Held im;
  ASSERT_EQ(StillAlloc(&im, 4, 4, 8), 0);
  vex::util::clear_reason();
  EXPECT_EQ(StillLoad(Format::png, vex::file::ByteSource{}, &im), kNoFile);
  EXPECT_EQ(vex::util::last_status(), vex::util::Status::kInvalidArgument);
  // A missing file, junk to every format, and a good file, which clears the reason.
  using vex::util::Status;
  Info info{};
  EXPECT_EQ(StillInfo(Format::bmp, source_of(dir.file("absent.bmp")), &info), kNoFile);
  EXPECT_EQ(std::tuple(vex::util::last_status(), std::string(VEXLastError())), std::tuple(Status::kNoFile, "no such file"));
  write_file(dir.file("junk"), std::vector<uint8_t>(45, 'j'));
  for (const Format format : {Format::bmp, Format::pcx, Format::tga, Format::png, Format::gif}) {
    EXPECT_NE(StillInfo(format, source_of(dir.file("junk")), &info), 0);
    EXPECT_EQ(vex::util::last_status(), Status::kNotThisFormat) << VEXLastError();
  }
  EXPECT_STREQ(VEXLastError(), "not a GIF file, or a damaged one");
  write_file(dir.file("good.bmp"), bmp4_file(false));
  EXPECT_EQ(StillInfo(Format::bmp, source_of(dir.file("good.bmp")), &info), 0);
  EXPECT_EQ(std::tuple(vex::util::last_status(), std::string(VEXLastError())), std::tuple(Status::kOk, ""));
}

// A 2177 x 6 BMP of every header size, depth, coding and row order. The
// still-image fuzz target once met shapes of this size that took 0.2 s
// each in this build (21-55 s under the fuzzer): each must now load in CPU
// time near what its 13,062 pixels need, a few milliseconds (50 ms
// allowed, 500 under the sanitizers' instrumentation), whether it loads or
// is refused; and just the layouts the reader takes load.
TEST(BmpShapes, AWidePictureLoadsFastInEveryLayout) {
#if defined(__SANITIZE_ADDRESS__)
  constexpr double kLimit = 0.5;
#else
  constexpr double kLimit = 0.05;
#endif
  uint32_t seed = 1;
  int loaded = 0;
  for (uint32_t header : {12u, 40u, 52u, 56u, 108u, 124u})
    for (uint16_t bits : {1, 2, 4, 8, 16, 24, 32})
      for (uint32_t coding : {0u, 1u, 2u, 3u})
        for (bool top_down : {false, true}) {
          if (header == 12 && (coding != 0 || top_down))
            continue; // the core header has neither
          const std::vector<uint8_t> f = bmp_shape_file(2177, 6, header, bits, coding, top_down, seed);
          vex::file::ByteSource source;
          source.open(std::span<const uint8_t>(f));
          const std::clock_t start = std::clock();
          loaded += info_and_load(Format::bmp, source) == 0;
          EXPECT_LT(double(std::clock() - start) / CLOCKS_PER_SEC, kLimit)
              << "header " << header << ", " << bits << " bits, coding " << coding << (top_down ? ", top down" : "");
        }
  // Every depth of the core header; with the others, every depth plain in
  // both row orders, RLE8 at 8 bits and RLE4 at 4 bottom-up, bit fields at
  // 16 and 32 in both row orders.
  EXPECT_EQ(loaded, 7 + 5 * (7 * 2 + 1 + 1 + 2 * 2));
}

// The hand-made damaged stills of the graphics source's rows are refused
// by the codecs from memory as well; their well-formed neighbours load:
// their damage, not their build, is refused.
TEST(HandMade, DamagedRowsFailAndWellFormedNeighboursLoad) {
  const std::map<std::string, Format> formats = {{"bmp", Format::bmp}, {"tga", Format::tga}, {"pcx", Format::pcx}};
  std::vector<std::tuple<std::string, std::vector<uint8_t>, bool>> files = {
      {"a.bmp", bmp8_file(8, 2, 0, 4, 16, std::vector<uint8_t>(16, 1)), true},
      {"rle8.bmp", bmp8_file(8, 2, 1, 4, 16, {8, 1, 0, 0, 8, 2, 0, 1}), true}, // RLE8 done right
      {"a.tga", tga8_file(2, {0x87, 1}), true},                                // one run of 8 pixels
      {"a.pcx", pcx8_file({0xC4, 9}), true}};                                  // one run of four
  for (const bad_input::BadInput &row : bad_input::still_bad_inputs())
    files.emplace_back(row.file, row.bytes, false);
  for (const auto &[name, bytes, loads] : files) {
    vex::file::ByteSource source;
    source.open(bytes);
    EXPECT_EQ(info_and_load(formats.at(name.substr(name.size() - 3)), source) == 0, loads) << name;
  }
}

} // namespace
