// Where a chunk's PCM comes from: the silent lead-in, then the source, read
// again from its start when fill-by-repeating is on, then silence up to the
// end of the pass; with repeat-forever a finished pass starts again. The
// pass counts its lead-in.
#pragma once

#include <cstdint>
#include <span>

#include "csfile/pcm_source.h"
#include "vexutil/csfile.h"

namespace vex::csfile {

// Fills dest, whose size is whole output frames and which the caller has
// filled with silence, and advances the lead-in and pass counters of cs.
// Lead-in and padding bytes are skipped (they keep the silence). Returns
// the bytes delivered: without repeat-forever at most what is left of the
// pass; never less than that unless dest is smaller.
uint32_t feed_pcm(CSFILE &cs, PcmSource &source, std::span<uint8_t> dest);

} // namespace vex::csfile
