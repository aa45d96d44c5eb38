// Frames per second decoding a 640x480 Korvane movie of the pattern
// animation, beside the library's FLIC reader decoding the same frames
// written as FLC, in the same run. Both files stay in the page cache.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "formats/korvane/korvane.h"
#include "testkit/util/source_of.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/flic.h"

namespace {

constexpr uint32_t kFrames = 60;

// Content 0: the whole pattern (shapes, scrolling, colour cycling, a noise
// block, still stretches, a solid frame); 1: the same without the noise
// block, whose full blocks of random pixels are the costliest to decode.
struct Files {
  vex::testkit::TempDir dir;
  std::string kvn = dir.file("pattern.kvn"), flc = dir.file("pattern.flc");
  bool ok = false;
  explicit Files(bool noise) {
    vex::testkit::PatternOptions o;
    o.width = 640;
    o.height = 480;
    o.frames = kFrames;
    o.cycle = o.stills = o.solid = true;
    o.noise = noise;
    const vex::testkit::PatternAnimation anim(o);
    ok = vex::testkit::korvane::write_korvane(vex::testkit::korvane::pattern_frames(anim), {}, kvn).ok &&
         vex::testkit::write_flc(anim, -6667, flc) > 0;
  }
};

const Files &files(int64_t content) {
  static const Files with_noise(true), without_noise(false);
  return content == 0 ? with_noise : without_noise;
}

void BM_KorvaneDecode(benchmark::State &state) {
  if (!files(state.range(0)).ok) {
    state.SkipWithError("cannot write the movie");
    return;
  }
  std::vector<uint8_t> picture(640 * 480);
  for (auto _ : state) {
    KORVA *k = KorvaOpen(vex::testkit::source_of(files(state.range(0)).kvn.c_str()), 0);
    KorvaToBuffer(k, 0, 0, 640, 480, picture.data(), 0);
    for (uint32_t i = 0; i < kFrames; ++i) {
      if (i)
        KorvaNextFrame(k);
      KorvaDoFrame(k);
    }
    benchmark::DoNotOptimize(picture.data());
    KorvaClose(k);
  }
  state.counters["fps"] = benchmark::Counter(double(kFrames) * state.iterations(), benchmark::Counter::kIsRate);
}

// Open and close alone: the share of the decoding run spent unpacking trees.
void BM_KorvaneOpen(benchmark::State &state) {
  if (!files(state.range(0)).ok) {
    state.SkipWithError("cannot write the movie");
    return;
  }
  for (auto _ : state)
    KorvaClose(KorvaOpen(vex::testkit::source_of(files(state.range(0)).kvn.c_str()), 0));
}

void BM_FlicDecode(benchmark::State &state) {
  if (!files(state.range(0)).ok) {
    state.SkipWithError("cannot write the movie");
    return;
  }
  std::vector<uint8_t> picture;
  for (auto _ : state) {
    VEXFLIC *f = VEXFlicOpen(files(state.range(0)).flc.c_str());
    picture.resize(size_t{f->pitch} * f->buffer_height);
    for (uint32_t i = 0; i < kFrames; ++i)
      VEXFlicGetNext(f, picture.data());
    benchmark::DoNotOptimize(picture.data());
    VEXFlicClose(f);
  }
  state.counters["fps"] = benchmark::Counter(double(kFrames) * state.iterations(), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_KorvaneDecode)->ArgName("content")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KorvaneOpen)->ArgName("content")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlicDecode)->ArgName("content")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
