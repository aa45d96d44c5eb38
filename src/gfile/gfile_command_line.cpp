// GFileCommandLine: the graphics-source options of a tool's command line.
#include <algorithm>
#include <cstring>
#include <vector>

#include "gfile/rate_switch.h"
#include "vexutil/gfile.h"
#include "vexutil/util.h"

namespace {

constexpr int32_t kPaletteSize = 256;
constexpr uint32_t kLongestPeriod = 0x10000;
constexpr size_t kPaletteFileChars = 128;

void store_switch(int32_t *out, int32_t value) {
  if (out)
    *out = value;
}

void read_rate(char *cmd, int32_t letter, uint32_t *num, uint32_t *den) {
  uint32_t n = 0, d = 0;
  GetSwitchFractional(cmd, letter, &n, &d, 0, 0);
  vex::gfile::normalise_rate(n, d);
  if (num)
    *num = n;
  if (den)
    *den = d;
}

// 0 and values above the limit (compared unsigned, so negative ones too)
// become the limit.
int32_t at_most(int32_t v, uint32_t limit) {
  const auto u = static_cast<uint32_t>(v);
  return static_cast<int32_t>(u == 0 || u > limit ? limit : u);
}

} // namespace

extern "C" void GFileCommandLine(char *cmd, uint32_t *play_num, uint32_t *play_den, uint32_t *out_num,
                                 uint32_t *out_den, int32_t *crop_x, int32_t *crop_y, int32_t *crop_width,
                                 int32_t *crop_height, int32_t *first, int32_t *last, int32_t *palette_mode,
                                 int32_t *palette_period, int32_t *first_index, int32_t *palette_entries,
                                 int32_t *palette_split, int32_t *system_colours, int32_t *promotion,
                                 char *palette_file) {
  if (!cmd)
    return;
  if (play_num || play_den)
    read_rate(cmd, 'F', play_num, play_den);
  if (out_num || out_den)
    read_rate(cmd, 'A', out_num, out_den);
  // Crop and frame range leave the command line even when not wanted.
  store_switch(crop_x, GetSwitchNum(cmd, 'X', 0));
  store_switch(crop_y, GetSwitchNum(cmd, 'Y', 0));
  store_switch(crop_width, GetSwitchNum(cmd, 'W', 0));
  store_switch(crop_height, GetSwitchNum(cmd, 'H', 0));
  store_switch(first, GetSwitchNum(cmd, 'S', 0));
  store_switch(last, GetSwitchNum(cmd, 'E', 0));
  if (palette_mode)
    *palette_mode = GetSwitchNum(cmd, 'P', 0);
  if (palette_period)
    *palette_period = at_most(GetSwitchNum(cmd, 'U', -1), kLongestPeriod);
  if (first_index || palette_entries) {
    // The first index depends on the entry count, so /Q is read first.
    const int32_t entries = at_most(GetSwitchNum(cmd, 'Q', kPaletteSize), kPaletteSize);
    store_switch(palette_entries, entries);
    if (first_index) {
      const int32_t index = GetSwitchNum(cmd, 'I', (kPaletteSize - entries) / 2);
      *first_index = std::clamp(index, 0, kPaletteSize - entries);
    }
  }
  if (palette_split)
    *palette_split = GetSwitchNum(cmd, '$', 0);
  if (system_colours)
    *system_colours = GetSwitchNum(cmd, 'D', 0);
  if (promotion)
    *promotion = GetSwitchNum(cmd, 'T', 0);
  if (palette_file) {
    std::vector<char> value(std::strlen(cmd) + 1);
    GetSwitchStr(cmd, '&', value.data(), "");
    const size_t n = std::min(std::strlen(value.data()), kPaletteFileChars - 1);
    std::memcpy(palette_file, value.data(), n);
    palette_file[n] = '\0';
  }
}
