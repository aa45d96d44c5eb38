// Every allocation the readers make from the library heap, made to fail in
// turn: for each reader, its open and first frames run once per allocation
// they make, with that one allocation failing. Each run must end cleanly
// (no crash; under the sanitizer build no leak and no bad access): an open
// that gives up answers null with the reason "out of memory", and the run
// after the last allocation succeeds as it would without the hook. Every
// run also counts its trips to the file system: a reader opens its file
// once per open, whatever it reads, seeks or fails at afterwards.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "file/os_file.h"
#include "testkit/util/source_of.h"
#include "flic/flic_source.h"
#include "formats/korvane/korvane.h"
#include "formats/tolm/tolm_reader.h"
#include "stills/still_image.h"
#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "util/allocation_hook.h"
#include "util/status.h"
#include "vexutil/flic.h"
#include "vexutil/movie.h"

namespace {

using vex::util::Status;
namespace tolm = vex::formats::tolm;

// What one run of a scenario did: whether its open gave a handle.
enum class Outcome { opened, refused };

// Runs the scenario with the 1st, 2nd, ... allocation failing until a run
// allocates fewer blocks than the one it was told to fail; returns how many
// failure points were tried. A whole run opens files `opens` times (by
// name: 1 per reader open), a run cut short no more often.
uint64_t sweep(const char *what, uint64_t opens, const std::function<Outcome()> &scenario) {
  for (uint64_t n = 1;; ++n) {
    vex::util::clear_reason();
    vex::util::fail_allocation(n);
    const uint64_t opens_before = vex::file::open_count();
    const Outcome out = scenario();
    const uint64_t made = vex::util::allocation_count();
    const uint64_t opened = vex::file::open_count() - opens_before;
    vex::util::fail_allocation(0);
    EXPECT_LE(opened, opens) << what << ", allocation " << n;
    if (made < n) {
      EXPECT_EQ(out, Outcome::opened) << what << ": refused without a failed allocation";
      EXPECT_EQ(opened, opens) << what;
      ::testing::Test::RecordProperty(std::string("failure points of ") + what, static_cast<int>(n - 1));
      return n - 1;
    }
    if (out == Outcome::refused) {
      EXPECT_EQ(vex::util::last_status(), Status::kOutOfMemory)
          << what << ", allocation " << n << ": " << vex::util::last_reason();
    }
    if (n > 10000) {
      ADD_FAILURE() << what << " never stops allocating";
      return n;
    }
  }
}

vex::testkit::PatternAnimation pattern(uint32_t width, uint32_t height, uint32_t frames) {
  vex::testkit::PatternOptions o{.width = width, .height = height, .frames = frames};
  return vex::testkit::PatternAnimation(o);
}

class AllocationFailures : public ::testing::Test {
protected:
  vex::testkit::TempDir dir;
};

TEST_F(AllocationFailures, Flic) {
  ASSERT_NE(vex::testkit::write_flc(pattern(62, 40, 5), 50, dir.file("a.flc")), 0u);
  ASSERT_FALSE(vex::testkit::write_fli(pattern(62, 40, 5), 5, dir.file("a.fli")).empty());
  for (const std::string &name : {dir.file("a.flc"), dir.file("a.fli")}) {
    const uint64_t points = sweep(name.c_str(), 1, [&] {
      VEXFLIC *h = VEXFlicOpen(name.c_str());
      if (!h)
        return Outcome::refused;
      std::vector<uint8_t> buf(size_t{h->pitch} * h->buffer_height);
      VEXFlicGetNext(h, buf.data());
      VEXFlicGetNext(h, buf.data());
      VEXFlicGoto(h, 1, buf.data());
      VEXFlicClose(h);
      return Outcome::opened;
    });
    EXPECT_GE(points, 3u) << name; // the handle, its input, the window
  }
}

TEST_F(AllocationFailures, TolmPreloadedAndThroughTheRing) {
  for (uint32_t frames : {4u, 60u}) {
    vex::testkit::tolm::RandomMovieOptions o{.frames = frames, .key_interval = 3, .alpha = true};
    const std::string name = dir.file("m" + std::to_string(frames) + ".tlm");
    vex::testkit::tolm::write_movie(name, vex::testkit::tolm::random_movie(o).movie);
    bool ringed = false;
    const uint64_t points = sweep(name.c_str(), 1, [&] {
      tolm::TOLM *t = tolm::TolmOpen(vex::testkit::source_of(name.c_str()), 0x8104000);
      if (!t)
        return Outcome::refused;
      ringed = t->image == nullptr;
      tolm::TolmDoFrame(t);
      tolm::TolmNextFrame(t);
      tolm::TolmDoFrame(t);
      tolm::TolmClose(t);
      return Outcome::opened;
    });
    EXPECT_GE(points, 4u);
    EXPECT_EQ(ringed, frames > 4) << "the larger movie is read through the ring";
  }
}

TEST_F(AllocationFailures, KorvaneWholeAndWindowed) {
  vex::testkit::PatternOptions o{.width = 64, .height = 48, .frames = 6, .noise = true};
  vex::testkit::korvane::MoviePlan plan;
  vex::testkit::korvane::TrackPlan track;
  track.kind = vex::testkit::korvane::SoundKind::transform;
  track.sixteen = true;
  for (int i = 0; i < 6; ++i)
    track.frames.push_back(std::vector<uint8_t>(1470 * 2, static_cast<uint8_t>(i * 40)));
  plan.tracks[0] = track;
  const auto frames = vex::testkit::korvane::pattern_frames(vex::testkit::PatternAnimation(o));
  const auto written = vex::testkit::korvane::write_korvane(frames, plan, dir.file("k.kvn"));
  ASSERT_TRUE(written.ok) << written.error;
  for (uint32_t buffer : {0u, 1u << 22}) {
    const uint64_t points = sweep("korvane", 1, [&] {
      KORVA *k = KorvaOpen(vex::testkit::source_of(dir.file("k.kvn").c_str()), buffer);
      if (!k)
        return Outcome::refused;
      std::vector<uint8_t> picture(size_t{k->width} * k->height);
      std::vector<uint8_t> sound(k->header[vex::formats::korvane::kHdrSoundSize] + 16);
      KorvaToBuffer(k, 0, 0, k->width, k->height, picture.data(), 0);
      for (int f = 0; f < 3; ++f) {
        KorvaDoFrame(k);
        KorvaGetSound(k, sound.data(), vex::formats::korvane::kTrackBit);
        KorvaNextFrame(k);
      }
      KorvaClose(k);
      return Outcome::opened;
    });
    EXPECT_GE(points, 2u) << buffer; // the record and the window or the preload
  }
}

TEST_F(AllocationFailures, OwnStillReaders) {
  using namespace vex::stills;
  Image im{};
  ASSERT_EQ(StillAlloc(&im, 37, 21, 8), 0);
  for (int i = 0; i < 256; ++i)
    im.colors[4 * i] = static_cast<uint8_t>(i);
  for (uint32_t i = 0; i < im.size; ++i)
    im.pixels[i] = static_cast<uint8_t>(i * 7);
  const struct {
    Format format;
    const char *name;
  } kinds[] = {{Format::bmp, "s.bmp"}, {Format::pcx, "s.pcx"}, {Format::tga, "s.tga"}};
  for (const auto &k : kinds)
    ASSERT_EQ(StillSave(k.format, dir.file(k.name).c_str(), &im, 1), 0) << k.name;
  StillFree(&im);
  for (const auto &k : kinds) {
    const std::string name = dir.file(k.name);
    // One open, whose source StillInfo and StillLoad both read.
    const uint64_t points = sweep(k.name, 1, [&] {
      const vex::file::ByteSource source = vex::testkit::source_of(name);
      Info info{};
      if (StillInfo(k.format, source, &info) != 0)
        return Outcome::refused;
      Image out{};
      if (StillAlloc(&out, info.width, info.height, 24) != 0)
        return Outcome::refused;
      const int32_t loaded = StillLoad(k.format, source, &out);
      StillFree(&out);
      return loaded == 0 ? Outcome::opened : Outcome::refused;
    });
    EXPECT_GE(points, 2u) << k.name; // the pixels and the colour table
  }
}

// The FFmpeg-backed QuickTime opens allocate their records and buffers from
// the library heap around the library's own allocations; each opens its
// file once, and every demuxer reads that one open.
TEST_F(AllocationFailures, QuickTimeOpens) {
  const std::string mov = dir.file("m.mov");
  vex::testkit::ffmpeg("-f lavfi -i testsrc=size=32x24:rate=10:duration=1 -f lavfi -i "
                       "sine=frequency=500:sample_rate=22050:duration=1 -c:v qtrle -c:a pcm_s16le " +
                       vex::testkit::shell_quote(mov));
  const uint64_t video = sweep("QTFileOpen", 1, [&] {
    QTFILE *qt = QTFileOpen(mov.c_str());
    if (!qt)
      return Outcome::refused;
    QTFileGet(qt);
    QTFileClose(qt);
    return Outcome::opened;
  });
  EXPECT_GE(video, 2u);
  const uint64_t sound = sweep("QTSFileOpen", 1, [&] {
    QTSFILE *qs = QTSFileOpen(mov.c_str(), 0);
    if (!qs)
      return Outcome::refused;
    std::vector<uint8_t> buf(4096);
    QTSFileGet(qs, buf.data(), static_cast<uint32_t>(buf.size()));
    QTSFileClose(qs);
    return Outcome::opened;
  });
  EXPECT_GE(sound, 2u);
}

// A FLIC from memory: the memory source allocates no window.
TEST_F(AllocationFailures, FlicFromMemoryNeedsNoWindow) {
  ASSERT_NE(vex::testkit::write_flc(pattern(20, 10, 3), 50, dir.file("m.flc")), 0u);
  vex::file::ByteSource named;
  ASSERT_EQ(named.open(dir.file("m.flc").c_str()), Status::kOk);
  std::vector<uint8_t> bytes(named.size());
  ASSERT_TRUE(named.read_exact(0, bytes.data(), bytes.size()));
  const uint64_t points = sweep("FLIC from memory", 0, [&] {
    vex::file::ByteSource memory;
    memory.open(bytes);
    VEXFLIC *h = vex::flic::open_flic(std::move(memory));
    if (!h)
      return Outcome::refused;
    std::vector<uint8_t> buf(size_t{h->pitch} * h->buffer_height);
    VEXFlicGetNext(h, buf.data());
    VEXFlicClose(h);
    return Outcome::opened;
  });
  EXPECT_EQ(points, 2u); // the handle and its input
}

} // namespace
