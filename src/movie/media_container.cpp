// Opening a movie with libavformat over a byte source, and the deleters of
// the libraries' objects.
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "movie/ffmpeg_api.h"

#include "movie/media_reader.h"
#include "movie/source_io.h"
#include "util/status.h"

namespace vex::movie {

namespace {

// The libraries' first error while this thread opens a container: why a
// file that is of the container cannot be opened. Null when not listening.
thread_local std::string *t_heard = nullptr;

void hear(void *, int level, const char *format, va_list args) {
  if (!t_heard || level > AV_LOG_ERROR || !t_heard->empty())
    return;
  char text[256];
  std::vsnprintf(text, sizeof text, format, args);
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '.'))
    line.pop_back();
  *t_heard = line;
}

} // namespace

bool start_libraries() {
  std::string why;
  if (!ffmpeg_load(&why))
    return util::fail(util::Status::kUnsupported, "FFmpeg's libraries cannot be loaded: %s", why.c_str());
  static std::once_flag once;
  // The libraries print diagnostics for every damaged packet; a reader
  // reports failure through its results instead, and the first error of
  // an open becomes the reason it failed.
  std::call_once(once, [] {
    ff().av_log_set_level(AV_LOG_QUIET);
    ff().av_log_set_callback(hear);
  });
  return true;
}

// A demuxer from open_container keeps its I/O context in `opaque`: with a
// context of the caller's, closing the input leaves the context alone.
void FormatCloser::operator()(AVFormatContext *f) const {
  SourceIoPtr io(f ? static_cast<AVIOContext *>(f->opaque) : nullptr);
  ff().avformat_close_input(&f);
}
void CodecCloser::operator()(AVCodecContext *c) const { ff().avcodec_free_context(&c); }
void FrameFree::operator()(AVFrame *f) const { ff().av_frame_free(&f); }
void PacketFree::operator()(AVPacket *p) const { ff().av_packet_free(&p); }
void SwrFree::operator()(SwrContext *s) const { ff().swr_free(&s); }

namespace {
const AVInputFormat *demuxer_for(Container c) {
  switch (c) {
  case Container::avi: return ff().av_find_input_format("avi");
  case Container::quicktime: return ff().av_find_input_format("mov");
  case Container::any: break;
  }
  return nullptr;
}

// The demuxer reads the one source it was given and nothing else: a
// reference to another file (a QuickTime data reference) is not followed.
int refuse_open(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **) { return AVERROR(EPERM); }

// The file's first bytes are what the demuxer `want` recognises best.
bool looks_like(const file::ByteSource &source, const AVInputFormat *want) {
  std::vector<uint8_t> head(4096 + AVPROBE_PADDING_SIZE, 0);
  AVProbeData probe{};
  probe.filename = "";
  probe.buf = head.data();
  probe.buf_size = static_cast<int>(source.read_at(0, head.data(), 4096));
  int score = 0;
  return probe.buf_size > 0 && ff().av_probe_input_format3(&probe, 1, &score) == want;
}

// A failed open of a file that is of the container (its first bytes say
// so) is damage, and the demuxer's words say which; of any other file it
// only means "not this kind".
FormatPtr failed_open(const file::ByteSource &source, const AVInputFormat *want, int error, const std::string &heard) {
  if (!want || !looks_like(source, want))
    return nullptr;
  char text[AV_ERROR_MAX_STRING_SIZE] = "";
  ff().av_strerror(error, text, sizeof text);
  util::fail(util::Status::kDamaged, "%s file the movie library cannot read: %s",
             want == demuxer_for(Container::avi) ? "an AVI" : "a QuickTime", heard.empty() ? text : heard.c_str());
  return nullptr;
}

struct Listening {
  std::string heard;
  Listening() { t_heard = &heard; }
  ~Listening() { t_heard = nullptr; }
  Listening(const Listening &) = delete;
  Listening &operator=(const Listening &) = delete;
};

} // namespace

FormatPtr open_container(const file::ByteSource &source, Container c) {
  if (!source.is_open() || !start_libraries())
    return nullptr;
  const AVInputFormat *want = demuxer_for(c);
  if (c != Container::any && !want)
    return nullptr;
  SourceIoPtr io = open_source_io(source);
  AVFormatContext *raw = io ? ff().avformat_alloc_context() : nullptr;
  if (!raw)
    return nullptr;
  raw->pb = io.get();
  raw->opaque = io.get();
  raw->io_open = refuse_open;
  // Forcing the demuxer keeps an AVI reader from accepting other
  // containers; the demuxer still rejects files that are not its format.
  // A failed open frees the format context but not the caller's I/O.
  Listening listening;
  if (const int error = ff().avformat_open_input(&raw, nullptr, want, nullptr); error < 0)
    return failed_open(source, want, error, listening.heard);
  io.release(); // closed with the demuxer, by FormatCloser
  FormatPtr f(raw);
  if (const int error = ff().avformat_find_stream_info(f.get(), nullptr); error < 0)
    return failed_open(source, want, error, listening.heard);
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
