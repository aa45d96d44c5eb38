// Every allocation the readers make from the library heap, made to fail in
// turn: each reader's open and first frames run once per allocation they
// make, with that one allocation failing. Each run must end cleanly (no
// crash; under the sanitizer build no leak and no bad access): an open that
// gives up answers null with the reason "out of memory", and the run after
// the last allocation succeeds as it would without the hook. Every run also
// counts its trips to the file system: a reader opens its file once per
// open, whatever it reads, seeks or fails at afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "file/os_file.h"
#include "flic/flic_source.h"
#include "formats/korvane/korvane.h"
#include "formats/tolm/tolm_reader.h"
#include "stills/still_image.h"
#include "testkit/flic/fli_writer.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"
#include "util/allocation_hook.h"
#include "util/status.h"
#include "vexutil/flic.h"
#include "vexutil/movie.h"

namespace {

using vex::testkit::source_of;
namespace tolm = vex::formats::tolm;
namespace korvane = vex::testkit::korvane;

// One reader's run: whether it opened, and its failure points.
struct Scenario {
  std::string name;
  uint64_t opens;        // file opens of a whole run (1 per reader open by name)
  uint64_t least, most;  // failure points: the allocations named in the comment of the row
  std::function<bool()> run;
};

// Runs the scenario with the 1st, 2nd, ... allocation failing until a run
// allocates fewer blocks than the one it was told to fail; returns how many
// failure points there were.
uint64_t sweep(const Scenario &s) {
  for (uint64_t n = 1; n <= 10000; ++n) {
    vex::util::clear_reason();
    vex::util::fail_allocation(n);
    const uint64_t opens_before = vex::file::open_count();
    const bool opened = s.run();
    const uint64_t made = vex::util::allocation_count(), opens = vex::file::open_count() - opens_before;
    vex::util::fail_allocation(0);
    EXPECT_LE(opens, s.opens) << "allocation " << n;
    if (made < n) {
      EXPECT_TRUE(opened) << "refused without a failed allocation";
      EXPECT_EQ(opens, s.opens);
      return n - 1;
    }
    EXPECT_TRUE(opened || vex::util::last_status() == vex::util::Status::kOutOfMemory)
        << "allocation " << n << ": " << vex::util::last_reason();
  }
  ADD_FAILURE() << "never stops allocating";
  return 0;
}

bool play_flic(VEXFLIC *h, bool seek) {
  if (!h)
    return false;
  std::vector<uint8_t> buf(size_t{h->pitch} * h->buffer_height);
  VEXFlicGetNext(h, buf.data());
  if (seek) {
    VEXFlicGetNext(h, buf.data());
    VEXFlicGoto(h, 1, buf.data());
  }
  VEXFlicClose(h);
  return true;
}

TEST(AllocationFailures, EveryReaderGivesUpCleanlyAtEveryAllocation) {
  vex::testkit::TempDir dir;
  std::vector<Scenario> scenarios;
  const auto pattern = [](uint32_t w, uint32_t h, uint32_t frames, bool noise = false) {
    return vex::testkit::PatternAnimation({.width = w, .height = h, .frames = frames, .noise = noise});
  };
  // FLIC by name: the handle, its input, the window.
  ASSERT_NE(vex::testkit::write_flc(pattern(62, 40, 5), 50, dir.file("a.flc")), 0u);
  ASSERT_FALSE(vex::testkit::write_fli(pattern(62, 40, 5), 5, dir.file("a.fli")).empty());
  for (const std::string &name : {dir.file("a.flc"), dir.file("a.fli")})
    scenarios.push_back({name, 1, 3, 10000, [=] { return play_flic(VEXFlicOpen(name.c_str()), true); }});
  // FLIC from memory: the handle and its input, no window.
  ASSERT_NE(vex::testkit::write_flc(pattern(20, 10, 3), 50, dir.file("m.flc")), 0u);
  const std::vector<uint8_t> flc = vex::testkit::read_file(dir.file("m.flc"));
  scenarios.push_back({"FLIC from memory", 0, 2, 2, [&] {
                         vex::file::ByteSource memory;
                         memory.open(flc);
                         return play_flic(vex::flic::open_flic(std::move(memory)), false);
                       }});
  // Tolm preloaded and (the larger movie) through the ring.
  for (uint32_t frames : {4u, 60u}) {
    const std::string name = dir.file("m" + std::to_string(frames) + ".tlm");
    vex::testkit::tolm::RandomMovieOptions o{.frames = frames, .key_interval = 3, .alpha = true};
    vex::testkit::tolm::write_movie(name, vex::testkit::tolm::random_movie(o).movie);
    scenarios.push_back({name, 1, 4, 10000, [=] {
                           tolm::TOLM *t = tolm::TolmOpen(source_of(name.c_str()), 0x8104000);
                           if (!t)
                             return false;
                           EXPECT_EQ(t->image == nullptr, frames > 4) << "the larger movie is read through the ring";
                           tolm::TolmDoFrame(t);
                           tolm::TolmNextFrame(t);
                           tolm::TolmDoFrame(t);
                           tolm::TolmClose(t);
                           return true;
                         }});
  }
  // Korvane whole and windowed: the record and the window or the preload.
  korvane::MoviePlan plan;
  plan.tracks[0] = korvane::TrackPlan{};
  plan.tracks[0]->kind = korvane::SoundKind::transform;
  plan.tracks[0]->sixteen = true;
  for (int i = 0; i < 6; ++i)
    plan.tracks[0]->frames.push_back(std::vector<uint8_t>(1470 * 2, static_cast<uint8_t>(i * 40)));
  const auto written = korvane::write_korvane(korvane::pattern_frames(pattern(64, 48, 6, true)), plan, dir.file("k.kvn"));
  ASSERT_TRUE(written.ok) << written.error;
  for (uint32_t buffer : {0u, 1u << 22})
    scenarios.push_back({"korvane " + std::to_string(buffer), 1, 2, 10000, [&dir, buffer] {
                           KORVA *k = KorvaOpen(source_of(dir.file("k.kvn").c_str()), buffer);
                           if (!k)
                             return false;
                           std::vector<uint8_t> picture(size_t{k->width} * k->height);
                           std::vector<uint8_t> sound(k->header[vex::formats::korvane::kHdrSoundSize] + 16);
                           KorvaToBuffer(k, 0, 0, k->width, k->height, picture.data(), 0);
                           for (int f = 0; f < 3; ++f) {
                             KorvaDoFrame(k);
                             KorvaGetSound(k, sound.data(), vex::formats::korvane::kTrackBit);
                             KorvaNextFrame(k);
                           }
                           KorvaClose(k);
                           return true;
                         }});
  // The still readers: one open, whose source StillInfo and StillLoad both
  // read; the pixels and the colour table.
  using namespace vex::stills;
  Image im{};
  ASSERT_EQ(StillAlloc(&im, 37, 21, 8), 0);
  for (int i = 0; i < 256; ++i)
    im.colors[4 * i] = static_cast<uint8_t>(i);
  for (uint32_t i = 0; i < im.size; ++i)
    im.pixels[i] = static_cast<uint8_t>(i * 7);
  for (const auto &[format, ext] : {std::pair{Format::bmp, "bmp"}, {Format::pcx, "pcx"}, {Format::tga, "tga"}}) {
    const std::string name = dir.file(std::string("s.") + ext);
    ASSERT_EQ(StillSave(format, name.c_str(), &im, 1), 0) << name;
    // format = format: clang 14 cannot capture a structured binding itself.
    scenarios.push_back({name, 1, 2, 10000, [format = format, name] {
                           const vex::file::ByteSource source = source_of(name);
                           Info info{};
                           Image out{};
                           if (StillInfo(format, source, &info) != 0 || StillAlloc(&out, info.width, info.height, 24))
                             return false;
                           const int32_t loaded = StillLoad(format, source, &out);
                           StillFree(&out);
                           return loaded == 0;
                         }});
  }
  StillFree(&im);
  // The FFmpeg-backed QuickTime opens allocate their records and buffers
  // from the library heap around the library's own; each opens its file
  // once, and every demuxer reads that one open.
  const std::string mov = dir.file("m.mov");
  vex::testkit::ffmpeg("-f lavfi -i testsrc=size=32x24:rate=10:duration=1 -f lavfi -i "
                       "sine=frequency=500:sample_rate=22050:duration=1 -c:v qtrle -c:a pcm_s16le " +
                       vex::testkit::shell_quote(mov));
  scenarios.push_back({"QTFileOpen", 1, 2, 10000, [&] {
                         QTFILE *qt = QTFileOpen(mov.c_str());
                         return qt && (QTFileGet(qt), QTFileClose(qt), true);
                       }});
  scenarios.push_back({"QTSFileOpen", 1, 2, 10000, [&] {
                         QTSFILE *qs = QTSFileOpen(mov.c_str(), 0);
                         std::vector<uint8_t> buf(4096);
                         return qs && (QTSFileGet(qs, buf.data(), 4096), QTSFileClose(qs), true);
                       }});
  for (const Scenario &s : scenarios) {
    SCOPED_TRACE(s.name);
    const uint64_t points = sweep(s);
    EXPECT_GE(points, s.least);
    EXPECT_LE(points, s.most);
    ::testing::Test::RecordProperty("failure points of " + s.name, static_cast<int>(points));
  }
}

} // namespace
