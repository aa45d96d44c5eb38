// KorvaGetSound: the current frame's chunk of one track, raw, delta-coded
// or transform-coded.
#include <algorithm>
#include <cstring>

#include "audio_codec/audio_codec.h"
#include "formats/korvane/korvane_reader.h"
#include "util/bytes.h"

namespace vex::formats::korvane {

namespace {

using util::le32;

// Decodes whole blocks from the chunk until `decoded` bytes are out; a
// block's surplus beyond that is dropped. 0 when the blocks run out first.
int32_t transform_sound(Reader &r, uint32_t track, uint32_t format, const uint8_t *data, uint32_t size,
                        uint32_t decoded, uint8_t *out) {
  auto &dec = r.decoders[track];
  if (!dec) {
    const uint32_t rate = format & kRateMask;
    if (rate == 0)
      return 0;
    dec.reset(AudioDecOpen(rate, (format & kSoundStereo) ? 2 : 1, 1));
    if (!dec)
      return 0;
  }
  uint32_t produced = 0;
  while (produced < decoded) {
    if (size == 0)
      return 0;
    const int16_t *pcm = nullptr;
    uint32_t bytes = 0;
    const uint8_t *next = nullptr;
    if (AudioDecBlock(dec.get(), &pcm, &bytes, data, size, &next) != 1 || next <= data)
      return 0;
    const uint32_t n = std::min(bytes, decoded - produced);
    std::memcpy(out + produced, pcm, n);
    produced += n;
    size -= static_cast<uint32_t>(next - data);
    data = next;
  }
  return static_cast<int32_t>(decoded);
}

} // namespace

} // namespace vex::formats::korvane

using namespace vex::formats::korvane;

int32_t KorvaGetSound(KORVA *k, void *out, uint32_t track_mask) {
  if (!k || !out || k->frame_bad)
    return 0;
  uint32_t track = 0;
  while (track < kTracks && !(track_mask & (kTrackBit << track)))
    ++track;
  if (track == kTracks)
    return 0;
  Reader &r = *k->reader;
  const Chunk c = r.sound[track];
  if (!c.data)
    return 0;
  const uint32_t format = k->header[kHdrSoundFormat + track];
  const uint32_t largest = k->header[kHdrSoundSize + track];
  auto *dest = static_cast<uint8_t *>(out);
  if (!(format & kSoundCompressed)) {
    const uint32_t n = c.size - 4;
    if (n > largest)
      return 0;
    std::memcpy(dest, c.data + 4, n);
    return static_cast<int32_t>(n);
  }
  if (c.size < 8)
    return 0;
  const auto decoded = static_cast<int32_t>(le32(c.data + 4));
  if (decoded == 0 || decoded == -1)
    return decoded;
  if (decoded < 0 || static_cast<uint32_t>(decoded) > largest)
    return 0;
  const uint8_t *data = c.data + 8;
  const uint32_t size = c.size - 8;
  if (format & kSoundTransform)
    return transform_sound(r, track, format, data, size, static_cast<uint32_t>(decoded), dest);
  if (!r.delta)
    r.delta = std::make_unique<DeltaWork>();
  return static_cast<int32_t>(decode_delta_sound(*r.delta, data, size, static_cast<uint32_t>(decoded), dest));
}
