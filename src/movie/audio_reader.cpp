// A movie's sound track by sample frame: decoded and converted to the
// PCM layout the sound source consumes (8-bit unsigned or 16-bit signed,
// mono or stereo, the track's own rate).
#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "movie/media_reader.h"

namespace vex::movie {

namespace {
constexpr int kMaxRate = 768000;

uint64_t scan_length(const char *name, Container c, int stream, uint32_t rate) {
  FormatPtr f = open_container(name, c);
  if (!f || static_cast<unsigned>(stream) >= f->nb_streams)
    return 0;
  const AVRational tb = f->streams[stream]->time_base;
  PacketPtr p(av_packet_alloc());
  int64_t sum = 0;
  while (p && av_read_frame(f.get(), p.get()) >= 0) {
    if (p->stream_index == stream && p->duration > 0)
      sum += p->duration;
    av_packet_unref(p.get());
  }
  return sum > 0 ? static_cast<uint64_t>(av_rescale_q(sum, tb, AVRational{1, static_cast<int>(rate)})) : 0;
}
} // namespace

std::unique_ptr<AudioReader> AudioReader::open(const char *name, Container c, int n) {
  std::unique_ptr<AudioReader> r(new AudioReader);
  r->fmt_ = open_container(name, c);
  if (!r->fmt_)
    return nullptr;
  r->stream_ = find_stream(r->fmt_.get(), AVMEDIA_TYPE_AUDIO, n);
  if (r->stream_ < 0)
    return nullptr;
  const AVStream *st = r->fmt_->streams[r->stream_];
  const AVCodecParameters *par = st->codecpar;
  const AVCodec *codec = avcodec_find_decoder(par->codec_id);
  if (!codec || par->sample_rate <= 0 || par->sample_rate > kMaxRate || par->ch_layout.nb_channels <= 0 ||
      st->time_base.num <= 0 || st->time_base.den <= 0)
    return nullptr;
  r->dec_.reset(avcodec_alloc_context3(codec));
  if (!r->dec_ || avcodec_parameters_to_context(r->dec_.get(), par) < 0)
    return nullptr;
  r->dec_->thread_count = 1;
  if (avcodec_open2(r->dec_.get(), codec, nullptr) < 0)
    return nullptr;
  const AVSampleFormat sf = r->dec_->sample_fmt;
  r->bits_ = (sf == AV_SAMPLE_FMT_U8 || sf == AV_SAMPLE_FMT_U8P) ? 8 : 16;
  const int in_channels = r->dec_->ch_layout.nb_channels;
  r->channels_ = in_channels >= 2 ? 2 : 1;
  r->rate_ = static_cast<uint32_t>(par->sample_rate);
  r->pcm_ = par->codec_id == AV_CODEC_ID_PCM_U8 || par->codec_id == AV_CODEC_ID_PCM_S16LE;
  r->codec_tag_ = par->codec_tag;
  r->stored_channels_ = static_cast<uint32_t>(in_channels);
  r->stored_bits_ = static_cast<uint32_t>(par->bits_per_coded_sample > 0 ? par->bits_per_coded_sample : r->bits_);
  r->stored_align_ = r->pcm_ ? static_cast<uint32_t>(in_channels) * (r->bits_ / 8) : 0;
  r->start_time_ = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
  if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
    r->length_ = static_cast<uint64_t>(av_rescale_q(st->duration, st->time_base, AVRational{1, par->sample_rate}));
  else
    r->length_ = scan_length(name, c, r->stream_, r->rate_);

  AVChannelLayout in_layout{}, out_layout{};
  if (r->dec_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
    av_channel_layout_default(&in_layout, in_channels);
  else if (av_channel_layout_copy(&in_layout, &r->dec_->ch_layout) < 0)
    return nullptr;
  av_channel_layout_default(&out_layout, static_cast<int>(r->channels_));
  SwrContext *swr = nullptr;
  const int ok = swr_alloc_set_opts2(&swr, &out_layout, r->bits_ == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16,
                                     par->sample_rate, &in_layout, sf, par->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&in_layout);
  av_channel_layout_uninit(&out_layout);
  r->swr_.reset(swr);
  if (ok < 0 || swr_init(swr) < 0)
    return nullptr;
  r->frame_.reset(av_frame_alloc());
  r->packet_.reset(av_packet_alloc());
  if (!r->frame_ || !r->packet_)
    return nullptr;
  r->name_ = name;
  r->container_ = c;
  r->positioned_ = true; // a fresh demuxer stands at sample 0
  return r;
}

AudioReader::~AudioReader() = default;

bool AudioReader::seek(uint64_t position) {
  const AVStream *st = fmt_->streams[stream_];
  const int64_t ts =
      start_time_ + av_rescale_q(static_cast<int64_t>(position), AVRational{1, static_cast<int>(rate_)}, st->time_base);
  pending_.clear();
  at_end_ = false;
  resync_ = true;
  avcodec_flush_buffers(dec_.get());
  swr_init(swr_.get()); // forget samples of the old position
  if (position == 0) {
    // The start is reached by opening afresh: the demuxer then hands the
    // decoder the same start-up hints (encoder delay to skip) as a first
    // read, which a seek does not always repeat.
    FormatPtr again = open_container(name_.c_str(), container_);
    positioned_ = again && static_cast<unsigned>(stream_) < again->nb_streams;
    if (positioned_)
      fmt_ = std::move(again);
    return positioned_;
  }
  positioned_ = av_seek_frame(fmt_.get(), stream_, ts, AVSEEK_FLAG_BACKWARD) >= 0;
  return positioned_;
}

// Converts the frames the decoder has ready into pending_.
bool AudioReader::take_frames() {
  bool got = false;
  while (avcodec_receive_frame(dec_.get(), frame_.get()) == 0) {
    if (resync_) {
      int64_t t = frame_->best_effort_timestamp;
      if (t == AV_NOPTS_VALUE)
        t = frame_->pts;
      if (t != AV_NOPTS_VALUE)
        next_sample_ = av_rescale_q(t - start_time_, fmt_->streams[stream_]->time_base,
                                    AVRational{1, static_cast<int>(rate_)});
      resync_ = false;
    }
    const int room = swr_get_out_samples(swr_.get(), frame_->nb_samples);
    if (room > 0) {
      if (pending_.empty())
        pending_start_ = next_sample_;
      const size_t used = pending_.size();
      pending_.resize(used + static_cast<size_t>(room) * frame_bytes());
      uint8_t *out = pending_.data() + used;
      const int n = swr_convert(swr_.get(), &out, room, const_cast<const uint8_t **>(frame_->extended_data),
                                frame_->nb_samples);
      pending_.resize(used + static_cast<size_t>(std::max(n, 0)) * frame_bytes());
      if (n > 0) {
        next_sample_ += n;
        got = true;
      }
    }
    av_frame_unref(frame_.get());
  }
  return got;
}

bool AudioReader::decode_more() {
  for (;;) {
    if (take_frames())
      return true;
    if (at_end_)
      return false;
    if (av_read_frame(fmt_.get(), packet_.get()) < 0) {
      at_end_ = true;
      avcodec_send_packet(dec_.get(), nullptr);
      continue;
    }
    if (packet_->stream_index == stream_)
      avcodec_send_packet(dec_.get(), packet_.get()); // damaged packets are skipped
    av_packet_unref(packet_.get());
  }
}

uint32_t AudioReader::read(uint64_t position, uint32_t count, uint8_t *out) {
  if (!out || count == 0)
    return 0;
  if ((!positioned_ || position != read_pos_) && !seek(position))
    return 0;
  const size_t fb = frame_bytes();
  const uint8_t silence = bits_ == 8 ? 0x80 : 0;
  uint32_t done = 0;
  while (done < count) {
    const int64_t want = static_cast<int64_t>(position + done);
    const int64_t have = static_cast<int64_t>(pending_.size() / fb);
    if (!pending_.empty() && want < pending_start_) {
      // A hole before the next decoded samples is heard as silence.
      const auto gap = static_cast<uint32_t>(std::min<int64_t>(pending_start_ - want, count - done));
      std::memset(out + done * fb, silence, gap * fb);
      done += gap;
      continue;
    }
    if (!pending_.empty() && want < pending_start_ + have) {
      const int64_t skip = want - pending_start_;
      const auto n = static_cast<uint32_t>(std::min<int64_t>(have - skip, count - done));
      std::memcpy(out + done * fb, pending_.data() + static_cast<size_t>(skip) * fb, n * fb);
      done += n;
      // Drop what has been delivered so that pending_ stays small.
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>((static_cast<size_t>(skip) + n) * fb));
      pending_start_ += skip + n;
      continue;
    }
    pending_.clear();
    if (!decode_more())
      break;
  }
  read_pos_ = position + done;
  return done;
}

} // namespace vex::movie

namespace vex::movie {

bool AudioReader::video_rate(uint32_t *num, uint32_t *den) const {
  const int v = find_stream(fmt_.get(), AVMEDIA_TYPE_VIDEO, 0);
  if (v < 0)
    return false;
  const AVStream *st = fmt_->streams[v];
  if (st->time_base.num <= 0 || st->time_base.den <= 0)
    return false;
  int64_t frames = st->nb_frames;
  const int64_t duration = st->duration != AV_NOPTS_VALUE ? st->duration : 0;
  if (frames <= 0 && duration > 0 && st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0)
    frames = av_rescale_q(duration, st->time_base, av_inv_q(st->avg_frame_rate));
  if (frames <= 0 || duration <= 0 || frames > INT32_MAX || duration > INT64_MAX / st->time_base.num)
    return false;
  int n = 0, d = 0;
  av_reduce(&n, &d, frames * st->time_base.den, duration * st->time_base.num, INT32_MAX);
  if (n <= 0 || d <= 0)
    return false;
  *num = static_cast<uint32_t>(n);
  *den = static_cast<uint32_t>(d);
  return true;
}

} // namespace vex::movie
