#include "common/tolm_input.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "formats/tolm/tolm_reader.h"

namespace vex::tools {

namespace {

using formats::tolm::TOLM;

// A fixed palette of 6 x 6 x 6 levels (0, 51, ..., 255); index 36 r + 6 g + b.
constexpr int kLevels = 6;

int level(uint32_t v) { return static_cast<int>((v * (kLevels - 1) + 127) / 255); }

// Speed value of a rate in frames per second num/den: whole milliseconds
// when that is exact, else negated 10 us units.
int32_t speed(uint32_t num, uint32_t den) {
  const uint64_t ms_num = uint64_t{den} * 1000;
  if (ms_num % num == 0 && ms_num / num < 0x7FFFFFFF)
    return static_cast<int32_t>(ms_num / num);
  const uint64_t units = (uint64_t{den} * 100000 + num / 2) / num;
  return -static_cast<int32_t>(std::min<uint64_t>(units, 0x7FFFFFFF));
}

std::string track_text(uint32_t format) {
  char text[96];
  std::snprintf(text, sizeof text, "%u Hz, %u-bit, %s%s", format & formats::tolm::kTolmTrackRateMask,
                (format & formats::tolm::kTolmTrack16Bit) ? 16 : 8,
                (format & formats::tolm::kTolmTrackStereo) ? "stereo" : "mono",
                (format & formats::tolm::kTolmTrackDecodable) ? "" : ", no decodable sound");
  return text;
}

class TolmInput final : public Input {
public:
  explicit TolmInput(TOLM *t)
      : t_(t), rgb_(size_t{t->output_width} * t->output_height),
        pixels_(size_t{(t->output_width + 3) & ~3u} * t->output_height) {
    info_.format = std::string("Tolm movie (version ") + version() + ")";
    info_.width = t->output_width;
    info_.height = t->output_height;
    info_.frames = t->frames;
    info_.rate = speed(t->rate_num, t->rate_den);
    char line[160];
    std::snprintf(line, sizeof line, "rate     %u/%u frames per second", t->rate_num, t->rate_den);
    info_.details.push_back(line);
    uint32_t keys = 0;
    for (uint32_t f = 1; f <= t->frames; ++f)
      keys += formats::tolm::TolmGetKeyFrame(t, static_cast<int32_t>(f), 0) == static_cast<int32_t>(f);
    std::snprintf(line, sizeof line, "key frames %u of %u%s%s", keys, t->frames,
                  (t->video_flags & formats::tolm::kTolmVideoAlpha) ? ", alpha plane" : "",
                  (t->video_flags & formats::tolm::kTolmVideoGrey) ? ", luma only" : "");
    info_.details.push_back(line);
    std::snprintf(line, sizeof line, "tracks   %u", t->tracks);
    info_.details.push_back(line);
    for (uint32_t i = 0; i < t->tracks; ++i) {
      std::snprintf(line, sizeof line, "  track %u: ID %u, %s, up to %u bytes a packet", i + 1,
                    formats::tolm::TolmGetTrackID(t, i), track_text(formats::tolm::TolmGetTrackFormat(t, i)).c_str(),
                    t->track_sizes[i]);
      info_.details.push_back(line);
    }
    for (int r = 0; r < kLevels; ++r)
      for (int g = 0; g < kLevels; ++g)
        for (int b = 0; b < kLevels; ++b) {
          uint8_t *p = &palette_[3 * (36 * r + 6 * g + b)];
          p[0] = static_cast<uint8_t>(51 * r);
          p[1] = static_cast<uint8_t>(51 * g);
          p[2] = static_cast<uint8_t>(51 * b);
        }
  }
  ~TolmInput() override { formats::tolm::TolmClose(t_); }
  TolmInput(const TolmInput &) = delete;
  TolmInput &operator=(const TolmInput &) = delete;

  const InputInfo &info() const override { return info_; }

  bool seek(uint32_t n, FrameView &out) override {
    formats::tolm::TolmGoto(t_, static_cast<int32_t>(n), 0);
    return deliver(out);
  }

  bool next(FrameView &out) override {
    if (started_)
      formats::tolm::TolmNextFrame(t_);
    return deliver(out);
  }

  void describe_frames(std::FILE *to) override {
    for (uint32_t f = 1; f <= t_->frames; ++f) {
      const uint32_t start = t_->index[f - 1] & ~1u, end = t_->index[f] & ~1u;
      std::fprintf(to, "  frame %-5u at %u, %u bytes%s", f, start, end - start, (t_->index[f - 1] & 1u) ? ", key" : "");
      formats::tolm::TolmGoto(t_, static_cast<int32_t>(f), 1);
      for (uint32_t i = 0; i < t_->tracks; ++i) {
        const uint8_t *p;
        uint32_t n;
        if (formats::tolm::TolmGetPacket(t_, i, &p, &n))
          std::fprintf(to, "%s %u", i ? "," : "; sound packets", n);
        else
          std::fprintf(to, "%s damaged", i ? "," : "; sound packets");
      }
      std::fputc('\n', to);
    }
    formats::tolm::TolmGoto(t_, 1, 1);
    started_ = false;
  }

private:
  char version() const { return static_cast<char>(t_->version); }

  bool deliver(FrameView &out) {
    started_ = true;
    if (formats::tolm::TolmDoFrame(t_) != 0)
      return false;
    const uint32_t w = t_->output_width, h = t_->output_height, pitch = (w + 3) & ~3u;
    formats::tolm::TolmCopyToBuffer(t_, rgb_.data(), static_cast<int32_t>(4 * w), static_cast<int32_t>(h), 0, 0, 3);
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x) {
        const uint32_t p = rgb_[size_t{y} * w + x];
        pixels_[size_t{y} * pitch + x] =
            static_cast<uint8_t>(36 * level(p >> 16 & 255) + 6 * level(p >> 8 & 255) + level(p & 255));
      }
    out = {pixels_.data(), w, h, pitch, palette_.data()};
    return true;
  }

  TOLM *t_;
  std::vector<uint32_t> rgb_;
  std::vector<uint8_t> pixels_;
  std::array<uint8_t, 768> palette_{};
  InputInfo info_;
  bool started_ = false;
};

} // namespace

std::unique_ptr<Input> open_tolm_input(const std::string &name) {
  formats::tolm::TolmSetSoundTrack(-1);
  TOLM *t = formats::tolm::TolmOpen(name.c_str(), 0x8104000);
  if (!t)
    return nullptr;
  return std::make_unique<TolmInput>(t);
}

} // namespace vex::tools
