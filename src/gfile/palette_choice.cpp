#include "gfile/palette_choice.h"

#include <cstring>

#include "util/open_progress.h"

namespace vex::gfile {

namespace {

inline constexpr const char *kAnalysisLabel = "Analyzing colors in";
// A palette that serves more frames than this is the last one: the palette
// source is not needed again.
inline constexpr int32_t kLastPaletteRun = 32767;

GFILE *open_over_same_input(const GFILE &g) {
  const GFILESTATE &s = *g.state;
  const Options &o = s.options;
  const int32_t flags = (g.true_colour ? GFILE_TRUE_COLOUR : 0) | (g.alpha ? GFILE_ALPHA : 0);
  const auto first = static_cast<int32_t>(s.first_offset + 1);
  const auto last = static_cast<int32_t>(s.first_offset + static_cast<uint32_t>(g.frame_count));
  const OpenArgs a{s.opened_as.c_str(), flags,        o.play_num,       o.play_den,    o.out_num,
                   o.out_den,           g.clip_x,     g.clip_y,         g.width,       g.height,
                   first,               last,         o.palette_mode,   o.palette_period, o.first_index,
                   o.entries,           0,            o.system_colours, o.promotion,   nullptr,
                   kAnalysisLabel,      nullptr};
  util::clear_reason();
  return open_source(a, &s.inputs); // the files this source opened serve it again
}

GFILE *open_palette_file(const GFILE &g) {
  const GFILESTATE &s = *g.state;
  const Options &o = s.options;
  const char *name = o.palette_file.c_str();
  if (s.fixed_palette)
    return GFileOpen(name, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10000, 0, 256, 0, 2, 2, nullptr, kAnalysisLabel,
                     nullptr);
  return GFileOpen(name, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, o.palette_mode, o.palette_period, o.first_index, o.entries,
                   0, o.system_colours, 2, nullptr, kAnalysisLabel, nullptr);
}

// Opened without the callback, so that a failure says one thing; the
// source talks through it afterwards (its progress while analysing). The
// long steps of the open (a movie's frame count) report to the callback
// all the same, and a cancel there cancels the source.
bool open_palette_source(GFILE &g) {
  GFILESTATE &s = *g.state;
  {
    util::OpenProgress progress(s.callback, s.opened_as.c_str());
    s.palette_source.reset(s.options.palette_file.empty() ? open_over_same_input(g) : open_palette_file(g));
    if (progress.cancelled()) {
      s.palette_source.reset();
      s.cancelled = true;
      return util::fail(util::Status::kCancelled, "cancelled");
    }
  }
  if (!s.palette_source) {
    say(s.callback, 2, "Error opening palette graphics file.");
    return false;
  }
  s.palette_source->state->callback = s.callback;
  return true;
}

// With a split, each palette takes the other of the two usable ranges.
void choose_half(GFILE &g) {
  GFILESTATE &s = *g.state;
  Options &o = s.options;
  if (o.split == 0 || s.fixed_palette)
    return;
  o.first_index = o.asked_first_index + (s.second_half ? o.split : 0);
  s.second_half = !s.second_half;
}

// The starting point of a new palette: the source palette, whole for the
// first frame, else only outside the usable range.
void seed_palette(GFILE &g) {
  const Options &o = g.state->options;
  if (g.delivered <= 1) {
    std::memcpy(g.palette, g.source_palette, sizeof g.palette);
  } else {
    const size_t from = size_t(o.first_index) * 3, to = size_t(o.first_index + o.entries) * 3;
    std::memcpy(&g.palette[0][0], &g.source_palette[0][0], from);
    std::memcpy(&g.palette[0][0] + to, &g.source_palette[0][0] + to, palette::kPaletteBytes - to);
  }
  if (o.system_colours == 1)
    palette::write_system_colours(palette::Palette(&g.palette[0][0], palette::kPaletteBytes));
}

PreviousFrame previous_frame(const GFILE &g) {
  if (g.delivered <= 1 || !g.buffer || g.true_colour)
    return {};
  return PreviousFrame{std::span<const uint8_t>(g.buffer, size_t(g.pitch) * size_t(g.height)),
                       static_cast<uint32_t>(g.pitch), static_cast<uint32_t>(g.width),
                       static_cast<uint32_t>(g.height)};
}

} // namespace

bool passes_palette_through(const GFILE &g) {
  const Options &o = g.state->options;
  return o.palette_file.empty() && o.palette_mode == 0 && g.depth <= 8 && o.palette_period >= kPassThroughPeriod;
}

bool palette_due(GFILE &g) {
  int32_t &countdown = g.state->countdown;
  if (countdown == 0)
    return true;
  if (countdown > 0)
    --countdown;
  return false;
}

std::optional<bool> build_new_palette(GFILE &g) {
  GFILESTATE &s = *g.state;
  const Options &o = s.options;
  const int32_t first_before = o.first_index;
  uint8_t before[256][3];
  std::memcpy(before, g.palette, sizeof before);
  choose_half(g);
  seed_palette(g);
  g.palette_built = 1;
  if (!s.palette_source && !open_palette_source(g))
    return std::nullopt;
  Options &po = s.palette_source->state->options;
  if (!s.fixed_palette) {
    po.first_index = o.first_index;
    po.entries = o.entries;
  }
  const UncoveredArea uncovered{static_cast<uint32_t>(g.uncovered_width), static_cast<uint32_t>(g.uncovered_height),
                                g.origin_x, g.origin_y};
  const int32_t k =
      best_palette(*s.palette_source, palette::Palette(&g.palette[0][0], palette::kPaletteBytes), previous_frame(g), uncovered);
  if (k == 0) { // the callback cancelled the analysis
    s.palette_source.reset();
    s.cancelled = true;
    util::fail(util::Status::kCancelled, "cancelled");
    return std::nullopt;
  }
  s.countdown = k - 1;
  if (s.countdown > kLastPaletteRun)
    s.palette_source.reset();
  const size_t from = size_t(o.first_index) * 3, n = size_t(o.entries) * 3;
  return first_before != o.first_index || std::memcmp(&before[0][0] + from, &g.palette[0][0] + from, n) != 0;
}

} // namespace vex::gfile
