// Independent check: the ffmpeg tool decodes the files that our writer and
// the testkit's FLI writer produce; every frame must give the same pixels
// (through the palette) as our reader and as the generator drew them.
#include <gtest/gtest.h>

#include <string>

#include "testkit/flic/flic_bytes.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/util/temp_dir.h"

namespace vex::testkit {
namespace {

struct Case {
  const char *name;
  PatternOptions o;
};

// The ffmpeg tool (5.1) skips raw-picture (FLI_COPY) chunks when the width
// is not a multiple of 4, so whole-picture noise, which only codes raw, goes
// through at 324; 322 checks the other encodings with a pitch (324) wider
// than the picture.
const Case kFlcCases[] = {
    {"320x200 byte deltas, cycling, stills, noise, solid",
     {.width = 320, .height = 200, .frames = 26, .cycle = true, .noise = true, .stills = true, .solid = true,
      .solid_colour = 42}},
    {"640x480 word deltas", {.width = 640, .height = 480, .frames = 14, .cycle = true, .solid = true}},
    {"324x101 whole-picture noise", {.width = 324, .height = 101, .frames = 6, .noise_full = true}},
    {"322x101 noise block and a solid frame", {.width = 322, .height = 101, .frames = 12, .noise = true, .solid = true}},
    {"64x48 still stretches", {.width = 64, .height = 48, .frames = 25, .scroll = false, .cycle = true, .stills = true}},
    {"4x3 tiny", {.width = 4, .height = 3, .frames = 5, .noise = true}},
};

std::vector<ByteVec> generator_rgb(const PatternAnimation &a) {
  std::vector<ByteVec> out;
  for (uint32_t i = 0; i < a.frames(); ++i) {
    const Frame8 f = a.frame(i);
    out.push_back(to_rgb(f.pixels.data(), f.width, f.height, f.width, f.palette.data()));
  }
  return out;
}

void expect_same_frames(const std::vector<ByteVec> &want, const std::vector<ByteVec> &got, const char *who) {
  ASSERT_GE(got.size(), want.size()) << who;
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_TRUE(got[i] == want[i]) << who << ": frame " << i + 1 << " differs";
}

TEST(FlicOracle, OurFlcFilesDecodeAlikeInFfmpegOurReaderAndTheGenerator) {
  TempDir dir;
  for (const Case &c : kFlcCases) {
    SCOPED_TRACE(c.name);
    const PatternAnimation anim(c.o);
    const std::string path = dir.file("a.flc");
    ASSERT_NE(write_flc(anim, -4000, path), 0u);
    const auto drawn = generator_rgb(anim);
    const auto ours = read_flic_rgb(path);
    const auto theirs = ffmpeg_decode_rgb(path, c.o.width, c.o.height);
    ASSERT_EQ(ours.size(), drawn.size());
    expect_same_frames(drawn, ours, "our reader");
    expect_same_frames(drawn, theirs, "ffmpeg");
    // ffmpeg also shows the ring frame, which must bring back the pixels of
    // frame 1; it carries no palette, so they show in the last palette.
    ASSERT_EQ(theirs.size(), drawn.size() + 1);
    const Frame8 first = anim.frame(0), last = anim.frame(anim.frames() - 1);
    EXPECT_TRUE(theirs.back() == to_rgb(first.pixels.data(), first.width, first.height, first.width,
                                        last.palette.data()))
        << "ring frame";
  }
}

TEST(FlicOracle, TestkitFliFilesDecodeAlikeInFfmpegAndOurReader) {
  TempDir dir;
  std::map<uint16_t, int> used;
  for (const PatternOptions &o : {
           PatternOptions{.width = 321, .height = 200, .frames = 14, .cycle = true, .noise = true, .stills = true,
                          .solid = true, .six_bit = true},
           PatternOptions{.width = 320, .height = 200, .frames = 10, .noise_full = true, .six_bit = true},
           PatternOptions{.width = 17, .height = 5, .frames = 9, .cycle = true, .six_bit = true}}) {
    SCOPED_TRACE(std::to_string(o.width) + "x" + std::to_string(o.height));
    const PatternAnimation anim(o);
    const std::string path = dir.file("a.fli");
    const auto u = write_fli(anim, 5, path);
    ASSERT_FALSE(u.empty());
    for (const auto &[type, n] : u)
      used[type] += n;
    const auto drawn = generator_rgb(anim);
    const auto ours = read_flic_rgb(path);
    ASSERT_EQ(ours.size(), drawn.size());
    expect_same_frames(drawn, ours, "our reader");
    const auto theirs = ffmpeg_decode_rgb(path, o.width, o.height);
    ASSERT_EQ(theirs.size(), drawn.size());
    expect_same_frames(drawn, theirs, "ffmpeg");
  }
  // Every FLI chunk type took part.
  for (uint16_t type : {11, 12, 13, 15, 16})
    EXPECT_GT(used[type], 0) << "chunk type " << type;
}

} // namespace
} // namespace vex::testkit
