// Positions, sizes, alignment and flushing of the buffered file.
#include "file/file_internal.h"
#include "file/os_file.h"

using namespace vex::file;

namespace {

// The unread part of the read buffer covers [file_offset - buffer_end, file_offset).
bool in_read_buffer(const VEXFILE *f, uint32_t p) {
  return f->mode == kReadMode && f->buffer_end > f->cursor && f->file_offset - f->buffer_end <= p &&
         p < f->file_offset;
}

} // namespace

extern "C" uint32_t VEXFileGetPos(VEXFILE *f) {
  if (!is_open(f))
    return 0;
  if (f->mode == kWriteMode)
    return f->file_offset + f->cursor;
  // A partly consumed byte counts as not yet read.
  return f->file_offset - f->buffer_end + f->cursor - (f->bit_count != 0 ? 1 : 0);
}

extern "C" uint32_t VEXFileSetPos(VEXFILE *f, uint32_t pos) {
  if (!is_open(f))
    return 0;
  const uint32_t c = VEXFileGetPos(f);
  if (pos == c)
    return c;
  // Grown by writing. In read mode everything written is already flushed,
  // and a position past the end may come from a seek alone, so the size is
  // asked again rather than taken from the position.
  if (f->cached_size != kSizeUnknown && c > f->cached_size)
    f->cached_size = f->mode == kWriteMode ? c : vex::file::file_length(f->handle);
  if (f->mode == kWriteMode) {
    VEXFileFlush(f, 0);
  } else if (in_read_buffer(f, pos)) {
    f->cursor = f->buffer_end - (f->file_offset - pos);
    f->bit_count = 0;
    return c;
  } else {
    f->cursor = f->buffer_end;
  }
  f->file_offset = vex::file::seek(f->handle, pos, f->file_offset);
  f->bit_count = 0;
  return c;
}

extern "C" int32_t VEXFileIsInBuffer(VEXFILE *f, uint32_t pos) { return is_open(f) && in_read_buffer(f, pos) ? 1 : 0; }

extern "C" uint32_t VEXFileSize(VEXFILE *f) {
  if (!is_open(f))
    return 0;
  learn_size(f);
  const uint32_t pos = VEXFileGetPos(f);
  return f->cached_size > pos ? f->cached_size : pos;
}

extern "C" int32_t VEXFileAtEnd(VEXFILE *f) {
  if (!is_open(f))
    return 1;
  learn_size(f);
  return VEXFileGetPos(f) >= f->cached_size ? 1 : 0;
}

extern "C" void VEXFileAlign(VEXFILE *f, uint32_t multiple) {
  if (!is_open(f))
    return;
  VEXFileByteAlign(f);
  if (multiple <= 1)
    return;
  const uint32_t p = VEXFileGetPos(f);
  const uint32_t r = p % multiple;
  if (r == 0)
    return;
  const uint32_t target = p + (multiple - r);
  if (target < p)
    return; // past 4 GiB: no such position
  const uint32_t size = VEXFileSize(f);
  if (target <= size) {
    VEXFileSetPos(f, target);
    return;
  }
  VEXFileSetPos(f, size);
  for (uint32_t i = size; i < target; ++i)
    VEXFilePut8(f, 0);
}

extern "C" void VEXFileFlush(VEXFILE *f, int32_t commit) {
  VEXFileByteAlign(f);
  if (!is_open(f) || f->mode != kWriteMode)
    return;
  flush_buffer(f); // a short write here sets the write-error flag too
  if (commit)
    vex::file::commit(f->handle);
}
