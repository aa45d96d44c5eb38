// One conversion per movie picture in true colour: the fetch decodes, the
// delivery converts straight into the output rows when the whole frame is
// visible (the usual case), so the picture is not first converted into
// the reader's own layout (bottom-up 24-bit rows for AVI) and then again
// into the caller's. Frames that rate conversion drops are never
// converted at all.
#include "gfile/graphics_source.h"
#include "movie/avi_reader.h"
#include "movie/qt_file_steps.h"

namespace vex::gfile {
namespace {

bool whole_frame_visible(const GFILE &g) {
  const SourceFrame &f = g.state->frame;
  return g.clip_x == 0 && g.clip_y == 0 && g.clip_width == f.width && g.clip_height == f.height;
}

} // namespace

bool may_defer_picture(const GFILE &g) { return g.true_colour && !g.state->promote && g.depth > 8; }

bool deliver_pending_picture(GFILE &g, uint8_t *dst) {
  GFILESTATE &s = *g.state;
  if (!s.picture_pending || !whole_frame_visible(g))
    return false;
  // The fourth byte is the source's only for 32-bit frames with the alpha
  // flag set; 24-bit frames have none.
  const bool keep_fourth = g.alpha != 0 && s.frame.depth == 32;
  switch (g.kind) {
  case GFILE_AVI: return movie::StreamFrameInto(s.avi.getter, s.pending_position, keep_fourth, dst, g.pitch);
  case GFILE_QUICKTIME: return movie::QtFrameInto(s.qt, s.pending_position, keep_fourth, dst, g.pitch);
  default: return false;
  }
}

void realise_pending_picture(GFILE &g) {
  GFILESTATE &s = *g.state;
  if (!s.picture_pending)
    return;
  s.picture_pending = false;
  switch (g.kind) {
  case GFILE_AVI: movie::StreamGetFrame(s.avi.getter, s.pending_position); break;
  case GFILE_QUICKTIME: movie::QtFillBuffer(s.qt, s.pending_position); break;
  default: break;
  }
}

} // namespace vex::gfile
