// Every kind of input through GFileOpen and GFileGet: the frames delivered
// equal what the kind's own reader gives (FLIC, Korvane, Tolm), or what the
// ffmpeg tool decodes from the same file (AVI, QuickTime, stills); the
// record tells the kind, size, depth, frame count and rate.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "formats/korvane/korvane.h"
#include "testkit/util/source_of.h"
#include "formats/tolm/tolm_reader.h"
#include "testkit/util/wav_file.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/gfile/kind_samples.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/temp_dir.h"
#include "tests/gfile/gfile_test_util.h"
#include "vexutil/flic.h"
#include "vexutil/sfile.h"

namespace {

using namespace gfile_test;
using vex::testkit::ffmpeg;
using vex::testkit::ffmpeg_decode;
using vex::testkit::PatternAnimation;
using vex::testkit::PatternOptions;

constexpr int kW = 48, kH = 32, kFrames = 10;
const std::string kTestSource = "-f lavfi -i testsrc=size=48x32:rate=10:duration=1 ";

PatternAnimation pattern(uint32_t w, uint32_t h, uint32_t frames) {
  // cycle: the palette changes between frames
  PatternOptions o{.width = w, .height = h, .frames = frames, .cycle = true};
  return PatternAnimation(o);
}

// Frames of a palettised picture sequence as blue, green, red, 0.
std::vector<uint8_t> indexed_bgr0(const uint8_t *pixels, uint32_t w, uint32_t h, uint32_t pitch,
                                  const uint8_t *palette) {
  std::vector<uint8_t> out(size_t{w} * h * 4);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t *c = palette + pixels[y * pitch + x] * 3;
      uint8_t *o = &out[(size_t{y} * w + x) * 4];
      o[0] = c[2];
      o[1] = c[1];
      o[2] = c[0];
    }
  return out;
}

// Splits a decode of n frames into frames.
std::vector<std::vector<uint8_t>> split(const std::vector<uint8_t> &all, size_t frame_bytes) {
  std::vector<std::vector<uint8_t>> out;
  for (size_t at = 0; at + frame_bytes <= all.size(); at += frame_bytes)
    out.emplace_back(all.begin() + static_cast<ptrdiff_t>(at), all.begin() + static_cast<ptrdiff_t>(at + frame_bytes));
  return out;
}

TEST(GfileKinds, FlicFramesAreTheFlicReadersInBothModes) {
  vex::testkit::TempDir dir;
  const std::string flc = dir.file("a.flc");
  const PatternAnimation anim = pattern(64, 40, 7);
  ASSERT_NE(vex::testkit::write_flc(anim, -5000, flc), 0u);
  // The oracle: the FLIC reader itself, frame by frame.
  std::vector<std::vector<uint8_t>> want;
  VEXFLIC *f = VEXFlicOpen(flc.c_str());
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> buf(size_t{f->pitch} * f->buffer_height);
  for (uint32_t i = 0; i < f->frame_count; ++i) {
    ASSERT_NE(VEXFlicGetNext(f, buf.data()), 0);
    want.push_back(indexed_bgr0(buf.data(), 64, 40, f->pitch, VEXFlicGetPalette(f)));
  }
  VEXFlicClose(f);

  for (int32_t flags : {0, GFILE_TRUE_COLOUR}) {
    Source g = open(dir.file("a"), Options{.flags = flags}); // no extension: .flc found by the FLIC reader
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->kind, GFILE_FLIC);
    EXPECT_STREQ(g->type, "Flic");
    EXPECT_STREQ(g->name, flc.c_str());
    EXPECT_EQ(g->width, 64);
    EXPECT_EQ(g->height, 40);
    EXPECT_EQ(g->depth, 8);
    EXPECT_EQ(g->frame_count, 7);
    EXPECT_EQ(g->source_num, 20u); // 5000 x 10 us = 50 ms
    EXPECT_EQ(g->source_den, 1u);
    EXPECT_EQ(g->speed, -5000);
    EXPECT_EQ(all_frames(g.get()), want);
  }
  // Every frame changes the palette. At double rate, a frame GFileSkip
  // fetched and GFileGet delivers again goes through the palette it
  // brought (passed through, remapped into the usable entries).
  const Options twice{
      .play_num = 20, .play_den = 1, .out_num = 40, .out_den = 1, .first_index = 64, .entries = 128, .system_colours = 1};
  Source all = open(flc, twice), mixed = open(flc, twice);
  ASSERT_NE(all, nullptr);
  ASSERT_NE(mixed, nullptr);
  const auto every = all_frames(all.get());
  ASSERT_EQ(every.size(), 14u);
  for (size_t i = 0; i < every.size(); i += 2) {
    ASSERT_EQ(GFileSkip(mixed.get()), 1);
    ASSERT_EQ(GFileGet(mixed.get()), 1);
    EXPECT_EQ(as_bgr0(*mixed), every[i + 1]) << "output frame " << i + 1;
  }
}

TEST(GfileKinds, KorvaneFramesAreTheKorvaneReadersWithItsPalettes) {
  vex::testkit::TempDir dir;
  const std::string kvn = dir.file("k.kvn");
  const auto frames = vex::testkit::korvane::pattern_frames(pattern(32, 24, 6));
  vex::testkit::korvane::MoviePlan plan;
  plan.speed = 100; // 100 ms: 10 frames per second
  const auto written = vex::testkit::korvane::write_korvane(frames, plan, kvn);
  ASSERT_TRUE(written.ok) << written.error;
  Source g = open(kvn, Options{.flags = GFILE_TRUE_COLOUR});
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->kind, GFILE_KORVANE);
  EXPECT_STREQ(g->type, "Korvane");
  EXPECT_EQ(g->frame_count, 6);
  EXPECT_EQ(g->source_num, 10u);
  EXPECT_EQ(g->source_den, 1u);
  EXPECT_EQ(g->has_sound, 0);
  const auto got = all_frames(g.get());
  ASSERT_EQ(got.size(), 6u);
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(got[i], indexed_bgr0(written.pictures[i].data(), written.width, written.height, written.width,
                                   written.palettes[i].data()))
        << "frame " << i;
}

TEST(GfileKinds, TolmFramesAreTheTolmReadersThirtyTwoBitPictures) {
  vex::testkit::TempDir dir;
  const std::string tlm = dir.file("t.tlm");
  vex::testkit::tolm::RandomMovieOptions mo{.width = 48, .height = 32, .frames = 5};
  vex::testkit::tolm::write_movie(tlm, vex::testkit::tolm::random_movie(mo).movie);
  // The oracle: the reader's own decode and draw.
  namespace tolm = vex::formats::tolm;
  tolm::TOLM *t = tolm::TolmOpen(vex::testkit::source_of(tlm.c_str()), tolm::kTolmOpenNoBackground);
  ASSERT_NE(t, nullptr);
  std::vector<std::vector<uint8_t>> want;
  std::vector<uint32_t> record_sizes;
  for (int i = 0; i < 5; ++i) {
    std::vector<uint8_t> px(48 * 32 * 4);
    tolm::TolmDoFrame(t);
    tolm::TolmCopyToBuffer(t, px.data(), 48 * 4, 32, 0, 0, 5);
    record_sizes.push_back(t->record_size);
    tolm::TolmNextFrame(t);
    for (size_t p = 3; p < px.size(); p += 4)
      px[p] = 0; // alpha cleared without the alpha flag
    want.push_back(px);
  }
  tolm::TolmClose(t);

  Source g = open(dir.file("t"), Options{.flags = GFILE_TRUE_COLOUR});
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->kind, GFILE_TOLM);
  EXPECT_STREQ(g->type, "Tolm");
  EXPECT_EQ(g->depth, 32);
  EXPECT_EQ(g->source_num, 15u);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(GFileGet(g.get()), 1);
    EXPECT_EQ(output(*g), want[static_cast<size_t>(i)]) << "frame " << i;
    EXPECT_EQ(static_cast<uint32_t>(g->frame_bytes), record_sizes[static_cast<size_t>(i)]);
  }
}

// GFILE_DEEP_TRUE_COLOUR: true colour exactly for sources deeper than 8
// bits as read, then the frames GFILE_TRUE_COLOUR gives (a Tolm movie of
// enough frames to be promoted at 8 bits is not); otherwise the FLIC
// reader's own indices and palettes, GFILE_TRUE_COLOUR beside it or not.
TEST(GfileKinds, DeepTrueColourFollowsTheDepthAsRead) {
  vex::testkit::TempDir dir;
  const std::string bmp = dir.file("s.bmp"), tlm = dir.file("t.tlm"), flc = dir.file("a.flc");
  ffmpeg(kTestSource + "-frames:v 1 -update 1 -pix_fmt bgr24 " + bmp);
  vex::testkit::tolm::RandomMovieOptions mo{.width = 48, .height = 32, .frames = 12};
  vex::testkit::tolm::write_movie(tlm, vex::testkit::tolm::random_movie(mo).movie);
  ASSERT_NE(vex::testkit::write_flc(pattern(64, 40, 7), -5000, flc), 0u);
  // The FLIC reader's frames and palettes.
  std::vector<std::vector<uint8_t>> flic_pixels, flic_palettes;
  VEXFLIC *f = VEXFlicOpen(flc.c_str());
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> buf(size_t{f->pitch} * f->buffer_height);
  for (uint32_t i = 0; i < f->frame_count; ++i) {
    ASSERT_NE(VEXFlicGetNext(f, buf.data()), 0);
    std::vector<uint8_t> px;
    for (uint32_t y = 0; y < 40; ++y)
      px.insert(px.end(), buf.begin() + y * f->pitch, buf.begin() + y * f->pitch + 64);
    flic_pixels.push_back(px);
    flic_palettes.emplace_back(VEXFlicGetPalette(f), VEXFlicGetPalette(f) + 768);
  }
  VEXFlicClose(f);

  struct Case {
    const char *name;
    std::string file;
    int32_t flags;
    bool deep;
    int32_t depth;
  };
  const Case cases[] = {{"24-bit still", bmp, GFILE_DEEP_TRUE_COLOUR, true, 24},
                        {"Tolm movie", tlm, GFILE_DEEP_TRUE_COLOUR, true, 32},
                        {"FLC", flc, GFILE_DEEP_TRUE_COLOUR, false, 8},
                        {"FLC, true colour asked too", flc, GFILE_DEEP_TRUE_COLOUR | GFILE_TRUE_COLOUR, false, 8}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Source g = open(c.file, Options{.flags = c.flags});
    ASSERT_NE(g, nullptr) << VEXLastError();
    EXPECT_EQ(g->true_colour, c.deep ? 1 : 0);
    EXPECT_EQ(g->depth, c.depth);
    EXPECT_EQ(g->depth_read, c.depth);
    const auto got = all_frames(g.get());
    if (c.deep) {
      Source t = open(c.file, Options{.flags = GFILE_TRUE_COLOUR});
      ASSERT_NE(t, nullptr);
      EXPECT_EQ(got, all_frames(t.get()));
      continue;
    }
    Source again = open(c.file, Options{.flags = c.flags});
    ASSERT_EQ(got.size(), flic_pixels.size());
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(GFileGet(again.get()), 1);
      EXPECT_EQ(again->frame_depth, 8);
      EXPECT_EQ(output(*again), flic_pixels[i]) << "frame " << i;
      EXPECT_EQ(palette(*again), flic_palettes[i]) << "frame " << i;
    }
  }
}

struct ToolCase {
  const char *name;
  const char *file;
  std::string make; // encoder options
  int32_t kind;
  int32_t depth;
  double min_psnr;     // 0: exact
  uint8_t mask = 0xFF; // 5-bit channels arrive shifted left 3, the tool spreads them over 8 bits
};

class GfileToolDecodes : public ::testing::TestWithParam<ToolCase> {};

TEST_P(GfileToolDecodes, TrueColourFramesAreTheToolsDecode) {
  const ToolCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string file = dir.file(c.file);
  const bool still = c.kind < 32;
  ffmpeg(kTestSource + (still ? "-frames:v 1 -update 1 " : "") + c.make + " " + file);
  const auto want =
      split(ffmpeg_decode(file, "-f rawvideo -pix_fmt bgr24", "-threads 1 -flags +bitexact"), size_t{kW} * kH * 3);
  ASSERT_EQ(want.size(), still ? 1u : size_t{kFrames});
  Source g = open(file, Options{.flags = GFILE_TRUE_COLOUR});
  ASSERT_NE(g, nullptr) << VEXLastError();
  EXPECT_EQ(g->kind, c.kind);
  EXPECT_EQ(g->depth, c.depth);
  EXPECT_EQ(g->width, kW);
  EXPECT_EQ(g->height, kH);
  EXPECT_EQ(g->frame_count, static_cast<int32_t>(want.size()));
  EXPECT_EQ(g->source_num, still ? 15u : 10u);
  const auto got = all_frames(g.get());
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    auto expect = bgr_to_bgr0(want[i]);
    for (uint8_t &v : expect)
      v &= c.mask;
    if (c.min_psnr > 0)
      EXPECT_GE(vex::testkit::psnr(got[i], expect), c.min_psnr) << "frame " << i;
    else
      EXPECT_EQ(got[i], expect) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, GfileToolDecodes,
    ::testing::Values(ToolCase{"avi_bgr24", "a.avi", "-c:v rawvideo -pix_fmt bgr24", GFILE_AVI, 24, 0},
                      ToolCase{"avi_pal8", "a.avi", "-c:v rawvideo -pix_fmt pal8", GFILE_AVI, 8, 0},
                      ToolCase{"avi_mpeg4", "a.avi", "-c:v mpeg4 -q:v 3", GFILE_AVI, 24, 35},
                      ToolCase{"mov_png", "a.mov", "-c:v png -pix_fmt rgb24", GFILE_QUICKTIME, 32, 0},
                      ToolCase{"bmp24", "a.bmp", "-pix_fmt bgr24", GFILE_BMP, 24, 0},
                      ToolCase{"bmp8", "a.bmp", "-pix_fmt pal8", GFILE_BMP, 8, 0},
                      ToolCase{"bmp16", "a.bmp", "-pix_fmt rgb555le", GFILE_BMP, 24, 0, 0xF8},
                      ToolCase{"pcx8", "a.pcx", "-pix_fmt pal8", GFILE_PCX, 8, 0},
                      ToolCase{"png32", "a.png", "-pix_fmt rgba", GFILE_PNG, 24, 0},
                      ToolCase{"tga24", "a.tga", "-pix_fmt bgr24", GFILE_TGA, 24, 0},
                      ToolCase{"tif_deflate", "a.tif", "-pix_fmt rgb24 -compression_algo deflate", GFILE_TIF, 24, 0},
                      ToolCase{"gif", "a.gif", "-pix_fmt pal8", GFILE_GIF, 8, 0},
                      ToolCase{"jpeg", "a.jpg", "-q:v 2", GFILE_JPEG, 24, 40}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(GfileKinds, StillsOfOneBitArriveAsEightBitIndices) {
  vex::testkit::TempDir dir;
  const std::string bmp = dir.file("mono.bmp");
  ffmpeg(kTestSource + "-frames:v 1 -update 1 -pix_fmt monob " + bmp);
  const auto want = ffmpeg_decode(bmp, "-f rawvideo -pix_fmt bgr24");
  Source g = open(bmp);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->depth, 8);
  ASSERT_EQ(GFileGet(g.get()), 1);
  EXPECT_EQ(g->frame_depth, 8);
  EXPECT_EQ(as_bgr0(*g), bgr_to_bgr0(want));
}

TEST(GfileKinds, TifWithLzwIsRefusedAndAWaveBecomesASilentPicture) {
  vex::testkit::TempDir dir;
  const std::string tif = dir.file("l.tif");
  ffmpeg(kTestSource + "-frames:v 1 -update 1 -pix_fmt rgb24 -compression_algo lzw " + tif);
  EXPECT_EQ(open(tif), nullptr);
  EXPECT_EQ(errors(), std::vector<std::string>{"Error opening: " + tif});

  // 22050 Hz 16-bit stereo, 1.5 s: frames = bytes x 15 / (rate x 4) + 1.
  const std::string wav = dir.file("s.wav");
  const std::vector<uint8_t> pcm(size_t{33075} * 4, 0);
  vex::testkit::write_file(wav, vex::testkit::pcm_wav(22050, 16, 2, pcm));
  Source g = open(dir.file("s")); // found as s.wav
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->kind, GFILE_SOUND_ONLY);
  EXPECT_STREQ(g->type, "Sound-only");
  EXPECT_EQ(g->width, 4);
  EXPECT_EQ(g->height, 4);
  EXPECT_EQ(g->has_sound, 1);
  EXPECT_EQ(g->frame_count, 33075 * 15 / 22050 + 1);
  EXPECT_EQ(g->source_num, 15u);
  for (int i = 0; i < g->frame_count; ++i)
    ASSERT_EQ(GFileGet(g.get()), 1);
  EXPECT_EQ(g->at_end, 1);
}

} // namespace

namespace {

// True-colour rows of every width remainder (the 24-bit converter works
// four pixels at a time): crops of 45-48 columns at odd origins of a
// 24-bit AVI against the tool's decode cropped by hand.
TEST(GfileKinds, TwentyFourBitRowsOfEveryWidthRemainder) {
  vex::testkit::TempDir dir;
  const std::string avi = dir.file("r.avi");
  ffmpeg(kTestSource + "-frames:v 1 -c:v rawvideo -pix_fmt bgr24 " + avi);
  const auto bgr = ffmpeg_decode(avi, "-f rawvideo -pix_fmt bgr24");
  for (int32_t w = 45; w <= 48; ++w) {
    const int32_t x = 48 - w, y = 3;
    Source g = open(avi, Options{.flags = GFILE_TRUE_COLOUR, .x = x, .y = y, .width = w, .height = 20});
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(GFileGet(g.get()), 1);
    std::vector<uint8_t> want;
    for (int32_t r = 0; r < 20; ++r)
      for (int32_t c = 0; c < w; ++c) {
        const uint8_t *p = &bgr[(size_t(r + y) * kW + size_t(c + x)) * 3];
        want.insert(want.end(), {p[0], p[1], p[2], 0});
      }
    EXPECT_EQ(output(*g), want) << "width " << w;
  }
}

// GFileDescribe over a sample of every kind: the codec each kind names
// (AVI and QuickTime as the ffmpeg tool's prober names them), and the
// sound as the sound source opens it, or as the prober tells it for a
// movie's track. No movie here has tags: the colour is the convention's.
TEST(GfileKinds, DescribeTellsEveryKindsCodings) {
  vex::testkit::TempDir dir;
  const std::map<std::string, std::string> named = {
      {"a.flc", "FLC"},  {"b.flc", "FLC"},  {"m.kvn", "Korvane"}, {"m.tlm", "Tolm"}, {"m.exe", "Korvane"},
      {"m.raw", "RAWB"}, {"s.wav", ""},     {"p.bmp", "BMP"},     {"p.pcx", "PCX"},  {"p.png", "PNG"},
      {"p.tga", "TGA"},  {"p.tif", "TIFF"}, {"p.gif", "GIF"},     {"p.jpg", "JPEG"}, {"l.lst", "FLC"}};
  for (const vex::testkit::KindSample &k : vex::testkit::write_kind_samples(dir)) {
    const std::string file = dir.file(k.file);
    Source g = open(file);
    ASSERT_NE(g, nullptr) << k.file << ": " << VEXLastError();
    GFILEINFO info;
    std::memset(&info, 0xEE, sizeof info);
    ASSERT_EQ(GFileDescribe(g.get(), &info), 1);
    const bool movie = k.kind == GFILE_AVI || k.kind == GFILE_QUICKTIME;
    const std::string probed =
        movie ? vex::testkit::ffprobe(file, "-select_streams v:0 -show_entries stream=codec_name -of csv=p=0") : "";
    EXPECT_EQ(info.codec, movie ? probed.substr(0, probed.find('\n')) : named.at(k.file)) << k.file;
    EXPECT_EQ(info.colour_matrix, movie ? GFILE_MATRIX_BT601 : GFILE_MATRIX_NONE) << k.file;
    EXPECT_EQ(info.colour_range, movie ? GFILE_RANGE_LIMITED : GFILE_RANGE_NONE) << k.file;
    EXPECT_EQ(info.colour_tagged, 0) << k.file;
    EXPECT_EQ(info.has_sound, g->has_sound) << k.file;
    if (!info.has_sound)
      continue;
    if (k.kind == GFILE_AVI) {
      const std::string p = vex::testkit::ffprobe(
          file, "-select_streams a:0 -show_entries stream=codec_name,sample_rate,channels,duration -of csv=p=0");
      const std::string told = std::string(info.sound_codec) + "," + std::to_string(info.sound_rate) + "," +
                               std::to_string(info.sound_channels) + ",";
      ASSERT_EQ(p.substr(0, told.size()), told);
      // An AVI's PCM track states no length of its own: the file's.
      const std::string seconds = p.compare(told.size(), 3, "N/A") != 0
                                      ? p.substr(told.size())
                                      : vex::testkit::ffprobe(file, "-show_entries format=duration -of csv=p=0");
      EXPECT_NEAR(std::stod(seconds) * info.sound_rate, static_cast<double>(info.sound_frames), 1.0);
      continue;
    }
    SFILE *sf = SFileOpen(file.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
    ASSERT_NE(sf, nullptr) << k.file;
    EXPECT_EQ(info.sound_rate, sf->source_rate) << k.file;
    EXPECT_EQ(info.sound_bits, sf->source_bits) << k.file;
    EXPECT_EQ(info.sound_channels, sf->source_channels) << k.file;
    EXPECT_EQ(info.sound_frames, sf->total / sf->source_frame_bytes) << k.file;
    if (k.kind == GFILE_SOUND_ONLY) {
      EXPECT_STREQ(info.sound_codec, "pcm_s16le");
    }
    SFileClose(sf);
  }
  EXPECT_EQ(GFileDescribe(nullptr, nullptr), 0);
}

} // namespace
