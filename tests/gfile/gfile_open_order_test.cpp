// The order and conditions of the readers: movies inside executables,
// default extensions, the still-image size limit, the early QuickTime
// attempt of the alpha flag, and 24-bit promotion by frame count.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testkit/util/wav_file.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/executable/pe_fixture.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/gfile_test_util.h"
#include "vexutil/sfile.h"

namespace {

using namespace gfile_test;
using vex::testkit::ffmpeg;

TEST(GfileOpenOrder, MoviesInsideExecutablesPlayAsTheMovieItself) {
  vex::testkit::TempDir dir;
  // Korvane.
  vex::testkit::PatternOptions o{.width = 32, .height = 16, .frames = 4};
  const auto kv = vex::testkit::korvane::write_korvane(
      vex::testkit::korvane::pattern_frames(vex::testkit::PatternAnimation(o)), {}, dir.file("k.kvn"));
  ASSERT_TRUE(kv.ok);
  uint32_t offset = 0;
  vex::testkit::write_file(dir.file("k.exe"), vex::testkit::executable_with_movie(kv.file, &offset));
  // Tolm.
  vex::testkit::tolm::RandomMovieOptions mo{.frames = 3};
  const auto tolm = vex::testkit::tolm::movie_bytes(vex::testkit::tolm::random_movie(mo).movie);
  vex::testkit::write_file(dir.file("t.tlm"), tolm);
  vex::testkit::write_file(dir.file("t.exe"), vex::testkit::executable_with_movie(tolm, &offset));

  for (const auto &[movie, exe, kind] :
       {std::tuple{"k.kvn", "k.exe", GFILE_KORVANE}, std::tuple{"t.tlm", "t.exe", GFILE_TOLM}}) {
    Source plain = open(dir.file(movie), Options{.flags = GFILE_TRUE_COLOUR});
    Source inside = open(dir.file(exe), Options{.flags = GFILE_TRUE_COLOUR});
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(inside, nullptr) << VEXLastError();
    EXPECT_EQ(inside->kind, kind);
    EXPECT_EQ(inside->frame_count, plain->frame_count);
    EXPECT_EQ(all_frames(inside.get()), all_frames(plain.get())) << exe;
  }
  // An executable without a movie is no input.
  vex::testkit::write_file(dir.file("n.exe"), vex::testkit::executable_with_strings({{1, "no movie here"}}));
  EXPECT_EQ(open(dir.file("n.exe")), nullptr);
  EXPECT_EQ(errors(), std::vector<std::string>{"Error opening: " + dir.file("n.exe")});
}

TEST(GfileOpenOrder, NamesWithoutExtensionFindTheirFile) {
  vex::testkit::TempDir dir;
  ffmpeg("-f lavfi -i testsrc=size=40x30:rate=10:duration=1 -c:v rawvideo -pix_fmt bgr24 " + dir.file("m.avi"));
  ffmpeg("-f lavfi -i testsrc=size=40x30 -frames:v 1 -update 1 " + dir.file("g.gif"));
  ffmpeg("-f lavfi -i testsrc=size=40x30 -frames:v 1 -update 1 -compression_algo deflate " + dir.file("f.tif"));
  vex::testkit::write_file(dir.file("w.wav"), vex::testkit::pcm_wav(8000, 8, 1, std::vector<uint8_t>(8000, 128)));
  struct Want {
    const char *name, *opened;
    int32_t kind;
  };
  for (const Want w : {Want{"m", "m.avi", GFILE_AVI}, Want{"g", "g.gif", GFILE_GIF}, Want{"f", "f.tif", GFILE_TIF},
                       Want{"w", "w.wav", GFILE_SOUND_ONLY}}) {
    Source g = open(dir.file(w.name));
    ASSERT_NE(g, nullptr) << w.name;
    EXPECT_EQ(g->kind, w.kind) << w.name;
    EXPECT_EQ(std::string(g->name), dir.file(w.opened));
  }
  // A WAV of one second at 15 frames per second covers 16 frames.
  EXPECT_EQ(open(dir.file("w"))->frame_count, 16);
}

TEST(GfileOpenOrder, StillsWiderThan4096AreLeftToLaterReaders) {
  vex::testkit::TempDir dir;
  for (const char *ext : {"bmp", "png"}) {
    const std::string wide = dir.file(std::string("wide.") + ext), edge = dir.file(std::string("edge.") + ext);
    ffmpeg("-f lavfi -i color=c=red:size=4098x2 -vf format=rgb24,crop=4097:2 -frames:v 1 -update 1 -pix_fmt rgb24 " +
           wide);
    ASSERT_EQ(vex::testkit::ffprobe(wide, "-show_entries stream=width -of csv=p=0"), "4097\n");
    ffmpeg("-f lavfi -i color=c=red:size=4096x2 -frames:v 1 -update 1 -pix_fmt rgb24 " + edge);
    // Refused by the still reader; a later reader may take it, but not as a still.
    Source w = open(wide);
    if (w) {
      EXPECT_GE(w->kind, 32) << ext;
    }
    Source g = open(edge);
    ASSERT_NE(g, nullptr) << ext;
    EXPECT_EQ(g->width, 4096);
  }
}

TEST(GfileOpenOrder, AlphaFlagKeepsTheFourthByteOfAThirtyTwoBitMovie) {
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("a.mov");
  ffmpeg("-f lavfi -i testsrc=size=24x16:rate=10:duration=0.3 -vf format=rgba,colorchannelmixer=aa=0.5 -c:v png " +
         mov);
  const auto want = vex::testkit::ffmpeg_decode(mov, "-f rawvideo -pix_fmt bgra");
  ASSERT_EQ(want.size(), size_t{24} * 16 * 4 * 3);
  Source alpha = open(dir.file("a"), Options{.flags = GFILE_TRUE_COLOUR | GFILE_ALPHA}); // found early as a.mov
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(alpha->kind, GFILE_QUICKTIME);
  Source plain = open(mov, Options{.flags = GFILE_TRUE_COLOUR});
  ASSERT_NE(plain, nullptr);
  for (size_t f = 0; f < 3; ++f) {
    ASSERT_EQ(GFileGet(alpha.get()), 1);
    ASSERT_EQ(GFileGet(plain.get()), 1);
    const std::vector<uint8_t> frame(want.begin() + static_cast<ptrdiff_t>(f * 24 * 16 * 4),
                                     want.begin() + static_cast<ptrdiff_t>((f + 1) * 24 * 16 * 4));
    EXPECT_EQ(output(*alpha), frame) << f; // alpha kept
    std::vector<uint8_t> cleared = frame;
    for (size_t i = 3; i < cleared.size(); i += 4)
      cleared[i] = 0;
    EXPECT_EQ(output(*plain), cleared) << f;
  }
}

TEST(GfilePromotion, ATwentyFourBitAviOfTenFramesIsPromotedAndOfNineIsNot) {
  vex::testkit::TempDir dir;
  for (const int frames : {9, 10}) {
    const std::string avi = dir.file("p" + std::to_string(frames) + ".avi");
    // Gentle gradients: neighbourhoods whose ranges the filter quantises.
    ffmpeg("-f lavfi -i gradients=size=40x30:rate=10:seed=7 -frames:v " + std::to_string(frames) +
           " -c:v rawvideo -pix_fmt bgr24 " + avi);
    Source automatic = open(avi);
    ASSERT_NE(automatic, nullptr);
    EXPECT_EQ(automatic->depth_read, 24);
    EXPECT_EQ(automatic->depth, 24);
    ASSERT_EQ(GFileGet(automatic.get()), 1);
    EXPECT_EQ(automatic->frame_depth, 24);
    Source always = open(avi, Options{.promotion = 1});
    Source never = open(avi, Options{.promotion = 2});
    ASSERT_NE(always, nullptr);
    ASSERT_NE(never, nullptr);
    ASSERT_EQ(GFileGet(always.get()), 1);
    ASSERT_EQ(GFileGet(never.get()), 1);
    ASSERT_NE(output(*always), output(*never)) << "the picture must give the filter something to change";
    EXPECT_EQ(output(*automatic), output(frames == 10 ? *always : *never)) << frames;
  }
}

// The long steps of an open report and can be cancelled: the listing of a
// movie's frames ("Counting frames in <name> (<p>%)...", level 1 at its
// start) in both sources, and the walk over a list's entries ("Opening
// <entry>..."). Answered true, the open fails with the reason "cancelled"
// and no error message; answered false, the same open succeeds.
const char *g_stop_prefix = "";
bool g_stop = false;
std::vector<std::pair<std::string, int>> g_heard;
int32_t stop_on_prefix(const char *text, int32_t level) {
  g_heard.emplace_back(text ? text : "", level);
  return g_stop && text && std::strncmp(text, g_stop_prefix, std::strlen(g_stop_prefix)) == 0 ? 1 : 0;
}

TEST(GfileOpenCancel, LongStepsOfAnOpenReportAndStopWhenAsked) {
  vex::testkit::TempDir dir;
  const std::string avi = dir.file("m.avi"), mp4 = dir.file("m.mp4"), lst = dir.file("l.lst"),
                    wavs = dir.file("w.lst");
  ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=2 -f lavfi -i sine=sample_rate=8000:duration=2 "
         "-c:v mpeg4 -c:a pcm_u8 " + avi);
  ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=2 -c:v mpeg4 " + mp4);
  for (const char *w : {"a.wav", "b.wav"})
    vex::testkit::write_file(dir.file(w), vex::testkit::pcm_wav(8000, 8, 1, std::vector<uint8_t>(800, 128)));
  std::ofstream(lst) << mp4 << "\n" << avi << "\n";
  std::ofstream(wavs) << dir.file("a.wav") << "\n" << dir.file("b.wav") << "\n";
  struct Row {
    std::string name;
    bool sound; // SFileOpen, else GFileOpen
    const char *prefix;
  } rows[] = {{avi, false, "Counting frames in "}, {mp4, false, "Counting frames in "},
              {lst, false, "Opening "},            {lst, false, "Counting frames in "},
              {avi, true, "Counting frames in "},  {wavs, true, "Opening "}};
  for (const Row &r : rows) {
    const std::string what = r.name + (r.sound ? " (sound) at " : " at ") + r.prefix;
    for (const bool stop : {false, true}) {
      g_stop_prefix = r.prefix;
      g_stop = stop;
      g_heard.clear();
      void *opened = nullptr;
      if (r.sound) {
        SFILE *s = SFileOpen(r.name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, stop_on_prefix);
        opened = s;
        SFileClose(s);
      } else {
        GFILE *g = GFileOpen(r.name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, nullptr, nullptr,
                             stop_on_prefix);
        opened = g;
        GFileClose(g);
      }
      size_t heard = 0, errors = 0;
      for (const auto &[text, level] : g_heard) {
        heard += text.rfind(r.prefix, 0) == 0 ? 1 : 0;
        errors += level == 2 ? 1 : 0;
      }
      ASSERT_GE(heard, 1u) << what;
      if (!stop) {
        EXPECT_NE(opened, nullptr) << what << ": " << VEXLastError();
        continue;
      }
      EXPECT_EQ(opened, nullptr) << what;
      EXPECT_STREQ(VEXLastError(), "cancelled") << what;
      EXPECT_EQ(heard, 1u) << what << ": nothing more is asked after the answer";
      EXPECT_EQ(errors, 0u) << what;
    }
  }
  // The first report of a frame count comes at level 1 and names the input.
  g_stop = false;
  g_heard.clear();
  GFileClose(GFileOpen(mp4.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, nullptr, nullptr,
                       stop_on_prefix));
  ASSERT_FALSE(g_heard.empty());
  EXPECT_EQ(g_heard[0].second, 1);
  EXPECT_EQ(g_heard[0].first.rfind("Counting frames in " + mp4 + " (", 0), 0u) << g_heard[0].first;
}

} // namespace
