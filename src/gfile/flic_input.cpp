// FLIC animations (kind 0x80): 8-bit frames decoded by the FLIC reader into
// a buffer of ours that keeps the previous frame (deltas change it in place).
#include <cstring>

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

bool fetch_flic(GFILE &g) {
  GFILESTATE &s = *g.state;
  VEXFLIC *f = s.flic;
  bool changed = false;
  if (!s.first_fetch_done) {
    if (s.frame_buffer.empty())
      s.frame_buffer.assign(size_t{f->pitch} * f->buffer_height, 0);
    skip_to_first(g, [&] { changed |= (VEXFlicGetNext(f, s.frame_buffer.data()) & VEXFLIC_FRAME_NEW_PALETTE) != 0; });
    changed = true; // the first fetch always takes the palette
  }
  changed |= (VEXFlicGetNext(f, s.frame_buffer.data()) & VEXFLIC_FRAME_NEW_PALETTE) != 0;
  if (changed)
    std::memcpy(g.source_palette, VEXFlicGetPalette(f), sizeof g.source_palette);
  g.frame_bytes = static_cast<int32_t>(f->frame_data_size);
  s.frame = SourceFrame{s.frame_buffer.data(), static_cast<ptrdiff_t>(f->pitch), static_cast<int32_t>(f->pitch),
                        static_cast<int32_t>(f->height), 8};
  return changed;
}

} // namespace vex::gfile
