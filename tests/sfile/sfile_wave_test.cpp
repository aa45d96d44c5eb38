// WAV and raw PCM inputs as users have them: extra chunks anywhere, odd
// chunk sizes with and without the pad byte, data that is shorter than it
// says, samples wider than 16 bits, trimming; and the WAV writer. FFmpeg's
// own WAV reader and writer are the oracle where they read the file too.
// The formats the reader refuses, and why, are bad-input rows
// (tests/gfile/bad_inputs/sound_rows.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>

#include "testkit/audio_codec/test_signals.h"
#include "testkit/sfile/sound_reading.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/message_log.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/wav_file.h"
#include "vexutil/util.h"

namespace vex::testkit {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ramp(size_t n, uint8_t step = 3) {
  Bytes v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<uint8_t>(i * step + 1);
  return v;
}

WavChunk chunk(const char *id, size_t n, bool pad = true) { return WavChunk{id, ramp(n, 7), pad}; }

WavChunk lying_data(Bytes pcm) {
  WavChunk d = data_chunk(std::move(pcm));
  d.size = 0x7FFFFFF0;
  d.pad = false;
  return d;
}

class WaveInput : public ::testing::Test {
protected:
  TempDir dir;
  std::string save(const std::string &name, const Bytes &bytes) {
    write_file(dir.file(name), bytes);
    return dir.file(name);
  }
};

TEST_F(WaveInput, ChunksAnywhereAndDataAsFarAsItGoes) {
  const Bytes pcm = ramp(2000), odd = ramp(1001), short_pcm = ramp(600);
  const WavChunk cd = fmt_chunk(1, 2, 22050, 16);
  const std::vector<WavChunk> unpadded = {chunk("LIST", 13, false), fmt_chunk(1, 1, 8000, 8), chunk("fact", 5, false),
                                          data_chunk(short_pcm)},
                              lying = {fmt_chunk(1, 1, 11025, 16), lying_data(odd)},
                              empty = {fmt_chunk(1, 1, 8000, 16), data_chunk({})};
  const struct {
    const char *what;
    std::vector<WavChunk> chunks;
    Bytes want;
    std::vector<uint32_t> format = {22050, 16, 2}; // rate, bits, channels
    int64_t total = -1;                            // -1: the bytes wanted
    bool ffmpeg = true;                            // FFmpeg reads it the same
  } cases[] = {
      {"plain", {cd, data_chunk(pcm)}, pcm},
      {"LIST first", {chunk("LIST", 26), cd, data_chunk(pcm)}, pcm},
      {"fact and cue between", {cd, chunk("fact", 4), chunk("cue ", 24), data_chunk(pcm), chunk("LIST", 10)}, pcm},
      {"odd chunk, padded", {chunk("JUNK", 13), cd, chunk("LIST", 7), data_chunk(pcm)}, pcm},
      {"odd fmt with extension", {fmt_chunk(1, 2, 22050, 16, 3), data_chunk(pcm)}, pcm},
      {"odd chunks without the pad byte, followed as written", unpadded, short_pcm, {8000, 8, 1}, -1, false},
      // The data chunk says it runs past the end; the odd last byte is no
      // whole frame.
      {"data past the end", lying, ramp(1000), {11025, 16, 1}, 1001, false},
      {"an empty data chunk opens at its end", empty, {}, {8000, 16, 1}, -1, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = save("a.wav", wav_bytes(c.chunks));
    MessageLog log; // progress goes to it (none for an empty sound)
    Sound s = open_sound(path, {}, MessageLog::callback);
    ASSERT_TRUE(s) << VEXLastError();
    EXPECT_STREQ(s->type, "Wave");
    EXPECT_EQ(s->kind, SFILE_WAVE);
    EXPECT_EQ(std::vector<uint32_t>({s->source_rate, s->source_bits, s->source_channels}), c.format);
    EXPECT_EQ(s->total, c.total < 0 ? c.want.size() : uint64_t(c.total));
    EXPECT_EQ(read_sound(s.get()), c.want);
    EXPECT_EQ(s->at_end, 1);
    if (c.ffmpeg) {
      EXPECT_EQ(ffmpeg_decode(path, "-f s16le"), c.want);
    }
  }
}

// The body of the first chunk named `id` (chunks walked from byte 12).
Bytes chunk_body(const Bytes &wav, const char *id) {
  for (size_t at = 12; at + 8 <= wav.size();) {
    const size_t size = le32_at(wav, at + 4);
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
  for (const auto &[codec, tag, bits] : {std::tuple<const char *, uint16_t, uint16_t>{"pcm_s24le", 1, 24},
                                          {"pcm_s32le", 1, 32}, {"pcm_f32le", 3, 32}}) {
    SCOPED_TRACE(codec);
    const std::string extensible = dir.file("ext.wav");
    ffmpeg(signal + "-c:a " + codec + " " + extensible);
    const Bytes bytes = read_file(extensible), fmt = chunk_body(bytes, "fmt ");
    ASSERT_EQ(fmt.size(), 40u);
    ASSERT_EQ(le16_at(fmt, 0), 0xFFFEu);
    const std::string plain =
        save("plain.wav", wav_bytes({fmt_chunk(tag, 2, 22050, bits), data_chunk(chunk_body(bytes, "data"))}));
    for (const std::string &path : {extensible, plain}) {
      Sound s = open_sound(path);
      ASSERT_TRUE(s) << VEXLastError();
      EXPECT_EQ(std::vector<uint32_t>({s->source_bits, s->source_channels, s->source_frame_bytes}),
                std::vector<uint32_t>({16, 2, 4}));
      const Bytes want = ffmpeg_decode(path, "-f s16le");
      ASSERT_EQ(want.size(), size_t{8820} * 4);
      EXPECT_EQ(s->total, want.size());
      EXPECT_EQ(read_sound(s.get(), {1000, 4096, 6}), want);
    }
  }
}

// The conversions at their edges, against values worked out by hand.
TEST_F(WaveInput, WideSampleEdges) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> floats = {0.0f, 1.0f, -1.0f, 0.5f, -0.5f, 1.5f, -1.5f, 1.0f / 32768, 1.5f / 32768,
                                     2.5f / 32768, -1.5f / 32768, 0.99999f, nan, inf, -inf};
  const std::vector<int16_t> from_floats = {0, 32767, -32768, 16384, -16384, 32767, -32768, 1,
                                            2, 2,     -2,     32767, 0,      32767, -32768};
  const std::vector<int32_t> ints = {0x7FFFFFFF, INT32_MIN, -1, 0xFFFF, 0x10000, -0x10000, -0x10001, 0x12345678};
  const std::vector<int16_t> from_ints = {32767, -32768, -1, 0, 1, -1, -2, 0x1234};
  Bytes f32(floats.size() * 4), s32, s24;
  std::memcpy(f32.data(), floats.data(), f32.size());
  for (int32_t v : ints) {
    const auto u = static_cast<uint32_t>(v);
    s32.insert(s32.end(), {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)});
    s24.insert(s24.end(), {uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)}); // the top 24 bits
  }
  for (const auto &[tag, bits, data, want] :
       {std::tuple<uint16_t, uint16_t, const Bytes &, const std::vector<int16_t> &>{3, 32, f32, from_floats},
        {1, 32, s32, from_ints}, {1, 24, s24, from_ints}}) {
    SCOPED_TRACE(std::to_string(bits) + "-bit, tag " + std::to_string(tag));
    Sound s = open_sound(save("edge.wav", wav_bytes({fmt_chunk(tag, 1, 8000, bits), data_chunk(data)})));
    ASSERT_TRUE(s) << VEXLastError();
    EXPECT_EQ(pcm_samples(read_sound(s.get())), want);
  }
}

// Trimming counts converted bytes and starts in the file at the whole
// frame: a 24-bit stereo file cut to 100-300 ms and from 250 ms, then reset
// and read again, against the slice of ffmpeg's 16-bit decode; a 16-bit
// file in milliseconds, where a start without an end runs to the end, a
// start past the end is not applied, and negative values are milliseconds
// for a source without frames.
TEST_F(WaveInput, TrimmingCutsWholeFrames) {
  const std::string wide = dir.file("trim.wav");
  ffmpeg("-f lavfi -i aevalsrc='random(0)*2-1|random(1)*2-1':s=22050:d=0.4 -c:a pcm_s24le " + wide);
  const Bytes all = ffmpeg_decode(wide, "-f s16le");
  // 22050 Hz 16-bit mono, 3 s.
  const Bytes pcm = pcm_bytes(sine_sweep(22050, 1, 3 * 22050, 100, 2000, 9000));
  const std::string mono = save("t.wav", pcm_wav(22050, 16, 1, pcm));
  const size_t size = pcm.size();
  const struct {
    std::string path;
    int32_t start, end;
    size_t total;
    std::optional<size_t> from; // the first byte delivered, where the bytes are checked
    const Bytes &source;
  } cases[] = {
      {wide, 100, 300, 200 * 22050 / 1000 * 4, 100 * 22050 / 1000 * 4, all},
      {wide, 250, 0, all.size() - 250 * 22050 / 1000 * 4, 250 * 22050 / 1000 * 4, all},
      {mono, 0, 2000, 2 * 22050 * 2, 0, pcm},            // start 0 and end 2000 keep two seconds
      {mono, 1000, 2500, 66150, 22050 * 2, pcm},        // 1.5 s of 44100 bytes, 1 s in
      {mono, 2900, 0, size - 2900 * 22050 / 1000 * 2, {}, pcm},
      {mono, 5000, 0, size, {}, pcm},
      {mono, -1000, -1500, 22050, {}, pcm},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.path + " from " + std::to_string(c.start) + " to " + std::to_string(c.end) + " ms");
    Sound s = open_sound(c.path, {.start = c.start, .end = c.end});
    ASSERT_TRUE(s) << VEXLastError();
    EXPECT_EQ(s->total, c.total);
    if (c.from) {
      const Bytes want(c.source.begin() + ptrdiff_t(*c.from), c.source.begin() + ptrdiff_t(*c.from + c.total));
      EXPECT_EQ(read_sound(s.get()), want);
      SFileReset(s.get());
      EXPECT_EQ(read_sound(s.get(), {333}), want) << "after reset";
    }
  }
}

// A missing file says so through the callback and VEXLastError; a name
// without extension is tried as a WAV.
TEST_F(WaveInput, NamesMissingOrWithoutExtension) {
  MessageLog log;
  EXPECT_FALSE(open_sound(dir.file("none.wav"), {}, MessageLog::callback));
  EXPECT_EQ(log.at_level(2), std::vector<std::string>{"Error opening the audio input file."});
  EXPECT_STREQ(VEXLastError(), "no such file");
  save("tone.wav", pcm_wav(8000, 8, 1, ramp(64)));
  Sound s = open_sound(dir.file("tone"));
  ASSERT_TRUE(s);
  EXPECT_EQ(std::string(s->name), dir.file("tone.wav"));
  EXPECT_EQ(read_sound(s.get()), ramp(64));
}

TEST_F(WaveInput, RawPcmWithAHeader) {
  Bytes file(37, 0xEE); // the header
  const Bytes pcm = ramp(1000);
  file.insert(file.end(), pcm.begin(), pcm.end());
  const std::string path = save("a.raw", file);
  // Raw 11025 Hz 16-bit stereo after a 37-byte header.
  Sound s = open_sound(path, {.raw_format = 11025 << 3 | 2 | 1, .raw_header = 37});
  ASSERT_TRUE(s);
  EXPECT_EQ(std::vector<uint64_t>({s->source_rate, s->source_bits, s->source_channels, s->total}),
            std::vector<uint64_t>({11025, 16, 2, 1000}));
  EXPECT_EQ(read_sound(s.get()), pcm);
  // A header at or beyond the file size leaves the last byte (8-bit mono).
  for (int32_t header : {1037, 1038, 1 << 30}) {
    s = open_sound(path, {.raw_format = 8000 << 3, .raw_header = header});
    ASSERT_TRUE(s);
    EXPECT_EQ(s->total, 1u);
    EXPECT_EQ(read_sound(s.get()), Bytes{pcm.back()});
  }
  // No rate: refused with a reason.
  MessageLog log;
  EXPECT_FALSE(open_sound(path, {.raw_format = 3}, MessageLog::callback));
  EXPECT_EQ(log.at_level(2), std::vector<std::string>{"The raw sound format gives no sample rate."});
}

// The WAV writer: every layout (an odd count of 8-bit mono bytes gets its
// pad byte) read back by FFmpeg as written, in pieces; nothing under the
// name until the close keeps it, nothing at all when it does not; formats
// that are no such PCM refused.
TEST(WaveOutput, WrittenUnderATemporaryNameAndReadByFfmpeg) {
  TempDir dir;
  for (const auto &[rate, bits, channels, bytes, decode] :
       {std::tuple<uint32_t, uint32_t, uint32_t, size_t, const char *>{8000, 8, 1, 1001, "-f u8"},
        {11025, 8, 2, 2000, "-f u8"}, {22050, 16, 1, 4002, "-f s16le"}, {48000, 16, 2, 40000, "-f s16le"}}) {
    SCOPED_TRACE(std::to_string(bits) + "-bit, " + std::to_string(channels) + " channels");
    const std::string name = dir.file("w" + std::to_string(rate) + ".wav");
    const Bytes pcm = ramp(bytes, 5);
    SFILEWAVE *w = SFileWaveCreate(name.c_str(), rate, bits, channels);
    ASSERT_NE(w, nullptr) << VEXLastError();
    for (size_t at = 0; at < pcm.size(); at += 500) {
      ASSERT_EQ(SFileWaveWrite(w, pcm.data() + at, static_cast<uint32_t>(std::min<size_t>(500, pcm.size() - at))), 1);
    }
    EXPECT_FALSE(std::filesystem::exists(name)) << "not before the close";
    ASSERT_EQ(SFileWaveClose(w, 1), 1) << VEXLastError();
    EXPECT_EQ(std::filesystem::file_size(name), 44 + bytes + bytes % 2);
    EXPECT_EQ(le32_at(read_file(name), 4), std::filesystem::file_size(name) - 8) << "the RIFF size";
    EXPECT_EQ(ffprobe(name, "-show_entries stream=sample_rate,channels -of csv=p=0"),
              std::to_string(rate) + "," + std::to_string(channels) + "\n");
    EXPECT_EQ(ffmpeg_decode(name, decode), pcm);
  }
  SFILEWAVE *w = SFileWaveCreate(dir.file("dropped.wav").c_str(), 8000, 8, 1);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(SFileWaveWrite(w, "abc", 3), 1);
  EXPECT_EQ(SFileWaveClose(w, 0), 0);
  EXPECT_EQ(entry_names(dir.path()).size(), 4u) << "the four WAVs, no temporary";
  EXPECT_EQ(SFileWaveCreate(dir.file("x.wav").c_str(), 8000, 24, 1), nullptr);
  EXPECT_EQ(SFileWaveCreate(dir.file("x.wav").c_str(), 0, 16, 1), nullptr);
  EXPECT_EQ(SFileWaveCreate(dir.file("no/such/folder/x.wav").c_str(), 8000, 16, 1), nullptr);
  EXPECT_STRNE(VEXLastError(), "");
}

} // namespace
} // namespace vex::testkit
