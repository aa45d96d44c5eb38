// vexconv's frame pipe: frames fetched ahead on a second thread arrive
// in order with the pixels and palettes a plain GFileGet loop gives, and
// a pipe dropped part-way (a cancelled conversion) stops fetching.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/frame_pipe.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/gfile.h"

namespace {

struct Fetched {
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> palette;
};

GFILE *open_source(const std::string &name, bool colour) {
  return GFileOpen(name.c_str(), colour ? GFILE_TRUE_COLOUR : 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0,
                   0, nullptr, nullptr, nullptr);
}

// The frames of a plain loop: the reference.
std::vector<Fetched> plain_loop(const std::string &name, bool colour) {
  std::vector<Fetched> out;
  GFILE *g = open_source(name, colour);
  if (!g)
    return out;
  for (int i = 0; i < g->output_frames && GFileGet(g) == 1; ++i)
    out.push_back({std::vector<uint8_t>(g->buffer, g->buffer + size_t(g->pitch) * size_t(g->height)),
                   std::vector<uint8_t>(&g->palette[0][0], &g->palette[0][0] + 768)});
  GFileClose(g);
  return out;
}

class FramePipeTest : public ::testing::Test {
protected:
  void SetUp() override {
    // 40 frames of moving colour: more than the pipe holds at once.
    vex::testkit::ffmpeg("-f lavfi -i testsrc2=size=48x32:rate=10:duration=4 -c:v ffv1 -pix_fmt bgr0 " +
                         vex::testkit::shell_quote(movie_));
  }
  vex::testkit::TempDir dir_;
  std::string movie_ = dir_.file("m.avi");
};

TEST_F(FramePipeTest, FramesArriveInOrderAsAPlainLoopGivesThem) {
  for (const bool colour : {true, false}) { // 32-bit, and 8-bit with palettes
    const std::vector<Fetched> want = plain_loop(movie_, colour);
    ASSERT_EQ(want.size(), 40u);
    GFILE *g = open_source(movie_, colour);
    ASSERT_NE(g, nullptr);
    {
      vex::tools::FramePipe pipe(g, static_cast<uint32_t>(want.size()));
      for (size_t i = 0; i < want.size(); ++i) {
        const vex::tools::FramePipe::Frame &f = pipe.next();
        ASSERT_TRUE(f.ok) << i;
        EXPECT_EQ(f.pixels, want[i].pixels) << "frame " << i << (colour ? " (32-bit)" : " (8-bit)");
        if (!colour) {
          EXPECT_EQ(std::memcmp(f.palette, want[i].palette.data(), 768), 0) << "palette " << i;
        }
      }
    }
    GFileClose(g);
  }
}

TEST_F(FramePipeTest, ADroppedPipeStopsWithoutFetchingTheRest) {
  GFILE *g = open_source(movie_, true);
  ASSERT_NE(g, nullptr);
  {
    // Far more frames than the file has (the source repeats its last one
    // past the end): only the stop can end the fetching.
    vex::tools::FramePipe pipe(g, 1000000);
    ASSERT_TRUE(pipe.next().ok);
    ASSERT_TRUE(pipe.next().ok);
  }
  // The fetching thread took at most the two frames handed out and the
  // five the pipe holds beyond them (and one it was fetching).
  EXPECT_LE(g->delivered, 8);
  GFileClose(g);
}

} // namespace
