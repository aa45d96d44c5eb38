// Sound-only inputs (kind 0x200): anything the sound source accepts becomes
// a silent 4 x 4 picture whose frames cover the sound at 15 per second. The
// WAV check sends a RIFF WAVE file here before any picture reader sees it.
#include <vector>

#include "gfile/input_reader.h"
#include "sfile/sound_source.h"

namespace vex::gfile {
namespace {

constexpr int32_t kSide = 4;
constexpr uint32_t kRate = 15;

class SoundOnlyReader final : public InputReader {
public:
  explicit SoundOnlyReader(const sfile::Source &s)
      : codec_(s.codec), rate_(s.source_rate), bits_(s.source_bits), channels_(s.source_channels),
        frames_(s.source_frame_bytes ? s.total / s.source_frame_bytes : 0) {}

  bool fetch(GFILE &g) override {
    GFILESTATE &s = *g.state;
    g.frame_bytes = kSide * kSide;
    s.frame = SourceFrame{picture_.data(), kSide, kSide, kSide, 8};
    return !s.first_fetch_done;
  }

  bool whole_after_failed_read() const override { return false; }

  // What the sound source opened at the open, as it delivers it.
  void describe(GFILE &, GFILEINFO &info) override {
    info.codec[0] = '\0';
    info.has_sound = 1;
    describe_text(info.sound_codec, codec_.c_str());
    info.sound_rate = rate_;
    info.sound_bits = bits_;
    info.sound_channels = channels_;
    info.sound_frames = frames_;
  }

private:
  std::string codec_;
  uint32_t rate_, bits_, channels_, frames_;
  std::vector<uint8_t> picture_ = std::vector<uint8_t>(kSide * kSide, 0);
};

bool is_wave(const lists::InputFile &file) { return starts_with(file, 0, "RIFF") && starts_with(file, 8, "WAVE"); }

Opened open_sound_only(GFILE &g, const OpenArgs & /*a*/, const lists::InputFile &file) {
  // The sound source tries its own names, over the files this open has
  // already opened.
  sfile::OpenArgs args;
  args.name = file.name.c_str();
  SFILE *s = sfile::open_source(args, g.state->inputs);
  if (!s)
    return Opened::declined;
  const uint64_t per_second = uint64_t{s->source_rate} * s->source_frame_bytes;
  const uint64_t frames = per_second ? uint64_t{s->total} * kRate / per_second + 1 : 1;
  copy_text(g.name, sizeof g.name, s->name);
  g.state->reader = std::make_unique<SoundOnlyReader>(*static_cast<const sfile::Source *>(s));
  SFileClose(s);
  copy_text(g.type, sizeof g.type, "Sound-only");
  g.kind = GFILE_SOUND_ONLY;
  g.source_width = g.source_height = kSide;
  g.depth = 8;
  g.source_num = kRate;
  g.source_den = 1;
  g.has_sound = 1;
  g.frame_count = static_cast<int32_t>(std::min<uint64_t>(frames, INT32_MAX));
  return Opened::accepted;
}

// The WAV check opens nothing itself: a file that passes goes to the sound
// source as named.
Opened no_open(GFILE &, const OpenArgs &, const lists::InputFile &) { return Opened::declined; }

} // namespace

const ReaderRow kWaveRow{GFILE_SOUND_ONLY, {{".wav"}}, is_wave, no_open};
const ReaderRow kSoundOnlyRow{GFILE_SOUND_ONLY, {}, nullptr, open_sound_only, true};

} // namespace vex::gfile
