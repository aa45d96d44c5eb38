// The raw frame file reader: frames and palettes back as written (from a
// file and from memory, into padded rows), a file built byte by byte, every
// truncation of a small file, and the statuses of what it refuses. The
// reasons a user reads are rows of tests/gfile/bad_inputs/rawb_rows.cpp.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "formats/rawb/rawb_reader.h"
#include "testkit/formats/rawb/rawb_writer.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"
#include "util/limits.h"
#include "util/status.h"

namespace {

using vex::formats::rawb::RawbReader;
using vex::util::Status;
namespace tw = vex::testkit::rawb;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kUntouched = 0xEE;

std::unique_ptr<RawbReader> open_memory(std::span<const uint8_t> bytes, Status *status = nullptr) {
  vex::file::ByteSource source;
  source.open(bytes);
  std::unique_ptr<RawbReader> reader;
  const Status s = RawbReader::open(std::move(source), reader);
  if (status)
    *status = s;
  return reader;
}

// A frame read into rows of `pitch` bytes, the padding filled with kUntouched.
struct Delivered {
  Status status;
  Bytes rows;
  tw::Palette palette;
  bool palette_changed = false;
};

Delivered next(RawbReader &r, int32_t pitch) {
  Delivered d{Status::kOk, Bytes(size_t(pitch) * r.header().height, kUntouched), {}};
  d.palette.fill(kUntouched);
  d.status = r.next_frame(d.rows.data(), pitch, reinterpret_cast<uint8_t(*)[3]>(d.palette.data()), d.palette_changed);
  return d;
}

// The first `n` pixels of a frame (in reading order) as rows of `pitch`.
Bytes padded(const Bytes &pixels, uint32_t width, uint32_t height, int32_t pitch, size_t n = SIZE_MAX) {
  Bytes out(size_t(pitch) * height, kUntouched);
  for (size_t i = 0; i < n && i < pixels.size(); ++i)
    out[i / width * size_t(pitch) + i % width] = pixels[i];
  return out;
}

// A file built byte by byte (3 x 2, speed -40, two frames, a palette
// before the second); then the testkit writer's frames from a file and
// from memory, into rows of the width rounded up to 4 and wider: past the
// last record nothing more comes; a rewind starts over; a frame count
// larger than the file (2^32 - 1) gives the frames there are.
TEST(RawbReader, FramesAndPalettesComeBack) {
  Bytes f = {'R', 'A', 'W', 'B', 2, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 0xD8, 0xFF, 0xFF, 0xFF,
             1,   0,   0,   0,   1, 2, 3, 4, 5, 6};
  vex::testkit::append_le32(f, 0);
  for (size_t i = 0; i < 768; ++i)
    f.push_back(static_cast<uint8_t>(i * 7));
  f.insert(f.end(), {1, 0, 0, 0, 9, 8, 7, 6, 5, 4});
  auto hand = open_memory(f);
  ASSERT_TRUE(hand);
  EXPECT_EQ(std::vector<int64_t>({hand->header().frames, hand->header().speed}), std::vector<int64_t>({2, -40}));
  const Delivered a = next(*hand, 4), b = next(*hand, 4);
  EXPECT_EQ(std::vector({a.status, b.status}), std::vector({Status::kOk, Status::kOk}));
  EXPECT_EQ(std::vector({a.palette_changed, b.palette_changed}), std::vector({false, true}));
  EXPECT_EQ(a.rows, (Bytes{1, 2, 3, kUntouched, 4, 5, 6, kUntouched}));
  EXPECT_EQ(b.rows, (Bytes{9, 8, 7, kUntouched, 6, 5, 4, kUntouched}));
  EXPECT_EQ(b.palette[3 * 255], static_cast<uint8_t>(765 * 7));
  EXPECT_EQ(b.palette[3 * 1 + 2], static_cast<uint8_t>(5 * 7));

  std::mt19937 rng(15);
  vex::testkit::TempDir dir;
  for (const uint32_t width : {1u, 4u, 7u}) {
    const std::optional<uint32_t> count = width == 4 ? std::optional(0xFFFFFFFFu) : std::nullopt;
    const auto frames = tw::random_frames(width, 5, 4, rng);
    const auto bytes = tw::rawb_bytes({width, 5, 4000, count}, frames);
    tw::write_rawb(dir.file("movie.raw"), {width, 5, 4000, count}, frames);
    std::unique_ptr<RawbReader> from_file;
    ASSERT_EQ(RawbReader::open(vex::testkit::source_of(dir.file("movie.raw")), from_file), Status::kOk);
    const auto &h = from_file->header();
    EXPECT_EQ(std::vector<int64_t>({h.frames, h.width, h.height, h.speed}),
              std::vector<int64_t>({count.value_or(4), width, 5, 4000}));
    auto from_memory = open_memory(bytes);
    ASSERT_TRUE(from_memory);
    const int32_t pitch = int32_t((width + 3) & ~3u);
    for (const auto &[r, p] : {std::pair{from_file.get(), pitch}, {from_memory.get(), pitch + 8}})
      for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < frames.size(); ++i) {
          SCOPED_TRACE("width " + std::to_string(width) + ", pitch " + std::to_string(p) + ", frame " +
                       std::to_string(i + 1));
          const Delivered d = next(*r, p);
          ASSERT_EQ(d.status, Status::kOk) << vex::util::last_reason();
          EXPECT_EQ(d.rows, padded(frames[i].pixels, width, 5, p));
          EXPECT_EQ(d.palette_changed, !frames[i].palettes.empty());
          if (d.palette_changed) {
            EXPECT_EQ(d.palette, frames[i].palettes.back());
          }
        }
        EXPECT_EQ(r->position(), bytes.size());
        EXPECT_EQ(next(*r, p).status, Status::kDamaged); // past the last record
        r->rewind();
        EXPECT_EQ(r->frames_read(), 0u);
      }
  }
}

// Every length of a three-frame file: the open fails below the header;
// above it, the frames that fit come back whole, the first that does not is
// reported as cut short at the file's end with what it had delivered, and
// the reader stays there.
TEST(RawbReader, EveryTruncationOpensOrReportsTheShortFrame) {
  std::mt19937 rng(3);
  const auto frames = tw::random_frames(5, 3, 3, rng);
  const auto full = tw::rawb_bytes({5, 3, 4000, std::nullopt}, frames);
  std::vector<size_t> pixels_at; // 4 per tag, 768 per palette
  size_t at = 20;
  for (const auto &f : frames) {
    pixels_at.push_back(at += f.palettes.size() * 772 + 4);
    at += f.pixels.size();
  }
  ASSERT_EQ(at, full.size());
  for (size_t len = 0; len <= full.size(); ++len) {
    SCOPED_TRACE("length " + std::to_string(len));
    Status status;
    auto r = open_memory(std::span(full.data(), len), &status);
    if (len < 20) {
      EXPECT_FALSE(r);
      EXPECT_EQ(status, len < 4 ? Status::kNotThisFormat : Status::kDamaged);
      continue;
    }
    ASSERT_TRUE(r);
    for (size_t i = 0; i < frames.size(); ++i) {
      const Delivered d = next(*r, 8);
      if (len >= pixels_at[i] + frames[i].pixels.size()) {
        ASSERT_EQ(d.status, Status::kOk);
        continue;
      }
      EXPECT_EQ(d.status, Status::kDamaged);
      EXPECT_EQ(std::string(vex::util::last_reason()),
                "frame " + std::to_string(i + 1) + " is cut short at byte " + std::to_string(len));
      EXPECT_EQ(d.rows, padded(frames[i].pixels, 5, 3, 8, len > pixels_at[i] ? len - pixels_at[i] : 0));
      const uint64_t before = r->position();
      EXPECT_EQ(next(*r, 8).status, Status::kDamaged);
      EXPECT_EQ(r->position(), before);
      EXPECT_EQ(r->frames_read(), i);
      break;
    }
  }
}

// The status of each kind of refusal, and the largest headers taken (every
// refused header is a row of the shared table of reasons, which names the
// branch that refused it).
TEST(RawbReader, StatusesOfHeadersFramesAndCalls) {
  const struct {
    uint32_t frames, width, height;
    Status status;
  } cases[] = {
      {1, 0, 10, Status::kDamaged},          {1, 10, 0, Status::kDamaged},
      {1, 0x10000, 0x10000, Status::kTooLarge}, // the product wraps to 0 in 32 bits
      {1, vex::util::kMaxSide, 1, Status::kOk},
      {1, 8192, 8192, Status::kOk}, // exactly the pixel limit
      {0, 4, 4, Status::kOk},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    Status status;
    auto r = open_memory(tw::rawb_bytes({c.width, c.height, -66, c.frames}, {}), &status);
    EXPECT_EQ(status, c.status) << vex::util::last_reason();
    EXPECT_EQ(r != nullptr, c.status == Status::kOk);
    if (r) { // no record to read
      EXPECT_EQ(next(*r, int32_t(c.width)).status, Status::kDamaged);
    }
  }
  std::mt19937 rng(9);
  const auto frames = tw::random_frames(4, 2, 1, rng);
  auto bytes = tw::rawb_bytes({4, 2, -66, std::nullopt}, frames);
  EXPECT_TRUE(vex::formats::rawb::is_rawb(std::span<const uint8_t, 4>(bytes.data(), 4)));
  bytes[3] = 'C';
  EXPECT_FALSE(vex::formats::rawb::is_rawb(std::span<const uint8_t, 4>(bytes.data(), 4)));
  Status status;
  EXPECT_FALSE(open_memory(bytes, &status));
  EXPECT_EQ(status, Status::kNotThisFormat);
  bytes[3] = 'B';
  // An unknown tag after the palette (the one in its place is a row).
  vex::testkit::set_le32(bytes, 20 + 772, 2);
  auto r = open_memory(bytes);
  EXPECT_EQ(next(*r, 4).status, Status::kDamaged);
  EXPECT_STREQ(vex::util::last_reason(), "frame 1 has an unknown tag 2 at byte 792");
  // Bad calls; a null palette skips the palettes but still says one came.
  r = open_memory(bytes);
  Bytes rows(16);
  bool changed = true;
  EXPECT_EQ(r->next_frame(rows.data(), 3, nullptr, changed), Status::kInvalidArgument);
  EXPECT_EQ(r->next_frame(nullptr, 4, nullptr, changed), Status::kInvalidArgument);
  EXPECT_EQ(r->next_frame(rows.data(), -4, nullptr, changed), Status::kInvalidArgument);
  vex::testkit::set_le32(bytes, 20 + 772, 1);
  r = open_memory(bytes);
  EXPECT_EQ(r->next_frame(rows.data(), 4, nullptr, changed), Status::kOk);
  EXPECT_TRUE(changed);
  EXPECT_EQ(Bytes(rows.begin(), rows.begin() + 8), frames[0].pixels);
}

} // namespace
