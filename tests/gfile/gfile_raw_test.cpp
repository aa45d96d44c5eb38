// Raw frame files through GFileOpen and GFileGet: the record the header
// gives, the pixels and palettes of each record delivered as written (8-bit
// pass-through and true colour), and files cut short delivering what is
// there.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "testkit/formats/rawb/rawb_writer.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/gfile_test_util.h"

namespace {

using namespace gfile_test;
namespace rawb = vex::testkit::rawb;

constexpr uint32_t kW = 6, kH = 4; // a width that is no multiple of 4: rows are padded in the output

rawb::Layout layout(int32_t speed) {
  rawb::Layout l;
  l.width = kW;
  l.height = kH;
  l.speed = speed;
  return l;
}

rawb::Palette ramp(uint8_t seed) {
  rawb::Palette p{};
  for (size_t i = 0; i < 768; ++i)
    p[i] = static_cast<uint8_t>(i * 7 + seed);
  return p;
}

std::vector<rawb::Frame> three_frames() {
  std::vector<rawb::Frame> frames(3);
  for (size_t f = 0; f < frames.size(); ++f) {
    frames[f].pixels.resize(kW * kH);
    for (size_t i = 0; i < frames[f].pixels.size(); ++i)
      frames[f].pixels[i] = static_cast<uint8_t>(i * 11 + f * 40);
  }
  frames[0].palettes = {ramp(1)};
  frames[2].palettes = {ramp(9), ramp(3)}; // the last palette before the pixels counts
  return frames;
}

// Pixels through a palette as blue, green, red, 0.
std::vector<uint8_t> through(const std::vector<uint8_t> &pixels, const rawb::Palette &p) {
  std::vector<uint8_t> out;
  for (const uint8_t v : pixels)
    out.insert(out.end(), {p[v * 3 + 2], p[v * 3 + 1], p[v * 3], 0});
  return out;
}

TEST(GfileRaw, TheRecordAndEveryFrameAreTheFilesInBothModes) {
  vex::testkit::TempDir dir;
  const std::string path = dir.file("frames.raw");
  const auto frames = three_frames();
  rawb::write_rawb(path, layout(-50), frames);

  Source g = open(path);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->kind, GFILE_RAW);
  EXPECT_STREQ(g->type, "");
  EXPECT_EQ(g->source_width, int32_t{kW});
  EXPECT_EQ(g->source_height, int32_t{kH});
  EXPECT_EQ(g->depth, 8);
  EXPECT_EQ(g->frame_count, 3);
  EXPECT_EQ(g->source_num, 20u); // 50 ms per frame
  EXPECT_EQ(g->source_den, 1u);
  const rawb::Palette palettes[3] = {ramp(1), ramp(1), ramp(3)};
  for (size_t f = 0; f < 3; ++f) {
    ASSERT_EQ(GFileGet(g.get()), 1) << f;
    EXPECT_EQ(output(*g), frames[f].pixels) << f;
    EXPECT_EQ(palette(*g), std::vector<uint8_t>(palettes[f].begin(), palettes[f].end())) << f;
  }
  EXPECT_EQ(g->at_end, 1);

  Source t = open(path, Options{.flags = GFILE_TRUE_COLOUR});
  ASSERT_NE(t, nullptr);
  for (size_t f = 0; f < 3; ++f) {
    ASSERT_EQ(GFileGet(t.get()), 1) << f;
    EXPECT_EQ(output(*t), through(frames[f].pixels, palettes[f])) << f;
  }
  GFileReset(t.get());
  ASSERT_EQ(GFileGet(t.get()), 1);
  EXPECT_EQ(output(*t), through(frames[0].pixels, palettes[0]));
}

TEST(GfileRaw, SpeedsInTensOfMicrosecondsAndNone) {
  vex::testkit::TempDir dir;
  const auto frames = three_frames();
  rawb::write_rawb(dir.file("fast.raw"), layout(4000), frames);
  Source fast = open(dir.file("fast.raw"));
  ASSERT_NE(fast, nullptr);
  EXPECT_EQ(fast->source_num, 25u); // 40 ms in units of 10 us
  EXPECT_EQ(fast->source_den, 1u);
  rawb::write_rawb(dir.file("still.raw"), layout(0), frames);
  Source still = open(dir.file("still.raw"));
  ASSERT_NE(still, nullptr);
  EXPECT_NE(still->source_num, 0u); // a file without a rate still plays
  EXPECT_NE(still->source_den, 0u);
  EXPECT_NE(still->speed, 0);
}

TEST(GfileRaw, FilesCutShortDeliverWhatIsThere) {
  vex::testkit::TempDir dir;
  const auto frames = three_frames();
  const std::vector<uint8_t> whole = rawb::rawb_bytes(layout(-50), frames);
  for (size_t n = 0; n < whole.size(); ++n) {
    const std::string path = dir.file("cut" + std::to_string(n) + ".raw");
    write_file(path, std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n)));
    Source g = open(path);
    if (n < 20) { // no whole header: no raw source
      EXPECT_TRUE(g == nullptr || g->kind != GFILE_RAW) << n;
      continue;
    }
    // Without room for one record (a tag and the pixels) the header alone
    // would pay for the frame buffers: refused, naming the frame.
    if (n < 20 + 4 + kW * kH) {
      EXPECT_EQ(g, nullptr) << n;
      EXPECT_EQ(std::string(VEXLastError()), "frame 1 is cut short at byte " + std::to_string(n));
      continue;
    }
    ASSERT_NE(g, nullptr) << n;
    const size_t first_end = 20 + 4 + 768 + 4 + kW * kH;
    for (int f = 0; f < g->output_frames; ++f) {
      ASSERT_EQ(GFileGet(g.get()), 1) << n << " " << f;
      if (f == 0) { // the frame itself says whether it came whole
        EXPECT_EQ(GFileFrameDamaged(g.get()), n < first_end ? 1 : 0) << n;
      }
    }
    // Every cut leaves some record short, and the source names it.
    ASSERT_NE(GFileDamage(g.get()), nullptr) << n;
    EXPECT_NE(std::string(GFileDamage(g.get())).find(" at byte "), std::string::npos) << GFileDamage(g.get());
    // The first frame is whole once its record is.
    if (n >= first_end) {
      GFileReset(g.get());
      ASSERT_EQ(GFileGet(g.get()), 1);
      EXPECT_EQ(output(*g), frames[0].pixels) << n;
    }
  }
  write_file(dir.file("whole.raw"), whole);
  Source g = open(dir.file("whole.raw"));
  ASSERT_NE(g, nullptr);
  for (int f = 0; f < g->output_frames; ++f) {
    ASSERT_EQ(GFileGet(g.get()), 1);
    EXPECT_EQ(GFileFrameDamaged(g.get()), 0);
  }
  EXPECT_EQ(GFileDamage(g.get()), nullptr);
}

} // namespace
