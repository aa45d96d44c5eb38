// Tolm movies (kind 0x83): frames decoded and drawn as 32-bit pixels into a
// buffer of ours. The frame size reported is the frame record's.
#include <cstring>
#include <vector>

#include "formats/tolm/tolm_reader.h"
#include "gfile/input_reader.h"
#include "util/limits.h"

namespace vex::gfile {
namespace {

namespace tolm = formats::tolm;

constexpr uint32_t kPixels32 = 5;            // 32-bit pixels (with alpha when the movie has it)
constexpr uint32_t kFirstDraw = 0x80000000u; // the first draw of the source

class TolmReader final : public InputReader {
public:
  explicit TolmReader(tolm::TOLM *t) : t_(t) {}
  ~TolmReader() override { tolm::TolmClose(t_); }
  TolmReader(const TolmReader &) = delete;
  TolmReader &operator=(const TolmReader &) = delete;

  bool fetch(GFILE &g) override {
    GFILESTATE &s = *g.state;
    const bool first = !s.first_fetch_done;
    if (first) {
      if (buffer_.empty())
        buffer_.assign(size_t{t_->output_width} * 4 * t_->output_height, 0);
      skip_to_first(g, [&] {
        note_damage(s, tolm::TolmDoFrame(t_) != 0);
        tolm::TolmNextFrame(t_);
      });
    }
    const auto pitch = static_cast<int32_t>(t_->output_width * 4);
    note_damage(s, tolm::TolmDoFrame(t_) != 0);
    tolm::TolmCopyToBuffer(t_, buffer_.data(), pitch, static_cast<int32_t>(t_->output_height), 0, 0,
                           first ? kPixels32 | kFirstDraw : kPixels32);
    g.frame_bytes = static_cast<int32_t>(t_->record_size);
    tolm::TolmNextFrame(t_);
    s.frame = SourceFrame{buffer_.data(), pitch, static_cast<int32_t>(t_->output_width),
                          static_cast<int32_t>(t_->output_height), 32};
    return first;
  }

  void rewind(GFILE &) override { tolm::TolmGoto(t_, 1, 1); }

  // The first track's sound (the sound source's default), from its track
  // word; its length is the movie's at the track's rate.
  void describe(GFILE &, GFILEINFO &info) override {
    describe_text(info.codec, "Tolm");
    const uint32_t word = t_->tracks > 0 ? tolm::TolmGetTrackFormat(t_, 0) : 0;
    if (!(word & tolm::kTolmTrackDecodable))
      return;
    info.has_sound = 1;
    describe_text(info.sound_codec, "Tolm");
    info.sound_rate = word & tolm::kTolmTrackRateMask;
    info.sound_bits = (word & tolm::kTolmTrack16Bit) ? 16 : 8;
    info.sound_channels = (word & tolm::kTolmTrackStereo) ? 2 : 1;
    // As the sound source counts it: whole frames of 10 us, whole words.
    const uint64_t frame_bytes = info.sound_channels * info.sound_bits / 8;
    if (t_->rate_num != 0)
      info.sound_frames = uint64_t{t_->frames} * (uint64_t{t_->rate_den} * 100000 / t_->rate_num) * info.sound_rate *
                          frame_bytes / 100000 / 4 * 4 / frame_bytes;
  }

private:
  tolm::TOLM *t_;
  std::vector<uint8_t> buffer_;
};

bool is_tolm(const lists::InputFile &file) { return starts_with(file, 0, "TLM"); }

} // namespace

Opened open_tolm(GFILE &g, const lists::InputFile &file, bool alpha) {
  const uint32_t flags =
      tolm::kTolmOpenNoBackground | tolm::kTolmOpenByTrackId | (alpha ? tolm::kTolmOpenAlpha : 0u);
  tolm::TOLM *t = tolm::TolmOpen(file.source, flags);
  if (!t)
    return Opened::declined;
  g.state->reader = std::make_unique<TolmReader>(t);
  copy_text(g.name, sizeof g.name, file.name.c_str());
  copy_text(g.type, sizeof g.type, "Tolm");
  g.kind = GFILE_TOLM;
  g.depth = 32;
  g.source_width = static_cast<int32_t>(t->output_width);
  g.source_height = static_cast<int32_t>(t->output_height);
  g.frame_count = static_cast<int32_t>(t->frames);
  g.source_num = t->rate_num;
  g.source_den = t->rate_den;
  g.has_sound = t->tracks > 0 ? 1 : 0;
  return Opened::accepted;
}

namespace {
Opened open_tolm_file(GFILE &g, const OpenArgs & /*a*/, const lists::InputFile &file) {
  return open_tolm(g, file, true);
}
} // namespace

const ReaderRow kTolmRow{GFILE_TOLM, {{".tlm"}}, is_tolm, open_tolm_file};

} // namespace vex::gfile
