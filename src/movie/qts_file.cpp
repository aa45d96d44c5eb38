// A QuickTime movie's sound as PCM, converted one second at a time into a
// buffer the record owns and handed out in whatever pieces are asked for.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "movie/media_reader.h"
#include "movie/movie_runtime.h"
#include "movie/qt_source_open.h"
#include "util/record.h"
#include "vexutil/movie.h"
#include "util/limits.h"

namespace {

using vex::movie::AudioReader;

AudioReader *reader_of(QTSFILE *qs) { return static_cast<AudioReader *>(qs->movie); }

// One conversion: the next second of sound (or what is left) from the read
// position into the record's buffer. False when nothing could be made.
bool convert_next(QTSFILE *qs) {
  const uint32_t length = std::min(qs->time_scale, qs->remaining);
  if (length == 0)
    return false;
  const uint32_t frames = reader_of(qs)->read(qs->position, length, qs->data);
  if (frames == 0)
    return false;
  qs->pending = qs->data;
  qs->pending_count = frames * qs->frame_bytes;
  qs->position += frames;
  if (qs->remaining >= frames)
    qs->remaining -= frames;
  return true;
}

} // namespace

namespace vex::movie {

QTSFILE *QtsFileOpenSource(const file::ByteSource &source, int32_t track) {
  if (track < 0 || !movie_runtime_start())
    return nullptr;
  std::unique_ptr<AudioReader> r = AudioReader::open(source, Container::quicktime, track == 0 ? 0 : track - 1);
  if (!r)
    return nullptr;
  QTSFILE *qs = util::new_record<QTSFILE>();
  if (!qs)
    return nullptr;
  qs->rate = r->rate();
  qs->bits = r->bits();
  qs->channels = r->channels();
  qs->frame_bytes = r->frame_bytes();
  qs->total_bytes = vex::util::saturate_u32(r->length() * qs->frame_bytes);
  r->video_rate(&qs->video_rate_num, &qs->video_rate_den);
  qs->time_scale = qs->rate;
  qs->duration = vex::util::saturate_u32(r->length());
  qs->remaining = qs->duration;
  // Two seconds of room; one conversion makes at most one second.
  qs->data = static_cast<uint8_t *>(vexmalloc(vex::util::saturate_u32(uint64_t{2} * qs->rate * qs->frame_bytes)));
  if (!qs->data) {
    util::delete_record(qs);
    return nullptr;
  }
  qs->movie = r.release();
  return qs;
}

const char *QtsCodecName(const QTSFILE *qs) {
  return qs && qs->movie ? static_cast<const AudioReader *>(qs->movie)->codec_name() : "";
}

} // namespace vex::movie

extern "C" VEX_API QTSFILE *QTSFileOpen(const char *name, int32_t track) {
  if (track < 0 || !vex::movie::movie_runtime_start())
    return nullptr;
  const std::string path = vex::movie::QtFullName(name);
  vex::file::ByteSource source;
  if (path.empty() || source.open(path.c_str()) != vex::util::Status::kOk)
    return nullptr;
  return vex::movie::QtsFileOpenSource(source, track);
}

extern "C" VEX_API uint32_t QTSFileGet(QTSFILE *qs, void *buffer, uint32_t count) {
  if (!qs || !qs->movie || !buffer)
    return 0;
  auto *out = static_cast<uint8_t *>(buffer);
  uint32_t delivered = 0;
  for (;;) {
    const uint32_t n = std::min(qs->pending_count, count - delivered);
    if (n > 0) {
      std::memcpy(out + delivered, qs->pending, n);
      qs->pending += n;
      qs->pending_count -= n;
      delivered += n;
    }
    if (delivered == count)
      return delivered;
    if (!convert_next(qs)) {
      if (delivered > 0)
        return delivered;
      // Nothing at all: a short piece of silence keeps callers that wait
      // for sound moving. Never more than the caller's buffer holds.
      const uint32_t silence = std::min<uint32_t>(16, count);
      std::memset(out, qs->bits == 16 ? 0 : 0x80, silence);
      return silence;
    }
  }
}

extern "C" VEX_API void QTSFileGoto(QTSFILE *qs, uint32_t ms) {
  if (!qs)
    return;
  qs->position = vex::util::saturate_u32(static_cast<uint64_t>(ms) * qs->time_scale / 1000);
  qs->pending_count = 0;
  qs->remaining = qs->duration > qs->position ? qs->duration - qs->position : 0;
}

extern "C" VEX_API void QTSFileClose(QTSFILE *qs) {
  if (!qs)
    return;
  std::unique_ptr<AudioReader> r(reader_of(qs));
  vexfree(qs->data);
  std::memset(qs, 0, sizeof *qs);
  vex::util::delete_record(qs);
}
