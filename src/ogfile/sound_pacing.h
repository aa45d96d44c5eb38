// How much sound an AVI movie takes before each frame. The track runs a
// pre-roll ahead of the pictures (three quarters of a second of samples,
// rounded down to a multiple of 4) and then keeps pace with the frames;
// it never takes more than the movie's length in sound.
#pragma once

#include <cstdint>

namespace vex::ogfile {

struct SoundPace {
  uint32_t block_align = 0;     // bytes per sample frame
  uint32_t bytes_per_second = 0;
  uint32_t initial_frames = 0;  // pre-roll in sample frames
  uint32_t preroll = 0;         // bytes
  uint32_t total = 0;           // bytes the movie takes, whole sample frames
};

// PCM of `rate` Hz, `bits` and `channels` under a movie of `frame_count`
// frames at frame_rate / frame_scale per second.
SoundPace pace_for(uint32_t rate, uint32_t bits, uint32_t channels, uint32_t frame_rate, uint32_t frame_scale,
                   int32_t frame_count);

// Bytes to write now, after `writes` sound writes that wrote `written`
// bytes, with `allowed` bytes still allowed.
uint32_t bytes_due(const SoundPace &p, uint32_t frame_rate, uint32_t frame_scale, uint32_t writes, uint32_t written,
                   uint32_t allowed);

} // namespace vex::ogfile
