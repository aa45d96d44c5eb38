// Whole-movie playback of a 640x480 Tolm movie: every frame decoded and
// copied to 32-bit pixels, as the graphics source drives the reader.
// Counters are frames per CPU second.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

#include "formats/tolm/tolm_reader.h"
#include "testkit/util/source_of.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/formats/tolm/yuv_scenes.h"
#include "testkit/util/temp_dir.h"

namespace {

namespace tk = vex::testkit::tolm;
using namespace vex::formats::tolm;

constexpr uint32_t kWidth = 640, kHeight = 480, kFrames = 30;

// 30 frames with a key frame every 10: moving shapes (cheap blocks), or
// noise (transform and raw blocks, about the worst case).
std::string make_movie(tk::Scene scene, const std::string &name) {
  static vex::testkit::TempDir dir;
  std::vector<tk::Picture> pictures;
  for (uint32_t i = 0; i < kFrames; ++i)
    pictures.push_back(tk::render_scene(scene, static_cast<int>(i), kWidth, kHeight));
  tk::Movie m = tk::encode_movie(pictures, kWidth, kHeight, 'i', 10);
  m.rate_num = 15;
  const std::string p = dir.file(name);
  tk::write_movie(p, m);
  return p;
}

const std::string &movie_path(bool noise) {
  static const std::string shapes = make_movie(tk::Scene::kShapes, "shapes.tlm");
  static const std::string noisy = make_movie(tk::Scene::kNoise, "noise.tlm");
  return noise ? noisy : shapes;
}

void play(benchmark::State &state, bool copy, uint32_t open_flags, bool noise = false) {
  const std::string &path = movie_path(noise);
  TOLM *t = TolmOpen(vex::testkit::source_of(path.c_str()), open_flags);
  if (!t) {
    state.SkipWithError("cannot open the movie");
    return;
  }
  std::vector<uint32_t> out(size_t{t->output_width} * t->output_height);
  const auto pitch = static_cast<int32_t>(4 * t->output_width);
  for (auto _ : state) {
    TolmGoto(t, 1, 1);
    for (uint32_t f = 0; f < t->frames; ++f) {
      TolmDoFrame(t);
      if (copy)
        TolmCopyToBuffer(t, out.data(), pitch, static_cast<int32_t>(t->output_height), 0, 0, 5);
      TolmNextFrame(t);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * t->frames, benchmark::Counter::kIsRate);
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
  TolmClose(t);
}

void BM_PlaybackDecodeAndCopy(benchmark::State &state) { play(state, true, 0x8104000); }
void BM_PlaybackDecodeOnly(benchmark::State &state) { play(state, false, 0x8104000); }
void BM_PlaybackDoubledBoth(benchmark::State &state) { play(state, true, 0x8104000 | 0x40000000); }
void BM_PlaybackNoiseDecodeAndCopy(benchmark::State &state) { play(state, true, 0x8104000, true); }

BENCHMARK(BM_PlaybackDecodeAndCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaybackDecodeOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaybackDoubledBoth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaybackNoiseDecodeAndCopy)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
