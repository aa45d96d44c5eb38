#include "palette/palette_tables.h"

namespace vex::palette {

void write_system_colours(Palette palette) {
  for (uint32_t i = 0; i < kSystemLowCount; ++i) {
    set_palette_entry(palette, i, kSystemLow[i]);
    set_palette_entry(palette, kSystemHighFirst + i, kSystemHigh[i]);
  }
}

} // namespace vex::palette
