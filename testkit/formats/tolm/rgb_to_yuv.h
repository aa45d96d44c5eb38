// Red, green, blue pictures to the planar YUV the Tolm codec carries, with
// the studio-range weights the blitters invert (luma 16-235, chroma
// 16-240 around 128; chroma plane 1 is the red difference, plane 2 the
// blue difference, each the mean of a 2 x 2 block).
#pragma once

#include <cstdint>
#include <vector>

#include "testkit/formats/tolm/tolm_plan.h"

namespace vex::testkit::tolm {

// rgb: width x height pixels of red, green, blue bytes, rows packed.
Picture rgb_to_yuv(const std::vector<uint8_t> &rgb, uint32_t width, uint32_t height);

} // namespace vex::testkit::tolm
