// The audio stream of an AVI file (kind 3): plain PCM only; other sound
// goes on to the QuickTime reader.
#include <algorithm>

#include "movie/avi_probe.h"
#include "movie/avi_reader.h"
#include "sfile/sound_reader.h"
#include "vexutil/movie.h"

namespace vex::sfile {
namespace {

using util::Status;

// The audio stream, read by sample position.
class AviReader final : public SoundReader {
public:
  AviReader() = default;
  ~AviReader() override { movie::StreamRelease(stream); }
  AviReader(const AviReader &) = delete;
  AviReader &operator=(const AviReader &) = delete;

  uint32_t refill(Source &s, uint8_t *dest, uint32_t space) override {
    const uint32_t fb = s.source_frame_bytes;
    int32_t bytes = 0, samples = 0;
    movie::StreamRead(stream, static_cast<int32_t>(std::min<uint64_t>(uint64_t{first} + offset, INT32_MAX)),
                      static_cast<int32_t>(space / fb), dest, static_cast<int32_t>(std::min<uint32_t>(space, INT32_MAX)),
                      &bytes, &samples);
    offset += static_cast<uint32_t>(std::max(samples, 0));
    return static_cast<uint32_t>(std::max(bytes, 0));
  }
  void rewind(Source &) override { offset = start; }
  void skip_start(Source &s, uint32_t bytes, int64_t) override {
    offset += bytes / s.source_frame_bytes;
    start = offset;
  }

  movie::Stream *stream = nullptr;
  uint32_t first = 0;  // the stream's first sample
  uint32_t offset = 0; // next sample, from the first
  uint32_t start = 0;  // the trimmed start, from the first
};

// Frame duration of the file's first video stream in 10 us units; 0
// without video.
uint32_t video_frame_time(const file::ByteSource &source) {
  movie::Stream *video = nullptr;
  if (movie::StreamOpenFromSource(&video, source, movie::kVideo, 0) != movie::kOk)
    return 0;
  movie::StreamInfo info{};
  const bool ok = movie::StreamInfoOf(video, &info) == movie::kOk && info.rate != 0;
  movie::StreamRelease(video);
  return ok ? static_cast<uint32_t>(std::min<uint64_t>(uint64_t{info.scale} * 100000 / info.rate, UINT32_MAX)) : 0;
}

Opened open_avi(Source &s, const OpenArgs &a, const lists::InputFile &input) {
  if (a.track < 0)
    return Opened::declined;
  const char *avi = input.name.c_str();
  VEXAVIInit();
  auto reader = std::make_unique<AviReader>();
  if (movie::StreamOpenFromSource(&reader->stream, input.source, movie::kAudio, a.track) != movie::kOk) {
    reader->stream = nullptr;
    return Opened::declined;
  }
  movie::Stream *audio = reader->stream;
  reader->first = static_cast<uint32_t>(std::max(movie::StreamStart(audio), 0));
  movie::WaveFormat wf{};
  int32_t size = movie::kPcmFormatSize;
  if (movie::StreamReadFormat(audio, 0, &wf, &size) != movie::kOk || size < movie::kPcmFormatSize) {
    report(a, Status::kDamaged, "Error reading AVI file.");
    return Opened::failed;
  }
  if (wf.format_tag != 1 || (wf.bits_per_sample != 8 && wf.bits_per_sample != 16) ||
      (wf.channels != 1 && wf.channels != 2) || wf.samples_per_sec == 0)
    return Opened::declined;
  movie::FileInfo file{};
  if (movie::FileInfoOf(input.source, &file) != movie::kOk)
    return Opened::declined;
  const bool file_rate_differs = file.scale == 0 || file.rate / file.scale != wf.samples_per_sec;
  if (file.width == 0 && file.height == 0 && file_rate_differs)
    return Opened::declined;
  s.source_rate = wf.samples_per_sec;
  s.source_bits = wf.bits_per_sample;
  s.source_channels = wf.channels;
  s.source_frame_bytes = s.source_channels * s.source_bits / 8;
  const uint64_t length = static_cast<uint64_t>(std::max(movie::StreamLength(audio), 0));
  s.total = static_cast<uint32_t>(std::min<uint64_t>(length * s.source_frame_bytes, UINT32_MAX));
  s.total -= s.total % s.source_frame_bytes;
  s.frame_time = video_frame_time(input.source);
  s.buffer_size = kFileBufferBytes;
  s.kind = kAvi;
  s.codec = pcm_codec(s.source_bits); // only plain PCM is read here
  copy_text(s.type, sizeof s.type, "AVI");
  copy_text(s.name, sizeof s.name, avi);
  s.reader = std::move(reader);
  return Opened::accepted;
}

bool is_avi(const lists::InputFile &file) { return movie::may_be_avi(file.first(12)); }

} // namespace

const SoundRow kAviRow{".avi", is_avi, open_avi};

} // namespace vex::sfile
