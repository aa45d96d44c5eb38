// The tools on sound: vexconv writes chunk streams from sound inputs with
// the writer's switches, vexinfo describes WAV files and chunk streams.
// The testkit's chunk reader decodes what vexconv wrote. vexconv writes WAV
// files from any sound input, chunk streams and movie tracks among them,
// which ffmpeg reads back as the sound source's PCM.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testkit/csfile/chunk_reader.h"
#include "testkit/flic/pattern.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/audio_codec/test_signals.h"
#include "testkit/util/wav_file.h"
#include "testkit/util/expect_text.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/tool_run.h"
#include "vexutil/sfile.h"

namespace {

namespace tk = vex::testkit;

using tk::expect_contains;

// Every byte the sound source delivers for a file (with a rate, a track and
// a raw format when given).
std::vector<uint8_t> source_pcm(const std::string &name, int32_t rate = 0, int32_t track = 0, int32_t raw = 0) {
  SFILE *s = SFileOpen(name.c_str(), rate, 0, 0, 0, 0, track, raw, 0, nullptr);
  std::vector<uint8_t> out;
  if (!s)
    return out;
  std::vector<uint8_t> piece(8192);
  while (const uint32_t n = SFileGet(s, piece.data(), static_cast<uint32_t>(piece.size())))
    out.insert(out.end(), piece.begin(), piece.begin() + n);
  SFileClose(s);
  return out;
}

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
  // Back to a WAV: with /R the very samples that went in; without, refused.
  ASSERT_EQ(run(VEXCONV, q("out.vcs") + " " + q("back.wav") + " /R22050 -q").status, 0);
  EXPECT_EQ(tk::ffmpeg_decode(dir.file("back.wav"), "-f s16le"), pcm);
  const tk::ToolRun no_rate = run(VEXCONV, q("out.vcs") + " " + q("none.wav") + " -q");
  EXPECT_EQ(no_rate.status, 1);
  expect_contains(no_rate.out, {"does not record its sample rate", "(/R<Hz>)"});
  EXPECT_FALSE(std::filesystem::exists(dir.file("none.wav")));
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
  // To a WAV without /R: the blocks tell the rate, and the WAV holds what
  // the sound source decodes, which is the testkit reader's PCM.
  conv = run(VEXCONV, q("t.vcs") + " " + q("t.wav") + " -q");
  ASSERT_EQ(conv.status, 0) << conv.out;
  EXPECT_EQ(tk::ffprobe(dir.file("t.wav"), "-show_entries stream=sample_rate,channels -of csv=p=0"), "22050,2\n");
  const std::vector<uint8_t> wav = tk::ffmpeg_decode(dir.file("t.wav"), "-f s16le");
  EXPECT_EQ(wav, source_pcm(dir.file("t.vcs")));
  EXPECT_EQ(wav, decoded.pcm);
  // Raw input (/Y with /D and /K), stored raw from /Y4 on.
  std::vector<uint8_t> raw(20, 0xEE);
  raw.insert(raw.end(), pcm.begin(), pcm.begin() + 4000);
  tk::write_file(dir.file("in.pcm"), raw);
  conv = run(VEXCONV, q("in.pcm") + " " + q("r.vcs") + " /Y4 /D22050 /K20 -q");
  ASSERT_EQ(conv.status, 0) << conv.out;
  decoded = tk::read_chunk_stream(tk::read_file(dir.file("r.vcs")), {tk::ChunkKind::raw, 22050, 16, 2});
  EXPECT_EQ(decoded.pcm, std::vector<uint8_t>(pcm.begin(), pcm.begin() + 4000));
  // Raw chunks back to a WAV: the raw format tells what they hold; the
  // writer's switches are none of a WAV's.
  conv = run(VEXCONV, q("r.vcs") + " " + q("r.wav") + " /Y4 /D22050 -q");
  ASSERT_EQ(conv.status, 0) << conv.out;
  EXPECT_EQ(tk::ffmpeg_decode(dir.file("r.wav"), "-f s16le"), decoded.pcm);
  EXPECT_EQ(run(VEXCONV, q("r.vcs") + " " + q("r2.wav") + " /Y4 /D22050 /L3").status, 2);
  // Told by /X.
  expect_contains(run(VEXINFO, q("r.vcs") + " /X").out, {"raw PCM"});
  // A bare /Y replaces; without it an existing output stays.
  EXPECT_EQ(run(VEXCONV, q("in.wav") + " " + q("r.vcs") + " -q").status, 1);
  EXPECT_EQ(run(VEXCONV, q("in.wav") + " " + q("r.vcs") + " /Y /L0 -q").status, 0);
}

// A Korvane movie with a raw 8-bit mono track 1 and a 16-bit stereo track
// 3 of coded deltas: each track as a WAV, picked by /T or --track, equal to
// what the sound source delivers for it.
TEST_F(SoundTools, WavFilesFromMovieTracks) {
  namespace kw = tk::korvane;
  constexpr uint32_t kFrames = 8;
  kw::MoviePlan plan;
  for (const auto &[index, sixteen] : {std::pair<size_t, bool>{0, false}, {2, true}}) {
    kw::TrackPlan t;
    t.kind = sixteen ? kw::SoundKind::delta : kw::SoundKind::raw;
    t.stereo = t.sixteen = sixteen;
    const auto noise = tk::pcm_bytes(tk::white_noise(sixteen ? 2 : 1, 735 * kFrames, 9000, 4 + index));
    const size_t frame_bytes = 735 * (sixteen ? 4 : 1);
    for (uint32_t f = 0; f < kFrames; ++f) {
      kw::Bytes bytes;
      for (size_t i = 0; i < frame_bytes; ++i)
        bytes.push_back(sixteen ? noise[f * frame_bytes + i]
                                : static_cast<uint8_t>(noise[2 * (f * frame_bytes + i) + 1] ^ 0x80));
      t.frames.push_back(bytes);
    }
    plan.tracks[index] = t;
  }
  tk::PatternOptions o{.width = 16, .height = 16, .frames = kFrames};
  ASSERT_TRUE(kw::write_korvane(kw::pattern_frames(tk::PatternAnimation(o)), plan, dir.file("m.kvn")).ok);

  struct Case {
    std::string args, out, decode;
    int32_t track;
    const char *format; // sample rate and channels as ffprobe tells them
  };
  // (The widths: 8-bit samples read as 16-bit ones would not match.)
  const Case cases[] = {{"", "first.wav", "-f u8", 0, "11025,1\n"},
                        {"/T3", "third.wav", "-f s16le", 3, "11025,2\n"},
                        {"--track 3", "track3.wav", "-f s16le", 3, "11025,2\n"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.args);
    const tk::ToolRun conv = run(VEXCONV, q("m.kvn") + " " + q(c.out) + " " + c.args + " -q");
    ASSERT_EQ(conv.status, 0) << conv.out;
    EXPECT_EQ(tk::ffprobe(dir.file(c.out), "-show_entries stream=sample_rate,channels -of csv=p=0"), c.format);
    const std::vector<uint8_t> expected = source_pcm(dir.file("m.kvn"), 0, c.track);
    ASSERT_GE(expected.size(), 735u * kFrames);
    EXPECT_EQ(tk::ffmpeg_decode(dir.file(c.out), c.decode), expected);
  }
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
  // A chunk stream cut inside its last chunk: the WAV holds the chunks
  // before it, and the damage is told.
  ASSERT_EQ(run(VEXCONV, q("in.wav") + " " + q("cut.vcs") + " /L0 /M500 -q").status, 0);
  std::filesystem::resize_file(dir.file("cut.vcs"), std::filesystem::file_size(dir.file("cut.vcs")) - 4);
  r = run(VEXCONV, q("cut.vcs") + " " + q("cut.wav") + " /R22050 -q");
  EXPECT_EQ(r.status, 1);
  expect_contains(r.out,
                  {"cut.vcs: after chunk 3,", "bytes are no whole chunk (OUT holds the sound as far as it decodes)"});
  EXPECT_EQ(tk::ffmpeg_decode(dir.file("cut.wav"), "-f s16le"),
            std::vector<uint8_t>(pcm.begin(), pcm.begin() + 3 * 44100));
  tk::write_file(dir.file("junk.vcs"), {1, 2, 3});
  r = run(VEXINFO, q("junk.vcs"));
  EXPECT_EQ(r.status, 1);
  expect_contains(r.out, {"no compressed sound chunk"});
}

} // namespace
