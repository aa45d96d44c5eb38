// AVI movies (kind 0x20): the first video stream, frames as bottom-up
// device-independent bitmaps with a colour table for palettised streams.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "gfile/input_reader.h"
#include "movie/avi_probe.h"
#include "movie/avi_reader.h"
#include "movie/media_reader.h"
#include "vexutil/movie.h"
#include "util/limits.h"

namespace vex::gfile {
namespace {

namespace mv = movie;

struct Bitmap {
  const mv::BitmapHeader *header = nullptr;
  const uint8_t *colours = nullptr; // 256 x blue, green, red, 0 (8-bit only)
  const uint8_t *pixels = nullptr;  // bottom row first
};

// The packed bitmap the getter returns, when its header fits the stream.
std::optional<Bitmap> bitmap_of(const void *packed, int32_t width, int32_t height) {
  if (!packed)
    return std::nullopt;
  Bitmap b;
  b.header = static_cast<const mv::BitmapHeader *>(packed);
  const int32_t bits = b.header->bit_count;
  if (b.header->width != width || std::abs(b.header->height) != height ||
      (bits != 8 && bits != 16 && bits != 24 && bits != 32))
    return std::nullopt;
  const auto *after = static_cast<const uint8_t *>(packed) + sizeof(mv::BitmapHeader);
  b.colours = bits == 8 ? after : nullptr;
  b.pixels = bits == 8 ? after + 256 * 4 : after;
  return b;
}

// Sound bytes of a PCM audio stream per video frame (0 without one).
uint32_t sound_per_frame(const file::ByteSource &source, uint32_t frames, int32_t &has_sound) {
  mv::Stream *audio = nullptr;
  if (mv::StreamOpenFromSource(&audio, source, mv::kAudio, 0) != mv::kOk)
    return 0;
  has_sound = 1;
  uint32_t per_frame = 0;
  int32_t size = 0;
  mv::StreamInfo info{};
  mv::WaveFormat format{};
  if (mv::StreamReadFormat(audio, 0, nullptr, &size) == mv::kOk && size == mv::kPcmFormatSize &&
      mv::StreamReadFormat(audio, 0, &format, &size) == mv::kOk && mv::StreamInfoOf(audio, &info) == mv::kOk &&
      frames > 0)
    per_frame = static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{info.length} * format.bits_per_sample * format.channels / 8 / frames, UINT32_MAX));
  mv::StreamRelease(audio);
  return per_frame;
}

class AviReader final : public InputReader {
public:
  AviReader() = default;
  ~AviReader() override {
    if (getter)
      mv::StreamGetFrameClose(getter);
    if (stream)
      mv::StreamRelease(stream);
  }
  AviReader(const AviReader &) = delete;
  AviReader &operator=(const AviReader &) = delete;

  bool fetch(GFILE &g) override;
  bool deliver_pending(GFILE &g, uint8_t *dst) override {
    if (!pending_ || !whole_frame_visible(g))
      return false;
    // The fourth byte is the source's only for 32-bit frames with the
    // alpha flag set; 24-bit frames have none.
    const bool keep_fourth = g.alpha != 0 && g.state->frame.depth == 32;
    return mv::StreamFrameInto(getter, position_, keep_fourth, dst, g.pitch);
  }
  // AVI frames are read by position, QuickTime goes to the first frame
  // at the first fetch: a rewind only drops a picture not yet delivered.
  void rewind(GFILE &) override { pending_ = false; }
  bool whole_after_failed_read() const override { return false; }
  void realise_pending(GFILE &) override {
    if (pending_)
      mv::StreamGetFrame(getter, position_);
    pending_ = false;
  }
  void describe(GFILE &, GFILEINFO &info) override {
    mv::MovieFacts facts;
    if (mv::StreamFactsOf(stream, &facts))
      describe_movie(facts, info);
  }

  mv::Stream *stream = nullptr;
  mv::Getter *getter = nullptr;
  const void *bitmap = nullptr; // the getter's packed bitmap (one buffer for every frame)
  uint32_t first_sample = 0;
  uint32_t sound_bytes_per_frame = 0;

private:
  // A picture decoded but not yet converted into the getter's bitmap that
  // state->frame points at; its stream position.
  bool pending_ = false;
  int32_t position_ = 0;
};

Opened open_avi(GFILE &g, const OpenArgs & /*a*/, const lists::InputFile &file) {
  VEXAVIInit();
  const char *name = file.name.c_str();
  auto reader = std::make_unique<AviReader>();
  AviReader &avi = *reader;
  if (mv::StreamOpenFromSource(&avi.stream, file.source, mv::kVideo, 0) != mv::kOk) {
    avi.stream = nullptr;
    return Opened::declined;
  }
  g.state->reader = std::move(reader);
  avi.getter = mv::StreamGetFrameOpen(avi.stream);
  mv::StreamInfo info{};
  if (!avi.getter || mv::StreamInfoOf(avi.stream, &info) != mv::kOk) {
    util::fail(util::Status::kUnsupported, "the video of %s cannot be decoded", name);
    return Opened::failed;
  }
  g.source_width = info.frame.right;
  g.source_height = info.frame.bottom;
  g.source_num = info.rate;
  g.source_den = info.scale;
  avi.first_sample = info.start;
  g.frame_count = static_cast<int32_t>(std::min<uint32_t>(info.length, INT32_MAX));
  avi.sound_bytes_per_frame = sound_per_frame(file.source, info.length, g.has_sound);
  // The depth is the getter's (its header is set at its open); the first
  // frame is decoded to show the video decodes, and converted here only
  // when palettised, as a true-colour fetch may take it straight into the
  // caller's rows.
  const auto start = static_cast<int32_t>(info.start);
  const auto header = bitmap_of(mv::StreamFrameBitmap(avi.getter), g.source_width, g.source_height);
  if (header && header->header->bit_count == 8)
    avi.bitmap = mv::StreamGetFrame(avi.getter, start);
  else
    avi.bitmap = mv::StreamDecodeFrame(avi.getter, start) ? mv::StreamFrameBitmap(avi.getter) : nullptr;
  const auto first = bitmap_of(avi.bitmap, g.source_width, g.source_height);
  if (!first) {
    util::fail(util::Status::kUnsupported, "the first frame of %s cannot be decoded", name);
    return Opened::failed;
  }
  g.depth = first->header->bit_count;
  copy_text(g.name, sizeof g.name, name);
  copy_text(g.type, sizeof g.type, "AVI");
  g.kind = GFILE_AVI;
  return Opened::accepted;
}

bool AviReader::fetch(GFILE &g) {
  GFILESTATE &s = *g.state;
  AviReader &avi = *this;
  const int64_t position = int64_t{avi.first_sample} + s.first_offset + g.fetched;
  const auto at = static_cast<int32_t>(std::min<int64_t>(position, INT32_MAX));
  int32_t bytes = 0;
  mv::StreamRead(avi.stream, at, 1, nullptr, 0, &bytes, nullptr);
  g.frame_bytes = static_cast<int32_t>(std::min<int64_t>(int64_t{bytes} + avi.sound_bytes_per_frame, INT32_MAX));
  // A deferred picture is only decoded: the bitmap's header (the same for
  // every frame) describes it, its rows are filled at delivery.
  const bool defer = may_defer_picture(g);
  const void *packed = defer ? (mv::StreamDecodeFrame(avi.getter, at) ? avi.bitmap : nullptr)
                             : mv::StreamGetFrame(avi.getter, at);
  const auto b = bitmap_of(packed, g.source_width, g.source_height);
  if (!b) {
    note_frame_not_decoded(s, position - avi.first_sample + 1);
    return false; // the previous frame stays
  }
  pending_ = defer;
  position_ = at;
  const int32_t depth = b->header->bit_count;
  const ptrdiff_t row = ((ptrdiff_t{g.source_width} * depth / 8) + 3) & ~ptrdiff_t{3};
  if (b->header->height > 0) // bottom-up rows
    s.frame = SourceFrame{b->pixels + row * (g.source_height - 1), -row, g.source_width, g.source_height, depth};
  else
    s.frame = SourceFrame{b->pixels, row, g.source_width, g.source_height, depth};
  if (!b->colours)
    return false;
  bool changed = false;
  for (int i = 0; i < 256; ++i) {
    const uint8_t rgb[3] = {b->colours[i * 4 + 2], b->colours[i * 4 + 1], b->colours[i * 4]};
    if (std::memcmp(g.source_palette[i], rgb, 3) != 0) {
      std::memcpy(g.source_palette[i], rgb, 3);
      changed = true;
    }
  }
  return changed;
}

bool is_avi(const lists::InputFile &file) { return movie::may_be_avi(file.first(12)); }

} // namespace

const ReaderRow kAviRow{GFILE_AVI, {{".avi"}}, is_avi, open_avi};

} // namespace vex::gfile
