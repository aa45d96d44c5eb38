// The Tolm reader over movies from the testkit writer: header and tables,
// playback of every kind of movie from every kind of source, seeking, the
// key-frame search, the copy's placement and flags, sound-track selection,
// and damaged movies. (Decoding the sound packets is the sound source's
// part: tests/sfile/sfile_movie_test.cpp.) The reasons a user reads through
// the graphics source are rows of tests/gfile/bad_inputs/tolm_rows.cpp;
// here the statuses, the reader's own reasons where that source answers
// first, damaged records met while playing, a file cut while open, and
// every truncation.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "file/byte_source.h"
#include "tests/formats/tolm/tolm_test_util.h"
#include "util/status.h"
#include "vexutil/util.h"
#include "vexutil/yuv.h"

namespace vex::tolm_test {
namespace {

using Reader = std::unique_ptr<TOLM, decltype(&TolmClose)>;

tk::Movie packet_movie(const tk::RandomMovieOptions &o, uint32_t tracks) {
  tk::Movie m = tk::cached_random_movie(o).movie;
  tk::add_packet_tracks(m, tracks);
  return m;
}

TEST(TolmReaderOpen, HeaderTablesAndGeometry) {
  tk::Movie m = packet_movie(options(17, 9, 5), 3); // an odd size
  m.rate_num = 30000;
  m.rate_den = 1001;
  OpenMovie t(tk::movie_bytes(m));
  ASSERT_NE(t.get(), nullptr) << TolmLastError();
  EXPECT_STREQ(TolmLastError(), "");
  // The rate rounds to (30000 + 500) / 1001; the open stands at frame 1.
  EXPECT_EQ(std::vector<uint32_t>({t->frames, t->output_width, t->output_height, t->rate_num, t->rate_den,
                                   t->rounded_rate, t->tracks, uint32_t(t->current)}),
            std::vector<uint32_t>({5, 17, 9, 30000, 1001, 30, 3, 1}));
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(TolmGetTrackFormat(t.get(), i), m.tracks[i].format);
    EXPECT_EQ(TolmGetTrackID(t.get(), i), 100 + 7 * i);
  }
  EXPECT_EQ(t->track_sizes[0], 44u); // the largest decoded-size word: 40 + the last frame with a packet
  EXPECT_EQ(TolmGetTrackFormat(t.get(), 3), 0u);
  EXPECT_EQ(TolmGetTrackID(t.get(), 3), 0u);
  EXPECT_EQ(TolmGetTrackFormat(nullptr, 0), 0u);
}

// Every row plays its movie twice through, from frame 1: each frame's
// packets and picture as written, whatever the version letter, the
// scaling mode of the file and of the open, alpha, grey, the number of
// tracks, the ring (a slow movie) or a preloaded image (a fast one), and
// whether the bytes come from a file, from memory or from inside a bigger
// file.
TEST(TolmReaderPlayback, EveryFrameTwiceThroughFromEveryKindOfSource) {
  enum Source { kFile, kMemory, kInside };
  struct Row {
    std::string name;
    tk::RandomMovieOptions o;
    uint32_t tracks = 0, rate = 15, file_mode = 0, open_flags = kSourceFlags;
    Source source = kFile;
    uint32_t used_mode = 0, out_w = 0, out_h = 0; // the scaling the copy applies; 0: the movie's size
  };
  std::vector<Row> rows;
  for (char v : {'f', 'g', 'h', 'i'}) {
    rows.push_back({std::string("version ") + v, options(48, 32, 3, 0, uint32_t(v))});
    rows.back().o.version = v;
  }
  rows.push_back({"key frames every 4", options(40, 24, 9, 4)});
  for (uint32_t rate : {1u, 30u})
    for (Source s : {kFile, kMemory}) // one frame a second: a ring smaller than the file
      rows.push_back({"rate " + std::to_string(rate) + (s == kFile ? " file" : " memory"), options(96, 64, 14, 5), 0,
                      rate, 0, s == kFile ? kSourceFlags : 0x8004000, s});
  for (uint32_t tracks : {0u, 1u, 4u})
    rows.push_back({std::to_string(tracks) + " tracks", options(48, 32, 6), tracks});
  rows.push_back({"grey", options(48, 32, 2)});
  rows.back().o.grey = true;
  for (uint32_t flags : {kSourceFlags, 0x8004000u}) { // without the alpha flag: the plain copy
    rows.push_back({"alpha, open flags " + std::to_string(flags), options(48, 32, 2), 0, 15, 0, flags});
    rows.back().o.alpha = true;
  }
  rows.push_back({"inside a bigger file", options(48, 32, 5, 2), 2, 15, 0, 0x8004000, kInside});
  const struct {
    uint32_t file_mode, open_mode, used, out_w, out_h;
  } scaling[] = {{0, 0, 0, 21, 13}, {1, 0, 1, 21, 26}, {0, 2, 2, 21, 26}, {3, 0, 3, 42, 13}, {0, 4, 4, 42, 26},
                 {5, 0, 5, 42, 26}, {4, 7, 0, 21, 13}, {7, 0, 0, 21, 13}, {1, 3, 3, 42, 13}};
  for (const auto &s : scaling)
    rows.push_back({"scaling, file " + std::to_string(s.file_mode) + " open " + std::to_string(s.open_mode),
                    options(21, 13, 1), 0, 15, s.file_mode, kSourceFlags | s.open_mode << 28, kFile, s.used, s.out_w,
                    s.out_h});
  for (const Row &r : rows) {
    SCOPED_TRACE(r.name);
    tk::Movie m = packet_movie(r.o, r.tracks);
    m.rate_num = r.rate;
    m.video_flags |= r.file_mode << 28;
    const auto movie = tk::movie_bytes(m);
    Bytes bytes = movie;
    if (r.source == kInside) { // 1234 bytes before the movie, 300 after
      bytes.assign(1234, 0x5A);
      bytes.insert(bytes.end(), movie.begin(), movie.end());
      bytes.insert(bytes.end(), 300, 0x77);
    }
    testkit::TempDir dir;
    testkit::write_file(dir.file("m.tlm"), bytes);
    file::ByteSource source;
    if (r.source == kMemory)
      source.open(bytes);
    else
      source = testkit::source_of(dir.file("m.tlm"));
    Reader t(TolmOpen(r.source == kInside ? source.slice(1234) : std::move(source), r.open_flags), TolmClose);
    ASSERT_NE(t, nullptr) << TolmLastError();
    if (r.source == kInside) { // the caller's source is still open and usable
      uint8_t first = 0;
      EXPECT_TRUE(source.read_exact(0, &first, 1));
      EXPECT_EQ(first, 0x5A);
    }
    const char v = r.o.version;
    const uint32_t out_w = r.out_w ? r.out_w : r.o.width, out_h = r.out_h ? r.out_h : r.o.height;
    EXPECT_EQ(t->output_width, out_w);
    EXPECT_EQ(t->output_height, out_h);
    const uint32_t flags = 5 | r.used_mode << 28 | (v == 'f' || v == 'g' ? YUV_SWAP_CHROMA : 0) |
                           (r.o.grey ? YUV_GREY : 0);
    const bool alpha = r.o.alpha && (r.open_flags & kTolmOpenAlpha);
    for (uint32_t lap = 0; lap < 2; ++lap)
      for (uint32_t f = 0; f < r.o.frames; ++f) {
        SCOPED_TRACE(testing::Message() << "lap " << lap << " frame " << f + 1);
        ASSERT_EQ(t->current, int32_t(f + 1));
        for (uint32_t i = 0; i <= r.tracks; ++i) {
          const uint8_t *p = nullptr;
          uint32_t n = 0;
          ASSERT_EQ(TolmGetPacket(t.get(), i, &p, &n), i < r.tracks) << "track " << i;
          if (i < r.tracks) {
            ASSERT_EQ(Bytes(p, p + n), m.tracks[i].packets[f]) << "track " << i;
          }
        }
        EXPECT_EQ(TolmDoFrame(t.get()), 0);
        EXPECT_EQ(copy_frame(t.get()), tk::blit_picture(tk::cached_random_movie(r.o).pictures[f], r.o.width, r.o.height,
                                                        out_w, out_h, flags, alpha));
        TolmNextFrame(t.get());
      }
  }
}

TEST(TolmReaderPlayback, DecodesOncePerRecordAndCanWalkWithoutVideo) {
  const tk::ModelMovie &mm = tk::cached_random_movie(options(48, 32, 3));
  OpenMovie t(tk::movie_bytes(mm.movie));
  ASSERT_NE(t.get(), nullptr);
  EXPECT_EQ(TolmDoFrame(t.get()), 0);
  EXPECT_EQ(TolmDoFrame(t.get()), 0); // nothing new was read: frame 1 is not decoded over itself
  EXPECT_EQ(copy_frame(t.get()), tk::expected_frame(mm.movie, mm.pictures[0]));
  // With video off the records are walked, the picture stays.
  TolmSetVideoDecoding(t.get(), 0);
  TolmNextFrame(t.get());
  EXPECT_EQ(TolmDoFrame(t.get()), 0);
  EXPECT_EQ(copy_frame(t.get()), tk::expected_frame(mm.movie, mm.pictures[0]));
  EXPECT_EQ(TolmDoFrame(nullptr), 0);
}

TEST(TolmReaderSeek, GotoClampsReachesEveryFrameAndDecodesFromTheKeyFrameOn) {
  tk::ModelMovie mm = tk::cached_random_movie(options(33, 20, 12, 5, 7)); // key frames 1, 6, 11
  mm.movie.rate_num = 1; // a ring smaller than the file: seeks move through it
  OpenMovie t(tk::movie_bytes(mm.movie));
  ASSERT_NE(t.get(), nullptr);
  const auto expect_frame = [&](int f) {
    ASSERT_EQ(t->current, f);
    TolmDoFrame(t.get());
    EXPECT_EQ(copy_frame(t.get()), tk::expected_frame(mm.movie, mm.pictures[f - 1])) << "frame " << f;
  };
  TolmGoto(t.get(), 9, 0); // frames 6, 7, 8 decoded; 9 read
  expect_frame(9);
  TolmGoto(t.get(), 10, 0); // one on: 9 is decoded already
  expect_frame(10);
  // Past either end: clamped.
  TolmGoto(t.get(), 40, 0);
  expect_frame(12);
  TolmGoto(t.get(), -3, 0);
  expect_frame(1);
  // A quick goto reads the record only; frame 0 reads frame 1.
  TolmGoto(t.get(), 6, 1); // a key frame decodes right on its own
  expect_frame(6);
  TolmGoto(t.get(), 0, 1);
  EXPECT_EQ(t->current, 1);
  // Backwards past a key frame, the same frame, one on, then anywhere.
  std::mt19937 rng(3);
  std::vector<int> targets = {12, 3, 3, 4};
  while (targets.size() < 60)
    targets.push_back(std::uniform_int_distribution<int>(1, 12)(rng));
  for (int f : targets) {
    TolmGoto(t.get(), f, 0);
    expect_frame(f);
  }
}

// Key frames 1, 4, 5, 9 of 10, key bits set by hand.
TEST(TolmReaderSeek, KeyFrameBackwardsForwardsAndNearest) {
  tk::Movie m = tk::cached_random_movie(options(48, 32, 10, 1)).movie;
  for (int f = 0; f < 10; ++f)
    m.frames[f].key = f == 0 || f == 3 || f == 4 || f == 8;
  OpenMovie t(tk::movie_bytes(m));
  ASSERT_NE(t.get(), nullptr);
  const struct {
    int f;
    uint32_t flags;
    int want;
  } cases[] = {
      {4, 0, 4}, {4, 0x80, 1}, {7, 0, 5},    {3, 0, 1},    {2, 0, 1},  {1, 0, 1}, {1, 0x80, 0},
      {10, 0, 9}, {2, 1, 4},   {5, 1, 5},    {5, 0x81, 9}, {9, 0x81, 0}, {10, 1, 0}, {7, 2, 5},
      {8, 2, 9}, {6, 2, 5},    {3, 2, 4},    {2, 2, 1},    {9, 0x82, 5},
  };
  for (const auto &c : cases)
    EXPECT_EQ(TolmGetKeyFrame(t.get(), c.f, c.flags), c.want) << c.f << " flags " << c.flags;
}

TEST(TolmReaderCopy, BottomUpPlacedTypesAndRefusals) {
  tk::RandomMovieOptions o = options(19, 11, 1);
  o.alpha = true;
  const tk::ModelMovie &mm = tk::cached_random_movie(o);
  OpenMovie t(tk::movie_bytes(mm.movie));
  ASSERT_NE(t.get(), nullptr);
  TolmDoFrame(t.get());
  const auto top_down = tk::expected_frame(mm.movie, mm.pictures[0]);
  std::vector<uint32_t> out(19 * 11, 0);
  EXPECT_EQ(TolmCopyToBuffer(t.get(), out.data(), -19 * 4, 11, 0, 0, 5), 0);
  for (int y = 0; y < 11; ++y)
    EXPECT_TRUE(std::equal(out.begin() + 19 * (10 - y), out.begin() + 19 * (11 - y), top_down.begin() + 19 * y))
        << "row " << y;
  // Placed at (2, 3) in a bigger buffer; the rest is untouched.
  std::vector<uint32_t> big(30 * 20, 7);
  TolmCopyToBuffer(t.get(), big.data(), 30 * 4, 20, 2, 3, 5);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      const bool inside = x >= 2 && x < 21 && y >= 3 && y < 14;
      ASSERT_EQ(big[30 * y + x], inside ? top_down[19 * (y - 3) + (x - 2)] : 7u) << x << "," << y;
    }
  // Type 3 leaves bits 24-31 clear: no alpha.
  const auto plain = copy_frame(t.get(), 3);
  EXPECT_EQ(plain, tk::blit_picture(mm.pictures[0], 19, 11, 19, 11, 3, false));
  EXPECT_NE(plain, top_down);
  // Other copy types draw nothing; null arguments are refused.
  std::vector<uint32_t> untouched(19 * 11, 9);
  EXPECT_EQ(TolmCopyToBuffer(t.get(), untouched.data(), 19 * 4, 11, 0, 0, 4), 0);
  EXPECT_EQ(untouched, std::vector<uint32_t>(19 * 11, 9));
  EXPECT_EQ(TolmCopyToBuffer(t.get(), nullptr, 19 * 4, 11, 0, 0, 5), 0);
  EXPECT_EQ(TolmCopyToBuffer(nullptr, untouched.data(), 19 * 4, 11, 0, 0, 5), 0);
}

// The track the open selects (remembered for the player): the first with
// the ID under kTolmOpenByTrackId, none for -1 or an unknown ID, else 0.
TEST(TolmReaderSource, TrackSelection) {
  tk::Movie m = packet_movie(options(48, 32, 2), 3);
  m.tracks[2].id = m.tracks[0].id; // two tracks share ID 100
  const auto bytes = tk::movie_bytes(m);
  const struct {
    int32_t id;
    uint32_t flags;
    int32_t wanted;
  } rows[] = {{107, 0x8004000, 1}, {100, 0x8004000, 0}, // the first with the ID
              {-1, 0x8004000, -1}, {5, 0x8004000, -1},  {107, 0x8000000, 0}, {-1, 0x8000000, 0}}; // no flag: track 0
  for (const auto &r : rows) {
    OpenMovie t(bytes, r.flags, r.id);
    ASSERT_NE(t.get(), nullptr);
    EXPECT_EQ(t->wanted_track, r.wanted) << r.id << " flags " << r.flags;
  }
}

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
      {"height 0", s.with(24, 0), Status::kDamaged, nullptr},
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
  EXPECT_GE(errors, 3); // frames 10, 11, 12 at least
  EXPECT_LE(errors, 12);
  EXPECT_EQ(TolmDoFrame(t.get()), 1);
  TolmGoto(t.get(), 5, 0); // still ends
  EXPECT_EQ(t->current, 5);
}

// Every truncation is refused at the open: the size field contradicts
// every shorter file, and with the size field made to agree the index must
// notice.
TEST(TolmReaderBadInput, EveryTruncationIsRefused) {
  const Sample s(2);
  for (size_t n = 0; n < s.bytes.size(); n += 31)
    EXPECT_EQ(OpenMovie(Bytes(s.bytes.begin(), s.bytes.begin() + n)).get(), nullptr) << n;
  for (size_t n = 44; n < s.bytes.size(); n += 17) {
    Bytes b(s.bytes.begin(), s.bytes.begin() + n);
    set_le32(b, 4, static_cast<uint32_t>(n - 8));
    EXPECT_EQ(OpenMovie(b).get(), nullptr) << n;
  }
}

} // namespace
} // namespace vex::tolm_test
