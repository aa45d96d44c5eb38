// Korvane movies (kind 2): the sound of one track, frame by frame.
#include <algorithm>

#include "file/byte_source.h"
#include "formats/korvane/korvane.h"
#include "sfile/sound_reader.h"
#include "util/bytes.h"

namespace vex::sfile {
namespace {

namespace kv = formats::korvane;
using util::Status;

constexpr uint32_t kTracks = kv::kTracks;

// The track index the caller's track number selects: 1-7 (8 and above
// mean 7), 0 the first with sound; -1 when there is none.
int32_t track_index(const KORVA &k, int32_t track) {
  if (track < 0)
    return -1;
  if (track == 0) {
    for (uint32_t t = 0; t < kTracks; ++t)
      if (k.header[kv::kHdrSoundFormat + t] != 0)
        return static_cast<int32_t>(t);
    return -1;
  }
  const uint32_t t = std::min<uint32_t>(static_cast<uint32_t>(track) - 1, kTracks - 1);
  return k.header[kv::kHdrSoundFormat + t] != 0 ? static_cast<int32_t>(t) : -1;
}

// The sound of one track, frame by frame. The space is never short: the
// buffer holds the track's largest sound of one frame beyond the part of a
// sample frame left from the last fill.
class KorvaneReader final : public SoundReader {
public:
  explicit KorvaneReader(KORVA *k) : k_(k) {}
  ~KorvaneReader() override { KorvaClose(k_); }
  KorvaneReader(const KorvaneReader &) = delete;
  KorvaneReader &operator=(const KorvaneReader &) = delete;

  uint32_t refill(Source &s, uint8_t *dest, uint32_t /*space*/) override {
    const int32_t got = KorvaGetSound(k_, dest, s.track_mask);
    const uint32_t n = drop_skipped(s, dest, got > 0 ? static_cast<uint32_t>(got) : 0);
    if (k_->frame + 1 >= k_->frames || KorvaNextFrame(k_) == 0)
      s.remaining = std::min(s.remaining, n); // the last frame: the source ends here
    return std::min(n, s.remaining);
  }
  bool by_frames() const override { return true; }
  void rewind(Source &) override { KorvaGoto(k_, 0); }

private:
  KORVA *k_;
};

Opened refuse(const OpenArgs &a, const char *text) {
  report(a, Status::kNotThisFormat, text);
  return Opened::failed;
}

// The track's format, length and buffer from the header.
Opened accept(Source &s, const OpenArgs &a, const KORVA &k) {
  const int32_t t = track_index(k, a.track);
  if (t < 0)
    return refuse(a,
                  a.track == 0 ? "No sound found in the Korvane file." : "No sound found in the specified Korvane track.");
  const uint32_t word = k.header[kv::kHdrSoundFormat + t];
  s.source_rate = word & kv::kRateMask;
  s.source_bits = (word & kv::kSound16Bit) ? 16 : 8;
  s.source_channels = (word & kv::kSoundStereo) ? 2 : 1;
  s.source_frame_bytes = s.source_channels * s.source_bits / 8;
  if (s.source_rate == 0)
    return refuse(a, "No sound found in the specified Korvane track.");
  s.track_mask = kv::kTrackBit << t;
  // Frame duration in 10 us units from the header speed.
  const auto speed = static_cast<int32_t>(k.header[kv::kHdrSpeed]);
  s.frame_time = speed < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(speed)) : 100u * static_cast<uint32_t>(speed);
  const uint64_t per_second = uint64_t{s.source_rate} * s.source_frame_bytes;
  uint64_t total = uint64_t{k.frames} * s.source_rate;
  // Compressed tracks: the movie's length; raw ones end with the last
  // frame, and so does a movie without a frame duration.
  if ((word & kv::kSoundCompressed) && s.frame_time != 0)
    total = uint64_t{k.frames} * s.frame_time * per_second / 100000 / 4 * 4;
  s.total = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX / 4 * 4));
  // Two seconds, and at least the largest sound of one frame.
  const uint32_t largest = k.header[kv::kHdrSoundSize + t];
  if (largest > kMaxMovieBuffer)
    return refuse(a, "No sound found in the specified Korvane track.");
  s.buffer_size = static_cast<uint32_t>(std::clamp<uint64_t>(2 * per_second, largest, kMaxMovieBuffer));
  s.kind = kKorvane;
  copy_text(s.type, sizeof s.type, "Korvane");
  return Opened::accepted;
}

bool is_korvane(const lists::InputFile &file) {
  const std::span<const uint8_t> head = file.first(4);
  return !head.empty() && (util::le32(head.data()) == kv::kMagic2 || util::le32(head.data()) == kv::kMagic4);
}

} // namespace

Opened open_korvane(Source &s, const OpenArgs &a, const lists::InputFile &file) {
  KORVA *k = KorvaOpen(file.source, 0);
  if (!k)
    return Opened::declined;
  auto reader = std::make_unique<KorvaneReader>(k);
  copy_text(s.name, sizeof s.name, file.name.c_str());
  const Opened r = accept(s, a, *k);
  if (r == Opened::accepted)
    s.reader = std::move(reader);
  return r;
}

const SoundRow kKorvaneRow{".kvn", is_korvane, open_korvane};

} // namespace vex::sfile
