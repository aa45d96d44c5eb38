// The output writer's own working state behind OGFILE::state.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ogfile/output_kind.h"
#include "ogfile/sound_pacing.h"
#include "vexutil/ogfile.h"

struct OGFILESTATE {
  std::string final_name; // FLIC and AVI: the name the finished file takes
  std::string temporary;  // FLIC and AVI: where it is written meanwhile
  vex::ogfile::SeriesName series;
  std::vector<std::string> stills_written; // final names, for OGFileDiscard
  std::string codec;
  vex::ogfile::SoundPace pace;
  bool sound_failed = false;
  std::array<uint8_t, 768> palette{}; // the last palette put (a grey ramp before any)
  std::vector<uint8_t> flic_frame;    // FLIC: the frame with rows exactly the FLIC's width apart
};

namespace vex::ogfile {

// Sends text at level to the record's callback, when it has one.
void tell(const OGFILE *o, const char *text, int32_t level);

// Frees everything the record holds (files closed without finishing) and
// the record itself.
void release(OGFILE *o);

} // namespace vex::ogfile
