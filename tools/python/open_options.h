// Readable option names for the graphics source, turned into the switch
// text GFileCommandLine reads, so every default and clamp is the one the
// command-line tools give.
#pragma once

#include <cstdint>
#include <string>

#include "binding.h"

namespace vexpy {

struct OpenArguments {
  uint32_t play_num = 0, play_den = 0, out_num = 0, out_den = 0;
  int32_t crop_x = 0, crop_y = 0, crop_width = 0, crop_height = 0;
  int32_t first = 0, last = 0;
  int32_t palette_mode = 0, palette_period = 0, first_index = 0, palette_entries = 0;
  int32_t palette_split = 0, system_colours = 0, promotion = 0;
  char palette_file[128] = {};
  std::string switches; // the text handed to GFileCommandLine, for messages
};

// Reads `options` (name -> value); an unknown name or a value that does not
// read as its switch raises vexutil.OptionError.
OpenArguments parse_open_options(const py::dict &options);

} // namespace vexpy
