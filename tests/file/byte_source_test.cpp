// The byte source, its read window and the read-ahead ring against the
// bytes written with the standard library: every kind of source (by name,
// a slice 777 bytes into a longer file, from memory) reads the same data at
// every offset, copies and slices share one open file that closes with the
// last of them, and no read passes the end.
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "file/byte_source.h"
#include "file/read_ahead_ring.h"
#include "file/read_window.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"
#include "util/status.h"

namespace {

using vex::file::ByteSource;
using vex::file::ReadWindow;
using vex::util::Status;
constexpr size_t kSize = 50000;

class Sources : public ::testing::Test {
protected:
  void SetUp() override {
    std::mt19937 rng(1);
    for (auto &b : data)
      b = static_cast<uint8_t>(rng());
    vex::testkit::write_file(dir.file("plain"), data);
    std::vector<uint8_t> wrapped(777 + kSize, 0xAB);
    std::copy(data.begin(), data.end(), wrapped.begin() + 777);
    vex::testkit::write_file(dir.file("wrapped"), wrapped);
    ASSERT_EQ(sources[0].open(dir.file("plain").c_str()), Status::kOk);
    ByteSource whole;
    ASSERT_EQ(whole.open(dir.file("wrapped").c_str()), Status::kOk);
    sources[1] = whole.slice(777);
    sources[2].open(data);
  }
  bool same(std::span<const uint8_t> got, uint64_t at) {
    return std::equal(got.begin(), got.end(), data.begin() + static_cast<ptrdiff_t>(at));
  }

  vex::testkit::TempDir dir;
  std::vector<uint8_t> data = std::vector<uint8_t>(kSize);
  ByteSource sources[3];
};

// The same random stretches straight from the source and through a read
// window: inside the window, across its refills, longer than it
// (spilled), past the end.
TEST_F(Sources, EveryKindReadsTheSameBytesAndStopsAtTheEnd) {
  std::mt19937 rng(2);
  std::span<const uint8_t> got;
  for (ByteSource &s : sources) {
    EXPECT_EQ(s.size(), kSize);
    ReadWindow w(s);
    ASSERT_TRUE(w.set_window(5000));
    EXPECT_TRUE(s.in_memory() || w.window_size() == 2u * ReadWindow::kPiece + ReadWindow::kPiece);
    for (int i = 0; i < 300; ++i) {
      const uint64_t at = rng() % (kSize + 100); // some past the end
      const size_t n = rng() % (i % 10 == 0 ? 12000 : 3000), fits = at >= kSize ? 0 : std::min<size_t>(n, kSize - at);
      std::vector<uint8_t> out(n, 0xEE);
      ASSERT_EQ(s.read_at(at, out.data(), n), fits) << at << " " << n;
      ASSERT_TRUE(same(std::span(out).first(fits), at));
      // Nothing beyond what arrived is touched.
      ASSERT_EQ(std::count(out.begin() + static_cast<ptrdiff_t>(fits), out.end(), 0xEE),
                static_cast<ptrdiff_t>(n - fits));
      ASSERT_EQ(w.fetch(at, fits, got), at <= kSize) << at << " " << n;
      ASSERT_TRUE(at > kSize || (got.size() == fits && same(got, at)));
    }
    uint8_t b = 0;
    EXPECT_TRUE(s.read_exact(kSize - 1, &b, 1));
    EXPECT_EQ(b, data.back());
    EXPECT_FALSE(s.read_exact(kSize - 1, &b, 2));
    EXPECT_EQ(s.read_at(~uint64_t{0} - 1, &b, 5), 0u); // no wrap-around of offset + n
    EXPECT_FALSE(s.read_failed());
    EXPECT_FALSE(w.fetch(kSize - 10, 11, got)); // one byte short
    EXPECT_FALSE(w.fetch(kSize + 1, 0, got));
    EXPECT_TRUE(w.fetch(kSize, 0, got));
  }
  EXPECT_EQ(sources[1].base(), 777u);
  EXPECT_EQ(sources[2].memory().data(), data.data()); // not copied
}

// Open descriptors of this process that name `path`.
int descriptors_on(const std::string &path) {
  int n = 0;
  for (int fd = 0; fd < 1024; ++fd) {
    char target[4096];
    const ssize_t len = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
    n += len > 0 && std::string(target, static_cast<size_t>(len)) == path;
  }
  return n;
}

TEST_F(Sources, CopiesAndSlicesShareOneFileThatClosesWithTheLast) {
  const std::string wrapped = dir.file("wrapped");
  EXPECT_EQ(descriptors_on(wrapped), 1);
  ByteSource copy = sources[1];
  ByteSource deeper = copy.slice(kSize - 1000); // 777 + that into the file
  EXPECT_EQ(descriptors_on(wrapped), 1);
  EXPECT_EQ(deeper.base(), 777u + kSize - 1000);
  EXPECT_EQ(deeper.size(), 1000u);
  EXPECT_EQ(deeper.name(), wrapped);
  uint8_t b = 0;
  ASSERT_TRUE(deeper.read_exact(999, &b, 1));
  EXPECT_EQ(b, data.back());
  EXPECT_EQ(copy.slice(kSize + 10000).size(), 0u); // past the end: empty, still open
  // Slices of memory stay in memory and are not copied.
  const ByteSource tail = sources[2].slice(5);
  EXPECT_TRUE(tail.in_memory());
  EXPECT_EQ(tail.memory().data(), data.data() + 5);
  // The file stays open while any copy lives.
  sources[1] = ByteSource{};
  copy = ByteSource{};
  EXPECT_EQ(descriptors_on(wrapped), 1);
  ASSERT_TRUE(deeper.read_exact(0, &b, 1));
  EXPECT_EQ(b, data[kSize - 1000]);
  deeper = ByteSource{};
  EXPECT_EQ(descriptors_on(wrapped), 0);
  EXPECT_FALSE(deeper.is_open());
  EXPECT_EQ(deeper.read_at(0, &b, 1), 0u);
  // Failed opens say why and leave nothing of the file before.
  ByteSource s;
  EXPECT_EQ(s.open(dir.file("missing").c_str()), Status::kNoFile);
  EXPECT_EQ(vex::util::last_status(), Status::kNoFile);
  EXPECT_EQ(s.open(dir.path().c_str()), Status::kReadFailed); // a folder
  EXPECT_EQ(s.open(static_cast<const char *>(nullptr)), Status::kInvalidArgument);
  EXPECT_FALSE(s.is_open());
  ASSERT_EQ(s.open(dir.file("plain").c_str()), Status::kOk);
  EXPECT_EQ(s.slice(kSize).size(), 0u); // an empty stretch at the very end
  EXPECT_EQ(s.open(dir.file("missing").c_str()), Status::kNoFile);
  EXPECT_FALSE(s.is_open());
  s.open(std::span<const uint8_t>{});
  EXPECT_TRUE(s.is_open());
  EXPECT_EQ(s.size(), 0u);
}

// A window allowed to grow serves a long stretch itself, from then on;
// a preloaded stretch stays after the file itself is gone.
TEST_F(Sources, TheWindowGrowsAndKeepsWhatItPreloaded) {
  std::span<const uint8_t> got;
  ReadWindow growing(sources[0]);
  ASSERT_TRUE(growing.set_window(5000, 15000));
  ASSERT_TRUE(growing.fetch(3333, 14000, got));
  EXPECT_TRUE(same(got, 3333));
  EXPECT_EQ(growing.window_size(), 4u * ReadWindow::kPiece + ReadWindow::kPiece);
  ASSERT_TRUE(growing.fetch(100, 16000, got)); // beyond the limit: spilled
  EXPECT_TRUE(same(got, 100));
  EXPECT_EQ(growing.window_size(), 4u * ReadWindow::kPiece + ReadWindow::kPiece);

  ByteSource named;
  ASSERT_EQ(named.open(dir.file("plain").c_str()), Status::kOk);
  ReadWindow w(named);
  EXPECT_FALSE(w.preload(100, kSize - 99)); // past the end
  EXPECT_EQ(vex::util::last_status(), Status::kDamaged);
  ASSERT_TRUE(w.preload(100, kSize - 100));
  named = ByteSource{}; // closed: the preloaded stretch stays
  ASSERT_TRUE(w.fetch(150, 1000, got));
  EXPECT_TRUE(same(got, 150));
  EXPECT_FALSE(w.fetch(50, 10, got)); // before it, and there is no file any more
}

// The read-ahead ring: fills, reads at the logical position, skips inside
// the buffered stretch, seeks behind and beyond it, and wraps.
TEST_F(Sources, TheRingDeliversTheSourceBytesWhateverTheOrder) {
  namespace ring = vex::file::ring;
  using vex::file::ReadAheadRing;
  for (const ByteSource *source : {&sources[0], &sources[2]}) {
    std::mt19937 rng(5);
    ReadAheadRing io;
    ring::attach(io, *source);
    std::vector<uint8_t> buffer(3 * ReadAheadRing::kUnit + 100); // rounded down to 3 units
    ring::set_buffer(io, buffer.data(), static_cast<uint32_t>(buffer.size()), kSize);
    EXPECT_EQ(io.capacity, 3 * ReadAheadRing::kUnit);
    int wraps = 0;
    for (int step = 0; step < 400; ++step) {
      const uint32_t choice = rng() % 4;
      if (choice == 0) {
        const uint8_t *before = io.ring_write;
        const int32_t got = ring::fill(io);
        EXPECT_TRUE(got == 0 || got == 4096);
        wraps += got > 0 && io.ring_write < before;
        continue;
      }
      uint32_t at = choice == 2 ? std::min<uint32_t>(io.logical + rng() % (io.held + 1), kSize - 1000)
                    : choice == 3 ? rng() % (kSize - 1000)
                                  : io.logical;
      const uint32_t n = std::min<uint32_t>(1 + rng() % 3000, kSize - at);
      std::vector<uint8_t> out(n);
      ASSERT_EQ(ring::read(io, at, out.data(), n), n);
      ASSERT_TRUE(same(out, at)) << "step " << step;
      ASSERT_EQ(io.physical - io.logical, io.held);
      ASSERT_EQ(io.held + io.free_bytes, io.capacity);
    }
    EXPECT_GT(wraps, 0);
    EXPECT_EQ(io.read_error, 0);
    // Past the end: short, and the flag sticks.
    std::vector<uint8_t> out(100);
    EXPECT_EQ(ring::read(io, kSize - 50, out.data(), 100), 50u);
    EXPECT_EQ(io.read_error, 1);
    EXPECT_EQ(ring::read(io, 0, out.data(), 10), 0u);
  }
  const std::pair<uint32_t, uint32_t> sizes[] = {{1, 4096}, {4096, 4096}, {4097, 8192}, {0, 0}, {~0u, 0xFFFFF000u}};
  for (const auto &[size, rounded] : sizes)
    EXPECT_EQ(ring::round_size(size), rounded) << size;
}

} // namespace
