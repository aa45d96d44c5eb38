// Sound out of movies: Korvane tracks of every kind, Tolm tracks decoded
// packet by packet to the last frame, AVI and QuickTime files made by the
// ffmpeg tool (whose own decoding is the oracle), and the track numbers
// each kind refuses.
#include <gtest/gtest.h>

#include "testkit/audio_codec/codec_driver.h"
#include "testkit/audio_codec/test_signals.h"
#include "testkit/util/wav_file.h"
#include "testkit/flic/pattern.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/formats/tolm/tolm_sound_track.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "tests/sfile/sfile_test_util.h"
#include "vexutil/util.h"

namespace {

using namespace sfile_test;
namespace tk = vex::testkit;
namespace kw = vex::testkit::korvane;
namespace tt = vex::testkit::tolm;

std::vector<uint8_t> noise_walk(size_t bytes, uint32_t seed, bool sixteen) {
  std::vector<uint8_t> out;
  uint32_t x = seed, level = 0x8000;
  while (out.size() < bytes) {
    x = x * 1664525 + 1013904223;
    level += (x >> 26) - 32;
    if (sixteen)
      out.push_back(static_cast<uint8_t>(level));
    out.push_back(static_cast<uint8_t>(level >> 8));
  }
  out.resize(bytes);
  return out;
}

kw::WrittenMovie korvane_movie(const std::string &path, std::array<std::optional<kw::TrackPlan>, 7> tracks,
                               uint32_t frames) {
  tk::PatternOptions o{.width = 16, .height = 16, .frames = frames};
  kw::MoviePlan plan;
  plan.speed = -6667; // 66.67 ms a frame
  plan.tracks = std::move(tracks);
  return kw::write_korvane(kw::pattern_frames(tk::PatternAnimation(o)), plan, path);
}

kw::TrackPlan korvane_track(kw::SoundKind kind, bool stereo, bool sixteen, uint32_t frames, uint32_t seed) {
  kw::TrackPlan t;
  t.kind = kind;
  t.stereo = stereo;
  t.sixteen = sixteen;
  t.rate = 11025;
  const size_t bytes = 735 * (stereo ? 2 : 1) * (sixteen ? 2 : 1); // 735 frames fill 66.67 ms
  for (uint32_t f = 0; f < frames; ++f)
    t.frames.push_back(noise_walk(bytes, seed + f, sixteen));
  return t;
}

std::vector<uint8_t> joined(const std::vector<kw::Bytes> &frames) {
  std::vector<uint8_t> out;
  for (const auto &f : frames)
    out.insert(out.end(), f.begin(), f.end());
  return out;
}

class MovieSound : public ::testing::Test {
protected:
  tk::TempDir dir;
};

TEST_F(MovieSound, KorvaneTracksDeliverEveryFramesSound) {
  const uint32_t n = 10;
  std::array<std::optional<kw::TrackPlan>, 7> tracks;
  tracks[1] = korvane_track(kw::SoundKind::raw, false, false, n, 1);
  tracks[2] = korvane_track(kw::SoundKind::delta, true, true, n, 2);
  tracks[4] = korvane_track(kw::SoundKind::delta, false, true, n, 3);
  const auto path = dir.file("m.kvn");
  const auto m = korvane_movie(path, tracks, n);
  ASSERT_TRUE(m.ok) << m.error;
  // Track 0: the first track with sound (index 1, raw 8-bit mono).
  Source s = open(path);
  ASSERT_TRUE(s) << VEXLastError();
  EXPECT_STREQ(s->type, "Korvane");
  EXPECT_EQ(s->kind, SFILE_KORVANE);
  EXPECT_EQ(s->source_rate, 11025u);
  EXPECT_EQ(s->track_mask, 0x2000u << 1);
  // A raw track's length is frames x rate, and the sound ends with the
  // last frame.
  EXPECT_EQ(s->total, n * 11025);
  EXPECT_EQ(read_all(s.get(), {1000}), joined(tracks[1]->frames));
  for (int32_t track : {3, 5}) {
    SCOPED_TRACE(track);
    s = open(path, {.track = track});
    ASSERT_TRUE(s);
    EXPECT_STREQ(s->type, "Korvane") << "an explicit track names the kind too";
    // Compressed: frames x 66.67 ms of sound, to a multiple of 4 bytes.
    const uint32_t per_second = 11025 * s->source_frame_bytes;
    EXPECT_EQ(s->total, uint64_t{n} * 6667 * per_second / 100000 / 4 * 4);
    const auto want = joined(tracks[track - 1]->frames);
    EXPECT_EQ(read_all(s.get(), {4096, 3}), std::vector<uint8_t>(want.begin(), want.begin() + s->total));
  }
}

TEST_F(MovieSound, KorvaneTrimmingByFrames) {
  const uint32_t n = 8;
  std::array<std::optional<kw::TrackPlan>, 7> tracks;
  tracks[0] = korvane_track(kw::SoundKind::delta, true, true, n, 9);
  const auto path = dir.file("f.kvn");
  ASSERT_TRUE(korvane_movie(path, tracks, n).ok);
  // Start: frame 3 starts at 2 x 66.67 = 133 ms: 133 x 44.1 bytes = 5865, whole frames 5864.
  // End: frame 5 ends at 333 ms: 200 ms = 8820 bytes after the start.
  Source s = open(path, {.start = -3, .end = -5});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->skip_initial, 5864u);
  EXPECT_EQ(s->total, 8820u);
  const auto all = joined(tracks[0]->frames);
  const std::vector<uint8_t> want(all.begin() + 5864, all.begin() + 5864 + 8820);
  EXPECT_EQ(read_all(s.get(), {777}), want);
  SFileReset(s.get());
  EXPECT_EQ(read_all(s.get(), {5000}), want) << "after reset";
  // The same range as trailing switches of the name: frames, as a list entry's.
  s = open(path + " /S3 /E5");
  ASSERT_TRUE(s) << VEXLastError();
  EXPECT_EQ(read_all(s.get(), {777}), want);
}

TEST_F(MovieSound, KorvaneTrackNumbersWithoutSoundAreRefused) {
  std::array<std::optional<kw::TrackPlan>, 7> tracks;
  tracks[2] = korvane_track(kw::SoundKind::raw, false, true, 3, 4);
  const auto path = dir.file("t.kvn");
  ASSERT_TRUE(korvane_movie(path, tracks, 3).ok);
  for (int32_t track : {1, 2, 4, 7, 8, 100, -1}) {
    SCOPED_TRACE(track);
    EXPECT_FALSE(open(path, {.track = track}));
    EXPECT_EQ(errors(), std::vector<std::string>{"No sound found in the specified Korvane track."});
  }
  EXPECT_TRUE(open(path, {.track = 3}));
  // A movie without any sound.
  const auto silent = dir.file("s.kvn");
  ASSERT_TRUE(korvane_movie(silent, {}, 2).ok);
  EXPECT_FALSE(open(silent));
  EXPECT_EQ(errors(), std::vector<std::string>{"No sound found in the Korvane file."});
}

struct TolmCase {
  tt::Movie movie;
  tk::CodedStream stream;
  tk::Pcm pcm;
};

TolmCase tolm_case(uint32_t frames, const tt::SoundTrackPlan &layout) {
  tt::RandomMovieOptions o{.frames = frames};
  TolmCase c;
  c.movie = tt::random_movie(o).movie;
  c.movie.rate_num = 12; // 12 frames a second
  c.pcm = tk::sine_sweep(layout.rate, layout.channels, layout.rate * frames / 12, 200, 5000, 8000);
  c.movie.tracks.push_back(tt::coded_track(c.pcm, layout, frames, 12, 1, &c.stream));
  return c;
}

TEST_F(MovieSound, TolmDeliversTheLastFramesSoundToo) {
  tt::SoundTrackPlan layout{.rate = 22050};
  TolmCase c = tolm_case(12, layout);
  const auto path = dir.file("m.tlm");
  tt::write_movie(path, c.movie);
  Source s = open(path);
  ASSERT_TRUE(s) << VEXLastError();
  EXPECT_EQ(s->kind, SFILE_TOLM);
  EXPECT_STREQ(s->type, "");
  EXPECT_EQ(s->source_rate, 22050u);
  // 12 frames of 8333 x 10 us at 44100 bytes a second, to a multiple of 4.
  EXPECT_EQ(s->total, 44096u);
  const auto got = read_all(s.get(), {1000});
  const auto want = tk::pcm_bytes(tk::decode_stream(c.stream, 22050, 1));
  ASSERT_EQ(got.size(), 44096u);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin()));
  // The last frame's packet is what makes up the end: the packets before
  // it decode to less than the length.
  uint64_t before_last = 0;
  const auto &packets = c.movie.tracks[0].packets;
  for (size_t f = 0; f + 1 < packets.size(); ++f)
    if (packets[f].size() >= 4)
      before_last += uint32_t{packets[f][0]} | uint32_t{packets[f][1]} << 8 | uint32_t{packets[f][2]} << 16 |
                     uint32_t{packets[f][3]} << 24;
  EXPECT_LT(before_last, got.size()) << "the first eleven frames alone do not fill the length";
}

TEST_F(MovieSound, TolmEightBitTracksTakeTheHighByte) {
  tt::SoundTrackPlan layout{.rate = 11025, .channels = 2, .eight_bit = true};
  TolmCase c = tolm_case(6, layout);
  const auto path = dir.file("e.tlm");
  tt::write_movie(path, c.movie);
  Source s = open(path);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->source_bits, 8u);
  EXPECT_EQ(s->source_channels, 2u);
  const auto got = read_all(s.get());
  const auto decoded = tk::decode_stream(c.stream, 11025, 2);
  ASSERT_EQ(got.size(), s->total);
  ASSERT_LE(got.size(), decoded.size());
  for (size_t i = 0; i < got.size(); ++i)
    ASSERT_EQ(got[i], static_cast<uint8_t>((static_cast<uint16_t>(decoded[i]) >> 8) + 128)) << i;
}

TEST_F(MovieSound, TolmTrackIndicesOutOfRangeAreRefused) {
  TolmCase c = tolm_case(3, {});
  const auto path = dir.file("r.tlm");
  tt::write_movie(path, c.movie);
  for (int32_t track : {1, 2, -1}) {
    EXPECT_FALSE(open(path, {.track = track})) << track;
    EXPECT_EQ(errors(), std::vector<std::string>{"No sound found in the Tolm file."});
  }
  // A movie without tracks.
  tt::RandomMovieOptions ro{.frames = 2};
  tt::write_movie(dir.file("n.tlm"), tt::random_movie(ro).movie);
  EXPECT_FALSE(open(dir.file("n.tlm")));
  EXPECT_EQ(errors(), std::vector<std::string>{"No sound found in the Tolm file."});
}

TEST_F(MovieSound, AviAndQuickTimeAgreeWithTheToolsOwnDecoding) {
  const auto avi = dir.file("a.avi"), mov = dir.file("q.mov"), avi8 = dir.file("v.avi");
  tk::ffmpeg("-f lavfi -i sine=frequency=330:sample_rate=22050:duration=1.5 -ac 2 -c:a pcm_s16le " +
             tk::shell_quote(avi));
  tk::ffmpeg("-f lavfi -i sine=frequency=500:sample_rate=16000:duration=1 -c:a pcm_s16le " + tk::shell_quote(mov));
  tk::ffmpeg("-f lavfi -i testsrc=size=32x32:rate=10:duration=2 -f lavfi -i sine=sample_rate=11025:duration=2 "
             "-c:v mjpeg -c:a pcm_u8 -shortest " + tk::shell_quote(avi8));
  struct Case {
    std::string path;
    int32_t kind;
    const char *type;
    const char *format; // for the tool
  };
  for (const Case &c : {Case{avi, SFILE_AVI, "AVI", "-f s16le"}, Case{mov, SFILE_QUICKTIME, "QuickTime", "-f s16le"},
                        Case{avi8, SFILE_AVI, "AVI", "-f u8"}}) {
    SCOPED_TRACE(c.path);
    Source s = open(c.path);
    ASSERT_TRUE(s) << VEXLastError();
    EXPECT_EQ(s->kind, c.kind);
    EXPECT_STREQ(s->type, c.type);
    const auto want = tk::ffmpeg_decode(c.path, c.format);
    // The AVI adapter's stream length can exceed the sound (the source then
    // ends at the short read); QuickTime's is exact.
    if (c.kind == SFILE_QUICKTIME) {
      EXPECT_EQ(s->total, want.size());
    }
    EXPECT_GE(s->total, want.size());
    EXPECT_TRUE(read_all(s.get(), {5000}) == want);
  }
  // Frames of the video give the trimming: frame 3 starts at 200 ms.
  // From frame 3 to the end of frame 7 (700 ms).
  Source s = open(avi8, {.start = -3, .end = -7});
  ASSERT_TRUE(s);
  const auto all = tk::ffmpeg_decode(avi8, "-f u8");
  EXPECT_EQ(s->total, 11025u / 2);
  EXPECT_TRUE(read_all(s.get()) == std::vector<uint8_t>(all.begin() + 2205, all.begin() + 2205 + 11025 / 2));
  // Tracks that are not there: AVI streams count from 0, QuickTime tracks
  // from 1; negative ones are none either.
  for (const auto &[path, track] : {std::make_pair(avi, 1), std::make_pair(avi, -1), std::make_pair(mov, 2),
                                    std::make_pair(mov, -1)}) {
    EXPECT_FALSE(open(path, {.track = track})) << path << " " << track;
    EXPECT_EQ(errors(), std::vector<std::string>{"Error opening the audio input file."});
  }
}

} // namespace
