// Movies inside executables made by the MinGW-w64 binutils: the offset in
// the string table, the movie behind it read through the sound source, and
// images without resources, without a ':' offset, with an offset past the
// end, and with resource offsets that point outside the file.
#include <gtest/gtest.h>

#include "executable/embedded_movie.h"
#include "testkit/util/wav_file.h"
#include "testkit/flic/pattern.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/formats/tolm/tolm_sound_track.h"
#include "testkit/audio_codec/test_signals.h"
#include "testkit/executable/pe_fixture.h"
#include "testkit/util/temp_dir.h"
#include "util/bytes.h"
#include "util/status.h"
#include "vexutil/sfile.h"
#include "vexutil/util.h"

namespace {

namespace tk = vex::testkit;
namespace kw = vex::testkit::korvane;
using vex::executable::embedded_movie_offset;

std::optional<uint32_t> offset_of(const std::vector<uint8_t> &image) {
  vex::util::clear_reason();
  vex::file::ByteSource bytes;
  bytes.open(image);
  return embedded_movie_offset(bytes);
}

std::vector<uint8_t> sound_of(const std::string &name) {
  SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
  std::vector<uint8_t> out;
  if (!s)
    return out;
  uint8_t buf[3000];
  while (uint32_t n = SFileGet(s, buf, sizeof buf))
    out.insert(out.end(), buf, buf + n);
  SFileClose(s);
  return out;
}

kw::WrittenMovie korvane(const std::string &path) {
  tk::PatternOptions o{.width = 16, .height = 16, .frames = 5};
  kw::MoviePlan plan;
  kw::TrackPlan t;
  t.kind = kw::SoundKind::delta;
  t.sixteen = true;
  for (int f = 0; f < 5; ++f) {
    std::vector<uint8_t> pcm(1470);
    for (size_t i = 0; i < pcm.size(); ++i)
      pcm[i] = static_cast<uint8_t>(i * (f + 3));
    t.frames.push_back(pcm);
  }
  plan.tracks[0] = t;
  return kw::write_korvane(kw::pattern_frames(tk::PatternAnimation(o)), plan, path);
}

class EmbeddedMovie : public ::testing::Test {
protected:
  tk::TempDir dir;
};

TEST_F(EmbeddedMovie, KorvaneAndTolmMoviesBehindTheImage) {
  const auto kvn = dir.file("m.kvn");
  const auto m = korvane(kvn);
  ASSERT_TRUE(m.ok) << m.error;
  uint32_t at = 0;
  const auto exe = tk::executable_with_movie(m.file, &at);
  EXPECT_EQ(offset_of(exe), std::optional<uint32_t>(at)) << VEXLastError();
  tk::write_file(dir.file("k.exe"), exe);
  const auto want = sound_of(kvn);
  ASSERT_FALSE(want.empty());
  EXPECT_EQ(sound_of(dir.file("k.exe")), want);
  // The name in any case, and the movie's bytes from the file.
  tk::write_file(dir.file("K2.ExE"), exe);
  EXPECT_EQ(sound_of(dir.file("K2.ExE")), want);
  vex::file::ByteSource whole;
  ASSERT_EQ(whole.open(dir.file("k.exe").c_str()), vex::util::Status::kOk);
  const auto movie = vex::executable::embedded_movie(whole);
  ASSERT_TRUE(movie);
  EXPECT_EQ(movie->base(), at);
  EXPECT_EQ(movie->size(), m.file.size());

  // A Tolm movie the same way.
  namespace tt = vex::testkit::tolm;
  tt::RandomMovieOptions ro{.frames = 4};
  tt::Movie tm = tt::random_movie(ro).movie;
  tm.tracks.push_back(tt::coded_track(tk::sine_sweep(22050, 1, 22050 * 4 / 15, 300, 3000, 7000), {}, 4, 15, 1));
  const auto tlm_bytes = tt::movie_bytes(tm);
  tk::write_file(dir.file("t.tlm"), tlm_bytes);
  const auto texe = tk::executable_with_movie(tlm_bytes, &at, "x:y:");
  tk::write_file(dir.file("t.exe"), texe);
  const auto tolm_sound = sound_of(dir.file("t.tlm"));
  ASSERT_FALSE(tolm_sound.empty());
  EXPECT_EQ(sound_of(dir.file("t.exe")), tolm_sound);
}

TEST_F(EmbeddedMovie, ImagesThatNameNoMovie) {
  const auto none = tk::executable_with_strings({});
  EXPECT_FALSE(offset_of(none));
  EXPECT_STREQ(VEXLastError(), "the executable has no resources");
  const auto no_colon = tk::executable_with_strings({{1, "no offset here"}, {3, "nor 12345"}});
  EXPECT_FALSE(offset_of(no_colon));
  EXPECT_STREQ(VEXLastError(), "the executable's strings name no movie offset");
  // Only string block 1 (strings 0-15) counts.
  const auto other_block = tk::executable_with_strings({{16, "movie:100"}, {40, "movie:200"}});
  EXPECT_FALSE(offset_of(other_block));
  // The first ':' followed by a digit, after ':' without one.
  const auto later = tk::executable_with_strings({{1, "a: b:x"}, {2, "c:0000000123 d:9"}});
  EXPECT_EQ(offset_of(later), std::optional<uint32_t>(123));
  // At or past the end of the file.
  auto past = tk::executable_with_strings({{1, "m:99999999"}});
  EXPECT_FALSE(offset_of(past));
  EXPECT_NE(std::string(VEXLastError()).find("past its end"), std::string::npos) << VEXLastError();
  const auto huge = tk::executable_with_strings({{1, "m:99999999999"}});
  EXPECT_FALSE(offset_of(huge));
  // Not an executable at all; the sound source says it cannot open it.
  EXPECT_FALSE(offset_of(std::vector<uint8_t>(300, 'M')));
  tk::write_file(dir.file("none.exe"), none);
  SFILE *s = SFileOpen(dir.file("none.exe").c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
  EXPECT_EQ(s, nullptr);
}

// Offsets into the image, found from its own headers.
struct Layout {
  size_t resource_rva_at = 0;    // data directory 2 of the optional header
  size_t rsrc_raw_pointer_at = 0; // of the section holding the resources
  size_t rsrc_raw_size_at = 0;
};

Layout layout_of(const std::vector<uint8_t> &image) {
  Layout l;
  const uint32_t pe = vex::util::le32(&image[0x3C]);
  const size_t opt = pe + 24;
  l.resource_rva_at = opt + 96 + 2 * 8;
  const uint32_t rva = vex::util::le32(&image[l.resource_rva_at]);
  const size_t sections = opt + vex::util::le16(&image[pe + 20]);
  for (uint32_t i = 0; i < vex::util::le16(&image[pe + 6]); ++i) {
    const size_t s = sections + 40 * size_t{i};
    const uint32_t va = vex::util::le32(&image[s + 12]);
    if (rva >= va && rva < va + vex::util::le32(&image[s + 8])) {
      l.rsrc_raw_size_at = s + 16;
      l.rsrc_raw_pointer_at = s + 20;
    }
  }
  return l;
}

TEST_F(EmbeddedMovie, ResourceOffsetsOutsideTheFileAreRefused) {
  uint32_t at = 0;
  const auto good = tk::executable_with_movie(std::vector<uint8_t>(64, 7), &at);
  ASSERT_EQ(offset_of(good), std::optional<uint32_t>(at));
  const Layout l = layout_of(good);
  ASSERT_NE(l.rsrc_raw_pointer_at, 0u);
  struct Damage {
    size_t at;
    uint32_t value;
  };
  for (const Damage d : {Damage{l.resource_rva_at, 0x7FFFFF00}, Damage{l.rsrc_raw_pointer_at, 0x7FFFFF00},
                         Damage{l.rsrc_raw_size_at, 0xFFFFFFF0}, Damage{l.rsrc_raw_pointer_at, at - 8},
                         Damage{0x3C, 0xFFFFFFF0}}) {
    auto bad = good;
    vex::util::put_le32(&bad[d.at], d.value);
    const auto got = offset_of(bad);
    EXPECT_TRUE(!got || *got < bad.size()) << d.at;
  }
  auto bad = good;
  vex::util::put_le32(&bad[l.resource_rva_at], 0x7FFFFF00);
  EXPECT_FALSE(offset_of(bad));
  EXPECT_STREQ(VEXLastError(), "the resource directory lies outside the file");
}

// Every word of the headers and the resources set to extreme values, and
// the image cut at every length: never a crash or a read outside, and an
// offset only when it lies inside the file.
TEST_F(EmbeddedMovie, EveryDamagedWordAndEveryCut) {
  uint32_t at = 0;
  const auto good = tk::executable_with_movie(std::vector<uint8_t>(16, 1), &at);
  for (size_t i = 0; i + 4 <= at; i += 2)
    for (uint32_t v : {0u, 0xFFFFFFFFu, 0x80000000u, 0x7FFFu}) {
      auto bad = good;
      vex::util::put_le32(&bad[i], v);
      const auto got = offset_of(bad);
      ASSERT_TRUE(!got || *got < bad.size()) << i;
    }
  for (size_t n = 0; n < good.size(); ++n) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + n);
    const auto got = offset_of(cut);
    ASSERT_TRUE(!got || *got < n) << n;
  }
}

TEST(MovieOffset, DigitsAfterTheFirstColonWithADigit) {
  auto utf16 = [](const std::string &s) {
    std::vector<uint8_t> b;
    for (char c : s) {
      b.push_back(static_cast<uint8_t>(c));
      b.push_back(0);
    }
    return b;
  };
  using vex::executable::offset_in_strings;
  EXPECT_EQ(offset_in_strings(utf16("x:12y"), 100), std::optional<uint32_t>(12));
  EXPECT_EQ(offset_in_strings(utf16("::7"), 100), std::optional<uint32_t>(7));
  EXPECT_FALSE(offset_in_strings(utf16("x:100"), 100)) << "at the end is past it";
  EXPECT_EQ(offset_in_strings(utf16("x:4294967295"), 1ull << 33), std::optional<uint32_t>(4294967295u));
  EXPECT_FALSE(offset_in_strings(utf16("x:4294967296"), 1ull << 33));
  EXPECT_FALSE(offset_in_strings(utf16("x:"), 100));
  EXPECT_FALSE(offset_in_strings(std::vector<uint8_t>{':', 0, '5'}, 100)) << "half a character";
  // A ':' whose high byte is set is another character.
  EXPECT_FALSE(offset_in_strings(std::vector<uint8_t>{':', 1, '5', 0}, 100));
}

} // namespace
