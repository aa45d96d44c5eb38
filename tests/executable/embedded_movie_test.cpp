// Movies inside executables made by the MinGW-w64 binutils: the offset in
// the string table and the movie behind it read through the sound source;
// images that name no movie, offsets that lie outside the file, damaged
// headers and every cut. The reasons a user meets through the graphics
// source are rows of tests/gfile/bad_inputs/movie_rows.cpp.
#include <gtest/gtest.h>

#include "executable/embedded_movie.h"
#include "testkit/audio_codec/test_signals.h"
#include "testkit/executable/pe_fixture.h"
#include "testkit/flic/pattern.h"
#include "testkit/formats/korvane/korvane_read.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/formats/tolm/tolm_sound_track.h"
#include "testkit/sfile/sound_reading.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"
#include "util/status.h"
#include "vexutil/sfile.h"
#include "vexutil/util.h"

namespace {

namespace tk = vex::testkit;
namespace kw = vex::testkit::korvane;
namespace tt = vex::testkit::tolm;
using vex::executable::offset_in_strings;

std::optional<uint32_t> offset_of(const std::vector<uint8_t> &image) {
  vex::file::ByteSource bytes;
  bytes.open(image);
  return vex::executable::embedded_movie_offset(bytes);
}

std::vector<uint8_t> sound_of(const std::string &name) { return tk::read_sound(tk::open_sound(name).get(), {3000}); }

TEST(EmbeddedMovie, KorvaneAndTolmMoviesBehindTheImage) {
  tk::TempDir dir;
  // A Korvane movie with 16-bit delta sound, found behind the image under
  // a name in any case, its bytes a slice of the file.
  kw::MoviePlan plan;
  plan.tracks[0] = korvane_test::track(kw::SoundKind::delta, false, true, kw::walk_pcm(5, 1470, 3, false, true));
  const auto m = kw::write_korvane(kw::pattern_frames(tk::PatternAnimation({.width = 16, .height = 16, .frames = 5})),
                                   plan, dir.file("m.kvn"));
  ASSERT_TRUE(m.ok) << m.error;
  uint32_t at = 0;
  const auto exe = tk::executable_with_movie(m.file, &at);
  EXPECT_EQ(offset_of(exe), std::optional<uint32_t>(at)) << VEXLastError();
  const auto want = sound_of(dir.file("m.kvn"));
  ASSERT_FALSE(want.empty());
  for (const char *name : {"k.exe", "K2.ExE"}) {
    tk::write_file(dir.file(name), exe);
    EXPECT_EQ(sound_of(dir.file(name)), want) << name;
  }
  vex::file::ByteSource whole;
  ASSERT_EQ(whole.open(dir.file("k.exe").c_str()), vex::util::Status::kOk);
  const auto movie = vex::executable::embedded_movie(whole);
  ASSERT_TRUE(movie);
  EXPECT_EQ(std::tuple(movie->base(), movie->size()), std::tuple(uint64_t{at}, uint64_t{m.file.size()}));
  // A Tolm movie the same way, its offset after colons without a digit.
  tt::Movie tm = tt::random_movie({.frames = 4}).movie;
  tm.tracks.push_back(tt::coded_track(tk::sine_sweep(22050, 1, 22050 * 4 / 15, 300, 3000, 7000), {}, 4, 15, 1));
  const auto tolm = tt::movie_bytes(tm);
  tk::write_file(dir.file("t.tlm"), tolm);
  tk::write_file(dir.file("t.exe"), tk::executable_with_movie(tolm, &at, "x:y:"));
  const auto tolm_sound = sound_of(dir.file("t.tlm"));
  ASSERT_FALSE(tolm_sound.empty());
  EXPECT_EQ(sound_of(dir.file("t.exe")), tolm_sound);
}

TEST(EmbeddedMovie, OffsetIsTheFirstColonWithADigitInStringBlockOne) {
  using Strings = std::vector<std::pair<uint32_t, std::string>>;
  const std::tuple<Strings, std::optional<uint32_t>, std::string> rows[] = {
      {{}, std::nullopt, "the executable has no resources"},
      {{{1, "no offset here"}, {3, "nor 12345"}}, std::nullopt, "the executable's strings name no movie offset"},
      {{{16, "movie:100"}, {40, "movie:200"}}, std::nullopt, ""}, // only block 1 (strings 0-15) counts
      {{{1, "a: b:x"}, {2, "c:0000000123 d:9"}}, 123, ""},          // after ':' without a digit
      {{{1, "m:99999999"}}, std::nullopt, "past its end"},
      {{{1, "m:99999999999"}}, std::nullopt, ""}}; // past 32 bits
  for (const auto &[strings, want, reason] : rows) {
    vex::util::clear_reason();
    EXPECT_EQ(offset_of(tk::executable_with_strings(strings)), want) << (strings.empty() ? "" : strings[0].second);
    EXPECT_NE(std::string(VEXLastError()).find(reason), std::string::npos) << VEXLastError();
  }
  EXPECT_FALSE(offset_of(std::vector<uint8_t>(300, 'M'))); // not an executable at all
  // The sound source cannot open an image that names no movie.
  tk::TempDir dir;
  tk::write_file(dir.file("none.exe"), tk::executable_with_strings({}));
  SFILE *s = SFileOpen(dir.file("none.exe").c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
  EXPECT_EQ(s, nullptr);
  SFileClose(s);

  auto utf16 = [](const std::string &s) {
    std::vector<uint8_t> b;
    for (char c : s)
      b.insert(b.end(), {static_cast<uint8_t>(c), 0});
    return b;
  };
  EXPECT_EQ(offset_in_strings(utf16("x:12y"), 100), std::optional<uint32_t>(12));
  EXPECT_EQ(offset_in_strings(utf16("::7"), 100), std::optional<uint32_t>(7));
  EXPECT_FALSE(offset_in_strings(utf16("x:100"), 100)) << "at the end is past it";
  EXPECT_EQ(offset_in_strings(utf16("x:4294967295"), 1ull << 33), std::optional<uint32_t>(4294967295u));
  EXPECT_FALSE(offset_in_strings(utf16("x:4294967296"), 1ull << 33));
  EXPECT_FALSE(offset_in_strings(utf16("x:"), 100));
  EXPECT_FALSE(offset_in_strings(std::vector<uint8_t>{':', 0, '5'}, 100)) << "half a character";
  EXPECT_FALSE(offset_in_strings(std::vector<uint8_t>{':', 1, '5', 0}, 100)) << "a ':' whose high byte is set";
}

// Resource offsets pointing outside the file, found from the image's own
// headers; then every word of the headers and the resources set to
// extreme values and the image cut at every length: never a crash or a
// read outside, and an offset only when it lies inside the file.
TEST(EmbeddedMovie, DamagedHeadersAndEveryCut) {
  uint32_t at = 0;
  const auto good = tk::executable_with_movie(std::vector<uint8_t>(64, 7), &at);
  ASSERT_EQ(offset_of(good), std::optional<uint32_t>(at));
  const uint32_t pe = tk::le32_at(good, 0x3C);
  const size_t opt = pe + 24, resource_rva_at = opt + 96 + 2 * 8; // data directory 2
  const uint32_t rva = tk::le32_at(good, resource_rva_at);
  size_t raw_pointer_at = 0, raw_size_at = 0; // of the section holding the resources
  for (uint32_t i = 0; i < tk::le16_at(good, pe + 6); ++i) {
    const size_t s = opt + tk::le16_at(good, pe + 20) + 40 * size_t{i};
    if (rva >= tk::le32_at(good, s + 12) && rva < tk::le32_at(good, s + 12) + tk::le32_at(good, s + 8))
      raw_size_at = s + 16, raw_pointer_at = s + 20;
  }
  ASSERT_NE(raw_pointer_at, 0u);
  const auto inside = [](const std::vector<uint8_t> &image, size_t n) {
    const auto got = offset_of(image);
    return !got || *got < n;
  };
  for (const auto &[where, value] : {std::pair{resource_rva_at, 0x7FFFFF00u}, {raw_pointer_at, 0x7FFFFF00u},
                                     {raw_size_at, 0xFFFFFFF0u}, {raw_pointer_at, at - 8}, {size_t{0x3C}, 0xFFFFFFF0u}}) {
    auto bad = good;
    tk::set_le32(bad, where, value);
    EXPECT_TRUE(inside(bad, bad.size())) << where;
  }
  for (size_t i = 0; i + 4 <= at; i += 2)
    for (uint32_t v : {0u, 0xFFFFFFFFu, 0x80000000u, 0x7FFFu}) {
      auto bad = good;
      tk::set_le32(bad, i, v);
      ASSERT_TRUE(inside(bad, bad.size())) << i;
    }
  for (size_t n = 0; n < good.size(); ++n)
    ASSERT_TRUE(inside({good.begin(), good.begin() + static_cast<ptrdiff_t>(n)}, n)) << n;
}

} // namespace
