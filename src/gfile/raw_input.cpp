// Raw frame files (kind 0x82, magic "RAWB"): 8-bit frames with palettes,
// read by the RAWB reader.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/rawb/rawb_format.h"
#include "formats/rawb/rawb_reader.h"
#include "gfile/input_reader.h"
#include "util/limits.h"

namespace vex::gfile {
namespace {

namespace rawb = formats::rawb;

class RawReader final : public InputReader {
public:
  // `count` frames are read; when the header claims more, `beyond` is the
  // damage to name once they all came whole.
  RawReader(std::unique_ptr<rawb::RawbReader> reader, uint64_t count, std::string beyond)
      : reader_(std::move(reader)), count_(count), beyond_(std::move(beyond)) {}

  bool fetch(GFILE &g) override {
    GFILESTATE &s = *g.state;
    const int32_t pitch = (g.source_width + 3) & ~3;
    if (buffer_.empty())
      buffer_.assign(size_t(pitch) * static_cast<size_t>(g.source_height), 0);
    uint8_t palette[256][3];
    std::memcpy(palette, g.source_palette, sizeof palette);
    bool changed = false;
    note_damage(s, reader_->next_frame(buffer_.data(), pitch, palette, changed) != util::Status::kOk);
    // The frame just read is whole; the file's damage is the next one.
    if (++read_ == count_ && !beyond_.empty() && s.damage.empty())
      s.damage = beyond_;
    if (changed)
      std::memcpy(g.source_palette, palette, sizeof palette);
    g.frame_bytes = g.source_width * g.source_height;
    s.frame = SourceFrame{buffer_.data(), pitch, g.source_width, g.source_height, 8};
    return changed || !s.first_fetch_done;
  }

  void rewind(GFILE &) override {
    reader_->rewind();
    read_ = 0;
  }

private:
  std::unique_ptr<rawb::RawbReader> reader_;
  uint64_t count_, read_ = 0;
  std::string beyond_;
  std::vector<uint8_t> buffer_;
};

bool is_raw(const lists::InputFile &file) {
  const std::span<const uint8_t> head = file.first(4);
  return !head.empty() && rawb::is_rawb(head.first<4>());
}

// The frames that can lie whole in the file: a record takes at least its
// tag and its pixels (palettes make it longer, so this is an upper bound).
uint64_t frames_with_room(const rawb::RawbHeader &h, uint64_t file_size) {
  const uint64_t record = rawb::kTagBytes + uint64_t{h.width} * h.height;
  return file_size < rawb::kHeaderBytes ? 0 : (file_size - rawb::kHeaderBytes) / record;
}

Opened open_raw(GFILE &g, const OpenArgs & /*a*/, const lists::InputFile &file) {
  std::unique_ptr<rawb::RawbReader> reader;
  if (rawb::RawbReader::open(file.source, reader) != util::Status::kOk)
    return Opened::declined;
  const rawb::RawbHeader &h = reader->header();
  if (!util::picture_fits(h.width, h.height))
    return Opened::declined;
  // The frame count comes from the header; the file's size bounds it. The
  // frames are read as they come, so a claim beyond the file would cost a
  // frame buffer (up to 64 MiB) for a header alone, and then one failed
  // read for every frame claimed: a file without room for one whole frame
  // is refused, and the count is cut to the frames there is room for. Room
  // is an upper bound (palettes lengthen records), so the damage is named
  // as it is met: a record of those cut short, or else, once they all came
  // whole, the first that is missing.
  const uint64_t room = frames_with_room(h, file.source.size());
  char missing[96];
  std::snprintf(missing, sizeof missing, "frame %llu is cut short at byte %llu",
                static_cast<unsigned long long>(room + 1), static_cast<unsigned long long>(file.source.size()));
  if (h.frames > 0 && room == 0) {
    util::fail(util::Status::kDamaged, "%s", missing);
    return Opened::declined;
  }
  const uint64_t count = std::min<uint64_t>({h.frames, room, INT32_MAX});
  g.state->reader = std::make_unique<RawReader>(std::move(reader), count, h.frames > room ? missing : "");
  copy_text(g.name, sizeof g.name, file.name.c_str());
  g.type[0] = '\0';
  g.kind = GFILE_RAW;
  g.depth = 8;
  g.source_width = static_cast<int32_t>(h.width);
  g.source_height = static_cast<int32_t>(h.height);
  g.frame_count = static_cast<int32_t>(count);
  // The file stores the speed negated: s <= 0 is -s ms, s > 0 is s units of 10 us.
  rate_from_speed(h.speed == INT32_MIN ? INT32_MAX : -h.speed, g.source_num, g.source_den);
  return Opened::accepted;
}

} // namespace

const ReaderRow kRawRow{GFILE_RAW, {{".raw"}}, is_raw, open_raw};

} // namespace vex::gfile
