// Building a 256-colour palette from a real picture, against libimagequant
// (default speed, no dithering) on the same pictures in the same run, and
// the quality of the picture mapped to each palette (nearest colour, no
// dithering): PSNR over the RGB bytes and the mean OkLab distance (x 100).
// Our time counts the histogram of 32-bit pixels and the whole palette
// build; libimagequant's its image set-up and quantisation. The plain
// transcription of the reduction, as the tests keep it, is timed once per
// picture as the "before" of the fast version.
//
// The photos are the ones Debian's python3-skimage installs (or any folder
// named by VEXUTIL_PHOTO_DIR holding them); frames of the movie that
// python3-imageio installs are added when it is there.
#include <benchmark/benchmark.h>
#include <libimagequant.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "palette/palette_build.h"
#include "palette/palette_reduce.h"
#include "testkit/gfile/picture_set.h"
#include "testkit/util/picture_compare.h"
#include "testkit/palette/palette_reference.h"

namespace {

using namespace vex;
using testkit::Picture;

double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

struct Input {
  Picture picture;
  std::vector<uint8_t> bgrx; // what a graphics source hands over
  std::vector<uint8_t> rgba; // what libimagequant takes
};

std::vector<Input> &inputs() {
  static std::vector<Input> all;
  return all;
}

struct Figures {
  double ours_s = 0, liq_s = 0, plain_s = 0;
  double ours_psnr = 0, liq_psnr = 0, ours_ok = 0, liq_ok = 0;
  uint32_t colours = 0;
  double reduce_s = 0, place_s = 0;
};
std::map<std::string, Figures> &figures() {
  static std::map<std::string, Figures> m;
  return m;
}

// sRGB bytes to OkLab.
std::array<double, 3> oklab(const uint8_t *c) {
  double lin[3];
  for (int i = 0; i < 3; ++i) {
    const double v = c[i] / 255.0;
    lin[i] = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  }
  const double l = std::cbrt(0.4122214708 * lin[0] + 0.5363325363 * lin[1] + 0.0514459929 * lin[2]);
  const double m = std::cbrt(0.2119034982 * lin[0] + 0.6806995451 * lin[1] + 0.1073969566 * lin[2]);
  const double s = std::cbrt(0.0883024619 * lin[0] + 0.2817188376 * lin[1] + 0.6299787005 * lin[2]);
  return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
          1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
          0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

double mean_oklab_distance(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); i += 3) {
    const auto x = oklab(&a[i]), y = oklab(&b[i]);
    sum += std::sqrt((x[0] - y[0]) * (x[0] - y[0]) + (x[1] - y[1]) * (x[1] - y[1]) + (x[2] - y[2]) * (x[2] - y[2]));
  }
  return 100 * sum / static_cast<double>(a.size() / 3);
}

void quality(const Picture &p, const uint8_t *palette, double &psnr, double &ok) {
  const auto mapped = testkit::indices_to_rgb(testkit::map_to_palette(p, palette, 256), palette);
  psnr = testkit::psnr(p.rgb, mapped);
  ok = mean_oklab_distance(p.rgb, mapped);
}

// Ours: the histogram of the frame, then system colours off, all 256
// entries usable, no previous frame.
std::vector<uint8_t> our_palette(const Input &in) {
  auto h = palette::make_histogram();
  const palette::PixelWindow w{
      in.bgrx.data(), static_cast<ptrdiff_t>(in.picture.width) * 4, in.picture.width, in.picture.height, 32, nullptr};
  palette::count_window(palette::Histogram(h.data(), palette::kBucketCount), w);
  std::vector<uint8_t> palette(palette::kPaletteBytes, 0);
  palette::PaletteOutcome outcome;
  const palette::PaletteRequest q{std::span<const uint32_t, palette::kBucketCount>(h.data(), palette::kBucketCount),
                                0,
                                256,
                                palette::SystemColours::kNone,
                                nullptr,
                                palette::Palette(palette.data(), palette::kPaletteBytes),
                                {}};
  palette::build_palette(q, outcome);
  return palette;
}

struct Liq {
  liq_attr *attr = liq_attr_create();
  ~Liq() { liq_attr_destroy(attr); }
};

// libimagequant at its default speed; the result is kept for remapping.
liq_result *liq_quantise(Liq &liq, const Input &in, liq_image *&image) {
  image = liq_image_create_rgba(liq.attr, in.rgba.data(), static_cast<int>(in.picture.width),
                                static_cast<int>(in.picture.height), 0);
  liq_result *result = nullptr;
  if (liq_image_quantize(image, liq.attr, &result) != LIQ_OK)
    return nullptr;
  return result;
}

void BM_Ours(benchmark::State &state, size_t index) {
  const Input &in = inputs()[index];
  double seconds = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    const double t0 = thread_seconds();
    benchmark::DoNotOptimize(our_palette(in));
    seconds += thread_seconds() - t0;
    ++runs;
  }
  Figures &f = figures()[in.picture.name];
  f.ours_s = seconds / static_cast<double>(runs);
  quality(in.picture, our_palette(in).data(), f.ours_psnr, f.ours_ok);
}

void BM_Liq(benchmark::State &state, size_t index) {
  const Input &in = inputs()[index];
  Liq liq;
  double seconds = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    const double t0 = thread_seconds();
    liq_image *image = nullptr;
    liq_result *r = liq_quantise(liq, in, image);
    benchmark::DoNotOptimize(r);
    seconds += thread_seconds() - t0;
    ++runs;
    if (r != nullptr)
      liq_result_destroy(r);
    liq_image_destroy(image);
  }
  Figures &f = figures()[in.picture.name];
  f.liq_s = seconds / static_cast<double>(runs);
  // Its palette as it stands after its own remapping (which may refine
  // it), without dithering, then mapped by the same nearest search as ours.
  liq_image *image = nullptr;
  liq_result *r = liq_quantise(liq, in, image);
  if (r == nullptr) {
    state.SkipWithError("libimagequant failed");
    return;
  }
  liq_set_dithering_level(r, 0);
  std::vector<uint8_t> remapped(size_t{in.picture.width} * in.picture.height);
  liq_write_remapped_image(r, image, remapped.data(), remapped.size());
  const liq_palette *lp = liq_get_palette(r);
  std::vector<uint8_t> palette(palette::kPaletteBytes, 0);
  for (unsigned i = 0; i < lp->count && i < 256; ++i) {
    palette[i * 3] = lp->entries[i].r;
    palette[i * 3 + 1] = lp->entries[i].g;
    palette[i * 3 + 2] = lp->entries[i].b;
  }
  for (unsigned i = lp->count; i < 256; ++i) // unused entries repeat the first, adding nothing
    std::copy(palette.begin(), palette.begin() + 3, palette.begin() + i * 3);
  quality(in.picture, palette.data(), f.liq_psnr, f.liq_ok);
  liq_result_destroy(r);
  liq_image_destroy(image);
}

// The stages of ours apart, and the plain transcription once.
void BM_Stages(benchmark::State &state, size_t index) {
  const Input &in = inputs()[index];
  const auto h = testkit::picture_histogram(in.picture);
  const std::span<const uint32_t, palette::kBucketCount> hs(h.data(), palette::kBucketCount);
  Figures &f = figures()[in.picture.name];
  // The previous picture's palette and usage make the placement's work
  // realistic (entries in use, costs that differ).
  const Input &prev = inputs()[index == 0 ? inputs().size() - 1 : index - 1];
  const auto prev_palette = our_palette(prev);
  const auto indices = testkit::map_to_palette(prev.picture, prev_palette.data(), 256);
  const auto usage = palette::count_usage(indices, prev.picture.width, prev.picture.width,
                                        std::min(prev.picture.height, in.picture.height), 0, 0, 0, 0);
  double reduce_s = 0, place_s = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    double t0 = thread_seconds();
    const palette::Reduction r = palette::reduce_colours(hs, {}, 256, {});
    reduce_s += thread_seconds() - t0;
    std::vector<uint8_t> palette = prev_palette;
    t0 = thread_seconds();
    palette::place_colours(r.colours, palette::Palette(palette.data(), palette::kPaletteBytes), 0, 256, usage, {});
    place_s += thread_seconds() - t0;
    ++runs;
  }
  f.colours = static_cast<uint32_t>(std::count_if(h.begin(), h.end(), [](uint32_t n) { return n != 0; }));
  f.reduce_s = reduce_s / static_cast<double>(runs);
  f.place_s = place_s / static_cast<double>(runs);
  const double t0 = thread_seconds();
  benchmark::DoNotOptimize(testref::reduce(h, 256, {}));
  f.plain_s = thread_seconds() - t0;
}

void load_inputs() {
  const auto dir = testkit::photo_dir();
  std::vector<Picture> pictures;
  if (dir) {
    for (const auto &name : testkit::photo_names())
      pictures.push_back(testkit::load_picture(*dir + "/" + name));
  } else {
    std::fprintf(stderr,
                 "bench_palette: the photos are missing: install Debian's python3-skimage, or set "
                 "VEXUTIL_PHOTO_DIR to a folder holding %s and the others\n",
                 testkit::photo_names()[0].c_str());
  }
  if (const auto movie = testkit::movie_file())
    for (Picture &p : testkit::movie_frames(*movie, 3, 90))
      pictures.push_back(std::move(p));
  for (Picture &p : pictures) {
    Input in{std::move(p), {}, {}};
    for (size_t i = 0; i < in.picture.rgb.size(); i += 3) {
      const uint8_t *c = &in.picture.rgb[i];
      in.bgrx.insert(in.bgrx.end(), {c[2], c[1], c[0], 0});
      in.rgba.insert(in.rgba.end(), {c[0], c[1], c[2], 255});
    }
    inputs().push_back(std::move(in));
  }
}

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  load_inputs();
  if (inputs().empty()) {
    std::fprintf(stderr, "bench_palette: no pictures to measure\n");
    return 0;
  }
  for (size_t i = 0; i < inputs().size(); ++i) {
    const std::string &name = inputs()[i].picture.name;
    benchmark::RegisterBenchmark(("palette/ours/" + name).c_str(), BM_Ours, i)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("palette/libimagequant/" + name).c_str(), BM_Liq, i)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("palette/stages/" + name).c_str(), BM_Stages, i)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
  }
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\n%-24s %7s %9s %9s %7s %9s %9s %8s %8s %8s %8s %10s\n", "picture", "colours", "ours ms", "liq ms",
              "liq/ours", "reduce ms", "place ms", "PSNR us", "PSNR liq", "OkLab us", "OkLab liq", "plain/fast");
  for (const auto &[name, f] : figures()) {
    if (f.ours_s <= 0 || f.liq_s <= 0)
      continue;
    std::printf("%-24s %7u %9.2f %9.2f %7.1fx %9.2f %9.3f %8.2f %8.2f %8.2f %8.2f %9.0fx\n", name.c_str(), f.colours,
                f.ours_s * 1e3, f.liq_s * 1e3, f.liq_s / f.ours_s, f.reduce_s * 1e3, f.place_s * 1e3, f.ours_psnr,
                f.liq_psnr, f.ours_ok, f.liq_ok, f.reduce_s > 0 ? f.plain_s / f.reduce_s : 0.0);
  }
  benchmark::Shutdown();
  return 0;
}
