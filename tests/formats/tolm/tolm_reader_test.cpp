// The Tolm reader over movies from the testkit writer: header and tables,
// geometry, version letters, playback in order, seeking, key-frame search,
// the copy's flags, the read-ahead ring against a preloaded movie, a movie
// inside a bigger file and sound-track selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "file/byte_source.h"
#include "testkit/util/source_of.h"
#include "tests/formats/tolm/tolm_test_util.h"

namespace vex::tolm_test {
namespace {

using namespace vex::formats::tolm;

tk::Movie packet_movie(uint32_t tracks, uint32_t frames) {
  tk::RandomMovieOptions o;
  o.frames = frames;
  tk::Movie m = model_movie(o).movie;
  for (uint32_t i = 0; i < tracks; ++i) {
    tk::MovieTrack t;
    t.format = 22050 | tk::kTrack16Bit | tk::kTrackDecodable | (i == 1 ? tk::kTrackStereo : 0);
    t.id = 100 + 7 * i;
    for (uint32_t f = 0; f < frames; ++f) {
      std::vector<uint8_t> p;
      if ((f + i) % 3 != 2) { // every third packet is empty
        p = {static_cast<uint8_t>(40 + f), 0, 0, 0};
        for (uint32_t k = 0; k < 4 * f + i; ++k)
          p.push_back(static_cast<uint8_t>(f * 16 + i + k));
      }
      t.packets.push_back(p);
    }
    m.tracks.push_back(t);
  }
  return m;
}

TEST(TolmReaderOpen, HeaderTablesAndGeometry) {
  tk::Movie m = packet_movie(3, 5);
  m.width = 17; // re-encode at an odd size
  m.height = 9;
  tk::RandomMovieOptions o;
  o.width = 17;
  o.height = 9;
  o.frames = 5;
  m.frames = model_movie(o).movie.frames;
  m.rate_num = 30000;
  m.rate_den = 1001;
  tk::MovieLayout layout;
  const auto bytes = tk::movie_bytes(m, &layout);
  OpenMovie t(bytes);
  ASSERT_NE(t.get(), nullptr) << TolmLastError();
  EXPECT_STREQ(TolmLastError(), "");
  EXPECT_EQ(t->frames, 5u);
  EXPECT_EQ(t->output_width, 17u);
  EXPECT_EQ(t->output_height, 9u);
  // Chroma 9 x 5 rounded up to 16 x 8; luma padded to twice that.
  EXPECT_EQ(t->chroma_width, 16u);
  EXPECT_EQ(t->chroma_height, 8u);
  EXPECT_EQ(t->padded_width, 32u);
  EXPECT_EQ(t->padded_height, 16u);
  EXPECT_EQ(t->blocks_across, 2u);
  EXPECT_EQ(t->block_count, 2u);
  EXPECT_EQ(t->block_map[2], 0);
  EXPECT_EQ(t->rate_num, 30000u);
  EXPECT_EQ(t->rate_den, 1001u);
  EXPECT_EQ(t->rounded_rate, 30u); // (30000 + 500) / 1001
  EXPECT_EQ(t->file_size_field, bytes.size() - 8);
  EXPECT_EQ(t->tracks, 3u);
  uint32_t largest = 0;
  for (size_t f = 0; f < 5; ++f) {
    const uint32_t end = f + 1 < 5 ? layout.record_at[f + 1] : layout.size;
    largest = std::max(largest, end - layout.record_at[f]);
  }
  EXPECT_EQ(t->largest_frame, largest);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(TolmGetTrackFormat(t.get(), i), m.tracks[i].format);
    EXPECT_EQ(TolmGetTrackID(t.get(), i), 100 + 7 * i);
  }
  // Table 1 holds the largest decoded-size word: 40 + the last frame with a packet.
  EXPECT_EQ(t->track_sizes[0], 44u);
  EXPECT_EQ(TolmGetTrackFormat(t.get(), 3), 0u);
  EXPECT_EQ(TolmGetTrackID(t.get(), 3), 0u);
  EXPECT_EQ(TolmGetTrackFormat(nullptr, 0), 0u);
  // Frame 1's record is read at open and not yet decoded.
  EXPECT_EQ(t->current, 1);
  EXPECT_EQ(t->frames_decoded, 0u);
  EXPECT_EQ(t->video_decoding, 1);
}

TEST(TolmReaderOpen, VersionLettersSetDecoderFlagsAndDecode) {
  const struct {
    char version;
    uint32_t flags;
  } cases[] = {{'f', 0x18000}, {'g', 0x18000}, {'h', 0x8000}, {'i', 0}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.version);
    tk::RandomMovieOptions o;
    o.version = c.version;
    o.frames = 3;
    o.seed = static_cast<uint32_t>(c.version);
    const tk::ModelMovie mm = model_movie(o);
    OpenMovie t(tk::movie_bytes(mm.movie));
    ASSERT_NE(t.get(), nullptr);
    EXPECT_EQ(t->decoder_flags & 0x18000, c.flags);
    for (int f = 0; f < 3; ++f) {
      EXPECT_EQ(TolmDoFrame(t.get()), 0);
      EXPECT_EQ(t->last_faults, 0u);
      EXPECT_EQ(copy_frame(t.get()), expected_frame(mm.movie, mm.pictures[f])) << "frame " << f + 1;
      TolmNextFrame(t.get());
    }
  }
}

TEST(TolmReaderOpen, ScalingModesFromFileAndFlags) {
  tk::RandomMovieOptions o;
  o.width = 21;
  o.height = 13;
  o.frames = 1;
  tk::ModelMovie mm = model_movie(o);
  const struct {
    uint32_t file_mode, open_mode, used, out_w, out_h;
  } cases[] = {
      {0, 0, 0, 21, 13},          {1, 0, 1, 21, 26},          {0, 2, 2, 21, 26},
      {3, 0, 3, 42, 13},          {0, 4, 4, 42, 26},          {5, 0, 5, 42, 26},
      {4, 7, 0, 21, 13},          {7, 0, 0, 21, 13},          {1, 3, 3, 42, 13},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "file " << c.file_mode << " open " << c.open_mode);
    mm.movie.video_flags = c.file_mode << 28;
    OpenMovie t(tk::movie_bytes(mm.movie), kSourceFlags | c.open_mode << 28);
    ASSERT_NE(t.get(), nullptr);
    EXPECT_EQ(t->decoder_flags & kTolmScaleMask, c.used << 28);
    EXPECT_EQ(t->output_width, c.out_w);
    EXPECT_EQ(t->output_height, c.out_h);
    TolmDoFrame(t.get());
    EXPECT_EQ(copy_frame(t.get()), blit_picture(mm.pictures[0], 21, 13, c.out_w, c.out_h, 5 | c.used << 28, false));
  }
}

TEST(TolmReaderPlayback, EveryFrameInOrderThenFrameOneAgain) {
  tk::RandomMovieOptions o;
  o.width = 40;
  o.height = 24;
  o.frames = 9;
  o.key_interval = 4;
  const tk::ModelMovie mm = model_movie(o);
  OpenMovie t(tk::movie_bytes(mm.movie));
  ASSERT_NE(t.get(), nullptr);
  for (int round = 0; round < 2; ++round)
    for (int f = 0; f < 9; ++f) {
      ASSERT_EQ(t->current, f + 1);
      EXPECT_EQ(TolmDoFrame(t.get()), 0);
      EXPECT_EQ(copy_frame(t.get()), expected_frame(mm.movie, mm.pictures[f])) << "frame " << f + 1;
      TolmNextFrame(t.get());
    }
  EXPECT_EQ(t->frames_decoded, 18u);
}

TEST(TolmReaderPlayback, DecodesOncePerRecordAndCanWalkWithoutVideo) {
  tk::RandomMovieOptions o;
  o.frames = 3;
  const tk::ModelMovie mm = model_movie(o);
  OpenMovie t(tk::movie_bytes(mm.movie));
  ASSERT_NE(t.get(), nullptr);
  EXPECT_EQ(TolmDoFrame(t.get()), 0);
  const uint32_t latest = t->latest;
  EXPECT_EQ(TolmDoFrame(t.get()), 0); // nothing new was read
  EXPECT_EQ(t->frames_decoded, 1u);
  EXPECT_EQ(t->latest, latest);
  // With video off the records are walked and counted, the picture stays.
  TolmSetVideoDecoding(t.get(), 0);
  TolmNextFrame(t.get());
  EXPECT_EQ(TolmDoFrame(t.get()), 0);
  EXPECT_EQ(t->frames_decoded, 2u);
  EXPECT_EQ(t->latest, latest);
  EXPECT_EQ(copy_frame(t.get()), expected_frame(mm.movie, mm.pictures[0]));
  EXPECT_EQ(TolmDoFrame(nullptr), 0);
}

// Ring and preload must deliver the same records: a slow movie (one frame a
// second) gets a ring smaller than the file, a fast one is preloaded.
TEST(TolmReaderPlayback, RingAndPreloadDeliverTheSameFrames) {
  tk::RandomMovieOptions o;
  o.width = 96;
  o.height = 64;
  o.frames = 14;
  o.key_interval = 5;
  const tk::ModelMovie mm = model_movie(o);
  for (uint32_t rate : {1u, 30u}) {
    SCOPED_TRACE(rate);
    tk::Movie m = mm.movie;
    m.rate_num = rate;
    OpenMovie t(tk::movie_bytes(m));
    ASSERT_NE(t.get(), nullptr);
    EXPECT_EQ(t->image == nullptr, rate == 1);
    if (rate == 1) {
      EXPECT_EQ(t->ring_size % kTolmIoUnit, 0u);
      EXPECT_LT(t->ring_size, t->file_size_field);
      EXPECT_GE(t->ring_size, t->sound_window);
    }
    // The same bytes from memory, as the fuzzer and a program that holds
    // the movie give them, decode alike.
    const auto bytes = tk::movie_bytes(m);
    file::ByteSource memory;
    memory.open(bytes);
    TOLM *in_memory = TolmOpen(std::move(memory), 0x8004000);
    ASSERT_NE(in_memory, nullptr) << TolmLastError();
    EXPECT_EQ(in_memory->image == nullptr, rate == 1);
    for (int f = 0; f < 14; ++f) {
      TolmDoFrame(t.get());
      TolmDoFrame(in_memory);
      EXPECT_EQ(copy_frame(t.get()), expected_frame(m, mm.pictures[f])) << "frame " << f + 1;
      EXPECT_EQ(copy_frame(in_memory), expected_frame(m, mm.pictures[f])) << "frame " << f + 1 << " from memory";
      TolmNextFrame(t.get());
      TolmNextFrame(in_memory);
    }
    EXPECT_EQ(t->read_error, 0);
    EXPECT_EQ(in_memory->read_error, 0);
    TolmClose(in_memory);
  }
}

// The window: the most bytes any `rate` consecutive frames span.
TEST(TolmReaderPlayback, SoundWindowIsTheLargestSpanOfOneSecond) {
  tk::RandomMovieOptions o;
  o.frames = 7;
  tk::Movie m = model_movie(o).movie;
  m.rate_num = 2;
  // Frame 5 carries a big packet, so frames 4-5 and 5-6 span the most;
  // the first of them wins.
  tk::MovieTrack track;
  track.packets.resize(7);
  track.packets[4].assign(9000, 1);
  m.tracks.push_back(track);
  tk::MovieLayout layout;
  const auto bytes = tk::movie_bytes(m, &layout);
  OpenMovie t(bytes);
  ASSERT_NE(t.get(), nullptr);
  layout.record_at.push_back(layout.size);
  uint32_t best = 0, best_at = 0;
  for (uint32_t i = 0; i + 2 < 8; ++i)
    if (layout.record_at[i + 2] - layout.record_at[i] > best) {
      best = layout.record_at[i + 2] - layout.record_at[i];
      best_at = i + 1;
    }
  EXPECT_TRUE(best_at == 4 || best_at == 5) << best_at;
  // Index entries are taken with their key bits: only frame 1 has one here
  // and it is not part of the winning pair.
  EXPECT_EQ(t->sound_window, best);
  EXPECT_EQ(t->sound_window_frame, best_at);
}

class TolmReaderSeek : public testing::Test {
protected:
  void SetUp() override {
    tk::RandomMovieOptions o;
    o.width = 33;
    o.height = 20;
    o.frames = 12;
    o.key_interval = 5; // key frames 1, 6, 11
    o.seed = 7;
    mm_ = model_movie(o);
    // A slow rate keeps the ring smaller than the file: seeks move through it.
    mm_.movie.rate_num = 1;
    movie_ = std::make_unique<OpenMovie>(tk::movie_bytes(mm_.movie));
    ASSERT_NE(movie_->get(), nullptr);
  }
  TOLM *t() { return movie_->get(); }
  void expect_frame(int f) {
    ASSERT_EQ(t()->current, f);
    TolmDoFrame(t());
    EXPECT_EQ(copy_frame(t()), expected_frame(mm_.movie, mm_.pictures[f - 1])) << "frame " << f;
  }
  tk::ModelMovie mm_;
  std::unique_ptr<OpenMovie> movie_;
};

TEST_F(TolmReaderSeek, GotoReachesEveryFrameFromAnywhere) {
  std::mt19937 rng(3);
  int targets[60];
  for (int &f : targets)
    f = std::uniform_int_distribution<int>(1, 12)(rng);
  targets[0] = 12;
  targets[1] = 3; // backwards past a key frame
  targets[2] = 3; // the same frame
  targets[3] = 4; // one on
  for (int f : targets) {
    TolmGoto(t(), f, 0);
    expect_frame(f);
  }
}

TEST_F(TolmReaderSeek, GotoClampsAndQuickGotoOnlyReads) {
  TolmGoto(t(), 40, 0);
  expect_frame(12);
  TolmGoto(t(), -3, 0);
  expect_frame(1);
  // A quick goto reads the record only; frame 0 reads frame 1.
  TolmGoto(t(), 6, 1); // a key frame decodes right on its own
  expect_frame(6);
  const uint32_t decoded = t()->frames_decoded;
  TolmGoto(t(), 0, 1);
  EXPECT_EQ(t()->current, 1);
  EXPECT_EQ(t()->frames_decoded, decoded);
}

TEST_F(TolmReaderSeek, GotoDecodesOnlyFromTheKeyFrameOn) {
  TolmGoto(t(), 9, 0);
  // Frames 6, 7, 8 decoded; 9 read.
  EXPECT_EQ(t()->frames_decoded, 3u);
  expect_frame(9);
  TolmGoto(t(), 10, 0); // one on: 9 is decoded already
  EXPECT_EQ(t()->frames_decoded, 4u);
  expect_frame(10);
}

// Key frames 1, 4, 5, 9 of 10, key bits set by hand.
TEST(TolmReaderKeyFrames, BackwardsForwardsAndNearest) {
  tk::RandomMovieOptions o;
  o.frames = 10;
  o.key_interval = 1;
  tk::Movie m = model_movie(o).movie;
  for (int f = 0; f < 10; ++f)
    m.frames[f].key = f == 0 || f == 3 || f == 4 || f == 8;
  OpenMovie t(tk::movie_bytes(m));
  ASSERT_NE(t.get(), nullptr);
  const struct {
    int f;
    uint32_t flags;
    int want;
  } cases[] = {
      {4, 0, 4},     {4, 0x80, 1},  {7, 0, 5},    {3, 0, 1},    {2, 0, 1},    {1, 0, 1},   {1, 0x80, 0},
      {10, 0, 9},    {2, 1, 4},     {5, 1, 5},    {5, 0x81, 9}, {9, 0x81, 0}, {10, 1, 0},  {7, 2, 5},
      {8, 2, 9},     {6, 2, 5},     {3, 2, 4},    {2, 2, 1},    {9, 0x82, 5},
  };
  for (const auto &c : cases)
    EXPECT_EQ(TolmGetKeyFrame(t.get(), c.f, c.flags), c.want) << c.f << " flags " << c.flags;
}

TEST(TolmReaderCopy, BottomUpPitchAndPlacement) {
  tk::RandomMovieOptions o;
  o.width = 19;
  o.height = 11;
  o.frames = 1;
  const tk::ModelMovie mm = model_movie(o);
  OpenMovie t(tk::movie_bytes(mm.movie));
  ASSERT_NE(t.get(), nullptr);
  TolmDoFrame(t.get());
  const auto top_down = expected_frame(mm.movie, mm.pictures[0]);
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
  // Other copy types draw nothing; null arguments are refused.
  std::vector<uint32_t> untouched(19 * 11, 9);
  EXPECT_EQ(TolmCopyToBuffer(t.get(), untouched.data(), 19 * 4, 11, 0, 0, 4), 0);
  EXPECT_EQ(untouched, std::vector<uint32_t>(19 * 11, 9));
  EXPECT_EQ(TolmCopyToBuffer(t.get(), nullptr, 19 * 4, 11, 0, 0, 5), 0);
  EXPECT_EQ(TolmCopyToBuffer(nullptr, untouched.data(), 19 * 4, 11, 0, 0, 5), 0);
}

TEST(TolmReaderCopy, AlphaGreyAndFallbacks) {
  tk::RandomMovieOptions o;
  o.frames = 2;
  o.alpha = true;
  const tk::ModelMovie mm = model_movie(o);
  OpenMovie t(tk::movie_bytes(mm.movie), kSourceFlags | kTolmOpenAlpha);
  ASSERT_NE(t.get(), nullptr);
  TolmDoFrame(t.get());
  const auto with_alpha = copy_frame(t.get(), 5);
  EXPECT_EQ(with_alpha, expected_frame(mm.movie, mm.pictures[0]));
  // Type 3 leaves bits 24-31 clear.
  const auto plain = copy_frame(t.get(), 3);
  EXPECT_EQ(plain, blit_picture(mm.pictures[0], 48, 32, 48, 32, 3, false));
  EXPECT_NE(plain, with_alpha);
  // Without the alpha flag type 5 falls back to the plain blit.
  OpenMovie no_alpha(tk::movie_bytes(mm.movie), 0x8004000);
  ASSERT_NE(no_alpha.get(), nullptr);
  TolmDoFrame(no_alpha.get());
  EXPECT_EQ(copy_frame(no_alpha.get(), 5), plain);

  // Luma-only movies: the file's grey bit reaches the blitter.
  tk::RandomMovieOptions g;
  g.frames = 2;
  g.grey = true;
  const tk::ModelMovie grey = model_movie(g);
  OpenMovie tg(tk::movie_bytes(grey.movie));
  ASSERT_NE(tg.get(), nullptr);
  EXPECT_NE(tg->decoder_flags & kTolmVideoGrey, 0u);
  for (int f = 0; f < 2; ++f) {
    TolmDoFrame(tg.get());
    const auto px = copy_frame(tg.get());
    EXPECT_EQ(px, expected_frame(grey.movie, grey.pictures[f]));
    for (uint32_t p : px)
      ASSERT_TRUE((p & 0xFF) == (p >> 8 & 0xFF) && (p & 0xFF) == (p >> 16 & 0xFF));
    TolmNextFrame(tg.get());
  }
}

TEST(TolmReaderSource, MovieInsideAnOpenFileAtAnOffset) {
  tk::RandomMovieOptions o;
  o.frames = 5;
  o.key_interval = 2;
  const tk::ModelMovie mm = model_movie(o);
  std::vector<uint8_t> bytes(1234, 0x5A); // what comes before the movie
  const auto movie = tk::movie_bytes(mm.movie);
  bytes.insert(bytes.end(), movie.begin(), movie.end());
  bytes.insert(bytes.end(), 300, 0x77); // and after it
  testkit::TempDir dir;
  testkit::write_file(dir.file("player.bin"), bytes);
  const vex::file::ByteSource whole = vex::testkit::source_of(dir.file("player.bin"));
  TOLM *t = TolmOpen(whole.slice(1234), 0x8004000);
  ASSERT_NE(t, nullptr) << TolmLastError();
  TolmGoto(t, 4, 0);
  TolmDoFrame(t);
  EXPECT_EQ(copy_frame(t), expected_frame(mm.movie, mm.pictures[3]));
  TolmClose(t);
  // The caller's source is still open and usable.
  uint8_t first = 0;
  EXPECT_TRUE(whole.read_exact(0, &first, 1));
  EXPECT_EQ(first, 0x5A);
  // A source whose open failed leaves the reason of that failure.
  EXPECT_EQ(TolmOpen(vex::testkit::source_of(dir.file("none.tlm")), 0x8004000), nullptr);
  EXPECT_STREQ(TolmLastError(), "no such file");
}

TEST(TolmReaderSource, TrackSelectionAndReset) {
  tk::Movie m = packet_movie(3, 2);
  m.tracks[2].id = m.tracks[0].id; // two tracks share ID 100
  const auto bytes = tk::movie_bytes(m);
  testkit::TempDir dir;
  testkit::write_file(dir.file("m.tlm"), bytes);
  const auto open = [&](int32_t id, uint32_t flags) {
    TOLM *t = TolmOpen(vex::testkit::source_of(dir.file("m.tlm")), flags, id);
    const int32_t wanted = t ? t->wanted_track : -99;
    TolmClose(t);
    return wanted;
  };
  EXPECT_EQ(open(107, 0x8004000), 1);
  EXPECT_EQ(open(100, 0x8004000), 0); // the first with the ID
  EXPECT_EQ(open(-1, 0x8004000), -1);
  EXPECT_EQ(open(5, 0x8004000), -1);
  EXPECT_EQ(open(107, 0x8000000), 0); // without the flag: track 0
  EXPECT_EQ(open(-1, 0x8000000), 0);
}

TEST(TolmReaderSource, PacketsOfEveryTrackAndTheVideoBehindThem) {
  for (uint32_t tracks : {0u, 1u, 4u}) {
    SCOPED_TRACE(tracks);
    const tk::Movie m = packet_movie(tracks, 6);
    tk::RandomMovieOptions o;
    o.frames = 6;
    const auto pictures = model_movie(o).pictures;
    OpenMovie t(tk::movie_bytes(m));
    ASSERT_NE(t.get(), nullptr);
    for (int f = 0; f < 6; ++f) {
      for (uint32_t i = 0; i < tracks; ++i) {
        const uint8_t *p = nullptr;
        uint32_t n = 0;
        ASSERT_EQ(TolmGetPacket(t.get(), i, &p, &n), 1) << "track " << i << " frame " << f;
        ASSERT_EQ(std::vector<uint8_t>(p, p + n), m.tracks[i].packets[f]) << "track " << i << " frame " << f;
      }
      const uint8_t *p;
      uint32_t n;
      EXPECT_EQ(TolmGetPacket(t.get(), tracks, &p, &n), 0);
      EXPECT_EQ(TolmDoFrame(t.get()), 0);
      EXPECT_EQ(copy_frame(t.get()), expected_frame(m, pictures[f]));
      TolmNextFrame(t.get());
    }
  }
}

} // namespace
} // namespace vex::tolm_test
