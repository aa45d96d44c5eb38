// Shared by the files of the buffered file: states and mode switches.
#pragma once

#include "vexutil/file.h"

namespace vex::file {

constexpr uint32_t kSizeUnknown = 0xFFFFFFFFu;
constexpr int32_t kWriteMode = 1;
constexpr int32_t kReadMode = 0;

inline bool is_open(const VEXFILE *f) { return f && f->handle != -1; }

// Allocates the transfer buffer at the first transfer; without memory the
// file runs unbuffered.
void ensure_buffer(VEXFILE *f);
// Mode switches keep the logical position.
void switch_to_read(VEXFILE *f);
void switch_to_write(VEXFILE *f);
// Writes out whatever the write buffer holds (no byte alignment).
void flush_buffer(VEXFILE *f);
// Learns the size from the system once.
void learn_size(VEXFILE *f);

} // namespace vex::file
