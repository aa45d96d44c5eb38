// Writes that fail under every kind of output: the file layer's test hook
// makes the write that would carry the P-th byte fail with ENOSPC (and
// every write after it, as on a full disk), and P walks over the bytes
// the output writes (testkit/util/fault_positions.h says which).
// Outputs: FLC, AVI, numbered stills of the seven formats, WAV (SFileWave*)
// and a chunk stream written by vexconv's own code (convert_sound). The
// final names hold other files before each run. A run that meets the
// failure must say so (the writer's flag, a 0 from its close, the tool's
// exit status), keep the system's reason to the end (VEXLastError after
// the close, the tool's message), leave no temporary behind and leave the
// files under the final names byte for byte as they were (a numbered still
// series is put into place whole or not at all). A run that does not meet
// it writes the output whole.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/sound_conversion.h"
#include "common/talk.h"
#include "file/io_fault_hook.h"
#include "testkit/util/fault_positions.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/wav_file.h"
#include "vexutil/ogfile.h"
#include "vexutil/sfile.h"
#include "vexutil/util.h"

namespace {

namespace fs = std::filesystem;

// One run of a writer: "" when it succeeded, else the failure's reason
// (taken after the close: kept to the end).
std::string picture_output(const std::string &name) {
  uint8_t palette[768], pixels[32 * 24];
  for (int i = 0; i < 768; ++i)
    palette[i] = static_cast<uint8_t>(i / 3);
  OGFILE *o = OGFileCreate(nullptr, name.c_str(), 0, 3, 15, 1, 32, 24, 32, nullptr, OGFILE_NO_OVERWRITE_QUESTION);
  bool error = o == nullptr;
  for (int32_t n = 0; o && n < 3; ++n) { // three frames, each different
    for (size_t i = 0; i < sizeof pixels; ++i)
      pixels[i] = static_cast<uint8_t>(i * 7 + n * 31);
    OGFilePut(o, pixels, palette);
    error = error || o->error;
  }
  if (o && o->next_frame != 3) { // a failed write leaves the flag set and the writer going on
    OGFileDiscard(o);
    return "not every frame was tried";
  }
  return (o ? OGFileClose(o) : 0) == 0 || error ? std::string("failed: ") + VEXLastError() : "";
}

std::string wave_output(const std::string &name) {
  SFILEWAVE *w = SFileWaveCreate(name.c_str(), 11025, 16, 1);
  const std::vector<uint8_t> pcm(3000, 0x31);
  const bool ok = w && SFileWaveWrite(w, pcm.data(), 1000) && SFileWaveWrite(w, pcm.data(), 2000);
  return (w && SFileWaveClose(w, 1) && ok) ? "" : std::string("failed: ") + VEXLastError();
}

// vexconv's talk, kept quiet: the failure message is the result.
class QuietTalk final : public vex::tools::Talk {
public:
  int fail(const std::string &message) override {
    message_ = "failed: " + message;
    return 1;
  }
  bool may_write(const std::string &, const std::string &, bool) override { return true; }
  bool cancelled() override { return false; }
  void progress(uint32_t, uint32_t, uint32_t) override {}
  void note(const std::string &) override {}
  void done(const std::string &) override {}
  std::string message_;
};

TEST(WriteFaults, EveryOutputFailingAtEachByteTried) {
  vex::testkit::TempDir inputs;
  vex::testkit::write_file(inputs.file("s.wav"), vex::testkit::pcm_wav(11025, 16, 1, std::vector<uint8_t>(8820, 9)));
  std::vector<std::pair<std::string, std::function<std::string(const fs::path &)>>> outputs{
      {"wav", [](const fs::path &d) { return wave_output((d / "out.wav").string()); }},
      {"chunk stream", [&](const fs::path &d) {
         vex::tools::SoundJob job;
         job.in = inputs.file("s.wav");
         job.out = (d / "out.vcs").string();
         job.replace = job.quiet = true;
         QuietTalk talk;
         return vex::tools::convert_sound(job, talk) == 0 ? "" : talk.message_;
       }}};
  for (const char *ext : {"flc", "avi", "bmp", "pcx", "png", "tga", "tif", "gif", "jpg"})
    outputs.push_back({ext, [ext](const fs::path &d) { return picture_output((d / "out.").string() + ext); }});
  const std::string no_space = std::strerror(ENOSPC);
  for (const auto &[what, write] : outputs) {
    SCOPED_TRACE(what);
    vex::testkit::TempDir dir;
    vex::file::fail_writes(UINT64_MAX);
    ASSERT_EQ(write(dir.path()), "");
    const uint64_t total = vex::file::bytes_written();
    // The names the output takes hold other files from now on.
    const std::set<std::string> names = vex::testkit::entry_names(dir.path());
    int failures = 0;
    for (const uint64_t at : vex::testkit::fault_positions(total)) {
      for (const std::string &n : names)
        std::ofstream(dir.path() / n, std::ios::binary | std::ios::trunc) << "the file that was there: " << n;
      vex::file::fail_writes(at);
      const std::string said = write(dir.path());
      vex::file::fail_writes(UINT64_MAX);
      const std::set<std::string> left = vex::testkit::entry_names(dir.path());
      size_t replaced = 0;
      for (const std::string &n : left) {
        const std::vector<uint8_t> b = vex::testkit::read_file((dir.path() / n).string());
        replaced += std::string(b.begin(), b.end()) != "the file that was there: " + n;
      }
      std::string why;
      if (left != names)
        why = "files other than the output's are left";
      else if (at == total && (!said.empty() || replaced != names.size()))
        why = "a run that never met the failure did not write the output: " + said;
      else if (at < total && said.empty())
        why = "the failure was not reported";
      else if (at < total && said.find(no_space) == std::string::npos)
        why = "the reason does not name the system's error: " + said;
      else if (at < total && replaced != 0)
        why = std::to_string(replaced) + " of the final names replaced";
      if (!why.empty() && ++failures <= 3)
        ADD_FAILURE() << total << " bytes, failing at byte " << at << ": " << why;
    }
    EXPECT_EQ(failures, 0);
  }
}

} // namespace
