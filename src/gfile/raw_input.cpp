// Raw frame files (kind 0x82, magic "RAWB"): 8-bit frames with palettes,
// read by the RAWB reader.
#include <cstring>
#include <vector>

#include "formats/rawb/rawb_reader.h"
#include "gfile/input_reader.h"
#include "util/limits.h"

namespace vex::gfile {
namespace {

namespace rawb = formats::rawb;

class RawReader final : public InputReader {
public:
  explicit RawReader(std::unique_ptr<rawb::RawbReader> reader) : reader_(std::move(reader)) {}

  bool fetch(GFILE &g) override {
    GFILESTATE &s = *g.state;
    const int32_t pitch = (g.source_width + 3) & ~3;
    if (buffer_.empty())
      buffer_.assign(size_t(pitch) * static_cast<size_t>(g.source_height), 0);
    uint8_t palette[256][3];
    std::memcpy(palette, g.source_palette, sizeof palette);
    bool changed = false;
    note_damage(s, reader_->next_frame(buffer_.data(), pitch, palette, changed) != util::Status::kOk);
    if (changed)
      std::memcpy(g.source_palette, palette, sizeof palette);
    g.frame_bytes = g.source_width * g.source_height;
    s.frame = SourceFrame{buffer_.data(), pitch, g.source_width, g.source_height, 8};
    return changed || !s.first_fetch_done;
  }

  void rewind(GFILE &) override { reader_->rewind(); }

private:
  std::unique_ptr<rawb::RawbReader> reader_;
  std::vector<uint8_t> buffer_;
};

bool is_raw(const lists::InputFile &file) {
  const std::span<const uint8_t> head = file.first(4);
  return !head.empty() && rawb::is_rawb(head.first<4>());
}

Opened open_raw(GFILE &g, const OpenArgs & /*a*/, const lists::InputFile &file) {
  std::unique_ptr<rawb::RawbReader> reader;
  if (rawb::RawbReader::open(file.source, reader) != util::Status::kOk)
    return Opened::declined;
  const rawb::RawbHeader &h = reader->header();
  if (!util::picture_fits(h.width, h.height))
    return Opened::declined;
  g.state->reader = std::make_unique<RawReader>(std::move(reader));
  copy_text(g.name, sizeof g.name, file.name.c_str());
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

} // namespace

const ReaderRow kRawRow{GFILE_RAW, {{".raw"}}, is_raw, open_raw};

} // namespace vex::gfile
