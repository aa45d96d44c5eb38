// The FLC writer: header fields, the chunk it picks for each frame, palette
// packets, the ring frame, the completed header and the write-error flag;
// and, as an independent check, the ffmpeg tool decodes what our writer and
// the testkit's FLI writer produce to the pixels the generator drew.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "flic/flic_scan.h"
#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_bytes.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/flic.h"

namespace vex::testkit {
namespace {

// (type, size) of every sub-chunk of every frame, the ring frame included.
using Chunks = std::vector<std::vector<std::pair<uint32_t, uint32_t>>>;

ByteVec noise(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  ByteVec b(n);
  for (auto &v : b)
    v = static_cast<uint8_t>(rng());
  return b;
}

// The decoders take each chunk's bytes as its size declares them, so a
// writer must declare exactly what it wrote: in every frame the chunks'
// sizes add up to the frame's, their count is the declared one, and no
// frame, the last included, is cut short; the last one ends where the
// header's file size says.
Chunks chunks_of(const std::string &path) {
  Chunks out;
  VEXFLIC *h = VEXFlicOpen(path.c_str());
  EXPECT_NE(h, nullptr) << path;
  if (!h)
    return out;
  const auto frames = flic::scan_frames(h);
  EXPECT_EQ(frames.empty() ? 0 : frames.back().offset + frames.back().size, h->file_size) << path;
  for (const auto &f : frames) {
    uint64_t sum = 16;
    out.emplace_back();
    for (const auto &c : f.chunks) {
      sum += c.size;
      out.back().emplace_back(c.type, c.size);
    }
    EXPECT_EQ(sum, f.size) << path << " frame at " << f.offset;
    EXPECT_EQ(f.chunks.size(), f.declared_chunks) << path << " frame at " << f.offset;
    EXPECT_FALSE(f.truncated) << path << " frame at " << f.offset;
  }
  VEXFlicClose(h);
  return out;
}

class Writer : public ::testing::Test {
protected:
  TempDir dir;
  std::string path = dir.file("w.flc");
};

TEST_F(Writer, RefusesOddZeroAndOversizedPicturesAndAddsTheExtension) {
  for (auto [name, w, h] : {std::tuple<std::string, uint32_t, uint32_t>{path, 321, 10}, {path, 0, 10}, {path, 10, 0},
                            {path, 65536, 2}, {path, 2, 65536}, {dir.file("no/such/folder.flc"), 2, 2},
                            {std::string(200, 'x'), 2, 2}})
    EXPECT_EQ(VEXOFlicCreate(name.c_str(), w, h, 50), nullptr) << name << " " << w << " x " << h;
  EXPECT_FALSE(std::filesystem::exists(path));
  VEXOFLIC *f = VEXOFlicCreate(dir.file("plain").c_str(), 2, 2, 50);
  ASSERT_NE(f, nullptr);
  VEXOFlicClose(f);
  EXPECT_TRUE(std::filesystem::exists(dir.file("plain.flc")));
  EXPECT_EQ(VEXOFlicClose(nullptr), 0u);
  EXPECT_EQ(VEXOFlicPutNext(nullptr, nullptr, nullptr), 0);
}

// The header at close (speed and creator from the rate: whole milliseconds
// and the exact rate; 6:5 pixels at 320 x 200 only) and the sub-chunks of every
// frame, hand-worked: a whole palette is one packet
// of 256 entries (6 + 2 + 2 + 768 bytes); a single colour is a BYTE_RUN of
// 7 bytes a row of 320 (count byte, runs of 127, 127 and 66); identical
// frames are bare frame chunks; 320 x 200 takes byte deltas, other sizes
// word deltas; what no encoding makes smaller is raw.
TEST_F(Writer, PicksTheChunksFrameByFrame) {
  const ByteVec one(320 * 200, 1), rnd = noise(320 * 200, 1), big = noise(640 * 480, 2), big2 = noise(640 * 480, 3);
  ByteVec moved = one, big_moved = big, red(768, 0), ramp(768), ramp5, ramp789, black(8, 0);
  moved[320 * 50 + 10] = 2;
  big_moved[640 * 479 + 639] ^= 1;
  red[3] = 255;
  for (int i = 0; i < 768; ++i)
    ramp[i] = static_cast<uint8_t>(i);
  ramp5 = ramp;
  ramp5[15] ^= 0xFF; // entry 5
  ramp789 = ramp5;
  ramp789[3 * 7] ^= 1; // entries 7, 8 and 255
  ramp789[3 * 8 + 2] ^= 1;
  ramp789[3 * 255 + 1] ^= 1;
  const uint32_t pal = 6 + 4 + 768, run = 6 + 200 * 7, raw = 6 + 640 * 480;
  const struct {
    const char *name;
    struct {
      uint32_t w, h;
      int32_t rate;
      uint32_t speed;
      int32_t creator; // the header fields they give, with the aspect
      uint32_t aspect_x, aspect_y;
    } made;
    std::vector<std::pair<const ByteVec *, const ByteVec *>> puts; // pixels, palette (null: none)
    Chunks want;                                                   // size 0: not checked
    std::vector<std::pair<size_t, ByteVec>> first_chunk_data;      // (frame, the data of its first sub-chunk)
  } cases[] = {
      {"closing without frames writes the zero picture",
       {320, 240, -3336, 33, -3336, 1, 1},
       {},
       {{{15, run + 40 * 7}}},
       {}},
      // One pixel as a byte delta: first line 50, 1 line, 1 packet (skip 10,
      // copy 1); the ring frame goes back from noise to a single colour.
      {"320 x 200: byte runs, bare frames, byte deltas and raw",
       {320, 200, 66, 66, 0, 6, 5},
       {{&one, &red}, {&one, &red}, {&one, &red}, {&moved, &red}, {&rnd, nullptr}},
       {{{4, pal}, {15, run}}, {}, {}, {{12, 6 + 4 + 1 + 3}}, {{16, 6 + 320 * 200}}, {{12, 0}}},
       {}},
      // Line count, a skip of 479 lines (one word), packet count, then three
      // 4-byte packets: a skip holds at most 254 bytes, so words 127 and 255
      // (unchanged) go out as one-word literals before the changed word 319.
      {"640 x 480: word deltas, raw when nothing is smaller",
       {640, 480, -99, 0, -99, 1, 1},
       {{&big, nullptr}, {&big_moved, nullptr}, {&big2, nullptr}},
       {{{16, raw}}, {{7, 6 + 2 + 2 + 2 + 3 * 4}}, {{16, raw}}, {{16, raw}}},
       {}},
      // Packets of the changed entries only: entry 5; entries 7 and 8, a
      // skip from entry 9 to 255, entry 255; nothing when unchanged. The
      // black 4 x 2 is two rows of a count byte and one run; the ring frame
      // of a still picture is empty.
      {"palette chunks carry only the changed entries",
       {4, 2, 50, 50, 0, 1, 1},
       {{&black, &ramp}, {&black, &ramp5}, {&black, &ramp789}, {&black, &ramp789}},
       {{{4, pal}, {15, 6 + 2 * 3}}, {{4, 6 + 7}}, {{4, 6 + 15}}, {}, {}},
       {{1, {1, 0, 5, 1, 15 ^ 0xFF, 16, 17}},
        {2, {2, 0, 7, 2, 20, 22, 23, 24, 25, 27, 246, 1, 253, 255, 255}}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const auto &m = c.made;
    VEXOFLIC *f = VEXOFlicCreate(path.c_str(), m.w, m.h, m.rate);
    ASSERT_NE(f, nullptr);
    for (const auto &[pixels, palette] : c.puts) {
      ASSERT_EQ(VEXOFlicPutNext(f, pixels->data(), palette ? palette->data() : nullptr), 1);
    }
    const uint32_t size = VEXOFlicClose(f);
    const ByteVec b = load_bytes(path);
    ASSERT_EQ(size, b.size());
    // Size, magic, frames, width, height, depth, flags, speed, creator,
    // aspect x and y, frame 1 and frame 2 (just after frame 1) offsets.
    EXPECT_EQ(std::vector<uint32_t>({get_le32(b, 0), get_le16(b, 4), get_le16(b, 6), get_le16(b, 8), get_le16(b, 10),
                                     get_le16(b, 12), get_le16(b, 14), get_le32(b, 16), get_le32(b, 26),
                                     get_le16(b, 38), get_le16(b, 40), get_le32(b, 80), get_le32(b, 84)}),
              std::vector<uint32_t>({size, 0xAF12, uint32_t(c.puts.size()), m.w, m.h, 8, 3, m.speed,
                                     uint32_t(m.creator), m.aspect_x, m.aspect_y, 128, 128 + get_le32(b, 128)}));
    VEXFLIC *r = VEXFlicOpen(path.c_str());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->rate, m.rate >= 0 ? -m.rate * 100 : m.rate) << "the reader gets the exact rate back";
    VEXFlicClose(r);
    Chunks got = chunks_of(path);
    ASSERT_EQ(got.size(), c.want.size());
    for (size_t i = 0; i < got.size(); ++i)
      for (size_t k = 0; k < got[i].size() && k < c.want[i].size(); ++k)
        if (c.want[i][k].second == 0)
          got[i][k].second = 0;
    EXPECT_EQ(got, c.want);
    for (const auto &[frame, data] : c.first_chunk_data) {
      uint32_t at = 128;
      for (size_t i = 0; i < frame; ++i)
        at += get_le32(b, at);
      at += 16; // the frame header
      EXPECT_EQ(ByteVec(b.begin() + at + 6, b.begin() + at + get_le32(b, at)), data) << "frame " << frame;
    }
  }
}

TEST_F(Writer, FailedWritesSetTheErrorFlag) {
  std::filesystem::create_symlink("/dev/full", path);
  VEXOFLIC *f = VEXOFlicCreate(path.c_str(), 640, 480, 50);
  ASSERT_NE(f, nullptr) << "the header fits the buffer";
  const ByteVec rnd = noise(640 * 480, 4);
  EXPECT_EQ(f->error, 0u);
  EXPECT_EQ(VEXOFlicPutNext(f, rnd.data(), nullptr), 0);
  EXPECT_EQ(f->error, 1u);
  EXPECT_EQ(VEXOFlicPutNext(f, rnd.data(), nullptr), 0) << "later frames are still tried";
  VEXOFlicClose(f);
}

std::vector<ByteVec> generator_rgb(const PatternAnimation &a) {
  std::vector<ByteVec> out;
  for (uint32_t i = 0; i < a.frames(); ++i) {
    const Frame8 f = a.frame(i);
    out.push_back(to_rgb(f.pixels.data(), f.width, f.height, f.width, f.palette.data()));
  }
  return out;
}

// Our FLC files and the testkit's FLI files decode alike in ffmpeg, our
// reader and the generator. The ffmpeg tool (5.1) skips raw-picture
// (FLI_COPY) chunks when the width is not a multiple of 4, so whole-picture
// noise, which only codes raw, goes through at 324; 322 checks the other
// encodings with a pitch (324) wider than the picture. ffmpeg also shows
// the FLC's ring frame, which must bring back the pixels of frame 1; it
// carries no palette, so they show in the last palette. Both writers'
// chunk sizes must add up (chunks_of), and every chunk type takes part.
TEST_F(Writer, FfmpegDecodesOurFlcAndTheTestkitsFliAlike) {
  const struct {
    bool flc;
    PatternOptions o;
  } cases[] = {
      {true,
       {.width = 320, .height = 200, .frames = 26, .cycle = true, .noise = true, .stills = true, .solid = true,
        .solid_colour = 42}},
      {true, {.width = 324, .height = 101, .frames = 6, .noise_full = true}},
      {true, {.width = 322, .height = 101, .frames = 12, .noise = true, .solid = true}},
      {false,
       {.width = 321, .height = 200, .frames = 14, .cycle = true, .noise = true, .stills = true, .solid = true,
        .six_bit = true}},
      {false, {.width = 320, .height = 200, .frames = 10, .noise_full = true, .six_bit = true}},
  };
  std::map<uint32_t, int> used;
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.flc ? "FLC " : "FLI ") + std::to_string(c.o.width) + "x" + std::to_string(c.o.height));
    const PatternAnimation anim(c.o);
    const std::string name = dir.file(c.flc ? "a.flc" : "a.fli");
    if (c.flc) {
      ASSERT_NE(write_flc(anim, -4000, name), 0u);
    } else {
      ASSERT_FALSE(write_fli(anim, 5, name).empty());
    }
    for (const auto &frame : chunks_of(name))
      for (const auto &chunk : frame)
        ++used[chunk.first];
    const auto drawn = generator_rgb(anim), ours = read_flic_rgb(name);
    const auto theirs = ffmpeg_decode_rgb(name, c.o.width, c.o.height);
    ASSERT_EQ(ours.size(), drawn.size());
    ASSERT_EQ(theirs.size(), drawn.size() + (c.flc ? 1 : 0));
    for (size_t i = 0; i < drawn.size(); ++i) {
      EXPECT_TRUE(ours[i] == drawn[i]) << "our reader: frame " << i + 1 << " differs";
      EXPECT_TRUE(theirs[i] == drawn[i]) << "ffmpeg: frame " << i + 1 << " differs";
    }
    if (c.flc) {
      const Frame8 first = anim.frame(0), last = anim.frame(anim.frames() - 1);
      EXPECT_TRUE(theirs.back() ==
                  to_rgb(first.pixels.data(), first.width, first.height, first.width, last.palette.data()))
          << "ring frame";
    }
  }
  for (uint32_t type : {4, 7, 11, 12, 13, 15, 16}) {
    EXPECT_GT(used[type], 0) << "every chunk type took part: " << type;
  }
}

} // namespace
} // namespace vex::testkit
