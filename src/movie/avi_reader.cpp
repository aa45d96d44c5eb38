// AVI streams over the movie readers: a video stream is a VideoReader
// addressed by sample number, an audio stream an AudioReader addressed by
// sample frame; frames leave as packed bitmaps.
#include "movie/avi_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "movie/ffmpeg_api.h"

#include "movie/media_reader.h"
#include "util/limits.h"

namespace vex::movie {

struct Stream {
  uint32_t type = 0;
  std::unique_ptr<VideoReader> video;
  std::unique_ptr<AudioReader> audio;
};

struct Getter {
  Stream *stream = nullptr;
  int bits = 24;
  int32_t pitch = 0;
  std::vector<uint8_t> bitmap; // header, colour table, rows
};

namespace {
int32_t video_start(const VideoReader &v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v.first_time(), 0, INT32_MAX));
}
} // namespace

int32_t FileInfoOf(const file::ByteSource &source, FileInfo *info) {
  if (!info)
    return kBadArgs;
  *info = {};
  FormatPtr f = open_container(source, Container::avi);
  if (!f)
    return kNoFile;
  info->streams = f->nb_streams;
  const int v = find_stream(f.get(), AVMEDIA_TYPE_VIDEO, 0);
  if (v >= 0) {
    info->width = f->streams[v]->codecpar->width;
    info->height = f->streams[v]->codecpar->height;
  }
  if (f->nb_streams > 0) {
    const AVStream *st = f->streams[0];
    info->scale = vex::util::saturate_u32(st->time_base.num);
    info->rate = vex::util::saturate_u32(st->time_base.den);
    info->length = vex::util::saturate_u32(st->duration != AV_NOPTS_VALUE ? st->duration : st->nb_frames);
  }
  return kOk;
}

int32_t StreamOpenFromSource(Stream **stream, const file::ByteSource &source, uint32_t type, int32_t index) {
  if (!stream)
    return kBadArgs;
  *stream = nullptr;
  if (index < 0 || (type != kVideo && type != kAudio))
    return kBadArgs;
  auto s = std::make_unique<Stream>();
  s->type = type;
  if (type == kVideo)
    s->video = VideoReader::open(source, Container::avi);
  else
    s->audio = AudioReader::open(source, Container::avi, index);
  if (!s->video && !s->audio)
    return kNoFile;
  // Only the first video stream is offered; others are not needed.
  if (type == kVideo && index > 0)
    return kNoFile;
  *stream = s.release();
  return kOk;
}

int32_t StreamInfoOf(Stream *s, StreamInfo *info) {
  if (!s || !info)
    return kBadArgs;
  *info = {};
  info->type = s->type;
  if (s->video) {
    const VideoReader &v = *s->video;
    info->handler = v.codec_tag();
    info->scale = vex::util::saturate_u32(v.time_num());
    info->rate = vex::util::saturate_u32(v.time_den());
    info->start = static_cast<uint32_t>(video_start(v));
    info->length = static_cast<uint32_t>(v.frame_count());
    info->frame = {0, 0, v.width(), v.height()};
  } else {
    // The stream as delivered: PCM, whatever the file holds.
    const AudioReader &a = *s->audio;
    info->scale = a.frame_bytes();
    info->rate = a.rate() * a.frame_bytes();
    info->length = vex::util::saturate_u32(static_cast<int64_t>(std::min<uint64_t>(a.length(), INT32_MAX)));
    info->sample_size = a.frame_bytes();
  }
  return kOk;
}

int32_t StreamStart(Stream *s) { return s && s->video ? video_start(*s->video) : 0; }

int32_t StreamLength(Stream *s) {
  if (!s)
    return 0;
  if (s->video)
    return s->video->frame_count();
  return static_cast<int32_t>(std::min<uint64_t>(s->audio->length(), INT32_MAX));
}

int32_t StreamReadFormat(Stream *s, int32_t /*position*/, void *format, int32_t *size) {
  if (!s || !size)
    return kBadArgs;
  uint8_t bytes[40 + 1024] = {};
  int32_t length = 0;
  if (s->video) {
    const VideoReader &v = *s->video;
    BitmapHeader h{};
    h.size = 40;
    h.width = v.width();
    h.height = v.height();
    h.planes = 1;
    h.bit_count = static_cast<uint16_t>(v.palettised() ? 8 : v.has_alpha() ? 32 : 24);
    h.compression = v.codec_tag();
    h.colors_used = v.palettised() ? 256 : 0;
    std::memcpy(bytes, &h, sizeof h);
    length = sizeof h;
  } else {
    const AudioReader &a = *s->audio;
    WaveFormat w{};
    // Whatever the file holds (PCM, MP3, AC-3, ...), the samples are read
    // decoded, so the format describes the PCM that is delivered.
    w.format_tag = kPcmFormatTag;
    w.channels = static_cast<uint16_t>(a.channels());
    w.samples_per_sec = a.rate();
    w.avg_bytes_per_sec = a.rate() * a.frame_bytes();
    w.block_align = static_cast<uint16_t>(a.frame_bytes());
    w.bits_per_sample = static_cast<uint16_t>(a.bits());
    std::memcpy(bytes, &w, sizeof w);
    length = kPcmFormatSize;
  }
  if (format)
    std::memcpy(format, bytes, static_cast<size_t>(std::clamp(*size, 0, length)));
  *size = length;
  return kOk;
}

int32_t StreamRead(Stream *s, int32_t start, int32_t samples, void *buffer, int32_t buffer_size, int32_t *bytes,
                   int32_t *samples_read) {
  if (bytes)
    *bytes = 0;
  if (samples_read)
    *samples_read = 0;
  if (!s || start < 0 || samples < 0)
    return kBadArgs;
  if (s->video) {
    if (buffer)
      return kBadArgs; // compressed video samples are not handed out
    const int index = start - video_start(*s->video);
    if (bytes)
      *bytes = static_cast<int32_t>(std::min<uint32_t>(s->video->frame_bytes(index), INT32_MAX));
    if (samples_read)
      *samples_read = 1;
    return kOk;
  }
  AudioReader &a = *s->audio;
  const auto fb = static_cast<int32_t>(a.frame_bytes());
  if (!buffer) {
    if (bytes)
      *bytes = samples > INT32_MAX / fb ? INT32_MAX : samples * fb;
    if (samples_read)
      *samples_read = samples;
    return kOk;
  }
  const int32_t n = std::min(samples, std::max(buffer_size, 0) / fb);
  const uint32_t got = a.read(static_cast<uint64_t>(start), static_cast<uint32_t>(n), static_cast<uint8_t *>(buffer));
  if (bytes)
    *bytes = static_cast<int32_t>(got) * fb;
  if (samples_read)
    *samples_read = static_cast<int32_t>(got);
  return got > 0 || n == 0 ? kOk : kReadError;
}

void StreamRelease(Stream *s) { std::unique_ptr<Stream> owned(s); }

Getter *StreamGetFrameOpen(Stream *s) {
  if (!s || !s->video)
    return nullptr;
  const VideoReader &v = *s->video;
  auto g = std::make_unique<Getter>();
  g->stream = s;
  g->bits = v.palettised() ? 8 : v.has_alpha() ? 32 : 24;
  g->pitch = (v.width() * g->bits / 8 + 3) & ~3;
  const size_t table = g->bits == 8 ? 1024 : 0;
  g->bitmap.assign(sizeof(BitmapHeader) + table + static_cast<size_t>(g->pitch) * static_cast<size_t>(v.height()), 0);
  BitmapHeader h{};
  h.size = 40;
  h.width = v.width();
  h.height = v.height();
  h.planes = 1;
  h.bit_count = static_cast<uint16_t>(g->bits);
  h.size_image = static_cast<uint32_t>(g->pitch) * static_cast<uint32_t>(v.height());
  h.colors_used = g->bits == 8 ? 256 : 0;
  std::memcpy(g->bitmap.data(), &h, sizeof h);
  return g.release();
}

const void *StreamGetFrame(Getter *g, int32_t position) {
  if (!g)
    return nullptr;
  VideoReader &v = *g->stream->video;
  const AVFrame *f = v.frame(position - video_start(v));
  if (!f)
    return nullptr;
  uint8_t *table = g->bitmap.data() + sizeof(BitmapHeader);
  uint8_t *rows = table + (g->bits == 8 ? 1024 : 0);
  uint8_t *top = rows + static_cast<ptrdiff_t>(v.height() - 1) * g->pitch;
  uint8_t palette[256][4] = {};
  if (!v.convert(f, g->bits, top, -g->pitch, g->bits == 8 ? palette : nullptr))
    return nullptr;
  if (g->bits == 8)
    for (int i = 0; i < 256; ++i) {
      std::memcpy(table + i * 4, palette[i], 3);
      table[i * 4 + 3] = 0;
    }
  return g->bitmap.data();
}

bool StreamDecodeFrame(Getter *g, int32_t position) {
  if (!g)
    return false;
  VideoReader &v = *g->stream->video;
  return v.frame(position - video_start(v)) != nullptr;
}

const void *StreamFrameBitmap(const Getter *g) { return g ? g->bitmap.data() : nullptr; }

bool StreamFrameInto(Getter *g, int32_t position, bool keep_fourth, uint8_t *dest, ptrdiff_t pitch) {
  if (!g || g->bits == 8)
    return false;
  VideoReader &v = *g->stream->video;
  const AVFrame *f = v.frame(position - video_start(v));
  return f && v.convert_into(f, g->bits, keep_fourth, dest, pitch);
}

void StreamGetFrameClose(Getter *g) { std::unique_ptr<Getter> owned(g); }

bool StreamFactsOf(Stream *s, MovieFacts *out) {
  if (!s || !s->video || !out)
    return false;
  s->video->facts(*out);
  return true;
}

} // namespace vex::movie
