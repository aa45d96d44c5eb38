// Arbitrary command-line text through the switch, word and number parsers.
// Invariants: texts only shrink, stay terminated inside their buffers, and
// every parser returns.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "vexutil/util.h"

namespace {

constexpr size_t kMax = 1024;

void require(bool ok) {
  if (!ok)
    std::abort();
}

void parse_switches(char *cmd) {
  char dest[kMax + 8];
  uint32_t num = 0, den = 0;
  RemoveMinusSwitches(cmd);
  for (int letter = 'A'; letter <= 'Z'; letter += 3) {
    const size_t before = std::strlen(cmd);
    if (GetSwitch(cmd, letter))
      require(std::strlen(cmd) == before - 2);
    GetSwitchNum(cmd, letter + 1, -1);
    GetSwitchFractional(cmd, letter + 2, &num, &den, 1, 1);
    require(den != 0);
    const size_t before_str = std::strlen(cmd);
    if (GetSwitchStr(cmd, letter, dest, "default"))
      require(std::strlen(dest) + 2 <= before_str && std::strlen(cmd) <= before_str - 2);
    require(std::strlen(cmd) <= before);
  }
}

void parse_words(char *text) {
  char dest[kMax + 8];
  while (text[0] != '\0') {
    const size_t before = std::strlen(text);
    GetAndRemoveFirstQuoted(dest, text);
    require(std::strlen(text) < before || before == 0);
    GetAndRemoveFirst(dest, text);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > kMax)
    size = kMax;
  char text[kMax + 8];
  std::memcpy(text, data, size);
  text[size] = '\0';

  char copy[kMax + 8];
  std::memcpy(copy, text, size + 1);
  parse_switches(copy);

  std::memcpy(copy, text, size + 1);
  parse_words(copy);

  uint32_t num = 0, den = 0;
  const char *end = atofr(text, &num, &den);
  require(end >= text && end <= text + std::strlen(text) && den != 0);
  atou32(text);
  MakeFrameRate(atou32(text));
  HasExtension(text);

  std::memcpy(copy, text, size + 1);
  Trim(copy);
  TrimAscii(copy);
  RemoveQuotes(copy);

  // Path work uses 256-byte buffers; longer texts are cut to fit.
  char path[256];
  std::strncpy(path, text, sizeof path - 2);
  path[sizeof path - 2] = '\0';
  ExpandFileName(path);
  require(std::strlen(path) <= 255);
  char tmp[256 + 16];
  GetTempName(tmp, "", path, num);
  return 0;
}
