// The compressed-sound writer behind the exported CSFile family. The
// exported open reaches the library's sound source through
// open_sound_source (cs_sound_source.h); everything after that is
// CSFileOpenSource, which tests drive with sources of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "csfile/cs_delta_coder.h"
#include "csfile/pcm_source.h"
#include "vexutil/csfile.h"

namespace vex::csfile {

// Arguments 2-6 of the exported open, and whether raw storage was asked
// for (a raw format of 4 or more).
struct CsOptions {
  int32_t compression = 0; // 100 * m + q; m >= 1 asks for the transform codec
  bool fill_repeat = false;
  bool repeat_forever = false;
  int32_t lead_in_ms = 0;
  int32_t pass_ms = 0; // 0: the source's length
  bool raw_storage = false;
};

// The record a CSFILE handle points into: the public fields first, then
// what only the writer sees.
struct CsWriter : CSFILE {
  std::unique_ptr<PcmSource> pcm_source;
  PcmFormat format;             // output format of the source
  std::vector<uint8_t> pcm;     // a chunk's PCM (raw and Huffman chunks)
  DeltaScratch delta;            // the delta coder's work space
};

// Largest PCM count of one chunk, so that a chunk's size always fits its
// 32-bit size word.
constexpr uint32_t kMaxChunkPcmBytes = 1u << 30;

// Takes the source over; null (and the source closed) when the record or a
// coder cannot be allocated or the source's output format is not 8/16-bit
// mono/stereo at a non-zero rate.
CSFILE *CSFileOpenSource(std::unique_ptr<PcmSource> source, const CsOptions &options);

} // namespace vex::csfile
