// Moving between frame records and parsing them; decoding the video of the
// current one into the destination.
#include <cstring>

#include "formats/korvane/korvane_palette.h"
#include "formats/korvane/korvane_reader.h"
#include "formats/korvane/korvane_storage.h"
#include "util/bytes.h"
#include "util/status.h"

namespace vex::formats::korvane {

namespace {

using util::le32;

// Finds the chunks: palette (type bit 0), one sound chunk per set bit 1-7
// in track order, and the video as the rest. False, with the reason, when
// they do not fit.
bool split_record(Reader &r, uint8_t type, uint32_t frame) {
  using util::Status;
  const uint8_t *p = r.record.data;
  uint32_t left = r.record.size;
  if (type & kTypePalette) {
    const uint32_t n = palette_chunk_length(p, left);
    if (n == 0)
      return util::fail(Status::kDamaged, "the palette chunk of frame %u runs past its record", frame);
    r.palette = {p, n};
    p += n;
    left -= n;
  }
  for (uint32_t t = 0; t < kTracks; ++t) {
    if (!(type & type_sound_bit(t)))
      continue;
    const uint32_t n = left < 4 ? 0 : le32(p);
    if (n < 4 || n > left)
      return util::fail(Status::kDamaged, "the sound chunk of track %u in frame %u runs past its record", t, frame);
    r.sound[t] = {p, n};
    p += n;
    left -= n;
  }
  r.video = {p, left};
  return true;
}

// A jump, or the wrap back to frame 0, breaks the transform-coded sound's
// stream: its blocks overlap the previous frame's, so a decoder carried
// over would mix the frame we left into the one we land on. Each track
// starts afresh, as at open.
void restart_sound(Reader &r) {
  for (auto &dec : r.decoders)
    dec.reset();
}

} // namespace

bool load_frame(KORVA *k, uint32_t index) {
  Reader &r = *k->reader;
  r.record = r.palette = r.video = {};
  r.sound.fill({});
  k->palette_changed = 0;
  k->frame_bad = 1;
  k->frame = index;
  k->frame_size = r.frame_size[index];
  if (!fetch_record(r, index, r.record))
    return util::last_status() == util::Status::kOutOfMemory
               ? false
               : util::fail(util::Status::kReadFailed, "frame %u cannot be read", index + 1);
  if (!split_record(r, r.frame_type[index], index + 1)) {
    r.palette = r.video = {};
    r.sound.fill({});
    return true; // read, but refused
  }
  k->frame_bad = 0;
  if (r.palette.data) {
    uint8_t next[768];
    std::memcpy(next, k->palette, sizeof next);
    if (apply_palette_delta(r.palette.data, r.palette.size, next)) {
      std::memcpy(k->palette, next, sizeof next);
      k->palette_changed = 1;
    } else {
      k->frame_bad = 1;
      util::fail(util::Status::kDamaged, "the palette of frame %u does not decode", index + 1);
    }
  }
  return true;
}

} // namespace vex::formats::korvane

using namespace vex::formats::korvane;

uint32_t KorvaNextFrame(KORVA *k) {
  if (!k)
    return 0;
  uint32_t next = k->frame + 1;
  if (k->frame == k->frames) // the ring frame leads back to the second frame
    next = k->frames > 1 ? 1 : 0;
  else if (next == k->frames)
    next = k->reader->ring ? k->frames : 0;
  if (next == 0) // the movie starts over, and so does its sound
    restart_sound(*k->reader);
  return load_frame(k, next) ? 1 : 0;
}

uint32_t KorvaGoto(KORVA *k, uint32_t frame) {
  if (!k)
    return 0;
  const uint32_t index = frame ? frame - 1 : 0;
  if (index >= k->frames)
    return 0;
  restart_sound(*k->reader);
  if (index == k->frame)
    return 1;
  return load_frame(k, index) ? 1 : 0;
}

uint32_t KorvaToBuffer(KORVA *k, uint32_t left, uint32_t top, uint32_t pitch, uint32_t height, uint8_t *buffer,
                       uint32_t flags) {
  if (!k)
    return 0;
  Reader &r = *k->reader;
  r.has_dest = false;
  if (!buffer)
    return 1;
  if (flags != 0 || uint64_t{left} + k->width > pitch || uint64_t{top} + k->height > height)
    return 0;
  r.dest.top_left = buffer + size_t{top} * pitch + left;
  r.dest.blocks_per_row = k->width / 4;
  r.dest.block_rows = k->header[vex::formats::korvane::kHdrHeight] / 4;
  r.dest.pitch = pitch;
  r.dest.vertical = r.vertical;
  r.dest.version4 = r.version4;
  r.has_dest = true;
  return 1;
}

uint32_t KorvaCheckFrame(KORVA *k) {
  using vex::util::Status;
  if (!k)
    return vex::util::fail(Status::kInvalidArgument), 1;
  if (k->frame_bad)
    return vex::util::fail(Status::kDamaged, "frame %u is damaged", k->frame + 1), 1;
  const Reader &r = *k->reader;
  if (video_decodes(r.trees, r.video.data, r.video.size, k->width / 4, k->header[vex::formats::korvane::kHdrHeight] / 4,
                    r.version4))
    return 0;
  vex::util::fail(Status::kDamaged, "the picture of frame %u does not decode as %u x %u pixels", k->frame + 1,
                  k->width, k->height);
  return 1;
}

uint32_t KorvaDoFrame(KORVA *k) {
  using vex::util::Status;
  if (!k || !k->reader->has_dest)
    return vex::util::fail(Status::kInvalidArgument, "no destination for the frame"), 1;
  if (k->frame_bad)
    return vex::util::fail(Status::kDamaged, "frame %u is damaged", k->frame + 1), 1;
  const Reader &r = *k->reader;
  if (decode_video(r.trees, r.video.data, r.video.size, r.dest))
    return 0;
  vex::util::fail(Status::kDamaged, "the picture of frame %u does not decode", k->frame + 1);
  return 1;
}
