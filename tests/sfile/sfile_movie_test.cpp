// Sound out of movies (Korvane tracks of every kind, Tolm tracks decoded
// packet by packet to the last frame, AVI and QuickTime files made by the
// ffmpeg tool, whose own decoding is the oracle) and the track numbers each
// kind refuses; then lists and numbered series: entries joined in the
// list's output format, their /S /E /L switches, names that look like
// switches, entries that fail, and lists that never end (naming
// themselves, nesting too deep, too many entries).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "lists/list_nesting.h"
#include "testkit/audio_codec/codec_driver.h"
#include "testkit/audio_codec/test_signals.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/formats/tolm/tolm_sound_track.h"
#include "testkit/sfile/movie_sound.h"
#include "testkit/sfile/resample_reference.h"
#include "testkit/sfile/sound_reading.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/message_log.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/wav_file.h"
#include "vexutil/util.h"

namespace vex::testkit {
namespace {

namespace kw = korvane;
namespace tt = tolm;
using Bytes = std::vector<uint8_t>;

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes cut(const Bytes &v, size_t from, size_t n) { return Bytes(v.begin() + ptrdiff_t(from), v.begin() + ptrdiff_t(from + n)); }

// Each name refused with its message.
void expect_refused(const std::vector<std::tuple<std::string, int32_t, std::string>> &rows) {
  for (const auto &[name, track, message] : rows) {
    SCOPED_TRACE(name + " track " + std::to_string(track));
    MessageLog log;
    EXPECT_FALSE(open_sound(name, {.track = track}, MessageLog::callback));
    EXPECT_EQ(log.at_level(2), std::vector<std::string>{message});
  }
}

class MovieSound : public ::testing::Test {
protected:
  TempDir dir;
};

TEST_F(MovieSound, KorvaneTracksTrimmingAndRefusals) {
  const uint32_t n = 10;
  std::array<std::optional<kw::TrackPlan>, 7> tracks;
  tracks[0] = korvane_noise_track(kw::SoundKind::delta, true, true, n, 9);
  tracks[1] = korvane_noise_track(kw::SoundKind::raw, false, false, n, 1);
  tracks[2] = korvane_noise_track(kw::SoundKind::delta, true, true, n, 2);
  tracks[4] = korvane_noise_track(kw::SoundKind::delta, false, true, n, 3);
  ASSERT_TRUE(write_sound_movie(dir.file("m.kvn"), tracks, n));
  tracks[0].reset();
  ASSERT_TRUE(write_sound_movie(dir.file("r.kvn"), tracks, n));
  // Track 0: the first track with sound (index 1, raw 8-bit mono). A raw
  // track's length is frames x rate, and the sound ends with the last frame.
  Sound s = open_sound(dir.file("r.kvn"));
  ASSERT_TRUE(s) << VEXLastError();
  EXPECT_STREQ(s->type, "Korvane");
  EXPECT_EQ(s->kind, SFILE_KORVANE);
  EXPECT_EQ(s->source_rate, 11025u);
  EXPECT_EQ(s->track_mask, 0x2000u << 1);
  EXPECT_EQ(s->total, n * 11025);
  EXPECT_EQ(read_sound(s.get(), {1000}), joined_pcm(*tracks[1]));
  // Compressed: frames x 66.67 ms of sound, to a multiple of 4 bytes; an
  // explicit track names the kind too.
  for (int32_t track : {3, 5}) {
    SCOPED_TRACE(track);
    s = open_sound(dir.file("r.kvn"), {.track = track});
    ASSERT_TRUE(s);
    EXPECT_STREQ(s->type, "Korvane");
    EXPECT_EQ(s->total, uint64_t{n} * 6667 * (11025 * s->source_frame_bytes) / 100000 / 4 * 4);
    EXPECT_EQ(read_sound(s.get(), {4096, 3}), cut(joined_pcm(*tracks[track - 1]), 0, s->total));
  }
  // A speed above 0 is milliseconds: 67 ms a frame.
  ASSERT_TRUE(write_sound_movie(dir.file("ms.kvn"), tracks, n, 67));
  s = open_sound(dir.file("ms.kvn"), {.track = 3});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->total, uint64_t{n} * 6700 * 44100 / 100000 / 4 * 4);
  // Trimming by frames: frame 3 starts at 2 x 66.67 = 133 ms: 133 x 44.1
  // bytes = 5865, whole frames 5864; frame 5 ends at 333 ms: 200 ms = 8820
  // bytes after the start. The same range as trailing switches of the name.
  const Bytes want = cut(joined_pcm(korvane_noise_track(kw::SoundKind::delta, true, true, n, 9)), 5864, 8820);
  s = open_sound(dir.file("m.kvn"), {.start = -3, .end = -5});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->skip_initial, 5864u);
  EXPECT_EQ(s->total, 8820u);
  EXPECT_EQ(read_sound(s.get(), {777}), want);
  SFileReset(s.get());
  EXPECT_EQ(read_sound(s.get(), {5000}), want) << "after reset";
  s = open_sound(dir.file("m.kvn") + " /S3 /E5");
  ASSERT_TRUE(s) << VEXLastError();
  EXPECT_EQ(read_sound(s.get(), {777}), want);
  // Track numbers without sound, and a movie without any.
  ASSERT_TRUE(write_sound_movie(dir.file("s.kvn"), {}, 2));
  std::vector<std::tuple<std::string, int32_t, std::string>> refused = {
      {dir.file("s.kvn"), 0, "No sound found in the Korvane file."}};
  for (int32_t track : {1, 4, 7, 8, 100, -1})
    refused.emplace_back(dir.file("r.kvn"), track, "No sound found in the specified Korvane track.");
  expect_refused(refused);
}

// Tolm tracks: the sound of every packet, the last frame's included (the
// packets before it decode to less than the length); a track that says
// 8-bit samples gives the high byte of the decoded ones.
TEST_F(MovieSound, TolmTracksDeliverTheLastFramesSoundToo) {
  for (const auto &[layout, frames, total] : {std::tuple<tt::SoundTrackPlan, uint32_t, uint64_t>{{.rate = 22050}, 12, 44096},
                                               {{.rate = 11025, .channels = 2, .eight_bit = true}, 6, 0}}) {
    SCOPED_TRACE(layout.rate);
    tt::Movie movie = tt::random_movie({.frames = frames}).movie;
    movie.rate_num = 12; // 12 frames a second
    const Pcm pcm = sine_sweep(layout.rate, layout.channels, layout.rate * frames / 12, 200, 5000, 8000);
    CodedStream stream;
    movie.tracks.push_back(tt::coded_track(pcm, layout, frames, 12, 1, &stream));
    tt::write_movie(dir.file("m.tlm"), movie);
    Sound s = open_sound(dir.file("m.tlm"));
    ASSERT_TRUE(s) << VEXLastError();
    EXPECT_EQ(s->kind, SFILE_TOLM);
    EXPECT_STREQ(s->type, "");
    EXPECT_EQ(std::vector<uint32_t>({s->source_rate, s->source_bits, s->source_channels}),
              std::vector<uint32_t>({layout.rate, layout.eight_bit ? 8u : 16u, layout.channels}));
    const Bytes got = read_sound(s.get(), {1000});
    const Pcm decoded = decode_stream(stream, layout.rate, layout.channels);
    ASSERT_EQ(got.size(), s->total);
    if (layout.eight_bit) {
      ASSERT_LE(got.size(), decoded.size());
      for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i], static_cast<uint8_t>((static_cast<uint16_t>(decoded[i]) >> 8) + 128)) << i;
      }
      continue;
    }
    // 12 frames of 8333 x 10 us at 44100 bytes a second, to a multiple of 4.
    EXPECT_EQ(s->total, total);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), pcm_bytes(decoded).begin()));
    uint64_t before_last = 0;
    const auto &packets = movie.tracks[0].packets;
    for (size_t f = 0; f + 1 < packets.size(); ++f)
      if (packets[f].size() >= 4)
        before_last += le32_at(packets[f], 0);
    EXPECT_LT(before_last, got.size()) << "the first eleven frames alone do not fill the length";
    expect_refused({{dir.file("m.tlm"), 1, "No sound found in the Tolm file."},
                    {dir.file("m.tlm"), 2, "No sound found in the Tolm file."},
                    {dir.file("m.tlm"), -1, "No sound found in the Tolm file."}});
  }
}

TEST_F(MovieSound, AviAndQuickTimeAgreeWithTheToolsOwnDecoding) {
  const auto avi = dir.file("a.avi"), mov = dir.file("q.mov"), avi8 = dir.file("v.avi");
  ffmpeg("-f lavfi -i sine=frequency=330:sample_rate=22050:duration=1.5 -ac 2 -c:a pcm_s16le " + shell_quote(avi));
  ffmpeg("-f lavfi -i sine=frequency=500:sample_rate=16000:duration=1 -c:a pcm_s16le " + shell_quote(mov));
  ffmpeg("-f lavfi -i testsrc=size=32x32:rate=10:duration=2 -f lavfi -i sine=sample_rate=11025:duration=2 "
         "-c:v mjpeg -c:a pcm_u8 -shortest " + shell_quote(avi8));
  // The AVI adapter's stream length can exceed the sound (the source then
  // ends at the short read); QuickTime's is exact.
  for (const auto &[path, kind, type, format] :
       {std::tuple<std::string, int32_t, const char *, const char *>{avi, SFILE_AVI, "AVI", "-f s16le"},
        {mov, SFILE_QUICKTIME, "QuickTime", "-f s16le"}, {avi8, SFILE_AVI, "AVI", "-f u8"}}) {
    SCOPED_TRACE(path);
    Sound s = open_sound(path);
    ASSERT_TRUE(s) << VEXLastError();
    EXPECT_EQ(s->kind, kind);
    EXPECT_STREQ(s->type, type);
    const Bytes want = ffmpeg_decode(path, format);
    if (kind == SFILE_QUICKTIME) {
      EXPECT_EQ(s->total, want.size());
    }
    EXPECT_GE(s->total, want.size());
    EXPECT_TRUE(read_sound(s.get(), {5000}) == want);
  }
  // Frames of the video give the trimming: from frame 3 (200 ms) to the end
  // of frame 7 (700 ms).
  Sound s = open_sound(avi8, {.start = -3, .end = -7});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->total, 11025u / 2);
  EXPECT_TRUE(read_sound(s.get()) == cut(ffmpeg_decode(avi8, "-f u8"), 2205, 11025 / 2));
  // Tracks that are not there: AVI streams count from 0, QuickTime tracks
  // from 1; negative ones are none either.
  const std::string e = "Error opening the audio input file.";
  expect_refused({{avi, 1, e}, {avi, -1, e}, {mov, 2, e}, {mov, -1, e}});
}

Bytes tone(size_t bytes, uint8_t seed) {
  Bytes v(bytes);
  for (size_t i = 0; i < bytes; ++i)
    v[i] = static_cast<uint8_t>(seed + i * 5);
  return v;
}

class ListSound : public ::testing::Test {
protected:
  TempDir dir;
  const std::string d = dir.path().string() + "/";
  Bytes a = tone(8000, 1), b = tone(4000, 2), c = tone(2000, 3); // 8-bit mono, 8000 Hz
  void SetUp() override {
    wav("a.wav", a);
    wav("b.wav", b);
    wav("c.wav", c);
  }
  void wav(const std::string &name, const Bytes &pcm) { write_file(d + name, pcm_wav(8000, 8, 1, pcm)); }
  std::string list(const std::string &name, const std::string &text) {
    std::ofstream(d + name) << text;
    return d + name;
  }
};

// Lists and series read whole (and again after a reset) or refused with a
// reason. A list's format is the caller's or its first entry's, the
// others converted to it as the step-by-step reference converts them (a
// rising rate ends an entry on its next-to-last source frame: the last is
// only read ahead). A plain name's trailing /S and /E trim it
// (milliseconds here) unless the caller trims, and /L repeats it, also
// under folders and names that look like switches, with another sound (a)
// at the path that cutting the switch out would give (which words are
// switches is the list reader's, with its own test).
TEST_F(ListSound, EntriesSeriesAndSwitches) {
  for (int i = 0; i < 4; ++i)
    wav("n0" + std::to_string(i) + ".wav", tone(100, uint8_t(i)));
  for (const char *folder : {"s5", "plain", "b.wav "})
    std::filesystem::create_directories(d + folder);
  for (const char *n : {"s5/x.wav", "plain/s24x.wav"})
    wav(n, b);
  wav("b.wav /S3.wav", c);
  wav("x.wav", a);
  wav("plainx.wav", a);
  const std::string abc = d + "a.wav\n" + d + "b.wav\n" + d + "c.wav\n";
  list("self.lst", d + "a.wav\n" + d + "self.lst\n");
  list("p.lst", d + "q.lst\n");
  list("q.lst", d + "c.wav\n" + d + "p.lst\n");
  list("r00.lst", d + "r??.lst*0-1\n");
  list("r01.lst", d + "b.wav\n");
  // A list nested less deep than the bound is fine; one step more fails.
  const uint32_t depth = lists::kMaxListDepth;
  list("d0.lst", d + "a.wav\n");
  for (uint32_t i = 1; i <= depth; ++i)
    list("d" + std::to_string(i) + ".lst", d + "d" + std::to_string(i - 1) + ".lst\n");
  // 20 x 20 x 20 x 20 entries: beyond the budget of one open.
  list("w0.lst", std::string(20, '\n') + d + "c.wav /L20\n");
  for (int i = 1; i <= 3; ++i)
    list("w" + std::to_string(i) + ".lst", d + "w" + std::to_string(i - 1) + ".lst /L20\n");
  const Bytes st = tone(6400, 9); // 16000 Hz 16-bit stereo, 0.1 s
  write_file(d + "s.wav", pcm_wav(16000, 16, 2, st));
  const auto a_as = [&](uint32_t rate, uint32_t bits, uint32_t channels) {
    return reference_output(frames_of(a, 8, 1), 8000, rate, bits, channels);
  };
  const struct {
    std::string name;
    SoundOptions o;
    Bytes want;
    const char *refusal = nullptr; // a piece of VEXLastError
  } rows[] = {
      {list("f.lst", d + "s.wav\n" + d + "a.wav\n"), {}, join({st, a_as(16000, 16, 2)})},
      {d + "f.lst",
       {.rate = 4000, .bits = 8, .channels = 1},
       join({reference_output(frames_of(st, 16, 2), 16000, 4000, 8, 1), a_as(4000, 8, 1)})},
      // b from 100 ms to 300 ms: 800 bytes from byte 800.
      {list("l.LsT", "# sound list\n" + d + "a.wav /L2\n\n" + d + "b.wav /S100 /E300\r\n   " + d + "c.wav\n"), {},
       join({a, a, cut(b, 800, 1600), c})},
      // a is 1 s long: 250 ms into b, to 100 ms into c; a and b make 1.5 s.
      {list("k.lst", abc), {.start = 1250, .end = 1600}, join({cut(b, 2000, 2000), cut(c, 0, 800)})},
      {d + "k.lst", {.start = 1700}, cut(c, 1600, 400)},
      // Entries that fail are skipped.
      {list("m.lst", d + "missing.wav\n" + d + "c.wav\n"), {}, c},
      {d + "none.lst", {}, {}, "no such file"},
      // Series with and without a last number, and with switches.
      {d + "n??.wav*1-2", {}, join({tone(100, 1), tone(100, 2)})},
      {d + "n??", {}, join({tone(100, 0), tone(100, 1), tone(100, 2), tone(100, 3)})},
      {d + "n??.wav /S2 /E3", {}, join({tone(100, 2), tone(100, 3)})},
      {d + "n??.wav*3-2", {}, {}, "No files in the list file."},
      {d + "x??.wav", {}, {}, "No files in the list file."},
      // Trailing switches, and names that look like switches.
      {d + "c.wav /S100 /E200", {}, cut(c, 800, 800)},
      {d + "s5/x.wav /e300 /s100", {}, cut(b, 800, 1600)},
      {d + "c.wav /S100 /E200", {.start = 50}, cut(c, 400, 1600)}, // the caller's trimming wins
      {d + "c.wav /L2", {}, join({c, c})},
      {list("m2.lst", d + "s5/x.wav\n" + d + "plain/s24x.wav /S100 /E300\n" + d + "b.wav /S3\n"), {},
       join({b, cut(b, 800, 1600), c})},
      // Lists that never end: naming themselves (through another list, a
      // series of lists), nesting too deep, too many entries.
      {d + "self.lst", {}, {}, "names itself"},
      {d + "p.lst", {}, {}, "names itself"},
      {d + "r00.lst", {}, {}, "names itself"},
      {d + "d" + std::to_string(depth - 1) + ".lst", {}, a},
      {d + "d" + std::to_string(depth) + ".lst", {}, {}, "nest more than"},
      {d + "w3.lst", {}, {}, "more than"},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    MessageLog log;
    Sound s = open_sound(r.name, r.o, MessageLog::callback);
    if (r.refusal) {
      EXPECT_FALSE(s);
      EXPECT_EQ(log.at_level(2).size(), 1u);
      EXPECT_NE(std::string(VEXLastError()).find(r.refusal), std::string::npos) << VEXLastError();
      continue;
    }
    ASSERT_TRUE(s) << VEXLastError();
    EXPECT_EQ(read_sound(s.get(), {999}), r.want);
    EXPECT_EQ(s->at_end, 1);
    SFileReset(s.get());
    EXPECT_EQ(read_sound(s.get(), {3000}), r.want) << "after reset";
  }
  Sound s = open_sound(d + "f.lst");
  ASSERT_TRUE(s);
  EXPECT_EQ(std::tuple(s->kind, std::string(s->type), s->total), std::tuple(SFILE_LIST, "List", 6400u + 64000u));
}

} // namespace
} // namespace vex::testkit
