// The record keeps the still-image descriptor in its public C form; the
// still-image codecs take their own. Both have one layout.
#pragma once

#include <cstddef>
#include <cstring>

#include "stills/still_image.h"
#include "vexutil/ogfile.h"

namespace vex::ogfile {

static_assert(sizeof(OGFILEIMAGE) == sizeof(stills::Image));
static_assert(offsetof(OGFILEIMAGE, colors) == offsetof(stills::Image, colors));
static_assert(offsetof(OGFILEIMAGE, reserved) == offsetof(stills::Image, reserved));

inline stills::Image to_still(const OGFILEIMAGE &d) {
  stills::Image im;
  std::memcpy(&im, &d, sizeof im);
  return im;
}
inline OGFILEIMAGE from_still(const stills::Image &im) {
  OGFILEIMAGE d;
  std::memcpy(&d, &im, sizeof d);
  return d;
}

} // namespace vex::ogfile
