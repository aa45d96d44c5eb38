// Every reader's bad files through the public sources (rows from
// bad_inputs/): refused with the reason, or read up to the damage and no
// further; never a crash. Then names and files that open nothing (each
// fails with "Error opening: <name>" or the list's own message through the
// callback, and a reason in VEXLastError()). A raw frame file cut at every
// byte is read_fault_test's m.raw under the cut fault, and its cut frames are
// rows of bad_inputs/rawb_rows.cpp.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "testkit/gfile/source_calls.h"
#include "tests/gfile/bad_input_rows.h"
#include "vexutil/sfile.h"
#include "vexutil/util.h"

namespace bad_input {
namespace {

using namespace gfile_test;
std::string or_empty(const char *s) { return s != nullptr ? s : ""; }

void check_pictures(const std::string &name, const BadInput &row) {
  std::unique_ptr<GFILE, decltype(&GFileClose)> g(GFileOpenWith(name.c_str(), nullptr), GFileClose);
  if (row.good_frames < 0) {
    EXPECT_EQ(g, nullptr);
    EXPECT_NE(or_empty(VEXLastError()).find(row.reason), std::string::npos) << VEXLastError();
    return;
  }
  ASSERT_NE(g, nullptr) << VEXLastError();
  for (int i = 0; i < row.good_frames; ++i) {
    ASSERT_EQ(GFileGet(g.get()), 1) << "frame " << i + 1 << ": " << VEXLastError();
    ASSERT_EQ(GFileFrameDamaged(g.get()), 0) << "frame " << i + 1;
  }
  if (g->output_frames > row.good_frames) {
    EXPECT_TRUE(GFileGet(g.get()) == 0 || GFileFrameDamaged(g.get()) == 1) << "frame " << row.good_frames + 1;
  }
  const std::string said = or_empty(GFileDamage(g.get())) + " | " + or_empty(VEXLastError());
  EXPECT_NE(said.find(row.reason), std::string::npos) << said;
}

void check_sound(const std::string &name, const BadInput &row) {
  SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
  if (row.good_frames < 0) {
    EXPECT_EQ(s, nullptr);
    EXPECT_NE(or_empty(VEXLastError()).find(row.reason), std::string::npos) << VEXLastError();
    SFileClose(s);
    return;
  }
  ASSERT_NE(s, nullptr) << VEXLastError();
  std::vector<uint8_t> buffer(1 << 16);
  while (SFileGet(s, buffer.data(), static_cast<uint32_t>(buffer.size())) > 0) {
  }
  EXPECT_NE(or_empty(SFileDamage(s)).find(row.reason), std::string::npos) << or_empty(SFileDamage(s));
  SFileClose(s);
}

TEST(BadInput, EveryReaderRefusesWithItsReason) {
  TempDir dir;
  for (auto rows : {flic_bad_inputs, korvane_bad_inputs, tolm_bad_inputs, rawb_bad_inputs, still_bad_inputs,
                    movie_bad_inputs, sound_bad_inputs}) {
    for (const BadInput &row : rows()) {
      SCOPED_TRACE(row.file + " (" + row.reason + ")");
      const std::string name = dir.file(row.file);
      write_file(name, row.bytes);
      row.sound ? check_sound(name, row) : check_pictures(name, row);
    }
  }
}

// 127 characters in all is the longest name a record holds: it opens; one
// more does not fit, existing or not. Empty and foreign files, folders,
// names of nothing, lists that name themselves, nothing or a missing file.
// When every reader said "not mine" the reason speaks of the file, not of
// the last reader tried.
TEST(BadInput, NamesAndFilesThatOpenNothing) {
  TempDir dir;
  const std::string base = dir.path().string() + "/";
  const std::string flc = pattern_flc(dir, "w.flc", {.width = 8, .height = 8, .frames = 2});
  const std::string n127 = base + std::string(127 - base.size() - 4, 'x') + ".flc";
  ASSERT_EQ(n127.size(), 127u);
  std::filesystem::copy_file(flc, n127); // the FLC writer's own names are shorter: write, then copy
  EXPECT_EQ(std::string(must(n127)->name), n127);
  const std::string n128 = base + std::string(128 - base.size() - 4, 'y') + ".flc";
  std::filesystem::copy_file(flc, n128);
  for (const char *f : {"folder.flc", "folder"})
    std::filesystem::create_directory(base + f);
  for (const char *f : {"e.flc", "e.bmp", "e.avi", "e.mov", "e.kvn", "e.tlm", "e.raw", "e.exe", "e.wav", "e"})
    write_file(base + f, {});
  write_file(base + "text.png", std::vector<uint8_t>(300, 'A'));
  write_file(base + "r.wav", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}); // a RIFF that is no WAVE
  std::ofstream(base + "self.lst") << flc << "\n" << base << "self.lst\n";
  std::ofstream(base + "empty.lst") << "# nothing\n\n";
  std::ofstream(base + "missing.lst") << flc << "\n" << base << "nowhere.flc\n";
  const struct {
    std::string name, error; // error: "" for "Error opening: <name>"
    std::string reason = {}; // VEXLastError(): "" any but empty, "!x" anything but x
  } rows[] = {{n128, ""},
              {base + std::string(4000, 'z'), ""},
              {base + "nothing", ""},     // no extension, no file under any
              {base + "nothing.flc", ""}, // a named file that does not exist
              {base + "folder.flc", ""},
              {base + "folder", ""},
              {"", ""},
              {base + "e.flc", ""},  {base + "e.bmp", ""}, {base + "e.avi", ""}, {base + "e.mov", ""},
              {base + "e.kvn", ""},  {base + "e.tlm", ""}, {base + "e.raw", ""}, {base + "e.exe", ""},
              {base + "e.wav", ""},  {base + "e", ""},
              {base + "text.png", "", "not a file of a known kind"},
              {base + "e.png", "", "!the file is empty"}, // it does not exist
              {base + "r.wav", ""},
              {base + "self.lst", "-"}, // one error message, whichever
              {base + "empty.lst", "No files in the list file."},
              {base + "missing.lst", "Error opening: " + base + "nowhere.flc"}};
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name.size() < 200 ? r.name : std::to_string(r.name.size()) + " characters");
    MessageLog log;
    EXPECT_EQ(open(r.name), nullptr);
    const std::vector<std::string> errors = log.at_level(2);
    if (r.error == "-")
      EXPECT_EQ(errors.size(), 1u);
    else
      EXPECT_EQ(errors, std::vector<std::string>{r.error.empty() ? "Error opening: " + r.name : r.error});
    const std::string reason = VEXLastError();
    if (r.reason.empty())
      EXPECT_NE(reason, "");
    else if (r.reason[0] == '!')
      EXPECT_NE(reason, r.reason.substr(1));
    else
      EXPECT_EQ(reason, r.reason);
  }
  write_file(base + "e.png", {});
  EXPECT_EQ(open(base + "e.png"), nullptr);
  EXPECT_STREQ(VEXLastError(), "the file is empty");
  EXPECT_EQ(GFileGet(nullptr), 0); // null handles are harmless
  GFileReset(nullptr);
  EXPECT_EQ(GFileClose(nullptr), nullptr);
  EXPECT_EQ(GFileDamage(nullptr), nullptr);
  EXPECT_EQ(GFileOpen(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, nullptr, nullptr, nullptr), nullptr);
}

} // namespace
} // namespace bad_input
