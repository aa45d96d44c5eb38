// Writes that fail under every kind of output: the file layer's test hook
// makes the write that would carry the P-th byte fail with ENOSPC (and
// every write after it, as on a full disk), and P walks over the bytes
// the output writes (testkit/util/fault_positions.h says which).
// Outputs: FLC, AVI, numbered stills of the seven formats, WAV (SFileWave*) and a chunk
// stream written by vexconv's own code (convert_sound). The final names
// hold other files before each run. A run that meets the failure must say
// so (the writer's flag, a 0 from its close, the tool's exit status), keep
// the system's reason to the end (VEXLastError after the close, the tool's
// message), leave no temporary behind and leave the files under the final
// names byte for byte as they were (a numbered still series is put into
// place whole or not at all). A run that does not meet it writes the
// output whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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
#include "testkit/util/temp_dir.h"
#include "testkit/util/wav_file.h"
#include "vexutil/ogfile.h"
#include "vexutil/sfile.h"
#include "vexutil/util.h"

namespace {

constexpr int32_t kW = 32, kH = 24, kFrames = 3;

std::string contents(const std::filesystem::path &name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> listing(const std::filesystem::path &dir) {
  std::set<std::string> names;
  for (const auto &e : std::filesystem::directory_iterator(dir))
    names.insert(e.path().filename().string());
  return names;
}

// What one run of a writer said: success, or the failure's reason.
struct Result {
  bool ok = false;
  std::string reason;
};

Result failed(std::string reason) { return {false, std::move(reason)}; }

// Frames of kW x kH 8-bit pixels with a grey palette, different each call.
std::vector<uint8_t> frame_pixels(int32_t n) {
  std::vector<uint8_t> p(size_t{kW} * kH);
  for (size_t i = 0; i < p.size(); ++i)
    p[i] = static_cast<uint8_t>(i * 7 + n * 31);
  return p;
}

Result picture_output(const std::string &name, int32_t frames) {
  uint8_t palette[768];
  for (int i = 0; i < 768; ++i)
    palette[i] = static_cast<uint8_t>(i / 3);
  OGFILE *o = OGFileCreate(nullptr, name.c_str(), 0, frames, 15, 1, kW, kH, kW, nullptr, OGFILE_NO_OVERWRITE_QUESTION);
  if (!o)
    return failed(VEXLastError());
  bool error = false;
  for (int32_t i = 0; i < frames; ++i) {
    OGFilePut(o, frame_pixels(i).data(), palette);
    error = error || o->error;
  }
  const uint32_t size = OGFileClose(o);
  if (error || size == 0)
    return failed(VEXLastError()); // the reason after the close: kept to the end
  return {true, ""};
}

Result wave_output(const std::string &name) {
  SFILEWAVE *w = SFileWaveCreate(name.c_str(), 11025, 16, 1);
  if (!w)
    return failed(VEXLastError());
  const std::vector<uint8_t> pcm(3000, 0x31);
  bool ok = SFileWaveWrite(w, pcm.data(), 1000) && SFileWaveWrite(w, pcm.data(), 2000);
  ok = SFileWaveClose(w, 1) && ok;
  return ok ? Result{true, ""} : failed(VEXLastError());
}

// vexconv's talk, kept quiet: the failure message is the result.
class QuietTalk final : public vex::tools::Talk {
public:
  int fail(const std::string &message) override {
    message_ = message;
    return 1;
  }
  bool may_write(const std::string &, const std::string &, bool) override { return true; }
  bool cancelled() override { return false; }
  void progress(uint32_t, uint32_t, uint32_t) override {}
  void note(const std::string &) override {}
  void done(const std::string &) override {}
  std::string message_;
};

Result chunk_stream_output(const std::string &in, const std::string &name) {
  vex::tools::SoundJob job;
  job.in = in;
  job.out = name;
  job.replace = job.quiet = true;
  QuietTalk talk;
  return vex::tools::convert_sound(job, talk) == 0 ? Result{true, ""} : failed(talk.message_);
}

struct Output {
  std::string what;
  std::function<Result(const std::filesystem::path &dir)> write;
};

TEST(WriteFaults, EveryOutputFailingAtEachByteTried) {
  vex::testkit::TempDir inputs;
  vex::testkit::write_file(inputs.file("s.wav"), vex::testkit::pcm_wav(11025, 16, 1, std::vector<uint8_t>(8820, 9)));
  std::vector<Output> outputs{
      {"FLC", [](const auto &d) { return picture_output((d / "out.flc").string(), kFrames); }},
      {"AVI", [](const auto &d) { return picture_output((d / "out.avi").string(), kFrames); }},
      {"WAV", [](const auto &d) { return wave_output((d / "out.wav").string()); }},
      {"chunk stream", [&](const auto &d) { return chunk_stream_output(inputs.file("s.wav"), (d / "out.vcs").string()); }},
  };
  for (const char *ext : {"bmp", "pcx", "png", "tga", "tif", "gif", "jpg"})
    outputs.push_back({std::string("stills .") + ext, [ext](const auto &d) {
                         return picture_output((d / (std::string("out.") + ext)).string(), kFrames);
                       }});
  const std::string no_space = std::strerror(ENOSPC);
  uint64_t runs = 0;
  for (const Output &out : outputs) {
    vex::testkit::TempDir dir;
    vex::file::fail_writes(UINT64_MAX);
    ASSERT_TRUE(out.write(dir.path()).ok) << out.what;
    const uint64_t total = vex::file::bytes_written();
    // The names the output takes, in the order written, hold other files
    // from now on.
    std::vector<std::string> names;
    for (const std::string &n : listing(dir.path()))
      names.push_back(n);
    std::sort(names.begin(), names.end());
    const auto place_old_files = [&] {
      for (const std::string &n : names)
        std::ofstream(dir.path() / n, std::ios::binary | std::ios::trunc) << "the file that was there: " << n;
    };
    int failures = 0;
    for (const uint64_t at : vex::testkit::fault_positions(total)) {
      place_old_files();
      vex::file::fail_writes(at);
      const Result r = out.write(dir.path());
      vex::file::fail_writes(UINT64_MAX);
      ++runs;
      std::string why;
      size_t replaced = 0;
      for (const std::string &n : names)
        replaced += contents(dir.path() / n) != "the file that was there: " + n;
      if (listing(dir.path()) != std::set<std::string>(names.begin(), names.end()))
        why = "files other than the output's are left";
      else if (at == total && (!r.ok || replaced != names.size()))
        why = "a run that never met the failure did not write the output: " + r.reason;
      else if (at < total && r.ok)
        why = "the failure was not reported";
      else if (at < total && r.reason.find(no_space) == std::string::npos)
        why = "the reason does not name the system's error: " + r.reason;
      else if (at < total && replaced != 0)
        why = std::to_string(replaced) + " of the final names replaced";
      if (!why.empty() && ++failures <= 3)
        ADD_FAILURE() << out.what << " (" << total << " bytes), failing at byte " << at << ": " << why;
    }
    EXPECT_EQ(failures, 0) << out.what;
    std::printf("%s: %llu bytes written, %zu positions\n", out.what.c_str(), (unsigned long long)total,
                vex::testkit::fault_positions(total).size());
  }
  ::testing::Test::RecordProperty("fault runs", static_cast<int>(runs));
}

} // namespace
