#include "ogfile/sound_pacing.h"

#include <algorithm>

namespace vex::ogfile {

SoundPace pace_for(uint32_t rate, uint32_t bits, uint32_t channels, uint32_t frame_rate, uint32_t frame_scale,
                   int32_t frame_count) {
  SoundPace p;
  p.block_align = bits * channels / 8;
  p.bytes_per_second = rate * p.block_align;
  p.initial_frames = ((rate * 3 / 4) + 3) & ~3u;
  p.preroll = p.initial_frames * p.block_align;
  if (frame_rate == 0 || p.block_align == 0)
    return p;
  // 64-bit: a second of 48 kHz stereo times a few thousand frames already
  // passes 2^32.
  const uint64_t total = uint64_t{p.bytes_per_second} * frame_scale * static_cast<uint32_t>(std::max(frame_count, 0)) /
                         frame_rate;
  p.total = static_cast<uint32_t>(std::min<uint64_t>(total / p.block_align * p.block_align, UINT32_MAX));
  return p;
}

uint32_t bytes_due(const SoundPace &p, uint32_t frame_rate, uint32_t frame_scale, uint32_t writes, uint32_t written,
                   uint32_t allowed) {
  if (frame_rate == 0)
    return 0;
  const uint64_t due = p.preroll + uint64_t{p.bytes_per_second} * writes * frame_scale / frame_rate;
  if (due <= written)
    return 0;
  // Whole sample frames only: at rates such as 30000/1001 a frame's share
  // is not one, and the remainder is simply due at the next frame.
  const uint64_t now = std::min<uint64_t>(allowed, due - written);
  return p.block_align ? static_cast<uint32_t>(now / p.block_align * p.block_align) : 0;
}

} // namespace vex::ogfile
