// GFileReset and GFileClose, and the per-kind rewind and release.
#include <algorithm>
#include <cstring>

#include "formats/korvane/korvane.h"
#include "formats/tolm/tolm_reader.h"
#include "gfile/graphics_source.h"
#include "movie/avi_reader.h"

GFILESTATE::GFILESTATE() = default;
GFILESTATE::~GFILESTATE() = default;

namespace vex::gfile {

void rewind_reader(GFILE &g) {
  GFILESTATE &s = *g.state;
  switch (g.kind) {
  case GFILE_FLIC:
    if (!s.frame_buffer.empty())
      VEXFlicGoto(s.flic, 0, s.frame_buffer.data());
    break;
  case GFILE_KORVANE: KorvaGoto(s.korva, 1); break;
  case GFILE_TOLM: formats::tolm::TolmGoto(s.tolm, 1, 1); break;
  case GFILE_RAW: rewind_raw(g); break;
  case GFILE_LIST:
    rewind_list(s.list.state());
    GFileClose(s.list.entry);
    s.list.entry = nullptr;
    break;
  default: break; // AVI and stills read by position; QuickTime goes to the first frame at the first fetch
  }
}

void release_reader(GFILE &g) {
  GFILESTATE &s = *g.state;
  VEXFlicClose(s.flic);
  s.flic = nullptr;
  KorvaClose(s.korva);
  s.korva = nullptr;
  formats::tolm::TolmClose(s.tolm);
  s.tolm = nullptr;
  s.raw.reset();
  if (s.avi.getter)
    movie::StreamGetFrameClose(s.avi.getter);
  if (s.avi.stream)
    movie::StreamRelease(s.avi.stream);
  s.avi = AviInput{};
  QTFileClose(s.qt);
  s.qt = nullptr;
  if (s.still.held)
    stills::StillFree(&s.still.image);
  s.still.held = false;
  VEXFileClose(s.list.file);
  s.list.file = nullptr;
  GFileClose(s.list.entry);
  s.list.entry = nullptr;
  s.palette_source.reset();
}

} // namespace vex::gfile

using namespace vex::gfile;

extern "C" void GFileReset(GFILE *g) {
  if (!g || !g->state)
    return;
  GFILESTATE &s = *g->state;
  g->fetched = g->delivered = g->at_end = 0;
  s.first_fetch_done = false;
  s.remap_valid = false;
  std::fill(s.colour_cache.begin(), s.colour_cache.end(), 0);
  s.countdown = 0;
  s.pending = false;
  s.second_half = false;
  s.options.first_index = s.options.asked_first_index;
  std::memset(g->palette, 0, sizeof g->palette);
  std::memset(g->source_palette, 0, sizeof g->source_palette);
  if (g->buffer && g->height > 0)
    std::memset(g->buffer, 0, size_t(g->pitch) * static_cast<size_t>(g->height));
  s.palette_source.reset();
  rewind_reader(*g);
  s.frame = SourceFrame{};
  s.visible = nullptr;
  s.picture_pending = false;
}

extern "C" const char *GFileDamage(const GFILE *g) {
  if (!g || !g->state || g->state->damage.empty())
    return nullptr;
  return g->state->damage.c_str();
}

extern "C" GFILE *GFileClose(GFILE *g) {
  if (!g)
    return nullptr;
  if (g->state) {
    release_reader(*g);
    if (g->state->own_buffer)
      vexfree(g->buffer);
    vex::util::delete_record(g->state);
  }
  std::memset(g, 0, sizeof *g);
  vexfree(g);
  return nullptr;
}
