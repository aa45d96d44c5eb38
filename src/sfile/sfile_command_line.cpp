// SFileCommandLine: the sound-source switches of a tool's command line.
#include "vexutil/sfile.h"
#include "vexutil/util.h"

namespace {

constexpr int32_t kDefaultRawRate = 11025;
constexpr int32_t kRawKinds = 5; // /Y1 to /Y5 build a raw format

void store(int32_t *out, int32_t v) {
  if (out)
    *out = v;
}

} // namespace

extern "C" void SFileCommandLine(char *cmd, int32_t *rate, int32_t *bits, int32_t *channels, int32_t *start,
                                 int32_t *end, int32_t *track, int32_t *raw_format, int32_t *raw_header) {
  if (!cmd)
    return;
  store(rate, GetSwitchNum(cmd, 'R', 0));
  store(bits, GetSwitchNum(cmd, 'B', 0));
  store(channels, GetSwitchNum(cmd, 'C', 0));
  store(start, GetSwitchNum(cmd, 'S', 0));
  store(end, GetSwitchNum(cmd, 'E', 0));
  store(track, GetSwitchNum(cmd, 'T', 0));
  const int32_t y = GetSwitchNum(cmd, 'Y', 0);
  if (y >= 1 && y <= kRawKinds) {
    // The rate in bits 3 and up, stereo in bit 0, 16-bit in bit 1.
    const int32_t d = GetSwitchNum(cmd, 'D', kDefaultRawRate);
    store(raw_format, static_cast<int32_t>(static_cast<uint32_t>(y - 1) + 8u * static_cast<uint32_t>(d)));
    store(raw_header, GetSwitchNum(cmd, 'K', 0));
  } else {
    store(raw_format, y);
    store(raw_header, 0);
  }
}
