// Reads that fail under every kind of input: the byte source's test hook
// makes the read that reaches byte P of a file fail with EIO, or find the
// file ending there, and P walks over the file (testkit/util/
// fault_positions.h says where). Each run opens the sample through
// GFileOpen (and
// SFileOpen when it has sound) and reads everything. It must end cleanly
// (no crash; no leak under the sanitizer build), a refused open must say
// why, and what is delivered must be what a clean read delivers until the
// damage is named: a frame that differs from the clean one comes after
// GFileDamage says why, and sound that differs from, or stops short of,
// the clean sound leaves SFileDamage saying why. An EIO that is named
// names the system's error.
//
// And files that change under an open source: cut to half, grown, or
// rewritten with other bytes between two GFileGet (SFileGet) calls. The
// next read names the damage, at the frame it was asked for, and marks
// that frame as not whole (GFileFrameDamaged). The first frame that
// differs from the clean read is marked so under read faults too.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "file/io_fault_hook.h"
#include "testkit/util/fault_positions.h"
#include "testkit/gfile/kind_samples.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/gfile.h"
#include "vexutil/sfile.h"
#include "vexutil/util.h"

namespace {

using vex::file::ReadFault;

uint64_t hash(const uint8_t *p, size_t n, uint64_t h = 1469598103934665603ull) {
  for (size_t i = 0; i < n; ++i)
    h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

// One read of the pictures: each output frame's hash (pixels and, for 8-bit
// output, the palette), and the first call after which GFileDamage spoke.
struct Pictures {
  bool opened = false;
  std::string reason; // VEXLastError of a refused open
  std::vector<uint64_t> frames;
  std::vector<bool> marked; // GFileFrameDamaged after each GFileGet
  int damaged_at = -1;
  std::string damage;
};

Pictures read_pictures(const std::string &name) {
  Pictures r;
  GFILEOPTIONS o = GFILEOPTIONS_INIT;
  o.flags = GFILE_DEEP_TRUE_COLOUR; // no palette analysis: one pass over the input
  GFILE *g = GFileOpenWith(name.c_str(), &o);
  if (!g) {
    r.reason = VEXLastError();
    return r;
  }
  r.opened = true;
  for (int32_t i = 0; i < g->output_frames; ++i) {
    if (!GFileGet(g))
      break;
    uint64_t h = hash(g->buffer, size_t(g->height) * size_t(g->pitch));
    if (!g->true_colour)
      h = hash(&g->palette[0][0], sizeof g->palette, h);
    r.frames.push_back(h);
    r.marked.push_back(GFileFrameDamaged(g) != 0);
    if (r.damaged_at < 0 && GFileDamage(g)) {
      r.damaged_at = i;
      r.damage = GFileDamage(g);
    }
  }
  GFileClose(g);
  return r;
}

struct Sound {
  bool opened = false;
  std::string reason;
  std::vector<uint8_t> pcm;
  std::string damage;
};

Sound read_sound(const std::string &name) {
  Sound r;
  SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
  if (!s) {
    r.reason = VEXLastError();
    return r;
  }
  r.opened = true;
  uint8_t buf[8192];
  while (const uint32_t n = SFileGet(s, buf, sizeof buf))
    r.pcm.insert(r.pcm.end(), buf, buf + n);
  if (const char *d = SFileDamage(s))
    r.damage = d;
  SFileClose(s);
  return r;
}

// What a faulty run did wrong against the clean one; "" when nothing.
std::string refusal(const std::string &reason, ReadFault fault) {
  if (reason.empty())
    return "refused without a reason";
  if (fault == ReadFault::io_error && reason.find(std::strerror(EIO)) == std::string::npos)
    return "the refusal does not name the error: " + reason;
  return "";
}

std::string judge(const Pictures &clean, const Pictures &run, ReadFault fault) {
  if (!run.opened)
    return refusal(run.reason, fault);
  for (size_t i = 0; i < run.frames.size(); ++i)
    if (i >= clean.frames.size() || run.frames[i] != clean.frames[i]) {
      if (run.damaged_at < 0 || size_t(run.damaged_at) > i)
        return "frame " + std::to_string(i + 1) + " differs from the clean one without damage named";
      // The first frame that differs is one that did not decode in full
      // (later ones may be whole deltas over it).
      if (!run.marked[i])
        return "frame " + std::to_string(i + 1) + " differs from the clean one but is presented as whole (" +
               run.damage + ")";
      break;
    }
  if (run.frames.size() < clean.frames.size() && run.damaged_at < 0)
    return "fewer frames without damage named";
  if (run.damaged_at >= 0 && run.damage.empty())
    return "an empty damage text";
  if (fault == ReadFault::io_error && run.damaged_at >= 0 && run.damage.find(std::strerror(EIO)) == std::string::npos)
    return "the damage does not name the error: " + run.damage;
  return "";
}

std::string judge(const Sound &clean, const Sound &run, ReadFault fault) {
  if (!run.opened)
    return refusal(run.reason, fault);
  if (run.pcm != clean.pcm && run.damage.empty())
    return "sound of " + std::to_string(run.pcm.size()) + " bytes (clean: " + std::to_string(clean.pcm.size()) +
           ") without damage named";
  if (fault == ReadFault::io_error && !run.damage.empty() && run.damage.find(std::strerror(EIO)) == std::string::npos)
    return "the damage does not name the error: " + run.damage;
  return "";
}

TEST(ReadFaults, EveryKindFailingAtEachByteTried) {
  vex::testkit::TempDir dir;
  const auto samples = vex::testkit::write_kind_samples(dir);
  uint64_t runs = 0;
  for (const auto &sample : samples) {
    const std::string name = dir.file(sample.file);
    // A list's entries (a.flc, b.flc) meet the fault too, and are longer.
    const uint64_t size = sample.kind == GFILE_LIST ? std::filesystem::file_size(dir.file("a.flc"))
                                                    : std::filesystem::file_size(name);
    const Pictures clean = read_pictures(name);
    ASSERT_TRUE(clean.opened) << sample.file << ": " << clean.reason;
    ASSERT_LT(clean.damaged_at, 0) << sample.file << ": " << clean.damage;
    ASSERT_EQ(std::count(clean.marked.begin(), clean.marked.end(), true), 0) << sample.file;
    const Sound clean_sound = read_sound(name);
    ASSERT_TRUE(clean_sound.damage.empty()) << sample.file << ": " << clean_sound.damage;
    int failures = 0;
    uint64_t met = 0; // runs refused or damaged: the fault was met
    const auto sweep_one = [&](ReadFault fault, uint64_t at) {
      vex::file::fail_reads(fault, at);
      const Pictures pictures = read_pictures(name);
      std::string why = judge(clean, pictures, fault);
      bool hit = !pictures.opened || pictures.damaged_at >= 0;
      if (clean_sound.opened) {
        const Sound sound = read_sound(name);
        hit = hit || !sound.opened || !sound.damage.empty();
        if (why.empty())
          why = judge(clean_sound, sound, fault);
      }
      vex::file::fail_reads(ReadFault::none, 0);
      ++runs;
      met += hit;
      // Every kind reads its first bytes at the open; a fault past the end
      // is never met.
      if (at == 0 && pictures.opened)
        why = "opened although its first byte cannot be read";
      if (at == size && hit)
        why = "a fault past the end was met";
      if (!why.empty() && ++failures <= 3)
        ADD_FAILURE() << sample.file << " (" << size << " bytes), "
                      << (fault == ReadFault::io_error ? "EIO" : "cut") << " at byte " << at << ": " << why;
    };
    for (const ReadFault fault : {ReadFault::io_error, ReadFault::cut})
      for (const uint64_t at : vex::testkit::fault_positions(size))
        sweep_one(fault, at);
    EXPECT_EQ(failures, 0) << sample.file;
    std::printf("%s: %llu bytes, %zu positions x 2 faults%s, %llu runs met the fault\n", sample.file.c_str(),
                (unsigned long long)size, vex::testkit::fault_positions(size).size(), clean_sound.opened ? ", pictures and sound" : "",
                (unsigned long long)met);
  }
  ::testing::Test::RecordProperty("fault runs", static_cast<int>(runs));
}

std::vector<uint8_t> contents(const std::string &name) {
  std::ifstream in(name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void put_contents(const std::string &name, const std::vector<uint8_t> &bytes, std::ios::openmode mode) {
  std::ofstream(name, std::ios::binary | mode).write(reinterpret_cast<const char *>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
}

enum class Change { cut, grown, rewritten };

// Changes the file as a writer or a copier would. The pause lets the
// file system's clock move on, so that a rewrite of the same size shows
// in the modification time (the only sign of it).
void change(const std::string &name, const std::vector<uint8_t> &original, Change how) {
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  switch (how) {
  case Change::cut: std::filesystem::resize_file(name, original.size() / 2); break;
  case Change::grown: put_contents(name, std::vector<uint8_t>(1000, 0x5A), std::ios::app); break;
  case Change::rewritten: {
    std::vector<uint8_t> other = original;
    for (size_t i = original.size() / 4; i < original.size(); ++i)
      other[i] ^= 0xA5;
    put_contents(name, other, std::ios::in | std::ios::out); // in place, same size
    break;
  }
  }
}

TEST(ChangedInputs, TheNextReadNamesTheDamageAtTheFrameItWasAskedFor) {
  vex::testkit::TempDir dir;
  const auto samples = vex::testkit::write_kind_samples(dir);
  for (const auto &sample : samples)
    for (const Change how : {Change::cut, Change::grown, Change::rewritten}) {
      const char *how_text[] = {"cut", "grown", "rewritten"};
      const std::string name = dir.file(sample.file);
      // A list's first entry is the file that changes.
      const std::string changed = sample.kind == GFILE_LIST ? dir.file("a.flc") : name;
      const std::vector<uint8_t> original = contents(changed);
      const std::string what = sample.file + " " + how_text[int(how)];
      GFILEOPTIONS o = GFILEOPTIONS_INIT;
      o.flags = GFILE_DEEP_TRUE_COLOUR;
      GFILE *g = GFileOpenWith(name.c_str(), &o);
      ASSERT_NE(g, nullptr) << what << ": " << VEXLastError();
      SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
      uint8_t pcm[1024];
      if (s) {
        ASSERT_EQ(SFileGet(s, pcm, sizeof pcm), sizeof pcm) << what;
      }
      // A movie shows its first frame first; a still's only frame is read
      // after the change.
      const int32_t before = g->output_frames > 1 ? 1 : 0;
      for (int32_t i = 0; i < before; ++i)
        ASSERT_EQ(GFileGet(g), 1) << what;
      ASSERT_EQ(GFileDamage(g), nullptr) << what << ": " << GFileDamage(g);
      change(changed, original, how);
      for (int32_t i = before; i < g->output_frames; ++i) {
        EXPECT_EQ(GFileGet(g), 1) << what;
        if (i == before) { // read from bytes the open did not see: not whole
          EXPECT_EQ(GFileFrameDamaged(g), 1) << what;
        }
      }
      const std::string frame = "frame " + std::to_string(before + 1);
      ASSERT_NE(GFileDamage(g), nullptr) << what;
      EXPECT_EQ(std::string(GFileDamage(g)).find(frame), 0u + (sample.kind == GFILE_LIST ? changed.size() + 2 : 0))
          << what << ": " << GFileDamage(g);
      GFileClose(g);
      if (s) {
        while (SFileGet(s, pcm, sizeof pcm) != 0) {
        }
        ASSERT_NE(SFileDamage(s), nullptr) << what;
        EXPECT_NE(std::string(SFileDamage(s)).find("after 512 sample frames"), std::string::npos)
            << what << ": " << SFileDamage(s);
        SFileClose(s);
      }
      put_contents(changed, original, std::ios::trunc);
    }
}

} // namespace
