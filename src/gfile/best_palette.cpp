// GFileBestPalette: the frame loop of palette building over a palette
// source. The source reads ahead of the caller: the frame that ends one
// palette (a source palette change in analysis mode 2) or the first frame
// of the next run stays fetched and marked pending until the next call.
#include <algorithm>
#include <cstring>
#include <span>

#include "gfile/graphics_source.h"
#include "palette/palette_build.h"
#include "gfile/palette_choice.h"
#include "palette/palette_histogram.h"
#include "gfile/source_geometry.h"

namespace vex::gfile {
namespace {

inline constexpr int32_t kAtEnd = 0x10000;

// "<label> frame <n> of <end> (<p>%)..." over the palette source, once per
// frame read; true when the callback asks to stop. The pending frame counts
// as not yet fetched; the share is of the frames before this one.
bool analysis_cancelled(const GFILE &p, int32_t k) {
  const GFILESTATE &s = *p.state;
  if (!s.callback)
    return false;
  const int64_t fetched = int64_t{p.fetched} - (s.pending ? 1 : 0) + s.first_offset;
  const int64_t position = output_frames_for(p, fetched) + 1;
  const int64_t end = output_frames_for(p, int64_t{p.frame_count} + s.first_offset);
  const int64_t percent = end > 0 ? std::clamp<int64_t>((position - 1) * 100 / end, 0, 100) : 0;
  return say(s.callback, k == 0 ? 1 : 0, "%s frame %li of %li (%li%%)...", s.label, static_cast<long>(position),
             static_cast<long>(end), static_cast<long>(percent)) != 0;
}

// The visible window of the palette source's current frame, and black for
// the caller's output that its source does not cover.
void count_frame(const GFILE &p, palette::Histogram h, const UncoveredArea &u) {
  const GFILESTATE &s = *p.state;
  if (s.visible)
    palette::count_window(h, palette::PixelWindow{s.visible, s.visible_pitch, static_cast<uint32_t>(p.clip_width),
                                static_cast<uint32_t>(p.clip_height), static_cast<uint32_t>(p.frame_depth),
                                &p.source_palette[0][0]});
  palette::add_uncovered_black(h, static_cast<uint32_t>(p.clip_width), static_cast<uint32_t>(p.clip_height), u.width,
                      u.height, u.origin_x, u.origin_y);
}

// The source's own palette in the usable range; frames it serves.
int32_t pass_through(GFILE &p, palette::Palette palette) {
  GFILESTATE &s = *p.state;
  const Options &o = s.options;
  std::memcpy(palette.data() + size_t(o.first_index) * 3, &p.source_palette[o.first_index][0],
              size_t(o.entries) * 3);
  if (o.system_colours == 1)
    palette::write_system_colours(palette);
  s.pending = false;
  return p.at_end ? kAtEnd : 1;
}

} // namespace

int32_t best_palette(GFILE &p, palette::Palette palette, const PreviousFrame &previous, const UncoveredArea &uncovered) {
  GFILESTATE &s = *p.state;
  const Options &o = s.options;
  if (!s.pending) {
    advance(p);
    s.pending = true;
  }
  if (o.palette_period >= kPassThroughPeriod && o.palette_mode == 0 && p.depth <= 8)
    return pass_through(p, palette);

  std::vector<uint32_t> counts = palette::make_histogram();
  const palette::Histogram h(counts.data(), palette::kBucketCount);
  int32_t k = 0;
  for (;;) {
    if (s.cancelled || analysis_cancelled(p, k)) // a list's entry may have been cancelled in the last frame
      return 0;
    bool changed = false;
    if (s.pending)
      s.pending = false;
    else
      changed = advance(p);
    if (changed && o.palette_mode == 2 && k > 0) {
      s.pending = true;
      break;
    }
    count_frame(p, h, uncovered);
    if (p.at_end) {
      k = kAtEnd;
      break;
    }
    if (++k >= o.palette_period)
      break;
  }

  palette::UsageCounts usage{};
  if (!previous.pixels.empty())
    usage = palette::count_usage(previous.pixels, previous.pitch, previous.width, previous.height, uncovered.origin_x,
                        uncovered.origin_y, uncovered.width, uncovered.height);
  const palette::PaletteRequest request{h,
                               static_cast<uint32_t>(o.first_index),
                               static_cast<uint32_t>(o.entries),
                               static_cast<palette::SystemColours>(o.system_colours),
                               &usage,
                               palette,
                               s.callback ? palette::MessageFn(s.callback) : palette::MessageFn()};
  palette::PaletteOutcome outcome;
  palette::build_palette(request, outcome);
  return k;
}

} // namespace vex::gfile

using namespace vex::gfile;

extern "C" int32_t GFileBestPalette(GFILE *source, uint8_t *palette, const uint8_t *previous, int32_t width,
                                    int32_t height, int32_t pitch, int32_t origin_x, int32_t origin_y,
                                    int32_t uncovered_width, int32_t uncovered_height) {
  vex::util::clear_reason();
  if (!source || !source->state || !palette) {
    vex::util::fail(vex::util::Status::kInvalidArgument, "no palette source or no palette");
    return 0;
  }
  PreviousFrame frame;
  if (previous && width > 0 && height > 0 && pitch >= width)
    frame = PreviousFrame{std::span<const uint8_t>(previous, size_t(pitch) * size_t(height)),
                          static_cast<uint32_t>(pitch), static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
  const UncoveredArea uncovered{static_cast<uint32_t>(std::max(uncovered_width, 0)),
                                static_cast<uint32_t>(std::max(uncovered_height, 0)), origin_x, origin_y};
  return best_palette(*source, vex::palette::Palette(palette, vex::palette::kPaletteBytes), frame, uncovered);
}
