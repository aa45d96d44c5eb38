// The Tolm reader on damaged movies. The reasons a user reads through the
// graphics source are rows of tests/gfile/bad_inputs/tolm_rows.cpp; here
// the statuses, the reader's own reasons where that source answers first,
// damaged records met while playing, a file cut while open, and every
// truncation and random damage.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "tests/formats/tolm/tolm_test_util.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace vex::tolm_test {
namespace {

using testkit::set_le32;
using util::Status;

// Five frames (key frames 1, 3, 5) and `tracks` tracks of 12-byte packets.
struct Sample {
  tk::Movie movie;
  tk::MovieLayout layout;
  Bytes bytes;
  explicit Sample(uint32_t tracks) : movie(tk::cached_random_movie(options(48, 32, 5, 2)).movie) {
    for (uint32_t i = 0; i < tracks; ++i)
      movie.tracks.push_back({0, 0, 0, std::vector<Bytes>(5, Bytes(12, 3))});
    bytes = tk::movie_bytes(movie, &layout);
  }
  Bytes with(size_t at, uint32_t value) const {
    Bytes b = bytes;
    set_le32(b, at, value);
    return b;
  }
};

TEST(TolmReaderBadInput, StatusesAndReasonsAtTheReader) {
  const Sample s(2);
  Bytes magic = s.bytes, longer = s.bytes;
  std::copy_n("TLMe", 4, magic.begin());
  longer.resize(longer.size() + 100, 0xEE);
  uint32_t biggest = 0;
  for (size_t f = 0; f < 5; ++f)
    biggest = std::max(biggest, (f < 4 ? s.layout.record_at[f + 1] : s.layout.size) - s.layout.record_at[f]);
  ASSERT_EQ(biggest, testkit::le32_at(s.bytes, 12));
  const struct {
    const char *name;
    Bytes bytes;
    Status status;
    const char *reason; // null: not checked
  } rows[] = {
      {"the sample", s.bytes, Status::kOk, ""}, // its largest record is exactly the header's largest frame
      {"trailing bytes (a movie inside a bigger file)", longer, Status::kOk, ""},
      {"version letter e", magic, Status::kNotThisFormat, "Not a Tolm file."},
      {"empty", {}, Status::kNotThisFormat, "the file is empty"},
      {"43 bytes", Bytes(s.bytes.begin(), s.bytes.begin() + 43), Status::kNotThisFormat, "shorter than a Tolm header"},
      {"size field 0", s.with(4, 0), Status::kDamaged, nullptr},
      {"6 frames", s.with(8, 6), Status::kDamaged, nullptr},
      {"width 0", s.with(20, 0), Status::kDamaged, nullptr},
      {"rate 0", s.with(28, 0), Status::kDamaged, nullptr},
      {"scale 0", s.with(32, 0), Status::kDamaged, nullptr},
      {"no frames", s.with(8, 0), Status::kDamaged, nullptr},
      {"index entry 0 in the header", s.with(s.layout.index_at, 8), Status::kDamaged, nullptr},
      {"tracks all ones", s.with(40, 0xFFFFFFFF), Status::kDamaged, nullptr},
      {"index entry 3 behind entry 2", s.with(s.layout.index_at + 12, s.layout.record_at[1]), Status::kDamaged,
       nullptr},
      {"the largest frame one byte short", s.with(12, biggest - 1), Status::kDamaged, nullptr},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    OpenMovie t(r.bytes);
    EXPECT_EQ(t.get() != nullptr, r.status == Status::kOk);
    EXPECT_EQ(util::last_status(), r.status);
    if (r.reason) {
      EXPECT_STREQ(TolmLastError(), r.reason);
    }
  }
  EXPECT_EQ(TolmOpen(testkit::source_of("/nonexistent/movie.tlm"), kSourceFlags), nullptr);
  EXPECT_STREQ(TolmLastError(), "no such file"); // the open of the file said why
  EXPECT_EQ(util::last_status(), Status::kNoFile);
  EXPECT_STREQ(VEXLastError(), "no such file"); // the thread's reason is the flat interface's
}

TEST(TolmReaderBadInput, PacketLongerThanTheRecordRefusesTheFrame) {
  Sample s(2);
  const auto &pictures = tk::cached_random_movie(options(48, 32, 5, 2)).pictures;
  // Frame 3 (a key frame): track 2's length word claims the rest of the file.
  set_le32(s.bytes, s.layout.record_at[2] + 16, 0xFFFFFFF0);
  // Frame 4: track 1's claims one byte more than the record holds.
  set_le32(s.bytes, s.layout.record_at[3], s.layout.record_at[4] - s.layout.record_at[3] - 3);
  OpenMovie t(s.bytes);
  ASSERT_NE(t.get(), nullptr);
  const auto play = [&](int32_t refused, size_t picture) {
    EXPECT_EQ(TolmDoFrame(t.get()), refused);
    EXPECT_EQ(copy_frame(t.get()), tk::expected_frame(s.movie, pictures[picture]));
    TolmNextFrame(t.get());
  };
  play(0, 0);
  play(0, 1);
  EXPECT_EQ(TolmDoFrame(t.get()), 1);
  EXPECT_STREQ(TolmLastError(), "a sound packet of frame 3 runs past its record");
  const uint8_t *p;
  uint32_t n;
  EXPECT_EQ(TolmGetPacket(t.get(), 0, &p, &n), 1);
  EXPECT_EQ(TolmGetPacket(t.get(), 1, &p, &n), 0);
  EXPECT_EQ(copy_frame(t.get()), tk::expected_frame(s.movie, pictures[1])); // the picture of frame 2 stays
  TolmNextFrame(t.get());
  play(1, 1);
  // Frame 5, a key frame, is whole again. A damaged record is not a read
  // error: the flag stays clear.
  play(0, 4);
  EXPECT_EQ(t->read_error, 0);
  // Seeking back to a key frame works around the damage.
  TolmGoto(t.get(), 2, 0);
  play(0, 1);
}

// The file loses its tail while open: the short read sets the read-error
// flag, and from then on every frame reports it.
TEST(TolmReaderBadInput, ShortReadIsStickyReadError) {
  tk::Movie m = tk::cached_random_movie(options(96, 64, 12, 3)).movie;
  m.rate_num = 1; // a ring smaller than the file: later frames come from the file
  tk::MovieLayout layout;
  OpenMovie t(tk::movie_bytes(m, &layout));
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
  EXPECT_GE(errors, 3); // frames 10, 11, 12 at least
  EXPECT_LE(errors, 12);
  EXPECT_EQ(TolmDoFrame(t.get()), 1);
  TolmGoto(t.get(), 5, 0); // still ends
  EXPECT_EQ(t->current, 5);
}

// Every truncation and random byte changes: the open fails or the whole
// movie plays, seeks and copies (ASan watches the buffers).
TEST(TolmReaderBadInput, TruncationsAndRandomDamageNeverGoOutOfBounds) {
  const Sample s(2);
  const auto play = [](const Bytes &b) {
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
  for (size_t n = 0; n < s.bytes.size(); n += 31) // the size field contradicts every shorter file
    EXPECT_FALSE(play(Bytes(s.bytes.begin(), s.bytes.begin() + n))) << n;
  for (size_t n = 44; n < s.bytes.size(); n += 17) { // with the size field made to agree, the index must notice
    Bytes b(s.bytes.begin(), s.bytes.begin() + n);
    set_le32(b, 4, static_cast<uint32_t>(n - 8));
    EXPECT_FALSE(play(b)) << n;
  }
  std::mt19937 rng(11);
  int played = 0;
  for (int i = 0; i < 150; ++i) {
    auto b = s.bytes;
    for (int k = 1 + static_cast<int>(rng() % 8); k > 0; --k)
      b[rng() % b.size()] = static_cast<uint8_t>(rng());
    played += play(b);
  }
  EXPECT_GT(played, 50); // most damage lands in frame data, which still opens
}

} // namespace
} // namespace vex::tolm_test
