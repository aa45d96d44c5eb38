/* The umbrella header used from C99: a few calls through the shared library. */
#include <stdio.h>
#include <string.h>

#include "vexutil.h"

static int check(int ok, const char *what) {
  if (!ok)
    fprintf(stderr, "failed: %s\n", what);
  return ok ? 0 : 1;
}

int main(void) {
  char buf[64];
  char cmd[64] = "in.flc /r-12 /v out.flc";
  uint32_t num = 0, den = 0;
  int failures = 0;
  void *block = vexmalloc(100);
  VEXFILE *f;

  failures += check(block != NULL && ((uintptr_t)block % 32) == 0, "vexmalloc alignment");
  vexfree(block);
  CommaNum(buf, 1234567u);
  failures += check(strcmp(buf, "1,234,567") == 0, "CommaNum");
  atofr("30000;1001", &num, &den);
  failures += check(num == 30000u && den == 1001u, "atofr");
  failures += check(GetSwitchNum(cmd, 'R', 0) == -12, "GetSwitchNum");
  failures += check(GetSwitch(cmd, 'V') == 1, "GetSwitch");
  f = VEXFileOpen(16, "/nonexistent/file", VEXFILE_READ);
  failures += check(f == NULL, "VEXFileOpen of a missing file");
  /* The generated version header: the string is the three numbers. */
  sprintf(buf, "%d.%d.%d", VEXUTIL_VERSION_MAJOR, VEXUTIL_VERSION_MINOR, VEXUTIL_VERSION_PATCH);
  failures += check(strcmp(buf, VEXUTIL_VERSION_STRING) == 0, "version header");
  failures += check(strcmp(VEXLastError(), "") == 0, "no reason before any failure");
  return failures;
}
