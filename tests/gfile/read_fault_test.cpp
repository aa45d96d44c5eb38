// Reads that fail under every kind of input: the byte source's test hook
// makes the read that reaches byte P of a file fail with EIO, or find the
// file ending there, and P walks over the file (testkit/util/
// fault_positions.h says where). Each run opens the sample through
// GFileOpen (and SFileOpen when it has sound) and reads everything. It
// must end cleanly (no crash; no leak under the sanitizer build), a
// refused open must say why, and what is delivered must be what a clean
// read delivers until the damage is named: a frame that differs from the
// clean one comes after GFileDamage says why and is marked as not whole
// (GFileFrameDamaged), and sound that differs from, or stops short of,
// the clean sound leaves SFileDamage saying why. An EIO that is named
// names the system's error.
//
// And files that change under an open source: cut to half, grown, or
// rewritten with other bytes between two GFileGet (SFileGet) calls. The
// next read names the damage, at the frame it was asked for, and marks
// that frame as not whole.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "file/io_fault_hook.h"
#include "testkit/gfile/kind_samples.h"
#include "testkit/util/fault_positions.h"
#include "testkit/gfile/source_calls.h"
#include "vexutil/sfile.h"

namespace gfile_test {
namespace {

using vex::file::ReadFault;

uint64_t hash(const uint8_t *p, size_t n, uint64_t h = 1469598103934665603ull) {
  for (size_t i = 0; i < n; ++i)
    h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

// One read of the pictures (each output frame's hash, with the palette of
// 8-bit output, and its mark) or of the sound, and what was said.
struct Read {
  bool opened = false;
  std::string reason; // VEXLastError of a refused open
  std::vector<uint64_t> frames;
  std::vector<bool> marked;
  int damaged_at = -1; // the first call after which GFileDamage spoke
  std::string damage;
  std::vector<uint8_t> pcm;
};

Read read_pictures(const std::string &name) {
  Read r;
  GFILEOPTIONS o = GFILEOPTIONS_INIT;
  o.flags = GFILE_DEEP_TRUE_COLOUR; // no palette analysis: one pass over the input
  GFILE *g = GFileOpenWith(name.c_str(), &o);
  r.opened = g != nullptr;
  r.reason = g ? "" : VEXLastError();
  for (int32_t i = 0; g && i < g->output_frames && GFileGet(g); ++i) {
    const uint64_t h = hash(g->buffer, size_t(g->height) * size_t(g->pitch));
    r.frames.push_back(g->true_colour ? h : hash(&g->palette[0][0], sizeof g->palette, h));
    r.marked.push_back(GFileFrameDamaged(g) != 0);
    if (r.damaged_at < 0 && GFileDamage(g))
      r.damaged_at = i, r.damage = GFileDamage(g);
  }
  GFileClose(g);
  return r;
}

Read read_sound(const std::string &name) {
  Read r;
  SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
  r.opened = s != nullptr;
  r.reason = s ? "" : VEXLastError();
  uint8_t buf[8192];
  for (uint32_t n; s && (n = SFileGet(s, buf, sizeof buf)) != 0;)
    r.pcm.insert(r.pcm.end(), buf, buf + n);
  if (s && SFileDamage(s))
    r.damage = SFileDamage(s);
  SFileClose(s);
  return r;
}

// What a faulty run did wrong against the clean one; "" when nothing.
std::string judge(const Read &clean, const Read &run, ReadFault fault, bool sound) {
  const std::string eio = std::strerror(EIO);
  if (!run.opened)
    return run.reason.empty() ? "refused without a reason"
           : fault == ReadFault::io_error && run.reason.find(eio) == std::string::npos
               ? "the refusal does not name the error: " + run.reason
               : "";
  if (sound && run.pcm != clean.pcm && run.damage.empty())
    return "sound of " + std::to_string(run.pcm.size()) + " bytes (clean: " + std::to_string(clean.pcm.size()) +
           ") without damage named";
  for (size_t i = 0; i < run.frames.size(); ++i)
    if (i >= clean.frames.size() || run.frames[i] != clean.frames[i]) {
      if (run.damaged_at < 0 || size_t(run.damaged_at) > i)
        return "frame " + std::to_string(i + 1) + " differs from the clean one without damage named";
      // The first frame that differs did not decode in full (later ones may be whole deltas over it).
      if (!run.marked[i])
        return "frame " + std::to_string(i + 1) + " differs from the clean one but is presented as whole (" + run.damage + ")";
      break;
    }
  if (!sound && run.frames.size() < clean.frames.size() && run.damaged_at < 0)
    return "fewer frames without damage named";
  if (!sound && run.damaged_at >= 0 && run.damage.empty())
    return "an empty damage text";
  if (fault == ReadFault::io_error && !run.damage.empty() && run.damage.find(eio) == std::string::npos)
    return "the damage does not name the error: " + run.damage;
  return "";
}

TEST(ReadFaults, EveryKindFailingAtEachByteTried) {
  TempDir dir;
  for (const auto &sample : vex::testkit::write_kind_samples(dir)) {
    const std::string name = dir.file(sample.file);
    // A list's entries (a.flc, b.flc) meet the fault too, and are longer.
    const uint64_t size = std::filesystem::file_size(sample.kind == GFILE_LIST ? dir.file("a.flc") : name);
    const Read clean = read_pictures(name), clean_sound = read_sound(name);
    ASSERT_TRUE(clean.opened) << sample.file << ": " << clean.reason;
    ASSERT_LT(clean.damaged_at, 0) << sample.file << ": " << clean.damage;
    ASSERT_EQ(std::count(clean.marked.begin(), clean.marked.end(), true), 0) << sample.file;
    ASSERT_TRUE(clean_sound.damage.empty()) << sample.file << ": " << clean_sound.damage;
    int failures = 0;
    for (const ReadFault fault : {ReadFault::io_error, ReadFault::cut})
      for (const uint64_t at : vex::testkit::fault_positions(size)) {
        vex::file::fail_reads(fault, at);
        const Read pictures = read_pictures(name);
        std::string why = judge(clean, pictures, fault, false);
        bool hit = !pictures.opened || pictures.damaged_at >= 0;
        if (clean_sound.opened) {
          const Read sound = read_sound(name);
          hit = hit || !sound.opened || !sound.damage.empty();
          why = why.empty() ? judge(clean_sound, sound, fault, true) : why;
        }
        vex::file::fail_reads(ReadFault::none, 0);
        // Every kind reads its first bytes at the open; a fault past the end is never met.
        if (at == 0 && pictures.opened)
          why = "opened although its first byte cannot be read";
        if (at == size && hit)
          why = "a fault past the end was met";
        if (!why.empty() && ++failures <= 3)
          ADD_FAILURE() << sample.file << " (" << size << " bytes), " << (fault == ReadFault::io_error ? "EIO" : "cut")
                        << " at byte " << at << ": " << why;
      }
    EXPECT_EQ(failures, 0) << sample.file;
  }
}

void put_contents(const std::string &name, const std::vector<uint8_t> &bytes, std::ios::openmode mode) {
  std::ofstream(name, std::ios::binary | mode).write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

TEST(ChangedInputs, TheNextReadNamesTheDamageAtTheFrameItWasAskedFor) {
  TempDir dir;
  for (const auto &sample : vex::testkit::write_kind_samples(dir))
    for (const char *how : {"cut", "grown", "rewritten"}) {
      SCOPED_TRACE(sample.file + " " + how);
      const std::string name = dir.file(sample.file);
      // A list's first entry is the file that changes.
      const std::string changed = sample.kind == GFILE_LIST ? dir.file("a.flc") : name;
      const std::vector<uint8_t> original = vex::testkit::read_file(changed);
      Source g = must(name, {.flags = GFILE_DEEP_TRUE_COLOUR});
      SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
      uint8_t pcm[1024];
      ASSERT_EQ(s ? SFileGet(s, pcm, sizeof pcm) : sizeof pcm, sizeof pcm);
      // A movie shows its first frame first; a still's only frame is read after the change.
      const int32_t before = g->output_frames > 1 ? 1 : 0;
      for (int32_t i = 0; i < before; ++i)
        next(g.get());
      ASSERT_EQ(GFileDamage(g.get()), nullptr) << GFileDamage(g.get());
      // The pause lets the file system's clock move on, so that a rewrite of
      // the same size shows in the modification time (the only sign of it).
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      if (how[0] == 'c') {
        std::filesystem::resize_file(changed, original.size() / 2);
      } else if (how[0] == 'g') {
        put_contents(changed, std::vector<uint8_t>(1000, 0x5A), std::ios::app);
      } else {
        std::vector<uint8_t> other = original;
        for (size_t i = original.size() / 4; i < original.size(); ++i)
          other[i] ^= 0xA5;
        put_contents(changed, other, std::ios::in | std::ios::out); // in place, same size
      }
      EXPECT_EQ(GFileGet(g.get()), 1);
      EXPECT_EQ(GFileFrameDamaged(g.get()), 1); // read from bytes the open did not see: not whole
      for (int32_t i = before + 1; i < g->output_frames; ++i)
        EXPECT_EQ(GFileGet(g.get()), 1);
      ASSERT_NE(GFileDamage(g.get()), nullptr);
      EXPECT_EQ(std::string(GFileDamage(g.get())).find("frame " + std::to_string(before + 1)),
                sample.kind == GFILE_LIST ? changed.size() + 2 : 0u) << GFileDamage(g.get());
      if (s) {
        while (SFileGet(s, pcm, sizeof pcm) != 0) {
        }
        ASSERT_NE(SFileDamage(s), nullptr);
        EXPECT_NE(std::string(SFileDamage(s)).find("after 512 sample frames"), std::string::npos) << SFileDamage(s);
        SFileClose(s);
      }
      put_contents(changed, original, std::ios::trunc);
    }
}

} // namespace
} // namespace gfile_test
