// Pixels of a still-image descriptor as plain top-down blue-green-red
// bytes, whatever depth it is held at, for comparison with an oracle.
#pragma once

#include <cstdint>
#include <vector>

#include "stills/still_image.h"

namespace vex::testkit {

// The first `width` x `height` pixels (the picture may be narrower than
// the descriptor).
std::vector<uint8_t> still_bgr(const vex::stills::Image &im, int32_t width, int32_t height);

// Largest per-byte difference of two equal-sized buffers; 256 when their
// sizes differ.
int max_byte_difference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b);

} // namespace vex::testkit
