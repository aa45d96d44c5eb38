// Arbitrary bytes as one Tolm frame: the first four bytes choose the plane
// sizes and flags, the rest is the video data. Previous planes, alpha planes
// and the block map are present; every buffer has its exact size so that
// the sanitizers see any step outside.
#include <cstdint>
#include <cstring>
#include <vector>

#include "formats/tolm/tolm_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  if (size < 4)
    return 0;
  const uint32_t W = 16u * (1 + (bytes[0] & 7)), H = 16u * (1 + (bytes[1] & 7));
  const uint32_t width = W - (bytes[2] & 15), height = H - (bytes[2] >> 4);
  const uint8_t flags = bytes[3];
  const std::vector<uint8_t> data(bytes + 4, bytes + size);

  uint32_t sizes[vex::formats::tolm::kTolmBundleCount];
  ExpandBundleSizes(sizes, W);
  std::vector<std::vector<uint8_t>> storage;
  void *bundles[vex::formats::tolm::kTolmBundleCount];
  for (int i = 0; i < vex::formats::tolm::kTolmBundleCount; ++i) {
    storage.emplace_back(sizes[i]);
    bundles[i] = storage.back().data();
  }
  const size_t frame = size_t{W} * H + 2 * size_t{W / 2} * (H / 2);
  std::vector<uint8_t> target(frame, 0), reference(frame), alpha(size_t{W} * H), ref_alpha(size_t{W} * H);
  for (size_t i = 0; i < frame; ++i)
    reference[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> map(size_t{W / 16} * (H / 16), 0);

  vex::formats::tolm::TolmFrameArgs a;
  a.target = target.data();
  a.reference = (flags & 0x40) ? target.data() : reference.data(); // key frames may share one buffer
  a.target_alpha = alpha.data();
  a.reference_alpha = ref_alpha.data();
  a.block_map = map.data();
  a.width = width;
  a.height = height;
  a.padded_width = W;
  a.padded_height = H;
  a.data = data;
  a.bundles = bundles;
  a.decoder_flags = ((flags & 1) ? VEX_TOLM_DECODE_SIGNED_COLOURS : 0u) | ((flags & 2) ? VEX_TOLM_DECODE_ALPHA : 0u);
  a.video_flags = ((flags & 4) ? VEX_TOLM_VIDEO_ALPHA : 0u) | ((flags & 8) ? VEX_TOLM_VIDEO_NO_CHROMA : 0u);
  vex::formats::tolm::TolmExpandFrame(a);
  return 0;
}
