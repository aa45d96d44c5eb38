// FLIC animations (kind 0x80): 8-bit frames decoded by the FLIC reader into
// a buffer of ours that keeps the previous frame (deltas change it in place).
#include <cstring>
#include <vector>

#include "flic/flic_source.h"
#include "gfile/input_reader.h"
#include "util/bytes.h"
#include "util/limits.h"
#include "util/status.h"

namespace vex::gfile {
namespace {

class FlicReader final : public InputReader {
public:
  FlicReader(VEXFLIC *f, bool fli) : f_(f), fli_(fli) {}
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
  void describe(GFILE &, GFILEINFO &info) override { describe_text(info.codec, fli_ ? "FLI" : "FLC"); }

private:
  // A frame whose data runs past the end of the file (or cannot be read)
  // still counts as delivered by the FLIC reader, which draws nothing of it
  // and leaves its reason: that is damage too.
  uint8_t decode_next(GFILESTATE &s) {
    util::clear_reason();
    const uint8_t result = VEXFlicGetNext(f_, buffer_.data());
    note_damage(s, result == VEXFLIC_FAILED || f_->input->frame_failed || util::last_status() != util::Status::kOk);
    return result;
  }

  VEXFLIC *f_;
  bool fli_; // the older kind of file (magic 0xAF11)
  std::vector<uint8_t> buffer_;
};

uint32_t flic_magic(const lists::InputFile &file) {
  const std::span<const uint8_t> head = file.first(6);
  return head.empty() ? 0 : util::le16(head.data() + 4);
}

bool is_flic(const lists::InputFile &file) {
  const uint32_t magic = flic_magic(file);
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
  s.reader = std::make_unique<FlicReader>(f, flic_magic(file) == VEXFLIC_MAGIC_FLI);
  note_damage(s, damaged);
  copy_text(g.name, sizeof g.name, file.name.c_str());
  copy_text(g.type, sizeof g.type, "Flic");
  g.kind = GFILE_FLIC;
  g.depth = 8;
  g.source_width = static_cast<int32_t>(f->pitch);
  g.source_height = static_cast<int32_t>(f->height);
  g.frame_count = static_cast<int32_t>(f->frame_count);
  rate_from_speed(f->rate, g.source_num, g.source_den);
  return Opened::accepted;
}

} // namespace

const ReaderRow kFlicRow{GFILE_FLIC, {{".flc", ".fli"}}, is_flic, open_flic};

} // namespace vex::gfile
