// Opening a movie with libavformat over a byte source, and the deleters of
// the libraries' objects.
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include "movie/media_reader.h"
#include "movie/source_io.h"

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
  if (avformat_open_input(&raw, nullptr, want, nullptr) < 0)
    return nullptr;
  io.release(); // closed with the demuxer, by FormatCloser
  FormatPtr f(raw);
  if (avformat_find_stream_info(f.get(), nullptr) < 0)
    return nullptr;
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
