// Sequential bit-field reads and writes over a 64 MiB file, beside a plain
// read() of the same file in the same run (the file stays in the page cache,
// so both measure the code path, not the disk).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "testkit/util/temp_dir.h"
#include "vexutil/file.h"

namespace {

constexpr uint32_t kFileSize = 64u << 20;
constexpr int32_t kBuffer = 65536;

const vex::testkit::TempDir &dir() {
  static const vex::testkit::TempDir d;
  return d;
}

const std::string &input_file() {
  static const std::string name = [] {
    std::string n = dir().file("input.bin");
    std::vector<uint8_t> chunk(1 << 20);
    std::mt19937 rng(7);
    for (auto &b : chunk)
      b = static_cast<uint8_t>(rng());
    const int fd = open(n.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (uint32_t done = 0; done < kFileSize; done += chunk.size())
      if (write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size()))
        std::abort();
    close(fd);
    return n;
  }();
  return name;
}

void RawRead(benchmark::State &state) {
  std::vector<uint8_t> buf(kBuffer);
  for (auto _ : state) {
    const int fd = open(input_file().c_str(), O_RDONLY);
    uint64_t sum = 0;
    ssize_t r;
    while ((r = read(fd, buf.data(), buf.size())) > 0)
      sum += buf[static_cast<size_t>(r) - 1];
    close(fd);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileSize);
}

void GetBits(benchmark::State &state) {
  const auto width = static_cast<uint32_t>(state.range(0));
  const uint64_t fields = uint64_t{kFileSize} * 8 / width;
  for (auto _ : state) {
    VEXFILE *f = VEXFileOpen(kBuffer, input_file().c_str(), VEXFILE_READ);
    uint32_t sum = 0;
    for (uint64_t i = 0; i < fields; ++i)
      sum += VEXFileGetBits(f, width);
    VEXFileClose(f);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileSize);
}

void PutBits(benchmark::State &state) {
  const auto width = static_cast<uint32_t>(state.range(0));
  const uint64_t fields = uint64_t{kFileSize} * 8 / width;
  const std::string out = dir().file("output.bin");
  for (auto _ : state) {
    VEXFILE *f = VEXFileCreate(kBuffer, out.c_str());
    uint32_t v = 0x9E3779B9u;
    for (uint64_t i = 0; i < fields; ++i) {
      VEXFilePutBits(f, v, width);
      v = v * 1664525u + 1013904223u;
    }
    VEXFileClose(f);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileSize);
}

BENCHMARK(RawRead)->Unit(benchmark::kMillisecond);
BENCHMARK(GetBits)->Arg(1)->Arg(5)->Arg(8)->Arg(13)->Arg(32)->Unit(benchmark::kMillisecond);
BENCHMARK(PutBits)->Arg(1)->Arg(5)->Arg(8)->Arg(13)->Arg(32)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
