// Korvane movies (kind 0x81): 8-bit frames decoded into a buffer of ours,
// with the palette the decoder keeps.
#include <cstring>

#include "file/byte_source.h"
#include "formats/korvane/korvane.h"
#include "gfile/graphics_source.h"
#include "util/limits.h"

namespace vex::gfile {

namespace kv = formats::korvane;

Opened open_korvane(GFILE &g, const OpenArgs & /*a*/, const char *name) {
  file::ByteSource source;
  source.open(name);
  g.state->korva = KorvaOpen(std::move(source), 0);
  if (!g.state->korva)
    return Opened::declined;
  copy_text(g.name, sizeof g.name, name);
  return accept_korvane(g);
}

Opened accept_korvane(GFILE &g) {
  const KORVA &k = *g.state->korva;
  copy_text(g.type, sizeof g.type, "Korvane");
  g.kind = GFILE_KORVANE;
  g.depth = 8;
  g.source_width = static_cast<int32_t>(k.width);
  g.source_height = static_cast<int32_t>(k.height);
  g.frame_count = static_cast<int32_t>(k.frames);
  rate_from_speed(static_cast<int32_t>(k.header[kv::kHdrSpeed]), g.source_num, g.source_den);
  for (uint32_t t = 0; t < kv::kTracks; ++t)
    if (k.header[kv::kHdrSoundSize + t] != 0)
      g.has_sound = 1;
  return Opened::accepted;
}

bool fetch_korvane(GFILE &g) {
  GFILESTATE &s = *g.state;
  KORVA *k = s.korva;
  bool first = false;
  if (!s.first_fetch_done) {
    if (s.frame_buffer.empty())
      s.frame_buffer.assign(size_t{k->width} * k->height, 0);
    KorvaToBuffer(k, 0, 0, k->width, k->height, s.frame_buffer.data(), 0);
    skip_to_first(g, [&] {
      note_damage(s, KorvaDoFrame(k) != 0);
      KorvaNextFrame(k);
    });
    first = true;
  }
  note_damage(s, KorvaDoFrame(k) != 0);
  const bool changed = first || k->palette_changed;
  g.frame_bytes = static_cast<int32_t>(k->frame_size);
  if (changed)
    std::memcpy(g.source_palette, k->palette, sizeof g.source_palette);
  KorvaNextFrame(k);
  s.frame = SourceFrame{s.frame_buffer.data(), static_cast<ptrdiff_t>(k->width), static_cast<int32_t>(k->width),
                        static_cast<int32_t>(k->height), 8};
  return changed;
}

} // namespace vex::gfile
