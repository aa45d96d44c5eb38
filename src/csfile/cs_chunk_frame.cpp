#include "csfile/cs_chunk_frame.h"

namespace vex::csfile {

ChunkFrame::ChunkFrame(VEXFILE *out, uint32_t words) : out_(out) {
  // A chunk starts on a byte; bits a caller left pending are completed.
  VEXFileByteAlign(out_);
  start_ = VEXFileGetPos(out_);
  for (uint32_t i = 0; i < words; ++i)
    VEXFilePut32(out_, 0);
}

uint32_t ChunkFrame::finish(std::optional<uint32_t> pcm_bytes) {
  VEXFileByteAlign(out_);
  // Aligned relative to the chunk start, not to the file: the first chunk
  // may sit anywhere in a container.
  while ((VEXFileGetPos(out_) - start_) % 4 != 0)
    VEXFilePut8(out_, 0);
  const uint32_t end = VEXFileGetPos(out_);
  const uint32_t size = end - start_;
  VEXFileSetPos(out_, start_);
  VEXFilePut32(out_, size);
  if (pcm_bytes)
    VEXFilePut32(out_, *pcm_bytes);
  VEXFileSetPos(out_, end);
  return size;
}

} // namespace vex::csfile
