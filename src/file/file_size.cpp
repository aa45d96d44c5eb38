// vexfilesize: the size of a named file, through the bit file's own open.
#include <cstdint>

#include "vexutil/file.h"
#include "vexutil/util.h"

extern "C" uint32_t vexfilesize(const char *name) {
  VEXFILE *f = VEXFileOpen(0, name, VEXFILE_READ);
  if (!f)
    return 0;
  const uint32_t size = VEXFileSize(f);
  VEXFileClose(f);
  return size;
}
