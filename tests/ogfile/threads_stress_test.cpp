// Distinct handles on distinct threads: eight threads, each with handles of
// its own, read every frame and every sound sample of every kind of input
// (8-bit and at the source's own depth) and write a FLIC, an AVI with
// sound, a PNG series, a WAV and two chunk streams (Huffman-coded deltas,
// transform blocks), round after round. Everything each thread sees or
// writes must be byte for byte what one thread alone saw and wrote before
// the others started: frames, palettes, PCM, failure reasons, damage texts
// and the output files (their names included, so a temporary left behind
// shows too). 20 rounds, in the default suite and under ThreadSanitizer
// (the tsan preset); 5 under AddressSanitizer, where 20 would cost CI
// minutes and the races are not looked for; VEXUTIL_STRESS_ROUNDS sets
// another count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "testkit/audio_codec/test_signals.h"
#include "testkit/flic/pattern.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/formats/tolm/tolm_sound_track.h"
#include "testkit/gfile/kind_samples.h"
#include "testkit/util/temp_dir.h"
#include "testkit/util/wav_file.h"
#include "vexutil/csfile.h"
#include "vexutil/gfile.h"
#include "vexutil/ogfile.h"
#include "vexutil/sfile.h"


namespace {

namespace tk = vex::testkit;

constexpr int kThreads = 8;
#if defined(__SANITIZE_ADDRESS__)
constexpr int kRounds = 5;
#else
constexpr int kRounds = 20;
#endif

// What one pass saw and wrote, by label ("pictures m.avi deep", "file
// o.flc", ...): the bytes, or the reason a step failed.
using Results = std::map<std::string, std::string>;

std::string bytes_of(const void *p, size_t n) { return {static_cast<const char *>(p), n}; }

std::string reason(const char *step) { return std::string("failed: ") + step + ": " + VEXLastError(); }

void read_pictures(const std::string &name, int32_t flags, std::string &out) {
  GFILEOPTIONS o = GFILEOPTIONS_INIT;
  o.flags = flags;
  GFILE *g = GFileOpenWith(name.c_str(), &o);
  if (!g) {
    out = reason("GFileOpenWith");
    return;
  }
  out = std::string(g->type) + " " + std::to_string(g->width) + "x" + std::to_string(g->height) + " frames " +
        std::to_string(g->output_frames) + "\n";
  for (int32_t i = 0; i < g->output_frames; ++i) {
    if (GFileGet(g) != 1) {
      out += reason("GFileGet");
      break;
    }
    out += bytes_of(g->buffer, static_cast<size_t>(g->height) * g->pitch);
    if (!g->true_colour)
      out += bytes_of(g->palette, sizeof g->palette);
  }
  if (const char *d = GFileDamage(g))
    out += std::string("damage: ") + d;
  GFileClose(g);
}

void read_sound(const std::string &name, std::string &out) {
  SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
  if (!s) {
    out = reason("SFileOpen");
    return;
  }
  out = std::to_string(s->rate) + " Hz " + std::to_string(s->bits) + " bits " + std::to_string(s->channels) + "\n";
  std::vector<uint8_t> pcm(4096);
  for (int i = 0; i < 100000; ++i) {
    const uint32_t n = SFileGet(s, pcm.data(), static_cast<uint32_t>(pcm.size()));
    if (n == 0)
      break;
    out += bytes_of(pcm.data(), n);
  }
  SFileClose(s);
}

// Copies the frames of `in` (and its sound, for an AVI) to `out`; the
// output writer's answer or the step that failed.
std::string convert(const std::string &in, int32_t flags, const std::string &out) {
  GFILEOPTIONS opts = GFILEOPTIONS_INIT;
  opts.flags = flags;
  GFILE *g = GFileOpenWith(in.c_str(), &opts);
  if (!g)
    return reason("GFileOpenWith");
  const int32_t row = (g->width + 3) & ~3; // pixels, before the first GFileGet
  OGFILE *o = OGFileCreate(nullptr, out.c_str(), g->true_colour, g->output_frames, g->out_num, g->out_den, g->width,
                           g->height, row, nullptr, OGFILE_NO_OVERWRITE_QUESTION);
  if (!o) {
    GFileClose(g);
    return reason("OGFileCreate");
  }
  SFILE *s = o->kind == OGFILE_AVI ? SFileOpen(in.c_str(), 22050, 16, 1, 0, 0, 0, 0, 0, nullptr) : nullptr;
  std::string said;
  std::vector<uint8_t> pcm;
  for (int32_t i = 0; i < g->output_frames && said.empty(); ++i) {
    if (s)
      if (const uint32_t n = OGFilePutSoundAmount(o, s->rate, s->bits, s->channels)) {
        pcm.assign(n, 0);
        for (uint32_t got = 0, k; got < n && (k = SFileGet(s, pcm.data() + got, n - got)) > 0;)
          got += k;
        OGFilePutSound(o, pcm.data(), n);
      }
    if (GFileGet(g) != 1)
      said = reason("GFileGet");
    else
      OGFilePut(o, g->buffer, g->true_colour ? nullptr : &g->palette[0][0]);
  }
  SFileClose(s);
  GFileClose(g);
  if (!said.empty()) {
    OGFileDiscard(o);
    return said;
  }
  const uint32_t size = OGFileClose(o);
  return size ? "written " + std::to_string(size) : reason("OGFileClose");
}

std::string wave(const std::string &in, const std::string &out) {
  SFILE *s = SFileOpen(in.c_str(), 22050, 16, 2, 0, 0, 0, 0, 0, nullptr);
  if (!s)
    return reason("SFileOpen");
  SFILEWAVE *w = SFileWaveCreate(out.c_str(), s->rate, s->bits, s->channels);
  if (!w) {
    SFileClose(s);
    return reason("SFileWaveCreate");
  }
  std::vector<uint8_t> pcm(3000);
  int32_t ok = 1;
  for (uint32_t n; ok && (n = SFileGet(s, pcm.data(), static_cast<uint32_t>(pcm.size()))) > 0;)
    ok = SFileWaveWrite(w, pcm.data(), n);
  SFileClose(s);
  return SFileWaveClose(w, ok) ? "written" : reason("SFileWaveWrite");
}

// compression as CSFileOpen takes it: below 100 the Huffman variants, 104
// the transform codec (at 22050 Hz 16-bit mono here).
std::string chunks(const std::string &in, int32_t compression, const std::string &out) {
  CSFILE *cs = CSFileOpen(in.c_str(), compression, 0, 0, 0, 0, compression >= 100 ? 22050 : 0,
                          compression >= 100 ? 16 : 0, 1, 0, 0, 0, 0, 0, nullptr);
  if (!cs)
    return reason("CSFileOpen");
  VEXFILE *f = VEXFileCreate(4096, out.c_str());
  if (!f) {
    CSFileClose(cs);
    return reason("VEXFileCreate");
  }
  CSFileSetOutput(cs, f);
  for (int i = 0; i < 10000 && cs->pass_left > 0; ++i)
    CSFilePut(cs, 4410);
  const std::string said = "chunks " + std::to_string(cs->total_chunk_bytes) + " for " +
                           std::to_string(cs->total_pcm_bytes) + (f->write_error ? " write error" : "");
  CSFileClose(cs);
  VEXFileClose(f);
  return said;
}

// The samples of every kind, and beside them the sound the kinds' own
// samples lack: a Korvane movie with a delta-coded track, one with a
// transform track and a Tolm movie with a coded track.
std::vector<tk::KindSample> write_samples(const tk::TempDir &dir) {
  std::vector<tk::KindSample> kinds = tk::write_kind_samples(dir);
  const tk::PatternAnimation anim(tk::PatternOptions{.width = 32, .height = 24, .frames = 4});
  for (const auto kind : {tk::korvane::SoundKind::delta, tk::korvane::SoundKind::transform}) {
    tk::korvane::MoviePlan plan; // 15 frames a second: 1470 sample frames each at 22050 Hz
    tk::korvane::TrackPlan track;
    track.kind = kind;
    track.rate = 22050;
    track.sixteen = true;
    track.stereo = kind == tk::korvane::SoundKind::delta;
    const std::vector<uint8_t> pcm = tk::pcm_bytes(tk::sine_sweep(22050, track.stereo ? 2 : 1, 1470 * 4, 200, 4000, 9000));
    const size_t per_frame = pcm.size() / 4;
    for (size_t f = 0; f < 4; ++f)
      track.frames.emplace_back(pcm.begin() + f * per_frame, pcm.begin() + (f + 1) * per_frame);
    plan.tracks[0] = track;
    const std::string name = kind == tk::korvane::SoundKind::delta ? "d.kvn" : "x.kvn";
    const auto written = tk::korvane::write_korvane(tk::korvane::pattern_frames(anim), plan, dir.file(name));
    EXPECT_TRUE(written.ok) << name << ": " << written.error;
    kinds.push_back({name, GFILE_KORVANE});
  }
  tk::tolm::Movie tolm = tk::tolm::random_movie({}).movie;
  tolm.tracks.push_back(tk::tolm::coded_track(tk::white_noise(1, 22050 * 6 / 15, 3000, 5), {}, 6, 15, 1));
  tk::write_file(dir.file("s.tlm"), tk::tolm::movie_bytes(tolm));
  kinds.push_back({"s.tlm", GFILE_TOLM});
  return kinds;
}

// One pass: every kind read twice (8-bit, and at its own depth) with its
// sound, then the outputs written into a folder of the pass's own.
Results one_pass(const tk::TempDir &samples, const std::vector<tk::KindSample> &kinds) {
  Results r;
  for (const tk::KindSample &k : kinds) {
    const std::string name = samples.file(k.file);
    read_pictures(name, 0, r["pictures " + k.file + " 8-bit"]);
    read_pictures(name, GFILE_DEEP_TRUE_COLOUR, r["pictures " + k.file + " deep"]);
    read_sound(name, r["sound " + k.file]);
  }
  const tk::TempDir out;
  r["write o.flc"] = convert(samples.file("a.flc"), 0, out.file("o.flc"));
  r["write o.avi"] = convert(samples.file("m.avi"), GFILE_TRUE_COLOUR, out.file("o.avi"));
  r["write o.png"] = convert(samples.file("m.kvn"), 0, out.file("o.png"));
  r["write o.wav"] = wave(samples.file("m.avi"), out.file("o.wav"));
  r["write h.vcs"] = chunks(samples.file("m.avi"), 5, out.file("h.vcs"));
  r["write t.vcs"] = chunks(samples.file("m.avi"), 104, out.file("t.vcs"));
  for (const auto &e : std::filesystem::directory_iterator(out.path())) {
    const std::vector<uint8_t> b = tk::read_file(e.path().string());
    r["file " + e.path().filename().string()] = bytes_of(b.data(), b.size());
  }
  return r;
}

// "" when `got` is `want`; else the first difference.
std::string difference(const Results &want, const Results &got) {
  for (const auto &[label, bytes] : want) {
    const auto it = got.find(label);
    if (it == got.end())
      return label + " is missing";
    if (it->second != bytes) {
      const auto at = std::mismatch(bytes.begin(), bytes.end(), it->second.begin(), it->second.end());
      return label + " differs at byte " + std::to_string(at.first - bytes.begin()) + " (" +
             std::to_string(it->second.size()) + " bytes instead of " + std::to_string(bytes.size()) + ")";
    }
  }
  for (const auto &[label, bytes] : got)
    if (!want.count(label))
      return label + " is new";
  return "";
}

int rounds() {
  const char *v = std::getenv("VEXUTIL_STRESS_ROUNDS");
  return v && std::atoi(v) > 0 ? std::atoi(v) : kRounds;
}

TEST(Threads, EveryThreadReadsAndWritesWhatOneThreadAloneDoes) {
  const tk::TempDir samples;
  const std::vector<tk::KindSample> kinds = write_samples(samples);
  const Results single = one_pass(samples, kinds);

  // The single run must itself have read and written something of every
  // kind, or equal results would prove nothing.
  for (const tk::KindSample &k : kinds) {
    const std::string &p = single.at("pictures " + k.file + " 8-bit");
    EXPECT_EQ(p.find("failed"), std::string::npos) << k.file << ": " << p;
    EXPECT_GT(p.size(), 24u * 32) << k.file;
  }
  for (const char *f : {"s.wav", "m.avi", "d.kvn", "x.kvn", "s.tlm"})
    EXPECT_GT(single.at(std::string("sound ") + f).size(), 100u) << f << ": " << single.at(std::string("sound ") + f);
  EXPECT_EQ(single.at("sound p.png"), "failed: SFileOpen: Error opening the audio input file.");
  for (const char *f : {"o.flc", "o.avi", "o0.png", "o3.png", "o.wav", "h.vcs", "t.vcs"})
    EXPECT_GT(single.count(std::string("file ") + f) ? single.at(std::string("file ") + f).size() : 0, 100u) << f;
  for (const auto &[label, said] : single) {
    if (label.rfind("write ", 0) == 0) {
      EXPECT_EQ(said.find("failed"), std::string::npos) << label << ": " << said;
    }
  }

  const int n = rounds();
  std::vector<std::string> first_difference(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < n && first_difference[t].empty(); ++round)
        if (std::string d = difference(single, one_pass(samples, kinds)); !d.empty())
          first_difference[t] = "round " + std::to_string(round) + ": " + d;
    });
  for (std::thread &t : threads)
    t.join();
  for (int t = 0; t < kThreads; ++t)
    EXPECT_EQ(first_difference[t], "") << "thread " << t << " of " << kThreads << ", " << n << " rounds";
  RecordProperty("threads_x_rounds", std::to_string(kThreads) + "x" + std::to_string(n));
}

} // namespace
