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

using Types = std::vector<std::vector<uint32_t>>;

ByteVec noise(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  ByteVec b(n);
  for (auto &v : b)
    v = static_cast<uint8_t>(rng());
  return b;
}

std::vector<flic::FrameInfo> layout(const std::string &path) {
  VEXFLIC *h = VEXFlicOpen(path.c_str());
  EXPECT_NE(h, nullptr) << path;
  if (!h)
    return {};
  auto frames = flic::scan_frames(h);
  VEXFlicClose(h);
  return frames;
}

class Writer : public ::testing::Test {
protected:
  TempDir dir;
  std::string path = dir.file("w.flc");
};

TEST_F(Writer, HeaderFieldsAtCreateAndAtClose) {
  for (auto [w, h, rate, speed, creator, ax, ay] :
       {std::tuple<uint32_t, uint32_t, int32_t, uint32_t, uint32_t, uint32_t, uint32_t>{320, 200, -3336, 33, -3336, 6, 5},
        {64, 30, 66, 66, 0, 1, 1},
        {320, 240, -99, 0, -99, 1, 1}}) {
    SCOPED_TRACE(rate);
    VEXOFLIC *f = VEXOFlicCreate(path.c_str(), w, h, rate);
    ASSERT_NE(f, nullptr);
    const ByteVec a(size_t{w} * h, 1);
    for (int i = 0; i < 10; ++i) {
      ASSERT_EQ(VEXOFlicPutNext(f, a.data(), nullptr), 1);
    }
    const uint32_t size = VEXOFlicClose(f);
    const ByteVec b = load_bytes(path);
    ASSERT_EQ(size, b.size());
    // Size, magic, frames, width, height, depth, flags, speed, creator,
    // aspect x and y, frame 1 and frame 2 offsets.
    const auto frames = layout(path);
    ASSERT_EQ(frames.size(), 11u) << "10 frames and the ring frame";
    EXPECT_EQ(std::vector<uint32_t>({get_le32(b, 0), get_le16(b, 4), get_le16(b, 6), get_le16(b, 8), get_le16(b, 10),
                                     get_le16(b, 12), get_le16(b, 14), get_le32(b, 16), get_le32(b, 26),
                                     get_le16(b, 38), get_le16(b, 40), get_le32(b, 80), get_le32(b, 84)}),
              std::vector<uint32_t>({size, 0xAF12, 10, w, h, 8, 3, speed, creator, ax, ay, 128, frames[1].offset}));
    EXPECT_EQ(frames[0].offset + frames[0].size, frames[1].offset) << "frame 2 starts just after frame 1";
    EXPECT_EQ(frames.back().offset + frames.back().size, size);
    VEXFLIC *r = VEXFlicOpen(path.c_str());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->rate, rate >= 0 ? -rate * 100 : rate) << "the reader gets the exact rate back";
    VEXFlicClose(r);
  }
}

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

struct Put {
  const ByteVec *pixels;
  const ByteVec *palette; // null: none given
};

struct Sized {
  size_t frame;
  int chunk; // -1: the frame chunk
  uint32_t size;
};

struct WriterCase {
  const char *name;
  uint32_t w, h;
  std::vector<Put> puts;
  Types types; // sub-chunk types of every frame, the ring frame included
  std::vector<Sized> sizes;
  std::vector<std::pair<size_t, ByteVec>> first_chunk_data; // (frame, the data of its first sub-chunk)
};

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
  const WriterCase cases[] = {
      // 200 rows of: count byte, then runs of 127, 127 and 66 zeros.
      {"closing without frames writes the zero picture", 320, 200, {}, {{15}}, {{0, -1, 16 + 6 + 200 * 7}}, {}},
      // Single colour: BYTE_RUN, 7 bytes per row (count byte + 3 runs), after
      // the first palette with all 256 entries. The identical frames are
      // bare 16-byte chunks; one pixel is a byte delta (first line 50, 1
      // line, 1 packet: skip 10, copy 1); noise is raw; the ring frame goes
      // back from noise to a single colour.
      {"320 x 200: byte runs, bare frames, byte deltas and raw",
       320,
       200,
       {{&one, &red}, {&one, &red}, {&one, &red}, {&moved, &red}, {&rnd, nullptr}},
       {{4, 15}, {}, {}, {12}, {16}, {12}},
       {{0, 1, 6 + 200 * 7}, {1, -1, 16}, {0, 0, 6 + 2 + 2 + 768}, {3, 0, 6 + 4 + 1 + 3}},
       {}},
      // Line count, a skip of 479 lines (one word), packet count, then three
      // 4-byte packets: a skip holds at most 254 bytes, so words 127 and 255
      // (unchanged) go out as one-word literals before the changed word 319.
      {"640 x 480: word deltas, raw when nothing is smaller",
       640,
       480,
       {{&big, nullptr}, {&big_moved, nullptr}, {&big2, nullptr}},
       {{16}, {7}, {16}, {16}},
       {{1, 0, 6 + 2 + 2 + 2 + 3 * 4}},
       {}},
      // Packets of the changed entries only: entry 5; entries 7 and 8, a
      // skip from entry 9 to 255, entry 255; nothing when unchanged. The
      // ring frame of a still picture is empty.
      {"palette chunks carry only the changed entries",
       4,
       2,
       {{&black, &ramp}, {&black, &ramp5}, {&black, &ramp789}, {&black, &ramp789}},
       {{4, 15}, {4}, {4}, {}, {}},
       {{3, -1, 16}},
       {{1, {1, 0, 5, 1, 15 ^ 0xFF, 16, 17}},
        {2, {2, 0, 7, 2, 20, 22, 23, 24, 25, 27, 246, 1, 253, 255, 255}}}},
  };
  for (const WriterCase &c : cases) {
    SCOPED_TRACE(c.name);
    VEXOFLIC *f = VEXOFlicCreate(path.c_str(), c.w, c.h, 50);
    ASSERT_NE(f, nullptr);
    for (const Put &p : c.puts) {
      ASSERT_EQ(VEXOFlicPutNext(f, p.pixels->data(), p.palette ? p.palette->data() : nullptr), 1);
    }
    VEXOFlicClose(f);
    const ByteVec b = load_bytes(path);
    EXPECT_EQ(get_le16(b, 6), c.puts.size());
    const auto frames = layout(path);
    Types types;
    for (const auto &fr : frames) {
      types.emplace_back();
      for (const auto &ch : fr.chunks)
        types.back().push_back(ch.type);
    }
    ASSERT_EQ(types, c.types);
    EXPECT_EQ(frames[0].offset, 128u);
    EXPECT_EQ(frames.back().offset + frames.back().size, b.size());
    for (const Sized &s : c.sizes) {
      EXPECT_EQ(s.chunk < 0 ? frames[s.frame].size : frames[s.frame].chunks[s.chunk].size, s.size)
          << "frame " << s.frame << " chunk " << s.chunk;
    }
    for (const auto &[frame, data] : c.first_chunk_data) {
      const uint32_t at = frames[frame].offset + 16;
      EXPECT_EQ(ByteVec(b.begin() + at + 6, b.begin() + at + get_le32(b, at)), data) << "frame " << frame;
    }
  }
}

// The decoders take each chunk's bytes as its size declares them, so the
// writers we have must declare exactly what they wrote: in every frame of
// our FLC writer and of the testkit's FLI writer (FFmpeg has no FLIC
// writer), the chunks' sizes add up to the frame's and their count is the
// declared one; no frame, the last included, is cut short.
TEST_F(Writer, ChunkSizesAddUpToTheirFrames) {
  PatternOptions o{
      .width = 320, .height = 200, .frames = 14, .cycle = true, .noise = true, .stills = true, .solid = true};
  ASSERT_NE(write_flc(PatternAnimation(o), 50, path), 0u);
  const std::string fli = dir.file("w.fli");
  ASSERT_FALSE(write_fli(PatternAnimation(o), 5, fli).empty());
  for (const std::string &name : {path, fli}) {
    const auto frames = layout(name);
    ASSERT_GE(frames.size(), 14u) << name; // the FLC adds a ring frame
    for (const auto &f : frames) {
      uint64_t sum = 16;
      for (const auto &c : f.chunks)
        sum += c.size;
      EXPECT_EQ(sum, f.size) << name << " frame at " << f.offset;
      EXPECT_EQ(f.chunks.size(), f.declared_chunks) << name << " frame at " << f.offset;
      EXPECT_FALSE(f.truncated);
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

void expect_frames(const std::vector<ByteVec> &want, const std::vector<ByteVec> &got, const char *who) {
  ASSERT_GE(got.size(), want.size()) << who;
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_TRUE(got[i] == want[i]) << who << ": frame " << i + 1 << " differs";
  }
}

// Our FLC files and the testkit's FLI files decode alike in ffmpeg, our
// reader and the generator. The ffmpeg tool (5.1) skips raw-picture
// (FLI_COPY) chunks when the width is not a multiple of 4, so whole-picture
// noise, which only codes raw, goes through at 324; 322 checks the other
// encodings with a pitch (324) wider than the picture. ffmpeg also shows
// the FLC's ring frame, which must bring back the pixels of frame 1; it
// carries no palette, so they show in the last palette.
TEST_F(Writer, FfmpegDecodesOurFlcAndTheTestkitsFliAlike) {
  const struct {
    bool flc;
    PatternOptions o;
  } cases[] = {
      {true,
       {.width = 320, .height = 200, .frames = 26, .cycle = true, .noise = true, .stills = true, .solid = true,
        .solid_colour = 42}},
      {true, {.width = 640, .height = 480, .frames = 14, .cycle = true, .solid = true}},
      {true, {.width = 324, .height = 101, .frames = 6, .noise_full = true}},
      {true, {.width = 322, .height = 101, .frames = 12, .noise = true, .solid = true}},
      {true, {.width = 64, .height = 48, .frames = 25, .scroll = false, .cycle = true, .stills = true}},
      {true, {.width = 4, .height = 3, .frames = 5, .noise = true}},
      {false,
       {.width = 321, .height = 200, .frames = 14, .cycle = true, .noise = true, .stills = true, .solid = true,
        .six_bit = true}},
      {false, {.width = 320, .height = 200, .frames = 10, .noise_full = true, .six_bit = true}},
      {false, {.width = 17, .height = 5, .frames = 9, .cycle = true, .six_bit = true}},
  };
  std::map<uint16_t, int> used;
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.flc ? "FLC " : "FLI ") + std::to_string(c.o.width) + "x" + std::to_string(c.o.height));
    const PatternAnimation anim(c.o);
    const std::string name = dir.file(c.flc ? "a.flc" : "a.fli");
    if (c.flc) {
      ASSERT_NE(write_flc(anim, -4000, name), 0u);
    } else {
      for (const auto &[type, n] : write_fli(anim, 5, name))
        used[type] += n;
    }
    const auto drawn = generator_rgb(anim), ours = read_flic_rgb(name);
    const auto theirs = ffmpeg_decode_rgb(name, c.o.width, c.o.height);
    ASSERT_EQ(ours.size(), drawn.size());
    expect_frames(drawn, ours, "our reader");
    expect_frames(drawn, theirs, "ffmpeg");
    ASSERT_EQ(theirs.size(), drawn.size() + (c.flc ? 1 : 0));
    if (c.flc) {
      const Frame8 first = anim.frame(0), last = anim.frame(anim.frames() - 1);
      EXPECT_TRUE(theirs.back() ==
                  to_rgb(first.pixels.data(), first.width, first.height, first.width, last.palette.data()))
          << "ring frame";
    }
  }
  for (uint16_t type : {11, 12, 13, 15, 16}) {
    EXPECT_GT(used[type], 0) << "every FLI chunk type took part: " << type;
  }
}

} // namespace
} // namespace vex::testkit
