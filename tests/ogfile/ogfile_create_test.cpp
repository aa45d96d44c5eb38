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

TEST_F(Create, KindAndDepthFollowTheExtensionAndTheFrames) {
  struct Row {
    const char *name;
    bool colour;
    int32_t kind, depth; // kind -1: refused
  };
  const Row rows[] = {{"a.flc", false, OGFILE_FLIC, 8},
                      {"a.FLC", false, OGFILE_FLIC, 8},
                      {"a", false, OGFILE_FLIC, 8},
                      {"a.flc", true, -1, 0},
                      {"a", true, -1, 0},
                      {"a.avi", false, OGFILE_AVI, 8},
                      {"a.Avi", true, OGFILE_AVI, 24},
                      {"a.bmp", false, OGFILE_BMP, 8},
                      {"a.bmp", true, OGFILE_BMP, 24},
                      {"a.jpg", true, OGFILE_JPEG, 24},
                      {"a.png", false, OGFILE_PNG, 8},
                      {"a.tif", true, OGFILE_TIF, 24},
                      {"a.tga", false, OGFILE_TGA, 24},
                      {"a.tga", true, OGFILE_TGA, 24},
                      {"a.pcx", false, OGFILE_PCX, 8},
                      {"a.pcx", true, -1, 0},
                      {"a.GIF", false, OGFILE_GIF, 8},
                      {"a.gif", true, -1, 0},
                      {"a.jpeg", true, -1, 0},
                      {"a.mov", false, -1, 0},
                      {"d.x/a", false, OGFILE_FLIC, 8}};
  fs::create_directory(dir.path() / "d.x");
  for (const Row &r : rows) {
    SCOPED_TRACE(std::string(r.name) + (r.colour ? " 32-bit" : " 8-bit"));
    OGFILE *o = make(r.name, r.colour, 1);
    if (r.kind < 0) {
      EXPECT_EQ(o, nullptr);
      expect_message("Unsupported output file type or color depth.");
      // Asking in the dialog also means: say nothing about the type.
      EXPECT_EQ(make(r.name, r.colour, 1, OGFILE_ASK_IN_DIALOG), nullptr);
      EXPECT_EQ(log.text(), "");
      continue;
    }
    ASSERT_NE(o, nullptr) << VEXLastError();
    EXPECT_EQ(o->kind, r.kind);
    EXPECT_EQ(o->depth, r.depth);
    EXPECT_EQ(log.text(), "");
    OGFileDiscard(o);
  }
  EXPECT_EQ(files(), std::set<std::string>{"d.x"}) << "discarded outputs leave nothing";
}

TEST_F(Create, StillSeriesAreNumberedWithTheDigitsTheCountNeeds) {
  struct Row {
    const char *name;
    int32_t count, puts;
    const char *tmpl, *first, *last;
  };
  const Row rows[] = {{"shot.bmp", 1, 1, "shot.bmp", "shot.bmp", "shot.bmp"},
                      {"shot.bmp", 0, 1, "shot.bmp", "shot.bmp", "shot.bmp"},
                      {"s.PNG", 9, 9, "s%01i.PNG", "s0.PNG", "s8.PNG"},
                      {"s.png", 10, 10, "s%02i.png", "s00.png", "s09.png"},
                      {"shot.bmp", 250, 250, "shot%03i.bmp", "shot000.bmp", "shot249.bmp"},
                      {"s.bmp", 1000, 2, "s%04i.bmp", "s0000.bmp", "s0001.bmp"},
                      {"s.bmp", 12000, 2, "s%05i.bmp", "s00000.bmp", "s00001.bmp"},
                      {"a.bmp.BMP", 3, 2, "a.bmp%01i.BMP", "a.bmp0.BMP", "a.bmp1.BMP"},
                      {"100%.bmp", 2, 2, "100%%%01i.bmp", "100%0.bmp", "100%1.bmp"}};
  for (const Row &r : rows) {
    SCOPED_TRACE(std::string(r.name) + " x " + std::to_string(r.count));
    fs::remove_all(dir.path() / "s");
    fs::create_directory(dir.path() / "s");
    OGFILE *o = make(std::string("s/") + r.name, false, r.count);
    ASSERT_NE(o, nullptr) << VEXLastError();
    EXPECT_EQ(std::string(o->name), dir.file(std::string("s/") + r.tmpl));
    EXPECT_EQ(put(o, r.puts), 0);
    EXPECT_STREQ(o->first_still, r.first);
    EXPECT_EQ(std::string(o->display_name), r.puts == 1 ? r.first : std::string(r.first) + " to " + r.last);
    uint32_t sum = 0;
    for (const auto &e : fs::directory_iterator(dir.path() / "s"))
      sum += static_cast<uint32_t>(e.file_size());
    EXPECT_EQ(OGFileClose(o), sum) << "the sum of the files' sizes";
    EXPECT_EQ(files(dir.path() / "s").size(), static_cast<size_t>(r.puts));
    EXPECT_TRUE(fs::exists(dir.path() / "s" / r.first) && fs::exists(dir.path() / "s" / r.last));
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
  for (int i = 0; i < 3; ++i)
    std::ofstream(dir.file("s" + std::to_string(i) + ".png")) << "original " << i;
  const auto series = [&] {
    OGFILE *o = make("s.png", false, 4, OGFILE_NO_OVERWRITE_QUESTION);
    if (o)
      put(o, 4);
    return o;
  };
  const auto intact = [&] {
    for (int i = 0; i < 3; ++i) {
      std::ifstream in(dir.file("s" + std::to_string(i) + ".png"));
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "original " + std::to_string(i));
    }
  };
  OGFILE *o = series();
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(files().size(), 3u + 4u) << "four stills under temporary names beside the three originals";
  OGFileDiscard(o);
  intact();
  EXPECT_EQ(files(), three);

  fs::create_directories(dir.path() / "s3.png" / "inside");
  ASSERT_NE(o = series(), nullptr);
  EXPECT_EQ(OGFileClose(o), 0u);
  EXPECT_NE(std::string(VEXLastError()).find("s3.png"), std::string::npos) << VEXLastError();
  intact();
  EXPECT_EQ(files(), four);

  fs::remove_all(dir.path() / "s3.png");
  ASSERT_NE(o = series(), nullptr);
  EXPECT_GT(OGFileClose(o), 0u);
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
// new file gets under the umask, not the owner-only ones a private
// temporary file would have.
TEST_F(Create, ZeroFramesGiveEmptyMoviesNoStillsAndTheUmasksPermissions) {
  for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
    const mode_t before = ::umask(mask);
    for (const char *name : {"z.flc", "z.avi", "z.png"}) {
      SCOPED_TRACE(name);
      fs::remove(dir.path() / name);
      OGFILE *o = make(name, false, 0);
      ASSERT_NE(o, nullptr);
      EXPECT_EQ(OGFilePutSoundAmount(o, 22050, 16, 1), 0u) << "no room for sound in no frames";
      const uint32_t size = OGFileClose(o);
      if (name[2] == 'p') {
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(files(), (std::set<std::string>{"z.avi", "z.flc"}));
        continue;
      }
      EXPECT_EQ(size, fs::file_size(dir.path() / name));
      struct stat st {};
      ASSERT_EQ(::stat(dir.file(name).c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "umask " << std::oct << mask;
    }
    ::umask(before);
  }
  VEXFLIC *f = VEXFlicOpen(dir.file("z.flc").c_str());
  ASSERT_NE(f, nullptr) << VEXLastError();
  EXPECT_EQ(f->frame_count, 0u);
  EXPECT_EQ(f->rate, -6666) << "15 frames a second: 6666 units of 10 us a frame";
  VEXFlicClose(f);
  EXPECT_EQ(vex::testkit::ffprobe(dir.file("z.avi"), "-show_entries stream=codec_type,width,height -of csv=p=0"),
            "video,6,4\n");
}

} // namespace
