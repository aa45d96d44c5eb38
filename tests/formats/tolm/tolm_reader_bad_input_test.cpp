// The Tolm reader on damaged movies, and its read-ahead ring against the
// bytes of the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "tests/formats/tolm/tolm_test_util.h"
#include "testkit/util/source_of.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace vex::tolm_test {
namespace {

using namespace vex::formats::tolm;

using vex::testkit::le32_at;
using vex::testkit::set_le32;

struct Sample {
  tk::Movie movie;
  tk::MovieLayout layout;
  std::vector<uint8_t> bytes;
};

Sample sample(uint32_t tracks = 1) {
  tk::RandomMovieOptions o;
  o.frames = 5;
  o.key_interval = 2;
  Sample s{model_movie(o).movie, {}, {}};
  for (uint32_t i = 0; i < tracks; ++i) {
    tk::MovieTrack t;
    t.packets.assign(5, std::vector<uint8_t>(12, 3));
    s.movie.tracks.push_back(t);
  }
  s.bytes = tk::movie_bytes(s.movie, &s.layout);
  return s;
}

bool opens(const std::vector<uint8_t> &bytes) { return OpenMovie(bytes).get() != nullptr; }

// The status of the refusals (their reasons are rows of
// tests/gfile/bad_inputs/tolm_rows.cpp), and what the reader takes.
TEST(TolmReaderBadInput, StatusesAndWhatIsTaken) {
  Sample s = sample(2);
  ASSERT_TRUE(opens(s.bytes));
  auto b = s.bytes;
  std::copy_n("TLMe", 4, b.begin());
  EXPECT_FALSE(opens(b));
  EXPECT_EQ(vex::util::last_status(), vex::util::Status::kNotThisFormat);
  EXPECT_FALSE(opens({}));
  EXPECT_EQ(vex::util::last_status(), vex::util::Status::kNotThisFormat);
  for (auto [at, value] : {std::pair<size_t, uint32_t>{4, 0}, {8, 6}, {20, 0}, {28, 0}, {40, 0xFFFFFFFF},
                           {s.layout.index_at + 12, s.layout.record_at[1]}}) {
    b = s.bytes;
    set_le32(b, at, value);
    EXPECT_FALSE(opens(b)) << at;
    EXPECT_EQ(vex::util::last_status(), vex::util::Status::kDamaged) << at;
  }
  EXPECT_EQ(TolmOpen(vex::testkit::source_of("/nonexistent/movie.tlm"), kSourceFlags), nullptr);
  EXPECT_STREQ(TolmLastError(), "no such file"); // the open of the file said why
  EXPECT_EQ(vex::util::last_status(), vex::util::Status::kNoFile);
  EXPECT_STREQ(VEXLastError(), "no such file"); // the thread's reason is the flat interface's
  // Trailing bytes behind the movie are fine (a movie inside a bigger file),
  // and so is a record just at the largest size.
  b = s.bytes;
  b.resize(b.size() + 100, 0xEE);
  EXPECT_TRUE(opens(b));
  uint32_t biggest = 0;
  for (size_t f = 0; f < 5; ++f)
    biggest = std::max(biggest, (f < 4 ? s.layout.record_at[f + 1] : s.layout.size) - s.layout.record_at[f]);
  EXPECT_EQ(biggest, le32_at(s.bytes, 12));
}

TEST(TolmReaderBadInput, PacketLongerThanTheRecordRefusesTheFrame) {
  Sample s = sample(2);
  tk::RandomMovieOptions o;
  o.frames = 5;
  o.key_interval = 2;
  const auto pictures = model_movie(o).pictures;
  // Frame 3 (a key frame): track 2's length word claims the rest of the file.
  set_le32(s.bytes, s.layout.record_at[2] + 16, 0xFFFFFFF0);
  // Frame 4: track 1's claims one byte more than the record holds.
  const uint32_t record4 = s.layout.record_at[4] - s.layout.record_at[3];
  set_le32(s.bytes, s.layout.record_at[3], record4 - 3);
  OpenMovie t(s.bytes);
  ASSERT_NE(t.get(), nullptr);
  const auto first = [&] {
    TolmDoFrame(t.get());
    return copy_frame(t.get());
  }();
  EXPECT_EQ(first, expected_frame(s.movie, pictures[0]));
  TolmNextFrame(t.get());
  EXPECT_EQ(TolmDoFrame(t.get()), 0);
  TolmNextFrame(t.get());
  EXPECT_EQ(TolmDoFrame(t.get()), 1);
  EXPECT_STREQ(TolmLastError(), "a sound packet of frame 3 runs past its record");
  const uint8_t *p;
  uint32_t n;
  EXPECT_EQ(TolmGetPacket(t.get(), 0, &p, &n), 1);
  EXPECT_EQ(TolmGetPacket(t.get(), 1, &p, &n), 0);
  // The picture of frame 2 stays.
  EXPECT_EQ(copy_frame(t.get()), expected_frame(s.movie, pictures[1]));
  TolmNextFrame(t.get());
  EXPECT_EQ(TolmDoFrame(t.get()), 1);
  // Frame 5, a key frame, is whole again. A damaged record is not a read
  // error: the flag stays clear.
  TolmNextFrame(t.get());
  EXPECT_EQ(TolmDoFrame(t.get()), 0);
  EXPECT_EQ(copy_frame(t.get()), expected_frame(s.movie, pictures[4]));
  EXPECT_EQ(t->read_error, 0);
  // Seeking to frame 5 and back to a key frame works around the damage.
  TolmGoto(t.get(), 2, 0);
  TolmDoFrame(t.get());
  EXPECT_EQ(copy_frame(t.get()), expected_frame(s.movie, pictures[1]));
}

// The file loses its tail while open: the short read sets the read-error
// flag, and from then on every frame reports it.
TEST(TolmReaderBadInput, ShortReadIsStickyReadError) {
  tk::RandomMovieOptions o;
  o.width = 96;
  o.height = 64;
  o.frames = 12;
  o.key_interval = 3;
  tk::Movie m = model_movie(o).movie;
  m.rate_num = 1; // a ring smaller than the file: later frames come from the file
  tk::MovieLayout layout;
  const auto bytes = tk::movie_bytes(m, &layout);
  OpenMovie t(bytes);
  ASSERT_NE(t.get(), nullptr);
  ASSERT_EQ(t->image, nullptr);
  std::filesystem::resize_file(t.path(), layout.record_at[9] + 10);
  int errors = 0;
  for (int f = 0; f < 12; ++f) {
    errors += TolmDoFrame(t.get());
    TolmNextFrame(t.get());
  }
  EXPECT_EQ(t->read_error, 1);
  EXPECT_EQ(t->io.read_error, 1);
  EXPECT_GE(errors, 3);  // frames 10, 11, 12 at least
  EXPECT_LE(errors, 12);
  EXPECT_EQ(TolmDoFrame(t.get()), 1);
  TolmGoto(t.get(), 5, 0); // still ends
  EXPECT_EQ(t->current, 5);
}

// Every truncation and a few thousand random byte changes: the open fails
// or the whole movie plays, seeks and copies (ASan watches the buffers).
TEST(TolmReaderBadInput, TruncationsAndRandomDamageNeverGoOutOfBounds) {
  const Sample s = sample(2);
  const auto play = [](const std::vector<uint8_t> &b) {
    OpenMovie t(b);
    if (!t.get())
      return false;
    std::vector<uint32_t> out(size_t{t->output_width} * t->output_height);
    for (uint32_t f = 0; f < t->frames; ++f) {
      TolmDoFrame(t.get());
      TolmCopyToBuffer(t.get(), out.data(), static_cast<int32_t>(4 * t->output_width),
                       static_cast<int32_t>(t->output_height), 0, 0, 5);
      TolmNextFrame(t.get());
    }
    TolmGoto(t.get(), static_cast<int32_t>(t->frames), 0);
    EXPECT_EQ(t->current, static_cast<int32_t>(t->frames));
    TolmGoto(t.get(), 1, 0);
    EXPECT_EQ(t->current, 1);
    return true;
  };
  int opened = 0;
  for (size_t n = 0; n < s.bytes.size(); n += 31)
    opened += play(std::vector<uint8_t>(s.bytes.begin(), s.bytes.begin() + n));
  EXPECT_EQ(opened, 0); // the size field always contradicts a shorter file
  // The same with the size field made to agree: now the index must notice.
  for (size_t n = 44; n < s.bytes.size(); n += 17) {
    std::vector<uint8_t> b(s.bytes.begin(), s.bytes.begin() + n);
    set_le32(b, 4, static_cast<uint32_t>(n - 8));
    EXPECT_FALSE(play(b)) << n;
  }
  std::mt19937 rng(11);
  int played = 0;
  for (int i = 0; i < 150; ++i) {
    auto b = s.bytes;
    const int changes = 1 + static_cast<int>(rng() % 8);
    for (int k = 0; k < changes; ++k)
      b[rng() % b.size()] = static_cast<uint8_t>(rng());
    played += play(b);
  }
  EXPECT_GT(played, 50); // most damage lands in frame data, which still opens
}

} // namespace
} // namespace vex::tolm_test
