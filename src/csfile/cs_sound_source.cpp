// The sound source behind the writer's PcmSource interface.
#include "csfile/cs_sound_source.h"

#include "vexutil/sfile.h"

namespace vex::csfile {
namespace {

class SoundSourceAdapter final : public PcmSource {
public:
  explicit SoundSourceAdapter(SFILE *s) : s_(s) {}
  ~SoundSourceAdapter() override { SFileClose(s_); }
  SoundSourceAdapter(const SoundSourceAdapter &) = delete;
  SoundSourceAdapter &operator=(const SoundSourceAdapter &) = delete;

  uint32_t read(std::span<uint8_t> dest) override {
    return SFileGet(s_, dest.data(), static_cast<uint32_t>(std::min<size_t>(dest.size(), UINT32_MAX)));
  }
  bool at_end() const override { return s_->at_end != 0; }
  void rewind() override { SFileReset(s_); }
  PcmFormat output() const override { return PcmFormat{s_->rate, s_->bits, s_->channels}; }
  PcmFormat input() const override { return PcmFormat{s_->source_rate, s_->source_bits, s_->source_channels}; }
  uint32_t input_bytes() const override { return s_->total; }
  SFILE *record() const override { return s_; }

private:
  SFILE *s_;
};

} // namespace

std::unique_ptr<PcmSource> open_sound_source(const SoundSourceArgs &a) {
  SFILE *s = SFileOpen(a.name, a.rate, a.bits, a.channels, a.start, a.end, a.track, a.raw_format, a.raw_header,
                       a.callback);
  if (!s)
    return nullptr;
  return std::make_unique<SoundSourceAdapter>(s);
}

void read_sound_switches(char *cmd, int32_t *rate, int32_t *bits, int32_t *channels, int32_t *start, int32_t *end,
                         int32_t *track, int32_t *raw_format, int32_t *raw_header) {
  SFileCommandLine(cmd, rate, bits, channels, start, end, track, raw_format, raw_header);
}

} // namespace vex::csfile
