#include "testkit/formats/tolm/tolm_frame_args.h"

namespace vex::testkit::tolm {

formats::tolm::TolmFrameArgs frame_args(Picture &target, const Picture &reference, uint32_t width, uint32_t height,
                                        std::span<const uint8_t> data, void *const *bundles, uint32_t decoder_flags,
                                        uint32_t video_flags, uint8_t *block_map) {
  formats::tolm::TolmFrameArgs a;
  a.target = target.yuv.data();
  a.reference = reference.yuv.data();
  a.target_alpha = target.alpha.empty() ? nullptr : target.alpha.data();
  a.reference_alpha = reference.alpha.empty() ? nullptr : reference.alpha.data();
  a.block_map = block_map;
  a.width = width;
  a.height = height;
  a.padded_width = target.padded_width;
  a.padded_height = target.padded_height;
  a.data = data;
  a.bundles = bundles;
  a.decoder_flags = decoder_flags;
  a.video_flags = video_flags;
  return a;
}

} // namespace vex::testkit::tolm
