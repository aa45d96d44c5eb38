// vexinfo and vexconv on Tolm movies, run as programs: the description
// lines, and a conversion to FLC that ffmpeg decodes back close to the
// movie's pictures.
#include <gtest/gtest.h>

#include <cstdlib>

#include "testkit/flic/flic_bytes.h"
#include "testkit/util/expect_text.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/tool_run.h"
#include "testkit/formats/tolm/tolm_sound_track.h"
#include "tests/formats/tolm/tolm_test_util.h"

namespace vex::tolm_test {
namespace {

TEST(TolmTools, VexinfoDescribesKindSizeRateAndSound) {
  tk::RandomMovieOptions o = options(30, 22, 7, 3); // key frames 1, 4, 7
  o.version = 'g';
  o.alpha = true;
  tk::Movie m = tk::cached_random_movie(o).movie;
  m.rate_num = 30000;
  m.rate_den = 1001;
  m.tracks = {{44100 | tk::kTrackStereo | tk::kTrack16Bit | tk::kTrackDecodable, 4242, 6000, {}},
              {8000, 7, 0, std::vector<Bytes>(7, Bytes(8, 0))}};
  testkit::TempDir dir;
  tk::write_movie(dir.file("m.tlm"), m);
  const auto r = testkit::run_tool(VEXINFO, "-v " + testkit::shell_quote(dir.file("m.tlm")), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  testkit::expect_contains(r.out, {"  kind     0x83, Tolm\n", "  size     30 x 22 (output 30 x 22)\n",
                           "  frames   7 (output 7, file 7)\n",
                           "  rate     30000/1001, 29.970 frames per second\n", "  codec    Tolm\n",
                           // the first track: 7 frames of 3336 units of 10 us at 44100 Hz,
                           // 41192 bytes of 16-bit stereo when cut to whole words
                           "  sound    Tolm, 44100 Hz, 16 bits, 2 channels, 0.234 s (10298 sample frames)\n",
                           "  frame 7     depth ",
                           // 1001000 / 30000 ms is not whole: 3336.67 units of 10 us, of which the
                           // graphics source keeps the whole ones.
                           "  speed    33.36 ms per frame"});

  testkit::write_file(dir.file("bad.tlm"), std::vector<uint8_t>(100, 0));
  EXPECT_EQ(testkit::run_tool(VEXINFO, testkit::shell_quote(dir.file("bad.tlm")), dir).status, 1);
}

TEST(TolmTools, VexconvTurnsAMovieIntoAFlcWithTheSamePictures) {
  const tk::ModelMovie &mm = tk::cached_random_movie(options(40, 26, 5, 2));
  testkit::TempDir dir;
  tk::write_movie(dir.file("m.tlm"), mm.movie);
  const std::string args = testkit::shell_quote(dir.file("m.tlm")) + " " + testkit::shell_quote(dir.file("out.flc"));
  const auto r = testkit::run_tool(VEXCONV, args, dir);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto frames = testkit::ffmpeg_decode_rgb(dir.file("out.flc"), 40, 26);
  // ffmpeg also shows the ring frame, which brings back frame 1.
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_EQ(frames[5], frames[0]);
  for (int f = 0; f < 5; ++f) {
    const auto want = tk::blit_picture(mm.pictures[f], 40, 26, 40, 26, 3, false);
    int worst = 0;
    long sum = 0;
    for (size_t i = 0; i < want.size(); ++i)
      for (int c = 0; c < 3; ++c) {
        const int got = frames[f][3 * i + c];
        const int expected = static_cast<int>(want[i] >> (16 - 8 * c) & 255);
        worst = std::max(worst, std::abs(got - expected));
        sum += std::abs(got - expected);
      }
    const double mean = static_cast<double>(sum) / (3.0 * want.size());
    // One palette of 236 colours (the system colours keep the other 20) is
    // built from the colours of all five frames: every frame comes back
    // close on average, no pixel far from its colour.
    // (Measured: worst 37-50, mean 5.2-6.8 of 255.)
    EXPECT_LE(worst, 64) << "frame " << f + 1;
    EXPECT_LE(mean, 8.0) << "frame " << f + 1 << ", worst " << worst;
  }
}

} // namespace
} // namespace vex::tolm_test
