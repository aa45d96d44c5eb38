// The audio stream of an AVI file (kind 3): plain PCM only; other sound
// goes on to the QuickTime reader.
#include <algorithm>

#include "movie/avi_reader.h"
#include "sfile/sound_source.h"
#include "vexutil/movie.h"

namespace vex::sfile {
namespace {

using util::Status;

movie::Stream *stream(Source &s) { return static_cast<movie::Stream *>(s.avi_stream); }

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

Opened decline(Source &s) {
  release_avi(s);
  return Opened::declined;
}

} // namespace

Opened open_avi(Source &s, const OpenArgs &a, const char *name) {
  const std::string avi = with_extension(name, ".avi");
  if (avi.empty() || a.track < 0)
    return Opened::declined;
  VEXAVIInit();
  file::ByteSource source; // the sound, the file's information and the video's rate read this one open
  source.open(avi.c_str());
  movie::Stream *audio = nullptr;
  if (movie::StreamOpenFromSource(&audio, source, movie::kAudio, a.track) != movie::kOk)
    return Opened::declined;
  s.avi_stream = audio;
  s.avi_first = static_cast<uint32_t>(std::max(movie::StreamStart(audio), 0));
  movie::WaveFormat wf{};
  int32_t size = movie::kPcmFormatSize;
  if (movie::StreamReadFormat(audio, 0, &wf, &size) != movie::kOk || size < movie::kPcmFormatSize) {
    release_avi(s);
    report(a, Status::kDamaged, "Error reading AVI file.");
    return Opened::failed;
  }
  if (wf.format_tag != 1 || (wf.bits_per_sample != 8 && wf.bits_per_sample != 16) ||
      (wf.channels != 1 && wf.channels != 2) || wf.samples_per_sec == 0)
    return decline(s);
  movie::FileInfo file{};
  if (movie::FileInfoOf(source, &file) != movie::kOk)
    return decline(s);
  const bool file_rate_differs = file.scale == 0 || file.rate / file.scale != wf.samples_per_sec;
  if (file.width == 0 && file.height == 0 && file_rate_differs)
    return decline(s);
  s.source_rate = wf.samples_per_sec;
  s.source_bits = wf.bits_per_sample;
  s.source_channels = wf.channels;
  s.source_frame_bytes = s.source_channels * s.source_bits / 8;
  const uint64_t length = static_cast<uint64_t>(std::max(movie::StreamLength(audio), 0));
  s.total = static_cast<uint32_t>(std::min<uint64_t>(length * s.source_frame_bytes, UINT32_MAX));
  s.total -= s.total % s.source_frame_bytes;
  s.frame_time = video_frame_time(source);
  s.buffer_size = kFileBufferBytes;
  s.kind = kAvi;
  copy_text(s.type, sizeof s.type, "AVI");
  copy_text(s.name, sizeof s.name, avi.c_str());
  return Opened::accepted;
}

uint32_t refill_avi(Source &s, uint8_t *dest, uint32_t space) {
  const uint32_t fb = s.source_frame_bytes;
  int32_t bytes = 0, samples = 0;
  movie::StreamRead(stream(s), static_cast<int32_t>(std::min<uint64_t>(uint64_t{s.avi_first} + s.avi_offset, INT32_MAX)),
                    static_cast<int32_t>(space / fb), dest, static_cast<int32_t>(std::min<uint32_t>(space, INT32_MAX)),
                    &bytes, &samples);
  s.avi_offset += static_cast<uint32_t>(std::max(samples, 0));
  return static_cast<uint32_t>(std::max(bytes, 0));
}

void release_avi(Source &s) {
  movie::StreamRelease(stream(s));
  s.avi_stream = nullptr;
}

} // namespace vex::sfile
