// Writes the sample Korvane movie (pattern.kvn: 320x200, 60 frames at 15
// per second, a transform-coded, a delta-coded and a raw sound track) into
// the folder named on the command line. With --seeds it writes small
// movies of every kind as fuzzing seeds instead.
#include <cstdio>
#include <cstring>
#include <string>

#include "testkit/audio_codec/test_signals.h"
#include "testkit/formats/korvane/korvane_writer.h"

namespace kw = vex::testkit::korvane;

namespace {

// The signal cut into per-frame PCM of `per` sample frames.
std::vector<kw::Bytes> split(const vex::testkit::Pcm &pcm, size_t frames, size_t per, bool eight_bit) {
  std::vector<kw::Bytes> out(frames);
  for (size_t f = 0; f < frames; ++f)
    for (size_t i = f * per; i < (f + 1) * per && i < pcm.size(); ++i) {
      if (eight_bit) {
        out[f].push_back(static_cast<uint8_t>((pcm[i] >> 8) + 128));
      } else {
        out[f].push_back(static_cast<uint8_t>(pcm[i]));
        out[f].push_back(static_cast<uint8_t>(pcm[i] >> 8));
      }
    }
  return out;
}

kw::TrackPlan track(kw::SoundKind kind, uint32_t rate, std::vector<kw::Bytes> frames, bool sixteen) {
  kw::TrackPlan t;
  t.kind = kind;
  t.rate = rate;
  t.sixteen = sixteen;
  t.frames = std::move(frames);
  t.quality = 4;
  return t;
}

bool write(const std::string &path, uint32_t w, uint32_t h, uint32_t frames, kw::MoviePlan plan) {
  vex::testkit::PatternOptions o;
  o.width = w;
  o.height = h;
  o.frames = frames;
  o.cycle = o.noise = o.stills = o.solid = true;
  const auto m = kw::write_korvane(kw::pattern_frames(vex::testkit::PatternAnimation(o)), plan, path);
  if (!m.ok)
    std::fprintf(stderr, "vex_make_korvane_sample: %s: %s\n", path.c_str(), m.error.c_str());
  return m.ok;
}

} // namespace

int main(int argc, char **argv) {
  const bool seeds = argc == 3 && std::strcmp(argv[1], "--seeds") == 0;
  if (argc != 2 && !seeds) {
    std::fprintf(stderr, "usage: vex_make_korvane_sample [--seeds] FOLDER\n");
    return 2;
  }
  const std::string dir = argv[argc - 1];
  const uint32_t frames = seeds ? 4 : 60;
  const uint32_t rate = 22050, per = rate / 15;
  const auto sweep = vex::testkit::sine_sweep(rate, 1, per * frames, 80, 6000, 10000);
  kw::MoviePlan plan;
  plan.tracks[0] = track(kw::SoundKind::transform, rate, split(sweep, frames, per, false), true);
  plan.tracks[1] = track(kw::SoundKind::delta, rate, split(sweep, frames, per, true), false);
  plan.tracks[2] = track(kw::SoundKind::raw, rate, split(sweep, frames, per, true), false);
  if (!seeds)
    return write(dir + "/pattern.kvn", 320, 200, frames, plan) ? 0 : 1;
  bool ok = write(dir + "/sound", 16, 8, frames, plan);
  kw::MoviePlan plain;
  plain.version = 2;
  ok = write(dir + "/kvn2", 16, 16, frames, plain) && ok;
  plain.version = 4;
  plain.ring = true;
  plain.vertical = 4;
  ok = write(dir + "/ring_doubled", 12, 8, frames, plain) && ok;
  plan.tracks[0].reset();
  plan.tracks[3] = track(kw::SoundKind::delta, rate, split(sweep, frames, per, false), true);
  plan.tracks[3]->stereo = false;
  ok = write(dir + "/delta16", 8, 8, frames, plan) && ok;
  return ok ? 0 : 1;
}
