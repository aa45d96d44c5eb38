// One conversion per movie picture in true colour: the fetch decodes, the
// delivery converts straight into the output rows when the whole frame is
// visible (the usual case), so the picture is not first converted into
// the reader's own layout (bottom-up 24-bit rows for AVI) and then again
// into the caller's. Frames that rate conversion drops, and those GFileSkip
// passes over, are never converted at all.
#include "gfile/input_reader.h"
#include "movie/media_reader.h"

namespace vex::gfile {

static_assert(static_cast<int>(movie::Matrix::bt601) == GFILE_MATRIX_BT601 &&
              static_cast<int>(movie::Matrix::bt709) == GFILE_MATRIX_BT709 &&
              static_cast<int>(movie::Matrix::fcc) == GFILE_MATRIX_FCC &&
              static_cast<int>(movie::Matrix::smpte240m) == GFILE_MATRIX_SMPTE240M &&
              static_cast<int>(movie::Matrix::bt2020) == GFILE_MATRIX_BT2020);

void describe_movie(const movie::MovieFacts &facts, GFILEINFO &info) {
  describe_text(info.codec, facts.codec);
  const movie::PictureColour &c = facts.colour;
  info.colour_matrix = static_cast<int32_t>(c.matrix);
  if (c.matrix != movie::Matrix::none) {
    info.colour_range = c.full_range ? GFILE_RANGE_FULL : GFILE_RANGE_LIMITED;
    info.colour_tagged = (c.matrix_tagged ? GFILE_MATRIX_TAGGED : 0) | (c.range_tagged ? GFILE_RANGE_TAGGED : 0);
  }
  if (!facts.has_sound)
    return;
  info.has_sound = 1;
  describe_text(info.sound_codec, facts.sound_codec);
  info.sound_rate = facts.sound_rate;
  info.sound_bits = facts.sound_bits;
  info.sound_channels = facts.sound_channels;
  info.sound_frames = facts.sound_frames;
}

bool may_defer_picture(const GFILE &g) {
  const GFILESTATE &s = *g.state;
  return (s.skipping || (g.true_colour && !s.promote)) && g.depth > 8;
}

bool whole_frame_visible(const GFILE &g) {
  const SourceFrame &f = g.state->frame;
  return g.clip_x == 0 && g.clip_y == 0 && g.clip_width == f.width && g.clip_height == f.height;
}

void realise_pending_picture(GFILE &g) {
  if (g.state->reader)
    g.state->reader->realise_pending(g);
}

} // namespace vex::gfile
