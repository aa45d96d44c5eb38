// Files the readers must refuse, or read only up to a point, each with the
// reason the user is given. Every reader contributes its rows (one file a
// family under bad_inputs/); bad_input_test.cpp runs them all through the
// public sources, so each row checks the reason as a user meets it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bad_input {

struct BadInput {
  std::string file;           // name in the test's folder; the extension is what a user would give
  std::vector<uint8_t> bytes; // the file's contents
  std::string reason;         // a piece of the reason expected
  // -1: refused at open, `reason` in VEXLastError().
  // n >= 0, graphics: opens; GFileGet delivers frames 1..n whole; the
  //   next one is refused or marked damaged; `reason` in GFileDamage() or
  //   VEXLastError().
  // n >= 0, sound: opens; read to the end, `reason` in SFileDamage().
  int good_frames = -1;
  bool sound = false; // through SFileOpen instead of GFileOpen
};

std::vector<BadInput> flic_bad_inputs();
std::vector<BadInput> korvane_bad_inputs();
std::vector<BadInput> tolm_bad_inputs();
std::vector<BadInput> rawb_bad_inputs();
std::vector<BadInput> still_bad_inputs();
std::vector<BadInput> movie_bad_inputs();
std::vector<BadInput> sound_bad_inputs();

} // namespace bad_input
