// The reader on hand-made files: names, rates, header checks, palettes,
// looping, seeking and the margins of the frame buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "flic/flic_source.h"
#include "testkit/flic/flic_bytes.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/flic.h"

namespace vex::testkit {
namespace {

// A frame that writes pixel 0 with the value v (a one-row BYTE_RUN of a run
// of 1, then a run covering the rest of the row with 0).
ByteVec marker_frame(uint8_t v, uint16_t width) {
  ByteVec d = {0, 1, v};
  for (uint32_t left = width - 1u; left > 0;) {
    const uint32_t n = left > 127 ? 127 : left;
    d.push_back(static_cast<uint8_t>(n));
    d.push_back(0);
    left -= n;
  }
  return frame_chunk({{15, d}});
}

FlicHeader header(uint16_t magic, uint16_t frames, uint16_t w, uint16_t h) {
  FlicHeader hd;
  hd.magic = magic;
  hd.frames = frames;
  hd.width = w;
  hd.height = h;
  hd.speed = 70;
  return hd;
}

class Reader : public ::testing::Test {
protected:
  std::string save(const std::string &name, const ByteVec &bytes) {
    std::string path = dir.file(name);
    EXPECT_TRUE(save_bytes(path, bytes));
    return path;
  }
  TempDir dir;
};

TEST_F(Reader, NameWithoutExtensionTriesFlcThenFli) {
  save("both.flc", flic_file(header(0xAF12, 1, 4, 1), {marker_frame(1, 4)}));
  save("both.fli", flic_file(header(0xAF11, 1, 4, 1), {marker_frame(2, 4)}));
  save("only.fli", flic_file(header(0xAF11, 1, 8, 1), {marker_frame(3, 8)}));
  char name[VEXFILE_NAME_SIZE];
  VEXFLIC *h = VEXFlicOpen(dir.file("both").c_str());
  ASSERT_NE(h, nullptr);
  VEXFlicGetName(h, name);
  EXPECT_EQ(std::string(name), dir.file("both.flc"));
  VEXFlicClose(h);
  h = VEXFlicOpen(dir.file("only").c_str());
  ASSERT_NE(h, nullptr);
  VEXFlicGetName(h, name);
  EXPECT_EQ(std::string(name), dir.file("only.fli"));
  EXPECT_EQ(h->width, 8u);
  VEXFlicClose(h);
  EXPECT_EQ(VEXFlicOpen(dir.file("none").c_str()), nullptr);
  // A name with an extension is taken as it is.
  EXPECT_EQ(VEXFlicOpen(dir.file("only.flc").c_str()), nullptr);
  EXPECT_EQ(VEXFlicOpen(std::string(300, 'a').c_str()), nullptr);
}

// The same animation from memory and from its file: every frame, the loop
// back and the palettes alike; the memory reader has no name to give.
TEST_F(Reader, FromMemoryAsFromTheFile) {
  PatternOptions o{.width = 46, .height = 31, .frames = 9, .cycle = true, .noise = true};
  const std::string path = dir.file("p.flc");
  ASSERT_NE(write_flc(PatternAnimation(o), 50, path), 0u);
  const ByteVec bytes = load_bytes(path);
  file::ByteSource memory;
  memory.open(bytes);
  VEXFLIC *m = flic::open_flic(std::move(memory));
  VEXFLIC *f = VEXFlicOpen(path.c_str());
  ASSERT_NE(m, nullptr);
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> bm(size_t{m->pitch} * m->buffer_height, 1), bf(bm.size(), 2);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(VEXFlicGetNext(m, bm.data()), VEXFlicGetNext(f, bf.data())) << i;
    ASSERT_EQ(bm, bf) << "frame " << i + 1;
    ASSERT_EQ(0, std::memcmp(VEXFlicGetPalette(m), VEXFlicGetPalette(f), 768));
  }
  char name[VEXFILE_NAME_SIZE] = "untouched";
  VEXFlicGetName(m, name);
  EXPECT_STREQ(name, "untouched");
  VEXFlicClose(m);
  VEXFlicClose(f);
}

TEST_F(Reader, RatesFromSpeedAndCreatorFields) {
  struct Row {
    uint16_t magic;
    uint32_t speed, creator;
    int32_t rate;
  } rows[] = {
      {0xAF12, 66, static_cast<uint32_t>(-6667), -6667}, // exact rate kept
      {0xAF12, 66, 0, -6600},
      {0xAF12, 67, static_cast<uint32_t>(-6667), -6700}, // creator disagrees
      {0xAF12, 66, 6667, -6600},                         // positive creator ignored
      {0xAF12, 0, 0, -20000},
      {0xAF12, 30000, 0, -3000000},
      {0xAF12, 30001, 0, -20000},
      {0xAF12, 0xFFFFFFFF, 0, -20000},
      {0xAF11, 5, 0, -7143},   // 5/70 s = 71.428 ms
      {0xAF11, 1, 0, -1429},   // 14.2857 ms
      {0xAF11, 70, 0, -100000},
      {0xAF11, 0, 0, -20000},  // 14 ticks
      {0xAF11, 2101, 0, -20000},
      {0xAF11, 5, static_cast<uint32_t>(-7000), -7143}, // FLI ignores the creator
  };
  for (const Row &r : rows) {
    FlicHeader hd = header(r.magic, 1, 4, 1);
    hd.speed = r.speed;
    hd.creator = r.creator;
    const std::string path = save("r.flc", flic_file(hd, {marker_frame(1, 4)}));
    VEXFLIC *h = VEXFlicOpen(path.c_str());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->rate, r.rate) << "magic " << std::hex << r.magic << std::dec << " speed " << r.speed;
    VEXFlicClose(h);
  }
}

TEST_F(Reader, HeaderFieldsAndRefusedHeaders) {
  FlicHeader hd = header(0xAF12, 3, 321, 7);
  hd.frame1 = 200;
  ByteVec good = header_bytes(hd);
  good.resize(200, 0xEE); // frame 1 at 200, after a gap
  const ByteVec f = marker_frame(9, 321);
  for (int i = 0; i < 3; ++i)
    good.insert(good.end(), f.begin(), f.end());
  set_le32(good, 0, 12345);
  VEXFLIC *h = VEXFlicOpen(save("g.flc", good).c_str());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->file_size, 12345u);
  EXPECT_EQ(h->pitch, 324u);
  EXPECT_EQ(h->buffer_height, 8u);
  EXPECT_EQ(h->frame_count, 3u);
  EXPECT_EQ(h->width, 321u);
  EXPECT_EQ(h->height, 7u);
  EXPECT_EQ(h->frame1_offset, 200u);
  EXPECT_EQ(h->current_frame, 0u);
  std::vector<uint8_t> buf(324 * 8, 0xEE);
  EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FRAME);
  EXPECT_EQ(buf[0], 9);
  EXPECT_EQ(h->frame_data_size, f.size() - 16);
  for (size_t i = 0; i < 768; ++i)
    ASSERT_EQ(VEXFlicGetPalette(h)[i], 0) << "palettes start black";
  VEXFlicClose(h);

  ByteVec short_file(good.begin(), good.begin() + 127);
  EXPECT_EQ(VEXFlicOpen(save("s.flc", short_file).c_str()), nullptr);
  for (auto [offset, value] : {std::pair<size_t, uint32_t>{4, 0xAF13}, {4, 0x12AF}, {8, 0}, {10, 0}}) {
    ByteVec bad = good;
    set_le16(bad, offset, value);
    EXPECT_EQ(VEXFlicOpen(save("b.flc", bad).c_str()), nullptr) << offset << " = " << value;
  }
  ByteVec huge = good; // 65535 x 65535: pitch x buffer height would be 2^32
  set_le16(huge, 8, 65535);
  set_le16(huge, 10, 65535);
  EXPECT_EQ(VEXFlicOpen(save("h.flc", huge).c_str()), nullptr);
}

TEST_F(Reader, PalettePacketsSixAndEightBit) {
  // COLOR_64: skip 2, count 1 -> entry 2 only; 63 -> 255, 32 -> 130, 1 -> 4.
  const SubChunk c64{11, {1, 0, 2, 1, 63, 32, 1}};
  ByteVec all = {1, 0, 0, 0};
  for (int i = 0; i < 768; ++i)
    all.push_back(static_cast<uint8_t>(i % 251));
  const SubChunk c256{4, all};
  const std::string path =
      save("p.fli", flic_file(header(0xAF11, 3, 4, 1), {frame_chunk({c64}), marker_frame(1, 4), frame_chunk({c256})}));
  VEXFLIC *h = VEXFlicOpen(path.c_str());
  ASSERT_NE(h, nullptr);
  std::vector<uint8_t> buf(4 * 4);
  const uint8_t *pal = VEXFlicGetPalette(h);
  EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FRAME_NEW_PALETTE);
  for (int i = 0; i < 768; ++i) {
    const int want = i == 6 ? 255 : i == 7 ? 130 : i == 8 ? 4 : 0;
    ASSERT_EQ(pal[i], want) << "component " << i;
  }
  EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FRAME);
  EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FRAME_NEW_PALETTE);
  for (int i = 0; i < 768; ++i)
    ASSERT_EQ(pal[i], i % 251) << "skip 0 count 0 rewrites all 256 entries";
  VEXFlicClose(h);
}

TEST_F(Reader, LoopsToFrameOneAndNeverShowsTheRingFrame) {
  ByteVec file = flic_file(header(0xAF12, 3, 4, 1),
                           {marker_frame(1, 4), marker_frame(2, 4), marker_frame(3, 4), marker_frame(99, 4)});
  VEXFLIC *h = VEXFlicOpen(save("l.flc", file).c_str());
  ASSERT_NE(h, nullptr);
  std::vector<uint8_t> buf(16, 0);
  std::vector<int> seen;
  for (int i = 0; i < 7; ++i) {
    ASSERT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FRAME);
    seen.push_back(buf[0]);
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 1, 2, 3, 1}));
  VEXFlicClose(h);
}

// Frames that add 1 to pixel 0 (a DELTA_FLI copy of the running count
// cannot do that, so each frame stores its number): Goto tells by pixel 0
// and by the current frame which frames were decoded.
TEST_F(Reader, GotoForwardBackwardPastTheEndAndToZero) {
  std::vector<ByteVec> frames;
  for (uint8_t i = 1; i <= 5; ++i)
    frames.push_back(frame_chunk({{12, {0, 0, 1, 0, 1, 0, 1, i}}})); // line 0, 1 line, 1 packet: skip 0, copy 1
  frames[2] = frame_chunk({{4, {1, 0, 7, 1, 10, 20, 30}}, {12, {0, 0, 1, 0, 1, 0, 1, 3}}}); // frame 3 sets a colour
  VEXFLIC *h = VEXFlicOpen(save("g.flc", flic_file(header(0xAF12, 5, 4, 2), frames)).c_str());
  ASSERT_NE(h, nullptr);
  std::vector<uint8_t> buf(4 * 4, 0);
  EXPECT_EQ(VEXFlicGoto(h, 2, buf.data()), VEXFLIC_FRAME);
  EXPECT_EQ(buf[0], 2);
  EXPECT_EQ(VEXFlicGoto(h, 4, buf.data()), VEXFLIC_FRAME_NEW_PALETTE); // passes frame 3
  EXPECT_EQ(h->current_frame, 4u);
  EXPECT_EQ(buf[0], 4);
  EXPECT_EQ(VEXFlicGoto(h, 1000, buf.data()), VEXFLIC_FRAME);
  EXPECT_EQ(h->current_frame, 5u);
  EXPECT_EQ(buf[0], 5);
  EXPECT_EQ(VEXFlicGoto(h, 1, buf.data()), VEXFLIC_FRAME); // backwards: from the start
  EXPECT_EQ(h->current_frame, 1u);
  EXPECT_EQ(buf[0], 1);
  buf[0] = 77;
  EXPECT_EQ(VEXFlicGoto(h, 1, buf.data()), VEXFLIC_FRAME); // the same frame is decoded again
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(VEXFlicGoto(h, 0, buf.data()), VEXFLIC_FRAME); // only rewinds
  EXPECT_EQ(h->current_frame, 0u);
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FRAME);
  EXPECT_EQ(buf[0], 1);
  VEXFlicClose(h);
  EXPECT_EQ(VEXFlicGoto(nullptr, 1, buf.data()), VEXFLIC_FAILED);
  EXPECT_EQ(VEXFlicGetNext(nullptr, buf.data()), VEXFLIC_FAILED);
}

TEST_F(Reader, OddWidthMarginsAreColourZeroAfterFrameOne) {
  // 321 x 3 raw picture of 0xFF; pitch 324, buffer height 4.
  const ByteVec white(321 * 3, 0xFF);
  ByteVec file = flic_file(header(0xAF11, 2, 321, 3), {frame_chunk({{16, white}}), frame_chunk({})});
  VEXFLIC *h = VEXFlicOpen(save("o.fli", file).c_str());
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(h->pitch, 324u);
  std::vector<uint8_t> buf(324 * 4, 0xAB);
  ASSERT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FRAME);
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 324; ++x)
      ASSERT_EQ(buf[y * 324 + x], y < 3 && x < 321 ? 0xFF : 0) << x << "," << y;
  VEXFlicClose(h);
}

} // namespace
} // namespace vex::testkit
