// AVI files written through libavformat's AVI muxer. All streams must be
// in the file before its header is written, so samples are held back
// until every stream made so far has its format (or until release).
#include "movie/avi_writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "movie/ffmpeg_api.h"

#include "file/os_file.h"
#include "movie/bgr_to_yuv444.h"
#include "movie/media_reader.h"
#include "util/status.h"

namespace vex::movie {

// The file the muxer writes, through the file layer (so that its writes
// meet what every other output's meet): the descriptor, the muxer's
// position and the size written so far. A failed write records the
// system's reason; the muxer keeps the error in its context.
struct OutCursor {
  int fd = -1;
  uint64_t position = 0;
  uint64_t size = 0;
  ~OutCursor() {
    if (fd >= 0)
      file::close_file(fd);
  }
};

namespace {

constexpr int kOutBufferBytes = 65536;

#if LIBAVFORMAT_VERSION_MAJOR >= 61
using PacketBytes = const uint8_t *;
#else
using PacketBytes = uint8_t *;
#endif

int write_packet(void *opaque, PacketBytes buf, int n) {
  auto &c = *static_cast<OutCursor *>(opaque);
  if (n <= 0)
    return 0;
  errno = 0;
  const size_t done = file::write_at(c.fd, c.position, buf, static_cast<size_t>(n));
  c.position += done;
  c.size = std::max(c.size, c.position);
  if (done < static_cast<size_t>(n)) {
    const int err = errno != 0 ? errno : EIO;
    util::fail(util::Status::kWriteFailed, "%s", util::system_text(err).c_str());
    return AVERROR(err);
  }
  return n;
}

int64_t seek_out(void *opaque, int64_t offset, int whence) {
  auto &c = *static_cast<OutCursor *>(opaque);
  if (whence & AVSEEK_SIZE)
    return static_cast<int64_t>(c.size);
  int64_t from = 0;
  switch (whence & ~AVSEEK_FORCE) {
  case SEEK_SET: break;
  case SEEK_CUR: from = static_cast<int64_t>(c.position); break;
  case SEEK_END: from = static_cast<int64_t>(c.size); break;
  default: return AVERROR(EINVAL);
  }
  if ((offset > 0 && from > INT64_MAX - offset) || from + offset < 0)
    return AVERROR(EINVAL);
  c.position = static_cast<uint64_t>(from + offset);
  return from + offset;
}

} // namespace

struct OutStream {
  OutFile *file = nullptr;
  StreamHeader header{};
  bool has_format = false;
  BitmapHeader bitmap{};
  std::array<uint8_t, 1024> table{};
  bool table_changed = false;
  WaveFormat wave{};
  OutStream *compressed = nullptr; // the stream that took this one's place
  bool is_compressed = false;
  std::string codec;
  int32_t quality = -1;
  CodecPtr enc;
  SwsContext *sws = nullptr;
  std::vector<uint8_t> padded; // the frame's rows top down, each padded for the converter
  FramePtr frame;
  AVStream *st = nullptr;
  AVRational time_base{1, 1}; // of the packets made for this stream
  ~OutStream() {
    if (sws)
      ff().sws_freeContext(sws);
  }
  bool carries_data() const { return compressed == nullptr; }
};

struct OutFile {
  AVFormatContext *fmt = nullptr;
  std::vector<std::unique_ptr<OutStream>> streams;
  struct Held {
    OutStream *stream;
    PacketPtr packet;
  };
  std::vector<Held> held;
  bool header_written = false;
  bool failed = false;
  OutCursor out;
  // Writes what the context still buffers; false when that or an earlier
  // write failed.
  bool flush() {
    if (!fmt || !fmt->pb)
      return false;
    ff().avio_flush(fmt->pb);
    return fmt->pb->error >= 0;
  }
  ~OutFile() {
    if (fmt) {
      if (fmt->pb) {
        flush();
        ff().av_freep(&fmt->pb->buffer); // the buffer in use now, not necessarily the one given
        ff().avio_context_free(&fmt->pb);
      }
      ff().avformat_free_context(fmt);
    }
  }
};

namespace {

AVCodecID pcm_codec(const WaveFormat &w) {
  if (w.format_tag != 1)
    return AV_CODEC_ID_NONE;
  return w.bits_per_sample == 8    ? AV_CODEC_ID_PCM_U8
         : w.bits_per_sample == 16 ? AV_CODEC_ID_PCM_S16LE
                                   : AV_CODEC_ID_NONE;
}

// Codec parameters of the stream as the file describes it.
bool describe(OutStream &s, AVCodecParameters *par) {
  if (s.header.type == kAudio) {
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = pcm_codec(s.wave);
    par->sample_rate = static_cast<int>(s.wave.samples_per_sec);
    ff().av_channel_layout_default(&par->ch_layout, s.wave.channels);
    par->bits_per_coded_sample = s.wave.bits_per_sample;
    par->block_align = s.wave.block_align;
    par->bit_rate = int64_t{s.wave.avg_bytes_per_sec} * 8;
    return par->codec_id != AV_CODEC_ID_NONE;
  }
  if (s.is_compressed)
    return ff().avcodec_parameters_from_context(par, s.enc.get()) >= 0;
  par->codec_type = AVMEDIA_TYPE_VIDEO;
  par->codec_id = AV_CODEC_ID_RAWVIDEO;
  par->codec_tag = 0; // uncompressed device-independent rows
  par->width = s.bitmap.width;
  par->height = s.bitmap.height;
  par->bits_per_coded_sample = s.bitmap.bit_count;
  par->format = s.bitmap.bit_count == 8 ? AV_PIX_FMT_PAL8 : AV_PIX_FMT_BGR24;
  // 24-bit rows arrive bottom-up, as a bitmap with a positive height
  // stores them; this marker tells the muxer to keep the height positive.
  // The muxer cannot combine it with a colour table, so 8-bit rows are
  // turned top-down on writing and stored with a negative height.
  if (s.bitmap.bit_count == 8)
    return true;
  static constexpr char kBottomUp[] = "BottomUp";
  par->extradata = static_cast<uint8_t *>(ff().av_mallocz(sizeof kBottomUp + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!par->extradata)
    return false;
  std::memcpy(par->extradata, kBottomUp, sizeof kBottomUp);
  par->extradata_size = sizeof kBottomUp;
  return true;
}

bool write_now(OutFile &f, OutStream &s, AVPacket *p) {
  ff().av_packet_rescale_ts(p, s.time_base, s.st->time_base);
  p->stream_index = s.st->index;
  // The muxer writes through a buffer: a failed flush (a full disk) shows
  // only in the buffer's error, not in the packet's result.
  return ff().av_interleaved_write_frame(f.fmt, p) >= 0 && !(f.fmt->pb && f.fmt->pb->error < 0);
}

// Writes the header with every stream that has a format, then what was
// held back.
bool start_file(OutFile &f) {
  for (auto &s : f.streams) {
    if (!s->carries_data() || !s->has_format)
      continue;
    s->st = ff().avformat_new_stream(f.fmt, nullptr);
    if (!s->st || !describe(*s, s->st->codecpar))
      return false;
    s->st->time_base = s->time_base;
  }
  if (f.fmt->nb_streams == 0 || ff().avformat_write_header(f.fmt, nullptr) < 0)
    return false;
  f.header_written = true;
  bool ok = true;
  for (auto &h : f.held)
    ok = (h.stream->st && write_now(f, *h.stream, h.packet.get())) && ok;
  f.held.clear();
  return ok;
}

bool all_formats_known(const OutFile &f) {
  return std::all_of(f.streams.begin(), f.streams.end(),
                     [](const auto &s) { return !s->carries_data() || s->has_format; });
}

bool submit(OutStream &s, PacketPtr p) {
  OutFile &f = *s.file;
  if (!f.header_written) {
    f.held.push_back({&s, std::move(p)});
    return !all_formats_known(f) || start_file(f);
  }
  return write_now(f, s, p.get());
}

bool drain(OutStream &s) {
  for (;;) {
    PacketPtr p(ff().av_packet_alloc());
    if (!p)
      return false;
    const int r = ff().avcodec_receive_packet(s.enc.get(), p.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
      return true;
    if (r < 0 || !submit(s, std::move(p)))
      return false;
  }
}

bool open_encoder(OutStream &s) {
  const AVCodec *codec = ff().avcodec_find_encoder_by_name(s.codec.c_str());
  if (!codec || codec->type != AVMEDIA_TYPE_VIDEO)
    return false;
  s.enc.reset(ff().avcodec_alloc_context3(codec));
  if (!s.enc)
    return false;
  const AVPixelFormat source = s.bitmap.bit_count == 8 ? AV_PIX_FMT_PAL8 : AV_PIX_FMT_BGR24;
  AVCodecContext *c = s.enc.get();
  c->width = s.bitmap.width;
  c->height = s.bitmap.height;
  c->pix_fmt = codec->pix_fmts ? ff().avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, source, 0, nullptr) : source;
  c->time_base = s.time_base;
  c->framerate = av_inv_q(s.time_base);
  c->gop_size = 12;
  c->max_b_frames = 0; // AVI has no room for reordered frames
  // Encoders that code frames apart (Motion JPEG, HuffYUV, Ut Video, ...)
  // take two at once on two threads of their own: the same packets, in
  // order, while the caller prepares the next frame. Others run alone.
  c->thread_count = 2;
  c->thread_type = FF_THREAD_FRAME;
  if (s.quality >= 0) {
    // 0..10000 onto the quantiser scale 31..1.
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * (31 - std::min(s.quality, 10000) * 30 / 10000);
  }
  if (ff().avcodec_open2(c, codec, nullptr) < 0)
    return false;
  s.frame.reset(ff().av_frame_alloc());
  if (!s.frame)
    return false;
  s.frame->format = c->pix_fmt;
  s.frame->width = c->width;
  s.frame->height = c->height;
  return ff().av_frame_get_buffer(s.frame.get(), 0) >= 0;
}

// The converted frame to the encoder, and what it has finished to the file.
int32_t send(OutStream &s, int32_t start) {
  s.frame->pts = start;
  if (ff().avcodec_send_frame(s.enc.get(), s.frame.get()) < 0 || !drain(s))
    return kWriteError;
  return kOk;
}

constexpr int kRowPadding = 64; // bytes behind each row for the converter's wide loads

int32_t encode(OutStream &s, int32_t start, const uint8_t *rows, int32_t bytes) {
  const int w = s.bitmap.width, h = s.bitmap.height, bits = s.bitmap.bit_count;
  const int pitch = (w * bits / 8 + 3) & ~3;
  if (w <= 0 || h <= 0 || bytes < pitch * h || ff().av_frame_make_writable(s.frame.get()) < 0)
    return kBadArgs;
  if (bits == 24 && s.enc->pix_fmt == AV_PIX_FMT_YUVJ444P) {
    // The encoder's own colour layout from ours, straight from the rows:
    // a sixth of the converter's general path's instructions.
    bgr_to_yuv444(rows, pitch, w, h, s.frame->data, s.frame->linesize);
    return send(s, start);
  }
  const AVPixelFormat source = bits == 8 ? AV_PIX_FMT_PAL8 : AV_PIX_FMT_BGR24;
  s.sws = ff().sws_getCachedContext(s.sws, w, h, source, w, h, s.enc->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!s.sws)
    return kWriteError;
  // The converter reads past the end of a row (whole 16-byte loads, and a
  // pixel beyond the last one for odd widths), which for the last row in
  // memory lies outside the caller's buffer. So the rows (bottom-up in the
  // bitmap) go through a top-down copy whose padding repeats each row's
  // last pixel: everything it reads there is defined and matches the edge.
  const int pixel = bits == 8 ? 1 : 3;
  const int used = w * pixel;
  const int padded_pitch = used + kRowPadding / pixel * pixel;
  s.padded.resize(static_cast<size_t>(padded_pitch) * h + kRowPadding);
  for (int y = 0; y < h; ++y) {
    const uint8_t *src = rows + static_cast<ptrdiff_t>(h - 1 - y) * pitch;
    uint8_t *dst = s.padded.data() + static_cast<ptrdiff_t>(y) * padded_pitch;
    std::memcpy(dst, src, static_cast<size_t>(used));
    for (int x = used; x < padded_pitch; x += pixel)
      std::memcpy(dst + x, src + used - pixel, static_cast<size_t>(pixel));
  }
  const uint8_t *planes[4] = {s.padded.data(), s.table.data(), nullptr, nullptr};
  const int strides[4] = {padded_pitch, 0, 0, 0};
  if (ff().sws_scale(s.sws, planes, strides, 0, h, s.frame->data, s.frame->linesize) != h)
    return kWriteError;
  return send(s, start);
}

PacketPtr packet_of(const void *data, int32_t bytes, int64_t pts, int64_t duration, bool key) {
  PacketPtr p(ff().av_packet_alloc());
  if (!p || ff().av_new_packet(p.get(), bytes) < 0)
    return nullptr;
  std::memcpy(p->data, data, static_cast<size_t>(bytes));
  p->pts = p->dts = pts;
  p->duration = duration;
  if (key)
    p->flags |= AV_PKT_FLAG_KEY;
  return p;
}

void flip_rows(uint8_t *rows, int32_t pitch, int32_t height) {
  std::vector<uint8_t> tmp(static_cast<size_t>(pitch));
  for (int32_t a = 0, b = height - 1; a < b; ++a, --b) {
    uint8_t *ra = rows + static_cast<ptrdiff_t>(a) * pitch, *rb = rows + static_cast<ptrdiff_t>(b) * pitch;
    std::memcpy(tmp.data(), ra, tmp.size());
    std::memcpy(ra, rb, tmp.size());
    std::memcpy(rb, tmp.data(), tmp.size());
  }
}

bool attach_palette(AVPacket *p, const std::array<uint8_t, 1024> &table) {
  uint8_t *side = ff().av_packet_new_side_data(p, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
  if (!side)
    return false;
  for (size_t i = 0; i < 256; ++i) { // native 0xAARRGGBB
    const uint32_t v = 0xFF000000u | uint32_t{table[i * 4 + 2]} << 16 | uint32_t{table[i * 4 + 1]} << 8 | table[i * 4];
    std::memcpy(side + i * 4, &v, 4);
  }
  return true;
}

} // namespace

int32_t FileCreate(OutFile **file, const char *name) {
  if (!file)
    return kBadArgs;
  *file = nullptr;
  if (!name || !*name)
    return kBadArgs;
  if (!start_libraries())
    return kWriteError;
  auto f = std::make_unique<OutFile>();
  if (ff().avformat_alloc_output_context2(&f->fmt, nullptr, "avi", name) < 0 || !f->fmt)
    return kWriteError;
  errno = 0;
  f->out.fd = file::open_file(name, file::Access::create);
  if (f->out.fd < 0) {
    util::fail(util::Status::kWriteFailed, "%s", util::system_text(errno != 0 ? errno : EIO).c_str());
    return kWriteError;
  }
  auto *buffer = static_cast<uint8_t *>(ff().av_malloc(kOutBufferBytes));
  f->fmt->pb =
      buffer ? ff().avio_alloc_context(buffer, kOutBufferBytes, 1, &f->out, nullptr, write_packet, seek_out) : nullptr;
  if (!f->fmt->pb) {
    ff().av_free(buffer);
    return kWriteError;
  }
  f->fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
  *file = f.release();
  return kOk;
}

int32_t FileCreateStream(OutFile *file, OutStream **stream, const StreamHeader *header) {
  if (!stream)
    return kBadArgs;
  *stream = nullptr;
  if (!file || !header || (header->type != kVideo && header->type != kAudio) || header->scale == 0 || header->rate == 0)
    return kBadArgs;
  if (file->header_written)
    return kTooLate;
  auto s = std::make_unique<OutStream>();
  s->file = file;
  s->header = *header;
  s->time_base = av_make_q(static_cast<int>(std::min<uint32_t>(header->scale, INT32_MAX)),
                           static_cast<int>(std::min<uint32_t>(header->rate, INT32_MAX)));
  *stream = s.get();
  file->streams.push_back(std::move(s));
  return kOk;
}

int32_t MakeCompressedStream(OutStream **compressed, OutStream *source, const char *codec, int32_t quality) {
  if (!compressed)
    return kBadArgs;
  *compressed = nullptr;
  if (!source || source->header.type != kVideo || source->compressed || source->is_compressed)
    return kBadArgs;
  if (!codec || !*codec)
    return kNoCodec;
  const AVCodec *c = ff().avcodec_find_encoder_by_name(codec);
  if (!c || c->type != AVMEDIA_TYPE_VIDEO)
    return kNoCodec;
  if (source->file->header_written)
    return kTooLate;
  auto s = std::make_unique<OutStream>();
  s->file = source->file;
  s->header = source->header;
  s->time_base = source->time_base;
  s->is_compressed = true;
  s->codec = codec;
  s->quality = quality;
  source->compressed = s.get();
  *compressed = s.get();
  source->file->streams.push_back(std::move(s));
  return kOk;
}

int32_t StreamSetFormat(OutStream *s, int32_t /*position*/, const void *format, int32_t size) {
  if (!s || !format || size < 0)
    return kBadArgs;
  if (s->header.type == kAudio) {
    WaveFormat w{};
    if (size < kPcmFormatSize)
      return kBadArgs;
    std::memcpy(&w, format, std::min<size_t>(static_cast<size_t>(size), sizeof w));
    if (pcm_codec(w) == AV_CODEC_ID_NONE || w.channels < 1 || w.channels > 2 || w.samples_per_sec == 0 ||
        w.block_align != w.channels * w.bits_per_sample / 8)
      return kBadArgs;
    if (s->has_format)
      return std::memcmp(&w, &s->wave, kPcmFormatSize) == 0 ? kOk : kBadArgs;
    s->wave = w;
    // Audio positions count sample frames; so does the stream's clock.
    s->time_base = av_make_q(1, static_cast<int>(std::min<uint32_t>(w.samples_per_sec, INT32_MAX)));
    s->has_format = true;
    return kOk;
  }
  if (size < static_cast<int32_t>(sizeof(BitmapHeader)))
    return kBadArgs;
  BitmapHeader b;
  std::memcpy(&b, format, sizeof b);
  if ((b.bit_count != 8 && b.bit_count != 24) || b.compression != 0 || b.width <= 0 || b.height <= 0 ||
      b.width > kMaxMovieSide || b.height > kMaxMovieSide)
    return kBadArgs;
  if (b.bit_count == 8) {
    if (size < static_cast<int32_t>(sizeof b) + 1024)
      return kBadArgs;
    std::array<uint8_t, 1024> table;
    std::memcpy(table.data(), static_cast<const uint8_t *>(format) + sizeof b, 1024);
    s->table_changed = s->table_changed || !s->has_format || table != s->table;
    s->table = table;
  }
  if (s->has_format)
    return b.width == s->bitmap.width && b.height == s->bitmap.height && b.bit_count == s->bitmap.bit_count ? kOk
                                                                                                            : kBadArgs;
  s->bitmap = b;
  if (s->is_compressed && !open_encoder(*s))
    return kNoCodec;
  s->has_format = true;
  if (!s->file->header_written && all_formats_known(*s->file) && !s->file->held.empty() && !start_file(*s->file))
    return kWriteError;
  return kOk;
}

int32_t StreamWrite(OutStream *s, int32_t start, int32_t samples, const void *data, int32_t bytes, uint32_t flags,
                    int32_t *samples_written, int32_t *bytes_written) {
  if (samples_written)
    *samples_written = 0;
  if (bytes_written)
    *bytes_written = 0;
  if (!s || !data || bytes <= 0 || samples <= 0 || start < 0 || !s->has_format || !s->carries_data())
    return kBadArgs;
  int32_t r = kOk;
  if (s->header.type == kAudio) {
    if (bytes < samples * s->wave.block_align)
      return kBadArgs;
    PacketPtr p = packet_of(data, samples * s->wave.block_align, start, samples, true);
    r = p && submit(*s, std::move(p)) ? kOk : kWriteError;
  } else if (s->is_compressed) {
    r = encode(*s, start, static_cast<const uint8_t *>(data), bytes);
  } else {
    const int32_t size = ((s->bitmap.width * s->bitmap.bit_count / 8 + 3) & ~3) * s->bitmap.height;
    if (bytes < size)
      return kBadArgs;
    PacketPtr p = packet_of(data, size, start, 1, (flags & kKeyFrame) != 0);
    if (p && s->bitmap.bit_count == 8)
      flip_rows(p->data, (s->bitmap.width + 3) & ~3, s->bitmap.height);
    if (p && s->bitmap.bit_count == 8 && s->table_changed) {
      if (!attach_palette(p.get(), s->table))
        p.reset();
      s->table_changed = false;
    }
    r = p && submit(*s, std::move(p)) ? kOk : kWriteError;
  }
  if (r != kOk) {
    s->file->failed = true;
    return r;
  }
  if (samples_written)
    *samples_written = samples;
  if (bytes_written)
    *bytes_written = bytes;
  return kOk;
}

void OutStreamRelease(OutStream *) {
  // Streams belong to their file until it is finished.
}

int32_t FileRelease(OutFile *file) {
  if (!file)
    return kBadArgs;
  std::unique_ptr<OutFile> f(file);
  bool ok = !f->failed;
  for (auto &s : f->streams)
    if (s->is_compressed && s->enc && s->has_format)
      ok = ff().avcodec_send_frame(s->enc.get(), nullptr) >= 0 && drain(*s) && ok;
  if (!f->header_written)
    ok = start_file(*f) && ok;
  if (f->header_written)
    ok = ff().av_write_trailer(f->fmt) >= 0 && ok;
  ok = f->flush() && ok;
  return ok ? kOk : kWriteError;
}

namespace {
// Encoders that drive a graphics device or another system's media layer,
// which a file converter cannot count on.
bool device_encoder(const AVCodec *c) {
  static constexpr const char *kDevices[] = {"_vaapi", "_qsv",          "_nvenc",  "_v4l2m2m", "_omx",        "_amf",
                                             "_mf",    "_videotoolbox", "_vulkan", "_cuvid",   "_mediacodec", "_rkmpp"};
  if (c->capabilities & AV_CODEC_CAP_HARDWARE)
    return true;
  for (const char *d : kDevices)
    if (std::strstr(c->name, d))
      return true;
  return false;
}
} // namespace

std::vector<EncoderInfo> VideoEncoders() {
  std::vector<EncoderInfo> list;
  if (!start_libraries())
    return list;
  const AVOutputFormat *avi = ff().av_guess_format("avi", nullptr, nullptr);
  void *it = nullptr;
  while (const AVCodec *c = ff().av_codec_iterate(&it)) {
    if (!ff().av_codec_is_encoder(c) || c->type != AVMEDIA_TYPE_VIDEO || !c->pix_fmts)
      continue;
    if (c->capabilities & (AV_CODEC_CAP_EXPERIMENTAL | AV_CODEC_CAP_HARDWARE))
      continue;
    if (!avi || ff().avformat_query_codec(avi, c->id, FF_COMPLIANCE_NORMAL) != 1 || device_encoder(c))
      continue;
    list.push_back({c->name, c->long_name ? c->long_name : c->name});
  }
  return list;
}

} // namespace vex::movie
