#include "common/flic_input.h"

#include <vector>

#include "flic/flic_scan.h"
#include "flic/flic_source.h"
#include "vexutil/flic.h"

namespace vex::tools {

namespace {

class FlicInput final : public Input {
public:
  explicit FlicInput(VEXFLIC *h) : h_(h), buf_(size_t{h->pitch} * h->buffer_height, 0) {
    const uint32_t magic = vex::flic::file_magic(h);
    info_.format = magic == VEXFLIC_MAGIC_FLI ? "FLI animation" : "FLC animation";
    info_.width = h->width;
    info_.height = h->height;
    info_.frames = h->frame_count;
    info_.rate = h->rate;
  }
  ~FlicInput() override { VEXFlicClose(h_); }
  FlicInput(const FlicInput &) = delete;
  FlicInput &operator=(const FlicInput &) = delete;

  const InputInfo &info() const override { return info_; }

  bool seek(uint32_t n, FrameView &out) override {
    if (VEXFlicGoto(h_, n, buf_.data()) == VEXFLIC_FAILED)
      return false;
    view(out);
    return true;
  }

  bool next(FrameView &out) override {
    if (VEXFlicGetNext(h_, buf_.data()) == VEXFLIC_FAILED)
      return false;
    view(out);
    return true;
  }

  void describe_frames(std::FILE *to) override {
    uint32_t number = 0;
    for (const auto &f : vex::flic::scan_frames(h_)) {
      if (f.ring)
        std::fprintf(to, "  ring    ");
      else
        std::fprintf(to, "  frame %-5u", ++number);
      std::fprintf(to, " at %u, %u bytes, %u chunk%s", f.offset, f.size, f.declared_chunks,
                   f.declared_chunks == 1 ? "" : "s");
      if (f.type != VEXFLIC_FRAME_TYPE)
        std::fprintf(to, " (type 0x%04X)", f.type);
      for (const auto &c : f.chunks) {
        const char *name = vex::flic::chunk_name(c.type);
        if (name)
          std::fprintf(to, "%s %s %u", &c == f.chunks.data() ? ":" : ",", name, c.size);
        else
          std::fprintf(to, "%s type %u %u", &c == f.chunks.data() ? ":" : ",", c.type, c.size);
      }
      if (f.truncated)
        std::fprintf(to, " (the file ends inside this frame)");
      std::fputc('\n', to);
    }
  }

private:
  void view(FrameView &out) const {
    out = {buf_.data(), h_->width, h_->height, h_->pitch, VEXFlicGetPalette(h_)};
  }

  VEXFLIC *h_;
  std::vector<uint8_t> buf_;
  InputInfo info_;
};

} // namespace

std::unique_ptr<Input> open_flic_input(const std::string &name) {
  VEXFLIC *h = VEXFlicOpen(name.c_str());
  if (!h)
    return nullptr;
  // A file cut short is refused with the frame where it ends.
  if (vex::flic::check_frames(h) != vex::util::Status::kOk) {
    VEXFlicClose(h);
    return nullptr;
  }
  return std::make_unique<FlicInput>(h);
}

} // namespace vex::tools
