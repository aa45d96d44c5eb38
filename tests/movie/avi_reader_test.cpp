// AVI streams: frames as packed bitmaps and sound by position, against the
// ffmpeg tool's decode and ffprobe's packet sizes for the same files.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "movie/avi_reader.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"

namespace {

using namespace vex::movie;
using vex::testkit::ffmpeg;
using vex::testkit::ffmpeg_decode;

constexpr int kW = 50, kH = 30, kFrames = 15; // odd width: rows need padding
const std::string kPictures = "-f lavfi -i testsrc=size=50x30:rate=15:duration=1 ";

std::string tone(int hz, int rate) {
  return "-f lavfi -i sine=frequency=" + std::to_string(hz) + ":sample_rate=" + std::to_string(rate) + ":duration=1 ";
}

struct Opened {
  Stream *stream = nullptr;
  ~Opened() { StreamRelease(stream); }
};

// Colour of pixel (x, y) of a packed bitmap as blue, green, red.
std::array<uint8_t, 3> pixel(const uint8_t *dib, int x, int y) {
  BitmapHeader h;
  std::memcpy(&h, dib, sizeof h);
  const uint8_t *table = dib + 40;
  const uint8_t *rows = table + (h.bit_count == 8 ? 1024 : 0);
  const int pitch = (h.width * h.bit_count / 8 + 3) & ~3;
  const uint8_t *p = rows + (h.height - 1 - y) * pitch; // bottom-up
  if (h.bit_count == 8) {
    const uint8_t *c = table + p[x] * 4;
    return {c[0], c[1], c[2]};
  }
  const uint8_t *c = p + x * (h.bit_count / 8);
  return {c[0], c[1], c[2]};
}

struct VideoCase {
  const char *name;
  std::string options;
  int bits;      // of the delivered bitmaps
  int tolerance; // 0: lossless
};

class AviFrames : public ::testing::TestWithParam<VideoCase> {};

TEST_P(AviFrames, BitmapsHoldTheToolsPixelsAndSampleSizesItsPackets) {
  const VideoCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string avi = dir.file("v.avi");
  ffmpeg(kPictures + c.options + " " + avi);
  const std::vector<uint8_t> want = ffmpeg_decode(avi, "-f rawvideo -pix_fmt bgr24");
  ASSERT_EQ(want.size(), size_t{kW} * kH * 3 * kFrames);
  const std::vector<uint32_t> sizes = vex::testkit::ffprobe_video_packet_sizes(avi);

  Opened o;
  ASSERT_EQ(StreamOpenFromSource(&o.stream, vex::testkit::source_of(avi), kVideo, 0), kOk);
  StreamInfo info;
  ASSERT_EQ(StreamInfoOf(o.stream, &info), kOk);
  EXPECT_EQ(info.type, kVideo);
  EXPECT_EQ(info.rate / info.scale, 15u);
  EXPECT_EQ(info.rate % info.scale, 0u);
  EXPECT_EQ(info.start, 0u);
  EXPECT_EQ(info.length, static_cast<uint32_t>(kFrames));
  EXPECT_EQ(StreamLength(o.stream), kFrames);
  EXPECT_EQ(info.frame.right, kW);
  EXPECT_EQ(info.frame.bottom, kH);

  Getter *g = StreamGetFrameOpen(o.stream);
  ASSERT_NE(g, nullptr);
  // Every second frame forwards, then backwards: positions are exact.
  std::vector<int> order;
  for (int i = 0; i < kFrames; i += 2)
    order.push_back(i);
  for (int i = kFrames - 2; i >= 0; i -= 3)
    order.push_back(i);
  for (int f : order) {
    const auto *dib = static_cast<const uint8_t *>(StreamGetFrame(g, f));
    ASSERT_NE(dib, nullptr) << f;
    BitmapHeader h;
    std::memcpy(&h, dib, sizeof h);
    EXPECT_EQ(h.size, 40u);
    EXPECT_EQ(h.width, kW);
    EXPECT_EQ(h.height, kH);
    EXPECT_EQ(h.bit_count, c.bits);
    EXPECT_EQ(h.compression, 0u);
    EXPECT_EQ(h.colors_used, c.bits == 8 ? 256u : 0u);
    int worst = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const auto got = pixel(dib, x, y);
        const uint8_t *w = &want[((size_t{kW} * kH * f) + y * kW + x) * 3];
        for (int k = 0; k < 3; ++k)
          worst = std::max(worst, std::abs(got[k] - w[k]));
      }
    EXPECT_LE(worst, c.tolerance) << "frame " << f;
    int32_t bytes = -1;
    ASSERT_EQ(StreamRead(o.stream, f, 1, nullptr, 0, &bytes, nullptr), kOk);
    EXPECT_EQ(static_cast<uint32_t>(bytes), sizes.at(static_cast<size_t>(f))) << f;
  }
  StreamGetFrameClose(g);
}

INSTANTIATE_TEST_SUITE_P(Codecs, AviFrames,
                         ::testing::Values(VideoCase{"bgr24", "-c:v rawvideo -pix_fmt bgr24", 24, 0},
                                           VideoCase{"pal8", "-c:v rawvideo -pix_fmt pal8", 8, 0},
                                           VideoCase{"ffv1", "-c:v ffv1 -pix_fmt bgr0", 24, 0},
                                           VideoCase{"mjpeg", "-c:v mjpeg -q:v 2", 24, 2},
                                           VideoCase{"mpeg4", "-c:v mpeg4 -g 4 -q:v 3", 24, 2}),
                         [](const auto &info) { return std::string(info.param.name); });

struct SoundCase {
  const char *name;
  std::string make;
  const char *raw;
  uint16_t channels, bits;
};

class AviSound : public ::testing::TestWithParam<SoundCase> {};

TEST_P(AviSound, FormatAndSamplesByPosition) {
  const SoundCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string avi = dir.file("s.avi");
  ffmpeg(kPictures + c.make + " -c:v mjpeg " + avi);
  const std::vector<uint8_t> want = ffmpeg_decode(avi, std::string("-map 0:a -f ") + c.raw);
  const int32_t block = c.channels * c.bits / 8;

  Opened o;
  ASSERT_EQ(StreamOpenFromSource(&o.stream, vex::testkit::source_of(avi), kAudio, 0), kOk);
  WaveFormat w{};
  int32_t size = sizeof w;
  ASSERT_EQ(StreamReadFormat(o.stream, 0, &w, &size), kOk);
  EXPECT_EQ(size, kPcmFormatSize);
  EXPECT_EQ(w.format_tag, 1);
  EXPECT_EQ(w.channels, c.channels);
  EXPECT_EQ(w.samples_per_sec, 11025u);
  EXPECT_EQ(w.bits_per_sample, c.bits);
  EXPECT_EQ(w.block_align, block);
  EXPECT_EQ(w.avg_bytes_per_sec, 11025u * block);
  EXPECT_EQ(StreamStart(o.stream), 0);
  ASSERT_EQ(static_cast<size_t>(StreamLength(o.stream)) * block, want.size());

  std::vector<uint8_t> buf(3000 * block);
  for (int32_t at : {5000, 0, 11000, 1234, 1235}) {
    int32_t bytes = 0, got = 0;
    ASSERT_EQ(StreamRead(o.stream, at, 3000, buf.data(), static_cast<int32_t>(buf.size()), &bytes, &got), kOk);
    const int32_t expected = std::min(3000, StreamLength(o.stream) - at);
    ASSERT_EQ(got, expected) << at;
    EXPECT_EQ(bytes, expected * block);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + bytes, want.begin() + at * block)) << at;
  }
  // A buffer smaller than the request limits it to whole sample frames.
  int32_t bytes = 0, got = 0;
  ASSERT_EQ(StreamRead(o.stream, 0, 100, buf.data(), 10 * block + block / 2, &bytes, &got), kOk);
  EXPECT_EQ(got, 10);
}

INSTANTIATE_TEST_SUITE_P(
    Pcm, AviSound,
    ::testing::Values(SoundCase{"u8_mono", tone(440, 11025) + "-c:a pcm_u8", "u8", 1, 8},
                      SoundCase{"s16_stereo", tone(440, 11025) + tone(550, 11025) +
                                                  "-filter_complex [1:a][2:a]amerge=inputs=2 -map 0:v -c:a pcm_s16le",
                                "s16le -ac 2", 2, 16},
                      SoundCase{"u8_stereo", tone(440, 11025) + "-ac 2 -c:a pcm_u8", "u8 -ac 2", 2, 8},
                      SoundCase{"s16_mono", tone(440, 11025) + "-c:a pcm_s16le", "s16le", 1, 16}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(AviStreams, SecondAudioStreamAndMissingStreams) {
  vex::testkit::TempDir dir;
  const std::string both = dir.file("b.avi"), mute = dir.file("m.avi"), sound = dir.file("s.avi");
  ffmpeg(kPictures + tone(440, 8000) + tone(440, 22050) + "-map 0 -map 1 -map 2 -c:v mjpeg -c:a pcm_s16le " + both);
  ffmpeg(kPictures + "-c:v mjpeg " + mute);
  ffmpeg(tone(440, 8000) + "-c:a pcm_u8 " + sound);
  Opened second;
  ASSERT_EQ(StreamOpenFromSource(&second.stream, vex::testkit::source_of(both), kAudio, 1), kOk);
  WaveFormat w{};
  int32_t size = sizeof w;
  StreamReadFormat(second.stream, 0, &w, &size);
  EXPECT_EQ(w.samples_per_sec, 22050u);
  Stream *none = reinterpret_cast<Stream *>(1);
  EXPECT_NE(StreamOpenFromSource(&none, vex::testkit::source_of(both), kAudio, 2), kOk);
  EXPECT_EQ(none, nullptr);
  EXPECT_NE(StreamOpenFromSource(&none, vex::testkit::source_of(mute), kAudio, 0), kOk);
  EXPECT_NE(StreamOpenFromSource(&none, vex::testkit::source_of(sound), kVideo, 0), kOk);
  FileInfo fi;
  ASSERT_EQ(FileInfoOf(vex::testkit::source_of(sound), &fi), kOk);
  EXPECT_EQ(fi.width, 0);
  EXPECT_EQ(fi.streams, 1u);
  ASSERT_EQ(FileInfoOf(vex::testkit::source_of(both), &fi), kOk);
  EXPECT_EQ(fi.width, kW);
  EXPECT_EQ(fi.height, kH);
  EXPECT_EQ(fi.streams, 3u);
}

TEST(AviStreams, RefusesOtherContainersAndDamagedFiles) {
  vex::testkit::TempDir dir;
  const std::string mov = dir.file("q.mov"), avi = dir.file("v.avi"), cut = dir.file("cut.avi");
  ffmpeg(kPictures + "-c:v mjpeg " + mov);
  ffmpeg(kPictures + "-c:v mjpeg " + avi);
  Stream *s = nullptr;
  EXPECT_NE(StreamOpenFromSource(&s, vex::testkit::source_of(mov), kVideo, 0), kOk);
  EXPECT_NE(StreamOpenFromSource(&s, vex::testkit::source_of(dir.file("none.avi")), kVideo, 0), kOk);
  std::ifstream in(avi, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Cut inside the headers: no stream. Cut inside the frames: fewer of them.
  std::ofstream(cut, std::ios::binary).write(bytes.data(), 100);
  EXPECT_NE(StreamOpenFromSource(&s, vex::testkit::source_of(cut), kVideo, 0), kOk);
  std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
  if (StreamOpenFromSource(&s, vex::testkit::source_of(cut), kVideo, 0) == kOk) {
    EXPECT_LT(StreamLength(s), kFrames);
    Getter *g = StreamGetFrameOpen(s);
    for (int i = 0; i < kFrames + 2; ++i)
      StreamGetFrame(g, i);
    StreamGetFrameClose(g);
    StreamRelease(s);
  }
}

} // namespace

namespace {

// Compressed sound in an AVI file is delivered decoded: the format says
// PCM with the delivered rate, bits and channels, and positions and
// lengths count delivered sample frames. Against the tool's decode of the
// same track, sample for sample (the same decoder).
struct CompressedCase {
  const char *name;
  std::string make; // sound input and codec options
  uint32_t rate;
  uint16_t channels;
  // Largest difference after a jump back: 0, except for decoders that draw
  // noise from a generator running through the track (AC-3's dither for
  // mantissas of no bits), whose noise then differs.
  int jump_tolerance;
};

int max_sample_difference(const uint8_t *a, const uint8_t *b, size_t bytes) {
  int worst = 0;
  for (size_t i = 0; i + 1 < bytes; i += 2)
    worst = std::max(worst, std::abs(static_cast<int16_t>(a[i] | a[i + 1] << 8) - static_cast<int16_t>(b[i] | b[i + 1] << 8)));
  return worst;
}

class AviCompressedSound : public ::testing::TestWithParam<CompressedCase> {};

TEST_P(AviCompressedSound, DeliveredAsPcmAndDescribedAsSuch) {
  const CompressedCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string avi = dir.file("s.avi");
  ffmpeg("-f lavfi -i testsrc=size=50x30:rate=15:duration=3 " + c.make + " -c:v mjpeg " + avi);
  const std::vector<uint8_t> want = ffmpeg_decode(avi, "-map 0:a -f s16le");
  const int32_t block = c.channels * 2;
  ASSERT_EQ(want.size() % static_cast<size_t>(block), 0u);

  Opened o;
  ASSERT_EQ(StreamOpenFromSource(&o.stream, vex::testkit::source_of(avi), kAudio, 0), kOk);
  int32_t size = 0;
  ASSERT_EQ(StreamReadFormat(o.stream, 0, nullptr, &size), kOk);
  EXPECT_EQ(size, kPcmFormatSize);
  WaveFormat w{};
  w.extra_size = 0x5555;
  size = sizeof w;
  ASSERT_EQ(StreamReadFormat(o.stream, 0, &w, &size), kOk);
  EXPECT_EQ(size, kPcmFormatSize);
  EXPECT_EQ(w.extra_size, 0x5555) << "only the 16 bytes of a PCM format are written";
  EXPECT_EQ(w.format_tag, kPcmFormatTag);
  EXPECT_EQ(w.channels, c.channels);
  EXPECT_EQ(w.samples_per_sec, c.rate);
  EXPECT_EQ(w.bits_per_sample, 16);
  EXPECT_EQ(w.block_align, block);
  EXPECT_EQ(w.avg_bytes_per_sec, c.rate * block);
  StreamInfo info{};
  ASSERT_EQ(StreamInfoOf(o.stream, &info), kOk);
  EXPECT_EQ(info.rate / info.scale, c.rate);
  EXPECT_EQ(info.sample_size, static_cast<uint32_t>(block));
  EXPECT_EQ(info.handler, 0u);
  const int32_t frames = StreamLength(o.stream);
  ASSERT_EQ(static_cast<size_t>(frames) * block, want.size());
  EXPECT_EQ(info.length, static_cast<uint32_t>(frames));

  // Everything in one go, then pieces after jumps either way: ahead (the
  // decoder goes on) always exact, back (a fresh decoder from a little
  // before) exact but for generated noise.
  std::vector<uint8_t> all(want.size());
  int32_t bytes = 0, got = 0;
  ASSERT_EQ(StreamRead(o.stream, 0, frames, all.data(), static_cast<int32_t>(all.size()), &bytes, &got), kOk);
  EXPECT_EQ(got, frames);
  EXPECT_TRUE(all == want);
  std::vector<uint8_t> buf(5000 * block);
  int32_t last_end = frames;
  for (int32_t at : {frames / 2, 7, frames - 100, 0, 9000, 15000, frames / 3, frames / 3 + 1, 20000}) {
    ASSERT_EQ(StreamRead(o.stream, at, 5000, buf.data(), static_cast<int32_t>(buf.size()), &bytes, &got), kOk);
    const int32_t expected = std::min(5000, frames - at);
    ASSERT_EQ(got, expected) << at;
    const int worst = max_sample_difference(buf.data(), want.data() + at * block, static_cast<size_t>(bytes));
    EXPECT_LE(worst, at >= last_end ? 0 : c.jump_tolerance) << "from " << at;
    last_end = at + got;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, AviCompressedSound,
    ::testing::Values(CompressedCase{"mp3_mono", tone(440, 44100) + "-c:a libmp3lame -b:a 96k", 44100, 1, 0},
                      CompressedCase{"mp3_stereo_lsf", tone(440, 22050) + "-ac 2 -c:a libmp3lame -b:a 32k", 22050, 2, 0},
                      CompressedCase{"ac3_stereo", tone(440, 48000) + "-ac 2 -c:a ac3 -b:a 192k", 48000, 2, 2}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

namespace {

// An MP3 track that goes from stereo to mono halfway (two encodes one
// after the other, the file saying stereo): the mono half is converted
// for what it is, as the tool converts it, not read as two planes.
TEST(AviStreams, SoundThatChangesItsChannelsHalfwayIsConvertedAsItComes) {
  vex::testkit::TempDir dir;
  const std::string stereo = dir.file("s.mp3"), mono = dir.file("m.mp3"), both = dir.file("both.mp3"),
                    avi = dir.file("c.avi");
  const std::string bare = " -write_xing 0 -id3v2_version 0 -write_id3v1 0 "; // frames only
  ffmpeg(tone(440, 22050) + "-ac 2 -c:a libmp3lame -b:a 64k" + bare + stereo);
  ffmpeg(tone(660, 22050) + "-ac 1 -c:a libmp3lame -b:a 32k" + bare + mono);
  {
    std::ofstream out(both, std::ios::binary);
    out << std::ifstream(stereo, std::ios::binary).rdbuf() << std::ifstream(mono, std::ios::binary).rdbuf();
  }
  ffmpeg(kPictures + "-i " + both + " -c:v mjpeg -c:a copy " + avi);
  const std::vector<uint8_t> want = ffmpeg_decode(avi, "-map 0:a -f s16le -ac 2");
  Opened o;
  ASSERT_EQ(StreamOpenFromSource(&o.stream, vex::testkit::source_of(avi), kAudio, 0), kOk);
  const int32_t frames = StreamLength(o.stream);
  ASSERT_EQ(static_cast<size_t>(frames) * 4, want.size());
  std::vector<uint8_t> got(want.size());
  int32_t bytes = 0, n = 0;
  ASSERT_EQ(StreamRead(o.stream, 0, frames, got.data(), static_cast<int32_t>(got.size()), &bytes, &n), kOk);
  EXPECT_EQ(n, frames);
  EXPECT_TRUE(got == want);
  // The mono half reaches both channels alike.
  const size_t late = want.size() * 3 / 4 & ~size_t{3};
  EXPECT_EQ(got[late], got[late + 2]);
  EXPECT_EQ(got[late + 1], got[late + 3]);
}

} // namespace
