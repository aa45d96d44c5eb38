// GFileReset and GFileClose: the reader rewinds and releases what it holds.
#include <algorithm>
#include <cstring>

#include "gfile/input_reader.h"

GFILESTATE::GFILESTATE() = default;
GFILESTATE::~GFILESTATE() = default;

using namespace vex::gfile;

extern "C" void GFileReset(GFILE *g) {
  if (!g || !g->state)
    return;
  GFILESTATE &s = *g->state;
  g->fetched = g->delivered = g->at_end = 0;
  s.first_fetch_done = false;
  s.delivered_damaged = false;
  s.remap_valid = false;
  std::fill(s.colour_cache.begin(), s.colour_cache.end(), 0);
  s.countdown = 0;
  s.pending = false;
  s.cancelled = false;
  s.unpromoted = s.skipped_palette_change = false;
  s.second_half = false;
  s.options.first_index = s.options.asked_first_index;
  std::memset(g->palette, 0, sizeof g->palette);
  std::memset(g->source_palette, 0, sizeof g->source_palette);
  if (g->buffer && g->height > 0)
    std::memset(g->buffer, 0, size_t(g->pitch) * static_cast<size_t>(g->height));
  s.palette_source.reset();
  if (s.reader)
    s.reader->rewind(*g);
  s.frame = SourceFrame{};
  s.visible = nullptr;
}

extern "C" const char *GFileDamage(const GFILE *g) {
  if (!g || !g->state || g->state->damage.empty())
    return nullptr;
  return g->state->damage.c_str();
}

extern "C" int32_t GFileFrameDamaged(const GFILE *g) { return g && g->state && g->state->delivered_damaged ? 1 : 0; }

extern "C" GFILE *GFileClose(GFILE *g) {
  if (!g)
    return nullptr;
  if (g->state) {
    g->state->palette_source.reset();
    g->state->reader.reset();
    if (g->state->own_buffer)
      vexfree(g->buffer);
    vex::util::delete_record(g->state);
  }
  std::memset(g, 0, sizeof *g);
  vexfree(g);
  return nullptr;
}
