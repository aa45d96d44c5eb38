// The read-ahead ring against the source's own bytes: fills, reads at the
// logical position, skips inside the buffered stretch, seeks behind and
// beyond it, and wraps; the same over a file and over memory.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "file/read_ahead_ring.h"
#include "testkit/util/temp_dir.h"
#include "tests/file/file_test_util.h"

namespace {

using vex::file::ByteSource;
using vex::file::ReadAheadRing;
namespace ring = vex::file::ring;

void walk(const ByteSource &source, const std::vector<uint8_t> &file) {
  std::mt19937 rng(5);
  ReadAheadRing io;
  ring::attach(io, source);
  std::vector<uint8_t> buffer(3 * ReadAheadRing::kUnit + 100); // rounded down to 3 units
  ring::set_buffer(io, buffer.data(), static_cast<uint32_t>(buffer.size()), 50000);
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
    uint32_t at = io.logical;
    if (choice == 2)
      at = std::min<uint32_t>(io.logical + rng() % (io.held + 1), 49000);
    if (choice == 3)
      at = rng() % 49000;
    const uint32_t n = std::min<uint32_t>(1 + rng() % 3000, 50000 - at);
    std::vector<uint8_t> out(n);
    ASSERT_EQ(ring::read(io, at, out.data(), n), n);
    ASSERT_TRUE(std::equal(out.begin(), out.end(), file.begin() + at)) << "step " << step;
    ASSERT_EQ(io.physical - io.logical, io.held);
    ASSERT_EQ(io.held + io.free_bytes, io.capacity);
  }
  EXPECT_GT(wraps, 0);
  EXPECT_EQ(io.read_error, 0);
  // Past the end: short, and the flag sticks.
  std::vector<uint8_t> out(100);
  EXPECT_EQ(ring::read(io, 49950, out.data(), 100), 50u);
  EXPECT_EQ(io.read_error, 1);
  EXPECT_EQ(ring::read(io, 0, out.data(), 10), 0u);
}

TEST(ReadAheadRing, DeliversTheSourceBytesWhateverTheOrder) {
  std::vector<uint8_t> file(50000);
  std::mt19937 rng(5);
  for (auto &b : file)
    b = static_cast<uint8_t>(rng());
  vex::testkit::TempDir dir;
  vex::test::write_file(dir.file("f"), file);
  ByteSource named, memory;
  ASSERT_EQ(named.open(dir.file("f").c_str()), vex::util::Status::kOk);
  memory.open(file);
  walk(named, file);
  walk(memory, file);
  EXPECT_EQ(ring::round_size(1), 4096u);
  EXPECT_EQ(ring::round_size(4096), 4096u);
  EXPECT_EQ(ring::round_size(4097), 8192u);
  EXPECT_EQ(ring::round_size(0), 0u);
  EXPECT_EQ(ring::round_size(0xFFFFFFFFu), 0xFFFFF000u);
}

} // namespace
