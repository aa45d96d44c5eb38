// Trimming: start and end in milliseconds (or frames, for sources that have
// them, when negative) become a number of source bytes to skip and a
// length.
#include <algorithm>
#include <cstdlib>

#include "sfile/sound_reader.h"

namespace vex::sfile {
namespace {

// Milliseconds of a start or end value; frame f starts at (f - 1) * d and
// ends at f * d (d in 10 us units).
int64_t to_ms(int32_t v, uint32_t frame_time, bool is_start) {
  const int64_t magnitude = std::llabs(int64_t{v});
  if (v >= 0 || frame_time == 0)
    return magnitude;
  return (is_start ? magnitude - 1 : magnitude) * frame_time / 100;
}

uint32_t whole_frames(uint64_t bytes, uint32_t frame_bytes, uint32_t limit) {
  return static_cast<uint32_t>(std::min<uint64_t>(bytes - bytes % frame_bytes, limit));
}

} // namespace

void SoundReader::skip_start(Source &s, uint32_t bytes, int64_t /*ms*/) {
  s.skip += bytes;
  s.skip_initial += bytes;
}

void trim(Source &s, int32_t start_value, int32_t end_value) {
  const int64_t start = to_ms(start_value, s.frame_time, true);
  const int64_t end = to_ms(end_value, s.frame_time, false);
  if (start + end == 0)
    return;
  const uint64_t per_second = uint64_t{s.source_frame_bytes} * s.source_rate;
  const uint32_t fb = s.source_frame_bytes;
  const uint32_t skip = whole_frames(per_second * static_cast<uint64_t>(start) / 1000, fb, UINT32_MAX);
  if (skip < s.total) {
    s.reader->skip_start(s, skip, start);
    s.total -= skip;
  }
  if (start <= end)
    s.total = std::min(s.total, whole_frames(per_second * static_cast<uint64_t>(end - start) / 1000, fb, UINT32_MAX));
}

} // namespace vex::sfile
