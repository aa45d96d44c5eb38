// Huffman coding of delta-coded PCM: the library's encoder (low and high
// bytes of the 16-bit deltas through two 8-bit encoders, as the
// compressed-sound writer codes them) beside zlib's Huffman-only deflate of
// the same delta bytes. Counters: MB/s of PCM and the compressed size.
#include <benchmark/benchmark.h>

#include <zlib.h>

#include <filesystem>
#include <vector>

#include "testkit/audio_codec/bench_signal.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/file.h"
#include "vexutil/huff.h"

namespace {

std::vector<uint8_t> delta_bytes() {
  const auto &pcm = bench_pcm(44100, 2);
  std::vector<uint8_t> out(pcm.size() * 2);
  int16_t prev[2] = {0, 0};
  for (size_t i = 0; i < pcm.size(); ++i) {
    const auto d = static_cast<uint16_t>(pcm[i] - prev[i % 2]);
    prev[i % 2] = pcm[i];
    out[2 * i] = static_cast<uint8_t>(d);
    out[2 * i + 1] = static_cast<uint8_t>(d >> 8);
  }
  return out;
}

void BM_HuffDeltas(benchmark::State &state) {
  const auto bytes = delta_bytes();
  vex::testkit::TempDir dir;
  const std::string name = dir.file("huff.bin");
  size_t coded = 0;
  HUFF *low = HuffOpen(1), *high = HuffOpen(1);
  for (auto _ : state) {
    VEXFILE *f = VEXFileCreate(65536, name.c_str());
    HuffSetOutput(low, f);
    HuffSetOutput(high, f);
    HuffInitStats(low);
    HuffInitStats(high);
    for (size_t i = 0; i < bytes.size(); i += 2) {
      HuffAddStat(low, bytes[i]);
      HuffAddStat(high, bytes[i + 1]);
    }
    HuffStartEncode(low);
    HuffStartEncode(high);
    for (size_t i = 0; i < bytes.size(); i += 2) {
      HuffEncode(low, bytes[i]);
      HuffEncode(high, bytes[i + 1]);
    }
    VEXFileByteAlign(f);
    VEXFileClose(f);
    coded = std::filesystem::file_size(name);
  }
  HuffClose(low);
  HuffClose(high);
  state.SetBytesProcessed(static_cast<int64_t>(bytes.size()) * state.iterations());
  state.counters["input_bytes"] = static_cast<double>(bytes.size());
  state.counters["coded_bytes"] = static_cast<double>(coded);
}

void BM_ZlibHuffmanOnly(benchmark::State &state) {
  const auto bytes = delta_bytes();
  std::vector<uint8_t> out(compressBound(static_cast<uLong>(bytes.size())));
  size_t coded = 0;
  for (auto _ : state) {
    z_stream z{};
    deflateInit2(&z, 1, Z_DEFLATED, 15, 9, Z_HUFFMAN_ONLY);
    z.next_in = const_cast<Bytef *>(bytes.data());
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    coded = z.total_out;
    deflateEnd(&z);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes.size()) * state.iterations());
  state.counters["input_bytes"] = static_cast<double>(bytes.size());
  state.counters["coded_bytes"] = static_cast<double>(coded);
}

BENCHMARK(BM_HuffDeltas)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibHuffmanOnly)->Unit(benchmark::kMillisecond);

} // namespace
BENCHMARK_MAIN();
