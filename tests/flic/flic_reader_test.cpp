// The reader on hand-made files: names, rates, header fields, palettes,
// looping, seeking, the margins of the frame buffer, and bad files
// (truncations, sizes past the file or the parent, lying counts, frame
// counts of 0 and 65535): the open fails or the frames decode as far as the
// data is sound, and VEXFlicGoto always ends. What the graphics source
// says of a bad file is in tests/gfile/bad_inputs/flic_rows.cpp.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "flic/flic_scan.h"
#include "flic/flic_source.h"
#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_bytes.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/flic/flic_test_frames.h"
#include "testkit/util/fault_positions.h"
#include "testkit/util/temp_dir.h"
#include "util/status.h"
#include "vexutil/flic.h"
#include "vexutil/util.h"

namespace vex::testkit {
namespace {

class Reader : public ::testing::Test {
protected:
  std::string save(const std::string &name, const ByteVec &bytes) {
    std::string path = dir.file(name);
    EXPECT_TRUE(save_bytes(path, bytes));
    return path;
  }
  VEXFLIC *open(const ByteVec &bytes) { return VEXFlicOpen(save("f.flc", bytes).c_str()); }
  TempDir dir;
};

// One call of the reader and what it must answer: the result, the current
// frame (-1: not checked), the first bytes of the buffer and the palette
// (empty: not checked).
struct Step {
  enum Op { next, go, poke } op; // poke: write n to buffer byte 0
  uint32_t n;
  uint8_t result = VEXFLIC_FRAME;
  int64_t current = -1;
  ByteVec pixels = {};
  ByteVec palette = {};
};

struct PlayCase {
  const char *name;
  ByteVec file;
  std::vector<Step> steps;
};

ByteVec palette_with(std::initializer_list<std::pair<int, uint8_t>> set) {
  ByteVec p(768, 0);
  for (auto [at, v] : set)
    p[at] = v;
  return p;
}

std::vector<PlayCase> play_cases() {
  // Frames that store their number in pixel 0 by a DELTA_FLI copy (a count
  // cannot be added to, so Goto tells by pixel 0 which frame was decoded);
  // frame 3 also sets colour 7.
  std::vector<ByteVec> numbered;
  for (uint8_t i = 1; i <= 5; ++i)
    numbered.push_back(frame_chunk({{VEXFLIC_DELTA_FLI, {0, 0, 1, 0, 1, 0, 1, i}}}));
  numbered[2] = frame_chunk({{VEXFLIC_COLOR_256, {1, 0, 7, 1, 10, 20, 30}}, {VEXFLIC_DELTA_FLI, {0, 0, 1, 0, 1, 0, 1, 3}}});
  // COLOR_64: skip 2, count 1 -> entry 2 only; 63 -> 255, 32 -> 130, 1 -> 4.
  // COLOR_256 of skip 0, count 0 rewrites all 256 entries.
  ByteVec all = {1, 0, 0, 0}, all_palette;
  for (int i = 0; i < 768; ++i)
    all_palette.push_back(static_cast<uint8_t>(i % 251));
  all.insert(all.end(), all_palette.begin(), all_palette.end());
  FlicHeader far = flic_header(2);
  far.frame1 = 0xFFFFFFF0;
  const ByteVec white(321 * 3, 0xFF);
  ByteVec margins; // 321 x 3 of 0xFF in a buffer of 324 x 4
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 324; ++x)
      margins.push_back(y < 3 && x < 321 ? 0xFF : 0);
  using S = Step;
  const auto px = [](uint8_t v) { return ByteVec{v}; };
  return {
      {"loops to frame one and never shows the ring frame",
       flic_file(flic_header(3, 4, 1), {marker_frame(1, 4), marker_frame(2, 4), marker_frame(3, 4), marker_frame(99, 4)}),
       {{S::next, 0, 1, 1, px(1)}, {S::next, 0, 1, 2, px(2)}, {S::next, 0, 1, 3, px(3)}, {S::next, 0, 1, 1, px(1)},
        {S::next, 0, 1, 2, px(2)}, {S::next, 0, 1, 3, px(3)}, {S::next, 0, 1, 1, px(1)}}},
      {"goto forward, backward, past the end and to zero", flic_file(flic_header(5), numbered),
       {{S::go, 2, VEXFLIC_FRAME, 2, px(2)},
        {S::go, 4, VEXFLIC_FRAME_NEW_PALETTE, 4, px(4)}, // passes frame 3
        {S::go, 1000, VEXFLIC_FRAME, 5, px(5)},
        {S::go, 1, VEXFLIC_FRAME, 1, px(1)}, // backwards: from the start
        {S::poke, 77},
        {S::go, 1, VEXFLIC_FRAME, 1, px(1)}, // the same frame is decoded again
        {S::go, 0, VEXFLIC_FRAME, 0, px(1)}, // only rewinds
        {S::next, 0, VEXFLIC_FRAME, 1, px(1)}}},
      {"six- and eight-bit palette packets",
       flic_file(flic_header(3, 4, 1, VEXFLIC_MAGIC_FLI), {frame_chunk({{VEXFLIC_COLOR_64, {1, 0, 2, 1, 63, 32, 1}}}),
                                                      marker_frame(1, 4), frame_chunk({{VEXFLIC_COLOR_256, all}})}),
       {{S::next, 0, VEXFLIC_FRAME_NEW_PALETTE, 1, {}, palette_with({{6, 255}, {7, 130}, {8, 4}})},
        {S::next, 0, VEXFLIC_FRAME, 2},
        {S::next, 0, VEXFLIC_FRAME_NEW_PALETTE, 3, {}, all_palette}}},
      {"odd width: the margins are colour 0 after frame one",
       flic_file(flic_header(2, 321, 3, VEXFLIC_MAGIC_FLI), {frame_chunk({{VEXFLIC_FLI_COPY, white}}), frame_chunk({})}),
       {{S::next, 0, VEXFLIC_FRAME, 1, margins}}},
      {"a frame size past the file is counted but draws nothing",
       flic_file(flic_header(3), {raw_frame(1), with_size(raw_frame(2), 100000)}),
       {{S::next, 0, VEXFLIC_FRAME, 1, px(1)},
        {S::next, 0, VEXFLIC_FRAME, 2, px(1)}, // frame 2 is skipped, not drawn
        {S::next, 0, VEXFLIC_FAILED, 2},
        {S::next, 0, VEXFLIC_FAILED, 2}, // a frame header that is not there is not counted
        {S::go, 3, VEXFLIC_FAILED}}},
      {"a frame count of 0 shows frame one and goto only rewinds",
       flic_file(flic_header(0), {raw_frame(5), raw_frame(6)}),
       {{S::next, 0, VEXFLIC_FRAME, 1, px(5)}, {S::next, 0, VEXFLIC_FRAME, 1, px(5)},
        {S::next, 0, VEXFLIC_FRAME, 1, px(5)}, {S::go, 7, VEXFLIC_FRAME, 0}}},
      {"a frame count of 65535 with two frames ends every walk",
       flic_file(flic_header(65535), {raw_frame(5), raw_frame(6)}),
       {{S::go, 65535, VEXFLIC_FAILED, 2, px(6)}, {S::go, 1, VEXFLIC_FRAME, 1, px(5)}}},
      {"frame one's offset past the end", flic_file(far, {raw_frame(1)}),
       {{S::next, 0, VEXFLIC_FAILED, 0}, {S::go, 2, VEXFLIC_FAILED, 0}}},
      {"a frame size of 3 counts as a bare header; the next frame follows it",
       flic_file(flic_header(2), {with_size(frame_chunk({}), 3), raw_frame(8)}), {{S::go, 2, VEXFLIC_FRAME, 2, px(8)}}},
  };
}

TEST_F(Reader, PlaysAndSeeksAsFarAsTheDataIsSound) {
  for (const PlayCase &c : play_cases()) {
    SCOPED_TRACE(c.name);
    VEXFLIC *h = open(c.file);
    ASSERT_NE(h, nullptr) << VEXLastError();
    ByteVec buf(size_t{h->pitch} * h->buffer_height, 0xAB);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const Step &s = c.steps[i];
      SCOPED_TRACE("step " + std::to_string(i + 1));
      if (s.op == Step::poke) {
        buf[0] = static_cast<uint8_t>(s.n);
        continue;
      }
      EXPECT_EQ(s.op == Step::next ? VEXFlicGetNext(h, buf.data()) : VEXFlicGoto(h, s.n, buf.data()), s.result);
      if (s.current >= 0) {
        EXPECT_EQ(h->current_frame, s.current);
      }
      EXPECT_EQ(ByteVec(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(s.pixels.size())), s.pixels);
      if (!s.palette.empty()) {
        EXPECT_EQ(ByteVec(VEXFlicGetPalette(h), VEXFlicGetPalette(h) + 768), s.palette);
      }
    }
    VEXFlicClose(h);
  }
  uint8_t buf[16];
  EXPECT_EQ(VEXFlicGoto(nullptr, 1, buf), VEXFLIC_FAILED);
  EXPECT_EQ(VEXFlicGetNext(nullptr, buf), VEXFLIC_FAILED);
}

TEST_F(Reader, HeaderFields) {
  FlicHeader hd = flic_header(3, 321, 7);
  hd.frame1 = 200;
  ByteVec good = header_bytes(hd);
  good.resize(200, 0xEE); // frame 1 at 200, after a gap
  const ByteVec f = marker_frame(9, 321);
  for (int i = 0; i < 3; ++i)
    good.insert(good.end(), f.begin(), f.end());
  set_le32(good, 0, 12345);
  VEXFLIC *h = open(good);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(std::vector<uint32_t>({h->file_size, h->pitch, h->buffer_height, h->frame_count, h->width, h->height,
                                   h->frame1_offset, h->current_frame}),
            std::vector<uint32_t>({12345, 324, 8, 3, 321, 7, 200, 0}));
  std::vector<uint8_t> buf(324 * 8, 0xEE);
  EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FRAME);
  EXPECT_EQ(buf[0], 9);
  EXPECT_EQ(h->frame_data_size, f.size() - 16);
  EXPECT_EQ(ByteVec(VEXFlicGetPalette(h), VEXFlicGetPalette(h) + 768), ByteVec(768, 0)) << "palettes start black";
  VEXFlicClose(h);
}

// An open that fails leaves a reason of its own kind; one that succeeds
// leaves none.
TEST_F(Reader, RefusedOpensSayWhy) {
  using util::Status;
  FlicHeader magic = flic_header(1), wide = flic_header(1), zero = flic_header(1);
  magic.magic = 0x1234;
  zero.width = 0;
  wide.width = wide.height = 65535; // rounds up to a buffer past the shared 0x7FFF0000 bytes
  const struct {
    const char *name;
    std::optional<ByteVec> bytes; // none: no file
    Status status;
    const char *reason; // null: not checked
  } cases[] = {
      {"absent", std::nullopt, Status::kNoFile, "no such file"},
      {"empty", ByteVec{}, Status::kNotThisFormat, "the file is empty"},
      {"127 bytes", ByteVec(127, 0), Status::kNotThisFormat, "shorter than a FLIC header"},
      {"magic 0x1234", flic_file(magic, {raw_frame(1)}), Status::kNotThisFormat, nullptr},
      {"width 0", flic_file(zero, {raw_frame(1)}), Status::kDamaged, "the picture is 0 x 2 pixels"},
      {"65535 x 65535", flic_file(wide, {raw_frame(1)}), Status::kTooLarge, nullptr},
      {"whole", flic_file(flic_header(1), {raw_frame(1)}), Status::kOk, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    VEXFLIC *h = c.bytes ? open(*c.bytes) : VEXFlicOpen(dir.file("absent.flc").c_str());
    EXPECT_EQ(h != nullptr, c.status == Status::kOk);
    EXPECT_EQ(util::last_status(), c.status);
    if (c.reason) {
      EXPECT_STREQ(VEXLastError(), c.reason);
    }
    VEXFlicClose(h);
  }
}

TEST_F(Reader, NameWithoutExtensionTriesFlcThenFli) {
  save("both.flc", flic_file(flic_header(1, 4, 1), {marker_frame(1, 4)}));
  save("both.fli", flic_file(flic_header(1, 4, 1, VEXFLIC_MAGIC_FLI), {marker_frame(2, 4)}));
  save("only.fli", flic_file(flic_header(1, 8, 1, VEXFLIC_MAGIC_FLI), {marker_frame(3, 8)}));
  for (const auto &[asked, opened, width] :
       {std::tuple<const char *, const char *, uint32_t>{"both", "both.flc", 4}, {"only", "only.fli", 8}}) {
    char name[VEXFILE_NAME_SIZE];
    VEXFLIC *h = VEXFlicOpen(dir.file(asked).c_str());
    ASSERT_NE(h, nullptr) << asked;
    VEXFlicGetName(h, name);
    EXPECT_EQ(std::string(name), dir.file(opened));
    EXPECT_EQ(h->width, width);
    VEXFlicClose(h);
  }
  EXPECT_EQ(VEXFlicOpen(dir.file("none").c_str()), nullptr);
  // A name with an extension is taken as it is.
  EXPECT_EQ(VEXFlicOpen(dir.file("only.flc").c_str()), nullptr);
  EXPECT_EQ(VEXFlicOpen(std::string(300, 'a').c_str()), nullptr);
}

TEST_F(Reader, RatesFromSpeedAndCreatorFields) {
  const struct {
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
      {0xAF11, 5, 0, -7143},  // 5/70 s = 71.428 ms
      {0xAF11, 1, 0, -1429},  // 14.2857 ms
      {0xAF11, 0, 0, -20000},  // 14 ticks
      {0xAF11, 2101, 0, -20000},
      {0xAF11, 5, static_cast<uint32_t>(-7000), -7143}, // FLI ignores the creator
  };
  for (const auto &r : rows) {
    FlicHeader hd = flic_header(1, 4, 1, r.magic);
    hd.speed = r.speed;
    hd.creator = r.creator;
    VEXFLIC *h = open(flic_file(hd, {marker_frame(1, 4)}));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->rate, r.rate) << "magic " << std::hex << r.magic << std::dec << " speed " << r.speed;
    VEXFlicClose(h);
  }
}

struct Decoded {
  std::vector<ByteVec> frames; // pitch x buffer height each, palette appended
  std::vector<uint32_t> ends;  // file offset just after each frame chunk
};

// Every frame of an open handle, then seeks that must end on any file,
// whatever they answer.
Decoded decode_all(VEXFLIC *h) {
  Decoded d;
  if (!h)
    return d;
  for (const auto &fi : flic::scan_frames(h))
    d.ends.push_back(fi.offset + fi.size);
  ByteVec buf(size_t{h->pitch} * h->buffer_height, 0);
  for (uint32_t i = 0; i < h->frame_count && VEXFlicGetNext(h, buf.data()) != VEXFLIC_FAILED; ++i) {
    d.frames.push_back(buf);
    d.frames.back().insert(d.frames.back().end(), VEXFlicGetPalette(h), VEXFlicGetPalette(h) + 768);
  }
  for (uint32_t n : {h->frame_count, 0xFFFFFFFFu, 1u})
    VEXFlicGoto(h, n, buf.data());
  VEXFlicClose(h);
  return d;
}

VEXFLIC *open_memory(const ByteVec &bytes) {
  file::ByteSource memory;
  memory.open(bytes);
  return flic::open_flic(std::move(memory));
}

// Every cut of an intact file: the frames that lie wholly before the cut
// decode exactly as in the intact file; the rest may fail but not crash.
// The intact file decodes alike from memory (in place) and from the file
// (through the read-ahead window); the memory reader has no name to give.
TEST_F(Reader, TruncatedFilesDecodeTheirWholeFrames) {
  PatternOptions o{.width = 34, .height = 9, .frames = 7, .cycle = true, .noise = true, .solid = true};
  ASSERT_NE(write_flc(PatternAnimation(o), 50, dir.file("a.flc")), 0u);
  o.six_bit = true;
  ASSERT_FALSE(write_fli(PatternAnimation(o), 3, dir.file("a.fli")).empty());
  for (const char *name : {"a.flc", "a.fli"}) {
    SCOPED_TRACE(name);
    const ByteVec bytes = load_bytes(dir.file(name));
    const Decoded intact = decode_all(VEXFlicOpen(dir.file(name).c_str()));
    ASSERT_FALSE(intact.frames.empty());
    EXPECT_TRUE(decode_all(open_memory(bytes)).frames == intact.frames);
    char untouched[VEXFILE_NAME_SIZE] = "untouched";
    VEXFLIC *m = open_memory(bytes);
    VEXFlicGetName(m, untouched);
    EXPECT_STREQ(untouched, "untouched");
    VEXFlicClose(m);
    // The cuts: around every frame's end, and the fault test's positions
    // (every byte with VEX_EVERY_BYTE=1 in the environment).
    std::set<uint64_t> cuts;
    for (uint64_t at : fault_positions(bytes.size() - 1))
      cuts.insert(at);
    for (uint32_t end : intact.ends)
      cuts.insert({end - 1, end, end + 1});
    for (const uint64_t len : cuts) {
      if (len >= bytes.size())
        continue;
      const Decoded got = decode_all(open(ByteVec(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(len))));
      if (len < 128) {
        EXPECT_TRUE(got.frames.empty()) << "a short header must not open (" << len << " bytes)";
        continue;
      }
      for (size_t i = 0; i < intact.frames.size() && intact.ends[i] <= len; ++i) {
        ASSERT_LT(i, got.frames.size()) << "cut at " << len;
        ASSERT_TRUE(got.frames[i] == intact.frames[i]) << "frame " << i + 1 << ", cut at " << len;
      }
    }
  }
}

} // namespace
} // namespace vex::testkit
