// Movies read through a byte source: the I/O context libavformat reads by
// (positions, sizes, the end, refused seeks, copies that keep apart), and
// whole movies from a file, from memory and from a slice of a file with
// junk before the movie, which must give the same frames and sound, with
// the file opened once for pictures and sound together.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "file/byte_source.h"
#include "file/os_file.h"
#include "movie/avi_reader.h"
#include "movie/media_reader.h"
#include "movie/qt_source_open.h"
#include "movie/source_io.h"
#include "testkit/movie/qts_read.h"
#include "testkit/util/ffmpeg_tool.h"
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
    struct Seek {
      int64_t offset;
      int whence;
      int64_t lands;
    };
    const Seek seeks[] = {{0, AVSEEK_SIZE, size},         {500, SEEK_SET, 500},
                          {-100, SEEK_CUR, 400},          {-10, SEEK_END, size - 10},
                          {20, SEEK_END, size + 20},      {-1, SEEK_SET, -1},
                          {-(size + 21), SEEK_CUR, -1},   {INT64_MAX, SEEK_CUR, -1},
                          {3, SEEK_SET | AVSEEK_FORCE, 3}, {0, 42, -1},
                          {-size, SEEK_END, 0}};
    int64_t at = 0;
    for (const Seek &s : seeks) {
      const int64_t r = io->seek(io->opaque, s.offset, s.whence);
      if (s.lands < 0) {
        EXPECT_LT(r, 0) << s.offset << " whence " << s.whence;
      } else {
        EXPECT_EQ(r, s.lands) << s.offset << " whence " << s.whence;
        if (!(s.whence & AVSEEK_SIZE))
          at = s.lands;
      }
      EXPECT_EQ(io->seek(io->opaque, 0, SEEK_CUR), at) << s.offset << " whence " << s.whence;
    }
    // Reads through libavformat on two contexts over copies of the source:
    // `other` reads on from its start between the jumps of `jumper`.
    mv::SourceIoPtr jumper = mv::open_source_io(source), other = mv::open_source_io(ByteSource(source));
    ASSERT_TRUE(jumper && other);
    EXPECT_EQ(avio_size(jumper.get()), size);
    struct Read {
      int64_t offset;
      int n;
    };
    std::vector<uint8_t> buf(70000), next(1000);
    int64_t other_at = 0;
    for (const Read r : {Read{0, 10}, Read{size - 5, 100}, Read{40000, 50000}, Read{7, 3}, Read{size, 5}}) {
      ASSERT_EQ(avio_seek(jumper.get(), r.offset, SEEK_SET), r.offset);
      const int want = static_cast<int>(std::clamp<int64_t>(size - r.offset, 0, r.n));
      const int got = avio_read(jumper.get(), buf.data(), r.n);
      EXPECT_EQ(std::max(got, 0), want) << r.offset;
      EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + want, bytes.begin() + static_cast<ptrdiff_t>(base + r.offset)))
          << r.offset;
      EXPECT_EQ(avio_feof(jumper.get()) != 0, want < r.n) << r.offset;
      ASSERT_EQ(avio_read(other.get(), next.data(), 1000), 1000);
      EXPECT_TRUE(std::equal(next.begin(), next.end(), bytes.begin() + static_cast<ptrdiff_t>(base + other_at)));
      other_at += 1000;
    }
  }
}

// What a reader made of a movie: every frame's pixels in order, the one
// asked for again after a jump back, every sound byte, and the first
// second of sound asked for again from the start.
struct MovieRead {
  int opened = 0; // pictures and sound readers that opened
  std::vector<std::vector<uint8_t>> frames;
  std::vector<uint8_t> again;
  std::vector<uint8_t> sound, sound_again;
};

MovieRead read_quicktime(const ByteSource &source) {
  MovieRead out;
  if (QTFILE *qt = mv::QtFileOpenSource(source)) {
    ++out.opened;
    const size_t bytes = static_cast<size_t>(qt->pitch) * static_cast<size_t>(qt->height);
    for (int i = 0; i < qt->frame_count; ++i) {
      QTFileGet(qt);
      out.frames.emplace_back(qt->pixels, qt->pixels + bytes);
    }
    QTFileGoto(qt, 1);
    QTFileGet(qt);
    out.again.assign(qt->pixels, qt->pixels + bytes);
    QTFileClose(qt);
  }
  if (QTSFILE *qs = mv::QtsFileOpenSource(source, 0)) {
    ++out.opened;
    out.sound = vex::testkit::qts_read_all(qs, 5000);
    QTSFileGoto(qs, 0);
    out.sound_again.resize(qs->rate * qs->frame_bytes);
    out.sound_again.resize(QTSFileGet(qs, out.sound_again.data(), static_cast<uint32_t>(out.sound_again.size())));
    QTSFileClose(qs);
  }
  return out;
}

MovieRead read_avi(const ByteSource &source) {
  MovieRead out;
  mv::FileInfo info{};
  if (mv::FileInfoOf(source, &info) != mv::kOk || info.streams != 2)
    return out;
  mv::Stream *video = nullptr, *audio = nullptr;
  if (mv::StreamOpenFromSource(&video, source, mv::kVideo, 0) == mv::kOk) {
    ++out.opened;
    mv::Getter *g = mv::StreamGetFrameOpen(video);
    const auto *header = static_cast<const mv::BitmapHeader *>(mv::StreamFrameBitmap(g));
    const size_t bytes = sizeof(mv::BitmapHeader) + (header->bit_count == 8 ? 1024 : 0) + header->size_image;
    auto frame = [&](int i) {
      const auto *dib = static_cast<const uint8_t *>(mv::StreamGetFrame(g, i));
      return dib ? std::vector<uint8_t>(dib, dib + bytes) : std::vector<uint8_t>{};
    };
    for (int i = 0; i < mv::StreamLength(video); ++i)
      out.frames.push_back(frame(i));
    out.again = frame(1);
    mv::StreamGetFrameClose(g);
    mv::StreamRelease(video);
  }
  if (mv::StreamOpenFromSource(&audio, source, mv::kAudio, 0) == mv::kOk) {
    ++out.opened;
    mv::WaveFormat w{};
    int32_t size = sizeof w;
    mv::StreamReadFormat(audio, 0, &w, &size);
    const int32_t length = mv::StreamLength(audio);
    int32_t bytes = 0, got = 0;
    out.sound.resize(static_cast<size_t>(length) * w.block_align);
    mv::StreamRead(audio, 0, length, out.sound.data(), static_cast<int32_t>(out.sound.size()), &bytes, &got);
    out.sound.resize(static_cast<size_t>(bytes));
    out.sound_again.resize(size_t{w.samples_per_sec} * w.block_align);
    mv::StreamRead(audio, 0, static_cast<int32_t>(w.samples_per_sec), out.sound_again.data(),
                   static_cast<int32_t>(out.sound_again.size()), &bytes, &got);
    out.sound_again.resize(static_cast<size_t>(bytes));
    mv::StreamRelease(audio);
  }
  return out;
}

struct MovieCase {
  const char *name;
  std::string make; // ffmpeg options for the movie with pictures and sound
  const char *extension;
  MovieRead (*read)(const ByteSource &);
  int frames;
};

void PrintTo(const MovieCase &c, std::ostream *os) { *os << c.name; }

class MovieSources : public ::testing::TestWithParam<MovieCase> {};

TEST_P(MovieSources, MemoryAndSliceGiveWhatTheFileGivesFromOneOpen) {
  const MovieCase &c = GetParam();
  vex::testkit::TempDir dir;
  const std::string movie = dir.file(std::string("m") + c.extension), padded = dir.file("padded.bin");
  vex::testkit::ffmpeg("-f lavfi -i testsrc=size=48x32:rate=10:duration=2 -f lavfi -i "
                       "sine=frequency=500:sample_rate=22050:duration=2 " +
                       c.make + " " + movie);
  std::ifstream in(movie, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Junk before the movie: a reader that ignores the slice's base reads
  // it and finds no movie (the whole padded file is tried below).
  const std::vector<uint8_t> junk = pattern(4097);
  std::ofstream(padded, std::ios::binary)
      .write(reinterpret_cast<const char *>(junk.data()), static_cast<std::streamsize>(junk.size()))
      .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  // From the file: one open for the pictures, the sound and every
  // demuxer behind them, jumps back included.
  const uint64_t opens_before = vex::file::open_count();
  MovieRead from_file;
  {
    ByteSource file;
    ASSERT_EQ(file.open(movie.c_str()), vex::util::Status::kOk);
    from_file = c.read(file);
  }
  EXPECT_EQ(vex::file::open_count() - opens_before, 1u);
  ASSERT_EQ(from_file.opened, 2);
  ASSERT_EQ(from_file.frames.size(), static_cast<size_t>(c.frames));
  EXPECT_NE(from_file.frames[0], from_file.frames[1]);
  EXPECT_EQ(from_file.again, from_file.frames[1]);
  // PCM in the movie: the sound is the tool's decode, byte for byte.
  EXPECT_EQ(from_file.sound, vex::testkit::ffmpeg_decode(movie, "-map 0:a -f s16le"));
  ASSERT_FALSE(from_file.sound_again.empty());
  EXPECT_TRUE(std::equal(from_file.sound_again.begin(), from_file.sound_again.end(), from_file.sound.begin()));

  ByteSource memory, slice;
  memory.open(bytes);
  ASSERT_EQ(slice.open(padded.c_str()), vex::util::Status::kOk);
  slice = slice.slice(junk.size());
  for (const ByteSource *source : {&memory, &slice}) {
    const MovieRead got = c.read(*source);
    const char *what = source == &memory ? "memory" : "slice";
    EXPECT_EQ(got.opened, 2) << what;
    EXPECT_TRUE(got.frames == from_file.frames) << what;
    EXPECT_EQ(got.again, from_file.again) << what;
    EXPECT_EQ(got.sound, from_file.sound) << what;
    EXPECT_EQ(got.sound_again, from_file.sound_again) << what;
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
    ::testing::Values(MovieCase{"quicktime_mpeg4", "-c:v mpeg4 -g 5 -q:v 4 -c:a pcm_s16le", ".mov", read_quicktime, 20},
                      // A palettised track starts again from the top on a jump back.
                      MovieCase{"avi_pal8", "-c:v rawvideo -pix_fmt pal8 -c:a pcm_s16le", ".avi", read_avi, 20}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
