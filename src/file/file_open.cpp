// Opening, creating and closing buffered files, buffer allocation and the
// switches between read and write mode.
#include <cstring>

#include "file/file_internal.h"
#include "file/os_file.h"
#include "util/record.h"

namespace vex::file {

namespace {

VEXFILE *open_record(int32_t buffer_size, const char *name, file::Access access) {
  if (!name || std::strlen(name) >= VEXFILE_NAME_SIZE)
    return nullptr;
  VEXFILE *f = util::new_record<VEXFILE>();
  if (!f)
    return nullptr;
  // |INT32_MIN| does not fit; treat it as the largest buffer.
  const uint32_t capacity = buffer_size == INT32_MIN ? 0x7FFFFFFFu
                            : buffer_size < 0        ? static_cast<uint32_t>(-buffer_size)
                                                     : static_cast<uint32_t>(buffer_size);
  f->capacity = f->buffer_end = capacity;
  std::strcpy(f->name, name);
  // Sharing modes have no equivalent here: other openers are not locked out.
  f->handle = file::open_file(name, access);
  if (f->handle < 0) {
    vexfree(f);
    return nullptr;
  }
  f->cached_size = kSizeUnknown;
  if (access == file::Access::create) {
    f->mode = kWriteMode;
    f->cursor = 0;
  } else {
    f->mode = kReadMode;
    f->cursor = f->buffer_end; // the buffer counts as used up
  }
  return f;
}

} // namespace

void ensure_buffer(VEXFILE *f) {
  if (f->capacity == 0 || f->buffer)
    return;
  f->buffer = static_cast<uint8_t *>(vexmalloc(f->capacity));
  if (!f->buffer)
    f->capacity = f->buffer_end = f->cursor = 0;
}

void switch_to_read(VEXFILE *f) {
  const uint32_t p = VEXFileGetPos(f);
  VEXFileFlush(f, 0);
  f->mode = kReadMode;
  f->cursor = f->buffer_end;
  VEXFileSetPos(f, p);
}

void switch_to_write(VEXFILE *f) {
  const uint32_t p = VEXFileGetPos(f);
  f->cursor = 0;
  f->bit_count = 0;
  f->mode = kWriteMode;
  // buffer_end keeps the size of the last fill: the write buffer is that
  // large until a later fill changes it.
  VEXFileSetPos(f, p);
}

void learn_size(VEXFILE *f) {
  if (f->cached_size == kSizeUnknown)
    f->cached_size = file::file_length(f->handle);
}

} // namespace vex::file

using namespace vex::file;

extern "C" VEXFILE *VEXFileOpen(int32_t buffer_size, const char *name, int32_t mode) {
  if (mode != VEXFILE_READ && mode != VEXFILE_READWRITE)
    return nullptr;
  return open_record(buffer_size, name, mode == VEXFILE_READ ? vex::file::Access::read : vex::file::Access::read_write);
}

extern "C" VEXFILE *VEXFileCreate(int32_t buffer_size, const char *name) {
  return open_record(buffer_size, name, vex::file::Access::create);
}

extern "C" VEXFILE *VEXFileCreateWithRead(int32_t buffer_size, const char *name) {
  return open_record(buffer_size, name, vex::file::Access::create);
}

extern "C" void VEXFileClose(VEXFILE *f) {
  if (!f)
    return;
  if (is_open(f)) {
    VEXFileFlush(f, 0);
    vex::file::close_file(f->handle);
    f->handle = -1;
    f->cursor = f->buffer_end;
  }
  vexfree(f->buffer);
  vexfree(f);
}
