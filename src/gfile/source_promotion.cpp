#include "gfile/source_promotion.h"

#include "gfile/flat_area_filter.h"
#include "util/limits.h"

namespace vex::gfile {

void promote_visible(GFILE &g) {
  GFILESTATE &s = *g.state;
  if (!s.visible)
    return;
  const ptrdiff_t pitch = ptrdiff_t{g.clip_width} * 3;
  const size_t bytes = size_t(pitch) * static_cast<size_t>(g.clip_height) + 4;
  if (s.promoted.size() < bytes)
    s.promoted.assign(bytes, 0);
  flat_area_filter(s.visible, s.visible_pitch, g.frame_depth, g.source_palette, g.clip_width, g.clip_height,
                   s.promoted.data(), pitch);
  s.visible = s.promoted.data();
  s.visible_pitch = pitch;
  g.frame_depth = 24;
}

} // namespace vex::gfile

