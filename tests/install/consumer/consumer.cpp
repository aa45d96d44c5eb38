// Built against an installed vexutil with find_package.
#include <cstring>

#include <vexutil.h>

int main() {
  char buf[16];
  u32toa(buf, 0x80000000u);
  return std::strcmp(buf, "-2147483648") == 0 ? 0 : 1;
}
