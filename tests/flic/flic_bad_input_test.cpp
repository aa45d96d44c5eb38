// Bad files: truncations, sizes past the file or the parent, lying counts,
// frame counts of 0 and 65535. The open fails or the frames decode as far as
// the data is sound, and VEXFlicGoto always ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flic/flic_scan.h"
#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_bytes.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/util/temp_dir.h"
#include "util/status.h"
#include "vexutil/flic.h"
#include "vexutil/util.h"

namespace vex::testkit {
namespace {

struct Decoded {
  std::vector<ByteVec> frames; // pitch x buffer height each, palette appended
  std::vector<uint32_t> ends;  // file offset just after each frame chunk
};

Decoded decode_all(const std::string &path) {
  Decoded d;
  VEXFLIC *h = VEXFlicOpen(path.c_str());
  if (!h)
    return d;
  for (const auto &fi : vex::flic::scan_frames(h))
    d.ends.push_back(fi.offset + fi.size);
  ByteVec buf(size_t{h->pitch} * h->buffer_height, 0);
  for (uint32_t i = 0; i < h->frame_count; ++i) {
    if (VEXFlicGetNext(h, buf.data()) == VEXFLIC_FAILED)
      break;
    ByteVec f = buf;
    f.insert(f.end(), VEXFlicGetPalette(h), VEXFlicGetPalette(h) + 768);
    d.frames.push_back(std::move(f));
  }
  // Seeking must end on any file, whatever it answers.
  VEXFlicGoto(h, h->frame_count, buf.data());
  VEXFlicGoto(h, 0xFFFFFFFF, buf.data());
  VEXFlicGoto(h, 1, buf.data());
  VEXFlicClose(h);
  return d;
}

// Every cut of an intact file: the frames that lie wholly before the cut
// decode exactly as in the intact file; the rest may fail but not crash.
void check_truncations(const std::string &intact_path, const std::string &cut_path, size_t step) {
  const ByteVec bytes = load_bytes(intact_path);
  const Decoded intact = decode_all(intact_path);
  ASSERT_FALSE(intact.frames.empty());
  for (size_t len = 0; len < bytes.size(); len += step) {
    ASSERT_TRUE(save_bytes(cut_path, ByteVec(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(len))));
    const Decoded cut = decode_all(cut_path);
    if (len < 128) {
      EXPECT_TRUE(cut.frames.empty()) << "a short header must not open (" << len << " bytes)";
      continue;
    }
    for (size_t i = 0; i < intact.frames.size() && intact.ends[i] <= len; ++i) {
      ASSERT_LT(i, cut.frames.size()) << "cut at " << len;
      ASSERT_TRUE(cut.frames[i] == intact.frames[i]) << "frame " << i + 1 << ", cut at " << len;
    }
  }
}

TEST(FlicBadInput, TruncatedFilesDecodeTheirWholeFrames) {
  TempDir dir;
  PatternOptions o{.width = 34, .height = 9, .frames = 7, .cycle = true, .noise = true, .solid = true};
  ASSERT_NE(write_flc(PatternAnimation(o), 50, dir.file("a.flc")), 0u);
  check_truncations(dir.file("a.flc"), dir.file("cut.flc"), 1);
  o.six_bit = true;
  ASSERT_FALSE(write_fli(PatternAnimation(o), 3, dir.file("a.fli")).empty());
  check_truncations(dir.file("a.fli"), dir.file("cut.fli"), 3);
}

class BadFile : public ::testing::Test {
protected:
  VEXFLIC *open(const ByteVec &bytes) {
    EXPECT_TRUE(save_bytes(dir.file("bad.flc"), bytes));
    return VEXFlicOpen(dir.file("bad.flc").c_str());
  }
  static FlicHeader header(uint16_t frames) {
    FlicHeader h;
    h.frames = frames;
    h.width = 4;
    h.height = 2;
    return h;
  }
  static ByteVec copy_frame(uint8_t v) { return frame_chunk({{16, ByteVec(8, v)}}); }
  TempDir dir;
  ByteVec buf = ByteVec(16, 0);
};

TEST_F(BadFile, FrameSizePastTheFileIsCountedButDrawsNothing) {
  ByteVec f2 = copy_frame(2);
  set_le32(f2, 0, 100000);
  VEXFLIC *h = open(flic_file(header(3), {copy_frame(1), f2}));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FRAME);
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FRAME);
  EXPECT_EQ(buf[0], 1) << "frame 2 is skipped, not drawn";
  EXPECT_EQ(h->current_frame, 2u);
  EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FAILED);
  EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FAILED);
  EXPECT_EQ(h->current_frame, 2u) << "a frame header that is not there is not counted";
  EXPECT_EQ(VEXFlicGoto(h, 3, buf.data()), VEXFLIC_FAILED);
  VEXFlicClose(h);
}

TEST_F(BadFile, SubChunkSizePastItsFrameIsCutAtTheFrame) {
  // A COPY that claims 1000 bytes but its frame holds 6: the first row only.
  ByteVec f = frame_chunk({{16, {1, 2, 3, 4, 5, 6}}});
  set_le32(f, 16, 1000);
  VEXFLIC *h = open(flic_file(header(1), {f}));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FRAME);
  EXPECT_EQ(ByteVec(buf.begin(), buf.begin() + 8), (ByteVec{1, 2, 3, 4, 0, 0, 0, 0}));
  VEXFlicClose(h);
}

TEST_F(BadFile, FrameCountOfZeroShowsFrameOneAndGotoOnlyRewinds) {
  VEXFLIC *h = open(flic_file(header(0), {copy_frame(5), copy_frame(6)}));
  ASSERT_NE(h, nullptr);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FRAME);
    EXPECT_EQ(buf[0], 5);
  }
  EXPECT_EQ(VEXFlicGoto(h, 7, buf.data()), VEXFLIC_FRAME);
  EXPECT_EQ(h->current_frame, 0u);
  VEXFlicClose(h);
}

TEST_F(BadFile, FrameCountOf65535WithTwoFramesEndsEveryWalk) {
  VEXFLIC *h = open(flic_file(header(65535), {copy_frame(5), copy_frame(6)}));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(VEXFlicGoto(h, 65535, buf.data()), VEXFLIC_FAILED);
  EXPECT_EQ(h->current_frame, 2u);
  EXPECT_EQ(buf[0], 6);
  EXPECT_EQ(VEXFlicGoto(h, 1, buf.data()), VEXFLIC_FRAME);
  EXPECT_EQ(buf[0], 5);
  VEXFlicClose(h);
}

TEST_F(BadFile, FrameOneOffsetPastTheEndAndFramesSmallerThanTheirHeader) {
  FlicHeader hd = header(2);
  hd.frame1 = 0xFFFFFFF0;
  VEXFLIC *h = open(flic_file(hd, {copy_frame(1)}));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(VEXFlicGetNext(h, buf.data()), VEXFLIC_FAILED);
  EXPECT_EQ(VEXFlicGoto(h, 2, buf.data()), VEXFLIC_FAILED);
  VEXFlicClose(h);
  // A frame size of 3 counts as a bare header; the next frame follows it.
  ByteVec empty = frame_chunk({});
  set_le32(empty, 0, 3);
  h = open(flic_file(header(2), {empty, copy_frame(8)}));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(VEXFlicGoto(h, 2, buf.data()), VEXFLIC_FRAME);
  EXPECT_EQ(buf[0], 8);
  VEXFlicClose(h);
}

} // namespace
} // namespace vex::testkit

namespace vex::testkit {
namespace {

// An open that fails leaves a reason of its own kind; one that succeeds
// leaves none.
TEST_F(BadFile, RefusedOpensSayWhy) {
  using vex::util::Status;
  EXPECT_EQ(VEXFlicOpen(dir.file("absent.flc").c_str()), nullptr);
  EXPECT_EQ(vex::util::last_status(), Status::kNoFile);
  EXPECT_STREQ(VEXLastError(), "no such file");

  EXPECT_EQ(open({}), nullptr);
  EXPECT_EQ(vex::util::last_status(), Status::kNotThisFormat);
  EXPECT_STREQ(VEXLastError(), "the file is empty");

  EXPECT_EQ(open(ByteVec(127, 0)), nullptr);
  EXPECT_STREQ(VEXLastError(), "shorter than a FLIC header");

  FlicHeader h = header(1);
  h.magic = 0x1234;
  EXPECT_EQ(open(flic_file(h, {copy_frame(1)})), nullptr);
  EXPECT_EQ(vex::util::last_status(), Status::kNotThisFormat);

  h = header(1);
  h.width = 0;
  EXPECT_EQ(open(flic_file(h, {copy_frame(1)})), nullptr);
  EXPECT_EQ(vex::util::last_status(), Status::kDamaged);
  EXPECT_STREQ(VEXLastError(), "the picture is 0 x 2 pixels");

  // 65535 x 65535 rounds up to a buffer past the shared 0x7FFF0000 bytes.
  h = header(1);
  h.width = h.height = 65535;
  EXPECT_EQ(open(flic_file(h, {copy_frame(1)})), nullptr);
  EXPECT_EQ(vex::util::last_status(), Status::kTooLarge);

  VEXFLIC *ok = open(flic_file(header(1), {copy_frame(1)}));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(vex::util::last_status(), Status::kOk);
  EXPECT_STREQ(VEXLastError(), "");
  VEXFlicClose(ok);
}

} // namespace
} // namespace vex::testkit
