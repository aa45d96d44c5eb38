// Shared helpers of the Tolm decoder tests: bundle buffers, a decode call
// over testkit pictures, and comparison against the encoder's model.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/tolm/tolm_decoder.h"
#include "testkit/formats/tolm/tolm_plan.h"

namespace vex::tolm_test {

namespace tk = vex::testkit::tolm;

class Decoder {
public:
  explicit Decoder(uint32_t padded_width) {
    uint32_t sizes[9];
    ExpandBundleSizes(sizes, padded_width);
    for (int i = 0; i < 9; ++i) {
      storage_[i].assign(sizes[i], 0xCD);
      pointers_[i] = storage_[i].data();
    }
  }

  // Decodes into `target` over `reference`; returns the fault bits.
  uint32_t decode(const tk::FramePlan &plan, const std::vector<uint8_t> &data, tk::Picture &target,
                  const tk::Picture &reference, std::vector<uint8_t> *block_map = nullptr) {
    formats::tolm::TolmFrameArgs a;
    a.target = target.yuv.data();
    a.reference = reference.yuv.data();
    a.target_alpha = target.alpha.empty() ? nullptr : target.alpha.data();
    a.reference_alpha = reference.alpha.empty() ? nullptr : reference.alpha.data();
    if (block_map)
      block_map->assign(size_t{plan.padded_width / 16} * (plan.padded_height / 16), 0);
    a.block_map = block_map ? block_map->data() : nullptr;
    a.width = plan.width;
    a.height = plan.height;
    a.padded_width = plan.padded_width;
    a.padded_height = plan.padded_height;
    a.data = data;
    a.bundles = pointers_.data();
    a.decoder_flags = (plan.signed_colours ? VEX_TOLM_DECODE_SIGNED_COLOURS : 0) |
                      (plan.has_alpha ? VEX_TOLM_DECODE_ALPHA : 0);
    a.video_flags = (plan.has_alpha ? VEX_TOLM_VIDEO_ALPHA : 0) | (plan.no_chroma ? VEX_TOLM_VIDEO_NO_CHROMA : 0);
    return formats::tolm::TolmExpandFrame(a);
  }

  void *const *bundles() const { return pointers_.data(); }

private:
  std::array<std::vector<uint8_t>, 9> storage_;
  std::array<void *, 9> pointers_{};
};

// Pixels where the decoded picture differs from the model by more than the
// model's tolerance (distance taken modulo 256); text of the first few.
struct Mismatch {
  size_t count = 0;
  std::string first;
};
Mismatch compare(const tk::ModelPicture &model, const tk::Picture &decoded);

// A picture filled with a deterministic pseudo-random pattern.
tk::Picture random_picture(uint32_t W, uint32_t H, bool alpha, uint32_t seed);

} // namespace vex::tolm_test
