// Two readers reworked for exactness, each beside a peer in the same run:
// AAC movie sound through QTSFile (priming, time stamps, the length
// measured at open) beside the ffmpeg tool decoding the same track, and a
// TIFF with alpha read block by block beside libtiff's own RGBA reader on
// the same file (the reader the block path replaced for such pictures).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <tiffio.h>

#include "file/byte_source.h"
#include "stills/still_codec.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/movie.h"

namespace {

constexpr int kSeconds = 60;

struct Inputs {
  vex::testkit::TempDir dir;
  std::string aac = dir.file("s.mp4"), tif = dir.file("a.tif");
  Inputs() {
    vex::testkit::ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=" + std::to_string(kSeconds) +
                         " -f lavfi -i anoisesrc=sample_rate=44100:amplitude=0.1:duration=" + std::to_string(kSeconds) +
                         " -filter_complex amerge=inputs=2 -c:a aac -b:a 128k " + aac);
    vex::testkit::ffmpeg("-f lavfi -i testsrc2=size=1024x768 -frames:v 1 -update 1 -vf \"format=rgba,geq=r='r(X,Y)':"
                         "g='g(X,Y)':b='b(X,Y)':a='X/4'\" -compression_algo lzw " +
                         tif);
  }
};

Inputs &inputs() {
  static Inputs i;
  return i;
}

void BM_QTSFileAacSecondsPerSecond(benchmark::State &state) {
  inputs(); // made once, outside the timing
  std::vector<uint8_t> buf(65536);
  for (auto _ : state) {
    QTSFILE *qs = QTSFileOpen(inputs().aac.c_str(), 0);
    if (!qs) {
      state.SkipWithError("open failed");
      return;
    }
    for (uint32_t left = qs->total_bytes; left > 0;) {
      const uint32_t n = QTSFileGet(qs, buf.data(), static_cast<uint32_t>(buf.size()));
      left -= std::min(left, n);
    }
    QTSFileClose(qs);
  }
  state.counters["x realtime"] = benchmark::Counter(double(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_QTSFileAacSecondsPerSecond)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_FfmpegToolAacSecondsPerSecond(benchmark::State &state) {
  const std::string cmd = "ffmpeg -nostdin -loglevel error -threads 1 -i '" + inputs().aac + "' -f s16le -y /dev/null";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0)
      state.SkipWithError("ffmpeg failed");
  state.counters["x realtime"] = benchmark::Counter(double(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FfmpegToolAacSecondsPerSecond)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

constexpr double kMegapixels = 1024.0 * 768.0 / 1e6;

// Both sides decode the file into a new full-size raster of the same
// pixels (alpha as stored here, premultiplied there).
void BM_TiffAlphaBlocks(benchmark::State &state) {
  inputs(); // made once, outside the timing
  for (auto _ : state) {
    vex::stills::Picture p;
    vex::file::ByteSource source; // opened per file, as on the other side
    source.open(inputs().tif.c_str());
    if (vex::stills::read_tiff(source, p, false) != 0 || p.info.bits != 32)
      state.SkipWithError("no 32-bit TIFF");
    benchmark::DoNotOptimize(p.bgra.data());
  }
  state.counters["Mpix/s"] = benchmark::Counter(kMegapixels * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TiffAlphaBlocks)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LibtiffRgbaReader(benchmark::State &state) {
  TIFFSetWarningHandler(nullptr);
  inputs();
  for (auto _ : state) {
    std::vector<uint32_t> raster(1024 * 768); // a new picture per file, as on our side
    TIFF *t = TIFFOpen(inputs().tif.c_str(), "r");
    if (!t || !TIFFReadRGBAImageOriented(t, 1024, 768, raster.data(), ORIENTATION_TOPLEFT, 0))
      state.SkipWithError("libtiff failed");
    if (t)
      TIFFClose(t);
    benchmark::DoNotOptimize(raster[0]);
  }
  state.counters["Mpix/s"] = benchmark::Counter(kMegapixels * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LibtiffRgbaReader)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
