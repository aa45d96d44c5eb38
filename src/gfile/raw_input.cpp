// Raw frame files (kind 0x82, magic "RAWB"): 8-bit frames with palettes,
// read by the RAWB reader.
#include "gfile/graphics_source.h"

#include <cstring>

#include "file/byte_source.h"
#include "formats/rawb/rawb_reader.h"
#include "util/limits.h"

namespace vex::gfile {

namespace rawb = formats::rawb;

struct RawInput {
  std::unique_ptr<rawb::RawbReader> reader;
};

void RawInputDeleter::operator()(RawInput *r) const { std::default_delete<RawInput>()(r); }

Opened open_raw(GFILE &g, const OpenArgs & /*a*/, const char *name) {
  file::ByteSource source;
  if (source.open(name) != util::Status::kOk)
    return Opened::declined;
  GFILESTATE &s = *g.state;
  std::unique_ptr<rawb::RawbReader> reader;
  if (rawb::RawbReader::open(std::move(source), reader) != util::Status::kOk)
    return Opened::declined;
  const rawb::RawbHeader &h = reader->header();
  if (!util::picture_fits(h.width, h.height))
    return Opened::declined;
  s.raw.reset(std::make_unique<RawInput>(RawInput{std::move(reader)}).release()); // into our deleter
  copy_text(g.name, sizeof g.name, name);
  g.type[0] = '\0';
  g.kind = GFILE_RAW;
  g.depth = 8;
  g.source_width = static_cast<int32_t>(h.width);
  g.source_height = static_cast<int32_t>(h.height);
  g.frame_count = static_cast<int32_t>(std::min<uint32_t>(h.frames, INT32_MAX));
  // The file stores the speed negated: s <= 0 is -s ms, s > 0 is s units of 10 us.
  rate_from_speed(h.speed == INT32_MIN ? INT32_MAX : -h.speed, g.source_num, g.source_den);
  return Opened::accepted;
}

bool fetch_raw(GFILE &g) {
  GFILESTATE &s = *g.state;
  const int32_t pitch = (g.source_width + 3) & ~3;
  if (s.frame_buffer.empty())
    s.frame_buffer.assign(size_t(pitch) * static_cast<size_t>(g.source_height), 0);
  uint8_t palette[256][3];
  std::memcpy(palette, g.source_palette, sizeof palette);
  bool changed = false;
  note_damage(s, s.raw->reader->next_frame(s.frame_buffer.data(), pitch, palette, changed) != util::Status::kOk);
  if (changed)
    std::memcpy(g.source_palette, palette, sizeof palette);
  g.frame_bytes = g.source_width * g.source_height;
  s.frame = SourceFrame{s.frame_buffer.data(), pitch, g.source_width, g.source_height, 8};
  return changed || !s.first_fetch_done;
}

void rewind_raw(GFILE &g) { g.state->raw->reader->rewind(); }

} // namespace vex::gfile

