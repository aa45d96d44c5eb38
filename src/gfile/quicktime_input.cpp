// QuickTime movies (kind 0x21): frames from the QuickTime reader's own
// buffer, 8-bit with its colour table or 32-bit.
#include <cstring>

#include "gfile/graphics_source.h"
#include "movie/qt_file_steps.h"
#include "movie/qt_source_open.h"

namespace vex::gfile {

Opened open_quicktime(GFILE &g, const OpenArgs & /*a*/, const char *name) {
  file::ByteSource source;
  source.open(name);
  QTFILE *qt = movie::QtFileOpenSource(source);
  if (!qt)
    return Opened::declined;
  g.state->qt = qt;
  copy_text(g.name, sizeof g.name, name);
  copy_text(g.type, sizeof g.type, "QuickTime");
  g.kind = GFILE_QUICKTIME;
  g.source_width = qt->width;
  g.source_height = qt->height;
  g.depth = qt->depth;
  g.frame_count = qt->frame_count;
  g.source_num = qt->rate_num;
  g.source_den = qt->rate_den;
  g.has_sound = qt->has_sound ? 1 : 0;
  return Opened::accepted;
}

bool fetch_quicktime(GFILE &g) {
  GFILESTATE &s = *g.state;
  QTFILE *qt = s.qt;
  if (!s.first_fetch_done)
    QTFileGoto(qt, static_cast<int32_t>(s.first_offset));
  if (may_defer_picture(g)) {
    // Decoded now, converted at delivery; when nothing decodes the
    // previous picture (pending or in the buffer) stays.
    int32_t index = 0;
    if (movie::QtDecodeNext(qt, &index)) {
      s.picture_pending = true;
      s.pending_position = index;
    }
  } else {
    s.picture_pending = false;
    QTFileGet(qt);
  }
  g.frame_bytes = static_cast<int32_t>(qt->frame_bytes);
  s.frame = SourceFrame{qt->pixels, qt->pitch, qt->width, qt->height, qt->depth};
  if (qt->depth > 8)
    return false;
  bool changed = false;
  for (int i = 0; i < 256; ++i) {
    const uint8_t rgb[3] = {qt->palette[i][2], qt->palette[i][1], qt->palette[i][0]};
    if (std::memcmp(g.source_palette[i], rgb, 3) != 0) {
      std::memcpy(g.source_palette[i], rgb, 3);
      changed = true;
    }
  }
  return changed;
}

} // namespace vex::gfile
