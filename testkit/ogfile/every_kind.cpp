#include "testkit/ogfile/every_kind.h"

#include <cstring>
#include <filesystem>

#include "testkit/audio_codec/test_signals.h"
#include "testkit/flic/pattern.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/formats/tolm/tolm_sound_track.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/wav_file.h"
#include "vexutil/csfile.h"
#include "vexutil/file.h"
#include "vexutil/gfile.h"
#include "vexutil/ogfile.h"
#include "vexutil/sfile.h"

namespace vex::testkit {
namespace {

std::string bytes_of(const void *p, size_t n) { return {static_cast<const char *>(p), n}; }
std::string failed(const char *step) { return std::string("failed: ") + step + ": " + VEXLastError(); }

std::string pictures(const std::string &name, int32_t flags) {
  GFILEOPTIONS o = GFILEOPTIONS_INIT;
  o.flags = flags;
  GFILE *g = GFileOpenWith(name.c_str(), &o);
  if (!g)
    return failed("GFileOpenWith");
  std::string out = std::string(g->type) + " " + std::to_string(g->width) + "x" + std::to_string(g->height) +
                    " frames " + std::to_string(g->output_frames) + "\n";
  const auto frame = [g] {
    return bytes_of(g->buffer, static_cast<size_t>(g->height) * g->pitch) +
           (g->true_colour ? "" : bytes_of(g->palette, sizeof g->palette));
  };
  std::string first;
  for (int32_t i = 0; i < g->output_frames; ++i) {
    if (GFileGet(g) != 1) {
      out += failed("GFileGet");
      break;
    }
    out += frame();
    first = i ? first : frame();
  }
  if (const char *d = GFileDamage(g))
    out += std::string("damage: ") + d;
  GFileReset(g);
  if (GFileGet(g) != 1 || frame() != first)
    out += "reset: another first frame";
  GFileClose(g);
  return out;
}

std::string sound(const std::string &name) {
  SFILE *s = SFileOpen(name.c_str(), 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
  if (!s)
    return failed("SFileOpen");
  std::string out =
      std::to_string(s->rate) + " Hz " + std::to_string(s->bits) + " bits " + std::to_string(s->channels) + "\n";
  uint8_t pcm[4096];
  uint32_t head = 0;
  for (uint32_t n; (n = SFileGet(s, pcm, sizeof pcm)) != 0;) {
    head = head ? head : n;
    out += bytes_of(pcm, n);
  }
  if (const char *d = SFileDamage(s))
    out += std::string("damage: ") + d;
  SFileReset(s);
  if (SFileGet(s, pcm, head) != head || bytes_of(pcm, head) != out.substr(out.find('\n') + 1, head))
    out += "reset: other sound";
  SFileClose(s);
  return out;
}

// Copies the frames of `in` (and, into an AVI, its sound at `rate`, 16
// bits, `channels`; 0: the input's own) to `out`; kept, or discarded after
// its frames.
std::string convert(const std::string &in, int32_t flags, const std::string &out, const char *codec, int32_t rate,
                    int32_t channels, bool keep = true) {
  GFILEOPTIONS opts = GFILEOPTIONS_INIT;
  opts.flags = flags;
  GFILE *g = GFileOpenWith(in.c_str(), &opts);
  if (!g)
    return failed("GFileOpenWith");
  const int32_t row = (g->width + 3) & ~3; // pixels, before the first GFileGet
  OGFILE *o = OGFileCreate(codec, out.c_str(), g->true_colour, g->output_frames, g->out_num, g->out_den, g->width,
                           g->height, row, nullptr, OGFILE_NO_OVERWRITE_QUESTION);
  if (!o) {
    GFileClose(g);
    return failed("OGFileCreate");
  }
  SFILE *s = o->kind == OGFILE_AVI ? SFileOpen(in.c_str(), rate, 16, channels, 0, 0, 0, 0, 0, nullptr) : nullptr;
  std::string said;
  std::vector<uint8_t> pcm;
  for (int32_t i = 0; i < g->output_frames && said.empty(); ++i) {
    if (const uint32_t n = s ? OGFilePutSoundAmount(o, s->rate, s->bits, s->channels) : 0) {
      pcm.assign(n, 0); // silence past the source's end
      for (uint32_t got = 0, k; got < n && (k = SFileGet(s, pcm.data() + got, n - got)) > 0;)
        got += k;
      OGFilePutSound(o, pcm.data(), n);
    }
    if (GFileGet(g) != 1)
      said = failed("GFileGet");
    else
      OGFilePut(o, g->buffer, g->true_colour ? nullptr : &g->palette[0][0]);
  }
  SFileClose(s);
  GFileClose(g);
  if (!said.empty() || !keep) {
    OGFileDiscard(o);
    return said.empty() ? "discarded" : said;
  }
  const uint32_t size = OGFileClose(o);
  return size ? "written " + std::to_string(size) : failed("OGFileClose");
}

std::string wave(const std::string &in, const std::string &out) {
  SFILE *s = SFileOpen(in.c_str(), 22050, 16, 2, 0, 0, 0, 0, 0, nullptr);
  SFILEWAVE *w = s ? SFileWaveCreate(out.c_str(), s->rate, s->bits, s->channels) : nullptr;
  std::vector<uint8_t> pcm(3000);
  int32_t ok = w != nullptr;
  for (uint32_t n; ok && (n = SFileGet(s, pcm.data(), static_cast<uint32_t>(pcm.size()))) > 0;)
    ok = SFileWaveWrite(w, pcm.data(), n);
  SFileClose(s);
  return w && SFileWaveClose(w, ok) && ok ? "written" : failed("SFileWave");
}

// compression as CSFileOpen takes it: below 100 the Huffman variants, 104
// the transform codec; at `rate` and `bits` (0: the input's own), mono, in
// puts of `bytes`: `puts` of them whatever is left (a put past the pass's
// end writes nothing), or with puts 0 until the pass ends; the stream then
// scanned and read back.
std::string chunks(const std::string &in, int32_t compression, int32_t rate, int32_t bits, int puts, uint32_t bytes,
                   const std::string &out) {
  CSFILE *cs = CSFileOpen(in.c_str(), compression, 0, 0, 0, 0, rate, bits, 1, 0, 0, 0, 0, 0, nullptr);
  VEXFILE *f = cs ? VEXFileCreate(4096, out.c_str()) : nullptr;
  if (!f) {
    CSFileClose(cs);
    return failed("CSFileOpen or VEXFileCreate");
  }
  CSFileSetOutput(cs, f);
  uint64_t written = 0;
  for (int i = 0; puts > 0 ? i < puts : i < 10000 && cs->pass_left > 0; ++i) {
    const uint32_t before = cs->total_chunk_bytes;
    CSFilePut(cs, bytes);
    written += cs->total_chunk_bytes != before;
  }
  const std::string said = "chunks " + std::to_string(cs->total_chunk_bytes) + " for " +
                           std::to_string(cs->total_pcm_bytes) + (f->write_error ? " write error" : "");
  const uint64_t pcm_written = cs->total_pcm_bytes;
  CSFileClose(cs);
  VEXFileClose(f);
  uint64_t scanned = 0, pcm_read = 0;
  CSSCAN *scan = CSFileScan(out.c_str(), 0, 22050);
  for (CSCHUNK c; scan && CSFileScanNext(scan, &c);)
    ++scanned;
  CSFileScanClose(scan);
  if (SFILE *s = SFileOpen(out.c_str(), 22050, 0, 0, 0, 0, 0, 0, 0, nullptr)) {
    uint8_t pcm[4096];
    for (uint32_t n; (n = SFileGet(s, pcm, sizeof pcm)) != 0;)
      pcm_read += n;
    SFileClose(s);
  }
  if (scanned != written || pcm_read != pcm_written)
    return "failed: " + std::to_string(written) + " chunks and " + std::to_string(pcm_written) +
           " PCM bytes written, " + std::to_string(scanned) + " scanned and " + std::to_string(pcm_read) + " read back";
  return said;
}

// The first video encoder named "mjpeg", else uncompressed frames.
const char *mjpeg() {
  const char *name = nullptr;
  for (int32_t i = 0; OGFileEncoder(i, &name, nullptr); ++i)
    if (std::strcmp(name, "mjpeg") == 0)
      return name;
  return nullptr;
}

} // namespace

std::vector<std::string> write_every_kind(const TempDir &dir) {
  std::vector<std::string> names;
  for (const KindSample &k : write_kind_samples(dir))
    names.push_back(k.file);
  const PatternAnimation anim(PatternOptions{.width = 32, .height = 24, .frames = 4});
  for (const auto kind : {korvane::SoundKind::delta, korvane::SoundKind::transform}) {
    korvane::MoviePlan plan; // 15 frames a second: 1470 sample frames each at 22050 Hz
    korvane::TrackPlan track;
    track.kind = kind;
    track.rate = 22050;
    track.sixteen = true;
    track.stereo = kind == korvane::SoundKind::delta;
    const std::vector<uint8_t> pcm = pcm_bytes(sine_sweep(22050, track.stereo ? 2 : 1, 1470 * 4, 200, 4000, 9000));
    for (size_t f = 0, per_frame = pcm.size() / 4; f < 4; ++f)
      track.frames.emplace_back(pcm.begin() + f * per_frame, pcm.begin() + (f + 1) * per_frame);
    plan.tracks[0] = track;
    names.push_back(kind == korvane::SoundKind::delta ? "d.kvn" : "x.kvn");
    korvane::write_korvane(korvane::pattern_frames(anim), plan, dir.file(names.back()));
  }
  tolm::Movie movie = tolm::random_movie({}).movie;
  movie.tracks.push_back(tolm::coded_track(white_noise(1, 22050 * 6 / 15, 3000, 5), {}, 6, 15, 1));
  write_file(dir.file("s.tlm"), tolm::movie_bytes(movie));
  const std::vector<uint8_t> flc = read_file(dir.file("a.flc"));
  write_file(dir.file("cut.flc"), std::vector<uint8_t>(flc.begin(), flc.begin() + flc.size() / 2));
  names.insert(names.end(), {"s.tlm", "cut.flc", "missing.flc"});
  return names;
}

void read_every_kind(const TempDir &dir, const std::vector<std::string> &inputs, const std::vector<int32_t> &flags,
                     PassResults &out) {
  for (const std::string &name : inputs) {
    for (const int32_t f : flags)
      out["pictures " + name + " " + std::to_string(f)] = pictures(dir.file(name), f);
    out["sound " + name] = sound(dir.file(name));
  }
}

const std::vector<std::string> &output_kinds() {
  static const std::vector<std::string> kinds{"o.flc", "o.avi", "mjpeg", "mjpeg discarded", "o.bmp", "o.jpg", "o.png",
                                              "o.tif", "o.tga", "o.pcx", "o.gif",           "o.wav", "h.vcs", "t.vcs",
                                              "s.vcs", "u.vcs"};
  return kinds;
}

void write_output(const TempDir &in, const std::string &kind, const TempDir &out, PassResults &r) {
  std::string &said = r["write " + kind];
  if (kind == "o.flc")
    said = convert(in.file("a.flc"), 0, out.file(kind), nullptr, 0, 0);
  else if (kind == "o.avi")
    said = convert(in.file("m.avi"), GFILE_TRUE_COLOUR, out.file(kind), nullptr, 22050, 1);
  else if (kind.rfind("mjpeg", 0) == 0)
    said = convert(in.file("m.avi"), GFILE_TRUE_COLOUR, out.file("m.avi"), mjpeg(), 0, 0, kind == "mjpeg");
  else if (kind == "o.wav")
    said = wave(in.file("m.avi"), out.file(kind));
  else if (kind == "h.vcs")
    said = chunks(in.file("m.avi"), 5, 0, 0, 0, 4410, out.file(kind));
  else if (kind == "t.vcs")
    said = chunks(in.file("m.avi"), 104, 22050, 16, 0, 4410, out.file(kind));
  else if (kind == "s.vcs" || kind == "u.vcs") // the silent WAV, resampled, in four short puts
    said = chunks(in.file("s.wav"), kind[0] == 's' ? 5 : 104, 22050, 16, 4, 2000, out.file(kind));
  else
    said = convert(in.file("m.kvn"), 0, out.file(kind), nullptr, 0, 0);
  for (const auto &e : std::filesystem::directory_iterator(out.path())) {
    const std::vector<uint8_t> b = read_file(e.path().string());
    r["file " + e.path().filename().string()] = bytes_of(b.data(), b.size());
    std::filesystem::remove(e.path());
  }
}

} // namespace vex::testkit
