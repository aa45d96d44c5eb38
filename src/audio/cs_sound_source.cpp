// See cs_sound_source.h: the sound source is not part of the library yet.
#include "audio/cs_sound_source.h"

namespace vex::audio {

std::unique_ptr<PcmSource> open_sound_source(const SoundSourceArgs &) { return nullptr; }

bool read_sound_switches(char *, int32_t *, int32_t *, int32_t *, int32_t *, int32_t *, int32_t *, int32_t *,
                         int32_t *) {
  return false;
}

} // namespace vex::audio
