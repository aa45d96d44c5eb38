// An arbitrary file read through every kind of get. The first bytes are a
// script (buffer size and operations); the whole input is the file. The
// reader must stay inside its buffer, never block, and reach the end.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "vexutil/file.h"

namespace {

void require(bool ok) {
  if (!ok)
    std::abort();
}

struct Script {
  const uint8_t *p;
  size_t n, i = 0;
  uint8_t next() { return n ? p[i++ % n] : 0; }
};

void run(VEXFILE *f, Script &s, uint32_t size) {
  char line[300];
  uint8_t buf[512];
  // Enough steps to read everything even one bit at a time, then some.
  const size_t steps = size_t{size} * 8 + 64;
  for (size_t step = 0; step < steps && !VEXFileAtEnd(f); ++step) {
    const uint8_t op = s.next();
    switch (op % 10) {
    case 0: VEXFileGetBits(f, op / 10u); break;
    case 1: VEXFileGet8(f); break;
    case 2: VEXFileGet16(f); break;
    case 3: VEXFileGet32(f); break;
    case 4: require(VEXFileGet(f, buf, s.next() * 2u) <= 510u); break;
    case 5: VEXFileGetLine(f, line, 1 + s.next()); break;
    case 6: VEXFileByteAlign(f); break;
    case 7: VEXFileSetPos(f, VEXFileGetPos(f) + s.next() % 16); break;
    case 8: VEXFileIsInBuffer(f, s.next()); break;
    default: VEXFileGetNB(f, buf, s.next()); break;
    }
    require(f->cursor <= f->buffer_end && f->bit_count < 8);
  }
  // Whatever happened before, plain reads finish the file.
  while (VEXFileGetNB(f, buf, sizeof buf) > 0) {
  }
  VEXFileSetPos(f, size);
  require(VEXFileAtEnd(f) == 1 && VEXFileSize(f) == size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 1 << 16)
    return 0;
  const int fd = memfd_create("fuzz", MFD_CLOEXEC);
  if (fd < 0)
    return 0;
  if (write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  char name[64];
  std::snprintf(name, sizeof name, "/proc/self/fd/%d", fd);
  Script s{data, size < 32 ? size : 32};
  const int32_t buffer_size = static_cast<int8_t>(s.next()) * 3;
  VEXFILE *f = VEXFileOpen(buffer_size, name, VEXFILE_READ);
  if (f) {
    run(f, s, static_cast<uint32_t>(size));
    VEXFileClose(f);
  }
  close(fd);
  return 0;
}
