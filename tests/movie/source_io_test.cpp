// Movies read through a byte source: the I/O context libavformat reads by
// (positions, sizes, the end, refused seeks, copies that keep apart), and
// whole movies from a file, from memory and from a slice of a file with
// junk before the movie, which must give the same frames and sound, with
// the file opened once for pictures and sound together.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "file/byte_source.h"
#include "file/os_file.h"
#include "movie/media_reader.h"
#include "movie/source_io.h"
#include "testkit/movie/movie_read.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/temp_dir.h"

namespace {

using vex::file::ByteSource;
namespace mv = vex::movie;

std::vector<uint8_t> pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<uint8_t>(i * 7 ^ i >> 8);
  return v;
}

TEST(SourceIo, SeeksAndReadsInTheSourcesOwnOffsets) {
  const std::vector<uint8_t> bytes = pattern(100000);
  ByteSource whole;
  whole.open(bytes);
  for (const uint64_t base : {uint64_t{0}, uint64_t{12345}}) {
    const ByteSource source = whole.slice(base);
    const int64_t size = static_cast<int64_t>(bytes.size() - base);
    // The callback itself, on a context nothing reads through: where each
    // seek lands, or a refusal (-1) that leaves the position as it was.
    mv::SourceIoPtr io = mv::open_source_io(source);
    ASSERT_TRUE(io);
    const std::tuple<int64_t, int, int64_t> seeks[] = { // offset, whence, where it lands
        {0, AVSEEK_SIZE, size},       {500, SEEK_SET, 500},          {-100, SEEK_CUR, 400},
        {-10, SEEK_END, size - 10},   {20, SEEK_END, size + 20},     {-1, SEEK_SET, -1},
        {-(size + 21), SEEK_CUR, -1}, {INT64_MAX, SEEK_CUR, -1},     {3, SEEK_SET | AVSEEK_FORCE, 3},
        {0, 42, -1},                  {-size, SEEK_END, 0}};
    int64_t at = 0;
    for (const auto &[offset, whence, lands] : seeks) {
      const int64_t r = io->seek(io->opaque, offset, whence);
      EXPECT_EQ(lands < 0 && r < 0 ? -1 : r, lands) << offset << " whence " << whence;
      if (lands >= 0 && !(whence & AVSEEK_SIZE))
        at = lands;
      EXPECT_EQ(io->seek(io->opaque, 0, SEEK_CUR), at) << offset << " whence " << whence;
    }
    // Reads through libavformat on two contexts over copies of the source:
    // `other` reads on from its start between the jumps of `jumper`.
    mv::SourceIoPtr jumper = mv::open_source_io(source), other = mv::open_source_io(ByteSource(source));
    ASSERT_TRUE(jumper && other);
    EXPECT_EQ(avio_size(jumper.get()), size);
    std::vector<uint8_t> buf(70000), next(1000);
    int64_t other_at = 0;
    for (const auto &[offset, n] : {std::pair<int64_t, int>{0, 10}, {size - 5, 100}, {40000, 50000}, {7, 3}, {size, 5}}) {
      ASSERT_EQ(avio_seek(jumper.get(), offset, SEEK_SET), offset);
      const int want = static_cast<int>(std::clamp<int64_t>(size - offset, 0, n));
      EXPECT_EQ(std::max(avio_read(jumper.get(), buf.data(), n), 0), want) << offset;
      EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + want, bytes.begin() + static_cast<ptrdiff_t>(base + offset)))
          << offset;
      EXPECT_EQ(avio_feof(jumper.get()) != 0, want < n) << offset;
      ASSERT_EQ(avio_read(other.get(), next.data(), 1000), 1000);
      EXPECT_TRUE(std::equal(next.begin(), next.end(), bytes.begin() + static_cast<ptrdiff_t>(base + other_at)));
      other_at += 1000;
    }
  }
}

struct MovieCase {
  const char *name;
  std::string make; // ffmpeg options for the movie with pictures and sound
  const char *extension;
  vex::testkit::MovieRead (*read)(const ByteSource &);
};

void PrintTo(const MovieCase &c, std::ostream *os) { *os << c.name; }

class MovieSources : public ::testing::TestWithParam<MovieCase> {};

TEST_P(MovieSources, MemoryAndSliceGiveWhatTheFileGivesFromOneOpen) {
  const MovieCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string movie = dir.file(std::string("m") + c.extension), padded = dir.file("padded.bin");
  vex::testkit::ffmpeg("-f lavfi -i testsrc=size=48x32:rate=10:duration=2 -f lavfi -i "
                       "sine=frequency=500:sample_rate=22050:duration=2 " + c.make + " " + movie);
  const std::vector<uint8_t> bytes = vex::testkit::read_file(movie);
  // Junk before the movie: a reader that ignores the slice's base reads
  // it and finds no movie (the whole padded file is tried below).
  std::vector<uint8_t> junk = pattern(4097);
  const size_t junk_size = junk.size();
  junk.insert(junk.end(), bytes.begin(), bytes.end());
  vex::testkit::write_file(padded, junk);

  // From the file: one open for the pictures, the sound and every
  // demuxer behind them, jumps back included.
  const uint64_t opens_before = vex::file::open_count();
  vex::testkit::MovieRead from_file;
  {
    ByteSource file;
    ASSERT_EQ(file.open(movie.c_str()), vex::util::Status::kOk);
    from_file = c.read(file);
  }
  EXPECT_EQ(vex::file::open_count() - opens_before, 1u);
  ASSERT_EQ(from_file.opened, 2);
  ASSERT_EQ(from_file.frames.size(), 20u);
  EXPECT_NE(from_file.frames[0], from_file.frames[1]);
  EXPECT_EQ(from_file.again, from_file.frames[1]);
  // PCM in the movie: the sound is the tool's decode, byte for byte.
  EXPECT_EQ(from_file.sound, vex::testkit::ffmpeg_decode(movie, "-map 0:a -f s16le"));
  ASSERT_FALSE(from_file.sound_again.empty());
  EXPECT_TRUE(std::equal(from_file.sound_again.begin(), from_file.sound_again.end(), from_file.sound.begin()));

  ByteSource memory, slice;
  memory.open(bytes);
  ASSERT_EQ(slice.open(padded.c_str()), vex::util::Status::kOk);
  slice = slice.slice(junk_size);
  for (const ByteSource *source : {&memory, &slice}) {
    const vex::testkit::MovieRead got = c.read(*source);
    SCOPED_TRACE(source == &memory ? "memory" : "slice");
    EXPECT_EQ(got.opened, 2);
    EXPECT_TRUE(got.frames == from_file.frames);
    EXPECT_EQ(got.again, from_file.again);
    EXPECT_EQ(got.sound, from_file.sound);
    EXPECT_EQ(got.sound_again, from_file.sound_again);
  }
  // The whole padded file is no movie to either reader; the probing open
  // of any container finds the movie in memory (and frees the buffer the
  // probe replaced).
  ByteSource all;
  ASSERT_EQ(all.open(padded.c_str()), vex::util::Status::kOk);
  EXPECT_EQ(c.read(all).opened, 0);
  const mv::FormatPtr probed = mv::open_container(memory, mv::Container::any);
  ASSERT_TRUE(probed);
  EXPECT_GE(mv::find_stream(probed.get(), AVMEDIA_TYPE_AUDIO, 0), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Containers, MovieSources,
    ::testing::Values(MovieCase{"quicktime_mpeg4", "-c:v mpeg4 -g 5 -q:v 4 -c:a pcm_s16le", ".mov",
                                vex::testkit::read_quicktime},
                      // A palettised track starts again from the top on a jump back.
                      MovieCase{"avi_pal8", "-c:v rawvideo -pix_fmt pal8 -c:a pcm_s16le", ".avi", vex::testkit::read_avi}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
