// Real pictures through the library's palette building and the plain
// reference: the same palettes, bit for bit. The ffmpeg tool's test
// sources are always there; the photos and the movie are used when their
// Debian packages are installed (python3-skimage, python3-imageio) and the
// tests say so when they are not.
#include <gtest/gtest.h>

#include <cstdlib>

#include "palette/palette_build.h"
#include "testkit/gfile/picture_set.h"
#include "testkit/util/picture_compare.h"
#include "testkit/palette/palette_reference.h"
#include "testkit/palette/palette_samples.h"

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
  std::vector<uint8_t> ours = palette;
  PaletteOutcome outcome;
  const PaletteRequest q{std::span<const uint32_t, kBucketCount>(h.data(), kBucketCount),
                         0,
                         256,
                         static_cast<SystemColours>(option),
                         &usage,
                         Palette(ours.data(), kPaletteBytes),
                         {}};
  EXPECT_EQ(build_palette(q, outcome), util::Status::kOk);
  const testref::Built want =
      testref::build(h, 0, 256, option, std::vector<uint32_t>(usage.begin(), usage.end()), palette, {});
  EXPECT_EQ(ours, want.palette);
  EXPECT_EQ(outcome.colours, want.colours);
  // The palette is a palette of the picture: mapped through it, the
  // picture keeps most of its likeness.
  const auto mapped = testkit::indices_to_rgb(testkit::map_to_palette(p, ours.data(), 256), ours.data());
  EXPECT_GT(testkit::psnr(p.rgb, mapped), 22.0);
  return ours;
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

TEST(PalettePictures, PhotosMatchTheReference) {
  const auto dir = testkit::photo_dir();
  if (!dir)
    GTEST_SKIP() << "no photos: install Debian's python3-skimage (or set VEXUTIL_PHOTO_DIR)";
  // Three of the photos (the benchmark takes them all); VEXUTIL_ALL_PHOTOS=1
  // compares every one.
  const size_t n = kSanitized ? 1 : std::getenv("VEXUTIL_ALL_PHOTOS") ? testkit::photo_names().size() : 3;
  for (size_t i = 0; i < n; ++i) {
    const Picture p = testkit::load_picture(*dir + "/" + testkit::photo_names()[i]);
    std::vector<uint8_t> palette(kPaletteBytes, 0);
    build_both(p, palette, UsageCounts{}, i % 2 == 0 ? 2 : 0);
  }
}

TEST(PalettePictures, MovieFramesMatchTheReference) {
  const auto movie = testkit::movie_file();
  if (!movie)
    GTEST_SKIP() << "no movie: install Debian's python3-imageio";
  const auto frames = testkit::movie_frames(*movie, kSanitized ? 1 : 3, 90);
  std::vector<uint8_t> palette(kPaletteBytes, 0);
  UsageCounts usage{};
  for (const Picture &p : frames) {
    palette = build_both(p, palette, usage, 0);
    usage = usage_of(p, palette);
  }
}

} // namespace
} // namespace vex::palette
