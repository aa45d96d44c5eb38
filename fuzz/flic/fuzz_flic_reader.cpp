// Arbitrary bytes as a FLIC file, read from memory: open, every frame, the
// loop back to frame 1, and seeks forward, backward and past the end. The
// reader must neither touch memory outside its buffers nor hang.
#include <cstdint>
#include <span>
#include <vector>

#include "file/byte_source.h"
#include "flic/flic_source.h"
#include "util/limits.h"
#include "vexutil/flic.h"

namespace {

constexpr uint32_t kMaxFrames = 200;

// Every rewind clears the whole frame buffer: the library's buffer limit,
// lowered, keeps each run short.
const bool limited = [] {
  vex::util::lower_limits(0, 256u << 10);
  return true;
}();

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  (void)limited;
  vex::file::ByteSource source;
  source.open(std::span<const uint8_t>(data, size));
  VEXFLIC *h = vex::flic::open_flic(std::move(source));
  if (!h)
    return 0;
  std::vector<uint8_t> buf(uint64_t{h->pitch} * h->buffer_height);
  const uint32_t frames = h->frame_count < kMaxFrames ? h->frame_count : kMaxFrames;
  for (uint32_t i = 0; i <= frames; ++i)
    if (VEXFlicGetNext(h, buf.data()) == VEXFLIC_FAILED)
      break;
  VEXFlicGoto(h, frames / 2, buf.data());
  VEXFlicGoto(h, 1, buf.data());
  VEXFlicGoto(h, frames, buf.data());
  VEXFlicGoto(h, 0, buf.data());
  VEXFlicGoto(h, frames + 5, buf.data());
  vex::flic::check_frames(h);
  char name[VEXFILE_NAME_SIZE] = "";
  VEXFlicGetName(h, name);
  VEXFlicClose(h);
  return 0;
}
