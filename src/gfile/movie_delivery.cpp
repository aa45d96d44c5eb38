// One conversion per movie picture in true colour: the fetch decodes, the
// delivery converts straight into the output rows when the whole frame is
// visible (the usual case), so the picture is not first converted into
// the reader's own layout (bottom-up 24-bit rows for AVI) and then again
// into the caller's. Frames that rate conversion drops are never
// converted at all.
#include "gfile/input_reader.h"

namespace vex::gfile {

bool may_defer_picture(const GFILE &g) { return g.true_colour && !g.state->promote && g.depth > 8; }

bool whole_frame_visible(const GFILE &g) {
  const SourceFrame &f = g.state->frame;
  return g.clip_x == 0 && g.clip_y == 0 && g.clip_width == f.width && g.clip_height == f.height;
}

void realise_pending_picture(GFILE &g) {
  if (g.state->reader)
    g.state->reader->realise_pending(g);
}

} // namespace vex::gfile
