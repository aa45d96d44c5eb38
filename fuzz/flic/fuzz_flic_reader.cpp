// Arbitrary bytes as a FLIC file: open, every frame, the loop back to frame
// 1, and seeks forward, backward and past the end. The reader must neither
// touch memory outside its buffers nor hang.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vexutil/flic.h"

namespace {

// Frame buffers above this are refused here (not by the reader) to keep
// each run short: every rewind clears the whole buffer. The reader's own
// limit is 2 GiB.
constexpr uint64_t kMaxBuffer = 256u << 10;
constexpr uint32_t kMaxFrames = 200;

// Removes the scratch file when the process ends.
struct ScratchFile {
  std::string name;
  ~ScratchFile() { unlink(name.c_str()); }
};

const std::string &file_name() {
  // Memory-backed when /dev/shm is there: one file write per input.
  static const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  static const ScratchFile file{dir + "/vexfuzz-flic-" + std::to_string(getpid()) + ".flc"};
  return file.name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FILE *f = std::fopen(file_name().c_str(), "wb");
  if (!f)
    return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  VEXFLIC *h = VEXFlicOpen(file_name().c_str());
  if (!h)
    return 0;
  const uint64_t bytes = uint64_t{h->pitch} * h->buffer_height;
  if (bytes <= kMaxBuffer) {
    std::vector<uint8_t> buf(bytes);
    const uint32_t frames = h->frame_count < kMaxFrames ? h->frame_count : kMaxFrames;
    for (uint32_t i = 0; i <= frames; ++i)
      if (VEXFlicGetNext(h, buf.data()) == VEXFLIC_FAILED)
        break;
    VEXFlicGoto(h, frames / 2, buf.data());
    VEXFlicGoto(h, 1, buf.data());
    VEXFlicGoto(h, frames, buf.data());
    VEXFlicGoto(h, 0, buf.data());
    VEXFlicGoto(h, frames + 5, buf.data());
    char name[VEXFILE_NAME_SIZE];
    VEXFlicGetName(h, name);
  }
  VEXFlicClose(h);
  return 0;
}
