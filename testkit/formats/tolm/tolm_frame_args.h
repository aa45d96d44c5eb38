// The frame decoder's call over testkit pictures: every field of
// TolmFrameArgs filled from a target and a reference picture, one way for
// the harness, the frame tests, the test encoder and the fuzz target.
#pragma once

#include <cstdint>
#include <span>

#include "formats/tolm/tolm_decoder.h"
#include "testkit/formats/tolm/tolm_plan.h"

namespace vex::testkit::tolm {

// Decoding `data` into `target` over `reference` (the same picture when a
// key frame shares one buffer); the padded size is the target's, the
// decoded size width x height. Alpha planes go in when the pictures have
// them; `bundles` are the nine buffers sized for the padded width; the
// block map, when given, holds one byte per 16 x 16 macroblock.
formats::tolm::TolmFrameArgs frame_args(Picture &target, const Picture &reference, uint32_t width, uint32_t height,
                                        std::span<const uint8_t> data, void *const *bundles, uint32_t decoder_flags,
                                        uint32_t video_flags, uint8_t *block_map = nullptr);

} // namespace vex::testkit::tolm
