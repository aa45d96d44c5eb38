// AVI files written through the writer, read back by the ffmpeg tool and
// by our own AVI reader: pixels, palettes, sound and key frames.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "movie/avi_reader.h"
#include "movie/avi_writer.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"

namespace {

using namespace vex::movie;
using vex::testkit::ffmpeg_decode;

constexpr int32_t kW = 37, kH = 21, kFrames = 6;

struct Bitmap {
  std::vector<uint8_t> format; // header (+ table)
  std::vector<uint8_t> rows;   // bottom-up
  int32_t pitch;
};

// Frame f of a moving pattern at 8 or 24 bits; the table of 8-bit frames
// depends on `palette`.
Bitmap frame(int bits, int f, int palette = 0) {
  Bitmap b;
  b.pitch = (kW * bits / 8 + 3) & ~3;
  BitmapHeader h{40, kW, kH, 1, static_cast<uint16_t>(bits), 0, static_cast<uint32_t>(b.pitch * kH), 0, 0,
                 bits == 8 ? 256u : 0u, 0};
  b.format.resize(40);
  std::memcpy(b.format.data(), &h, 40);
  if (bits == 8)
    for (int i = 0; i < 256; ++i)
      b.format.insert(b.format.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                       static_cast<uint8_t>(i * 3 + palette * 50), 0});
  b.rows.assign(static_cast<size_t>(b.pitch) * kH, 0);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW * bits / 8; ++x)
      // Smooth (no wrap-around edges) so that lossy codecs keep it well.
      b.rows[static_cast<size_t>(y) * b.pitch + x] = static_cast<uint8_t>(x / 3 * 3 + x % 3 * 20 + y * 4 + f * 5);
  return b;
}

// The colours of a bitmap top row first, as blue, green, red.
std::vector<uint8_t> colours(const Bitmap &b, int bits) {
  std::vector<uint8_t> out;
  for (int y = kH - 1; y >= 0; --y)
    for (int x = 0; x < kW; ++x) {
      const uint8_t *p = &b.rows[static_cast<size_t>(y) * b.pitch];
      if (bits == 8)
        out.insert(out.end(), b.format.begin() + 40 + p[x] * 4, b.format.begin() + 40 + p[x] * 4 + 3);
      else
        out.insert(out.end(), p + x * 3, p + x * 3 + 3);
    }
  return out;
}

std::vector<int16_t> tone(size_t n) {
  std::vector<int16_t> s(n);
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<int16_t>((i * 977) % 20000 - 10000);
  return s;
}

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

TEST_P(AviWrites, TheToolDecodesWhatWasWritten) {
  const WriteCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string name = dir.file("out.avi");
  OutFile *file = nullptr;
  ASSERT_EQ(FileCreate(&file, name.c_str()), kOk);
  const StreamHeader vh{kVideo, 0, 1, 15, 0, 0, 0, {0, 0, kW, kH}};
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
  const std::vector<int16_t> sound = tone(1470 * kFrames);
  std::vector<uint8_t> want;
  for (int f = 0; f < kFrames; ++f) {
    ASSERT_EQ(StreamSetFormat(audio, f * 1470, &wf, 18), kOk);
    int32_t done = 0, bytes = 0;
    ASSERT_EQ(StreamWrite(audio, f * 1470, 1470, &sound[f * 1470], 2940, 0, &done, &bytes), kOk);
    EXPECT_EQ(done, 1470);
    const Bitmap b = frame(c.bits, f);
    ASSERT_EQ(StreamSetFormat(video, f, b.format.data(), static_cast<int32_t>(b.format.size())), kOk);
    ASSERT_EQ(StreamWrite(video, f, 1, b.rows.data(), static_cast<int32_t>(b.rows.size()), kKeyFrame, &done, &bytes),
              kOk);
    const auto cs = colours(b, c.bits);
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
    EXPECT_GE(vex::testkit::psnr(got, want), c.min_psnr);
  const auto pcm = ffmpeg_decode(name, "-map 0:a -f s16le");
  ASSERT_EQ(pcm.size(), sound.size() * 2);
  EXPECT_EQ(std::memcmp(pcm.data(), sound.data(), pcm.size()), 0);

  // Our reader agrees on the stream layout.
  Stream *s = nullptr;
  ASSERT_EQ(StreamOpenFromSource(&s, vex::testkit::source_of(name), kVideo, 0), kOk);
  StreamInfo info;
  StreamInfoOf(s, &info);
  EXPECT_EQ(info.length, static_cast<uint32_t>(kFrames));
  EXPECT_EQ(info.rate / info.scale, 15u);
  StreamRelease(s);
}

INSTANTIATE_TEST_SUITE_P(Codecs, AviWrites,
                         ::testing::Values(WriteCase{"raw24", 24, nullptr, 0}, WriteCase{"raw8", 8, nullptr, 0},
                                           WriteCase{"ffv1_24", 24, "ffv1", 0}, WriteCase{"ffv1_8", 8, "ffv1", 0},
                                           WriteCase{"mjpeg", 24, "mjpeg", 40}, WriteCase{"mpeg4", 24, "mpeg4", 35}),
                         [](const auto &info) { return std::string(info.param.name); });

// Height field of the first video format chunk in the file.
int32_t stored_height(const std::string &name) {
  std::ifstream in(name, std::ios::binary);
  const std::string d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t at = d.find("strf");
  int32_t h = 0;
  if (at != std::string::npos && at + 20 <= d.size())
    std::memcpy(&h, d.data() + at + 16, 4);
  return h;
}

TEST(AviWriter, TrueColourRowsAreStoredBottomUp) {
  vex::testkit::TempDir dir;
  const std::string name = dir.file("b.avi");
  OutFile *file = nullptr;
  ASSERT_EQ(FileCreate(&file, name.c_str()), kOk);
  const StreamHeader vh{kVideo, 0, 1, 10, 0, 0, 0, {0, 0, kW, kH}};
  OutStream *video = nullptr;
  ASSERT_EQ(FileCreateStream(file, &video, &vh), kOk);
  const Bitmap b = frame(24, 0);
  ASSERT_EQ(StreamSetFormat(video, 0, b.format.data(), 40), kOk);
  ASSERT_EQ(StreamWrite(video, 0, 1, b.rows.data(), static_cast<int32_t>(b.rows.size()), kKeyFrame, nullptr, nullptr),
            kOk);
  ASSERT_EQ(FileRelease(file), kOk);
  EXPECT_EQ(stored_height(name), kH); // positive: bottom-up, as written
  EXPECT_EQ(ffmpeg_decode(name, "-f rawvideo -pix_fmt bgr24"), colours(b, 24));
}

TEST(AviWriter, PalettesMayChangeFromFrameToFrame) {
  vex::testkit::TempDir dir;
  const std::string name = dir.file("p.avi");
  OutFile *file = nullptr;
  ASSERT_EQ(FileCreate(&file, name.c_str()), kOk);
  const StreamHeader vh{kVideo, 0, 1, 10, 0, 0, 0, {0, 0, kW, kH}};
  OutStream *video = nullptr;
  ASSERT_EQ(FileCreateStream(file, &video, &vh), kOk);
  std::vector<uint8_t> want;
  std::vector<std::vector<uint8_t>> each;
  for (int f = 0; f < 5; ++f) {
    const Bitmap b = frame(8, 0, f); // same indices, a new table each frame
    ASSERT_EQ(StreamSetFormat(video, f, b.format.data(), static_cast<int32_t>(b.format.size())), kOk);
    ASSERT_EQ(StreamWrite(video, f, 1, b.rows.data(), static_cast<int32_t>(b.rows.size()), kKeyFrame, nullptr, nullptr),
              kOk);
    each.push_back(colours(b, 8));
    want.insert(want.end(), each.back().begin(), each.back().end());
  }
  ASSERT_EQ(FileRelease(file), kOk);
  EXPECT_EQ(ffmpeg_decode(name, "-f rawvideo -pix_fmt bgr24"), want);

  // Our reader gives each frame the table in force at it, in any order of
  // asking: every frame is a key frame, and the changes sit between them.
  auto colours_at = [](Getter *g, int f) {
    const auto *dib = static_cast<const uint8_t *>(StreamGetFrame(g, f));
    if (!dib)
      return std::vector<uint8_t>{};
    Bitmap got;
    got.format.assign(dib, dib + 40 + 256 * 4);
    got.pitch = (kW + 3) & ~3;
    got.rows.assign(dib + 40 + 256 * 4, dib + 40 + 256 * 4 + static_cast<size_t>(got.pitch) * kH);
    return colours(got, 8);
  };
  const std::string emptied = dir.file("e.avi");
  std::filesystem::copy_file(name, emptied);
  Stream *s = nullptr, *e = nullptr;
  ASSERT_EQ(StreamOpenFromSource(&s, vex::testkit::source_of(name), kVideo, 0), kOk);
  ASSERT_EQ(StreamOpenFromSource(&e, vex::testkit::source_of(emptied), kVideo, 0), kOk);
  Getter *g = StreamGetFrameOpen(s), *ge = StreamGetFrameOpen(e);
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
  StreamRelease(s);
  StreamRelease(e);
}

TEST(AviWriter, RefusesBadFormatsAndLateStreams) {
  vex::testkit::TempDir dir;
  OutFile *file = nullptr;
  ASSERT_EQ(FileCreate(&file, dir.file("x.avi").c_str()), kOk);
  const StreamHeader vh{kVideo, 0, 1, 10, 0, 0, 0, {0, 0, kW, kH}};
  OutStream *video = nullptr, *other = nullptr;
  ASSERT_EQ(FileCreateStream(file, &video, &vh), kOk);
  EXPECT_EQ(MakeCompressedStream(&other, video, "no-such-codec", 0), kNoCodec);
  EXPECT_EQ(MakeCompressedStream(&other, video, nullptr, 0), kNoCodec);
  Bitmap b = frame(24, 0);
  BitmapHeader h;
  std::memcpy(&h, b.format.data(), 40);
  h.bit_count = 16;
  EXPECT_NE(StreamSetFormat(video, 0, &h, 40), kOk);
  EXPECT_NE(StreamWrite(video, 0, 1, b.rows.data(), static_cast<int32_t>(b.rows.size()), 0, nullptr, nullptr), kOk);
  ASSERT_EQ(StreamSetFormat(video, 0, b.format.data(), 40), kOk);
  EXPECT_NE(StreamWrite(video, 0, 1, b.rows.data(), 10, 0, nullptr, nullptr), kOk); // short
  ASSERT_EQ(StreamWrite(video, 0, 1, b.rows.data(), static_cast<int32_t>(b.rows.size()), 0, nullptr, nullptr), kOk);
  const StreamHeader ah{kAudio, 0, 1, 8000, 0, 0, 1, {0, 0, 0, 0}};
  EXPECT_EQ(FileCreateStream(file, &other, &ah), kTooLate);
  EXPECT_EQ(FileRelease(file), kOk);
  EXPECT_NE(FileCreate(&file, dir.file("no/dir/x.avi").c_str()), kOk);
  EXPECT_EQ(file, nullptr);
}

TEST(AviWriter, EncoderListOffersCodecsThatWork) {
  const auto list = VideoEncoders();
  bool has_mjpeg = false;
  for (const auto &e : list) {
    EXPECT_FALSE(e.description.empty()) << e.name;
    has_mjpeg = has_mjpeg || e.name == "mjpeg";
  }
  EXPECT_TRUE(has_mjpeg);
  // Nothing listed is an audio or image-sequence encoder.
  for (const auto &e : list)
    EXPECT_NE(e.name, "pcm_s16le");
}

} // namespace
