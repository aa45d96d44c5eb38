// QuickTime movies through QTFile and QTSFile against the ffmpeg tool's
// decode of the same file: pictures of every kind, frame-exact random
// access, palettes, edit lists that end early; sound in pieces of every
// size, after jumps and past the end; and AAC on the movie's timeline
// (priming behind an edit list, cut edits, priming the decoder drops by
// itself), sample for sample, as the same decoder gives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "movie/movie_runtime.h"
#include "testkit/movie/edit_list.h"
#include "testkit/movie/movie_read.h"
#include "testkit/movie/qts_read.h"
#include "testkit/stills/still_pixels.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/movie.h"

namespace {

using namespace vex::testkit;

constexpr int kW = 64, kH = 48, kFrames = 20;
constexpr size_t kFrameBytes = size_t{kW} * kH * 4;
const std::string kPictures = "-f lavfi -i testsrc=size=64x48:rate=10:duration=2 ";

std::string tone(int hz, int rate, const std::string &seconds) {
  return "-f lavfi -i sine=frequency=" + std::to_string(hz) + ":sample_rate=" + std::to_string(rate) +
         ":duration=" + seconds + " ";
}

using Qts = std::unique_ptr<QTSFILE, decltype(&QTSFileClose)>;
Qts qts(const std::string &file, int track = 0) { return {QTSFileOpen(file.c_str(), track), QTSFileClose}; }

// First differing byte, or -1: a shifted start shows as a small index.
long first_difference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  const auto [i, j] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return i == a.end() && j == b.end() ? -1 : static_cast<long>(i - a.begin());
}

// After a jump to each time, `piece` bytes are the tool's from the sample
// frame at that millisecond (rounded down), fewer only at the end.
void expect_jumps(QTSFILE *qs, const std::vector<uint8_t> &want, const std::vector<uint32_t> &times, size_t piece) {
  std::vector<uint8_t> buf(piece);
  for (uint32_t ms : times) {
    QTSFileGoto(qs, ms);
    const size_t at = size_t{ms} * qs->rate / 1000 * qs->frame_bytes;
    ASSERT_LT(at, want.size()) << ms;
    const uint32_t n = QTSFileGet(qs, buf.data(), static_cast<uint32_t>(piece));
    ASSERT_EQ(n, std::min(piece, want.size() - at)) << ms << " ms";
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + n, want.begin() + static_cast<ptrdiff_t>(at))) << ms << " ms";
  }
}

struct PictureCase {
  const char *name;
  std::string options; // video encoding and pixel format
  int tolerance;       // 0: lossless, pixels must match exactly
};

class QTFilePictures : public ::testing::TestWithParam<PictureCase> {};

TEST_P(QTFilePictures, EveryFrameAndItsSizeAsTheToolHasThem) {
  TempDir dir;
  const std::string mov = dir.file("m.mov");
  ffmpeg(kPictures + GetParam().options + " " + mov);
  const std::vector<uint8_t> want = ffmpeg_decode(mov, "-f rawvideo -pix_fmt bgra");
  const std::vector<uint32_t> sizes = ffprobe_video_packet_sizes(mov);
  QTFILE *qt = QTFileOpen(mov.c_str());
  ASSERT_NE(qt, nullptr);
  EXPECT_EQ(std::tuple(qt->width, qt->height, qt->depth, qt->pitch, qt->rate_num, qt->rate_den, qt->has_sound),
            std::tuple(kW, kH, 32, kW * 4, 10u, 1u, 0));
  ASSERT_EQ(qt->frame_count, kFrames);
  ASSERT_EQ(want.size(), kFrameBytes * kFrames);
  for (int i = 0; i < kFrames; ++i) {
    QTFileGet(qt);
    const std::vector<uint8_t> frame(want.begin() + kFrameBytes * i, want.begin() + kFrameBytes * (i + 1));
    EXPECT_LE(max_byte_difference(qt_pixels(qt), frame), GetParam().tolerance) << "frame " << i;
    EXPECT_EQ(qt->frame_bytes, sizes.at(static_cast<size_t>(i))) << "frame " << i;
  }
  QTFileClose(qt);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, QTFilePictures,
    ::testing::Values(PictureCase{"qtrle_alpha", "-vf format=argb,geq=r=4*X+N:g=5*Y:b=200-N:a=4*X -c:v qtrle -pix_fmt argb", 0},
                      PictureCase{"png_alpha", "-vf format=rgba,geq=r=3*Y:g=4*X-N:b=N*9:a=255-4*Y -c:v png", 0},
                      PictureCase{"png", "-c:v png -pix_fmt rgb24", 0}, PictureCase{"mjpeg", "-c:v mjpeg -q:v 3", 2}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(QTFile, RandomAccessGivesTheFramesThatSteppingGives) {
  TempDir dir;
  const std::string mov = dir.file("m.mov");
  ffmpeg(kPictures + tone(500, 22050, "2") + "-c:v mpeg4 -g 6 -q:v 4 -c:a pcm_s16le " + mov);
  QTFILE *qt = QTFileOpen(mov.c_str());
  ASSERT_NE(qt, nullptr);
  EXPECT_EQ(qt->has_sound, 1);
  ASSERT_EQ(qt->frame_count, kFrames);
  std::vector<std::vector<uint8_t>> stepped;
  for (int i = 0; i < kFrames; ++i) {
    QTFileGet(qt);
    stepped.push_back(qt_pixels(qt));
  }
  EXPECT_NE(stepped[4], stepped[5]); // adjacent frames differ, so the checks can tell them apart
  // Backwards, across key frames, repeated, inside one group, past the end, the start.
  for (int frame : {13, 2, 0, 19, 5, 5, 6, 11, 12, 1, 25, 0}) {
    QTFileGoto(qt, frame);
    QTFileGet(qt);
    EXPECT_EQ(qt_pixels(qt), stepped[static_cast<size_t>(std::min(frame, kFrames - 1))]) << "frame " << frame;
  }
  QTFileClose(qt);
}

TEST(QTFile, PalettisedMovieDeliversIndicesAndItsPalette) {
  TempDir dir;
  const std::string mov = dir.file("p.mov");
  ffmpeg(kPictures + "-frames:v 3 -c:v rawvideo -pix_fmt pal8 " + mov);
  const std::vector<uint8_t> want = ffmpeg_decode(mov, "-f rawvideo -pix_fmt bgra");
  QTFILE *qt = QTFileOpen(mov.c_str());
  ASSERT_NE(qt, nullptr);
  ASSERT_EQ(qt->depth, 8);
  EXPECT_EQ(qt->pitch, kW);
  for (size_t f = 0; f < 3; ++f) {
    QTFileGet(qt);
    int wrong = 0;
    for (int i = 0; i < kW * kH; ++i)
      wrong += !std::equal(want.begin() + f * kFrameBytes + i * 4, want.begin() + f * kFrameBytes + i * 4 + 3,
                           qt->palette[qt->pixels[i / kW * qt->pitch + i % kW]]);
    EXPECT_EQ(wrong, 0) << "frame " << f;
  }
  EXPECT_EQ(qt->palette[7][3], 0);
  QTFileClose(qt);
}

// A movie whose edit list ends before its last sample: that sample is
// decoded (others may need it) but never shown. With B-frames the sample
// left out is not the last one in decoding order.
class QTFileEditEnd : public ::testing::TestWithParam<const char *> {};

TEST_P(QTFileEditEnd, FramesAreThoseAPlayerShows) {
  TempDir dir;
  const std::string mov = dir.file("cut.mov");
  ffmpeg("-f lavfi -i testsrc=size=64x48:rate=10:duration=2.5 " + std::string(GetParam()) + " -use_editlist 1 " + mov);
  set_edit_length(mov, 0, 2400); // 24 of the 25 frames
  const auto want = ffmpeg_decode_rgb(mov, kW, kH);
  ASSERT_EQ(want.size(), 24u);
  QTFILE *qt = QTFileOpen(mov.c_str());
  ASSERT_NE(qt, nullptr);
  EXPECT_EQ(std::tuple(qt->frame_count, qt->rate_num, qt->rate_den), std::tuple(24, 10u, 1u));
  auto rgb = [&] {
    std::vector<uint8_t> out;
    for (int i = 0; i < kW * kH; ++i) {
      const uint8_t *p = qt->pixels + i / kW * qt->pitch + i % kW * 4;
      out.insert(out.end(), {p[2], p[1], p[0]});
    }
    return out;
  };
  auto expect_frame = [&](int frame) {
    EXPECT_LE(max_byte_difference(rgb(), want[static_cast<size_t>(frame)]), 2) << "frame " << frame;
  };
  for (int i = 0; i < 24; ++i) {
    QTFileGet(qt);
    expect_frame(i);
  }
  // Jumps land on shown frames; past the end stays on the last one shown.
  for (int frame : {23, 24, 30, 11}) {
    QTFileGoto(qt, frame);
    QTFileGet(qt);
    expect_frame(std::min(frame, 23));
  }
  QTFileClose(qt);
}

INSTANTIATE_TEST_SUITE_P(Codecs, QTFileEditEnd, ::testing::Values("-c:v mjpeg -q:v 2", "-c:v libx264 -bf 2 -g 12"),
                         [](const auto &info) { return info.index == 0 ? std::string("mjpeg") : std::string("h264_bframes"); });

TEST(QuickTime, EachReaderRefusesFilesWithoutItsTrack) {
  TempDir dir;
  const struct {
    const char *file;
    std::string make; // none: written below, or missing
    bool pictures, sound;
  } rows[] = {{"a.mov", tone(500, 22050, "2") + "-c:a pcm_s16le", false, true},
              {"v.mov", kPictures + "-c:v mjpeg", true, false},
              {"v.avi", kPictures + "-c:v mjpeg", false, false},
              {"a.avi", tone(440, 8000, "1") + "-c:a pcm_s16le", false, false},
              {"junk.mov", "", false, false},
              {"missing.mov", "", false, false}};
  write_file(dir.file("junk.mov"), std::vector<uint8_t>(300, 'j'));
  for (const auto &r : rows) {
    if (!r.make.empty())
      ffmpeg(r.make + " " + dir.file(r.file));
    QTFILE *qt = QTFileOpen(dir.file(r.file).c_str());
    EXPECT_EQ(qt != nullptr, r.pictures) << r.file;
    QTFileClose(qt);
    EXPECT_EQ(qts(dir.file(r.file)) != nullptr, r.sound) << r.file;
  }
  EXPECT_EQ(QTFileOpen(nullptr), nullptr);
  QTFileClose(nullptr);
  QTSFileClose(nullptr);
}

TEST(QTFile, TruncatedMovieOpensNothingOrDeliversWhatIsThere) {
  TempDir dir;
  const std::string mov = dir.file("m.mov"), part = dir.file("cut.mov");
  ffmpeg(kPictures + "-c:v mjpeg " + mov);
  const std::vector<uint8_t> bytes = read_file(mov);
  for (size_t cut : {size_t{0}, size_t{16}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 7}) {
    write_file(part, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(cut)));
    QTFILE *qt = QTFileOpen(part.c_str());
    if (cut < 64) {
      EXPECT_EQ(qt, nullptr) << cut;
    } else if (qt) { // whatever survives is the movie's own: its size, at most its frames
      EXPECT_EQ(qt->width, kW);
      EXPECT_LE(qt->frame_count, kFrames);
      for (int i = 0; i < qt->frame_count + 2; ++i)
        QTFileGet(qt);
    }
    QTFileClose(qt);
  }
}

TEST(MovieRuntime, StartsOnceAndShutsDownToNotTried) {
  TempDir dir;
  const std::string mov = dir.file("m.mov");
  ffmpeg(kPictures + "-frames:v 1 -c:v png " + mov);
  namespace mv = vex::movie;
  VEXQTShutdown();
  EXPECT_EQ(mv::movie_runtime_state(), mv::RuntimeState::not_tried);
  const int base = mv::movie_runtime_count();
  QTFileClose(QTFileOpen(mov.c_str()));
  QTFileClose(QTFileOpen(mov.c_str()));
  EXPECT_EQ(mv::movie_runtime_state(), mv::RuntimeState::ready);
  EXPECT_EQ(mv::movie_runtime_count(), base + 1);
  VEXQTShutdown();
  EXPECT_EQ(mv::movie_runtime_count(), base);
  VEXAVIInit();
  const int after_avi = mv::movie_runtime_count();
  VEXAVIInit();
  EXPECT_EQ(mv::movie_runtime_count(), after_avi);
}

struct SoundCase {
  const char *name;
  std::string make; // inputs and codec options
  const char *raw;  // the tool's output format for the same samples
  uint32_t rate, bits, channels;
};

class QTSFileSound : public ::testing::TestWithParam<SoundCase> {};

TEST_P(QTSFileSound, InAnyPieceSizeAfterJumpsAndPastTheEnd) {
  const SoundCase &c = GetParam();
  TempDir dir;
  const std::string mov = dir.file("s.mov");
  ffmpeg(c.make + " " + mov);
  const std::vector<uint8_t> want = ffmpeg_decode(mov, std::string("-f ") + c.raw);
  for (uint32_t piece : {4u, 1000u}) {
    const Qts qs = qts(mov);
    ASSERT_NE(qs, nullptr);
    EXPECT_EQ(std::tuple(qs->rate, qs->bits, qs->channels, qs->frame_bytes, size_t{qs->total_bytes}),
              std::tuple(c.rate, c.bits, c.channels, c.bits / 8 * c.channels, want.size()));
    EXPECT_EQ(qts_read_all(qs.get(), piece), want) << "pieces of " << piece;
  }
  const Qts qs = qts(mov);
  ASSERT_NE(qs, nullptr);
  // More than a second in one call (it converts a second at a time), cut
  // short at the end; then 16 bytes of silence a call and no more.
  std::vector<uint8_t> buf(want.size() + 100, 0x55);
  EXPECT_EQ(QTSFileGet(qs.get(), buf.data(), static_cast<uint32_t>(buf.size())), want.size());
  EXPECT_TRUE(std::equal(want.begin(), want.end(), buf.begin()));
  std::fill(buf.begin(), buf.end(), 0x55);
  EXPECT_EQ(QTSFileGet(qs.get(), buf.data(), 100), 16u);
  EXPECT_EQ(std::count(buf.begin(), buf.begin() + 16, c.bits == 8 ? 0x80 : 0), 16);
  EXPECT_EQ(buf[16], 0x55);
  expect_jumps(qs.get(), want, {1250, 3, 0, 700, 1650}, 2000);
}

INSTANTIATE_TEST_SUITE_P(
    Tracks, QTSFileSound,
    ::testing::Values(SoundCase{"s16_stereo", tone(440, 22050, "2.5") + tone(660, 22050, "2.5") +
                                                  "-filter_complex amerge=inputs=2 -c:a pcm_s16le", "s16le -ac 2", 22050, 16, 2},
                      SoundCase{"u8_mono", tone(300, 11025, "1.7") + "-c:a pcm_u8", "u8", 11025, 8, 1},
                      SoundCase{"s16_mono_with_video", "-f lavfi -i testsrc=size=32x32:rate=10:duration=2 " +
                                                           tone(440, 8000, "2") + "-c:v mjpeg -c:a pcm_s16le",
                                "s16le", 8000, 16, 1}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(QTSFile, TracksCountFromOneAndVideoRateComesAlong) {
  TempDir dir;
  const std::string mov = dir.file("t.mov");
  ffmpeg("-f lavfi -i testsrc=size=32x32:rate=15:duration=2 " + tone(440, 8000, "2") + tone(440, 16000, "2") +
         "-map 0 -map 1 -map 2 -c:v mjpeg -c:a pcm_s16le " + mov);
  const Qts first = qts(mov, 0), one = qts(mov, 1), two = qts(mov, 2);
  ASSERT_TRUE(first && one && two);
  EXPECT_EQ(std::tuple(first->rate, one->rate, two->rate, one->video_rate_num, one->video_rate_den),
            std::tuple(8000u, 8000u, 16000u, 15u, 1u));
  EXPECT_EQ(qts(mov, 3), nullptr);
  EXPECT_EQ(qts(mov, -1), nullptr);
}

std::string aac_tone(int seconds) {
  const std::string length = std::to_string(seconds);
  return tone(440, 44100, length) + tone(660, 44100, length) + "-filter_complex amerge=inputs=2 -c:a aac -b:a 128k ";
}
// Without noise substitution a decoder that starts after a jump gives
// exactly the samples of one that read from the start.
const std::string kNoNoise = "-aac_pns 0 ";

class AacTimeline : public ::testing::TestWithParam<const char *> {};

TEST_P(AacTimeline, PrimedTrackAndJumpsGiveTheToolsSamples) {
  TempDir dir;
  const std::string ext = GetParam(), primed = dir.file("p." + ext), quiet = dir.file("q." + ext),
                    longer = dir.file("l." + ext);
  // The encoder's priming (1024 samples) lies before the timeline behind
  // an edit list; it is dropped once, so the first sample is the tool's.
  ffmpeg(aac_tone(2) + primed);
  const std::vector<SoundPacket> packets = sound_packets(primed);
  ASSERT_FALSE(packets.empty());
  EXPECT_LT(packets[0].pts, 0) << "the priming lies before the timeline";
  EXPECT_GT(packets[0].skip, 0);
  const std::vector<uint8_t> want = ffmpeg_decode(primed, "-f s16le");
  for (uint32_t piece : {4096u, 1000u * 4 + 4, 3u * 44100 * 4}) {
    const Qts qs = qts(primed);
    ASSERT_NE(qs, nullptr);
    EXPECT_EQ(std::tuple(qs->rate, qs->channels, size_t{qs->total_bytes}), std::tuple(44100u, 2u, want.size()));
    EXPECT_EQ(first_difference(qts_read_all(qs.get(), piece), want), -1) << "pieces of " << piece;
  }
  // Jumps decode from a little before the target: near the start, in the
  // middle and at the end, either way.
  ffmpeg(aac_tone(2) + kNoNoise + quiet);
  expect_jumps(qts(quiet).get(), ffmpeg_decode(quiet, "-f s16le"), {1500, 10, 0, 250, 1999, 700, 701, 186}, 16000);
  // With noise substitution (the encoder's default) jumps ahead stay exact:
  // they decode on. Each lands past the second the last call converted.
  ffmpeg(aac_tone(6) + longer);
  expect_jumps(qts(longer).get(), ffmpeg_decode(longer, "-f s16le"), {100, 1300, 2500, 4700}, 4000);
}

INSTANTIATE_TEST_SUITE_P(Containers, AacTimeline, ::testing::Values("mp4", "mov"),
                         [](const auto &info) { return std::string(info.param); });

// A stream copy of the middle second writes an edit list that starts
// inside a packet and ends inside another; a shortened one ends whole
// packets early; an encoder named in the first packet makes the decoder
// drop the priming itself, with no edit list and no skip, and stamp its
// first frame 1024. In each, sample frame 0 is the tool's first, from
// the start and after jumps.
TEST(AacTimeline, CutEditsAndDecoderDroppedPriming) {
  TempDir dir;
  const std::string whole = dir.file("whole.mp4"), cut = dir.file("cut.mp4"), shorter = dir.file("short.mp4"),
                    adts = dir.file("a.aac"), named = dir.file("named.mp4");
  ffmpeg(aac_tone(2) + kNoNoise + whole);
  ffmpeg("-ss 0.5 -t 1.0 -i " + shell_quote(whole) + " -c copy " + cut);
  const std::vector<SoundPacket> packets = sound_packets(cut);
  ASSERT_GT(packets.size(), 2u);
  EXPECT_GT(packets.front().skip, 0);
  EXPECT_LT(packets.front().skip, 1024);
  EXPECT_LT(packets.back().duration, 1024);
  ffmpeg("-i " + shell_quote(cut) + " -c copy " + shorter);
  set_edit_length(shorter, 0, 600);
  EXPECT_LT(sound_packets(shorter).size() + 10, packets.size()) << "whole packets lie past the shortened edit";
  ffmpeg(aac_tone(2) + kNoNoise + "-f adts " + adts);
  name_old_aac_encoder(adts);
  ffmpeg("-i " + shell_quote(adts) + " -c copy " + named);
  const std::vector<SoundPacket> named_packets = sound_packets(named);
  ASSERT_FALSE(named_packets.empty());
  EXPECT_EQ(std::tuple(named_packets[0].pts, named_packets[0].skip), std::tuple(0L, 0L));
  const std::string stamps =
      ffprobe(named, "-select_streams a:0 -show_frames -read_intervals %+#3 -show_entries frame=pts -of csv=p=0");
  EXPECT_EQ(stamps.substr(0, stamps.find('\n')), "1024") << "the decoder drops the first frame itself";

  const std::pair<std::string, std::vector<uint32_t>> reads[] = {
      {cut, {300, 5, 550}}, {shorter, {300, 5, 550}}, {named, {1200, 5, 600}}};
  for (const auto &[file, jumps] : reads) {
    SCOPED_TRACE(file);
    const std::vector<uint8_t> want = ffmpeg_decode(file, "-f s16le");
    const Qts qs = qts(file);
    ASSERT_NE(qs, nullptr);
    EXPECT_EQ(size_t{qs->total_bytes}, want.size());
    EXPECT_EQ(first_difference(qts_read_all(qs.get(), 8192), want), -1);
    expect_jumps(qs.get(), want, jumps, 8000);
  }
}

} // namespace
