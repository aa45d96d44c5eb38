// Frame layout of the Tolm video data and the exported entry points.
//
// [alpha: u32 size A, alpha plane data][luma: u32 size L, luma data]
// [chroma 1][chroma 2]. A and L count from the start of their own word;
// without the luma size word (signed-colour files) chroma 1 starts at the
// word after the last one the luma decoder loaded, and chroma 2 always
// starts where chroma 1 stopped.
#include <cstring>
#include <limits>

#include "formats/tolm/tolm_bundles.h"
#include "formats/tolm/tolm_decoder.h"
#include "formats/tolm/tolm_plane.h"

namespace vex::formats::tolm {
namespace {

using tolm::PlaneView;

uint32_t round8(uint32_t v) { return (v + 7) & ~7u; }

uint32_t read_u32(std::span<const uint8_t> d) {
  uint32_t v;
  std::memcpy(&v, d.data(), 4);
  return v;
}

// The part of `data` that a size word at its start describes: the bytes
// after the word up to `size` from its start. Empty and a fault when the
// word or the size does not fit.
bool sized_part(std::span<const uint8_t> data, std::span<const uint8_t> &body, size_t &size) {
  if (data.size() < 4)
    return false;
  size = read_u32(data);
  if (size < 4 || size > data.size())
    return false;
  body = data.subspan(4, size - 4);
  return true;
}

struct Geometry {
  uint32_t luma_w8, luma_h8, chroma_w8, chroma_h8;
  bool fits;
};

Geometry geometry(const TolmFrameArgs &a) {
  Geometry g{round8(a.width), round8(a.height), round8((a.width + 1) >> 1), round8((a.height + 1) >> 1), false};
  const uint32_t W = a.padded_width, H = a.padded_height;
  g.fits = a.width != 0 && a.height != 0 && W % 16 == 0 && a.width <= 0xFFFF0 && a.height <= 0xFFFF0 &&
           g.luma_w8 <= W && g.luma_h8 <= H && g.chroma_w8 <= W / 2 && g.chroma_h8 <= H / 2 &&
           (a.target || a.dry) && a.bundles;
  return g;
}

} // namespace

void TolmBundleSizes(uint32_t sizes[kTolmBundleCount], uint32_t padded_width) {
  for (int i = 0; i < kTolmBundleCount; ++i)
    sizes[i] = tolm::bundle_buffer_size(static_cast<tolm::Bundle>(i), padded_width);
}

uint32_t TolmExpandFrame(const TolmFrameArgs &a) {
  const Geometry g = geometry(a);
  if (!g.fits)
    return VEX_TOLM_FAULT_GEOMETRY;
  const uint32_t W = a.padded_width, H = a.padded_height;
  const bool signed_colours = (a.decoder_flags & VEX_TOLM_DECODE_SIGNED_COLOURS) != 0;
  uint8_t *const target = a.dry ? nullptr : a.target;
  const uint8_t *reference = a.dry ? nullptr : a.reference ? a.reference : a.target;
  // A plane's place in the frame buffers (none in a dry run).
  const auto at = [&](auto *base, size_t offset) { return base ? base + offset : nullptr; };
  uint32_t faults = 0;
  std::span<const uint8_t> data = a.data;

  const auto plane = [&](uint8_t *target, const uint8_t *ref, uint32_t pitch, uint32_t w8, uint32_t h8,
                         unsigned scale, std::span<const uint8_t> bits) {
    const PlaneView view{target, ref, pitch, w8, h8, scale, a.block_map, W / 16, H / 16};
    const tolm::PlaneResult r = tolm::decode_plane(view, bits, a.bundles, signed_colours);
    faults |= r.faults;
    return r.bytes_loaded;
  };

  if (a.video_flags & VEX_TOLM_VIDEO_ALPHA) {
    std::span<const uint8_t> alpha;
    size_t size;
    if (!sized_part(data, alpha, size))
      return faults | VEX_TOLM_FAULT_LAYOUT;
    if ((a.decoder_flags & VEX_TOLM_DECODE_ALPHA) && (a.target_alpha || a.dry)) {
      const uint8_t *ref = a.reference_alpha ? a.reference_alpha : a.target_alpha;
      plane(a.dry ? nullptr : a.target_alpha, a.dry ? nullptr : ref, W, g.luma_w8, g.luma_h8, 1, alpha);
    }
    data = data.subspan(size);
  }

  std::span<const uint8_t> chroma;
  if (signed_colours) {
    const size_t used = plane(target, reference, W, g.luma_w8, g.luma_h8, 1, data);
    chroma = data.subspan(used);
  } else {
    std::span<const uint8_t> luma;
    size_t size;
    if (!sized_part(data, luma, size))
      return faults | VEX_TOLM_FAULT_LAYOUT;
    plane(target, reference, W, g.luma_w8, g.luma_h8, 1, luma);
    chroma = data.subspan(size);
  }

  if (a.video_flags & VEX_TOLM_VIDEO_NO_CHROMA)
    return faults;
  const size_t luma_bytes = size_t{W} * H, chroma_bytes = size_t{W / 2} * (H / 2);
  const size_t used =
      plane(at(target, luma_bytes), at(reference, luma_bytes), W / 2, g.chroma_w8, g.chroma_h8, 2, chroma);
  plane(at(target, luma_bytes + chroma_bytes), at(reference, luma_bytes + chroma_bytes), W / 2, g.chroma_w8,
        g.chroma_h8, 2, chroma.subspan(used));
  return faults;
}

} // namespace vex::formats::tolm

extern "C" void ExpandBundleSizes(uint32_t *sizes, uint32_t width) {
  if (sizes)
    vex::formats::tolm::TolmBundleSizes(sizes, width);
}

extern "C" uint32_t ExpandTolm(uint8_t *target, const uint8_t *reference, uint8_t *target_alpha,
                            const uint8_t *reference_alpha, uint8_t *block_map, uint32_t width, uint32_t height,
                            uint32_t padded_width, uint32_t padded_height, const void *data, uint32_t key_frame,
                            void *const *bundles, uint32_t decoder_flags, uint32_t video_flags) {
  (void)key_frame; // the data says everything a key frame needs
  // The caller vouches for the data holding the whole frame plus 8 bytes of
  // slack (the bit reader looks up to 8 bytes ahead); the decoder reads no
  // further than the frame's own size words and block structure say.
  const size_t unbounded = std::numeric_limits<size_t>::max() / 16;
  vex::formats::tolm::TolmFrameArgs args;
  args.target = target;
  args.reference = reference;
  args.target_alpha = target_alpha;
  args.reference_alpha = reference_alpha;
  args.block_map = block_map;
  args.width = width;
  args.height = height;
  args.padded_width = padded_width;
  args.padded_height = padded_height;
  args.data = std::span<const uint8_t>(static_cast<const uint8_t *>(data), data ? unbounded : 0);
  args.bundles = bundles;
  args.decoder_flags = decoder_flags;
  args.video_flags = video_flags;
  return vex::formats::tolm::TolmExpandFrame(args);
}
