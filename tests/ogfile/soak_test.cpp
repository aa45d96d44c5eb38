// Long runs in one process. A round opens every sample kind
// (testkit/gfile/kind_samples.h), reads it to its last frame and sound
// sample, goes back to the start once and closes it (8-bit and true colour
// by turns), fails to open a missing name and reads a FLC cut in half; now
// and then it writes an output through the public writers: FLC, AVI with
// sound (plain, mjpeg, discarded), a numbered series of each still kind, a
// chunk stream (read back) and WAV. Each round runs on a thread of its own.
// At three checkpoints the process's descriptors, threads, mappings,
// VmSize, VmRSS and heap in use are taken (testkit/util/process_usage.h);
// from the first on nothing may grow: no descriptor, thread or mapping
// more, memory within the allocator's noise. Every round must also read
// the bytes the first one read, every output have the size its first
// writing had and leave only its own files.
//
// The suite runs a short version; VEXUTIL_SOAK_ROUNDS=N runs N rounds with
// N / 10 outputs, measured at N / 100, N / 10 and N (10000 for the figures
// in bench/README.md).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "testkit/gfile/kind_samples.h"
#include "testkit/util/process_usage.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/csfile.h"
#include "vexutil/file.h"
#include "vexutil/gfile.h"
#include "vexutil/ogfile.h"
#include "vexutil/sfile.h"

namespace {

namespace tk = vex::testkit;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

struct Digest {
  uint64_t h = 1469598103934665603ull;
  void add(const void *p, size_t n) {
    for (size_t i = 0; i < n; ++i)
      h = (h ^ static_cast<const uint8_t *>(p)[i]) * 1099511628211ull;
  }
};

// Digest of the frame GFileGet delivered last (palette included in 8-bit).
uint64_t frame_digest(const GFILE *g) {
  Digest d;
  const int32_t row = g->true_colour ? g->width * 4 : g->width;
  for (int32_t y = 0; y < g->height; ++y)
    d.add(g->buffer + static_cast<size_t>(y) * g->pitch, row);
  if (!g->true_colour)
    d.add(g->palette, sizeof g->palette);
  return d.h;
}

// Every output frame and, when the input has sound, every sample; then
// back to the start, which must give the first frame and sound again. A
// damaged input must say so (and only then).
uint64_t read_whole(const std::string &name, int32_t flags, bool damaged = false) {
  Digest d;
  GFILEOPTIONS o = GFILEOPTIONS_INIT;
  o.flags = flags;
  GFILE *g = GFileOpenWith(name.c_str(), &o);
  EXPECT_NE(g, nullptr) << name << ": " << VEXLastError();
  if (!g)
    return 0;
  uint64_t first = 0;
  for (int32_t f = 0; f < g->output_frames; ++f) {
    EXPECT_EQ(GFileGet(g), 1) << name << " frame " << f;
    const uint64_t h = frame_digest(g);
    first = f ? first : h;
    d.add(&h, sizeof h);
  }
  EXPECT_EQ(GFileDamage(g) != nullptr, damaged) << name;
  GFileReset(g);
  EXPECT_EQ(GFileGet(g), 1) << name << " after the reset";
  EXPECT_EQ(frame_digest(g), first) << name << " after the reset";
  GFileClose(g);
  // Kinds without sound fail here: the failing open is part of the run.
  if (SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr)) {
    uint8_t head[4096], pcm[sizeof head];
    const uint32_t head_bytes = SFileGet(s, head, sizeof head);
    d.add(head, head_bytes);
    for (uint32_t n; (n = SFileGet(s, pcm, sizeof pcm)) != 0;)
      d.add(pcm, n);
    EXPECT_EQ(SFileDamage(s), nullptr) << name;
    SFileReset(s);
    EXPECT_EQ(SFileGet(s, pcm, head_bytes), head_bytes) << name << " after the reset";
    EXPECT_EQ(std::memcmp(pcm, head, head_bytes), 0) << name << " after the reset";
    SFileClose(s);
  }
  return d.h;
}

// The first video encoder named "mjpeg", else uncompressed frames.
const char *avi_codec() {
  const char *name = nullptr;
  for (int32_t i = 0; OGFileEncoder(i, &name, nullptr); ++i)
    if (std::strcmp(name, "mjpeg") == 0)
      return name;
  return nullptr;
}

// What one output left: its size (0: failed) and the files it should
// leave in the folder.
struct Written {
  uint32_t bytes;
  size_t files;
};

// Copies every frame of `input` into a new output `out` (8-bit or true
// colour), with the input's sound into an AVI; kept, or discarded after
// its frames (then 1 byte stands for success).
Written convert(const std::string &input, const std::string &out, int32_t true_colour, const char *codec,
                bool keep = true) {
  GFILEOPTIONS o = GFILEOPTIONS_INIT;
  o.flags = true_colour ? GFILE_TRUE_COLOUR : 0;
  GFILE *g = GFileOpenWith(input.c_str(), &o);
  if (!g)
    return {0, 0};
  const int32_t frames = g->output_frames;
  OGFILE *w = OGFileCreate(codec, out.c_str(), true_colour, frames, g->out_num, g->out_den, g->width, g->height,
                           (g->width + 3) & ~3, nullptr, OGFILE_NO_OVERWRITE_QUESTION);
  const bool still = w && w->kind != OGFILE_FLIC && w->kind != OGFILE_AVI;
  SFILE *s = w && w->kind == OGFILE_AVI ? SFileOpen(input.c_str(), 0, 16, 0, 0, 0, 0, 0, 0, nullptr) : nullptr;
  std::vector<uint8_t> pcm;
  for (int32_t f = 0; w && f < frames && GFileGet(g); ++f) {
    if (const uint32_t n = s ? OGFilePutSoundAmount(w, s->rate, s->bits, s->channels) : 0) {
      pcm.assign(n, 0); // silence past the source's end
      SFileGet(s, pcm.data(), n);
      OGFilePutSound(w, pcm.data(), n);
    }
    OGFilePut(w, g->buffer, g->palette[0]);
  }
  SFileClose(s);
  GFileClose(g);
  if (!keep) {
    OGFileDiscard(w);
    return {w ? 1u : 0u, 0};
  }
  return {w ? OGFileClose(w) : 0, still && frames > 1 ? static_cast<size_t>(frames) : 1};
}

// A chunk stream of the WAV's sound, read back through the scan and the
// sound source.
Written write_chunks(const std::string &wav, const std::string &out, int32_t compression) {
  VEXFILE *f = VEXFileCreate(1 << 14, out.c_str());
  CSFILE *cs = f ? CSFileOpen(wav.c_str(), compression, 0, 0, 0, 0, 22050, 16, 1, 0, 0, 0, 0, 0, nullptr) : nullptr;
  uint64_t chunks_written = 0;
  if (cs) {
    CSFileSetOutput(cs, f);
    for (int i = 0; i < 4; ++i) { // the sound is 8820 bytes at 22050 Hz
      const uint32_t before = cs->total_chunk_bytes;
      CSFilePut(cs, 2000);
      chunks_written += cs->total_chunk_bytes != before;
    }
  }
  const uint32_t bytes = cs ? cs->total_chunk_bytes : 0;
  const uint32_t pcm_written = cs ? cs->total_pcm_bytes : 0;
  CSFileClose(cs);
  VEXFileClose(f);
  CSSCAN *scan = CSFileScan(out.c_str(), 0, 22050);
  uint64_t chunks = 0;
  for (CSCHUNK c; scan && CSFileScanNext(scan, &c);)
    ++chunks;
  CSFileScanClose(scan);
  uint64_t pcm_bytes = 0;
  if (SFILE *s = SFileOpen(out.c_str(), 22050, 0, 0, 0, 0, 0, 0, 0, nullptr)) {
    uint8_t pcm[4096];
    for (uint32_t n; (n = SFileGet(s, pcm, sizeof pcm)) != 0;)
      pcm_bytes += n;
    SFileClose(s);
  }
  EXPECT_EQ(chunks, chunks_written) << out;
  EXPECT_EQ(pcm_bytes, pcm_written) << out;
  return {bytes, 1};
}

Written write_wave(const std::string &input, const std::string &out) {
  SFILE *s = SFileOpen(input.c_str(), 22050, 16, 2, 0, 0, 0, 0, 0, nullptr);
  SFILEWAVE *w = s ? SFileWaveCreate(out.c_str(), s->rate, s->bits, s->channels) : nullptr;
  uint8_t pcm[4096];
  uint32_t bytes = 0;
  bool ok = w != nullptr;
  for (uint32_t n; ok && (n = SFileGet(s, pcm, sizeof pcm)) != 0; bytes += n)
    ok = SFileWaveWrite(w, pcm, n) == 1;
  SFileClose(s);
  ok = SFileWaveClose(w, 1) == 1 && ok;
  return {ok ? bytes : 0, 1};
}

// The outputs in turn: FLC, AVI with sound (uncompressed, then through
// mjpeg), a numbered still series of each kind, a chunk stream (Huffman
// deltas, then the transform codec), WAV, and an AVI discarded after its
// frames.
constexpr int kOutputKinds = 14;

// Output number i: the kind's name and what it left.
std::pair<std::string, Written> write_output(const tk::TempDir &in, const tk::TempDir &out, int i) {
  static const char *const stills[] = {"bmp", "jpg", "png", "tif", "tga", "pcx", "gif"};
  const int k = i % kOutputKinds;
  if (k == 0)
    return {"flc", convert(in.file("a.flc"), out.file("o.flc"), 0, nullptr)};
  if (k <= 2) {
    const char *codec = k == 2 ? avi_codec() : nullptr;
    return {codec ? "avi mjpeg" : "avi", convert(in.file("m.avi"), out.file("o.avi"), 1, codec)};
  }
  if (k <= 9) {
    const char *ext = stills[k - 3];
    return {ext, convert(in.file("m.kvn"), out.file(std::string("o.") + ext), 0, nullptr)};
  }
  if (k <= 11)
    return {k == 11 ? "vcs transform" : "vcs", write_chunks(in.file("s.wav"), out.file("o.vcs"), k == 11 ? 104 : 5)};
  if (k == 12)
    return {"wav", write_wave(in.file("m.avi"), out.file("o.wav"))};
  return {"avi discarded", convert(in.file("m.avi"), out.file("o.avi"), 1, avi_codec(), false)};
}

// Empties the folder; the files that were in it.
size_t empty_folder(const tk::TempDir &dir) {
  size_t n = 0;
  for (const auto &e : std::filesystem::directory_iterator(dir.path()))
    n += std::filesystem::remove(e.path());
  return n;
}

struct Plan {
  int rounds, outputs;
  int checkpoints[3];
};

Plan plan() {
  if (const char *env = std::getenv("VEXUTIL_SOAK_ROUNDS")) {
    const int n = std::atoi(env);
    if (n >= 1000)
      return {n, n / 10, {std::max(n / 100, kOutputKinds), n / 10, n}};
  }
  // The sanitizer build is unoptimised and its allocator keeps freed
  // blocks in quarantine: fewer rounds, and of the memory only the heap in
  // use (its own count) is judged there.
  if (kSanitized)
    return {40, 40, {kOutputKinds, 20, 40}};
  return {300, 100, {30, 100, 300}};
}

// Outputs written by the end of round r: spread over the run, but one of
// each kind in the first rounds, so that every writer's one-time set-up is
// behind the first checkpoint.
int outputs_by(const Plan &p, int r) { return std::max(r * p.outputs / p.rounds, std::min(r, kOutputKinds)); }

// Growth allowed after the first checkpoint. The heap in use is counted
// exactly (rounds run on threads of their own, whose allocator caches go
// with them); a few KiB move with where the measuring itself allocates.
// Mapped and resident memory move with the allocator's arenas and pages
// (trimmed or not, a freed block's page still resident).
constexpr long kHeapNoise = 32 << 10;
constexpr long kRssNoiseKiB = 2048;
constexpr long kSizeNoiseKiB = 4096;

class Soak {
public:
  explicit Soak(const Plan &p) : plan_(p), samples_(tk::write_kind_samples(in_)) {
    // A FLC cut in half.
    const auto whole = std::filesystem::file_size(in_.file("a.flc"));
    std::filesystem::copy_file(in_.file("a.flc"), in_.file("cut.flc"));
    std::filesystem::resize_file(in_.file("cut.flc"), whole / 2);
  }

  // Round r on a thread of its own (as a server's worker would), so that
  // what the thread keeps (its reason, its allocator cache) ends with it.
  void run(int r) {
    std::thread t([&] { round(r); });
    t.join();
  }
  int written() const { return written_; }
  size_t output_kinds() const { return first_size_.size(); }

private:
  void round(int r) {
    const int32_t flags = r % 2 ? 0 : GFILE_TRUE_COLOUR;
    for (const auto &s : samples_) {
      const uint64_t h = read_whole(in_.file(s.file), flags);
      const auto [at, fresh] = first_digest_.emplace(std::make_pair(s.file, flags), h);
      EXPECT_EQ(h, at->second) << s.file << " read differently in round " << r;
    }
    // The ways an open goes wrong: no such file, damage.
    EXPECT_EQ(GFileOpenWith(in_.file("missing.flc").c_str(), nullptr), nullptr);
    EXPECT_EQ(SFileOpen(in_.file("missing.wav").c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr), nullptr);
    read_whole(in_.file("cut.flc"), flags, true);
    for (; written_ < outputs_by(plan_, r); ++written_) {
      const auto [kind, w] = write_output(in_, out_, written_);
      EXPECT_GT(w.bytes, 0u) << kind << " output " << written_ << ": " << VEXLastError();
      const auto [at, fresh] = first_size_.emplace(kind, w.bytes);
      EXPECT_EQ(w.bytes, at->second) << kind << " output " << written_;
      EXPECT_EQ(empty_folder(out_), w.files) << kind << " output " << written_ << " left other files";
    }
  }

  const Plan plan_;
  const tk::TempDir in_, out_;
  const std::vector<tk::KindSample> samples_;
  std::map<std::pair<std::string, int32_t>, uint64_t> first_digest_;
  std::map<std::string, uint32_t> first_size_;
  int written_ = 0;
};

TEST(Soak, EveryKindAndOutputStaysFlat) {
  const Plan p = plan();
  Soak soak(p);
  std::vector<std::pair<int, tk::ProcessUsage>> seen;
  seen.reserve(3);
  std::printf("%8s %8s %5s %8s %6s %12s %12s %12s\n", "round", "outputs", "fds", "threads", "maps", "VmSize KiB",
              "VmRSS KiB", "heap KiB");
  for (int round = 1; round <= p.rounds && !HasFailure(); ++round) {
    soak.run(round);
    if (std::find(std::begin(p.checkpoints), std::end(p.checkpoints), round) == std::end(p.checkpoints))
      continue;
    const tk::ProcessUsage u = tk::process_usage();
    seen.emplace_back(round, u);
    std::printf("%8d %8d %5ld %8ld %6ld %12ld %12ld %12ld\n", round, soak.written(), u.fds, u.threads, u.maps,
                u.vm_size_kib, u.vm_rss_kib, u.heap_bytes / 1024);
    std::fflush(stdout);
  }
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(soak.output_kinds(), (avi_codec() ? 14u : 13u)) << "every kind of output was written";
  const tk::ProcessUsage &base = seen.front().second;
  for (const auto &[round, u] : seen) {
    EXPECT_LE(u.fds, base.fds) << "round " << round;
    EXPECT_LE(u.threads, base.threads) << "round " << round;
    EXPECT_LE(u.heap_bytes, base.heap_bytes + kHeapNoise) << "round " << round;
    if (kSanitized) // its allocator maps a region per size of block as they come
      continue;
    EXPECT_LE(u.maps, base.maps) << "round " << round;
    EXPECT_LE(u.vm_size_kib, base.vm_size_kib + kSizeNoiseKiB) << "round " << round;
    EXPECT_LE(u.vm_rss_kib, base.vm_rss_kib + kRssNoiseKiB) << "round " << round;
  }
}

} // namespace
