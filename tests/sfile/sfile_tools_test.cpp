// The tools on sound: vexconv writes chunk streams from sound inputs with
// the writer's switches, vexinfo describes WAV files and chunk streams.
// The testkit's chunk reader decodes what vexconv wrote.
#include <gtest/gtest.h>

#include <string>

#include "testkit/csfile/chunk_reader.h"
#include "testkit/audio_codec/test_signals.h"
#include "testkit/util/wav_file.h"
#include "testkit/util/expect_text.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/tool_run.h"

namespace {

namespace tk = vex::testkit;

using tk::expect_contains;

class SoundTools : public ::testing::Test {
protected:
  tk::TempDir dir;
  std::string q(const std::string &name) { return tk::shell_quote(dir.file(name)); }
  // The tool's run, its two streams read as one.
  tk::ToolRun run(const std::string &tool, const std::string &args) {
    tk::ToolRun r = tk::run_tool(tool, args, dir);
    r.out += r.err;
    return r;
  }
  std::vector<uint8_t> pcm = tk::pcm_bytes(tk::sine_sweep(22050, 2, 22050 * 2, 100, 5000, 10000));
  void SetUp() override { tk::write_file(dir.file("in.wav"), tk::pcm_wav(22050, 16, 2, pcm)); }
};

TEST_F(SoundTools, LosslessChunksFromAWavAndTheirDescription) {
  const tk::ToolRun conv = run(VEXCONV, q("in.wav") + " " + q("out.vcs") + " /L3 /M500 -q");
  ASSERT_EQ(conv.status, 0) << conv.out;
  const auto bytes = tk::read_file(dir.file("out.vcs"));
  const auto decoded = tk::read_chunk_stream(bytes, {tk::ChunkKind::huffman, 22050, 16, 2});
  EXPECT_EQ(decoded.pcm, pcm);
  EXPECT_EQ(decoded.chunks.size(), 4u); // 500 ms each
  const tk::ToolRun info = run(VEXINFO, q("out.vcs") + " /R22050 -v");
  ASSERT_EQ(info.status, 0) << info.out;
  expect_contains(info.out, {"Huffman-coded deltas, 16-bit stereo (variant 7)", "chunks   4",
                             "176400 bytes of PCM in " + std::to_string(bytes.size()) + " bytes",
                             "44100 sample frames, 2.000 s", "chunk 4 at "});
  // Without /R.
  expect_contains(run(VEXINFO, q("out.vcs")).out, {"rate     unknown"});
}

TEST_F(SoundTools, SwitchesOfTheWriterAndTheSource) {
  // Mono 8-bit at 11025 Hz, from 500 ms to 1500 ms, transform refused for
  // 8-bit output: Huffman chunks.
  tk::ToolRun conv = run(VEXCONV, q("in.wav") + " " + q("small.vcs") + " /R11025 /B8 /C1 /S500 /E1500 -q");
  ASSERT_EQ(conv.status, 0) << conv.out;
  auto decoded = tk::read_chunk_stream(tk::read_file(dir.file("small.vcs")), {tk::ChunkKind::huffman, 11025, 8, 1});
  EXPECT_EQ(decoded.pcm.size(), 11025u);
  // The transform codec, and vexinfo telling its channels.
  conv = run(VEXCONV, q("in.wav") + " " + q("t.vcs") + " /L105 -q");
  ASSERT_EQ(conv.status, 0) << conv.out;
  const tk::ToolRun info = run(VEXINFO, q("t.vcs") + " /R22050");
  expect_contains(info.out, {"transform codec, 16-bit stereo"});
  decoded = tk::read_chunk_stream(tk::read_file(dir.file("t.vcs")), {tk::ChunkKind::transform, 22050, 16, 2});
  EXPECT_GE(decoded.pcm.size(), pcm.size());
  // Raw input (/Y with /D and /K), stored raw from /Y4 on.
  std::vector<uint8_t> raw(20, 0xEE);
  raw.insert(raw.end(), pcm.begin(), pcm.begin() + 4000);
  tk::write_file(dir.file("in.pcm"), raw);
  conv = run(VEXCONV, q("in.pcm") + " " + q("r.vcs") + " /Y4 /D22050 /K20 -q");
  ASSERT_EQ(conv.status, 0) << conv.out;
  decoded = tk::read_chunk_stream(tk::read_file(dir.file("r.vcs")), {tk::ChunkKind::raw, 22050, 16, 2});
  EXPECT_EQ(decoded.pcm, std::vector<uint8_t>(pcm.begin(), pcm.begin() + 4000));
  // Told by /X.
  expect_contains(run(VEXINFO, q("r.vcs") + " /X").out, {"raw PCM"});
  // A bare /Y replaces; without it an existing output stays.
  EXPECT_EQ(run(VEXCONV, q("in.wav") + " " + q("r.vcs") + " -q").status, 1);
  EXPECT_EQ(run(VEXCONV, q("in.wav") + " " + q("r.vcs") + " /Y /L0 -q").status, 0);
}

TEST_F(SoundTools, VexinfoDescribesSound) {
  tk::ToolRun info = run(VEXINFO, q("in.wav"));
  ASSERT_EQ(info.status, 0) << info.out;
  expect_contains(info.out,
                  {"Wave sound", "22050 Hz", "16 bits", "channels 2", "44100 sample frames, 2.000 s (176400 bytes)"});
  // Raw PCM described through the sound switches.
  tk::write_file(dir.file("x.raw"), std::vector<uint8_t>(8000, 0x80));
  info = run(VEXINFO, q("x.raw") + " /Y1 /D8000");
  expect_contains(info.out, {"8000 sample frames, 1.000 s"});
}

TEST_F(SoundTools, FailuresSayWhy) {
  tk::ToolRun r = run(VEXCONV, q("none.wav") + " " + q("o.vcs") + " -q");
  EXPECT_EQ(r.status, 1);
  expect_contains(r.out, {"Error opening the audio input file.", "no such file"});
  tk::write_file(dir.file("f.wav"), tk::wav_bytes({tk::fmt_chunk(2, 1, 8000, 4, 32), tk::data_chunk({1, 2, 3, 4})}));
  r = run(VEXCONV, q("f.wav") + " " + q("o.vcs") + " -q");
  EXPECT_EQ(r.status, 1);
  expect_contains(r.out, {"WAV format tag 0x0002 is neither PCM nor IEEE float"});
  r = run(VEXCONV, q("in.wav") + " " + q("o.vcs") + " /Z9");
  EXPECT_EQ(r.status, 2);
  tk::write_file(dir.file("junk.vcs"), {1, 2, 3});
  r = run(VEXINFO, q("junk.vcs"));
  EXPECT_EQ(r.status, 1);
  expect_contains(r.out, {"no compressed sound chunk"});
}

} // namespace
