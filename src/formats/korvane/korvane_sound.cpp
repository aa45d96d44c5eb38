#include "formats/korvane/korvane_sound.h"

namespace vex::formats::korvane {

namespace {

uint32_t start_sample(BitReader &br, bool sixteen) {
  if (!sixteen)
    return br.get(8);
  const uint32_t high = br.get(8);
  return high << 8 | br.get(8);
}

// Writes the sample's bytes (16-bit: low, then high) that still fit before
// end; decoding stops after the promised count, even inside a sample.
void put_sample(uint8_t *&out, const uint8_t *end, uint32_t v, bool sixteen) {
  if (out < end)
    *out++ = static_cast<uint8_t>(v);
  if (sixteen && out < end)
    *out++ = static_cast<uint8_t>(v >> 8);
}

} // namespace

uint32_t decode_delta_sound(DeltaWork &work, const uint8_t *data, uint32_t size, uint32_t decoded, uint8_t *out) {
  BitReader br(data, data + size);
  if (br.bit() == 0)
    return 0;
  const bool stereo = br.bit() != 0;
  const bool sixteen = br.bit() != 0;
  const uint32_t channels = stereo ? 2 : 1;
  const uint32_t per_channel = sixteen ? 2 : 1; // trees, and bytes per sample
  for (uint32_t i = 0; i < channels * per_channel; ++i) {
    br.bit(); // carries nothing
    if (!work.trees[i].read_byte_tree(br, 8))
      return 0;
  }
  uint32_t sample[2];
  if (stereo) {
    sample[1] = start_sample(br, sixteen);
    sample[0] = start_sample(br, sixteen);
  } else {
    sample[0] = start_sample(br, sixteen);
  }
  uint8_t *p = out;
  const uint8_t *const end = out + decoded;
  for (uint32_t c = 0; c < channels; ++c)
    put_sample(p, end, sample[c], sixteen);
  while (p < end) {
    for (uint32_t c = 0; c < channels && p < end; ++c) {
      if (sixteen) {
        // The low byte of (s + low + 256 * high) does not depend on high:
        // a count that ends after a low byte needs no high-byte code.
        const uint32_t low = work.trees[2 * c].decode(br) & 0xFF;
        const uint32_t high = end - p >= 2 ? work.trees[2 * c + 1].decode(br) & 0xFF : 0;
        sample[c] = (sample[c] + low + (high << 8)) & 0xFFFF;
      } else {
        sample[c] = (sample[c] + work.trees[c].decode(br)) & 0xFF;
      }
      put_sample(p, end, sample[c], sixteen);
    }
    if (br.overrun())
      return 0;
  }
  return br.overrun() ? 0 : decoded;
}

} // namespace vex::formats::korvane
