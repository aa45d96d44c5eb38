#include "movie/source_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <new>

#include "movie/ffmpeg_api.h"

namespace vex::movie {

namespace {

// libavformat's own read size for files.
constexpr int kBufferBytes = 32768;

// What the context reads from: its own copy of the source and its own
// position (bytes from the source's base; may lie past the end, where
// reads find nothing).
struct Cursor {
  file::ByteSource source;
  int64_t position = 0;
};

int64_t size_of(const Cursor &c) { return static_cast<int64_t>(std::min<uint64_t>(c.source.size(), INT64_MAX)); }

int read_packet(void *opaque, uint8_t *buf, int size) {
  auto &c = *static_cast<Cursor *>(opaque);
  if (size <= 0)
    return 0;
  const size_t got = c.source.read_at(static_cast<uint64_t>(c.position), buf, static_cast<size_t>(size));
  if (got == 0)
    return c.source.read_failed() ? AVERROR(EIO) : AVERROR_EOF;
  c.position += static_cast<int64_t>(got);
  return static_cast<int>(got);
}

int64_t seek(void *opaque, int64_t offset, int whence) {
  auto &c = *static_cast<Cursor *>(opaque);
  if (whence & AVSEEK_SIZE)
    return size_of(c);
  int64_t from = 0;
  switch (whence & ~AVSEEK_FORCE) {
  case SEEK_SET: break;
  case SEEK_CUR: from = c.position; break;
  case SEEK_END: from = size_of(c); break;
  default: return AVERROR(EINVAL);
  }
  // Both are at least 0, so only a sum past INT64_MAX or below 0 is wrong.
  if ((offset > 0 && from > INT64_MAX - offset) || from + offset < 0)
    return AVERROR(EINVAL);
  c.position = from + offset;
  return c.position;
}

} // namespace

void SourceIoFree::operator()(AVIOContext *io) const {
  if (!io)
    return;
  delete static_cast<Cursor *>(io->opaque);
  ff().av_freep(&io->buffer); // the buffer in use now, not necessarily the one given
  ff().avio_context_free(&io);
}

SourceIoPtr open_source_io(const file::ByteSource &source) {
  auto *cursor = new (std::nothrow) Cursor{source};
  auto *buffer = static_cast<uint8_t *>(ff().av_malloc(kBufferBytes));
  AVIOContext *io =
      cursor && buffer ? ff().avio_alloc_context(buffer, kBufferBytes, 0, cursor, read_packet, nullptr, seek) : nullptr;
  if (!io) {
    delete cursor;
    ff().av_free(buffer);
    return nullptr;
  }
  return SourceIoPtr(io);
}

} // namespace vex::movie
