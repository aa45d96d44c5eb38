// The FLC writer: header fields, the chunk it picks for each frame, palette
// packets, the ring frame, the completed header and the write-error flag.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "flic/flic_scan.h"
#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_bytes.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/flic.h"

namespace vex::testkit {
namespace {

class Writer : public ::testing::Test {
protected:
  TempDir dir_;
  std::string path = dir_.file("w.flc");
  std::vector<vex::flic::FrameInfo> layout() {
    VEXFLIC *h = VEXFlicOpen(path.c_str());
    EXPECT_NE(h, nullptr);
    if (!h)
      return {};
    auto frames = vex::flic::scan_frames(h);
    VEXFlicClose(h);
    return frames;
  }
  // Sub-chunk types of every frame, ring frame included.
  std::vector<std::vector<uint32_t>> types() {
    std::vector<std::vector<uint32_t>> t;
    for (const auto &f : layout()) {
      t.emplace_back();
      for (const auto &c : f.chunks)
        t.back().push_back(c.type);
    }
    return t;
  }
};

using Types = std::vector<std::vector<uint32_t>>;

ByteVec solid(size_t n, uint8_t v) { return ByteVec(n, v); }

ByteVec noise(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  ByteVec b(n);
  for (auto &v : b)
    v = static_cast<uint8_t>(rng());
  return b;
}

TEST_F(Writer, HeaderFieldsAtCreateAndAtClose) {
  for (auto [w, h, rate, speed, creator, ax, ay] :
       {std::tuple<uint32_t, uint32_t, int32_t, uint32_t, uint32_t, uint32_t, uint32_t>{320, 200, -3336, 33, -3336, 6, 5},
        {64, 30, 66, 66, 0, 1, 1},
        {320, 240, -99, 0, -99, 1, 1}}) {
    VEXOFLIC *f = VEXOFlicCreate(path.c_str(), w, h, rate);
    ASSERT_NE(f, nullptr);
    const ByteVec a = solid(size_t{w} * h, 1);
    for (int i = 0; i < 10; ++i)
      ASSERT_EQ(VEXOFlicPutNext(f, a.data(), nullptr), 1);
    const uint32_t size = VEXOFlicClose(f);
    const ByteVec b = load_bytes(path);
    ASSERT_EQ(size, b.size());
    EXPECT_EQ(get_le32(b, 0), size);
    EXPECT_EQ(get_le16(b, 4), 0xAF12u);
    EXPECT_EQ(get_le16(b, 6), 10u);
    EXPECT_EQ(get_le16(b, 8), w);
    EXPECT_EQ(get_le16(b, 10), h);
    EXPECT_EQ(get_le16(b, 12), 8u);
    EXPECT_EQ(get_le16(b, 14), 3u);
    EXPECT_EQ(get_le32(b, 16), speed);
    EXPECT_EQ(get_le32(b, 26), creator);
    EXPECT_EQ(get_le16(b, 38), ax);
    EXPECT_EQ(get_le16(b, 40), ay);
    EXPECT_EQ(get_le32(b, 80), 128u);
    // Frame 2 starts just after frame 1; 10 frames plus the ring frame.
    const auto frames = layout();
    ASSERT_EQ(frames.size(), 11u);
    EXPECT_EQ(get_le32(b, 84), frames[1].offset);
    EXPECT_EQ(frames[0].offset + frames[0].size, frames[1].offset);
    EXPECT_EQ(frames.back().offset + frames.back().size, size);
    // The reader gets the exact rate back.
    VEXFLIC *r = VEXFlicOpen(path.c_str());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->rate, rate >= 0 ? -rate * 100 : rate);
    VEXFlicClose(r);
  }
}

TEST_F(Writer, RefusesOddZeroAndOversizedPicturesAndAddsTheExtension) {
  EXPECT_EQ(VEXOFlicCreate(path.c_str(), 321, 10, 50), nullptr);
  EXPECT_EQ(VEXOFlicCreate(path.c_str(), 0, 10, 50), nullptr);
  EXPECT_EQ(VEXOFlicCreate(path.c_str(), 10, 0, 50), nullptr);
  EXPECT_EQ(VEXOFlicCreate(path.c_str(), 65536, 2, 50), nullptr);
  EXPECT_EQ(VEXOFlicCreate(path.c_str(), 2, 65536, 50), nullptr);
  EXPECT_EQ(VEXOFlicCreate(dir_.file("no/such/folder.flc").c_str(), 2, 2, 50), nullptr);
  EXPECT_EQ(VEXOFlicCreate(std::string(200, 'x').c_str(), 2, 2, 50), nullptr);
  EXPECT_FALSE(std::filesystem::exists(path));
  VEXOFLIC *f = VEXOFlicCreate(dir_.file("plain").c_str(), 2, 2, 50);
  ASSERT_NE(f, nullptr);
  VEXOFlicClose(f);
  EXPECT_TRUE(std::filesystem::exists(dir_.file("plain.flc")));
  EXPECT_EQ(VEXOFlicClose(nullptr), 0u);
  EXPECT_EQ(VEXOFlicPutNext(nullptr, nullptr, nullptr), 0);
}

TEST_F(Writer, ClosingWithoutFramesWritesTheZeroPicture) {
  VEXOFLIC *f = VEXOFlicCreate(path.c_str(), 320, 200, 50);
  ASSERT_NE(f, nullptr);
  VEXOFlicClose(f);
  const ByteVec b = load_bytes(path);
  EXPECT_EQ(get_le16(b, 6), 0u);
  // 200 rows of: count byte, then runs of 127, 127 and 66 zeros.
  EXPECT_EQ(types(), (Types{{15}}));
  ASSERT_EQ(b.size(), 128u + 16 + 6 + 200 * 7);
}

TEST_F(Writer, PicksTheEncodingFrameByFrame) {
  const size_t n = 320 * 200;
  VEXOFLIC *f = VEXOFlicCreate(path.c_str(), 320, 200, 50);
  ASSERT_NE(f, nullptr);
  ByteVec pal(768, 0);
  pal[3] = 255;
  const ByteVec one = solid(n, 1);
  ByteVec moved = one;
  moved[320 * 50 + 10] = 2;
  for (const ByteVec *fr : std::initializer_list<const ByteVec *>{&one, &one, &one, &moved})
    ASSERT_EQ(VEXOFlicPutNext(f, fr->data(), pal.data()), 1);
  const ByteVec rnd = noise(n, 1);
  ASSERT_EQ(VEXOFlicPutNext(f, rnd.data(), nullptr), 1);
  VEXOFlicClose(f);
  // Single colour: BYTE_RUN, 7 bytes per row (count byte + 3 runs). The
  // identical frames are bare 16-byte chunks; one pixel is a byte delta;
  // noise is raw; the ring frame goes back from noise to a single colour.
  EXPECT_EQ(types(), (Types{{4, 15}, {}, {}, {12}, {16}, {12}}));
  const auto frames = layout();
  EXPECT_EQ(frames[0].chunks[1].size, 6u + 200 * 7);
  EXPECT_EQ(frames[1].size, 16u);
  EXPECT_EQ(frames[0].chunks[0].size, 6u + 2 + 2 + 768); // first palette: all 256 entries
  // One changed pixel of line 50: first line 50, 1 line, 1 packet: skip 10, copy 1.
  EXPECT_EQ(frames[3].chunks[0].size, 6u + 4 + 1 + 3);
}

TEST_F(Writer, WordDeltasForOtherSizesAndRawWhenNothingIsSmaller) {
  const size_t n = 640 * 480;
  VEXOFLIC *f = VEXOFlicCreate(path.c_str(), 640, 480, 50);
  ASSERT_NE(f, nullptr);
  const ByteVec rnd = noise(n, 2), rnd2 = noise(n, 3);
  ByteVec moved = rnd;
  moved[640 * 479 + 639] ^= 1;
  for (const ByteVec *fr : std::initializer_list<const ByteVec *>{&rnd, &moved, &rnd2})
    ASSERT_EQ(VEXOFlicPutNext(f, fr->data(), nullptr), 1);
  VEXOFlicClose(f);
  EXPECT_EQ(types(), (Types{{16}, {7}, {16}, {16}}));
  // Line count, a skip of 479 lines (one word), packet count, then three
  // 4-byte packets: a skip holds at most 254 bytes, so words 127 and 255
  // (unchanged) go out as one-word literals before the changed word 319.
  EXPECT_EQ(layout()[1].chunks[0].size, 6u + 2 + 2 + 2 + 3 * 4);
}

TEST_F(Writer, PaletteChunksCarryOnlyTheChangedEntries) {
  VEXOFLIC *f = VEXOFlicCreate(path.c_str(), 4, 2, 50);
  ASSERT_NE(f, nullptr);
  const ByteVec px = solid(8, 0);
  ByteVec pal(768);
  for (int i = 0; i < 768; ++i)
    pal[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(VEXOFlicPutNext(f, px.data(), pal.data()), 1);
  pal[15] ^= 0xFF; // entry 5
  ASSERT_EQ(VEXOFlicPutNext(f, px.data(), pal.data()), 1);
  pal[3 * 7] ^= 1; // entries 7, 8 and 255
  pal[3 * 8 + 2] ^= 1;
  pal[3 * 255 + 1] ^= 1;
  ASSERT_EQ(VEXOFlicPutNext(f, px.data(), pal.data()), 1);
  ASSERT_EQ(VEXOFlicPutNext(f, px.data(), pal.data()), 1); // unchanged: nothing
  VEXOFlicClose(f);
  const ByteVec b = load_bytes(path);
  const auto frames = layout();
  ASSERT_EQ(frames.size(), 5u);
  auto chunk_data = [&](size_t frame) {
    const uint32_t at = frames[frame].offset + 16;
    return ByteVec(b.begin() + at + 6, b.begin() + at + get_le32(b, at));
  };
  EXPECT_EQ(chunk_data(1), (ByteVec{1, 0, 5, 1, 15 ^ 0xFF, 16, 17}));
  const ByteVec third = chunk_data(2);
  EXPECT_EQ(ByteVec(third.begin(), third.begin() + 4), (ByteVec{2, 0, 7, 2}));
  EXPECT_EQ(ByteVec(third.begin() + 10, third.begin() + 12), (ByteVec{246, 1})); // skip from entry 9 to 255
  EXPECT_EQ(third.size(), 2u + 2 + 6 + 2 + 3);
  EXPECT_EQ(frames[3].size, 16u);
  EXPECT_TRUE(frames[4].chunks.empty()) << "the ring frame of a still picture is empty";
}

// The decoders take each chunk's bytes as its size declares them, so the
// writers we have must declare exactly what they wrote: in every frame of
// our FLC writer and of the testkit's FLI writer (FFmpeg has no FLIC
// writer), the chunks' sizes add up to the frame's and their count is the
// declared one.
TEST_F(Writer, ChunkSizesAddUpToTheirFrames) {
  PatternOptions o{
      .width = 320, .height = 200, .frames = 14, .cycle = true, .noise = true, .stills = true, .solid = true};
  ASSERT_NE(write_flc(PatternAnimation(o), 50, path), 0u);
  const std::string fli = dir_.file("w.fli");
  ASSERT_FALSE(write_fli(PatternAnimation(o), 5, fli).empty());
  for (const std::string &name : {path, fli}) {
    VEXFLIC *h = VEXFlicOpen(name.c_str());
    ASSERT_NE(h, nullptr) << name;
    const auto frames = vex::flic::scan_frames(h);
    VEXFlicClose(h);
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

} // namespace
} // namespace vex::testkit
