// Korvane movies (kind 0x81): 8-bit frames decoded into a buffer of ours,
// with the palette the decoder keeps.
#include <cstring>
#include <vector>

#include "file/byte_source.h"
#include "formats/korvane/korvane.h"
#include "gfile/input_reader.h"
#include "util/bytes.h"
#include "util/limits.h"

namespace vex::gfile {
namespace {

namespace kv = formats::korvane;

class KorvaneReader final : public InputReader {
public:
  explicit KorvaneReader(KORVA *k) : k_(k) {}
  ~KorvaneReader() override { KorvaClose(k_); }
  KorvaneReader(const KorvaneReader &) = delete;
  KorvaneReader &operator=(const KorvaneReader &) = delete;

  bool fetch(GFILE &g) override {
    GFILESTATE &s = *g.state;
    bool first = false;
    if (!s.first_fetch_done) {
      if (buffer_.empty())
        buffer_.assign(size_t{k_->width} * k_->height, 0);
      KorvaToBuffer(k_, 0, 0, k_->width, k_->height, buffer_.data(), 0);
      skip_to_first(g, [&] {
        note_damage(s, KorvaDoFrame(k_) != 0);
        KorvaNextFrame(k_);
      });
      first = true;
    }
    note_damage(s, KorvaDoFrame(k_) != 0);
    const bool changed = first || k_->palette_changed;
    g.frame_bytes = static_cast<int32_t>(k_->frame_size);
    if (changed)
      std::memcpy(g.source_palette, k_->palette, sizeof g.source_palette);
    KorvaNextFrame(k_);
    s.frame = SourceFrame{buffer_.data(), static_cast<ptrdiff_t>(k_->width), static_cast<int32_t>(k_->width),
                          static_cast<int32_t>(k_->height), 8};
    return changed;
  }

  void rewind(GFILE &) override { KorvaGoto(k_, 1); }

  // The sound of the first track whose format word is set (the track the
  // sound source takes by default), from that word; its length is the
  // movie's at the track's rate.
  void describe(GFILE &, GFILEINFO &info) override {
    describe_text(info.codec, "Korvane");
    for (uint32_t t = 0; t < kv::kTracks; ++t) {
      const uint32_t word = k_->header[kv::kHdrSoundFormat + t];
      if (word == 0)
        continue;
      info.has_sound = 1;
      describe_text(info.sound_codec, (word & kv::kSoundCompressed) ? "Korvane" : "PCM");
      info.sound_rate = word & kv::kRateMask;
      info.sound_bits = (word & kv::kSound16Bit) ? 16 : 8;
      info.sound_channels = (word & kv::kSoundStereo) ? 2 : 1;
      const auto speed = static_cast<int32_t>(k_->header[kv::kHdrSpeed]);
      const uint64_t frame_time = speed < 0 ? uint64_t(-int64_t{speed}) : 100u * uint64_t(speed); // 10 us units
      // As the sound source counts a compressed track: whole words.
      const uint64_t frame_bytes = info.sound_channels * info.sound_bits / 8;
      info.sound_frames = uint64_t{k_->frames} * frame_time * info.sound_rate * frame_bytes / 100000 / 4 * 4 / frame_bytes;
      return;
    }
  }

private:
  KORVA *k_;
  std::vector<uint8_t> buffer_;
};

bool is_korvane(const lists::InputFile &file) {
  const std::span<const uint8_t> head = file.first(4);
  return !head.empty() && (util::le32(head.data()) == kv::kMagic2 || util::le32(head.data()) == kv::kMagic4);
}

} // namespace

Opened open_korvane(GFILE &g, const OpenArgs & /*a*/, const lists::InputFile &file) {
  KORVA *k = KorvaOpen(file.source, 0);
  if (!k)
    return Opened::declined;
  g.state->reader = std::make_unique<KorvaneReader>(k);
  copy_text(g.name, sizeof g.name, file.name.c_str());
  copy_text(g.type, sizeof g.type, "Korvane");
  g.kind = GFILE_KORVANE;
  g.depth = 8;
  g.source_width = static_cast<int32_t>(k->width);
  g.source_height = static_cast<int32_t>(k->height);
  g.frame_count = static_cast<int32_t>(k->frames);
  rate_from_speed(static_cast<int32_t>(k->header[kv::kHdrSpeed]), g.source_num, g.source_den);
  for (uint32_t t = 0; t < kv::kTracks; ++t)
    if (k->header[kv::kHdrSoundSize + t] != 0)
      g.has_sound = 1;
  return Opened::accepted;
}

const ReaderRow kKorvaneRow{GFILE_KORVANE, {{".kvn"}}, is_korvane, open_korvane};

} // namespace vex::gfile
