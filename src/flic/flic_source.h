// What a VEXFLIC reads from: the byte source and its read-ahead window,
// the magic of the header, and the offset of the next frame chunk. The
// handle's `input` field points here.
#pragma once

#include <cstdint>

#include "file/byte_source.h"
#include "file/read_window.h"
#include "util/status.h"
#include "vexutil/flic.h"

struct VEXFLICINPUT {
  vex::file::ByteSource source;
  vex::file::ReadWindow window{source};
  uint32_t magic = 0;    // 0xAF11 or 0xAF12
  uint64_t position = 0; // offset of the next frame chunk
  // The frame VEXFlicGetNext last counted could not be read whole (its
  // data is not all in the file, or the system refused it): it drew
  // nothing, and the thread's last reason names it.
  bool frame_failed = false;
};

namespace vex::flic {

// Opens the FLIC of `source` (kept by the handle). Null with the reason
// (not this format, damaged, too large, out of memory) on failure.
VEXFLIC *open_flic(file::ByteSource source);

// The counted frames' chunks against the file: kDamaged with "frame n
// runs past the end of the file" for the first that does not fit in it.
// `whole` (when given) gets the count of frames before that one. The
// handle is rewound (the next decode gives frame 1).
util::Status check_frames(VEXFLIC *h, uint32_t *whole = nullptr);

} // namespace vex::flic
