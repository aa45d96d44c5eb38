// vexconv's picture road: any input of the graphics source (and its sound,
// through the sound source) into any output of the output writer.
#pragma once

#include <cstdint>
#include <string>

#include "common/talk.h"

namespace vex::tools {

struct PictureJob {
  std::string in, out;
  std::string codec; // AVI: a video encoder's name, "" uncompressed, "?" pick from a list
  uint32_t play_num = 0, play_den = 0, out_num = 0, out_den = 0;
  int32_t crop_x = 0, crop_y = 0, crop_width = 0, crop_height = 0;
  int32_t first = 0, last = 0, promotion = 0;
  int32_t palette_mode = 0, palette_period = 0, first_index = 0, palette_entries = 0, palette_split = 0;
  int32_t system_colours = 0;
  char palette_file[128] = "";
  // The AVI sound track: /R rate (0 the source's), /B bits, /C channels
  // (0 the source's); no_sound drops it.
  int32_t sound_rate = 0, sound_bits = 0, sound_channels = 0;
  bool no_sound = false;
  std::string sound_from; // another file's sound instead of IN's (--sound)
  int32_t sound_track = -1; // the track of IN or sound_from (--track); -1 not given: the first
  bool replace = false, quiet = false;
};

// Which frames an output takes, from its name alone: 8 for FLIC, PCX and
// GIF; 24 for JPEG and TGA; 0 for kinds that keep the input's depth (AVI,
// BMP, PNG, TIF); -1 for names the writer does not write.
int32_t output_depth(const std::string &name);
// The name ends in ".avi" (any letter case): the one output with a sound track.
bool is_avi_name(const std::string &name);

int convert_pictures(const PictureJob &job, Talk &talk);

} // namespace vex::tools
