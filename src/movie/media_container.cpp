// Opening a movie with libavformat over a byte source, and the deleters of
// the libraries' objects.
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include "movie/media_reader.h"
#include "movie/source_io.h"
#include "util/status.h"

namespace vex::movie {

void start_libraries() {
  static std::once_flag once;
  // The libraries print diagnostics for every damaged packet; a reader
  // reports failure through its results instead.
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// A demuxer from open_container keeps its I/O context in `opaque`: with a
// context of the caller's, closing the input leaves the context alone.
void FormatCloser::operator()(AVFormatContext *f) const {
  SourceIoPtr io(f ? static_cast<AVIOContext *>(f->opaque) : nullptr);
  avformat_close_input(&f);
}
void CodecCloser::operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
void FrameFree::operator()(AVFrame *f) const { av_frame_free(&f); }
void PacketFree::operator()(AVPacket *p) const { av_packet_free(&p); }
void SwrFree::operator()(SwrContext *s) const { swr_free(&s); }

namespace {
const AVInputFormat *demuxer_for(Container c) {
  switch (c) {
  case Container::avi:
    return av_find_input_format("avi");
  case Container::quicktime:
    return av_find_input_format("mov");
  case Container::any:
    break;
  }
  return nullptr;
}

// The demuxer reads the one source it was given and nothing else: a
// reference to another file (a QuickTime data reference) is not followed.
int refuse_open(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **) { return AVERROR(EPERM); }

// The first bytes name the container: "RIFF" and "AVI " for AVI, a known
// atom type at byte 4 for QuickTime.
bool looks_like(const file::ByteSource &source, Container c) {
  uint8_t head[12] = {};
  if (source.read_at(0, head, sizeof head) != sizeof head)
    return false;
  if (c == Container::avi)
    return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0;
  for (const char *atom : {"ftyp", "moov", "mdat", "free", "wide", "skip", "pnot"})
    if (std::memcmp(head + 4, atom, 4) == 0)
      return c == Container::quicktime || c == Container::any;
  return false;
}

// Why the demuxer refused the source: damage when the file starts as one
// of its kind, else not of this kind.
void refused(const file::ByteSource &source, Container c, const char *step, int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  if (looks_like(source, c))
    util::fail(util::Status::kDamaged, "the movie's %s cannot be read: %s", step, text);
  else
    util::fail(util::Status::kNotThisFormat, "not a movie of this kind (%s)", text);
}
} // namespace

FormatPtr open_container(const file::ByteSource &source, Container c) {
  start_libraries();
  if (!source.is_open())
    return nullptr;
  const AVInputFormat *want = demuxer_for(c);
  if (c != Container::any && !want)
    return nullptr;
  SourceIoPtr io = open_source_io(source);
  AVFormatContext *raw = io ? avformat_alloc_context() : nullptr;
  if (!raw)
    return nullptr;
  raw->pb = io.get();
  raw->opaque = io.get();
  raw->io_open = refuse_open;
  // Forcing the demuxer keeps an AVI reader from accepting other
  // containers; the demuxer still rejects files that are not its format.
  // A failed open frees the format context but not the caller's I/O.
  if (const int e = avformat_open_input(&raw, nullptr, want, nullptr); e < 0) {
    refused(source, c, "header", e);
    return nullptr;
  }
  io.release(); // closed with the demuxer, by FormatCloser
  FormatPtr f(raw);
  if (const int e = avformat_find_stream_info(f.get(), nullptr); e < 0) {
    refused(source, c, "stream information", e);
    return nullptr;
  }
  return f;
}

int find_stream(const AVFormatContext *f, int media_type, int n) {
  for (unsigned i = 0; i < f->nb_streams; ++i) {
    const AVStream *st = f->streams[i];
    if (st->codecpar->codec_type != media_type)
      continue;
    // Cover art in a QuickTime file is a picture, not a video track.
    if (st->disposition & AV_DISPOSITION_ATTACHED_PIC)
      continue;
    if (n-- == 0)
      return static_cast<int>(i);
  }
  return -1;
}

} // namespace vex::movie
