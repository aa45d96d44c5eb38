// FLIC animations (kind 0x80): 8-bit frames decoded by the FLIC reader into
// a buffer of ours that keeps the previous frame (deltas change it in place).
#include <cstring>
#include <vector>

#include "flic/flic_source.h"
#include "gfile/input_reader.h"
#include "util/bytes.h"
#include "util/limits.h"

namespace vex::gfile {
namespace {

class FlicReader final : public InputReader {
public:
  // Frames 1..whole lie whole in the file (flic::check_frames).
  FlicReader(VEXFLIC *f, uint32_t whole) : f_(f), whole_(whole) {}
  ~FlicReader() override { VEXFlicClose(f_); }
  FlicReader(const FlicReader &) = delete;
  FlicReader &operator=(const FlicReader &) = delete;

  bool fetch(GFILE &g) override {
    GFILESTATE &s = *g.state;
    bool changed = false;
    if (!s.first_fetch_done) {
      if (buffer_.empty())
        buffer_.assign(size_t{f_->pitch} * f_->buffer_height, 0);
      skip_to_first(g, [&] { changed |= decode_next(s) & VEXFLIC_FRAME_NEW_PALETTE; });
      changed = true; // the first fetch always takes the palette
    }
    changed |= decode_next(s) & VEXFLIC_FRAME_NEW_PALETTE;
    if (changed)
      std::memcpy(g.source_palette, VEXFlicGetPalette(f_), sizeof g.source_palette);
    g.frame_bytes = static_cast<int32_t>(f_->frame_data_size);
    s.frame = SourceFrame{buffer_.data(), static_cast<ptrdiff_t>(f_->pitch), static_cast<int32_t>(f_->pitch),
                          static_cast<int32_t>(f_->height), 8};
    return changed;
  }

  void rewind(GFILE &) override {
    if (!buffer_.empty())
      VEXFlicGoto(f_, 0, buffer_.data());
  }

private:
  // A frame the file cuts short decodes as far as its chunks go; it is
  // still the frame's damage.
  uint8_t decode_next(GFILESTATE &s) {
    const uint32_t index = f_->current_frame < f_->frame_count ? f_->current_frame : 0; // the decoder loops
    const uint8_t result = VEXFlicGetNext(f_, buffer_.data());
    const bool cut = result != VEXFLIC_FAILED && index >= whole_;
    if (cut)
      util::fail(util::Status::kDamaged, "frame %u runs past the end of the file", index + 1);
    note_damage(s, result == VEXFLIC_FAILED || cut);
    return result;
  }

  VEXFLIC *f_;
  uint32_t whole_;
  std::vector<uint8_t> buffer_;
};

bool is_flic(const lists::InputFile &file) {
  const std::span<const uint8_t> head = file.first(6);
  if (head.empty())
    return false;
  const uint32_t magic = util::le16(head.data() + 4);
  return magic == VEXFLIC_MAGIC_FLI || magic == VEXFLIC_MAGIC_FLC;
}

Opened open_flic(GFILE &g, const OpenArgs & /*a*/, const lists::InputFile &file) {
  VEXFLIC *f = flic::open_flic(file.source);
  if (!f)
    return Opened::declined;
  size_t bytes = 0;
  if (!util::buffer_size(f->pitch, f->buffer_height, &bytes)) {
    VEXFlicClose(f);
    return Opened::declined;
  }
  // Walking the frame headers costs one small read a frame and tells a user
  // at once that the file was cut, before any frame is asked for. A file
  // without one whole frame has nothing to show: its picture buffer (up
  // to 64 MiB) would be paid for by a header alone.
  uint32_t whole = 0;
  const bool damaged = flic::check_frames(f, &whole) != util::Status::kOk;
  if (damaged && whole == 0) {
    VEXFlicClose(f);
    return Opened::declined; // the reason of the check stands
  }
  GFILESTATE &s = *g.state;
  s.reader = std::make_unique<FlicReader>(f, damaged ? whole : f->frame_count);
  note_damage(s, damaged);
  copy_text(g.name, sizeof g.name, file.name.c_str());
  copy_text(g.type, sizeof g.type, "Flic");
  g.kind = GFILE_FLIC;
  g.depth = 8;
  g.source_width = static_cast<int32_t>(f->pitch);
  g.source_height = static_cast<int32_t>(f->height);
  // Frames past the one the file cuts are not there: the count the header
  // claims (up to 65535) is cut, as a raw frame file's is.
  g.frame_count = static_cast<int32_t>(damaged ? whole + 1 : f->frame_count);
  rate_from_speed(f->rate, g.source_num, g.source_den);
  return Opened::accepted;
}

} // namespace

const ReaderRow kFlicRow{GFILE_FLIC, {{".flc", ".fli"}}, is_flic, open_flic};

} // namespace vex::gfile
