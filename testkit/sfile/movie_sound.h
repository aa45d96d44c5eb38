// Korvane movies with sound tracks of noise, for the tests of the sound
// source and of the tools that read movie sound: 735 sample frames of
// 11025 Hz sound a frame (66.67 ms, the movie's default frame time).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "testkit/formats/korvane/korvane_writer.h"

namespace vex::testkit {

// A track of `frames` frames of random-walk sound (korvane::walk_pcm).
korvane::TrackPlan korvane_noise_track(korvane::SoundKind kind, bool stereo, bool sixteen, uint32_t frames,
                                       uint32_t seed);

// Every frame's PCM of a track, joined.
std::vector<uint8_t> joined_pcm(const korvane::TrackPlan &t);

// A 16 x 16 pattern movie of `frames` frames with the tracks, at `speed`
// (the header's frame period); false when it cannot be written.
bool write_sound_movie(const std::string &path, std::array<std::optional<korvane::TrackPlan>, 7> tracks,
                       uint32_t frames, int32_t speed = -6667);

} // namespace vex::testkit
