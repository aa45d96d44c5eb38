// Which outputs a name and depth make, the names of still series, and the
// ways a create is refused: each with its message and nothing written.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "testkit/ogfile/test_frames.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/message_log.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/flic.h"
#include "vexutil/ogfile.h"

namespace {

namespace fs = std::filesystem;
using vex::testkit::MessageLog;

class Create : public ::testing::Test {
protected:
  void SetUp() override { setenv("VEXUTIL_UI", "terminal", 1); } // questions take their default at once
  std::set<std::string> files(const fs::path &at = {}) const { return vex::testkit::entry_names(at.empty() ? dir.path() : at); }
  OGFILE *make(const std::string &name, bool colour, int32_t frames, int32_t flags = 0, const char *codec = nullptr,
               int32_t w = kW, int32_t h = kH) {
    return OGFileCreate(codec, (name[0] == '/' ? name : dir.file(name)).c_str(), colour, frames, 15, 1, w, h, w,
                        MessageLog::callback, flags);
  }
  // Puts `count` frames; the output's error flag.
  static int32_t put(OGFILE *o, int count) {
    for (int i = 0; i < count; ++i)
      OGFilePut(o, frame.data(), pal.data());
    return o->error;
  }
  // The one message the callback heard, at its level.
  void expect_message(const std::string &text, int32_t level = 2) {
    ASSERT_EQ(log.messages().size(), 1u) << log.text();
    EXPECT_EQ(log.messages()[0].text, text);
    EXPECT_EQ(log.messages()[0].level, level);
    log.clear();
  }
  static constexpr int32_t kW = 6, kH = 4;
  static inline const std::vector<uint8_t> frame = vex::testkit::indexed_frame(kW, kH, kW, 0),
                                           pal = vex::testkit::palette(0);
  vex::testkit::TempDir dir;
  MessageLog log;
};

// The kind follows the extension in any case, a name without one (a dot
// in a folder's name is none) is a FLIC; each kind's depth at both depths
// is ogfile_output_test's. A kind that cannot take the frames' depth, or
// no kind at all, is refused, silently when a dialog is to ask for a type.
TEST_F(Create, KindAndDepthFollowTheExtensionAndTheFrames) {
  fs::create_directory(dir.path() / "d.x");
  for (const auto &[name, colour, kind] : {std::tuple{"a.FLC", false, OGFILE_FLIC},
                                           {"a", false, OGFILE_FLIC},
                                           {"d.x/a", false, OGFILE_FLIC},
                                           {"a.Avi", true, OGFILE_AVI},
                                           {"a.GIF", false, OGFILE_GIF}}) {
    SCOPED_TRACE(name);
    OGFILE *o = make(name, colour, 1);
    ASSERT_NE(o, nullptr) << VEXLastError();
    EXPECT_EQ(std::pair(o->kind, o->depth), std::pair(kind, colour ? 24 : 8));
    OGFileDiscard(o);
  }
  EXPECT_EQ(log.text(), "");
  for (const auto &[name, colour] :
       {std::pair{"a.flc", true}, {"a", true}, {"a.pcx", true}, {"a.gif", true}, {"a.jpeg", true}, {"a.mov", false}}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(make(name, colour, 1), nullptr);
    expect_message("Unsupported output file type or color depth.");
    EXPECT_EQ(make(name, colour, 1, OGFILE_ASK_IN_DIALOG), nullptr);
    EXPECT_EQ(log.text(), "");
  }
  EXPECT_EQ(files(), std::set<std::string>{"d.x"}) << "discarded outputs leave nothing";
}

// The numbers take the digits the frame count needs (one still: no
// number), after the whole name but its last extension; the output's
// size is the sum of the files'.
TEST_F(Create, StillSeriesAreNumberedWithTheDigitsTheCountNeeds) {
  const std::tuple<const char *, int32_t, int32_t, const char *, const char *> rows[] = {
      {"shot.bmp", 1, 1, "shot.bmp", "shot.bmp"},
      {"shot.bmp", 0, 1, "shot.bmp", "shot.bmp"},
      {"s.PNG", 9, 9, "s0.PNG", "s8.PNG"},
      {"s.png", 10, 10, "s00.png", "s09.png"},
      {"shot.bmp", 250, 250, "shot000.bmp", "shot249.bmp"},
      {"s.bmp", 1000, 2, "s0000.bmp", "s0001.bmp"},
      {"s.bmp", 12000, 2, "s00000.bmp", "s00001.bmp"},
      {"a.bmp.BMP", 3, 2, "a.bmp0.BMP", "a.bmp1.BMP"},
      {"100%.bmp", 2, 2, "100%0.bmp", "100%1.bmp"}};
  for (const auto &[name, count, puts, first, last] : rows) {
    SCOPED_TRACE(std::string(name) + " x " + std::to_string(count));
    fs::remove_all(dir.path() / "s");
    fs::create_directory(dir.path() / "s");
    OGFILE *o = make(std::string("s/") + name, false, count);
    ASSERT_NE(o, nullptr) << VEXLastError();
    EXPECT_EQ(put(o, puts), 0);
    EXPECT_STREQ(o->first_still, first);
    EXPECT_EQ(std::string(o->display_name), puts == 1 ? first : std::string(first) + " to " + last);
    uint32_t sum = 0;
    for (const auto &e : fs::directory_iterator(dir.path() / "s"))
      sum += static_cast<uint32_t>(e.file_size());
    EXPECT_EQ(OGFileClose(o), sum) << "the sum of the files' sizes";
    EXPECT_EQ(files(dir.path() / "s").size(), static_cast<size_t>(puts));
    EXPECT_TRUE(fs::exists(dir.path() / "s" / first) && fs::exists(dir.path() / "s" / last));
  }
}

// An existing output, and no person to say Yes: the terminal front takes
// the default No, the callback hears the kept file's name at level 3 (a
// FLIC named without extension as it is written, with ".flc"), the file
// stays as it was. With the no-question flag it is replaced, only when the
// output is finished: a FLIC or AVI at close, and every still of a series
// together, at close.
TEST_F(Create, AnExistingOutputIsOnlyReplacedWhenAllowed) {
  for (const std::string name : {"old", "old.avi", "old.bmp"}) {
    SCOPED_TRACE(name);
    const bool still = name == "old.bmp";
    const std::string path = dir.file(still ? "old000.bmp" : name == "old" ? "old.flc" : name);
    std::ofstream(path) << "keep me";
    EXPECT_EQ(make(name, false, 100), nullptr);
    expect_message(path, 3);
    EXPECT_EQ(fs::file_size(path), 7u);
    OGFILE *o = make(name, false, 100, OGFILE_NO_OVERWRITE_QUESTION);
    ASSERT_NE(o, nullptr);
    if (!still) {
      EXPECT_EQ(std::string(o->display_name), path) << "the name the output takes";
    }
    put(o, 1);
    EXPECT_EQ(fs::file_size(path), 7u) << "not before the output is finished";
    EXPECT_GT(OGFileClose(o), 0u);
    EXPECT_GT(fs::file_size(path), 7u);
  }
}

// A series replaces the files under its names all together or not at all:
// discarded, none is touched; a still whose name cannot be given (a folder
// stands there) fails the close, and every file replaced before it is put
// back. No temporary file stays either way.
TEST_F(Create, ASeriesReplacesItsFilesWholeOrNotAtAll) {
  const std::set<std::string> three{"s0.png", "s1.png", "s2.png"}, four{"s0.png", "s1.png", "s2.png", "s3.png"};
  for (const std::string &name : three)
    std::ofstream(dir.file(name)) << "original " << name;
  const auto series = [&] {
    OGFILE *o = make("s.png", false, 4, OGFILE_NO_OVERWRITE_QUESTION);
    EXPECT_EQ(put(o, 4), 0);
    return o;
  };
  const auto intact = [&] {
    for (const std::string &name : three) {
      const std::vector<uint8_t> b = vex::testkit::read_file(dir.file(name));
      EXPECT_EQ(std::string(b.begin(), b.end()), "original " + name);
    }
  };
  OGFILE *o = series();
  EXPECT_EQ(files().size(), 3u + 4u) << "four stills under temporary names beside the three originals";
  OGFileDiscard(o);
  intact();
  EXPECT_EQ(files(), three);
  fs::create_directories(dir.path() / "s3.png" / "inside");
  EXPECT_EQ(OGFileClose(series()), 0u);
  EXPECT_NE(std::string(VEXLastError()).find("s3.png"), std::string::npos) << VEXLastError();
  intact();
  EXPECT_EQ(files(), four);
  fs::remove_all(dir.path() / "s3.png");
  EXPECT_GT(OGFileClose(series()), 0u);
  EXPECT_EQ(files(), four);
  for (const std::string &name : four)
    EXPECT_GT(fs::file_size(dir.path() / name), 20u) << name << ": a PNG now";
}

// Sizes, rates, places, names and encoders the writer cannot take: the
// callback hears the kind's message, and the reason names the argument (a
// row pitch given in bytes, as a true-colour GFILE's pitch is once its
// buffer exists, is the usual mistake: the writer counts pixels) or the
// system's cause. Nothing is left behind, not even a temporary file.
TEST_F(Create, ARefusedCreateSaysWhyAndLeavesNothing) {
  struct Row {
    std::string name;
    int32_t colour, width, height, pitch;
    uint32_t rate, scale;
    const char *codec, *message, *reason; // reason "": any
  };
  const char *flic = "Error creating the output flic.", *avi = "Error creating the output AVI file.",
             *type = "Unsupported output file type or color depth.";
  const Row rows[] = {
      {"a.flc", 0, 160, 90, 40, 15, 1, nullptr, flic,
       "the row pitch (source_pitch) 40 is less than the width 160: it counts pixels, not bytes"},
      {"a.png", 1, 0, 90, 160, 15, 1, nullptr, type, "the width 0 is not between 1 and 65535"},
      {"a.avi", 1, 160, 70000, 160, 15, 1, nullptr, avi, "the height 70000 is not between 1 and 65535"},
      {"a.bmp", 1, 16, 8, 16, 15, 0, nullptr, type, "the frame rate 15/0 (rate/scale) has a zero"},
      {"missing/a.flc", 0, kW, kH, kW, 15, 1, nullptr, flic, ""},
      {"missing/a.avi", 0, kW, kH, kW, 15, 1, nullptr, avi, ""},
      {"a.avi", 0, kW, kH, kW, 15, 1, "no-such-encoder", avi, ""},
      {"a.avi", 0, kW, kH, kW, 15, 1, OGFILE_ASK_FOR_CODEC, avi, ""}, // the terminal front shows no list
      {std::string(130, 'n') + ".flc", 0, kW, kH, kW, 15, 1, nullptr, flic, ""}};
  for (const Row &r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(OGFileCreate(r.codec, dir.file(r.name).c_str(), r.colour, 10, r.rate, r.scale, r.width, r.height, r.pitch,
                           MessageLog::callback, 0),
              nullptr);
    expect_message(r.message);
    if (*r.reason)
      EXPECT_STREQ(VEXLastError(), r.reason);
    else
      EXPECT_STRNE(VEXLastError(), "");
  }
  EXPECT_TRUE(files().empty());
  // A still series in a missing folder fails at each frame, not at once.
  OGFILE *o = make("missing/s.png", false, 3);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(put(o, 1), 1);
  EXPECT_NE(std::string(VEXLastError()).find("missing/: No such file or directory"), std::string::npos)
      << VEXLastError();
  put(o, 1);
  EXPECT_EQ(o->next_frame, 2) << "the writer goes on";
  EXPECT_EQ(OGFileClose(o), 0u);
}

// Closing before any frame: a FLIC and an AVI are still whole files that
// their readers open (with no frame to show), a still series writes
// nothing and says so with a size of 0. Outputs get the permissions any
// new file gets under the umask (002 here: neither the usual 0644 nor the
// owner-only 0600 a private temporary file would have).
TEST_F(Create, ZeroFramesGiveEmptyMoviesNoStillsAndTheUmasksPermissions) {
  const mode_t before = ::umask(002);
  for (const char *name : {"z.flc", "z.avi", "z.png"}) {
    SCOPED_TRACE(name);
    OGFILE *o = make(name, false, 0);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(OGFilePutSoundAmount(o, 22050, 16, 1), 0u) << "no room for sound in no frames";
    const uint32_t size = OGFileClose(o);
    if (name[2] == 'p') {
      EXPECT_EQ(size, 0u);
      continue;
    }
    EXPECT_EQ(size, fs::file_size(dir.path() / name));
    struct stat st {};
    ASSERT_EQ(::stat(dir.file(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
  }
  ::umask(before);
  EXPECT_EQ(files(), (std::set<std::string>{"z.avi", "z.flc"}));
  VEXFLIC *f = VEXFlicOpen(dir.file("z.flc").c_str());
  ASSERT_NE(f, nullptr) << VEXLastError();
  EXPECT_EQ(f->frame_count, 0u);
  EXPECT_EQ(f->rate, -6666) << "15 frames a second: 6666 units of 10 us a frame";
  VEXFlicClose(f);
  EXPECT_EQ(vex::testkit::ffprobe(dir.file("z.avi"), "-show_entries stream=codec_type,width,height -of csv=p=0"),
            "video,6,4\n");
}

} // namespace
