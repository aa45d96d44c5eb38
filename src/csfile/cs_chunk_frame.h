// The frame around every compressed-sound chunk:
//
//   offset 0   chunk size in bytes (32-bit little-endian), counting this
//              word, everything after it and the padding
//   offset 4   Huffman and transform chunks: the PCM bytes the chunk stands
//              for; raw chunks: the PCM itself starts here
//   ...        the body
//   end        zero bytes up to a multiple of 4 from the chunk start
//
// The size (and for transform chunks the PCM count) is known only when the
// body is written, so the chunk starts with placeholder words that are
// rewritten at the end.
#pragma once

#include <cstdint>
#include <optional>

#include "vexutil/file.h"

namespace vex::csfile {

class ChunkFrame {
public:
  // Remembers the position and writes `words` zero words (1 or 2).
  ChunkFrame(VEXFILE *out, uint32_t words);

  // Pads, writes the size word (and the PCM count word when given) at the
  // start and returns to the end. Returns the chunk size.
  uint32_t finish(std::optional<uint32_t> pcm_bytes = std::nullopt);

private:
  VEXFILE *out_;
  uint32_t start_;
};

} // namespace vex::csfile
