// Sound tracks for test movies: 16-bit PCM coded with the transform encoder
// and cut into one packet per frame, the way the sound source reads them
// back (a packet's blocks decode, in stream order, to the count its first
// word gives; the last block's output is cut to that count).
#pragma once

#include <cstdint>

#include "testkit/audio_codec/codec_driver.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"

namespace vex::testkit::tolm {

struct SoundTrackPlan {
  uint32_t rate = 22050, channels = 1, quality = 60, id = 1;
  bool eight_bit = false; // the track says 8-bit samples (the packets still carry 16-bit sound)
};

// Codes pcm and spreads the blocks over `frames` packets, each frame taking
// blocks until the sound decoded so far reaches its share of the movie's
// time at rate_num / rate_den frames per second; the last frame takes the
// rest. Also returns the coded stream for comparison.
MovieTrack coded_track(const Pcm &pcm, const SoundTrackPlan &plan, uint32_t frames, uint32_t rate_num,
                       uint32_t rate_den, CodedStream *stream = nullptr);

} // namespace vex::testkit::tolm
