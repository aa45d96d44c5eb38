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
  // The stills saved so far, each under a temporary name of its own until
  // OGFileClose renames the whole series into place (a cancelled or failed
  // series never touches a file it would have replaced).
  struct Still {
    std::string temporary, final_name;
  };
  std::vector<Still> stills;
  std::string codec;
  vex::ogfile::SoundPace pace;
  bool sound_failed = false;
  // Why the first frame or sound that failed did ("" when none failed):
  // OGFileClose's refusal repeats it, since later calls replace the
  // thread's reason.
  std::string failure;
  std::array<uint8_t, 768> palette{}; // the last palette put (a grey ramp before any)
  std::vector<uint8_t> flic_frame;    // FLIC: the frame with rows exactly the FLIC's width apart
};

namespace vex::ogfile {

// The system's word for a failed write when errno holds one a write ends
// in (ENOSPC, EDQUOT, EFBIG, EIO), else a plain "could not be written".
std::string write_failure_text(int err);

// Sends text at level to the record's callback, when it has one.
void tell(const OGFILE *o, const char *text, int32_t level);

// Frees everything the record holds (files closed without finishing) and
// the record itself.
void release(OGFILE *o);

} // namespace vex::ogfile
