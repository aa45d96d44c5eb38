#include "tests/ogfile/ogfile_test_util.h"

#include <gtest/gtest.h>

#include <set>

namespace vex::ogtest {

void expect_whole_pass(const testkit::PassResults &r) {
  std::set<std::string> files, want_files;
  for (const auto &[label, said] : r) {
    SCOPED_TRACE(label);
    const std::string name = label.substr(label.find(' ') + 1), head = said.substr(0, 200);
    if (label.rfind("pictures missing.flc", 0) == 0) {
      EXPECT_EQ(said.rfind("failed: GFileOpenWith: ", 0), 0u) << head;
    } else if (label.rfind("pictures ", 0) == 0) {
      EXPECT_GT(said.size(), 100u);
      EXPECT_EQ(said.find("failed"), std::string::npos) << head;
      EXPECT_EQ(said.find("reset:"), std::string::npos);
      EXPECT_EQ(said.find("damage: ") != std::string::npos, name.rfind("cut.flc", 0) == 0);
    } else if (label.rfind("sound ", 0) == 0) {
      if (std::set<std::string>{"s.wav", "m.avi", "d.kvn", "x.kvn", "s.tlm"}.count(name)) {
        EXPECT_GT(said.size(), 100u);
        for (const char *wrong : {"failed", "damage:", "reset:"})
          EXPECT_EQ(said.find(wrong), std::string::npos) << said.substr(std::min(said.size(), said.find(wrong)));
      } else if (name == "p.png") {
        EXPECT_EQ(said, "failed: SFileOpen: Error opening the audio input file.");
      } else {
        EXPECT_EQ(said.rfind("failed: SFileOpen", 0), 0u) << head;
      }
    } else if (label.rfind("write ", 0) == 0) {
      EXPECT_EQ(said.find("failed"), std::string::npos) << said;
      const size_t dot = name.find('.');
      if (name == "mjpeg")
        want_files.insert("m.avi");
      else if (name == "o.bmp" || name == "o.jpg" || name == "o.png" || name == "o.tif" || name == "o.tga" ||
               name == "o.pcx" || name == "o.gif")
        for (int i = 0; i < 4; ++i)
          want_files.insert(name.substr(0, dot) + std::to_string(i) + name.substr(dot));
      else if (dot != std::string::npos)
        want_files.insert(name);
    } else if (label.rfind("file ", 0) == 0) {
      files.insert(name);
      EXPECT_GT(said.size(), name == "s.vcs" ? 40u : 100u); // four chunks of silence: 64 bytes
    }
  }
  EXPECT_EQ(files, want_files) << "no output missing, no temporary left";
}

} // namespace vex::ogtest
