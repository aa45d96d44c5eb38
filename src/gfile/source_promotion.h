// 24-bit promotion: the visible window of each fetched frame is smoothed
// by the flat-area filter into a 24-bit frame of the visible size, which
// then stands for the source frame.
#pragma once

#include "gfile/graphics_source.h"

namespace vex::gfile {

// Filters state->visible into the promotion buffer and points the visible
// window at it (depth 24, pitch visible width x 3).
void promote_visible(GFILE &g);

} // namespace vex::gfile
