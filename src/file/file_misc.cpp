// Names, lines, time stamps, erase/rename and the append-only log.
#include <cstring>

#include "file/file_internal.h"
#include "file/os_file.h"

using namespace vex::file;

extern "C" char *VEXFileGetName(VEXFILE *f, char *dest) {
  if (!is_open(f))
    return nullptr;
  if (dest)
    std::memcpy(dest, f->name, std::strlen(f->name) + 1);
  return f->name;
}

extern "C" char *VEXFileGetLine(VEXFILE *f, char *buf, int32_t size) {
  if (!buf || size <= 0)
    return buf;
  int32_t n = 0;
  while (n < size - 1 && !VEXFileAtEnd(f)) {
    const char c = static_cast<char>(VEXFileGet8(f));
    buf[n++] = c;
    if (c == '\n')
      break;
  }
  while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r'))
    --n;
  buf[n] = '\0';
  return buf;
}

extern "C" uint32_t VEXFileGetTime(VEXFILE *f) {
  if (!is_open(f))
    return 0;
  return static_cast<uint32_t>(vex::file::write_time(f->handle) >> 32);
}

extern "C" void VEXFileSetTime(VEXFILE *f, uint32_t t) {
  VEXFileFlush(f, 0); // later buffered writes would move the stamp again
  if (is_open(f))
    vex::file::set_times(f->handle, uint64_t{t} << 32);
}

extern "C" int32_t VEXFileErase(const char *name) { return vex::file::erase(name); }

extern "C" int32_t VEXFileRename(const char *new_name, const char *old_name) {
  return vex::file::move(new_name, old_name);
}

extern "C" void LogString(const char *name, const char *text) {
  VEXFILE *f = VEXFileOpen(1024, name, VEXFILE_READWRITE);
  if (f)
    VEXFileSetPos(f, VEXFileSize(f));
  else
    f = VEXFileCreate(1024, name);
  if (!f)
    return;
  if (text)
    VEXFilePutNB(f, text, static_cast<uint32_t>(std::strlen(text)));
  VEXFileClose(f);
}
