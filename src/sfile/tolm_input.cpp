// Tolm movies (kind 6): the sound of one track, frame by frame. Every
// frame's packet is delivered, the last frame's included: the length
// counts every frame.
#include <algorithm>

#include "formats/tolm/tolm_reader.h"
#include "sfile/sound_reader.h"
#include "sfile/tolm_track_reader.h"

namespace vex::sfile {
namespace {

namespace tolm = formats::tolm;
using util::Status;

constexpr uint32_t kSoundOpenFlags =
    tolm::kTolmOpenNoBackground | tolm::kTolmOpenByTrackId | tolm::kTolmOpenSoundOnly;

// The sound of one track, frame by frame: every frame's packet is
// delivered, the last frame's included.
class TolmReader final : public SoundReader {
public:
  TolmReader(tolm::TOLM *t, std::unique_ptr<TolmTrackReader> track) : t_(t), track_(std::move(track)) {}
  ~TolmReader() override {
    track_.reset();
    tolm::TolmClose(t_);
  }
  TolmReader(const TolmReader &) = delete;
  TolmReader &operator=(const TolmReader &) = delete;

  uint32_t refill(Source &s, uint8_t *dest, uint32_t space) override {
    const uint32_t n = drop_skipped(s, dest, track_->read_frame(dest, space));
    const int32_t before = t_->current;
    if (before >= static_cast<int32_t>(t_->frames)) {
      s.remaining = std::min(s.remaining, n); // the last frame's sound was the last
    } else {
      tolm::TolmNextFrame(t_);
      if (t_->current == before || t_->read_error)
        s.remaining = std::min(s.remaining, n);
    }
    return std::min(n, s.remaining);
  }
  bool by_frames() const override { return true; }
  void rewind(Source &) override {
    tolm::TolmGoto(t_, 0, 1);
    track_->restart();
  }

private:
  tolm::TOLM *t_;
  std::unique_ptr<TolmTrackReader> track_;
};

bool is_tolm(const lists::InputFile &file) {
  const std::span<const uint8_t> head = file.first(3);
  return !head.empty() && head[0] == 'T' && head[1] == 'L' && head[2] == 'M';
}

} // namespace

Opened open_tolm(Source &s, const OpenArgs &a, const lists::InputFile &file) {
  tolm::TOLM *t = tolm::TolmOpen(file.source, kSoundOpenFlags);
  if (!t)
    return Opened::declined;
  tolm::TolmSetVideoDecoding(t, 0);
  std::unique_ptr<TolmTrackReader> r =
      a.track >= 0 ? TolmTrackReader::open(t, static_cast<uint32_t>(a.track)) : nullptr;
  if (!r) {
    tolm::TolmClose(t);
    report(a, Status::kNotThisFormat, "No sound found in the Tolm file.");
    return Opened::failed;
  }
  s.source_rate = r->rate();
  s.source_bits = r->bits();
  s.source_channels = r->channels();
  s.source_frame_bytes = s.source_channels * s.source_bits / 8;
  s.buffer_size = std::max(r->buffer_size(), 4u);
  const uint64_t per_second = uint64_t{s.source_rate} * s.source_frame_bytes;
  uint64_t total = uint64_t{t->frames} * s.buffer_size; // bound when the movie has no frame rate
  if (t->rate_num != 0) {
    s.frame_time = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{t->rate_den} * 100000 / t->rate_num, UINT32_MAX));
    total = uint64_t{t->frames} * s.frame_time * per_second / 100000 / 4 * 4;
  }
  s.total = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX / 4 * 4));
  s.reader = std::make_unique<TolmReader>(t, std::move(r));
  s.kind = kTolm;
  s.type[0] = '\0';
  copy_text(s.name, sizeof s.name, file.name.c_str());
  return Opened::accepted;
}

const SoundRow kTolmRow{".tlm", is_tolm, open_tolm};

} // namespace vex::sfile
