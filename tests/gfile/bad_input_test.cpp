// Every reader's bad files through the public sources: refused with the
// reason, or read up to the damage and no further; never a crash.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/bad_input_rows.h"
#include "vexutil/gfile.h"
#include "vexutil/sfile.h"
#include "vexutil/util.h"

namespace bad_input {
namespace {

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
  vex::testkit::TempDir dir;
  for (auto rows : {flic_bad_inputs, korvane_bad_inputs, tolm_bad_inputs, rawb_bad_inputs, still_bad_inputs,
                    movie_bad_inputs, sound_bad_inputs}) {
    for (const BadInput &row : rows()) {
      SCOPED_TRACE(row.file + " (" + row.reason + ")");
      const std::string name = dir.file(row.file);
      vex::testkit::write_file(name, row.bytes);
      if (row.sound)
        check_sound(name, row);
      else
        check_pictures(name, row);
    }
  }
}

} // namespace
} // namespace bad_input
