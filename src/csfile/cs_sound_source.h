// The writer's two calls into the library's sound source: opening it behind
// a PcmSource adapter, and reading its switches.
#pragma once

#include <cstdint>
#include <memory>

#include "csfile/pcm_source.h"
#include "vexutil/csfile.h"

namespace vex::csfile {

// Arguments 7-15 of CSFileOpen, as the sound source takes them.
struct SoundSourceArgs {
  const char *name = nullptr;
  int32_t rate = 0, bits = 0, channels = 0;
  int32_t start = 0, end = 0, track = 0;
  int32_t raw_format = 0, raw_header = 0;
  VEXMessageCallback callback = nullptr;
};

// Null when the input cannot be opened (the source reports why through the
// callback and VEXLastError).
std::unique_ptr<PcmSource> open_sound_source(const SoundSourceArgs &args);

// The sound switches of a command line (/R /B /C /S /E /T, /Y with /D and
// /K); every pointer may be null.
void read_sound_switches(char *cmd, int32_t *rate, int32_t *bits, int32_t *channels, int32_t *start, int32_t *end,
                         int32_t *track, int32_t *raw_format, int32_t *raw_header);

} // namespace vex::csfile
