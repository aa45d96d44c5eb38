// Names and files that open nothing: each fails with "Error opening: %s"
// through the callback and a reason in VEXLastError(), without a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testkit/flic/flic_bytes.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/gfile_test_util.h"

namespace {

using namespace gfile_test;

void expect_refused(const std::string &name) {
  EXPECT_EQ(open(name), nullptr) << name.size() << " characters";
  EXPECT_EQ(errors(), std::vector<std::string>{"Error opening: " + name});
  EXPECT_STRNE(VEXLastError(), "");
}

TEST(GfileBadInput, LongNamesNothingAndDirectories) {
  vex::testkit::TempDir dir;
  const std::string base = dir.path().string() + "/";
  // 127 characters in all is the longest name a record holds: it opens.
  vex::testkit::PatternOptions o{.width = 8, .height = 8, .frames = 2};
  const std::string n127 = base + std::string(127 - base.size() - 4, 'x') + ".flc";
  ASSERT_EQ(n127.size(), 127u);
  // The FLC writer's own names are shorter: write, then rename.
  ASSERT_NE(vex::testkit::write_flc(vex::testkit::PatternAnimation(o), -5000, base + "w.flc"), 0u);
  std::filesystem::copy_file(base + "w.flc", n127);
  Source g = open(n127);
  ASSERT_NE(g, nullptr) << VEXLastError();
  EXPECT_EQ(std::string(g->name), n127);
  // One more character does not fit, existing or not.
  const std::string n128 = base + std::string(128 - base.size() - 4, 'y') + ".flc";
  std::filesystem::copy_file(base + "w.flc", n128);
  expect_refused(n128);
  expect_refused(base + std::string(4000, 'z'));
  expect_refused(base + "nothing");     // no extension, no file under any
  expect_refused(base + "nothing.flc"); // a named file that does not exist
  std::filesystem::create_directory(base + "folder.flc");
  expect_refused(base + "folder.flc");
  std::filesystem::create_directory(base + "folder");
  expect_refused(base + "folder");
  expect_refused("");
}

TEST(GfileBadInput, EmptyAndForeignFiles) {
  vex::testkit::TempDir dir;
  for (const char *name : {"e.flc", "e.bmp", "e.avi", "e.mov", "e.kvn", "e.tlm", "e.raw", "e.exe", "e.wav", "e"}) {
    write_file(dir.file(name), {});
    expect_refused(dir.file(name));
  }
  write_file(dir.file("text.png"), std::vector<uint8_t>(300, 'A'));
  expect_refused(dir.file("text.png"));
  // Every reader said "not mine": the reason speaks of the file, not of the
  // last reader tried.
  EXPECT_STREQ(VEXLastError(), "not a file of a known kind");
  expect_refused(dir.file("e.png"));
  EXPECT_STRNE(VEXLastError(), "the file is empty") << "e.png does not exist";
  write_file(dir.file("e.png"), {});
  expect_refused(dir.file("e.png"));
  EXPECT_STREQ(VEXLastError(), "the file is empty");
  // A FLIC header that the FLIC reader knows but cannot take: its reason
  // outlives the readers tried after it.
  std::vector<uint8_t> flc(128, 0);
  flc[0] = 128;             // file size
  flc[4] = 0x12, flc[5] = 0xAF; // FLC magic
  flc[6] = 1;               // one frame
  flc[10] = 5;              // 0 x 5 pixels
  flc[12] = 8;              // 8 bits a pixel
  write_file(dir.file("zero.flc"), flc);
  expect_refused(dir.file("zero.flc"));
  EXPECT_STREQ(VEXLastError(), "the picture is 0 x 5 pixels");
  // A RIFF that is not a WAVE goes on to the other readers, which refuse it.
  std::vector<uint8_t> riff = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '};
  write_file(dir.file("r.wav"), riff);
  expect_refused(dir.file("r.wav"));
}

// A FLC cut inside a frame opens; its damage is known at open, every frame
// is still delivered, and in a list the entry is named.
TEST(GfileBadInput, DamageIsNamedWithItsPlace) {
  vex::testkit::TempDir dir;
  vex::testkit::PatternOptions o{.width = 16, .height = 8, .frames = 4};
  ASSERT_NE(vex::testkit::write_flc(vex::testkit::PatternAnimation(o), -5000, dir.file("whole.flc")), 0u);
  const std::vector<uint8_t> whole = vex::testkit::load_bytes(dir.file("whole.flc"));
  VEXFLIC *h = VEXFlicOpen(dir.file("whole.flc").c_str());
  ASSERT_NE(h, nullptr);
  const uint32_t frame1 = h->frame1_offset;
  VEXFlicClose(h);
  const uint32_t frame2 = frame1 + (whole[frame1] | whole[frame1 + 1] << 8 | whole[frame1 + 2] << 16);
  write_file(dir.file("cut.flc"), std::vector<uint8_t>(whole.begin(), whole.begin() + frame2 + 20));
  write_file(dir.file("both.lst"),
             {'w', 'h', 'o', 'l', 'e', '.', 'f', 'l', 'c', '\n', 'c', 'u', 't', '.', 'f', 'l', 'c', '\n'});
  const struct {
    const char *file, *damage_at_open, *damage_at_end;
  } cases[] = {
      {"whole.flc", nullptr, nullptr},
      {"cut.flc", "frame 2 runs past the end of the file", "frame 2 runs past the end of the file"},
      {"both.lst", nullptr, "cut.flc: frame 2 runs past the end of the file"},
  };
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path()); // the list names its entries relative to here
  for (const auto &c : cases) {
    Source g = open(c.file);
    ASSERT_NE(g, nullptr) << c.file << ": " << VEXLastError();
    EXPECT_STREQ(GFileDamage(g.get()), c.damage_at_open) << c.file;
    for (int f = 0; f < g->output_frames; ++f)
      ASSERT_EQ(GFileGet(g.get()), 1) << c.file << " " << f;
    EXPECT_STREQ(GFileDamage(g.get()), c.damage_at_end) << c.file;
  }
  std::filesystem::current_path(here);
  EXPECT_EQ(GFileDamage(nullptr), nullptr);
}

TEST(GfileBadInput, NullHandlesAreHarmless) {
  EXPECT_EQ(GFileGet(nullptr), 0);
  GFileReset(nullptr);
  EXPECT_EQ(GFileClose(nullptr), nullptr);
  EXPECT_EQ(GFileOpen(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, nullptr, nullptr, nullptr),
            nullptr);
}

} // namespace
