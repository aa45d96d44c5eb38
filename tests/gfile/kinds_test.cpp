// Every kind of input through GFileOpen and GFileGet: the frames delivered
// equal what the kind's own reader gives (FLIC, Korvane, Tolm, the same
// movie inside an executable), or what the ffmpeg tool decodes from the
// same file (AVI, QuickTime, stills); the record tells the kind, size,
// depth, frame count and rate; GFileDescribe tells the codings.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "testkit/executable/pe_fixture.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/gfile/kind_samples.h"
#include "testkit/gfile/source_oracles.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/wav_file.h"
#include "testkit/gfile/source_calls.h"
#include "vexutil/sfile.h"

namespace gfile_test {
namespace {

namespace tk = vex::testkit;
constexpr int kW = 48, kH = 32;
constexpr int32_t kDeep = GFILE_DEEP_TRUE_COLOUR;
const std::string kTestSource = "testsrc=size=48x32:rate=10:duration=1";

// Indices through a red, green, blue palette as blue, green, red, 0.
std::vector<uint8_t> indexed_bgr0(const uint8_t *pixels, uint32_t w, uint32_t h, uint32_t pitch, const uint8_t *pal) {
  std::vector<uint8_t> out;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      out.insert(out.end(), {pal[pixels[y * pitch + x] * 3 + 2], pal[pixels[y * pitch + x] * 3 + 1],
                             pal[pixels[y * pitch + x] * 3], 0});
  return out;
}

// The FLIC reader's own frames in every mode: indices and palettes as read
// at 8 bits (GFILE_DEEP_TRUE_COLOUR asked or not), through the palette
// otherwise. Every frame changes the palette; at double rate a frame
// GFileSkip fetched and GFileGet delivers again goes through the palette
// it brought (passed through, remapped into the usable entries).
TEST(GfileKinds, FlicFramesAreTheFlicReadersInEveryMode) {
  TempDir dir;
  const std::string flc = pattern_flc(dir, "a.flc", {.width = 64, .height = 40, .frames = 7, .cycle = true});
  const tk::FlicFrames want = tk::flic_reader_frames(flc);
  ASSERT_EQ(want.bgr0.size(), 7u);
  for (const int32_t flags : {0, kTrue, kDeep, kDeep | kTrue}) {
    SCOPED_TRACE("flags " + std::to_string(flags));
    Source g = must(dir.file("a"), {.flags = flags}); // no extension: .flc found by the FLIC reader
    EXPECT_EQ(shape(*g), (Shape{GFILE_FLIC, 64, 40, 8, 7, 20, 1})); // 5000 x 10 us = 50 ms
    EXPECT_STREQ(g->type, "Flic");
    EXPECT_STREQ(g->name, flc.c_str());
    EXPECT_EQ((std::vector{g->speed, g->true_colour, g->depth_read}), (std::vector{-5000, int(flags == kTrue), 8}));
    if (!(flags & kDeep)) {
      EXPECT_EQ(all_frames(g.get()), want.bgr0);
      continue;
    }
    for (size_t i = 0; i < 7; ++i) {
      EXPECT_EQ(next(g.get()), want.indices[i]) << "frame " << i;
      EXPECT_EQ(palette(*g), want.palettes[i]) << "frame " << i;
      EXPECT_EQ(g->frame_depth, 8);
    }
  }
  const Options twice{.play_num = 20, .play_den = 1, .out_num = 40, .out_den = 1, .first_index = 64, .entries = 128,
                      .system_colours = 1};
  const Frames every = frames(flc, twice);
  ASSERT_EQ(every.size(), 14u);
  Source mixed = must(flc, twice);
  for (size_t i = 0; i < every.size(); i += 2) {
    ASSERT_EQ(GFileSkip(mixed.get()), 1);
    EXPECT_EQ(next(mixed.get(), true), every[i + 1]) << "output frame " << i + 1;
  }
}

// Korvane: the pictures and palettes its writer says the reader gives;
// the same movie inside an executable plays as the movie itself.
TEST(GfileKinds, KorvaneFramesAreTheWritersPicturesAlsoInsideAnExecutable) {
  TempDir dir;
  tk::korvane::MoviePlan plan;
  plan.speed = 100; // 100 ms: 10 frames per second
  const auto written = tk::korvane::write_korvane(
      tk::korvane::pattern_frames(tk::PatternAnimation({.width = 32, .height = 24, .frames = 6, .cycle = true})), plan,
      dir.file("k.kvn"));
  ASSERT_TRUE(written.ok) << written.error;
  Source g = must(dir.file("k.kvn"), {.flags = kTrue});
  EXPECT_EQ(shape(*g), (Shape{GFILE_KORVANE, 32, 24, 8, 6, 10, 1}));
  EXPECT_STREQ(g->type, "Korvane");
  EXPECT_EQ(g->has_sound, 0);
  const Frames got = all_frames(g.get());
  ASSERT_EQ(got.size(), 6u);
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(got[i], indexed_bgr0(written.pictures[i].data(), written.width, written.height, written.width,
                                   written.palettes[i].data())) << "frame " << i;
  uint32_t at = 0;
  write_file(dir.file("k.exe"), tk::executable_with_movie(written.file, &at));
  EXPECT_EQ(frames(dir.file("k.exe"), {.flags = kTrue}), got);
}

// Tolm: the reader's own decode and draw, alpha cleared without the alpha
// flag; 32 bits as read, so GFILE_DEEP_TRUE_COLOUR gives the same true
// colour (twelve frames, which would be promoted at 8 bits, are not). The
// executable wrapper is the Korvane test's.
TEST(GfileKinds, TolmFramesAreTheTolmReaders) {
  TempDir dir;
  const std::string tlm = dir.file("t.tlm");
  const auto bytes = tk::tolm::movie_bytes(tk::tolm::random_movie({.frames = 12}).movie);
  write_file(tlm, bytes);
  const tk::TolmFrames reader = tk::tolm_reader_frames(tlm, kW, kH, 12);
  const Frames &want = reader.bgr0;
  Source g = must(dir.file("t"), {.flags = kTrue});
  EXPECT_EQ(shape(*g), (Shape{GFILE_TOLM, kW, kH, 32, 12, 15, 1}));
  EXPECT_STREQ(g->type, "Tolm");
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(next(g.get()), want[size_t(i)]) << "frame " << i;
    EXPECT_EQ(g->frame_bytes, reader.record_sizes[size_t(i)]);
  }
  Source deep = must(tlm, {.flags = kDeep});
  EXPECT_EQ((std::vector{deep->true_colour, deep->depth, deep->depth_read}), (std::vector{1, 32, 32}));
  EXPECT_EQ(all_frames(deep.get()), want);
}

// The tool makes each file and decodes it; the file is opened by its name
// without extension. Sources deeper than 8 bits give the same frames with
// GFILE_DEEP_TRUE_COLOUR. The alpha flag tries QuickTime first and keeps
// the fourth byte of a 32-bit movie; without it the byte is cleared.
TEST(GfileKinds, TrueColourFramesAreTheToolsDecode) {
  const struct {
    const char *file, *make; // encoder options
    int32_t kind, depth, flags;
    double min_psnr;     // 0: exact
    uint8_t mask = 0xFF; // 5-bit channels arrive shifted left 3, the tool spreads them over 8 bits
  } rows[] = {
      {"a.mov", "-vf format=rgba,colorchannelmixer=aa=0.5 -c:v png", GFILE_QUICKTIME, 32, kTrue | GFILE_ALPHA, 0},
      {"a.mov", "-vf format=rgba,colorchannelmixer=aa=0.5 -c:v png", GFILE_QUICKTIME, 32, kTrue, 0},
      {"a.avi", "-c:v rawvideo -pix_fmt bgr24", GFILE_AVI, 24, kTrue, 0},
      {"a.avi", "-c:v rawvideo -pix_fmt pal8", GFILE_AVI, 8, kTrue, 0},
      {"a.avi", "-c:v mpeg4 -q:v 3", GFILE_AVI, 24, kTrue, 35},
      {"a.bmp", "-pix_fmt bgr24", GFILE_BMP, 24, kTrue, 0},
      {"a.bmp", "-pix_fmt pal8", GFILE_BMP, 8, kTrue, 0},
      {"a.bmp", "-pix_fmt rgb555le", GFILE_BMP, 24, kTrue, 0, 0xF8},
      {"a.bmp", "-pix_fmt monob", GFILE_BMP, 8, 0, 0}, // 1 bit arrives as 8-bit indices
      {"a.pcx", "-pix_fmt pal8", GFILE_PCX, 8, kTrue, 0},
      {"a.png", "-pix_fmt rgba", GFILE_PNG, 24, kTrue, 0},
      {"a.tga", "-pix_fmt bgr24", GFILE_TGA, 24, kTrue, 0},
      {"a.tif", "-pix_fmt rgb24 -compression_algo deflate", GFILE_TIF, 24, kTrue, 0},
      {"a.gif", "-pix_fmt pal8", GFILE_GIF, 8, kTrue, 0},
      {"a.jpg", "-q:v 2", GFILE_JPEG, 24, kTrue, 40}};
  for (const auto &c : rows) {
    SCOPED_TRACE(std::string(c.file) + " " + c.make);
    TempDir dir;
    const bool still = c.kind < GFILE_AVI;
    const std::string file = tool_file(dir, c.file, kTestSource, (still ? "-frames:v 1 -update 1 " : "") + std::string(c.make));
    const bool alpha = c.flags & GFILE_ALPHA;
    const Frames want =
        split(tk::ffmpeg_decode(file, alpha ? "-f rawvideo -pix_fmt bgra" : "-f rawvideo -pix_fmt bgr24",
                                "-threads 1 -flags +bitexact"),
              size_t{kW} * kH * (alpha ? 4 : 3));
    ASSERT_EQ(want.size(), still ? 1u : 10u);
    Source g = must(dir.file("a"), {.flags = c.flags});
    EXPECT_EQ(g->name, file);
    EXPECT_EQ(shape(*g), (Shape{c.kind, kW, kH, c.depth, int32_t(want.size()), still ? 15 : 10, 1}));
    const Frames got = all_frames(g.get());
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
      auto expect = alpha ? want[i] : bgr_to_bgr0(want[i]);
      for (uint8_t &v : expect)
        v &= c.mask;
      if (c.min_psnr > 0)
        EXPECT_GE(tk::psnr(got[i], expect), c.min_psnr) << "frame " << i;
      else
        EXPECT_EQ(got[i], expect) << "frame " << i;
    }
    if (c.depth > 8 && !alpha) {
      EXPECT_EQ(frames(file, {.flags = kDeep}), got);
    }
  }
}

// True-colour rows of every width remainder (the 24-bit converter works
// four pixels at a time): crops of 45-48 columns at odd origins against
// the tool's decode cropped by hand.
TEST(GfileKinds, TwentyFourBitRowsOfEveryWidthRemainder) {
  TempDir dir;
  const std::string avi = tool_file(dir, "r.avi", kTestSource, "-frames:v 1 -c:v rawvideo -pix_fmt bgr24");
  const auto bgr0 = bgr_to_bgr0(tk::ffmpeg_decode(avi, "-f rawvideo -pix_fmt bgr24"));
  for (int32_t w = 45; w <= 48; ++w)
    EXPECT_EQ(next(must(avi, {.flags = kTrue, .x = kW - w, .y = 3, .width = w, .height = 20}).get()),
              window(bgr0, kW, 4, kW - w, 3, w, 20))
        << w;
}

// A WAV is a picture of 4 x 4 for as long as the sound lasts, at 15 frames
// a second: 22050 Hz stereo for 1.5 s covers 33075 x 15 / 22050 + 1 frames.
// A TIFF of LZW strips is refused. Stills wider than 4096 are left to
// later readers, which may take them, but not as stills.
TEST(GfileKinds, SoundOnlyLzwAndWideStills) {
  TempDir dir;
  write_file(dir.file("s.wav"), tk::pcm_wav(22050, 16, 2, std::vector<uint8_t>(size_t{33075} * 4, 0)));
  Source g = must(dir.file("s"));
  EXPECT_EQ(shape(*g), (Shape{GFILE_SOUND_ONLY, 4, 4, 8, 23, 15, 1}));
  EXPECT_STREQ(g->type, "Sound-only");
  EXPECT_EQ(g->has_sound, 1);
  EXPECT_EQ(all_frames(g.get()).size(), 23u);
  EXPECT_EQ(g->at_end, 1);
  MessageLog log;
  const std::string tif = tool_file(dir, "l.tif", kTestSource, "-frames:v 1 -update 1 -pix_fmt rgb24 -compression_algo lzw");
  EXPECT_EQ(open(tif), nullptr);
  EXPECT_EQ(log.at_level(2), std::vector<std::string>{"Error opening: " + tif});
  for (const char *ext : {".bmp", ".png"}) {
    const std::string wide = tool_file(dir, std::string("wide") + ext, "color=c=red:size=4098x2",
                                       "-vf format=rgb24,crop=4097:2 -frames:v 1 -update 1 -pix_fmt rgb24");
    ASSERT_EQ(tk::ffprobe(wide, "-show_entries stream=width -of csv=p=0"), "4097\n");
    const Source w = open(wide);
    EXPECT_GE(w ? w->kind : GFILE_AVI, GFILE_AVI) << ext;
    const std::string edge =
        tool_file(dir, std::string("edge") + ext, "color=c=red:size=4096x2", "-frames:v 1 -update 1 -pix_fmt rgb24");
    EXPECT_EQ(must(edge)->width, 4096);
  }
}

// GFileDescribe over a sample of every kind: the codec each kind names
// (AVI and QuickTime as the ffmpeg tool's prober names them), and the
// sound as the sound source opens it (a movie's track is what vexinfo
// prints, against the prober, in tools_test). No movie here has tags: the
// colour is the convention's.
TEST(GfileKinds, DescribeTellsEveryKindsCodings) {
  TempDir dir;
  const std::map<std::string, std::string> named = {
      {"a.flc", "FLC"},  {"b.flc", "FLC"},  {"m.kvn", "Korvane"}, {"m.tlm", "Tolm"}, {"m.exe", "Korvane"},
      {"m.raw", "RAWB"}, {"s.wav", ""},     {"p.bmp", "BMP"},     {"p.pcx", "PCX"},  {"p.png", "PNG"},
      {"p.tga", "TGA"},  {"p.tif", "TIFF"}, {"p.gif", "GIF"},     {"p.jpg", "JPEG"}, {"l.lst", "FLC"}};
  for (const tk::KindSample &k : tk::write_kind_samples(dir)) {
    SCOPED_TRACE(k.file);
    const std::string file = dir.file(k.file);
    Source g = must(file);
    GFILEINFO info;
    std::memset(&info, 0xEE, sizeof info);
    ASSERT_EQ(GFileDescribe(g.get(), &info), 1);
    const bool movie = k.kind == GFILE_AVI || k.kind == GFILE_QUICKTIME;
    const std::string probed = movie ? tk::ffprobe(file, "-select_streams v:0 -show_entries stream=codec_name -of csv=p=0") : "";
    EXPECT_EQ(info.codec, movie ? probed.substr(0, probed.find('\n')) : named.at(k.file));
    EXPECT_EQ((std::vector{info.colour_matrix, info.colour_range, info.colour_tagged, info.has_sound}),
              (std::vector{movie ? GFILE_MATRIX_BT601 : GFILE_MATRIX_NONE, movie ? GFILE_RANGE_LIMITED : GFILE_RANGE_NONE,
                           0, g->has_sound}));
    if (!info.has_sound || movie)
      continue;
    SFILE *sf = SFileOpen(file.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
    ASSERT_NE(sf, nullptr);
    EXPECT_EQ((std::vector<int64_t>{info.sound_rate, info.sound_bits, info.sound_channels, int64_t(info.sound_frames)}),
              (std::vector<int64_t>{sf->source_rate, sf->source_bits, sf->source_channels,
                                    int64_t(sf->total / sf->source_frame_bytes)}));
    EXPECT_STREQ(info.sound_codec, k.kind == GFILE_SOUND_ONLY ? "pcm_s16le" : info.sound_codec);
    SFileClose(sf);
  }
  EXPECT_EQ(GFileDescribe(nullptr, nullptr), 0);
}

} // namespace
} // namespace gfile_test
