// Tolm movies (kind 0x83): frames decoded and drawn as 32-bit pixels into a
// buffer of ours. The frame size reported is the frame record's.
#include "formats/tolm/tolm_reader.h"
#include "gfile/graphics_source.h"
#include "util/limits.h"

namespace vex::gfile {

namespace tolm = formats::tolm;

namespace {
constexpr uint32_t kOpenFlags = tolm::kTolmOpenNoBackground | tolm::kTolmOpenAlpha | tolm::kTolmOpenByTrackId;
constexpr uint32_t kPixels32 = 5;            // 32-bit pixels (with alpha when the movie has it)
constexpr uint32_t kFirstDraw = 0x80000000u; // the first draw of the source
} // namespace

Opened open_tolm(GFILE &g, const OpenArgs & /*a*/, const char *name) {
  file::ByteSource source;
  source.open(name);
  g.state->tolm = tolm::TolmOpen(std::move(source), kOpenFlags);
  if (!g.state->tolm)
    return Opened::declined;
  copy_text(g.name, sizeof g.name, name);
  return accept_tolm(g);
}

Opened accept_tolm(GFILE &g) {
  const tolm::TOLM &t = *g.state->tolm;
  copy_text(g.type, sizeof g.type, "Tolm");
  g.kind = GFILE_TOLM;
  g.depth = 32;
  g.source_width = static_cast<int32_t>(t.output_width);
  g.source_height = static_cast<int32_t>(t.output_height);
  g.frame_count = static_cast<int32_t>(t.frames);
  g.source_num = t.rate_num;
  g.source_den = t.rate_den;
  g.has_sound = t.tracks > 0 ? 1 : 0;
  return Opened::accepted;
}

bool fetch_tolm(GFILE &g) {
  GFILESTATE &s = *g.state;
  tolm::TOLM *t = s.tolm;
  const bool first = !s.first_fetch_done;
  if (first) {
    if (s.frame_buffer.empty())
      s.frame_buffer.assign(size_t{t->output_width} * 4 * t->output_height, 0);
    skip_to_first(g, [&] {
      note_damage(s, tolm::TolmDoFrame(t) != 0);
      tolm::TolmNextFrame(t);
    });
  }
  const auto pitch = static_cast<int32_t>(t->output_width * 4);
  note_damage(s, tolm::TolmDoFrame(t) != 0);
  tolm::TolmCopyToBuffer(t, s.frame_buffer.data(), pitch, static_cast<int32_t>(t->output_height), 0, 0,
                         first ? kPixels32 | kFirstDraw : kPixels32);
  g.frame_bytes = static_cast<int32_t>(t->record_size);
  tolm::TolmNextFrame(t);
  s.frame = SourceFrame{s.frame_buffer.data(), pitch, static_cast<int32_t>(t->output_width),
                        static_cast<int32_t>(t->output_height), 32};
  return first;
}

} // namespace vex::gfile
