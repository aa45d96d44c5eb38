/* Built against an installed vexutil with the flags from pkg-config. */
#include <string.h>

#include <vexutil.h>

int main(void) {
  char buf[64];
  GetElapsedTime(buf, 61000u);
  return strcmp(buf, "1 minute 1 second") == 0 ? 0 : 1;
}
