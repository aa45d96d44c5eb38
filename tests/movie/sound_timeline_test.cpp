// Compressed movie sound on the movie's timeline: AAC with the encoder's
// priming in MP4 and MOV, edit lists that cut the start and the end, and
// priming that the decoder drops by itself with nothing to announce it,
// read through QTSFile sample for sample against the ffmpeg tool's decode
// (the same decoder, so the samples are equal, not merely close), from the
// start in pieces and after jumps.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "testkit/movie/edit_list.h"
#include "testkit/movie/qts_read.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/movie.h"

namespace {

using vex::testkit::ffmpeg;
using vex::testkit::ffmpeg_decode;
using vex::testkit::qts_read_all;
using vex::testkit::ffprobe;
using vex::testkit::shell_quote;

// First differing byte, or -1: a shifted start shows as a small index.
long first_difference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    if (a[i] != b[i])
      return static_cast<long>(i);
  return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

struct Packet {
  long pts = 0, duration = 0, skip = 0;
  bool discard = false;
};

// The tool's view of the sound packets: time stamps, durations, the
// samples to skip that the demuxer hands over, and discard marks.
std::vector<Packet> sound_packets(const std::string &file) {
  std::istringstream in(ffprobe(
      file, "-select_streams a:0 -show_packets -show_entries packet=pts,duration,flags:packet_side_data=skip_samples "
            "-of compact=p=0:nk=0"));
  std::vector<Packet> out;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("pts=", 0) == 0) {
      Packet p;
      std::istringstream fields(line);
      for (std::string f; std::getline(fields, f, '|');) {
        const size_t eq = f.find('=');
        const std::string k = f.substr(0, eq), v = f.substr(eq + 1);
        if (k == "pts")
          p.pts = std::stol(v);
        else if (k == "duration")
          p.duration = std::stol(v);
        else if (k == "flags")
          p.discard = v.find('D') != std::string::npos;
        else if (k == "skip_samples") // side data, on the packet's line
          p.skip = std::stol(v);
      }
      out.push_back(p);
    }
  }
  return out;
}

std::string aac_tone(int seconds) {
  const std::string length = std::to_string(seconds);
  return "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=" + length +
         " -f lavfi -i sine=frequency=660:sample_rate=44100:duration=" + length +
         " -filter_complex amerge=inputs=2 -c:a aac -b:a 128k ";
}
const std::string kTone = aac_tone(2);
// The same without noise substitution: a decoder that starts after a jump
// then gives exactly the samples of one that read from the start.
const std::string kToneNoNoise = kTone + "-aac_pns 0 ";

class AacTimeline : public ::testing::TestWithParam<const char *> {};

// The encoder's priming (1024 samples) is behind an edit list; it is
// dropped once, so the first sample is the tool's first sample.
TEST_P(AacTimeline, PrimedTrackEqualsTheToolsDecode) {
  vex::testkit::TempDir dir;
  const std::string file = dir.file(std::string("a.") + GetParam());
  ffmpeg(kTone + file);
  const std::vector<Packet> packets = sound_packets(file);
  ASSERT_FALSE(packets.empty());
  EXPECT_LT(packets[0].pts, 0) << "the priming lies before the timeline";
  EXPECT_GT(packets[0].skip, 0);
  const std::vector<uint8_t> want = ffmpeg_decode(file, "-f s16le");
  for (uint32_t piece : {4096u, 1000u * 4 + 4, 3u * 44100 * 4}) {
    QTSFILE *qs = QTSFileOpen(file.c_str(), 0);
    ASSERT_NE(qs, nullptr);
    EXPECT_EQ(qs->rate, 44100u);
    EXPECT_EQ(qs->channels, 2u);
    EXPECT_EQ(qs->total_bytes, want.size());
    const std::vector<uint8_t> got = qts_read_all(qs, piece);
    EXPECT_EQ(first_difference(got, want), -1) << "pieces of " << piece;
    QTSFileClose(qs);
  }
}

// Jumps decode from a little before the target: the samples are those of
// a read from the start, near the start, in the middle and at the end.
TEST_P(AacTimeline, JumpsGiveTheSamplesOfReadingFromTheStart) {
  vex::testkit::TempDir dir;
  const std::string file = dir.file(std::string("a.") + GetParam());
  ffmpeg(kToneNoNoise + file);
  const std::vector<uint8_t> want = ffmpeg_decode(file, "-f s16le");
  QTSFILE *qs = QTSFileOpen(file.c_str(), 0);
  ASSERT_NE(qs, nullptr);
  std::vector<uint8_t> buf(4000 * 4);
  for (uint32_t ms : {1500u, 10u, 0u, 250u, 1999u, 700u, 701u, 186u}) {
    QTSFileGoto(qs, ms);
    const size_t at = size_t{ms} * 44100 / 1000 * 4;
    ASSERT_LT(at, want.size());
    const uint32_t n = QTSFileGet(qs, buf.data(), static_cast<uint32_t>(buf.size()));
    ASSERT_EQ(n, std::min(buf.size(), want.size() - at)) << ms;
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + n, want.begin() + static_cast<ptrdiff_t>(at))) << ms << " ms";
  }
  QTSFileClose(qs);
}

// With noise substitution (the encoder's default) jumps ahead stay exact:
// they decode on. QTSFile converts a second at a time, so each jump here
// lands past what the last call converted.
TEST_P(AacTimeline, JumpsAheadAreExactWithNoiseSubstitution) {
  vex::testkit::TempDir dir;
  const std::string file = dir.file(std::string("a.") + GetParam());
  ffmpeg(aac_tone(6) + file);
  const std::vector<uint8_t> want = ffmpeg_decode(file, "-f s16le");
  QTSFILE *qs = QTSFileOpen(file.c_str(), 0);
  ASSERT_NE(qs, nullptr);
  std::vector<uint8_t> buf(1000 * 4);
  for (uint32_t ms : {100u, 1300u, 2500u, 4700u}) {
    QTSFileGoto(qs, ms);
    const size_t at = size_t{ms} * 441 / 10 * 4;
    ASSERT_EQ(QTSFileGet(qs, buf.data(), static_cast<uint32_t>(buf.size())), buf.size());
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), want.begin() + static_cast<ptrdiff_t>(at))) << ms << " ms";
  }
  QTSFileClose(qs);
}

INSTANTIATE_TEST_SUITE_P(Containers, AacTimeline, ::testing::Values("mp4", "mov"),
                         [](const auto &info) { return std::string(info.param); });

// A stream copy of the middle second writes an edit list that starts
// inside a packet and ends inside another; a shortened one ends whole
// packets early. The tool's samples, from its first.
TEST(AacEditList, CutStartAndEndAsTheToolPresentsThem) {
  vex::testkit::TempDir dir;
  const std::string whole = dir.file("whole.mp4"), cut = dir.file("cut.mp4"), shorter = dir.file("short.mp4");
  ffmpeg(kToneNoNoise + whole);
  ffmpeg("-ss 0.5 -t 1.0 -i " + shell_quote(whole) + " -c copy " + cut);
  const std::vector<Packet> packets = sound_packets(cut);
  ASSERT_GT(packets.size(), 2u);
  // The edit list cuts into the first packet and into the last one.
  EXPECT_GT(packets.front().skip, 0);
  EXPECT_LT(packets.front().skip, 1024);
  EXPECT_LT(packets.back().duration, 1024);
  ffmpeg("-i " + shell_quote(cut) + " -c copy " + shorter);
  vex::testkit::set_edit_length(shorter, 0, 600);
  const std::vector<Packet> fewer = sound_packets(shorter);
  EXPECT_LT(fewer.size() + 10, packets.size()) << "whole packets lie past the shortened edit";

  for (const std::string &file : {cut, shorter}) {
    const std::vector<uint8_t> want = ffmpeg_decode(file, "-f s16le");
    QTSFILE *qs = QTSFileOpen(file.c_str(), 0);
    ASSERT_NE(qs, nullptr);
    EXPECT_EQ(qs->total_bytes, want.size()) << file;
    EXPECT_EQ(first_difference(qts_read_all(qs, 8192), want), -1) << file;
    // And after a jump into the middle.
    QTSFileGoto(qs, 300);
    std::vector<uint8_t> buf(2000 * 4);
    const size_t at = size_t{300} * 441 / 10 * 4;
    ASSERT_EQ(QTSFileGet(qs, buf.data(), static_cast<uint32_t>(buf.size())), buf.size());
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), want.begin() + static_cast<ptrdiff_t>(at))) << file;
    QTSFileClose(qs);
  }
}

// A bit writer for the AAC element put in front of a raw data block.
struct Bits {
  std::string text; // '0' and '1'
  void put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i)
      text += (value >> i & 1) ? '1' : '0';
  }
  void put_bytes(const std::string &s) {
    for (char c : s)
      put(static_cast<uint8_t>(c), 8);
  }
};

// The first ADTS frame of `file` with a fill element in front of its
// elements that names the encoder as old libfaac builds did ("libfaac
// 1.28"): the fill element's extension type 0 (fill), 13 bits the decoder
// passes over, the text. The libavcodec AAC decoder then drops 1024
// samples of its own accord, which no container field or side data says.
void name_the_encoder_in_the_first_packet(const std::string &file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> adts((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(adts.size(), 7u);
  ASSERT_EQ(adts[0], 0xFF);
  ASSERT_EQ(adts[1] & 0xF1, 0xF1) << "an ADTS frame without a checksum";
  const size_t length = size_t{adts[3] & 3u} << 11 | size_t{adts[4]} << 3 | adts[5] >> 5;
  ASSERT_LE(length, adts.size());
  Bits payload;
  payload.put(0, 4);  // extension type: fill
  payload.put(0, 13); // passed over
  payload.put_bytes(std::string("libfaac 1.28") + '\0');
  const uint32_t count = static_cast<uint32_t>(payload.text.size() + 7) / 8;
  payload.text.resize(count * 8, '0');
  Bits block;
  block.put(6, 3); // fill element
  ASSERT_GE(count, 15u);
  block.put(15, 4);
  block.put(count - 14, 8); // count = 15 + escape - 1
  block.text += payload.text;
  for (size_t i = 7; i < length; ++i)
    block.put(adts[i], 8);
  block.text.resize((block.text.size() + 7) / 8 * 8, '0');
  std::vector<uint8_t> frame(adts.begin(), adts.begin() + 7);
  for (size_t i = 0; i < block.text.size(); i += 8)
    frame.push_back(static_cast<uint8_t>(std::stoul(block.text.substr(i, 8), nullptr, 2)));
  const size_t now = frame.size();
  frame[3] = static_cast<uint8_t>((frame[3] & 0xFC) | (now >> 11 & 3));
  frame[4] = static_cast<uint8_t>(now >> 3);
  frame[5] = static_cast<uint8_t>((frame[5] & 0x1F) | (now & 7) << 5);
  frame.insert(frame.end(), adts.begin() + static_cast<ptrdiff_t>(length), adts.end());
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char *>(frame.data()),
                                              static_cast<std::streamsize>(frame.size()));
}

// The decoder drops the priming itself and stamps its first frame 1024;
// the container has no edit list and the packets no skip. Sample frame 0
// is still the first one decoded, as the tool delivers it, and jumps land
// on the tool's samples.
TEST(AacNamedEncoder, DecoderDroppedPrimingIsNoSilence) {
  vex::testkit::TempDir dir;
  const std::string adts = dir.file("a.aac"), file = dir.file("a.mp4");
  ffmpeg(kToneNoNoise + "-f adts " + adts);
  name_the_encoder_in_the_first_packet(adts);
  ffmpeg("-i " + shell_quote(adts) + " -c copy " + file);
  const std::vector<Packet> packets = sound_packets(file);
  ASSERT_FALSE(packets.empty());
  EXPECT_EQ(packets[0].pts, 0);
  EXPECT_EQ(packets[0].skip, 0);
  const std::string stamps =
      ffprobe(file, "-select_streams a:0 -show_frames -read_intervals %+#3 -show_entries frame=pts -of csv=p=0");
  EXPECT_EQ(stamps.substr(0, stamps.find('\n')), "1024") << "the decoder drops the first frame itself";
  const std::vector<uint8_t> want = ffmpeg_decode(file, "-f s16le");
  QTSFILE *qs = QTSFileOpen(file.c_str(), 0);
  ASSERT_NE(qs, nullptr);
  EXPECT_EQ(qs->total_bytes, want.size());
  EXPECT_EQ(first_difference(qts_read_all(qs, 4096), want), -1);
  std::vector<uint8_t> buf(2000 * 4);
  for (uint32_t ms : {1200u, 5u, 600u}) {
    QTSFileGoto(qs, ms);
    const size_t at = size_t{ms} * 441 / 10 * 4;
    ASSERT_EQ(QTSFileGet(qs, buf.data(), static_cast<uint32_t>(buf.size())), buf.size());
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), want.begin() + static_cast<ptrdiff_t>(at))) << ms << " ms";
  }
  QTSFileClose(qs);
}

} // namespace
