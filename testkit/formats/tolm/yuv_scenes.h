// Synthetic planar YUV animations for the video codec tests and benchmarks:
// moving shapes over a drifting gradient and the testkit's 8-bit pattern
// animation converted to YUV (content a real encoder codes with every kind
// of block), and uniform noise (only transform and raw blocks).
#pragma once

#include <cstdint>

#include "testkit/formats/tolm/tolm_plan.h"

namespace vex::testkit::tolm {

enum class Scene { kShapes, kPattern, kNoise };

// Frame `index` of the scene at width x height (planes padded to 16).
Picture render_scene(Scene scene, int index, uint32_t width, uint32_t height, bool with_alpha = false);

} // namespace vex::testkit::tolm
