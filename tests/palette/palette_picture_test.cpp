// Real pictures through the library's palette building and the plain
// reference: the same palettes, bit for bit. The ffmpeg tool's test
// sources are always there; the photos and the movie are used when their
// Debian packages are installed (python3-skimage, python3-imageio) and the
// tests say so when they are not.
#include <gtest/gtest.h>

#include <cstdlib>

#include "testkit/gfile/picture_set.h"
#include "testkit/palette/library_build.h"
#include "testkit/palette/palette_reference.h"
#include "testkit/palette/palette_samples.h"
#include "testkit/util/picture_compare.h"

namespace vex::palette {
namespace {

using testkit::Picture;

constexpr bool kSanitized = test::kSanitized;

// Builds the palette of one picture both ways, starting from `palette`
// with the previous frame's usage, and checks they agree; returns the new
// palette.
std::vector<uint8_t> build_both(const Picture &p, const std::vector<uint8_t> &palette, const UsageCounts &usage,
                                int32_t option) {
  SCOPED_TRACE(p.name);
  const auto h = testkit::picture_histogram(p);
  const test::LibraryBuilt ours = test::library_build(h, 0, 256, option, usage, palette);
  EXPECT_EQ(ours.status, util::Status::kOk);
  const testref::Built want =
      testref::build(h, 0, 256, option, std::vector<uint32_t>(usage.begin(), usage.end()), palette, {});
  EXPECT_EQ(ours.palette, want.palette);
  EXPECT_EQ(ours.outcome.colours, want.colours);
  // The palette is a palette of the picture: mapped through it, the
  // picture keeps most of its likeness.
  const auto mapped =
      testkit::indices_to_rgb(testkit::map_to_palette(p, ours.palette.data(), 256), ours.palette.data());
  EXPECT_GT(testkit::psnr(p.rgb, mapped), 22.0);
  return ours.palette;
}

UsageCounts usage_of(const Picture &p, const std::vector<uint8_t> &palette) {
  const auto indices = testkit::map_to_palette(p, palette.data(), 256);
  return count_usage(indices, p.width, p.width, p.height, 0, 0, 0, 0);
}

TEST(PalettePictures, TestSourceFramesMatchTheReference) {
  const std::vector<std::string> sources =
      kSanitized ? std::vector<std::string>{"testsrc2"}
                 : std::vector<std::string>{"testsrc2", "mandelbrot", "smptehdbars", "rgbtestsrc", "gradients"};
  std::vector<uint8_t> palette(kPaletteBytes, 0);
  UsageCounts usage{};
  for (const auto &s : sources) {
    const Picture p = testkit::test_source_frame(s, 320, 240);
    // Each frame starts from the previous one's palette and usage, as a
    // movie's palettes do.
    palette = build_both(p, palette, usage, 0);
    usage = usage_of(p, palette);
  }
}

// The photos and the movie frames, each where its package is installed.
TEST(PalettePictures, PhotosAndMovieFramesMatchTheReference) {
  const auto dir = testkit::photo_dir();
  const auto movie = testkit::movie_file();
  if (!dir && !movie)
    GTEST_SKIP() << "no photos and no movie: install Debian's python3-skimage and python3-imageio";
  // Three of the photos (the benchmark takes them all); VEXUTIL_ALL_PHOTOS=1
  // compares every one. Each photo starts from black.
  const size_t n = !dir ? 0 : kSanitized ? 1 : std::getenv("VEXUTIL_ALL_PHOTOS") ? testkit::photo_names().size() : 3;
  for (size_t i = 0; i < n; ++i)
    build_both(testkit::load_picture(*dir + "/" + testkit::photo_names()[i]), std::vector<uint8_t>(kPaletteBytes, 0),
               UsageCounts{}, i % 2 == 0 ? 2 : 0);
  std::vector<uint8_t> palette(kPaletteBytes, 0);
  UsageCounts usage{};
  for (const Picture &p : movie ? testkit::movie_frames(*movie, kSanitized ? 1 : 3, 90) : std::vector<Picture>{}) {
    palette = build_both(p, palette, usage, 0);
    usage = usage_of(p, palette);
  }
}

} // namespace
} // namespace vex::palette
