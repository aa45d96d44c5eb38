#include "testkit/sfile/movie_sound.h"

#include "testkit/flic/pattern.h"
#include "testkit/formats/korvane/korvane_hand.h"

namespace vex::testkit {

korvane::TrackPlan korvane_noise_track(korvane::SoundKind kind, bool stereo, bool sixteen, uint32_t frames,
                                       uint32_t seed) {
  korvane::TrackPlan t;
  t.kind = kind;
  t.stereo = stereo;
  t.sixteen = sixteen;
  t.frames = korvane::walk_pcm(frames, 735 * (stereo ? 2 : 1) * (sixteen ? 2 : 1), seed, false, sixteen);
  return t;
}

std::vector<uint8_t> joined_pcm(const korvane::TrackPlan &t) {
  std::vector<uint8_t> out;
  for (const auto &f : t.frames)
    out.insert(out.end(), f.begin(), f.end());
  return out;
}

bool write_sound_movie(const std::string &path, std::array<std::optional<korvane::TrackPlan>, 7> tracks,
                       uint32_t frames, int32_t speed) {
  korvane::MoviePlan plan;
  plan.speed = speed;
  plan.tracks = std::move(tracks);
  return korvane::write_korvane(
             korvane::pattern_frames(PatternAnimation({.width = 16, .height = 16, .frames = frames})), plan, path)
      .ok;
}

} // namespace vex::testkit
