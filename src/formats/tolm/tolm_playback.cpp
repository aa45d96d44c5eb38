// Playing a Tolm movie: reading frame records, decoding each once, stepping,
// seeking through key frames and copying the picture out as 32-bit pixels.
#include <cstring>

#include "formats/tolm/tolm_reader.h"
#include "util/bytes.h"
#include "util/status.h"
#include "vexutil/yuv.h"

namespace vex::formats::tolm {
namespace {

bool is_key(const TOLM *t, int32_t f) {
  return f >= 1 && static_cast<uint32_t>(f) <= t->frames && (t->index[f - 1] & 1u);
}

// Start of the video data behind the sound packets; null when a packet
// claims more than the record holds.
const uint8_t *video_data(const TOLM *t, uint32_t &left) {
  const uint8_t *p = t->record;
  left = t->record_size;
  for (uint32_t i = 0; i < t->tracks; ++i) {
    if (left < 4)
      return nullptr;
    const uint32_t length = util::le32(p);
    if (length > left - 4)
      return nullptr;
    p += 4 + length;
    left -= 4 + length;
  }
  return p;
}

void decode_video(TOLM *t, const uint8_t *data, uint32_t size) {
  std::memset(t->block_map, 0, t->block_count);
  const uint32_t target = t->latest ^ 1u;
  TolmFrameArgs a;
  a.target = t->frame_buffer[target];
  a.reference = t->frame_buffer[t->latest];
  a.target_alpha = t->alpha[target];
  a.reference_alpha = t->alpha[t->latest];
  a.block_map = t->block_map;
  a.width = t->decoded_width;
  a.height = t->decoded_height;
  a.padded_width = t->padded_width;
  a.padded_height = t->padded_height;
  a.data = std::span<const uint8_t>(data, size);
  a.bundles = t->bundles;
  a.decoder_flags = t->decoder_flags;
  a.video_flags = t->video_flags;
  t->last_faults = TolmExpandFrame(a);
  t->latest = target;
}

} // namespace

void tolm_read_record(TOLM *t, int32_t n) {
  if (n < 1)
    n = 1;
  if (static_cast<uint32_t>(n) > t->frames)
    n = static_cast<int32_t>(t->frames);
  t->previous = t->current;
  // The open checked these entries: in order, inside the movie, and no
  // further apart than the record buffer holds.
  const uint32_t start = t->index[n - 1] & ~1u, end = t->index[n] & ~1u;
  t->record_size = end - start;
  if (t->image) {
    t->record = t->image + (start - (t->index[0] & ~1u));
  } else {
    const uint32_t got = file::ring::read(t->io, start, t->record_buffer, t->record_size);
    std::memset(t->record_buffer + got, 0, t->record_size - got + kTolmRecordSlack);
    t->record = t->record_buffer;
  }
  t->current = n;
}

int32_t TolmDoFrame(TOLM *t) {
  if (!t || t->current == t->last_decoded)
    return 0;
  if (t->io.read_error)
    t->read_error = 1;
  if (t->read_error)
    return util::fail(util::Status::kReadFailed, "frame %d cannot be read: the movie was cut short", t->current), 1;
  t->last_decoded = t->current;
  uint32_t left = 0;
  const uint8_t *video = video_data(t, left);
  if (!video) // a packet runs past the record: the frame is refused
    return util::fail(util::Status::kDamaged, "a sound packet of frame %d runs past its record", t->current), 1;
  if (t->video_decoding)
    decode_video(t, video, left);
  ++t->frames_decoded;
  return 0;
}

void TolmNextFrame(TOLM *t) {
  if (!t)
    return;
  const bool last = t->current < 1 || static_cast<uint32_t>(t->current) >= t->frames;
  tolm_read_record(t, last ? 1 : t->current + 1);
}

int32_t TolmGetKeyFrame(const TOLM *t, int32_t f, uint32_t flags) {
  if (!t)
    return 0;
  if (!(flags & 0x80) && is_key(t, f))
    return f;
  const int32_t frames = static_cast<int32_t>(t->frames);
  switch (flags & 127) {
  case 0:
    for (int32_t i = f - 1; i >= 2; --i)
      if (is_key(t, i))
        return i;
    return f <= 2 ? f - 1 : 1; // frame 1 stands in when none is found
  case 1:
    for (int32_t i = f + 1; i <= frames; ++i)
      if (is_key(t, i))
        return i;
    return 0;
  default:
    // Nearest, looking back first; frame 1 counts as a key frame.
    for (int32_t d = 1; f - d >= 1 || f + d <= frames; ++d) {
      if (f - d >= 1 && (f - d == 1 || is_key(t, f - d)))
        return f - d;
      if (f + d <= frames && is_key(t, f + d))
        return f + d;
    }
    return f;
  }
}

void TolmGoto(TOLM *t, int32_t f, uint32_t flags) {
  if (!t)
    return;
  if (f < 1)
    f = 1; // frame 0 reads frame 1
  if (static_cast<uint32_t>(f) > t->frames)
    f = static_cast<int32_t>(t->frames);
  if (flags & 1) {
    tolm_read_record(t, f);
    return;
  }
  if (f == t->current)
    return;
  const int32_t key = TolmGetKeyFrame(t, f, 0);
  if (f < t->current || key > t->current) {
    tolm_read_record(t, key);
    if (t->current == f)
      return;
  }
  // From here the current frame only grows towards f, so this ends.
  TolmDoFrame(t); // nothing when already decoded
  tolm_read_record(t, t->current + 1);
  while (t->current != f) {
    TolmDoFrame(t);
    tolm_read_record(t, t->current + 1);
  }
}

int32_t TolmCopyToBuffer(TOLM *t, void *dest, int32_t pitch, int32_t height, int32_t x, int32_t y,
                         uint32_t flags) {
  if (!t || !dest || !t->frame_memory)
    return 0;
  YUV_init(static_cast<int32_t>(flags & 15));
  auto *out = static_cast<uint8_t *>(dest);
  if (pitch < 0) { // bottom-up buffer: start at the last row and step upwards
    out += ptrdiff_t{height - y - 1} * -ptrdiff_t{pitch};
    y = 0;
  }
  const uint32_t blit_flags = flags | (t->decoder_flags & 0x70030000u);
  const uint8_t *frame = t->frame_buffer[t->latest];
  const auto w = static_cast<int32_t>(t->decoded_width), h = static_cast<int32_t>(t->decoded_height);
  const auto W = static_cast<int32_t>(t->padded_width), H = static_cast<int32_t>(t->padded_height);
  switch (flags & 15) {
  case 3:
    YUV_blit_32bpp(out, x, y, pitch, frame, 0, 0, w, h, W, H, blit_flags);
    break;
  case 5:
    if (t->alpha[t->latest])
      YUV_blit_32abpp(out, x, y, pitch, frame, 0, 0, w, h, W, H, t->alpha[t->latest], blit_flags);
    else
      YUV_blit_32bpp(out, x, y, pitch, frame, 0, 0, w, h, W, H, blit_flags);
    break;
  default:
    break; // no other pixel type is drawn
  }
  return 0;
}

void TolmSetVideoDecoding(TOLM *t, int32_t on) {
  if (t && t->frame_memory) // a movie opened for its sound only has no frames to decode into
    t->video_decoding = on;
}

uint32_t TolmGetTrackFormat(const TOLM *t, uint32_t track) {
  return t && track < t->tracks ? t->track_formats[track] : 0;
}

uint32_t TolmGetTrackID(const TOLM *t, uint32_t track) { return t && track < t->tracks ? t->track_ids[track] : 0; }

int32_t TolmGetPacket(const TOLM *t, uint32_t track, const uint8_t **packet, uint32_t *length) {
  if (!t || track >= t->tracks || !t->record)
    return 0;
  const uint8_t *p = t->record;
  uint32_t left = t->record_size;
  for (uint32_t i = 0;; ++i) {
    if (left < 4)
      return 0;
    const uint32_t n = util::le32(p);
    if (n > left - 4)
      return 0;
    if (i == track) {
      *packet = p + 4;
      *length = n;
      return 1;
    }
    p += 4 + n;
    left -= 4 + n;
  }
}

} // namespace vex::formats::tolm
