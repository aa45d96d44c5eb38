// A QuickTime movie's pictures frame by frame into a buffer the record
// owns: 8-bit indices with the movie's palette, or 32-bit blue, green,
// red, alpha.
#include <climits>
#include <cstring>
#include <string>

#include "movie/ffmpeg_api.h"

#include "movie/media_reader.h"
#include "movie/movie_runtime.h"
#include "movie/qt_file_steps.h"
#include "movie/qt_source_open.h"
#include "util/record.h"
#include "vexutil/movie.h"
#include "util/limits.h"

namespace {

using vex::movie::VideoReader;

VideoReader *reader_of(QTFILE *qt) { return static_cast<VideoReader *>(qt->movie); }

void fill_record(QTFILE *qt, const VideoReader &r) {
  qt->width = r.width();
  qt->height = r.height();
  qt->depth = r.palettised() ? 8 : 32;
  qt->pitch = (qt->width * qt->depth / 8 + 3) & ~3;
  qt->frame_count = r.frame_count();
  // frames per second = frames / (duration x time unit)
  int num = 0, den = 0;
  vex::movie::ff().av_reduce(&num, &den, static_cast<int64_t>(r.frame_count()) * r.time_den(),
                             r.duration() * r.time_num(), INT32_MAX);
  qt->rate_num = static_cast<uint32_t>(num > 0 ? num : 0);
  qt->rate_den = static_cast<uint32_t>(den > 0 ? den : 1);
  qt->has_sound = r.file_has_audio() ? 1 : 0;
  qt->duration = vex::util::saturate_u32(r.duration());
  qt->time_scale = vex::util::saturate_u32(r.time_den() / r.time_num());
}

} // namespace

namespace vex::movie {

QTFILE *QtFileOpenSource(const file::ByteSource &source) {
  if (!movie_runtime_start())
    return nullptr;
  std::unique_ptr<VideoReader> r = VideoReader::open(source, Container::quicktime);
  if (!r)
    return nullptr;
  QTFILE *qt = util::new_record<QTFILE>();
  if (!qt)
    return nullptr;
  fill_record(qt, *r);
  const uint64_t size = static_cast<uint64_t>(qt->pitch) * static_cast<uint64_t>(qt->height);
  qt->buffer = size < UINT32_MAX ? static_cast<uint8_t *>(vexmalloc(static_cast<uint32_t>(size))) : nullptr;
  if (!qt->buffer) {
    util::delete_record(qt);
    return nullptr;
  }
  std::memset(qt->buffer, 0, static_cast<size_t>(size));
  qt->pixels = qt->buffer;
  qt->movie = r.release();
  QTFileGoto(qt, 0);
  return qt;
}

bool QtDecodeNext(QTFILE *qt, int32_t *index) {
  if (!qt || !qt->movie)
    return false;
  VideoReader *r = reader_of(qt);
  const int at = qt->next_frame;
  *index = at;
  const bool decoded = r->frame(at) != nullptr;
  qt->frame_bytes = r->frame_bytes(at);
  const int last = r->frame_count() - 1;
  qt->current_time = vex::util::saturate_u32(static_cast<int64_t>(at < last ? at : last) * qt->duration / (last + 1));
  if (qt->next_frame < INT32_MAX)
    ++qt->next_frame;
  return decoded;
}

void QtFillBuffer(QTFILE *qt, int32_t index) {
  if (!qt || !qt->movie)
    return;
  VideoReader *r = reader_of(qt);
  const auto *frame = r->frame(index);
  if (!frame)
    return;
  uint8_t palette[256][4];
  if (r->convert(frame, qt->depth, qt->buffer, qt->pitch, qt->depth == 8 ? palette : nullptr) && qt->depth == 8) {
    for (int i = 0; i < 256; ++i) {
      std::memcpy(qt->palette[i], palette[i], 3);
      qt->palette[i][3] = 0;
    }
  }
}

bool QtFrameInto(QTFILE *qt, int32_t index, bool keep_fourth, uint8_t *dest, ptrdiff_t pitch) {
  if (!qt || !qt->movie || qt->depth != 32)
    return false;
  VideoReader *r = reader_of(qt);
  const auto *frame = r->frame(index);
  return frame && r->convert_into(frame, qt->depth, keep_fourth, dest, pitch);
}

bool QtFactsOf(QTFILE *qt, MovieFacts *out) {
  if (!qt || !qt->movie || !out)
    return false;
  reader_of(qt)->facts(*out);
  return true;
}

std::string QtFullName(const char *name) {
  char path[256];
  if (!name || std::strlen(name) >= 128)
    return {};
  std::strcpy(path, name);
  ExpandFileName(path);
  return path;
}

} // namespace vex::movie

extern "C" VEX_API QTFILE *QTFileOpen(const char *name) {
  if (!vex::movie::movie_runtime_start())
    return nullptr;
  const std::string path = vex::movie::QtFullName(name);
  vex::file::ByteSource source;
  if (path.empty() || source.open(path.c_str()) != vex::util::Status::kOk)
    return nullptr;
  return vex::movie::QtFileOpenSource(source);
}

extern "C" VEX_API void QTFileGet(QTFILE *qt) {
  int32_t index = 0;
  if (vex::movie::QtDecodeNext(qt, &index))
    vex::movie::QtFillBuffer(qt, index);
}

extern "C" VEX_API void QTFileGoto(QTFILE *qt, int32_t frame) {
  if (!qt)
    return;
  qt->next_frame = frame < 0 ? 0 : frame;
  qt->current_time = 0;
}

extern "C" VEX_API void QTFileClose(QTFILE *qt) {
  if (!qt)
    return;
  std::unique_ptr<VideoReader> r(reader_of(qt));
  vexfree(qt->buffer);
  std::memset(qt, 0, sizeof *qt);
  vex::util::delete_record(qt);
}
