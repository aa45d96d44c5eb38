// WAV and raw PCM inputs as users have them: extra chunks anywhere, odd
// chunk sizes with and without the pad byte, data that is shorter than it
// says, and the ways a file can fail to be plain PCM. FFmpeg's own WAV
// reader is the oracle where it reads the file too.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <utility>

#include "testkit/audio_codec/test_signals.h"
#include "testkit/util/wav_file.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "tests/sfile/sfile_test_util.h"
#include "vexutil/util.h"

namespace {

using namespace sfile_test;
namespace tk = vex::testkit;

std::vector<uint8_t> ramp(size_t n, uint8_t step = 3) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<uint8_t>(i * step + 1);
  return v;
}

tk::WavChunk chunk(const char *id, size_t n) { return tk::WavChunk{id, ramp(n, 7)}; }

class WaveInput : public ::testing::Test {
protected:
  tk::TempDir dir;
  std::string save(const std::string &name, const std::vector<uint8_t> &bytes) {
    const std::string path = dir.file(name);
    tk::write_file(path, bytes);
    return path;
  }
};

TEST_F(WaveInput, ExtraChunksBeforeAndBetweenAreSkipped) {
  const auto pcm = ramp(2000);
  struct Layout {
    const char *what;
    std::vector<tk::WavChunk> chunks;
  };
  const Layout layouts[] = {
      {"plain", {tk::fmt_chunk(1, 2, 22050, 16), tk::data_chunk(pcm)}},
      {"LIST first", {chunk("LIST", 26), tk::fmt_chunk(1, 2, 22050, 16), tk::data_chunk(pcm)}},
      {"fact and cue between",
       {tk::fmt_chunk(1, 2, 22050, 16), chunk("fact", 4), chunk("cue ", 24), tk::data_chunk(pcm), chunk("LIST", 10)}},
      {"odd chunk, padded", {chunk("JUNK", 13), tk::fmt_chunk(1, 2, 22050, 16), chunk("LIST", 7), tk::data_chunk(pcm)}},
      {"odd fmt with extension", {tk::fmt_chunk(1, 2, 22050, 16, 3), tk::data_chunk(pcm)}},
  };
  for (const Layout &l : layouts) {
    SCOPED_TRACE(l.what);
    const auto path = save("a.wav", tk::wav_bytes(l.chunks));
    Source s = open(path);
    ASSERT_TRUE(s) << VEXLastError();
    EXPECT_STREQ(s->type, "Wave");
    EXPECT_EQ(s->kind, SFILE_WAVE);
    EXPECT_EQ(s->source_rate, 22050u);
    EXPECT_EQ(s->source_bits, 16u);
    EXPECT_EQ(s->source_channels, 2u);
    EXPECT_EQ(s->total, pcm.size());
    EXPECT_EQ(read_all(s.get()), pcm);
    // The same bytes as FFmpeg's reader gives.
    EXPECT_EQ(tk::ffmpeg_decode(path, "-f s16le"), pcm);
  }
}

TEST_F(WaveInput, OddChunksWithoutThePadByteAreFollowedAsWritten) {
  const auto pcm = ramp(600);
  std::vector<tk::WavChunk> chunks = {chunk("LIST", 13), tk::fmt_chunk(1, 1, 8000, 8), chunk("fact", 5),
                                      tk::data_chunk(pcm)};
  chunks[0].pad = false;
  chunks[2].pad = false;
  Source s = open(save("nopad.wav", tk::wav_bytes(chunks)));
  ASSERT_TRUE(s) << VEXLastError();
  EXPECT_EQ(read_all(s.get()), pcm);
}

TEST_F(WaveInput, DataThatRunsPastTheEndGivesWhatIsThere) {
  const auto pcm = ramp(1001);
  std::vector<tk::WavChunk> chunks = {tk::fmt_chunk(1, 1, 11025, 16), tk::data_chunk(pcm)};
  chunks[1].size = 0x7FFFFFF0;
  chunks[1].pad = false;
  Source s = open(save("long.wav", tk::wav_bytes(chunks)));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->total, 1001u);
  auto got = read_all(s.get());
  EXPECT_EQ(got, std::vector<uint8_t>(pcm.begin(), pcm.end() - 1)) << "the odd last byte is no whole frame";
}

TEST_F(WaveInput, AnEmptyDataChunkOpensAtItsEnd) {
  Source s = open(save("empty.wav", tk::pcm_wav(8000, 16, 1, {})));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->total, 0u);
  EXPECT_EQ(s->at_end, 1);
  uint8_t buf[64];
  EXPECT_EQ(SFileGet(s.get(), buf, sizeof buf), 0u);
}

// Files that are no PCM or float WAV the reader takes go on to the later
// readers, and with no reader left the open fails with the last reader's
// message; the reason says what the WAV reader saw.
TEST_F(WaveInput, OtherFormatsFailWithTheLastReadersMessage) {
  struct Bad {
    const char *what;
    std::vector<uint8_t> bytes;
    const char *reason; // in VEXLastError
  };
  std::vector<tk::WavChunk> short_fmt = {tk::fmt_chunk(1, 1, 8000, 8), tk::data_chunk(ramp(100))};
  short_fmt[0].body.resize(14);
  std::vector<tk::WavChunk> lying = {tk::fmt_chunk(1, 1, 8000, 8), tk::data_chunk(ramp(100))};
  lying[0].size = 0x7FFFFFFF;
  const Bad bad[] = {
      {"ADPCM", tk::wav_bytes({tk::fmt_chunk(2, 1, 8000, 4, 32), tk::data_chunk(ramp(400))}), "0x0002"},
      {"20-bit PCM", tk::wav_bytes({tk::fmt_chunk(1, 1, 8000, 20), tk::data_chunk(ramp(300))}), "PCM of 20 bits"},
      {"64-bit float", tk::wav_bytes({tk::fmt_chunk(3, 1, 8000, 64), tk::data_chunk(ramp(400))}),
       "IEEE float of 64 bits"},
      {"extensible fmt of 24 bytes", tk::wav_bytes({tk::fmt_chunk(0xFFFE, 2, 44100, 16, 8), tk::data_chunk(ramp(400))}),
       "WAVE_FORMAT_EXTENSIBLE file has 24 bytes, fewer than 40"},
      {"extensible of an unknown sub-format",
       tk::wav_bytes({tk::fmt_chunk(0xFFFE, 2, 44100, 16, 24), tk::data_chunk(ramp(400))}),
       "sub-format 00000000000000000000000000000000 is neither PCM nor IEEE float"},
      {"fmt of 14 bytes", tk::wav_bytes(short_fmt), "fewer than 16"},
      {"fmt size past the end", tk::wav_bytes(lying), "Error opening"},
      {"no data chunk", tk::wav_bytes({tk::fmt_chunk(1, 1, 8000, 8)}), "Error opening"},
      {"RIFF but not WAVE", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, "Error opening"},
  };
  for (const Bad &b : bad) {
    SCOPED_TRACE(b.what);
    Source s = open(save("bad.wav", b.bytes));
    EXPECT_FALSE(s);
    EXPECT_EQ(errors(), std::vector<std::string>{"Error opening the audio input file."});
    EXPECT_NE(std::string(VEXLastError()).find(b.reason), std::string::npos) << VEXLastError();
  }
}

// The body of the first chunk named `id` (chunks walked from byte 12).
std::vector<uint8_t> chunk_body(const std::vector<uint8_t> &wav, const char *id) {
  for (size_t at = 12; at + 8 <= wav.size();) {
    const size_t size = wav[at + 4] | wav[at + 5] << 8 | wav[at + 6] << 16 | size_t{wav[at + 7]} << 24;
    if (std::memcmp(&wav[at], id, 4) == 0)
      return {wav.begin() + ptrdiff_t(at + 8), wav.begin() + ptrdiff_t(std::min(at + 8 + size, wav.size()))};
    at += 8 + size + size % 2;
  }
  return {};
}

// 24- and 32-bit integer and 32-bit float samples arrive as 16 bits, the
// same as ffmpeg's own 16-bit decode of the file, exactly: both take the
// top 16 bits of an integer sample (no rounding) and round a float times
// 32768 to the nearest, clamped. ffmpeg writes these widths as
// WAVE_FORMAT_EXTENSIBLE; the same data under a plain "fmt " (tag 1 or 3)
// is read the same. The signal: full-scale noise left, a sine of 1.25 times
// full scale right (float keeps it, and clamps).
TEST_F(WaveInput, WideSamplesAreFfmpegsSixteenBitDecode) {
  const std::string signal = "-f lavfi -i aevalsrc='random(0)*2-1|1.25*sin(2*PI*440*t)':s=22050:d=0.4 ";
  const struct {
    const char *codec;
    uint16_t tag, bits;
  } wide[] = {{"pcm_s24le", 1, 24}, {"pcm_s32le", 1, 32}, {"pcm_f32le", 3, 32}};
  for (const auto &w : wide) {
    SCOPED_TRACE(w.codec);
    const std::string extensible = dir.file("ext.wav");
    tk::ffmpeg(signal + "-c:a " + w.codec + " " + extensible);
    const auto bytes = tk::read_file(extensible);
    ASSERT_EQ(chunk_body(bytes, "fmt ").size(), 40u);
    ASSERT_EQ(chunk_body(bytes, "fmt ")[0] | chunk_body(bytes, "fmt ")[1] << 8, 0xFFFE);
    const std::string plain =
        save("plain.wav", tk::wav_bytes({tk::fmt_chunk(w.tag, 2, 22050, w.bits), tk::data_chunk(chunk_body(bytes, "data"))}));
    for (const std::string &path : {extensible, plain}) {
      Source s = open(path);
      ASSERT_TRUE(s) << VEXLastError();
      EXPECT_EQ(s->source_bits, 16u);
      EXPECT_EQ(s->source_channels, 2u);
      EXPECT_EQ(s->source_frame_bytes, 4u);
      const auto want = tk::ffmpeg_decode(path, "-f s16le");
      ASSERT_EQ(want.size(), size_t{8820} * 4);
      EXPECT_EQ(s->total, want.size());
      EXPECT_EQ(read_all(s.get(), {1000, 4096, 6}), want);
    }
  }
}

// The conversions at their edges, against values worked out by hand.
TEST_F(WaveInput, WideSampleEdges) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> floats = {0.0f, 1.0f, -1.0f, 0.5f, -0.5f, 1.5f, -1.5f, 1.0f / 32768, 1.5f / 32768,
                                     2.5f / 32768, -1.5f / 32768, 0.99999f, nan, inf, -inf};
  const std::vector<int16_t> from_floats = {0,     32767, -32768, 16384, -16384, 32767, -32768, 1,
                                            2,     2,     -2,     32767, 0,      32767, -32768};
  const std::vector<int32_t> ints = {0x7FFFFFFF, INT32_MIN, -1, 0xFFFF, 0x10000, -0x10000, -0x10001, 0x12345678};
  const std::vector<int16_t> from_ints = {32767, -32768, -1, 0, 1, -1, -2, 0x1234};
  std::vector<uint8_t> f32, s32, s24;
  for (float v : floats) {
    uint8_t b[4];
    std::memcpy(b, &v, 4);
    f32.insert(f32.end(), b, b + 4);
  }
  for (int32_t v : ints) {
    const auto u = static_cast<uint32_t>(v);
    s32.insert(s32.end(), {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)});
    s24.insert(s24.end(), {uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)}); // the top 24 bits
  }
  const struct {
    const char *what;
    uint16_t tag, bits;
    const std::vector<uint8_t> &data;
    const std::vector<int16_t> &want;
  } cases[] = {
      {"float", 3, 32, f32, from_floats}, {"32-bit", 1, 32, s32, from_ints}, {"24-bit", 1, 24, s24, from_ints}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Source s = open(save("edge.wav", tk::wav_bytes({tk::fmt_chunk(c.tag, 1, 8000, c.bits), tk::data_chunk(c.data)})));
    ASSERT_TRUE(s) << VEXLastError();
    EXPECT_EQ(tk::pcm_samples(read_all(s.get())), c.want);
  }
}

// Trimming counts converted bytes and starts in the file at the whole
// frame: a 24-bit stereo file cut to 100-300 ms, then reset and read
// again, against the slice of ffmpeg's 16-bit decode.
TEST_F(WaveInput, TrimmingAWideFile) {
  const std::string path = dir.file("trim.wav");
  tk::ffmpeg("-f lavfi -i aevalsrc='random(0)*2-1|random(1)*2-1':s=22050:d=0.4 -c:a pcm_s24le " + path);
  const auto all = tk::ffmpeg_decode(path, "-f s16le");
  for (const auto &[start, end] : {std::pair{100, 300}, std::pair{250, 0}}) {
    SCOPED_TRACE(std::to_string(start) + " to " + std::to_string(end) + " ms");
    Source s = open(path, {.start = start, .end = end});
    ASSERT_TRUE(s) << VEXLastError();
    const size_t from = size_t(start) * 22050 / 1000 * 4;
    const size_t bytes = end ? size_t(end - start) * 22050 / 1000 * 4 : all.size() - from;
    EXPECT_EQ(s->total, bytes);
    const std::vector<uint8_t> want(all.begin() + ptrdiff_t(from), all.begin() + ptrdiff_t(from + bytes));
    EXPECT_EQ(read_all(s.get()), want);
    SFileReset(s.get());
    EXPECT_EQ(read_all(s.get(), {333}), want);
  }
}

TEST_F(WaveInput, AMissingFileSaysSo) {
  Source s = open(dir.file("none.wav"));
  EXPECT_FALSE(s);
  EXPECT_EQ(errors(), std::vector<std::string>{"Error opening the audio input file."});
  EXPECT_STREQ(VEXLastError(), "no such file");
}

TEST_F(WaveInput, ANameWithoutExtensionIsTriedAsWav) {
  const auto pcm = ramp(64);
  save("tone.wav", tk::pcm_wav(8000, 8, 1, pcm));
  Source s = open(dir.file("tone"));
  ASSERT_TRUE(s);
  EXPECT_EQ(std::string(s->name), dir.file("tone.wav"));
  EXPECT_EQ(read_all(s.get()), pcm);
}

TEST_F(WaveInput, TrimmingByMillisecondsCutsWholeFrames) {
  // 22050 Hz 16-bit mono, 3 s; start 0 and end 2000 keep two seconds.
  const auto pcm = tk::pcm_bytes(tk::sine_sweep(22050, 1, 3 * 22050, 100, 2000, 9000));
  const auto path = save("t.wav", tk::pcm_wav(22050, 16, 1, pcm));
  const size_t size = pcm.size();
  // Start 1000.5 ms later: 22061 frames (rounded down) skipped, up to
  // 2.5 s. A start without an end runs to the end; a start past the end is
  // not applied; negative values are milliseconds for a source without
  // frames. `from`: the first byte delivered, where the bytes are checked.
  const struct {
    int32_t start, end;
    size_t total;
    std::optional<size_t> from;
  } cases[] = {
      {0, 2000, 2 * 22050 * 2, 0},    // start 0 and end 2000 keep two seconds
      {1000, 2500, 66150, 22050 * 2}, // 1.5 s of 44100 bytes, 1 s in
      {2900, 0, size - 2900 * 22050 / 1000 * 2, {}},
      {5000, 0, size, {}},
      {-1000, -1500, 22050, {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.start) + " to " + std::to_string(c.end) + " ms");
    Source s = open(path, {.start = c.start, .end = c.end});
    ASSERT_TRUE(s);
    EXPECT_EQ(s->total, c.total);
    if (c.from) {
      EXPECT_EQ(read_all(s.get()), std::vector<uint8_t>(pcm.begin() + static_cast<ptrdiff_t>(*c.from),
                                                        pcm.begin() + static_cast<ptrdiff_t>(*c.from + c.total)));
    }
  }
}

TEST_F(WaveInput, RawPcmWithAHeader) {
  const auto pcm = ramp(1000);
  std::vector<uint8_t> file = pcm;
  file.insert(file.begin(), 37, 0xEE); // the header
  const auto path = save("a.raw", file);
  // Raw 11025 Hz 16-bit stereo after a 37-byte header.
  OpenOptions o{.raw_format = 11025 << 3 | 2 | 1, .raw_header = 37};
  Source s = open(path, o);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->source_rate, 11025u);
  EXPECT_EQ(s->source_bits, 16u);
  EXPECT_EQ(s->source_channels, 2u);
  EXPECT_EQ(s->total, 1000u);
  EXPECT_EQ(read_all(s.get()), pcm);
  // A header at or beyond the file size leaves the last byte.
  for (int32_t header : {1037, 1038, 1 << 30}) {
    o.raw_header = header;
    o.raw_format = 8000 << 3; // 8-bit mono
    s = open(path, o);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->total, 1u);
    EXPECT_EQ(read_all(s.get()), std::vector<uint8_t>{pcm.back()});
  }
  // No rate: refused with a reason.
  o.raw_format = 3;
  o.raw_header = 0;
  EXPECT_FALSE(open(path, o));
  EXPECT_EQ(errors().size(), 1u);
}

} // namespace

// The WAV writer: every layout (an odd count of 8-bit mono bytes gets its
// pad byte) read back by FFmpeg as written, in pieces; nothing under the
// name until the close keeps it, nothing at all when it does not; formats
// that are no such PCM refused.
TEST(WaveOutput, WrittenUnderATemporaryNameAndReadByFfmpeg) {
  tk::TempDir dir;
  struct Layout {
    uint32_t rate, bits, channels;
    size_t bytes;
    const char *decode;
  };
  for (const Layout &l : {Layout{8000, 8, 1, 1001, "-f u8"}, Layout{11025, 8, 2, 2000, "-f u8"},
                          Layout{22050, 16, 1, 4002, "-f s16le"}, Layout{48000, 16, 2, 40000, "-f s16le"}}) {
    SCOPED_TRACE(std::to_string(l.bits) + "-bit, " + std::to_string(l.channels) + " channels");
    const std::string name = dir.file("w" + std::to_string(l.rate) + ".wav");
    const std::vector<uint8_t> pcm = ramp(l.bytes, 5);
    SFILEWAVE *w = SFileWaveCreate(name.c_str(), l.rate, l.bits, l.channels);
    ASSERT_NE(w, nullptr) << VEXLastError();
    for (size_t at = 0; at < pcm.size(); at += 500) {
      const auto n = static_cast<uint32_t>(std::min<size_t>(500, pcm.size() - at));
      ASSERT_EQ(SFileWaveWrite(w, pcm.data() + at, n), 1);
    }
    EXPECT_FALSE(std::filesystem::exists(name)) << "not before the close";
    ASSERT_EQ(SFileWaveClose(w, 1), 1) << VEXLastError();
    EXPECT_EQ(std::filesystem::file_size(name), 44 + l.bytes + l.bytes % 2);
    EXPECT_EQ(tk::ffprobe(name, "-show_entries stream=sample_rate,channels -of csv=p=0"),
              std::to_string(l.rate) + "," + std::to_string(l.channels) + "\n");
    EXPECT_EQ(tk::ffmpeg_decode(name, l.decode), pcm);
  }
  SFILEWAVE *w = SFileWaveCreate(dir.file("dropped.wav").c_str(), 8000, 8, 1);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(SFileWaveWrite(w, "abc", 3), 1);
  EXPECT_EQ(SFileWaveClose(w, 0), 0);
  size_t files = 0;
  for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(dir.path()))
    ++files;
  EXPECT_EQ(files, 4u) << "the four WAV files and no temporary";
  EXPECT_EQ(SFileWaveCreate(dir.file("x.wav").c_str(), 8000, 24, 1), nullptr);
  EXPECT_EQ(SFileWaveCreate(dir.file("x.wav").c_str(), 0, 16, 1), nullptr);
  EXPECT_EQ(SFileWaveCreate(dir.file("no/such/folder/x.wav").c_str(), 8000, 16, 1), nullptr);
  EXPECT_STRNE(VEXLastError(), "");
}
