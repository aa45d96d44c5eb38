// The raw frame file reader: frames and palettes back as written (from a
// file and from memory, into padded rows), a file built byte by byte, every
// truncation of a small file, and headers and tags it must refuse.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "formats/rawb/rawb_reader.h"
#include "testkit/formats/rawb/rawb_writer.h"
#include "testkit/util/temp_dir.h"
#include "util/bytes.h"
#include "util/limits.h"
#include "util/status.h"

namespace {

using vex::formats::rawb::RawbReader;
using vex::util::Status;
namespace tw = vex::testkit::rawb;

constexpr uint8_t kUntouched = 0xEE;

std::vector<uint8_t> random_bytes(size_t n, std::mt19937 &rng) {
  std::vector<uint8_t> v(n);
  for (auto &b : v)
    b = static_cast<uint8_t>(rng());
  return v;
}

tw::Palette random_palette(std::mt19937 &rng) {
  tw::Palette p{};
  for (auto &b : p)
    b = static_cast<uint8_t>(rng());
  return p;
}

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
  std::vector<uint8_t> rows;
  std::array<uint8_t[3], 256> palette;
  bool palette_changed = false;
};

Delivered next(RawbReader &r, int32_t pitch) {
  Delivered d;
  d.rows.assign(size_t(pitch) * r.header().height, kUntouched);
  std::memset(d.palette.data(), kUntouched, sizeof d.palette);
  d.status = r.next_frame(d.rows.data(), pitch, d.palette.data(), d.palette_changed);
  return d;
}

// The first `n` pixels of a frame (in reading order) as rows of `pitch`.
std::vector<uint8_t> padded(const std::vector<uint8_t> &pixels, uint32_t width, uint32_t height, int32_t pitch,
                            size_t n) {
  std::vector<uint8_t> out(size_t(pitch) * height, kUntouched);
  for (size_t i = 0; i < n && i < pixels.size(); ++i)
    out[i / width * size_t(pitch) + i % width] = pixels[i];
  return out;
}

bool palette_is(const Delivered &d, const tw::Palette &p) { return std::memcmp(d.palette.data(), p.data(), 768) == 0; }

struct Movie {
  tw::Layout layout;
  std::vector<tw::Frame> frames;
};

// Odd width, palettes on the first and third frames (two on the third:
// the second one counts), none on the others.
Movie small_movie(uint32_t width, uint32_t height, size_t count, std::mt19937 &rng) {
  Movie m;
  m.layout.width = width;
  m.layout.height = height;
  m.layout.speed = 4000;
  for (size_t i = 0; i < count; ++i) {
    tw::Frame f;
    f.pixels = random_bytes(size_t(width) * height, rng);
    if (i == 0)
      f.palettes.push_back(random_palette(rng));
    if (i == 2) {
      f.palettes.push_back(random_palette(rng));
      f.palettes.push_back(random_palette(rng));
    }
    m.frames.push_back(std::move(f));
  }
  return m;
}

void expect_frames(RawbReader &r, const Movie &m, int32_t pitch) {
  for (size_t i = 0; i < m.frames.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i + 1));
    const Delivered d = next(r, pitch);
    ASSERT_EQ(d.status, Status::kOk) << vex::util::last_reason();
    EXPECT_EQ(d.rows, padded(m.frames[i].pixels, m.layout.width, m.layout.height, pitch, SIZE_MAX));
    EXPECT_EQ(d.palette_changed, !m.frames[i].palettes.empty());
    if (!m.frames[i].palettes.empty()) {
      EXPECT_TRUE(palette_is(d, m.frames[i].palettes.back()));
    }
  }
}

TEST(RawbReader, FramesAndPalettesComeBackFromFileAndMemory) {
  std::mt19937 rng(15);
  for (uint32_t width : {1u, 3u, 4u, 7u, 13u}) {
    SCOPED_TRACE("width " + std::to_string(width));
    const Movie m = small_movie(width, 5, 4, rng);
    const auto bytes = tw::rawb_bytes(m.layout, m.frames);
    const int32_t pitch = int32_t((width + 3) & ~3u);

    vex::testkit::TempDir dir;
    const std::string name = dir.file("movie.raw");
    tw::write_rawb(name, m.layout, m.frames);
    vex::file::ByteSource source;
    ASSERT_EQ(source.open(name.c_str()), Status::kOk);
    std::unique_ptr<RawbReader> from_file;
    ASSERT_EQ(RawbReader::open(std::move(source), from_file), Status::kOk);
    EXPECT_EQ(from_file->header().frames, 4u);
    EXPECT_EQ(from_file->header().width, width);
    EXPECT_EQ(from_file->header().height, 5u);
    EXPECT_EQ(from_file->header().speed, 4000);
    expect_frames(*from_file, m, pitch);

    auto from_memory = open_memory(bytes);
    ASSERT_TRUE(from_memory);
    expect_frames(*from_memory, m, pitch + 8); // a wider pitch leaves more untouched
    EXPECT_EQ(from_memory->position(), bytes.size());
    // Past the last record: nothing more, said as such.
    EXPECT_EQ(next(*from_memory, pitch).status, Status::kDamaged);

    from_memory->rewind();
    EXPECT_EQ(from_memory->frames_read(), 0u);
    expect_frames(*from_memory, m, pitch);
  }
}

TEST(RawbReader, ReadsAFileBuiltByHand) {
  // 3 x 2, speed -40 (40 ms), two frames, a palette before the second.
  std::vector<uint8_t> f = {'R',  'A',  'W',  'B', 2, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 0xD8,
                            0xFF, 0xFF, 0xFF, 1,   0, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0, 0, 0};
  std::vector<uint8_t> pal(768);
  for (size_t i = 0; i < pal.size(); ++i)
    pal[i] = static_cast<uint8_t>(i * 7);
  f.insert(f.end(), pal.begin(), pal.end());
  f.insert(f.end(), {1, 0, 0, 0, 9, 8, 7, 6, 5, 4});
  auto r = open_memory(f);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->header().frames, 2u);
  EXPECT_EQ(r->header().speed, -40);
  Delivered a = next(*r, 4);
  ASSERT_EQ(a.status, Status::kOk);
  EXPECT_FALSE(a.palette_changed);
  EXPECT_EQ(a.rows, (std::vector<uint8_t>{1, 2, 3, kUntouched, 4, 5, 6, kUntouched}));
  Delivered b = next(*r, 4);
  ASSERT_EQ(b.status, Status::kOk);
  EXPECT_TRUE(b.palette_changed);
  EXPECT_EQ(b.rows, (std::vector<uint8_t>{9, 8, 7, kUntouched, 6, 5, 4, kUntouched}));
  EXPECT_EQ(b.palette[255][0], static_cast<uint8_t>(765 * 7));
  EXPECT_EQ(b.palette[1][2], static_cast<uint8_t>(5 * 7));
}

// Every length of a three-frame file: the open fails below the header;
// above it, the frames that fit come back whole, the first that does not is
// reported as cut short at the file's end with what it had delivered, and
// the reader stays there.
TEST(RawbReader, EveryTruncationOpensOrReportsTheShortFrame) {
  std::mt19937 rng(3);
  const Movie m = small_movie(5, 3, 3, rng);
  const auto full = tw::rawb_bytes(m.layout, m.frames);
  // Where each record's pixels start, from the layout: 4 per tag, 768 per palette.
  std::vector<size_t> pixels_at;
  size_t at = 20;
  for (const auto &f : m.frames) {
    at += f.palettes.size() * 772 + 4;
    pixels_at.push_back(at);
    at += f.pixels.size();
  }
  ASSERT_EQ(at, full.size());

  for (size_t len = 0; len <= full.size(); ++len) {
    SCOPED_TRACE("length " + std::to_string(len));
    const std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<ptrdiff_t>(len));
    Status status;
    auto r = open_memory(cut, &status);
    if (len < 20) {
      EXPECT_FALSE(r);
      EXPECT_EQ(status, len < 4 ? Status::kNotThisFormat : Status::kDamaged);
      continue;
    }
    ASSERT_TRUE(r);
    for (size_t i = 0; i < m.frames.size(); ++i) {
      const Delivered d = next(*r, 8);
      const size_t end = pixels_at[i] + m.frames[i].pixels.size();
      if (len >= end) {
        ASSERT_EQ(d.status, Status::kOk);
        continue;
      }
      EXPECT_EQ(d.status, Status::kDamaged);
      EXPECT_EQ(std::string(vex::util::last_reason()),
                "frame " + std::to_string(i + 1) + " is cut short at byte " + std::to_string(len));
      const size_t have = len > pixels_at[i] ? len - pixels_at[i] : 0;
      EXPECT_EQ(d.rows, padded(m.frames[i].pixels, 5, 3, 8, have));
      const uint64_t before = r->position();
      EXPECT_EQ(next(*r, 8).status, Status::kDamaged);
      EXPECT_EQ(r->position(), before);
      EXPECT_EQ(r->frames_read(), i);
      break;
    }
  }
}

std::vector<uint8_t> header(uint32_t frames, uint32_t width, uint32_t height, int32_t speed = -66) {
  tw::Layout s;
  s.width = width;
  s.height = height;
  s.speed = speed;
  s.frame_count = frames;
  return tw::rawb_bytes(s, {});
}

TEST(RawbReader, RefusesHeadersOutsideTheLimits) {
  struct Case {
    uint32_t width, height;
    Status status;
  };
  const uint32_t side = vex::util::kMaxSide;
  const Case cases[] = {
      {0, 10, Status::kDamaged},
      {10, 0, Status::kDamaged},
      {0x10000, 0x10000, Status::kTooLarge}, // the product wraps to 0 in 32 bits
      {0x80000001u, 2, Status::kTooLarge},   // wraps to 2
      {side + 1, 1, Status::kTooLarge},
      {side, side, Status::kTooLarge}, // each side fits, the area does not
      {side, 1, Status::kOk},
      {8192, 8192, Status::kOk}, // exactly the pixel limit
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    const auto bytes = header(1, c.width, c.height);
    Status status;
    auto r = open_memory(bytes, &status);
    EXPECT_EQ(status, c.status) << vex::util::last_reason();
    EXPECT_EQ(r != nullptr, c.status == Status::kOk);
  }
  auto bad_magic = header(1, 4, 4);
  bad_magic[3] = 'C';
  Status status;
  EXPECT_FALSE(open_memory(bad_magic, &status));
  EXPECT_EQ(status, Status::kNotThisFormat);
  EXPECT_FALSE(vex::formats::rawb::is_rawb(std::span<const uint8_t, 4>(bad_magic.data(), 4)));
  EXPECT_TRUE(vex::formats::rawb::is_rawb(std::span<const uint8_t, 4>(header(1, 1, 1).data(), 4)));
}

TEST(RawbReader, CountsTheFileCannotHoldAreFoundWhenReached) {
  // Zero frames: the open succeeds; there is no record to read.
  auto none = header(0, 4, 4);
  auto r = open_memory(none);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->header().frames, 0u);
  EXPECT_EQ(next(*r, 4).status, Status::kDamaged);
  EXPECT_STREQ(vex::util::last_reason(), "frame 1 is cut short at byte 20");

  // A count of 2^32 - 1 over two frames: two come, the third is short.
  std::mt19937 rng(9);
  Movie m = small_movie(4, 4, 2, rng);
  m.layout.frame_count = 0xFFFFFFFFu;
  const auto bytes = tw::rawb_bytes(m.layout, m.frames);
  r = open_memory(bytes);
  ASSERT_TRUE(r);
  expect_frames(*r, m, 4);
  EXPECT_EQ(next(*r, 4).status, Status::kDamaged);
}

TEST(RawbReader, RefusesUnknownTagsAndBadCalls) {
  std::mt19937 rng(5);
  Movie m = small_movie(4, 2, 1, rng); // a palette, then the pixels
  auto bytes = tw::rawb_bytes(m.layout, m.frames);
  for (uint32_t tag : {2u, 0xFFFFFFFFu, 0x100u}) {
    SCOPED_TRACE("tag " + std::to_string(tag));
    auto first = bytes; // in place of the palette's tag
    vex::util::put_le32(&first[20], tag);
    auto r = open_memory(first);
    ASSERT_TRUE(r);
    EXPECT_EQ(next(*r, 4).status, Status::kDamaged);
    EXPECT_EQ(std::string(vex::util::last_reason()),
              "frame 1 has an unknown tag " + std::to_string(tag) + " at byte 20");

    auto second = bytes; // in place of the pixels' tag, after the palette
    vex::util::put_le32(&second[20 + 772], tag);
    r = open_memory(second);
    ASSERT_TRUE(r);
    EXPECT_EQ(next(*r, 4).status, Status::kDamaged);
    EXPECT_EQ(std::string(vex::util::last_reason()),
              "frame 1 has an unknown tag " + std::to_string(tag) + " at byte 792");
  }

  auto r = open_memory(bytes);
  ASSERT_TRUE(r);
  std::vector<uint8_t> rows(16);
  bool changed = true;
  EXPECT_EQ(r->next_frame(rows.data(), 3, nullptr, changed), Status::kInvalidArgument);
  EXPECT_EQ(r->next_frame(nullptr, 4, nullptr, changed), Status::kInvalidArgument);
  EXPECT_EQ(r->next_frame(rows.data(), -4, nullptr, changed), Status::kInvalidArgument);
  // A null palette skips the palettes but still says one came.
  EXPECT_EQ(r->next_frame(rows.data(), 4, nullptr, changed), Status::kOk);
  EXPECT_TRUE(changed);
  EXPECT_EQ(std::vector<uint8_t>(rows.begin(), rows.begin() + 8), m.frames[0].pixels);
}

} // namespace
