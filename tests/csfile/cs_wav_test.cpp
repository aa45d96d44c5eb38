// The exported writer end to end: CSFileOpen reads WAV (and raw) files
// through the sound source, and the testkit's chunk reader decodes what it
// wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "testkit/csfile/chunk_reader.h"
#include "testkit/audio_codec/codec_driver.h"
#include "testkit/audio_codec/test_signals.h"
#include "testkit/util/wav_file.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/csfile.h"
#include "vexutil/util.h"

namespace {

namespace tk = vex::testkit;

std::vector<std::string> &messages() {
  static std::vector<std::string> m;
  return m;
}
int32_t note(const char *text, int32_t level) {
  if (level == 2)
    messages().push_back(text);
  return 0;
}

struct Args {
  int32_t compression = 0, fill = 0, forever = 0, lead_in = 0, pass = 0, rate = 0, bits = 0, channels = 0,
          start = 0, end = 0, track = 0, raw = 0, header = 0;
};

// Every chunk the writer makes of `name`, put `piece` bytes at a time
// until the pass is done.
std::vector<uint8_t> chunks_of(const tk::TempDir &dir, const std::string &name, const Args &a, uint32_t piece,
                               CSFILE *record = nullptr) {
  messages().clear();
  CSFILE *cs = CSFileOpen(name.c_str(), a.compression, a.fill, a.forever, a.lead_in, a.pass, a.rate, a.bits,
                          a.channels, a.start, a.end, a.track, a.raw, a.header, note);
  if (!cs)
    return {};
  const std::string out = dir.file("out.bin");
  VEXFILE *f = VEXFileCreate(4096, out.c_str());
  CSFileSetOutput(cs, f);
  for (int i = 0; i < 100000 && cs->pass_left > 0; ++i)
    CSFilePut(cs, piece);
  if (record)
    *record = *cs;
  CSFileClose(cs);
  VEXFileClose(f);
  return tk::read_file(out);
}

TEST(CompressedSoundFromFiles, LosslessQualitiesGiveTheWavBack) {
  tk::TempDir dir;
  const auto pcm = tk::pcm_bytes(tk::sine_sweep(22050, 2, 22050, 80, 6000, 12000));
  const std::string wav = dir.file("in.wav");
  tk::write_file(wav, tk::pcm_wav(22050, 16, 2, pcm));
  for (int32_t quality : {0, 5, 9}) {
    SCOPED_TRACE(quality);
    Args a;
    a.compression = quality; // below 100: the Huffman variants
    CSFILE last{};
    const auto bytes = chunks_of(dir, wav, a, 8820, &last);
    ASSERT_FALSE(bytes.empty()) << VEXLastError();
    const auto decoded = tk::read_chunk_stream(bytes, {tk::ChunkKind::huffman, 22050, 16, 2});
    EXPECT_EQ(decoded.pcm, pcm);
    EXPECT_EQ(decoded.chunks.size(), 10u);
    EXPECT_EQ(last.total_pcm_bytes, pcm.size());
  }
}

TEST(CompressedSoundFromFiles, OutputFormatAndTrimmingComeFromTheSource) {
  tk::TempDir dir;
  const auto pcm = tk::pcm_bytes(tk::sine_sweep(22050, 1, 22050 * 2, 200, 3000, 9000));
  const std::string wav = dir.file("in.wav");
  tk::write_file(wav, tk::pcm_wav(22050, 16, 1, pcm));
  Args a;
  a.rate = 11025;
  a.bits = 8;
  a.start = 500;
  a.end = 1500;
  CSFILE last{};
  const auto bytes = chunks_of(dir, wav, a, 1000, &last);
  const auto decoded = tk::read_chunk_stream(bytes, {tk::ChunkKind::huffman, 11025, 8, 1});
  // One second at 11025 Hz, 8-bit: every pair averaged, high byte + 128.
  ASSERT_EQ(decoded.pcm.size(), 11025u);
  const auto src = tk::pcm_samples(pcm);
  for (size_t i = 0; i < decoded.pcm.size(); ++i) {
    const int32_t avg = (src[11025 + 2 * i] + src[11025 + 2 * i + 1]) / 2;
    ASSERT_EQ(decoded.pcm[i], static_cast<uint8_t>(avg / 256 + 128)) << i;
  }
  EXPECT_EQ(last.pass_bytes, 11025u);
}

TEST(CompressedSoundFromFiles, TransformCodingStaysCloseToTheSource) {
  tk::TempDir dir;
  const auto signal = tk::sine_sweep(22050, 1, 22050, 100, 4000, 8000);
  const std::string wav = dir.file("in.wav");
  tk::write_file(wav, tk::pcm_wav(22050, 16, 1, tk::pcm_bytes(signal)));
  Args a;
  a.compression = 104;
  const auto bytes = chunks_of(dir, wav, a, 4410);
  const auto decoded = tk::read_chunk_stream(bytes, {tk::ChunkKind::transform, 22050, 16, 1});
  const auto got = tk::pcm_samples(decoded.pcm);
  ASSERT_GE(got.size(), signal.size());
  double sig = 0, err = 0;
  for (size_t i = 0; i < signal.size(); ++i) {
    sig += double(signal[i]) * signal[i];
    err += double(signal[i] - got[i]) * (signal[i] - got[i]);
  }
  EXPECT_GT(10 * std::log10(sig / err), 15.0);
}

TEST(CompressedSoundFromFiles, RawInputIsStoredRaw) {
  tk::TempDir dir;
  std::vector<uint8_t> file(12, 0xEE);
  for (int i = 0; i < 3000; ++i)
    file.push_back(static_cast<uint8_t>(i * 7));
  const std::string raw = dir.file("in.pcm");
  tk::write_file(raw, file);
  Args a;
  a.raw = 4 + 8 * 8000; // /Y5: 8-bit mono at 8000 Hz, stored raw
  a.header = 12;
  const auto bytes = chunks_of(dir, raw, a, 1000);
  const auto decoded = tk::read_chunk_stream(bytes, {tk::ChunkKind::raw, 8000, 8, 1});
  EXPECT_EQ(decoded.pcm, std::vector<uint8_t>(file.begin() + 12, file.end()));
}

TEST(CompressedSoundFromFiles, AnInputThatCannotBeOpenedSaysWhy) {
  tk::TempDir dir;
  Args a;
  EXPECT_TRUE(chunks_of(dir, dir.file("none.wav"), a, 100).empty());
  EXPECT_EQ(messages(), std::vector<std::string>{"Error opening the audio input file."});
  EXPECT_STREQ(VEXLastError(), "no such file");
}

} // namespace
