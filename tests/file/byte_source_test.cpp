// The byte source against the bytes written with the standard library:
// every kind of source reads the same data at every offset, copies and
// slices share one open file that closes with the last of them, and no
// read passes the end.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "file/byte_source.h"
#include "file/read_window.h"
#include "testkit/util/temp_dir.h"
#include "tests/file/file_test_util.h"
#include "util/status.h"

namespace {

using vex::file::ByteSource;
using vex::file::ReadWindow;
using vex::util::Status;

std::vector<uint8_t> noise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto &b : v)
    b = static_cast<uint8_t>(rng());
  return v;
}

// The three kinds over the same 20000 data bytes: by name, a slice 777
// bytes into a longer file, and from memory.
class Sources : public ::testing::Test {
protected:
  void SetUp() override {
    data = noise(20000, 1);
    vex::test::write_file(dir.file("plain"), data);
    std::vector<uint8_t> wrapped(777 + data.size(), 0xAB);
    std::copy(data.begin(), data.end(), wrapped.begin() + 777);
    vex::test::write_file(dir.file("wrapped"), wrapped);
    ASSERT_EQ(sources[0].open(dir.file("plain").c_str()), Status::kOk);
    ByteSource whole;
    ASSERT_EQ(whole.open(dir.file("wrapped").c_str()), Status::kOk);
    sources[1] = whole.slice(777);
    sources[2].open(data);
  }

  vex::testkit::TempDir dir;
  std::vector<uint8_t> data;
  ByteSource sources[3];
};

TEST_F(Sources, EveryKindReadsTheSameBytesAndStopsAtTheEnd) {
  std::mt19937 rng(2);
  for (ByteSource &s : sources) {
    EXPECT_EQ(s.size(), data.size());
    for (int i = 0; i < 200; ++i) {
      const uint64_t at = rng() % 20100; // some past the end
      const size_t n = rng() % 3000;
      std::vector<uint8_t> out(n, 0xEE);
      const size_t got = s.read_at(at, out.data(), n);
      const size_t there = at >= data.size() ? 0 : std::min<size_t>(n, data.size() - at);
      ASSERT_EQ(got, there) << at << " " << n;
      ASSERT_TRUE(std::equal(out.begin(), out.begin() + static_cast<ptrdiff_t>(got),
                             data.begin() + static_cast<ptrdiff_t>(at)));
      // Nothing beyond what arrived is touched.
      ASSERT_TRUE(
          std::all_of(out.begin() + static_cast<ptrdiff_t>(got), out.end(), [](uint8_t b) { return b == 0xEE; }));
    }
    uint8_t b = 0;
    EXPECT_TRUE(s.read_exact(19999, &b, 1));
    EXPECT_EQ(b, data.back());
    EXPECT_FALSE(s.read_exact(19999, &b, 2));
    EXPECT_EQ(s.read_at(~uint64_t{0} - 1, &b, 5), 0u); // no wrap-around of offset + n
    EXPECT_FALSE(s.read_failed());
  }
  EXPECT_EQ(sources[0].name(), dir.file("plain"));
  EXPECT_EQ(sources[1].base(), 777u);
  EXPECT_EQ(sources[1].name(), dir.file("wrapped"));
  EXPECT_TRUE(sources[2].in_memory());
  EXPECT_EQ(sources[2].memory().data(), data.data()); // not copied
}

// Open descriptors of this process that name `path`.
int descriptors_on(const std::string &path) {
  int n = 0;
  for (int fd = 0; fd < 1024; ++fd) {
    char link[64], target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t len = ::readlink(link, target, sizeof target - 1);
    if (len > 0 && std::string(target, static_cast<size_t>(len)) == path)
      ++n;
  }
  return n;
}

TEST_F(Sources, CopiesAndSlicesShareOneFileThatClosesWithTheLast) {
  const std::string wrapped = dir.file("wrapped");
  EXPECT_EQ(descriptors_on(wrapped), 1);
  ByteSource copy = sources[1];
  ByteSource deeper = copy.slice(19000); // 777 + 19000 into the file
  EXPECT_EQ(descriptors_on(wrapped), 1);
  EXPECT_EQ(deeper.base(), 777u + 19000u);
  EXPECT_EQ(deeper.size(), 1000u);
  EXPECT_EQ(deeper.name(), wrapped);
  uint8_t b = 0;
  ASSERT_TRUE(deeper.read_exact(999, &b, 1));
  EXPECT_EQ(b, data.back());
  EXPECT_EQ(copy.slice(30000).size(), 0u); // past the end: empty, still open
  // Slices of memory stay in memory and are not copied.
  const ByteSource tail = sources[2].slice(5);
  EXPECT_TRUE(tail.in_memory());
  EXPECT_EQ(tail.memory().data(), data.data() + 5);
  EXPECT_EQ(tail.size(), data.size() - 5);
  // The file stays open while any copy lives.
  sources[1] = ByteSource{};
  copy = ByteSource{};
  EXPECT_EQ(descriptors_on(wrapped), 1);
  ASSERT_TRUE(deeper.read_exact(0, &b, 1));
  EXPECT_EQ(b, data[19000]);
  deeper = ByteSource{};
  EXPECT_EQ(descriptors_on(wrapped), 0);
  EXPECT_FALSE(deeper.is_open());
  EXPECT_EQ(deeper.read_at(0, &b, 1), 0u);
}

TEST(ByteSourceOpen, FailuresSayWhy) {
  vex::testkit::TempDir dir;
  ByteSource s;
  EXPECT_EQ(s.open(dir.file("missing").c_str()), Status::kNoFile);
  EXPECT_EQ(vex::util::last_status(), Status::kNoFile);
  EXPECT_EQ(s.open(dir.path().c_str()), Status::kReadFailed); // a folder
  EXPECT_EQ(s.open(static_cast<const char *>(nullptr)), Status::kInvalidArgument);
  EXPECT_FALSE(s.is_open());
  vex::test::write_file(dir.file("ten"), std::vector<uint8_t>(10, 1));
  ASSERT_EQ(s.open(dir.file("ten").c_str()), Status::kOk);
  EXPECT_EQ(s.slice(10).size(), 0u); // an empty stretch at the very end
  EXPECT_EQ(s.open(dir.file("missing").c_str()), Status::kNoFile);
  EXPECT_FALSE(s.is_open()); // a failed open leaves nothing of the file before
  s.open(std::span<const uint8_t>{});
  EXPECT_TRUE(s.is_open());
  EXPECT_EQ(s.size(), 0u);
}

// The window hands out the data's bytes whatever the order of the
// requests: inside it, across its refills, longer than it (spilled), and
// from a preloaded stretch after the file itself is gone.
TEST_F(Sources, TheWindowServesEveryStretch) {
  std::mt19937 rng(3);
  for (ByteSource &s : sources) {
    ReadWindow w(s);
    ASSERT_TRUE(w.set_window(5000));
    if (!s.in_memory()) {
      EXPECT_EQ(w.window_size(), 2u * ReadWindow::kPiece + ReadWindow::kPiece);
    }
    for (int i = 0; i < 300; ++i) {
      const uint64_t at = rng() % 20000;
      const size_t n = std::min<size_t>(rng() % (i % 10 == 0 ? 12000 : 3000), 20000 - at);
      std::span<const uint8_t> got;
      ASSERT_TRUE(w.fetch(at, n, got)) << at << " " << n;
      ASSERT_EQ(got.size(), n);
      ASSERT_TRUE(std::equal(got.begin(), got.end(), data.begin() + static_cast<ptrdiff_t>(at)));
    }
    std::span<const uint8_t> got;
    EXPECT_FALSE(w.fetch(19990, 11, got)); // one byte short
    EXPECT_FALSE(w.fetch(20001, 0, got));
    EXPECT_TRUE(w.fetch(20000, 0, got));
  }
  // A window allowed to grow serves a long stretch itself, from then on.
  ReadWindow growing(sources[0]);
  ASSERT_TRUE(growing.set_window(5000, 15000));
  std::span<const uint8_t> long_one;
  ASSERT_TRUE(growing.fetch(3333, 14000, long_one));
  EXPECT_TRUE(std::equal(long_one.begin(), long_one.end(), data.begin() + 3333));
  EXPECT_EQ(growing.window_size(), 4u * ReadWindow::kPiece + ReadWindow::kPiece);
  ASSERT_TRUE(growing.fetch(100, 16000, long_one)); // beyond the limit: spilled
  EXPECT_TRUE(std::equal(long_one.begin(), long_one.end(), data.begin() + 100));
  EXPECT_EQ(growing.window_size(), 4u * ReadWindow::kPiece + ReadWindow::kPiece);

  ByteSource named;
  ASSERT_EQ(named.open(dir.file("plain").c_str()), Status::kOk);
  ReadWindow w(named);
  EXPECT_FALSE(w.preload(100, 19901)); // past the end
  EXPECT_EQ(vex::util::last_status(), Status::kDamaged);
  ASSERT_TRUE(w.preload(100, 19900));
  named = ByteSource{}; // closed: the preloaded stretch stays
  std::span<const uint8_t> got;
  ASSERT_TRUE(w.fetch(150, 1000, got));
  EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin() + 150));
  EXPECT_FALSE(w.fetch(50, 10, got)); // before it, and there is no file any more
}

} // namespace
