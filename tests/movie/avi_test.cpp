// AVI files: frames as packed bitmaps and sound by position against the
// ffmpeg tool's decode and ffprobe's packet sizes for the same files
// (compressed sound delivered decoded, as PCM); and files made by the
// writer, read back by the tool and by the reader: pixels, palettes that
// change, sound and key frames.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "movie/avi_reader.h"
#include "movie/avi_writer.h"
#include "testkit/movie/movie_read.h"
#include "testkit/stills/still_pixels.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"

namespace {

using namespace vex::movie;
using namespace vex::testkit;

constexpr int kW = 50, kH = 30, kFrames = 15; // odd width: rows need padding
const std::string kPictures = "-f lavfi -i testsrc=size=50x30:rate=15:duration=1 ";

std::string tone(int hz, int rate) {
  return "-f lavfi -i sine=frequency=" + std::to_string(hz) + ":sample_rate=" + std::to_string(rate) + ":duration=1 ";
}

struct Opened {
  Stream *stream = nullptr;
  ~Opened() { StreamRelease(stream); }
};

struct VideoCase {
  const char *name;
  std::string options;
  uint16_t bits;  // of the delivered bitmaps
  int tolerance;  // 0: lossless
};

class AviFrames : public ::testing::TestWithParam<VideoCase> {};

TEST_P(AviFrames, BitmapsHoldTheToolsPixelsAndSampleSizesItsPackets) {
  const VideoCase &c = GetParam();
  TempDir dir;
  const std::string avi = dir.file("v.avi");
  ffmpeg(kPictures + c.options + " " + avi);
  const std::vector<uint8_t> want = ffmpeg_decode(avi, "-f rawvideo -pix_fmt bgr24");
  const size_t frame_bytes = size_t{kW} * kH * 3;
  ASSERT_EQ(want.size(), frame_bytes * kFrames);
  const std::vector<uint32_t> sizes = ffprobe_video_packet_sizes(avi);
  Opened o;
  ASSERT_EQ(StreamOpenFromSource(&o.stream, source_of(avi), kVideo, 0), kOk);
  StreamInfo info;
  ASSERT_EQ(StreamInfoOf(o.stream, &info), kOk);
  EXPECT_EQ(std::tuple(info.type, info.rate / info.scale, info.rate % info.scale, info.start, info.length,
                       StreamLength(o.stream), info.frame.right, info.frame.bottom),
            std::tuple(kVideo, 15u, 0u, 0u, uint32_t{kFrames}, kFrames, kW, kH));
  Getter *g = StreamGetFrameOpen(o.stream);
  ASSERT_NE(g, nullptr);
  // Every second frame forwards, then every third backwards: positions are exact.
  for (int f : {0, 2, 4, 6, 8, 10, 12, 14, 13, 10, 7, 4, 1}) {
    const auto *dib = static_cast<const uint8_t *>(StreamGetFrame(g, f));
    ASSERT_NE(dib, nullptr) << f;
    BitmapHeader h;
    std::memcpy(&h, dib, sizeof h);
    EXPECT_EQ(std::tuple(h.size, h.width, h.height, h.bit_count, h.compression, h.colors_used),
              std::tuple(40u, kW, kH, c.bits, 0u, c.bits == 8 ? 256u : 0u));
    const std::vector<uint8_t> frame(want.begin() + frame_bytes * f, want.begin() + frame_bytes * (f + 1));
    EXPECT_LE(max_byte_difference(dib_bgr(dib), frame), c.tolerance) << "frame " << f;
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

// Sound is delivered as PCM whatever it is stored as: the format says PCM
// with the delivered rate, bits and channels (16 bytes written, no more),
// and positions and lengths count delivered sample frames.
struct SoundCase {
  const char *name;
  std::string make; // inputs and sound codec options
  const char *raw;  // the tool's output format for the same samples
  uint32_t rate;
  uint16_t channels, bits;
  // Largest difference after a jump back: 0, except for decoders that draw
  // noise from a generator running through the track (AC-3's dither for
  // mantissas of no bits), whose noise then differs.
  int jump_tolerance = 0;
};

int max_sample_difference(const uint8_t *a, const uint8_t *b, size_t bytes, int bits) {
  int worst = 0;
  for (size_t i = 0; i + bits / 8 <= bytes; i += bits / 8)
    worst = std::max(worst, bits == 8 ? std::abs(a[i] - b[i])
                                      : std::abs(int16_t(a[i] | a[i + 1] << 8) - int16_t(b[i] | b[i + 1] << 8)));
  return worst;
}

class AviSound : public ::testing::TestWithParam<SoundCase> {};

TEST_P(AviSound, DeliveredAsPcmByPosition) {
  const SoundCase &c = GetParam();
  TempDir dir;
  const std::string avi = dir.file("s.avi");
  ffmpeg(c.make + " -c:v mjpeg " + avi);
  const std::vector<uint8_t> want = ffmpeg_decode(avi, std::string("-map 0:a -f ") + c.raw);
  const int32_t block = c.channels * c.bits / 8;
  Opened o;
  ASSERT_EQ(StreamOpenFromSource(&o.stream, source_of(avi), kAudio, 0), kOk);
  int32_t size = 0;
  ASSERT_EQ(StreamReadFormat(o.stream, 0, nullptr, &size), kOk);
  EXPECT_EQ(size, kPcmFormatSize);
  WaveFormat w{};
  w.extra_size = 0x5555;
  size = sizeof w;
  ASSERT_EQ(StreamReadFormat(o.stream, 0, &w, &size), kOk);
  EXPECT_EQ(size, kPcmFormatSize);
  EXPECT_EQ(std::tuple(w.format_tag, w.channels, w.samples_per_sec, w.bits_per_sample, w.block_align,
                       w.avg_bytes_per_sec, w.extra_size),
            std::tuple(kPcmFormatTag, c.channels, c.rate, c.bits, uint16_t(block), c.rate * block, uint16_t{0x5555}));
  StreamInfo info{};
  ASSERT_EQ(StreamInfoOf(o.stream, &info), kOk);
  const int32_t frames = StreamLength(o.stream);
  ASSERT_EQ(static_cast<size_t>(frames) * block, want.size());
  EXPECT_EQ(std::tuple(info.rate / info.scale, info.sample_size, info.handler, info.length, StreamStart(o.stream)),
            std::tuple(c.rate, uint32_t(block), 0u, uint32_t(frames), 0));

  // Everything in one go, then pieces after jumps either way: ahead (the
  // decoder goes on) always exact, back (a fresh decoder from a little
  // before) exact but for generated noise; fewer at the end.
  std::vector<uint8_t> buf(want.size());
  int32_t bytes = 0, got = 0;
  ASSERT_EQ(StreamRead(o.stream, 0, frames, buf.data(), static_cast<int32_t>(buf.size()), &bytes, &got), kOk);
  EXPECT_EQ(got, frames);
  EXPECT_TRUE(buf == want);
  int32_t last_end = frames;
  for (int32_t at : {frames / 2, 7, frames - 100, 0, 4000, 8000, 7500, 7501, frames - 425}) {
    ASSERT_EQ(StreamRead(o.stream, at, 3000, buf.data(), 3000 * block, &bytes, &got), kOk);
    ASSERT_EQ(got, std::min(3000, frames - at)) << at;
    EXPECT_EQ(bytes, got * block);
    const int worst = max_sample_difference(buf.data(), want.data() + at * block, static_cast<size_t>(bytes), c.bits);
    EXPECT_LE(worst, at >= last_end ? 0 : c.jump_tolerance) << "from " << at;
    last_end = at + got;
  }
  // A buffer smaller than the request limits it to whole sample frames.
  ASSERT_EQ(StreamRead(o.stream, 0, 100, buf.data(), 10 * block + block / 2, &bytes, &got), kOk);
  EXPECT_EQ(got, 10);
}

const std::string kLonger = "-f lavfi -i testsrc=size=50x30:rate=15:duration=3 ";

INSTANTIATE_TEST_SUITE_P(
    Codecs, AviSound,
    ::testing::Values(SoundCase{"u8_mono", kPictures + tone(440, 11025) + "-c:a pcm_u8", "u8", 11025, 1, 8},
                      SoundCase{"s16_stereo", kPictures + tone(440, 11025) + tone(550, 11025) +
                                                  "-filter_complex [1:a][2:a]amerge=inputs=2 -map 0:v -c:a pcm_s16le",
                                "s16le -ac 2", 11025, 2, 16},
                      SoundCase{"u8_stereo", kPictures + tone(440, 11025) + "-ac 2 -c:a pcm_u8", "u8 -ac 2", 11025, 2, 8},
                      SoundCase{"s16_mono", kPictures + tone(440, 11025) + "-c:a pcm_s16le", "s16le", 11025, 1, 16},
                      SoundCase{"mp3_mono", kLonger + tone(440, 44100) + "-c:a libmp3lame -b:a 96k", "s16le", 44100, 1, 16},
                      SoundCase{"mp3_stereo_lsf", kLonger + tone(440, 22050) + "-ac 2 -c:a libmp3lame -b:a 32k",
                                "s16le -ac 2", 22050, 2, 16},
                      SoundCase{"ac3_stereo", kLonger + tone(440, 48000) + "-ac 2 -c:a ac3 -b:a 192k", "s16le -ac 2",
                                48000, 2, 16, 2}),
    [](const auto &info) { return std::string(info.param.name); });

// An MP3 track that goes from stereo to mono halfway (two encodes one
// after the other, the file saying stereo): the mono half is converted
// for what it is, as the tool converts it, not read as two planes.
TEST(AviStreams, SoundThatChangesItsChannelsHalfwayIsConvertedAsItComes) {
  TempDir dir;
  const std::string stereo = dir.file("s.mp3"), mono = dir.file("m.mp3"), both = dir.file("both.mp3"),
                    avi = dir.file("c.avi");
  const std::string bare = " -write_xing 0 -id3v2_version 0 -write_id3v1 0 "; // frames only
  ffmpeg(tone(440, 22050) + "-ac 2 -c:a libmp3lame -b:a 64k" + bare + stereo);
  ffmpeg(tone(660, 22050) + "-ac 1 -c:a libmp3lame -b:a 32k" + bare + mono);
  std::vector<uint8_t> joined = read_file(stereo), second = read_file(mono);
  joined.insert(joined.end(), second.begin(), second.end());
  write_file(both, joined);
  ffmpeg(kPictures + "-i " + both + " -c:v mjpeg -c:a copy " + avi);
  const std::vector<uint8_t> want = ffmpeg_decode(avi, "-map 0:a -f s16le -ac 2");
  Opened o;
  ASSERT_EQ(StreamOpenFromSource(&o.stream, source_of(avi), kAudio, 0), kOk);
  const int32_t frames = StreamLength(o.stream);
  ASSERT_EQ(static_cast<size_t>(frames) * 4, want.size());
  std::vector<uint8_t> got(want.size());
  int32_t bytes = 0, n = 0;
  ASSERT_EQ(StreamRead(o.stream, 0, frames, got.data(), static_cast<int32_t>(got.size()), &bytes, &n), kOk);
  EXPECT_EQ(n, frames);
  EXPECT_TRUE(got == want);
  const size_t late = want.size() * 3 / 4 & ~size_t{3}; // the mono half reaches both channels alike
  EXPECT_EQ(std::tuple(got[late], got[late + 1]), std::tuple(got[late + 2], got[late + 3]));
}

TEST(AviStreams, SecondAudioStreamMissingStreamsAndDamage) {
  TempDir dir;
  const std::string both = dir.file("b.avi"), mute = dir.file("m.avi"), sound = dir.file("s.avi"),
                    mov = dir.file("q.mov"), cut = dir.file("cut.avi");
  ffmpeg(kPictures + tone(440, 8000) + tone(440, 22050) + "-map 0 -map 1 -map 2 -c:v mjpeg -c:a pcm_s16le " + both);
  ffmpeg(kPictures + "-c:v mjpeg " + mute);
  ffmpeg(tone(440, 8000) + "-c:a pcm_u8 " + sound);
  ffmpeg(kPictures + "-c:v mjpeg " + mov);
  Opened second;
  ASSERT_EQ(StreamOpenFromSource(&second.stream, source_of(both), kAudio, 1), kOk);
  WaveFormat w{};
  int32_t size = sizeof w;
  StreamReadFormat(second.stream, 0, &w, &size);
  EXPECT_EQ(w.samples_per_sec, 22050u);
  FileInfo fi;
  ASSERT_EQ(FileInfoOf(source_of(sound), &fi), kOk);
  EXPECT_EQ(std::tuple(fi.width, fi.streams), std::tuple(0, 1u));
  ASSERT_EQ(FileInfoOf(source_of(both), &fi), kOk);
  EXPECT_EQ(std::tuple(fi.width, fi.height, fi.streams), std::tuple(kW, kH, 3u));
  // Cut inside the headers: no stream. Cut inside the frames: fewer of them.
  const std::vector<uint8_t> bytes = read_file(mute);
  write_file(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100));
  const std::tuple<std::string, uint32_t, int> refused[] = {
      {both, kAudio, 2}, {mute, kAudio, 0}, {sound, kVideo, 0}, {mov, kVideo, 0}, {dir.file("none.avi"), kVideo, 0},
      {cut, kVideo, 0}};
  for (const auto &[file, type, index] : refused) {
    Stream *none = reinterpret_cast<Stream *>(1);
    EXPECT_NE(StreamOpenFromSource(&none, source_of(file), type, index), kOk) << file << " " << index;
    EXPECT_EQ(none, nullptr) << file;
  }
  write_file(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(bytes.size() / 2)));
  Opened half;
  if (StreamOpenFromSource(&half.stream, source_of(cut), kVideo, 0) == kOk) {
    EXPECT_LT(StreamLength(half.stream), kFrames);
    Getter *g = StreamGetFrameOpen(half.stream);
    for (int i = 0; i < kFrames + 2; ++i)
      StreamGetFrame(g, i);
    StreamGetFrameClose(g);
  }
}

// The writer's files.
constexpr int32_t kOutW = 37, kOutH = 21;

struct WriteCase {
  const char *name;
  int bits;
  const char *codec; // null: uncompressed
  // Lossless codecs give the frames back exactly; lossy ones are bounded by
  // the PSNR of all frames (in dB), which does not hang on the encoder's or
  // the tool's version the way a worst pixel does.
  double min_psnr; // 0: exact
};

class AviWrites : public ::testing::TestWithParam<WriteCase> {};

TEST_P(AviWrites, TheToolAndTheReaderReadWhatWasWritten) {
  const WriteCase &c = GetParam();
  TempDir dir;
  const std::string name = dir.file("out.avi");
  OutFile *file = nullptr;
  ASSERT_EQ(FileCreate(&file, name.c_str()), kOk);
  const StreamHeader vh{kVideo, 0, 1, 15, 0, 0, 0, {0, 0, kOutW, kOutH}};
  OutStream *video = nullptr, *raw = nullptr, *audio = nullptr;
  ASSERT_EQ(FileCreateStream(file, &raw, &vh), kOk);
  video = raw;
  if (c.codec) {
    ASSERT_EQ(MakeCompressedStream(&video, raw, c.codec, 9999), kOk);
  }
  // Sound as the output writer makes it: 22050 Hz 16-bit mono, 1470
  // samples per frame at 15 frames per second, written before each frame.
  const StreamHeader ah{kAudio, 0, 2, 44100, 0, 0, 2, {0, 0, 0, 0}};
  ASSERT_EQ(FileCreateStream(file, &audio, &ah), kOk);
  const WaveFormat wf{1, 1, 22050, 44100, 2, 16, 0};
  constexpr int kOutFrames = 6;
  std::vector<int16_t> sound(1470 * kOutFrames);
  for (size_t i = 0; i < sound.size(); ++i)
    sound[i] = static_cast<int16_t>((i * 977) % 20000 - 10000);
  std::vector<uint8_t> want;
  for (int f = 0; f < kOutFrames; ++f) {
    int32_t done = 0, bytes = 0;
    ASSERT_EQ(StreamSetFormat(audio, f * 1470, &wf, 18), kOk);
    ASSERT_EQ(StreamWrite(audio, f * 1470, 1470, &sound[f * 1470], 2940, 0, &done, &bytes), kOk);
    EXPECT_EQ(done, 1470);
    const Dib b = pattern_dib(kOutW, kOutH, c.bits, f);
    ASSERT_EQ(StreamSetFormat(video, f, b.format.data(), static_cast<int32_t>(b.format.size())), kOk);
    ASSERT_EQ(StreamWrite(video, f, 1, b.rows.data(), static_cast<int32_t>(b.rows.size()), kKeyFrame, &done, &bytes),
              kOk);
    const auto cs = b.bgr();
    want.insert(want.end(), cs.begin(), cs.end());
  }
  OutStreamRelease(video);
  OutStreamRelease(audio);
  ASSERT_EQ(FileRelease(file), kOk);

  // One decoding thread and the reference IDCT: the tool's decode does not
  // depend on the machine's load or its processor's extensions.
  const auto got = ffmpeg_decode(name, "-map 0:v -f rawvideo -pix_fmt bgr24", "-threads 1 -flags +bitexact");
  ASSERT_EQ(got.size(), want.size());
  if (c.min_psnr == 0)
    EXPECT_EQ(got, want);
  else
    EXPECT_GE(psnr(got, want), c.min_psnr);
  const auto pcm = ffmpeg_decode(name, "-map 0:a -f s16le");
  ASSERT_EQ(pcm.size(), sound.size() * 2);
  EXPECT_EQ(std::memcmp(pcm.data(), sound.data(), pcm.size()), 0);
  if (!c.codec && c.bits == 24) { // true-colour rows stay bottom-up as written: the stored height is positive
    const std::vector<uint8_t> d = read_file(name);
    constexpr std::string_view kStrf = "strf";
    const auto at = std::search(d.begin(), d.end(), kStrf.begin(), kStrf.end()) - d.begin();
    EXPECT_EQ(static_cast<int32_t>(le32_at(d, static_cast<size_t>(at) + 16)), kOutH);
  }
  Stream *s = nullptr; // the reader agrees on the stream layout
  ASSERT_EQ(StreamOpenFromSource(&s, source_of(name), kVideo, 0), kOk);
  StreamInfo info;
  StreamInfoOf(s, &info);
  EXPECT_EQ(std::tuple(info.length, info.rate / info.scale), std::tuple(uint32_t{kOutFrames}, 15u));
  StreamRelease(s);
}

INSTANTIATE_TEST_SUITE_P(Codecs, AviWrites,
                         ::testing::Values(WriteCase{"raw24", 24, nullptr, 0}, WriteCase{"raw8", 8, nullptr, 0},
                                           WriteCase{"ffv1_24", 24, "ffv1", 0}, WriteCase{"ffv1_8", 8, "ffv1", 0},
                                           WriteCase{"mjpeg", 24, "mjpeg", 40}, WriteCase{"mpeg4", 24, "mpeg4", 35}),
                         [](const auto &info) { return std::string(info.param.name); });

// At an even height, so that the rows turned top-down for the file meet
// in the middle in pairs.
TEST(AviWriter, PalettesMayChangeFromFrameToFrame) {
  constexpr int32_t kOutH = 20;
  TempDir dir;
  const std::string name = dir.file("p.avi"), emptied = dir.file("e.avi");
  OutFile *file = nullptr;
  ASSERT_EQ(FileCreate(&file, name.c_str()), kOk);
  const StreamHeader vh{kVideo, 0, 1, 10, 0, 0, 0, {0, 0, kOutW, kOutH}};
  OutStream *video = nullptr;
  ASSERT_EQ(FileCreateStream(file, &video, &vh), kOk);
  std::vector<uint8_t> want;
  std::vector<std::vector<uint8_t>> each;
  for (int f = 0; f < 5; ++f) {
    const Dib b = pattern_dib(kOutW, kOutH, 8, 0, f); // same indices, a new table each frame
    ASSERT_EQ(StreamSetFormat(video, f, b.format.data(), static_cast<int32_t>(b.format.size())), kOk);
    ASSERT_EQ(StreamWrite(video, f, 1, b.rows.data(), static_cast<int32_t>(b.rows.size()), kKeyFrame, nullptr, nullptr),
              kOk);
    each.push_back(b.bgr());
    want.insert(want.end(), each.back().begin(), each.back().end());
  }
  ASSERT_EQ(FileRelease(file), kOk);
  EXPECT_EQ(ffmpeg_decode(name, "-f rawvideo -pix_fmt bgr24"), want);

  // The reader gives each frame the table in force at it, in any order of
  // asking: every frame is a key frame, and the changes sit between them.
  auto colours_at = [](Getter *g, int f) {
    const auto *dib = static_cast<const uint8_t *>(StreamGetFrame(g, f));
    return dib ? dib_bgr(dib) : std::vector<uint8_t>{};
  };
  std::filesystem::copy_file(name, emptied);
  Opened s, e;
  ASSERT_EQ(StreamOpenFromSource(&s.stream, source_of(name), kVideo, 0), kOk);
  ASSERT_EQ(StreamOpenFromSource(&e.stream, source_of(emptied), kVideo, 0), kOk);
  Getter *g = StreamGetFrameOpen(s.stream), *ge = StreamGetFrameOpen(e.stream);
  ASSERT_TRUE(g && ge);
  for (int f : {1, 3, 4, 0, 2, 2, 1, 4})
    EXPECT_EQ(colours_at(g, f), each[static_cast<size_t>(f)]) << "frame " << f;
  // A jump back starts again from the top on a copy of the source the
  // stream was opened with, never by name: the name may be gone by then.
  // A file emptied in place since has no top to start from, and nothing
  // decodes any more.
  EXPECT_EQ(colours_at(ge, 4), each[4]);
  ASSERT_EQ(std::remove(name.c_str()), 0);
  std::filesystem::resize_file(emptied, 0);
  for (int f : {0, 3}) {
    EXPECT_EQ(colours_at(g, f), each[static_cast<size_t>(f)]) << "frame " << f;
    EXPECT_EQ(StreamGetFrame(ge, f), nullptr) << "frame " << f;
  }
  StreamGetFrameClose(g);
  StreamGetFrameClose(ge);
}

TEST(AviWriter, RefusesBadFormatsAndLateStreamsAndListsWorkingEncoders) {
  TempDir dir;
  OutFile *file = nullptr;
  ASSERT_EQ(FileCreate(&file, dir.file("x.avi").c_str()), kOk);
  const StreamHeader vh{kVideo, 0, 1, 10, 0, 0, 0, {0, 0, kOutW, kOutH}};
  OutStream *video = nullptr, *other = nullptr;
  ASSERT_EQ(FileCreateStream(file, &video, &vh), kOk);
  EXPECT_EQ(MakeCompressedStream(&other, video, "no-such-codec", 0), kNoCodec);
  EXPECT_EQ(MakeCompressedStream(&other, video, nullptr, 0), kNoCodec);
  Dib b = pattern_dib(kOutW, kOutH, 24, 0);
  const int32_t rows = static_cast<int32_t>(b.rows.size());
  b.format[14] = 16; // bit count
  EXPECT_NE(StreamSetFormat(video, 0, b.format.data(), 40), kOk);
  EXPECT_NE(StreamWrite(video, 0, 1, b.rows.data(), rows, 0, nullptr, nullptr), kOk);
  b.format[14] = 24;
  ASSERT_EQ(StreamSetFormat(video, 0, b.format.data(), 40), kOk);
  EXPECT_NE(StreamWrite(video, 0, 1, b.rows.data(), 10, 0, nullptr, nullptr), kOk); // short
  ASSERT_EQ(StreamWrite(video, 0, 1, b.rows.data(), rows, 0, nullptr, nullptr), kOk);
  const StreamHeader ah{kAudio, 0, 1, 8000, 0, 0, 1, {0, 0, 0, 0}};
  EXPECT_EQ(FileCreateStream(file, &other, &ah), kTooLate);
  EXPECT_EQ(FileRelease(file), kOk);
  EXPECT_NE(FileCreate(&file, dir.file("no/dir/x.avi").c_str()), kOk);
  EXPECT_EQ(file, nullptr);
  // The encoders offered are described video encoders, mjpeg among them.
  int mjpeg = 0;
  for (const auto &e : VideoEncoders()) {
    EXPECT_FALSE(e.description.empty()) << e.name;
    EXPECT_NE(e.name, "pcm_s16le");
    mjpeg += e.name == "mjpeg";
  }
  EXPECT_EQ(mjpeg, 1);
}

} // namespace
