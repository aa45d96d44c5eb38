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

GFILE *open_source(const std::string &name, bool colour) {
  return GFileOpen(name.c_str(), colour ? GFILE_TRUE_COLOUR : 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0,
                   nullptr, nullptr, nullptr);
}

TEST(FramePipe, FramesArriveInOrderAsAPlainLoopGivesThemAndADroppedPipeStops) {
  vex::testkit::TempDir dir;
  const std::string movie = dir.file("m.avi"); // 40 frames of moving colour: more than the pipe holds at once
  vex::testkit::ffmpeg("-f lavfi -i testsrc2=size=48x32:rate=10:duration=4 -c:v ffv1 -pix_fmt bgr0 " +
                       vex::testkit::shell_quote(movie));
  for (const bool colour : {true, false}) { // 32-bit, and 8-bit with palettes
    SCOPED_TRACE(colour ? "32-bit" : "8-bit");
    GFILE *plain = open_source(movie, colour), *piped = open_source(movie, colour);
    ASSERT_TRUE(plain && piped);
    {
      vex::tools::FramePipe pipe(piped, 40);
      for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(GFileGet(plain), 1);
        const vex::tools::FramePipe::Frame &f = pipe.next();
        ASSERT_TRUE(f.ok) << i;
        EXPECT_TRUE(f.pixels == std::vector<uint8_t>(plain->buffer, plain->buffer + plain->pitch * plain->height));
        EXPECT_TRUE(colour || std::memcmp(f.palette, &plain->palette[0][0], 768) == 0) << "palette " << i;
      }
    }
    GFileClose(plain);
    GFileClose(piped);
  }
  GFILE *g = open_source(movie, true);
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
