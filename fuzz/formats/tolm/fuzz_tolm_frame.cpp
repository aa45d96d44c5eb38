// Arbitrary bytes as one Tolm frame: the first four bytes choose the plane
// sizes and flags, the rest is the video data. Previous planes, alpha planes
// and the block map are present; every buffer has its exact size so that
// the sanitizers see any step outside.
#include <cstdint>
#include <vector>

#include "formats/tolm/tolm_decoder.h"
#include "testkit/formats/tolm/tolm_frame_args.h"
#include "testkit/formats/tolm/tolm_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  if (size < 4)
    return 0;
  const uint32_t W = 16u * (1 + (bytes[0] & 7)), H = 16u * (1 + (bytes[1] & 7));
  const uint32_t width = W - (bytes[2] & 15), height = H - (bytes[2] >> 4);
  const uint8_t flags = bytes[3];
  const std::vector<uint8_t> data(bytes + 4, bytes + size);

  const vex::testkit::tolm::FrameDecoder decoder(W); // the bundle buffers, each of its exact size
  vex::testkit::tolm::Picture target(W, H, true), reference(W, H, true);
  for (size_t i = 0; i < reference.yuv.size(); ++i)
    reference.yuv[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> map(size_t{W / 16} * (H / 16), 0);
  const auto &previous = (flags & 0x40) ? target : reference; // key frames may share one buffer
  const auto a = vex::testkit::tolm::frame_args(
      target, previous, width, height, data, decoder.bundles(),
      ((flags & 1) ? VEX_TOLM_DECODE_SIGNED_COLOURS : 0u) | ((flags & 2) ? VEX_TOLM_DECODE_ALPHA : 0u),
      ((flags & 4) ? VEX_TOLM_VIDEO_ALPHA : 0u) | ((flags & 8) ? VEX_TOLM_VIDEO_NO_CHROMA : 0u), map.data());
  vex::formats::tolm::TolmExpandFrame(a);
  return 0;
}
