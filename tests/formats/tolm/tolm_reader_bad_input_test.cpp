// The Tolm reader on damaged movies, and its read-ahead ring against the
// bytes of the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "tests/formats/tolm/tolm_movie_harness.h"
#include "testkit/util/source_of.h"
#include "util/limits.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace vex::tolm_reader_test {
namespace {

using namespace vex::formats::tolm;

void set32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get32(const std::vector<uint8_t> &b, size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

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

// Opens bytes; returns whether it opened and leaves the error text.
bool opens(const std::vector<uint8_t> &bytes, std::string *error = nullptr) {
  OpenMovie t(bytes);
  if (error)
    *error = TolmLastError();
  return t.get() != nullptr;
}

TEST(TolmReaderBadInput, MagicAndVersionLetters) {
  Sample s = sample();
  std::string error;
  ASSERT_TRUE(opens(s.bytes));
  for (const char *magic : {"TLMe", "TLMj", "TLMF", "tlmi", "KVNi", "TLM\0"}) {
    auto b = s.bytes;
    std::copy(magic, magic + 4, b.begin());
    EXPECT_FALSE(opens(b, &error)) << magic;
    EXPECT_EQ(error, "Not a Tolm file.");
  }
  // Shorter than a header.
  EXPECT_FALSE(opens(std::vector<uint8_t>(s.bytes.begin(), s.bytes.begin() + 43), &error));
  EXPECT_EQ(error, "shorter than a Tolm header");
  EXPECT_FALSE(opens({}, &error));
  EXPECT_EQ(error, "the file is empty");
  EXPECT_EQ(vex::util::last_status(), vex::util::Status::kNotThisFormat);
  // A missing file.
  EXPECT_EQ(TolmOpen(vex::testkit::source_of("/nonexistent/movie.tlm"), kSourceFlags), nullptr);
  EXPECT_STREQ(TolmLastError(), "no such file"); // the open of the file said why
  EXPECT_EQ(vex::util::last_status(), vex::util::Status::kNoFile);
  // The reason is the thread's: the flat interface's text is the same one.
  EXPECT_STREQ(VEXLastError(), "no such file");
}

TEST(TolmReaderBadInput, NoFramesYet) {
  Sample s = sample();
  set32(s.bytes, 8, 0);
  std::string error;
  EXPECT_FALSE(opens(s.bytes, &error));
  EXPECT_EQ(error, "The file doesn't contain any compressed frames yet.");
}

TEST(TolmReaderBadInput, HeaderFieldsThatContradictTheFile) {
  const Sample s = sample(2);
  const uint32_t size = static_cast<uint32_t>(s.bytes.size());
  const std::string w = std::to_string(get32(s.bytes, 20)), h = std::to_string(get32(s.bytes, 24));
  const struct {
    const char *what;
    size_t at;
    uint32_t value;
    std::string reason;
  } cases[] = {
      {"size past the end", 4, size - 7,
       "the header gives " + std::to_string(size + 1) + " bytes, the file holds " + std::to_string(size)},
      {"size before the index ends", 4, s.layout.index_at - 8,
       "the track tables and the frame index (2 tracks, 5 entries) run past the end of the movie"},
      {"more frames than the index has", 8, 6, "6 frames, but the frame index has 5 entries"},
      {"largest frame larger than the file", 12, size + 1,
       "the largest frame (" + std::to_string(size + 1) + " bytes) is larger than the movie"},
      {"index count past the file", 16, 0x40000000,
       "the track tables and the frame index (2 tracks, 1073741824 entries) run past the end of the movie"},
      {"width 0", 20, 0, "the picture is 0 x " + h + " pixels"},
      {"height 0", 24, 0, "the picture is " + w + " x 0 pixels"},
      {"width too big", 20, vex::util::kMaxSide + 1, "the picture is 32768 x " + h + " pixels"},
      {"height huge", 24, 0xFFFFFFF0, "the picture is " + w + " x 4294967280 pixels"},
      {"rate numerator 0", 28, 0, "the frame rate 0/1 has a zero"},
      {"rate denominator 0", 32, 0, "the frame rate 15/0 has a zero"},
      {"track count that does not fit", 40, 0x20000000,
       "the track tables and the frame index (536870912 tracks, 5 entries) run past the end of the movie"},
      {"track count all ones", 40, 0xFFFFFFFF,
       "the track tables and the frame index (4294967295 tracks, 5 entries) run past the end of the movie"},
  };
  for (const auto &c : cases) {
    auto b = s.bytes;
    set32(b, c.at, c.value);
    std::string error;
    EXPECT_FALSE(opens(b, &error)) << c.what;
    EXPECT_EQ(error, c.reason) << c.what;
    EXPECT_EQ(vex::util::last_status(), vex::util::Status::kDamaged) << c.what;
  }
  // Trailing bytes behind the movie are fine (a movie inside a bigger file).
  auto longer = s.bytes;
  longer.resize(longer.size() + 100, 0xEE);
  EXPECT_TRUE(opens(longer));
}

TEST(TolmReaderBadInput, IndexEntriesOutOfOrderOrOutOfBounds) {
  const Sample s = sample();
  const size_t index = s.layout.index_at;
  const uint32_t largest = get32(s.bytes, 12);
  const struct {
    const char *what;
    size_t entry;
    uint32_t value;
    std::string reason;
  } cases[] = {
      {"first frame inside the index", 0, static_cast<uint32_t>(index + 4),
       "frame index entry 0 points into the header or the index"},
      {"first frame inside the header", 0, 8, "frame index entry 0 points into the header or the index"},
      {"an entry going backwards", 3, s.layout.record_at[1], "frame index entry 3 points behind entry 2"},
      {"an entry past the end", 2, s.layout.size + 4, "frame index entry 2 points past the end of the movie"},
      {"the end past the file", 5, s.layout.size + 2, "frame index entry 5 points past the end of the movie"},
      {"a record longer than the largest frame", 2, s.layout.record_at[1] + largest + 2,
       "frame 2 (" + std::to_string(largest + 2) + " bytes) is larger than the largest frame the header gives"},
      {"an entry all ones", 4, 0xFFFFFFFF, "frame index entry 4 points past the end of the movie"},
  };
  for (const auto &c : cases) {
    auto b = s.bytes;
    set32(b, index + 4 * c.entry, c.value);
    std::string error;
    EXPECT_FALSE(opens(b, &error)) << c.what;
    EXPECT_EQ(error, c.reason) << c.what;
  }
  // A record just at the largest size is fine; a smaller largest size is not.
  auto b = s.bytes;
  uint32_t biggest = 0;
  for (size_t f = 0; f < 5; ++f)
    biggest = std::max(biggest, (f < 4 ? s.layout.record_at[f + 1] : s.layout.size) - s.layout.record_at[f]);
  ASSERT_EQ(biggest, largest);
  set32(b, 12, largest - 1);
  EXPECT_FALSE(opens(b));
}

TEST(TolmReaderBadInput, PacketLongerThanTheRecordRefusesTheFrame) {
  Sample s = sample(2);
  tk::RandomMovieOptions o;
  o.frames = 5;
  o.key_interval = 2;
  const auto pictures = model_movie(o).pictures;
  // Frame 3 (a key frame): track 2's length word claims the rest of the file.
  set32(s.bytes, s.layout.record_at[2] + 16, 0xFFFFFFF0);
  // Frame 4: track 1's claims one byte more than the record holds.
  const uint32_t record4 = s.layout.record_at[4] - s.layout.record_at[3];
  set32(s.bytes, s.layout.record_at[3], record4 - 3);
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
    set32(b, 4, static_cast<uint32_t>(n - 8));
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
} // namespace vex::tolm_reader_test
