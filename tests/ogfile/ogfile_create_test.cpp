// Which outputs a name and depth make, the names of still series, and the
// ways a create is refused: each with its message and nothing written.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "ogfile_test_util.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/flic.h"
#include "vexutil/ogfile.h"

namespace {

using vex::ogtest::messages;
using vex::ogtest::record_message;
namespace fs = std::filesystem;

class Create : public ::testing::Test {
protected:
  void SetUp() override {
    messages().clear();
    setenv("VEXUTIL_UI", "terminal", 1); // questions take their default at once: no person here
  }
  std::set<std::string> files() const {
    std::set<std::string> out;
    for (const auto &e : fs::directory_iterator(dir.path()))
      out.insert(e.path().filename().string());
    return out;
  }
  OGFILE *make(const std::string &name, bool colour, int32_t frames, int32_t flags = 0, const char *codec = nullptr) {
    return OGFileCreate(codec, dir.file(name).c_str(), colour, frames, 15, 1, kW, kH, kW, record_message, flags);
  }
  static constexpr int32_t kW = 6, kH = 4;
  vex::testkit::TempDir dir;
};

TEST_F(Create, KindAndDepthFollowTheExtensionAndTheFrames) {
  struct Row {
    const char *name;
    bool colour;
    int32_t kind, depth; // kind -1: refused
  };
  const Row rows[] = {
      {"a.flc", false, OGFILE_FLIC, 8},  {"a.FLC", false, OGFILE_FLIC, 8}, {"a", false, OGFILE_FLIC, 8},
      {"a.flc", true, -1, 0},            {"a", true, -1, 0},               {"a.avi", false, OGFILE_AVI, 8},
      {"a.Avi", true, OGFILE_AVI, 24},   {"a.bmp", false, OGFILE_BMP, 8},  {"a.bmp", true, OGFILE_BMP, 24},
      {"a.jpg", true, OGFILE_JPEG, 24},  {"a.png", false, OGFILE_PNG, 8},  {"a.tif", true, OGFILE_TIF, 24},
      {"a.tga", false, OGFILE_TGA, 24},  {"a.tga", true, OGFILE_TGA, 24},  {"a.pcx", false, OGFILE_PCX, 8},
      {"a.pcx", true, -1, 0},            {"a.GIF", false, OGFILE_GIF, 8},  {"a.gif", true, -1, 0},
      {"a.jpeg", true, -1, 0},           {"a.mov", false, -1, 0},          {"d.x/a", false, OGFILE_FLIC, 8}};
  fs::create_directory(dir.path() / "d.x");
  for (const Row &r : rows) {
    messages().clear();
    OGFILE *o = make(r.name, r.colour, 1);
    if (r.kind < 0) {
      EXPECT_EQ(o, nullptr) << r.name << (r.colour ? " 32-bit" : " 8-bit");
      ASSERT_EQ(messages().size(), 1u) << r.name;
      EXPECT_EQ(messages()[0].text, "Unsupported output file type or color depth.");
      EXPECT_EQ(messages()[0].level, 2);
      // Asking in the dialog also means: say nothing about the type.
      messages().clear();
      EXPECT_EQ(make(r.name, r.colour, 1, OGFILE_ASK_IN_DIALOG), nullptr);
      EXPECT_TRUE(messages().empty()) << r.name;
      continue;
    }
    ASSERT_NE(o, nullptr) << r.name << ": " << VEXLastError();
    EXPECT_EQ(o->kind, r.kind) << r.name;
    EXPECT_EQ(o->depth, r.depth) << r.name;
    EXPECT_TRUE(messages().empty()) << r.name;
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
  const Row rows[] = {
      {"shot.bmp", 1, 1, "shot.bmp", "shot.bmp", "shot.bmp"},
      {"shot.bmp", 0, 1, "shot.bmp", "shot.bmp", "shot.bmp"},
      {"s.PNG", 9, 9, "s%01i.PNG", "s0.PNG", "s8.PNG"},
      {"s.png", 10, 10, "s%02i.png", "s00.png", "s09.png"},
      {"shot.bmp", 250, 250, "shot%03i.bmp", "shot000.bmp", "shot249.bmp"},
      {"s.bmp", 1000, 2, "s%04i.bmp", "s0000.bmp", "s0001.bmp"},
      {"s.bmp", 12000, 2, "s%05i.bmp", "s00000.bmp", "s00001.bmp"},
      {"a.bmp.BMP", 3, 2, "a.bmp%01i.BMP", "a.bmp0.BMP", "a.bmp1.BMP"},
      {"100%.bmp", 2, 2, "100%%%01i.bmp", "100%0.bmp", "100%1.bmp"}};
  const std::vector<uint8_t> frame = vex::ogtest::indexed_frame(kW, kH, kW, 0), pal = vex::ogtest::palette(0);
  for (const Row &r : rows) {
    fs::remove_all(dir.path() / "s");
    fs::create_directory(dir.path() / "s");
    OGFILE *o = make(std::string("s/") + r.name, false, r.count);
    ASSERT_NE(o, nullptr) << r.name << ": " << VEXLastError();
    EXPECT_EQ(std::string(o->name), dir.file(std::string("s/") + r.tmpl));
    for (int i = 0; i < r.puts; ++i)
      OGFilePut(o, frame.data(), pal.data());
    EXPECT_EQ(o->error, 0);
    EXPECT_STREQ(o->first_still, r.first);
    const std::string shown = r.puts == 1 ? r.first : std::string(r.first) + " to " + r.last;
    EXPECT_EQ(std::string(o->display_name), shown);
    uint32_t sum = 0;
    for (const auto &e : fs::directory_iterator(dir.path() / "s"))
      sum += static_cast<uint32_t>(e.file_size());
    EXPECT_EQ(OGFileClose(o), sum) << "the sum of the files' sizes";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "s"), {}), r.puts) << r.name;
    EXPECT_TRUE(fs::exists(dir.path() / "s" / r.first) && fs::exists(dir.path() / "s" / r.last)) << r.name;
  }
}

// An existing output, and no person to say Yes: the terminal front takes
// the default No, the callback hears the kept file's name at level 3 (a
// FLIC named without extension as it is written, with ".flc"), the file
// stays as it was. With the no-question flag it is replaced, only when the
// output is finished: a FLIC or AVI at close, and every still of a series
// together, at close.
TEST_F(Create, AnExistingOutputIsOnlyReplacedWhenAllowed) {
  const std::vector<uint8_t> frame = vex::ogtest::indexed_frame(kW, kH, kW, 0), pal = vex::ogtest::palette(0);
  for (const char *name : {"old", "old.avi", "old.bmp"}) {
    const bool still = std::string(name) == "old.bmp";
    const std::string path = dir.file(still ? "old000.bmp" : std::string(name) == "old" ? "old.flc" : name);
    std::ofstream(path) << "keep me";
    messages().clear();
    EXPECT_EQ(OGFileCreate(nullptr, dir.file(name).c_str(), 0, 100, 15, 1, kW, kH, kW, record_message, 0), nullptr);
    ASSERT_EQ(messages().size(), 1u) << name;
    EXPECT_EQ(messages()[0].text, path);
    EXPECT_EQ(messages()[0].level, 3);
    EXPECT_EQ(fs::file_size(path), 7u) << name;
    OGFILE *o = OGFileCreate(nullptr, dir.file(name).c_str(), 0, 100, 15, 1, kW, kH, kW, record_message,
                             OGFILE_NO_OVERWRITE_QUESTION);
    ASSERT_NE(o, nullptr) << name;
    if (!still) {
      EXPECT_EQ(std::string(o->display_name), path) << "the name the output takes";
    }
    OGFilePut(o, frame.data(), pal.data());
    EXPECT_EQ(fs::file_size(path), 7u) << name << ": not before the output is finished";
    EXPECT_GT(OGFileClose(o), 0u);
    EXPECT_GT(fs::file_size(path), 7u) << name;
  }
}

// A series replaces the files under its names all together or not at all:
// discarded, none is touched; a still whose name cannot be given (a folder
// stands there) fails the close, and every file replaced before it is put
// back. No temporary file stays either way.
TEST_F(Create, ASeriesReplacesItsFilesWholeOrNotAtAll) {
  const std::vector<uint8_t> frame = vex::ogtest::indexed_frame(kW, kH, kW, 0), pal = vex::ogtest::palette(0);
  auto originals = [&] {
    for (int i = 0; i < 3; ++i)
      std::ofstream(dir.file("s" + std::to_string(i) + ".png")) << "original " << i;
  };
  auto series = [&] {
    OGFILE *o = make("s.png", false, 4, OGFILE_NO_OVERWRITE_QUESTION);
    for (int i = 0; i < 4 && o; ++i)
      OGFilePut(o, frame.data(), pal.data());
    return o;
  };
  auto intact = [&](const char *when) {
    for (int i = 0; i < 3; ++i) {
      std::ifstream in(dir.file("s" + std::to_string(i) + ".png"));
      const std::string text{std::istreambuf_iterator<char>(in), {}};
      EXPECT_EQ(text, "original " + std::to_string(i)) << when;
    }
  };
  originals();
  OGFILE *o = series();
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(files().size(), 3u + 4u) << "four stills under temporary names beside the three originals";
  OGFileDiscard(o);
  intact("discarded");
  EXPECT_EQ(files(), (std::set<std::string>{"s0.png", "s1.png", "s2.png"}));

  fs::create_directories(dir.path() / "s3.png" / "inside");
  o = series();
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(OGFileClose(o), 0u);
  EXPECT_NE(std::string(VEXLastError()).find("s3.png"), std::string::npos) << VEXLastError();
  intact("failed at the fourth name");
  EXPECT_EQ(files(), (std::set<std::string>{"s0.png", "s1.png", "s2.png", "s3.png"}));

  fs::remove_all(dir.path() / "s3.png");
  o = series();
  ASSERT_NE(o, nullptr);
  EXPECT_GT(OGFileClose(o), 0u);
  EXPECT_EQ(files(), (std::set<std::string>{"s0.png", "s1.png", "s2.png", "s3.png"}));
  for (int i = 0; i < 4; ++i)
    EXPECT_GT(fs::file_size(dir.path() / ("s" + std::to_string(i) + ".png")), 20u) << "a PNG now";
}

// Sizes and rates the writer cannot take: the callback hears the kind's
// message, and the reason names the argument (a row pitch given in bytes,
// as a true-colour GFILE's pitch is once its buffer exists, is the usual
// mistake: the writer counts pixels).
TEST_F(Create, ARefusedArgumentIsNamed) {
  struct Row {
    const char *name;
    int32_t width, height, pitch;
    uint32_t rate, scale;
    const char *message, *reason;
  };
  const Row rows[] = {
      {"a.flc", 160, 90, 40, 15, 1, "Error creating the output flic.",
       "the row pitch (source_pitch) 40 is less than the width 160: it counts pixels, not bytes"},
      {"a.png", 0, 90, 160, 15, 1, "Unsupported output file type or color depth.",
       "the width 0 is not between 1 and 65535"},
      {"a.avi", 160, 70000, 160, 15, 1, "Error creating the output AVI file.",
       "the height 70000 is not between 1 and 65535"},
      {"a.bmp", 16, 8, 16, 15, 0, "Unsupported output file type or color depth.",
       "the frame rate 15/0 (rate/scale) has a zero"}};
  for (const Row &r : rows) {
    messages().clear();
    const int32_t true_colour = std::string(r.name) == "a.flc" ? 0 : 1;
    EXPECT_EQ(OGFileCreate(nullptr, dir.file(r.name).c_str(), true_colour, 10, r.rate, r.scale, r.width, r.height, r.pitch,
                           record_message, 0),
              nullptr)
        << r.name;
    ASSERT_EQ(messages().size(), 1u) << r.name;
    EXPECT_EQ(messages()[0].text, r.message);
    EXPECT_STREQ(VEXLastError(), r.reason);
  }
  EXPECT_TRUE(files().empty());
}

TEST_F(Create, BadPlacesAndNamesFailWithTheKindsMessage) {
  struct Row {
    std::string name;
    const char *codec;
    const char *message;
  };
  const Row rows[] = {
      {"missing/a.flc", nullptr, "Error creating the output flic."},
      {"missing/a.avi", nullptr, "Error creating the output AVI file."},
      {"a.avi", "no-such-encoder", "Error creating the output AVI file."},
      {"a.avi", OGFILE_ASK_FOR_CODEC, "Error creating the output AVI file."},
      {std::string(130, 'n') + ".flc", nullptr, "Error creating the output flic."}};
  for (const Row &r : rows) {
    messages().clear();
    EXPECT_EQ(make(r.name, false, 3, 0, r.codec), nullptr) << r.name;
    ASSERT_EQ(messages().size(), 1u) << r.name;
    EXPECT_EQ(messages()[0].text, r.message) << r.name;
    EXPECT_NE(std::string(VEXLastError()), "") << r.name;
  }
  EXPECT_TRUE(files().empty()) << "no temporary file stays behind";
  // A still series in a missing folder fails at each frame, not at once.
  OGFILE *o = make("missing/s.png", false, 3);
  ASSERT_NE(o, nullptr);
  const std::vector<uint8_t> frame = vex::ogtest::indexed_frame(kW, kH, kW, 0), pal = vex::ogtest::palette(0);
  OGFilePut(o, frame.data(), pal.data());
  EXPECT_EQ(o->error, 1);
  EXPECT_NE(std::string(VEXLastError()).find("missing/: No such file or directory"), std::string::npos)
      << VEXLastError();
  OGFilePut(o, frame.data(), pal.data());
  EXPECT_EQ(o->next_frame, 2) << "the writer goes on";
  EXPECT_EQ(OGFileClose(o), 0u);
}

// Closing before any frame: a FLIC and an AVI are still whole files that
// their readers open (with no frame to show), a still series writes
// nothing and says so with a size of 0.
TEST_F(Create, ZeroFramesGiveEmptyMoviesAndNoStills) {
  for (const char *name : {"z.flc", "z.avi", "z.png"}) {
    OGFILE *o = make(name, false, 0);
    ASSERT_NE(o, nullptr) << name;
    EXPECT_EQ(OGFilePutSoundAmount(o, 22050, 16, 1), 0u) << name << ": no room for sound in no frames";
    const uint32_t size = OGFileClose(o);
    if (std::string(name) == "z.png") {
      EXPECT_EQ(size, 0u);
      EXPECT_EQ(files(), (std::set<std::string>{"z.avi", "z.flc"}));
    } else {
      EXPECT_EQ(size, fs::file_size(dir.path() / name)) << name;
    }
  }
  VEXFLIC *f = VEXFlicOpen(dir.file("z.flc").c_str());
  ASSERT_NE(f, nullptr) << VEXLastError();
  EXPECT_EQ(f->frame_count, 0u);
  VEXFlicClose(f);
  EXPECT_EQ(vex::testkit::ffprobe(dir.file("z.avi"), "-show_entries stream=codec_type,width,height -of csv=p=0"),
            "video,6,4\n");
}

// Outputs get the permissions any new file gets under the umask, not the
// owner-only ones a private temporary file would have.
TEST_F(Create, OutputsTakeTheUmasksPermissions) {
  for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
    const mode_t before = ::umask(mask);
    for (const char *name : {"p.flc", "p.avi"}) {
      fs::remove(dir.path() / name);
      OGFILE *o = make(name, false, 0);
      ASSERT_NE(o, nullptr) << name;
      OGFileClose(o);
      struct stat st {};
      ASSERT_EQ(::stat(dir.file(name).c_str(), &st), 0) << name;
      EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << name << ", umask " << std::oct << mask;
    }
    ::umask(before);
  }
}

// A full disk and a read-only one, on small file systems of their own
// (root only: skipped with a message elsewhere).
class SmallDisk : public Create {
protected:
  bool mount_here(const char *options) {
    mnt = dir.path() / "mnt";
    fs::create_directory(mnt);
    mounted = ::mount("tmpfs", mnt.c_str(), "tmpfs", 0, options) == 0;
    return mounted;
  }
  void TearDown() override {
    if (mounted)
      ::umount(mnt.c_str());
  }
  fs::path mnt;
  bool mounted = false;
};

TEST_F(SmallDisk, WritesOnAFullDiskSetTheFlagAndLeaveNothing) {
  if (!mount_here("size=64k"))
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  // Past the 64 KiB of the disk and the muxer's 256 KiB buffer.
  constexpr int32_t w = 128, h = 128;
  for (const char *name : {"a.flc", "a.avi", "s.bmp"}) {
    OGFILE *o = OGFileCreate(nullptr, (mnt / name).c_str(), 0, 40, 15, 1, w, h, w, record_message, 0);
    ASSERT_NE(o, nullptr) << name << ": " << VEXLastError();
    const std::vector<uint8_t> pal = vex::ogtest::palette(0);
    for (int f = 0; f < 40; ++f) {
      std::vector<uint8_t> noise(w * h);
      for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>((i * 2654435761u + static_cast<size_t>(f) * 40503u) >> 13);
      OGFilePut(o, noise.data(), pal.data());
    }
    EXPECT_EQ(o->error, 1) << name;
    EXPECT_EQ(o->next_frame, 40) << name << ": every frame was tried";
    if (std::string(name) == "s.bmp") {
      OGFileDiscard(o);
    } else {
      EXPECT_EQ(OGFileClose(o), 0u) << name;
    }
    EXPECT_TRUE(fs::is_empty(mnt)) << name << ": nothing half-written, no temporary file";
  }
}

TEST_F(SmallDisk, AReadOnlyFolderRefusesEveryKind) {
  if (!mount_here("size=64k"))
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  ASSERT_EQ(::mount("tmpfs", mnt.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
  EXPECT_EQ(OGFileCreate(nullptr, (mnt / "a.flc").c_str(), 0, 4, 15, 1, 8, 8, 8, record_message, 0), nullptr);
  EXPECT_EQ(OGFileCreate(nullptr, (mnt / "a.avi").c_str(), 1, 4, 15, 1, 8, 8, 8, record_message, 0), nullptr);
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_EQ(messages()[0].text, "Error creating the output flic.");
  EXPECT_EQ(messages()[1].text, "Error creating the output AVI file.");
  EXPECT_NE(std::string(VEXLastError()).find("Read-only"), std::string::npos) << VEXLastError();
}

} // namespace
