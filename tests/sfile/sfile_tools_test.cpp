// The tools on sound: vexconv writes chunk streams from sound inputs with
// the writer's switches, which the testkit's chunk reader decodes, and WAV
// files from any sound input (chunk streams and movie tracks among them),
// which ffmpeg reads back as the sound source's PCM; vexinfo describes WAV
// files and chunk streams.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testkit/audio_codec/test_signals.h"
#include "testkit/csfile/chunk_reader.h"
#include "testkit/sfile/movie_sound.h"
#include "testkit/sfile/resample_reference.h"
#include "testkit/sfile/sound_reading.h"
#include "testkit/util/expect_text.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/tool_run.h"
#include "testkit/util/wav_file.h"

namespace vex::testkit {
namespace {

using Bytes = std::vector<uint8_t>;

class SoundTools : public ::testing::Test {
protected:
  void SetUp() override { write_file(dir.file("in.wav"), pcm_wav(22050, 16, 2, pcm)); }
  // Runs a tool in the test's folder; `says`: pieces of its two streams.
  int run(const char *tool, const std::string &args, std::initializer_list<std::string> says = {}) {
    const ToolRun r = run_tool(tool, args, dir, dir.path().string());
    expect_contains(r.out + r.err, says);
    return r.status;
  }
  Bytes chunks(const std::string &name, ChunkKind kind, uint32_t rate, uint32_t bits, uint32_t channels) {
    return read_chunk_stream(read_file(dir.file(name)), {kind, rate, bits, channels}).pcm;
  }
  Bytes wav_pcm(const std::string &name, const char *format = "-f s16le") {
    return ffmpeg_decode(dir.file(name), format);
  }
  std::string probe(const std::string &name) {
    return ffprobe(dir.file(name), "-show_entries stream=sample_rate,channels -of csv=p=0");
  }
  TempDir dir;
  Bytes pcm = pcm_bytes(sine_sweep(22050, 2, 22050 * 2, 100, 5000, 10000));
};

TEST_F(SoundTools, ChunkStreamsFromSoundAndBack) {
  // Lossless chunks of 500 ms and their description; back to a WAV with /R
  // the very samples that went in; without /R, refused.
  ASSERT_EQ(run(VEXCONV, "in.wav out.vcs /L3 /M500 -q"), 0);
  const auto decoded = read_chunk_stream(read_file(dir.file("out.vcs")), {ChunkKind::huffman, 22050, 16, 2});
  EXPECT_EQ(decoded.pcm, pcm);
  EXPECT_EQ(decoded.chunks.size(), 4u);
  EXPECT_EQ(run(VEXINFO, "out.vcs /R22050 -v",
                {"Huffman-coded deltas, 16-bit stereo (variant 7)", "chunks   4",
                 "176400 bytes of PCM in " + std::to_string(read_file(dir.file("out.vcs")).size()) + " bytes",
                 "44100 sample frames, 2.000 s", "chunk 4 at "}),
            0);
  run(VEXINFO, "out.vcs", {"rate     unknown"});
  ASSERT_EQ(run(VEXCONV, "out.vcs back.wav /R22050 -q"), 0);
  EXPECT_EQ(wav_pcm("back.wav"), pcm);
  EXPECT_EQ(run(VEXCONV, "out.vcs none.wav -q", {"does not record its sample rate", "(/R<Hz>)"}), 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("none.wav")));
  // Mono 8-bit at 11025 Hz, from 500 ms to 1500 ms (source frames 11025
  // to 33075), the transform refused for 8-bit output: Huffman chunks of
  // what the step-by-step resampler gives.
  ASSERT_EQ(run(VEXCONV, "in.wav small.vcs /R11025 /B8 /C1 /S500 /E1500 -q"), 0);
  EXPECT_EQ(chunks("small.vcs", ChunkKind::huffman, 11025, 8, 1),
            reference_output(frames_of(Bytes(pcm.begin() + 11025 * 4, pcm.begin() + 33075 * 4), 16, 2), 22050, 11025,
                             8, 1));
  // The transform codec, and vexinfo telling its channels. To a WAV without
  // /R: the blocks tell the rate, and the WAV holds what the sound source
  // decodes, which is the testkit reader's PCM.
  ASSERT_EQ(run(VEXCONV, "in.wav t.vcs /L105 -q"), 0);
  run(VEXINFO, "t.vcs /R22050", {"transform codec, 16-bit stereo"});
  const Bytes transform = chunks("t.vcs", ChunkKind::transform, 22050, 16, 2);
  EXPECT_GE(transform.size(), pcm.size());
  ASSERT_EQ(run(VEXCONV, "t.vcs t.wav -q"), 0);
  EXPECT_EQ(probe("t.wav"), "22050,2\n");
  EXPECT_EQ(wav_pcm("t.wav"), transform);
  // Raw input (/Y with /D and /K), stored raw from /Y4 on; back to a WAV
  // the raw format tells what the chunks hold; the writer's switches are
  // none of a WAV's.
  Bytes raw(20 + 4000, 0xEE);
  std::copy(pcm.begin(), pcm.begin() + 4000, raw.begin() + 20);
  write_file(dir.file("in.pcm"), raw);
  ASSERT_EQ(run(VEXCONV, "in.pcm r.vcs /Y4 /D22050 /K20 -q"), 0);
  EXPECT_EQ(chunks("r.vcs", ChunkKind::raw, 22050, 16, 2), Bytes(pcm.begin(), pcm.begin() + 4000));
  ASSERT_EQ(run(VEXCONV, "r.vcs r.wav /Y4 /D22050 -q"), 0);
  EXPECT_EQ(wav_pcm("r.wav"), chunks("r.vcs", ChunkKind::raw, 22050, 16, 2));
  EXPECT_EQ(run(VEXCONV, "r.vcs r2.wav /Y4 /D22050 /L3"), 2);
  run(VEXINFO, "r.vcs /X", {"raw PCM"});
  // A bare /Y replaces; without it an existing output stays.
  EXPECT_EQ(run(VEXCONV, "in.wav r.vcs -q"), 1);
  EXPECT_EQ(run(VEXCONV, "in.wav r.vcs /Y /L0 -q"), 0);
}

// A Korvane movie with a raw 8-bit mono track 1 and a 16-bit stereo track
// 3 of coded deltas: each track as a WAV, picked by /T or --track, equal to
// what the sound source delivers for it. (8-bit samples read as 16-bit
// ones would not match.)
TEST_F(SoundTools, WavFilesFromMovieTracks) {
  constexpr uint32_t kFrames = 8;
  std::array<std::optional<korvane::TrackPlan>, 7> tracks;
  tracks[0] = korvane_noise_track(korvane::SoundKind::raw, false, false, kFrames, 4);
  tracks[2] = korvane_noise_track(korvane::SoundKind::delta, true, true, kFrames, 6);
  ASSERT_TRUE(write_sound_movie(dir.file("m.kvn"), tracks, kFrames));
  for (const auto &[args, out, format, track, probed] :
       {std::tuple<std::string, std::string, const char *, int32_t, const char *>{"", "first.wav", "-f u8", 0,
                                                                                  "11025,1\n"},
        {"/T3", "third.wav", "-f s16le", 3, "11025,2\n"},
        {"--track 3", "track3.wav", "-f s16le", 3, "11025,2\n"}}) {
    SCOPED_TRACE(args);
    ASSERT_EQ(run(VEXCONV, "m.kvn " + out + " " + args + " -q"), 0);
    EXPECT_EQ(probe(out), probed);
    const Bytes expected = read_sound(open_sound(dir.file("m.kvn"), {.track = track}).get(), {8192});
    ASSERT_GE(expected.size(), 735u * kFrames);
    EXPECT_EQ(wav_pcm(out, format), expected);
  }
}

TEST_F(SoundTools, VexinfoDescribesSoundAndFailuresSayWhy) {
  EXPECT_EQ(run(VEXINFO, "in.wav",
                {"Wave sound", "22050 Hz", "16 bits", "channels 2", "44100 sample frames, 2.000 s (176400 bytes)"}),
            0);
  // Raw PCM described through the sound switches.
  write_file(dir.file("x.raw"), Bytes(8000, 0x80));
  run(VEXINFO, "x.raw /Y1 /D8000", {"8000 sample frames, 1.000 s"});
  EXPECT_EQ(run(VEXCONV, "none.wav o.vcs -q", {"Error opening the audio input file.", "no such file"}), 1);
  write_file(dir.file("f.wav"), wav_bytes({fmt_chunk(2, 1, 8000, 4, 32), data_chunk({1, 2, 3, 4})}));
  EXPECT_EQ(run(VEXCONV, "f.wav o.vcs -q", {"WAV format tag 0x0002 is neither PCM nor IEEE float"}), 1);
  EXPECT_EQ(run(VEXCONV, "in.wav o.vcs /Z9"), 2);
  write_file(dir.file("junk.vcs"), {1, 2, 3});
  EXPECT_EQ(run(VEXINFO, "junk.vcs", {"no compressed sound chunk"}), 1);
  // A chunk stream cut inside its last chunk: the WAV holds the chunks
  // before it, and the damage is told.
  ASSERT_EQ(run(VEXCONV, "in.wav cut.vcs /L0 /M500 -q"), 0);
  std::filesystem::resize_file(dir.file("cut.vcs"), std::filesystem::file_size(dir.file("cut.vcs")) - 4);
  EXPECT_EQ(run(VEXCONV, "cut.vcs cut.wav /R22050 -q",
                {"cut.vcs: after chunk 3,", "bytes are no whole chunk (OUT holds the sound as far as it decodes)"}),
            1);
  EXPECT_EQ(wav_pcm("cut.wav"), Bytes(pcm.begin(), pcm.begin() + 3 * 44100));
}

} // namespace
} // namespace vex::testkit
