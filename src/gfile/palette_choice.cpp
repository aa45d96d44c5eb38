#include "gfile/palette_choice.h"

#include <algorithm>
#include <cstring>

#include "gfile/palette_build.h"
#include "gfile/palette_histogram.h"

namespace vex::gfile {

bool passes_palette_through(const GFILE &g) {
  const Options &o = g.state->options;
  return o.palette_file.empty() && o.palette_mode == 0 && g.depth <= 8 && o.palette_period >= kPassThroughPeriod;
}

bool palette_due(const GFILE &g) { return !g.state->palette_ready; }

namespace {

// The colours of the visible window of `g`'s current frame, with black for
// the output it does not cover.
void count_frame(const GFILE &g, Histogram h) {
  const GFILESTATE &s = *g.state;
  if (s.visible)
    count_window(h, PixelWindow{s.visible, s.visible_pitch, static_cast<uint32_t>(g.clip_width),
                                static_cast<uint32_t>(g.clip_height), static_cast<uint32_t>(g.frame_depth),
                                &g.source_palette[0][0]});
  add_uncovered_black(h, static_cast<uint32_t>(g.clip_width), static_cast<uint32_t>(g.clip_height),
                      static_cast<uint32_t>(g.uncovered_width), static_cast<uint32_t>(g.uncovered_height), g.origin_x,
                      g.origin_y);
}

// A palette file's first frame, whole, gives the colours; false (and the
// callback told) when it cannot be opened. It is read in true colour: only
// its source frame counts, so its own 8-bit delivery would be wasted work.
bool count_palette_file(const GFILE &g, Histogram h) {
  const GFILESTATE &s = *g.state;
  SourcePtr file(GFileOpen(s.options.palette_file.c_str(), GFILE_TRUE_COLOUR, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10000,
                           0, 256, 0, 2, 2, nullptr, "Analyzing colors in", nullptr));
  if (!file || GFileGet(file.get()) != 1) {
    say(s.callback, 2, "Error opening palette graphics file.");
    return false;
  }
  count_frame(*file, h);
  return true;
}

} // namespace

std::optional<bool> build_new_palette(GFILE &g) {
  GFILESTATE &s = *g.state;
  const Options &o = s.options;
  uint8_t before[256][3];
  std::memcpy(before, g.palette, sizeof before);
  // The first source frame: the whole source palette is the starting point.
  std::memcpy(g.palette, g.source_palette, sizeof g.palette);
  std::vector<uint32_t> counts = make_histogram();
  const Histogram h(counts.data(), kBucketCount);
  if (o.palette_file.empty())
    count_frame(g, h);
  else if (!count_palette_file(g, h))
    return std::nullopt;
  PaletteRequest request{h,
                         static_cast<uint32_t>(o.first_index),
                         static_cast<uint32_t>(o.entries),
                         static_cast<SystemColours>(o.system_colours),
                         nullptr,
                         Palette(&g.palette[0][0], kPaletteBytes),
                         s.callback ? MessageFn(s.callback) : MessageFn()};
  PaletteOutcome outcome;
  build_palette(request, outcome);
  g.palette_built = 1;
  s.palette_ready = true;
  const size_t from = size_t(o.first_index) * 3, n = size_t(o.entries) * 3;
  return std::memcmp(&before[0][0] + from, &g.palette[0][0] + from, n) != 0 || !s.remap_valid;
}

} // namespace vex::gfile
