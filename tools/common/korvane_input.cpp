#include "common/korvane_input.h"

#include <vector>

#include "formats/korvane/korvane.h"
#include "formats/korvane/korvane_reader.h"

namespace kv = vex::formats::korvane;

namespace vex::tools {

namespace {

std::string track_text(uint32_t format, uint32_t largest, bool has_chunks) {
  std::string s = std::to_string(format & kv::kRateMask) + " Hz " +
                  ((format & kv::kSound16Bit) ? "16-bit " : "8-bit ") +
                  ((format & kv::kSoundStereo) ? "stereo" : "mono") + ", ";
  if (!(format & kv::kSoundCompressed))
    s += "raw";
  else if (format & kv::kSoundTransform)
    s += "transform-coded";
  else
    s += "delta-coded";
  s += ", up to " + std::to_string(largest) + " bytes a frame";
  if (!has_chunks)
    s += " (no chunks)";
  return s;
}

class KorvaneInput final : public Input {
public:
  explicit KorvaneInput(KORVA *k) : k_(k), buf_(size_t{k->width} * k->height, 0) {
    const auto &r = *k->reader;
    info_.format = std::string("Korvane movie (") + (r.version4 ? "KVN4" : "KVN2") + ")";
    info_.width = k->width;
    info_.height = k->height;
    info_.frames = k->frames;
    info_.rate = static_cast<int32_t>(k->header[kv::kHdrSpeed]);
    if (r.ring)
      info_.details.push_back("ring frame");
    if (r.vertical)
      info_.details.push_back(r.vertical == kv::kInterlaced ? "interlaced (stored at half height)"
                                                            : "doubled rows (stored at half height)");
    std::vector<std::string> lines;
    for (uint32_t t = 0; t < kv::kTracks; ++t) {
      bool chunks = false;
      for (uint8_t type : r.frame_type)
        chunks = chunks || (type & (2u << t));
      const uint32_t format = k->header[kv::kHdrSoundFormat + t];
      if (!chunks && format == 0)
        continue;
      lines.push_back("  track " + std::to_string(t + 1) + ": " +
                      track_text(format, k->header[kv::kHdrSoundSize + t], chunks));
    }
    info_.details.push_back("tracks   " + std::to_string(lines.size()));
    info_.details.insert(info_.details.end(), lines.begin(), lines.end());
    KorvaToBuffer(k_, 0, 0, k->width, k->height, buf_.data(), 0);
  }
  ~KorvaneInput() override { KorvaClose(k_); }
  KorvaneInput(const KorvaneInput &) = delete;
  KorvaneInput &operator=(const KorvaneInput &) = delete;

  const InputInfo &info() const override { return info_; }

  bool seek(uint32_t n, FrameView &out) override {
    if (!KorvaGoto(k_, n))
      return false;
    started_ = true;
    return decode(out);
  }

  bool next(FrameView &out) override {
    if (started_ && !KorvaNextFrame(k_))
      return false;
    started_ = true;
    return decode(out);
  }

  void describe_frames(std::FILE *to) override {
    const auto &r = *k_->reader;
    for (size_t i = 0; i < r.frame_size.size(); ++i) {
      if (i == k_->frames)
        std::fprintf(to, "  ring    ");
      else
        std::fprintf(to, "  frame %-5zu", i + 1);
      std::fprintf(to, " at %llu, %u bytes", static_cast<unsigned long long>(r.base + r.frame_offset[i]),
                   r.frame_size[i]);
      const uint8_t type = r.frame_type[i];
      if (type & 1)
        std::fprintf(to, ", palette");
      for (uint32_t t = 0; t < kv::kTracks; ++t)
        if (type & (2u << t))
          std::fprintf(to, ", sound %u", t + 1);
      std::fputc('\n', to);
    }
  }

private:
  bool decode(FrameView &out) {
    if (KorvaDoFrame(k_) != 0)
      return false;
    out = {buf_.data(), k_->width, k_->height, k_->width, k_->palette};
    return true;
  }

  KORVA *k_;
  std::vector<uint8_t> buf_;
  InputInfo info_;
  bool started_ = false;
};

} // namespace

std::unique_ptr<Input> open_korvane_input(const std::string &name) {
  KORVA *k = KorvaOpen(name.c_str(), 0, 0);
  if (!k)
    return nullptr;
  return std::make_unique<KorvaneInput>(k);
}

} // namespace vex::tools
