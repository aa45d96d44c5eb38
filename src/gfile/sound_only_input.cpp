// Sound-only inputs (kind 0x200): anything the sound source accepts becomes
// a silent 4 x 4 picture whose frames cover the sound at 15 per second. The
// WAV check sends a RIFF WAVE file here before any picture reader sees it.
#include <cstring>

#include "gfile/graphics_source.h"
#include "vexutil/sfile.h"

namespace vex::gfile {
namespace {
constexpr int32_t kSide = 4;
constexpr uint32_t kRate = 15;
} // namespace

Opened open_wave_check(GFILE & /*g*/, const OpenArgs & /*a*/, const char *name) {
  VEXFILE *f = name[0] ? VEXFileOpen(1024, name, VEXFILE_READ) : nullptr;
  if (!f)
    return Opened::declined;
  uint8_t head[12] = {};
  const uint32_t got = VEXFileGet(f, head, sizeof head);
  VEXFileClose(f);
  const bool wave = got == sizeof head && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
  return wave ? Opened::accepted : Opened::declined;
}

Opened open_sound_only(GFILE &g, const OpenArgs & /*a*/, const char *name) {
  SFILE *s = SFileOpen(name, 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
  if (!s)
    return Opened::declined;
  const uint64_t per_second = uint64_t{s->source_rate} * s->source_frame_bytes;
  const uint64_t frames = per_second ? uint64_t{s->total} * kRate / per_second + 1 : 1;
  copy_text(g.name, sizeof g.name, s->name);
  SFileClose(s);
  copy_text(g.type, sizeof g.type, "Sound-only");
  g.kind = GFILE_SOUND_ONLY;
  g.source_width = g.source_height = kSide;
  g.depth = 8;
  g.source_num = kRate;
  g.source_den = 1;
  g.has_sound = 1;
  g.frame_count = static_cast<int32_t>(std::min<uint64_t>(frames, INT32_MAX));
  return Opened::accepted;
}

bool fetch_sound_only(GFILE &g) {
  GFILESTATE &s = *g.state;
  if (s.frame_buffer.empty())
    s.frame_buffer.assign(kSide * kSide, 0);
  g.frame_bytes = kSide * kSide;
  s.frame = SourceFrame{s.frame_buffer.data(), kSide, kSide, kSide, 8};
  return !s.first_fetch_done;
}

} // namespace vex::gfile
