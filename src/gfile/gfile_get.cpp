// GFileGet: progress, the rate conversion of one output frame, the crop
// window, 24-bit promotion and the conversion of the visible rows.
#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "palette/colour_match.h"
#include "gfile/input_reader.h"
#include "gfile/palette_choice.h"
#include "palette/palette_tables.h"
#include "gfile/row_convert.h"
#include "gfile/source_geometry.h"
#include "gfile/source_promotion.h"
#include "util/limits.h"

namespace vex::gfile {
namespace {

int32_t bytes_per_pixel(int32_t depth) { return depth / 8; }

// Progress; true when the callback asks to cancel.
bool cancelled(GFILE &g) {
  const GFILESTATE &s = *g.state;
  if (!s.callback)
    return false;
  const int64_t position = output_frames_for(g, int64_t{g.fetched} + s.first_offset) + 1;
  const int64_t end = output_frames_for(g, int64_t{g.frame_count} + s.first_offset);
  return say(s.callback, 0, "%s frame %li of %li...", s.label, static_cast<long>(position), static_cast<long>(end)) !=
         0;
}

// True colour: the converter by the depth of the frame.
void convert_true_colour(GFILE &g, uint8_t *dst) {
  const GFILESTATE &s = *g.state;
  const uint8_t *src = s.visible;
  const Palette32 bgrx = palette32(g.source_palette); // 256 entries: cheaper than a row
  for (int32_t y = 0; y < g.clip_height; ++y, dst += g.pitch, src += s.visible_pitch) {
    switch (g.frame_depth) {
    case 16: row16_to_32(dst, src, g.clip_width); break;
    case 24: row24_to_32(dst, src, g.clip_width); break;
    case 32: row32_to_32(dst, src, g.clip_width, g.alpha != 0); break;
    default: row8_to_32(dst, src, g.clip_width, bgrx); break;
    }
  }
}

void rebuild_remap(GFILE &g) {
  GFILESTATE &s = *g.state;
  const Options &o = s.options;
  s.remap = palette::build_remap(g.source_palette, g.palette,
                        palette::UsableRange{static_cast<uint32_t>(o.first_index), static_cast<uint32_t>(o.entries)});
  s.remap_valid = true;
}

// 8-bit output of the current frame, indices through `remap` (null: as
// they are) or, for deeper frames, through the nearest-colour search.
void convert_indexed(GFILE &g, uint8_t *dst, bool remap) {
  GFILESTATE &s = *g.state;
  const Options &o = s.options;
  const uint8_t *src = s.visible;
  if (g.frame_depth > 8 && s.colour_cache.empty())
    s.colour_cache.assign(palette::kCacheEntries, 0);
  palette::NearestColour nearest(s.colour_cache, g.palette,
                        palette::UsableRange{static_cast<uint32_t>(o.first_index), static_cast<uint32_t>(o.entries)});
  for (int32_t y = 0; y < g.clip_height; ++y, dst += g.pitch, src += s.visible_pitch) {
    switch (g.frame_depth) {
    case 16: row16_to_8(dst, src, g.clip_width, nearest); break;
    case 24: row24_to_8(dst, src, g.clip_width, nearest); break;
    case 32: row32_to_8(dst, src, g.clip_width, nearest); break;
    default:
      if (remap)
        row8_remap(dst, src, g.clip_width, s.remap.data());
      else
        row8_copy(dst, src, g.clip_width);
      break;
    }
  }
}

// The output palette and colour tables of 8-bit output; true when pixels
// go through the remap table, nothing when no palette can be built.
std::optional<bool> prepare_indexed(GFILE &g, bool palette_changed) {
  GFILESTATE &s = *g.state;
  const Options &o = s.options;
  if (passes_palette_through(g)) {
    std::memcpy(g.palette, g.source_palette, sizeof g.palette);
    const bool remap = o.system_colours == 1 || o.first_index != 0 || o.entries != 256;
    if (!remap)
      return false;
    if (o.system_colours == 1)
      palette::write_system_colours(palette::Palette(&g.palette[0][0], palette::kPaletteBytes));
    if (palette_changed || !s.remap_valid) {
      rebuild_remap(g);
      std::fill(s.colour_cache.begin(), s.colour_cache.end(), 0);
    }
    return true;
  }
  bool stale = palette_changed || !s.remap_valid;
  if (palette_due(g)) {
    const std::optional<bool> changed = build_new_palette(g);
    if (!changed)
      return std::nullopt;
    if (*changed) {
      stale = true;
      std::fill(s.colour_cache.begin(), s.colour_cache.end(), 0);
    }
  }
  if (stale && g.frame_depth <= 8)
    rebuild_remap(g);
  return true;
}

bool allocate_output(GFILE &g) {
  GFILESTATE &s = *g.state;
  if (g.buffer)
    return true;
  if (g.true_colour)
    g.pitch *= 4;
  size_t bytes = 0;
  if (!util::buffer_size(static_cast<uint32_t>(g.pitch), static_cast<uint32_t>(g.height), &bytes))
    return util::fail(util::Status::kTooLarge, "the output frame is too large");
  g.buffer = static_cast<uint8_t *>(vexmalloc(static_cast<uint32_t>(bytes)));
  if (!g.buffer)
    return util::fail(util::Status::kOutOfMemory);
  std::memset(g.buffer, 0, bytes);
  s.own_buffer = true;
  return true;
}

// One source frame from the reader, then its visible window.
bool fetch_one(GFILE &g) {
  GFILESTATE &s = *g.state;
  util::clear_reason(); // a reader step that fails without a reason of its own must not show an old one
  const uint64_t failures = file::read_failures();
  const bool had_damage = !s.damage.empty();
  s.fetch_failed = false;
  const bool changed = s.reader ? s.reader->fetch(g) : false;
  s.first_fetch_done = true;
  ++g.fetched;
  if (!had_damage)
    note_input_faults(g, failures);
  // A step that met a failed read, or whose input changed under it, did
  // not decode its frame from the bytes the open saw: never whole.
  s.read_failed = s.read_failed || file::read_failures() != failures;
  if (file::read_failures() != failures || (!had_damage && !s.damage.empty()) ||
      (s.read_failed && s.reader && !s.reader->whole_after_failed_read()))
    s.fetch_failed = true;
  if (g.fetched >= g.frame_count)
    g.at_end = 1;
  if (s.frame.top_left) {
    g.frame_depth = s.frame.depth;
    clip_window(g, s.frame.width, s.frame.height);
  }
  locate_visible(g);
  // A skipped frame is not promoted: only a GFileGet that delivers it
  // again does that (catch_up_on_skipped).
  s.unpromoted = s.promote && s.skipping;
  if (s.promote && !s.skipping)
    promote_visible(g);
  return changed;
}

// A GFileGet that repeats the frame a GFileSkip fetched: the picture it
// left pending and the promotion it left out.
void catch_up_on_skipped(GFILE &g) {
  GFILESTATE &s = *g.state;
  if (!s.unpromoted)
    return;
  realise_pending_picture(g);
  promote_visible(g);
  s.unpromoted = false;
}

} // namespace

bool skipping_cancelled(GFILE &g, uint32_t k) {
  GFILESTATE &s = *g.state;
  if (say(s.callback, k == 0 ? 1 : 0, "Skipping frame %li...", static_cast<long>(output_frames_for(g, k) + 1)) != 0)
    s.cancelled = true;
  return s.cancelled;
}

void locate_visible(GFILE &g) {
  GFILESTATE &s = *g.state;
  const SourceFrame &f = s.frame;
  s.visible = nullptr;
  s.visible_pitch = f.pitch;
  if (!f.top_left || g.clip_width <= 0 || g.clip_height <= 0)
    return;
  s.visible = f.top_left + ptrdiff_t{g.clip_y} * f.pitch + ptrdiff_t{g.clip_x} * bytes_per_pixel(f.depth);
}

bool advance(GFILE &g) {
  GFILESTATE &s = *g.state;
  bool changed = false;
  // A frame shown again keeps its mark; a new one is damaged when any
  // source frame fetched for it failed.
  bool fetched = false, failed = false;
  if (g.delivered == 0 && g.fetched == 0) {
    changed = fetch_one(g);
    fetched = true;
    failed = s.fetch_failed;
  } else if (!g.at_end) {
    const int64_t want = source_frames_for(g, g.delivered);
    while (g.fetched < g.frame_count && g.fetched < want) {
      changed |= fetch_one(g);
      fetched = true;
      failed = failed || s.fetch_failed;
      if (g.at_end)
        break;
    }
  }
  if (fetched)
    s.delivered_damaged = failed;
  if (g.delivered < INT32_MAX)
    ++g.delivered;
  if (g.delivered >= g.output_frames)
    g.at_end = 1;
  return changed;
}

} // namespace vex::gfile

using namespace vex::gfile;

namespace {
int32_t cancel_get() {
  vex::util::fail(vex::util::Status::kCancelled, "cancelled");
  return 0;
}
} // namespace

namespace {
int32_t get_frame(GFILE *g) {
  if (g->state->cancelled || cancelled(*g))
    return cancel_get();
  GFILESTATE &state = *g->state;
  const int32_t fetched = g->fetched;
  const bool changed = advance(*g) || state.skipped_palette_change;
  if (state.cancelled) // while skipping to the first frame
    return cancel_get();
  state.skipped_palette_change = false;
  if (g->fetched == fetched)
    catch_up_on_skipped(*g);
  if (!g->true_colour)
    realise_pending_picture(*g); // only true colour takes a picture straight
  if (!allocate_output(*g))
    return 0;
  GFILESTATE &s = *g->state;
  const std::optional<bool> remap = g->true_colour ? false : prepare_indexed(*g, changed);
  if (!remap)
    return 0; // the palette source cannot be opened, or its analysis was cancelled
  if (!s.visible)
    return 1; // nothing of the source is visible
  const int32_t bytes = g->true_colour ? 4 : 1;
  uint8_t *dst = g->buffer;
  if (g->origin_x < 0)
    dst += ptrdiff_t{-int64_t{g->origin_x}} * bytes;
  if (g->origin_y < 0)
    dst += ptrdiff_t{-int64_t{g->origin_y}} * g->pitch;
  if (g->true_colour) {
    if (s.reader && s.reader->deliver_pending(*g, dst))
      return 1;
    realise_pending_picture(*g);
    convert_true_colour(*g, dst);
  } else
    convert_indexed(*g, dst, *remap);
  return 1;
}
int32_t skip_frame(GFILE *g) {
  if (g->state->cancelled || cancelled(*g))
    return cancel_get();
  GFILESTATE &s = *g->state;
  // Movie pictures are only decoded (may_defer_picture), as a fetch for
  // true colour does; the picture waits for a delivery that may not come.
  s.skipping = true;
  s.skipped_palette_change |= advance(*g); // the next GFileGet's palette tables must know
  s.skipping = false;
  return s.cancelled ? cancel_get() : 1;
}

// A reader's working buffers are standard containers: memory that runs out
// there ends the call with the reason, never the caller's process.
int32_t guarded(int32_t (*step)(GFILE *), GFILE *g) {
  if (!g || !g->state)
    return 0;
  try {
    return step(g);
  } catch (const std::bad_alloc &) {
    vex::util::fail(vex::util::Status::kOutOfMemory, "out of memory");
    return 0;
  }
}
} // namespace

extern "C" int32_t GFileGet(GFILE *g) { return guarded(get_frame, g); }

extern "C" int32_t GFileSkip(GFILE *g) { return guarded(skip_frame, g); }
