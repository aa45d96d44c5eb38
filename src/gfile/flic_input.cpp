// FLIC animations (kind 0x80): 8-bit frames decoded by the FLIC reader into
// a buffer of ours that keeps the previous frame (deltas change it in place).
#include <cstring>

#include "flic/flic_source.h"
#include "gfile/graphics_source.h"
#include "util/limits.h"

namespace vex::gfile {

Opened open_flic(GFILE &g, const OpenArgs & /*a*/, const char *name) {
  VEXFLIC *f = VEXFlicOpen(name);
  if (!f)
    return Opened::declined;
  GFILESTATE &s = *g.state;
  size_t bytes = 0;
  if (!util::buffer_size(f->pitch, f->buffer_height, &bytes)) {
    VEXFlicClose(f);
    return Opened::declined;
  }
  s.flic = f;
  // Walking the frame headers costs one small read a frame and tells a user
  // at once that the file was cut, before any frame is asked for.
  note_damage(s, flic::check_frames(f) != util::Status::kOk);
  VEXFlicGetName(f, g.name);
  copy_text(g.type, sizeof g.type, "Flic");
  g.kind = GFILE_FLIC;
  g.depth = 8;
  g.source_width = static_cast<int32_t>(f->pitch);
  g.source_height = static_cast<int32_t>(f->height);
  g.frame_count = static_cast<int32_t>(f->frame_count);
  rate_from_speed(f->rate, g.source_num, g.source_den);
  return Opened::accepted;
}

namespace {
uint8_t decode_next(GFILESTATE &s) {
  const uint8_t result = VEXFlicGetNext(s.flic, s.frame_buffer.data());
  note_damage(s, result == VEXFLIC_FAILED);
  return result;
}
} // namespace

bool fetch_flic(GFILE &g) {
  GFILESTATE &s = *g.state;
  VEXFLIC *f = s.flic;
  bool changed = false;
  if (!s.first_fetch_done) {
    if (s.frame_buffer.empty())
      s.frame_buffer.assign(size_t{f->pitch} * f->buffer_height, 0);
    skip_to_first(g, [&] { changed |= decode_next(s) & VEXFLIC_FRAME_NEW_PALETTE; });
    changed = true; // the first fetch always takes the palette
  }
  changed |= decode_next(s) & VEXFLIC_FRAME_NEW_PALETTE;
  if (changed)
    std::memcpy(g.source_palette, VEXFlicGetPalette(f), sizeof g.source_palette);
  g.frame_bytes = static_cast<int32_t>(f->frame_data_size);
  s.frame = SourceFrame{s.frame_buffer.data(), static_cast<ptrdiff_t>(f->pitch), static_cast<int32_t>(f->pitch),
                        static_cast<int32_t>(f->height), 8};
  return changed;
}

} // namespace vex::gfile
