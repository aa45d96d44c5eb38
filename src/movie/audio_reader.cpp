// A movie's sound track by sample frame: decoded and converted to the
// PCM layout the sound source consumes (8-bit unsigned or 16-bit signed,
// mono or stereo, the track's own rate).
#include <algorithm>
#include <cstring>

#include "movie/ffmpeg_api.h"

#include "movie/media_reader.h"

namespace vex::movie {

namespace {
constexpr int kMaxRate = 768000;

// Sample frames decoded ahead of a jump's target. Decoders that carry
// state from packet to packet (overlapping transforms, MP3's bit
// reservoir, which reaches back up to 511 bytes) give the samples of a
// read from the start once they have seen this much; plain PCM needs none.
constexpr int64_t kPrerollSamples = 8192;
constexpr int64_t kPrerollFrames = 8;
// A jump forward by at most this many seconds decodes on instead of
// seeking: cheap, and exactly the samples of an unbroken read even where a
// decoder's state never converges after a seek (AAC's noise substitution
// draws from one generator for the whole track).
constexpr int64_t kDecodeOnSeconds = 10;

bool plain_pcm(AVCodecID id) { return id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT; }
} // namespace

std::unique_ptr<AudioReader> AudioReader::open(const file::ByteSource &source, Container c, int n) {
  std::unique_ptr<AudioReader> r(new AudioReader);
  r->source_ = source;
  r->container_ = c;
  r->fmt_ = open_container(source, c);
  if (!r->fmt_)
    return nullptr;
  r->stream_ = find_stream(r->fmt_.get(), AVMEDIA_TYPE_AUDIO, n);
  if (r->stream_ < 0 || !r->start_decoder() || !r->find_origin())
    return nullptr;
  r->length_ = r->measure_length();
  if (!r->restart())
    return nullptr;
  return r;
}

AudioReader::~AudioReader() = default;

// A decoder as a first read gets it. Flushing one is not the same: some
// keep state across a flush (the AAC decoder's output differs by a few
// levels afterwards), so every start and every jump takes a fresh one.
bool AudioReader::open_decoder() {
  const AVStream *st = fmt_->streams[stream_];
  const AVCodecParameters *par = st->codecpar;
  const AVCodec *codec = ff().avcodec_find_decoder(par->codec_id);
  if (!codec)
    return false;
  CodecPtr dec(ff().avcodec_alloc_context3(codec));
  if (!dec || ff().avcodec_parameters_to_context(dec.get(), par) < 0)
    return false;
  dec->thread_count = 1;
  // With the packet time base the decoder moves a frame's time stamp past
  // the samples it drops, so stamps and delivered samples agree.
  dec->pkt_timebase = st->time_base;
  if (ff().avcodec_open2(dec.get(), codec, nullptr) < 0)
    return false;
  dec_ = std::move(dec);
  return true;
}

bool AudioReader::start_decoder() {
  const AVStream *st = fmt_->streams[stream_];
  const AVCodecParameters *par = st->codecpar;
  if (par->sample_rate <= 0 || par->sample_rate > kMaxRate || par->ch_layout.nb_channels <= 0 ||
      st->time_base.num <= 0 || st->time_base.den <= 0 || !open_decoder())
    return false;
  const AVSampleFormat sf = dec_->sample_fmt;
  bits_ = (sf == AV_SAMPLE_FMT_U8 || sf == AV_SAMPLE_FMT_U8P) ? 8 : 16;
  channels_ = dec_->ch_layout.nb_channels >= 2 ? 2 : 1;
  rate_ = static_cast<uint32_t>(par->sample_rate);
  start_time_ = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
  preroll_ = plain_pcm(par->codec_id) ? 0 : std::max<int64_t>(kPrerollSamples, kPrerollFrames * par->frame_size);
  if (!set_up_converter(dec_->ch_layout, sf))
    return false;
  frame_.reset(ff().av_frame_alloc());
  packet_.reset(ff().av_packet_alloc());
  return frame_ && packet_;
}

// A converter from the given channels and sample format to the delivered
// layout, at the track's rate. On failure the one before stays.
bool AudioReader::set_up_converter(const AVChannelLayout &layout, int sample_format) {
  AVChannelLayout in_layout{}, out_layout{};
  if (layout.nb_channels <= 0)
    return false;
  if (layout.order == AV_CHANNEL_ORDER_UNSPEC)
    ff().av_channel_layout_default(&in_layout, layout.nb_channels);
  else if (ff().av_channel_layout_copy(&in_layout, &layout) < 0)
    return false;
  ff().av_channel_layout_default(&out_layout, static_cast<int>(channels_));
  SwrContext *made = nullptr;
  const int rate = static_cast<int>(rate_);
  const int ok = ff().swr_alloc_set_opts2(&made, &out_layout, bits_ == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16, rate,
                                          &in_layout, static_cast<AVSampleFormat>(sample_format), rate, 0, nullptr);
  ff().av_channel_layout_uninit(&in_layout);
  ff().av_channel_layout_uninit(&out_layout);
  SwrPtr swr(made);
  if (ok < 0 || ff().swr_init(swr.get()) < 0)
    return false;
  swr_ = std::move(swr);
  in_format_ = sample_format;
  in_channels_ = layout.nb_channels;
  return true;
}

// Whether the converter takes frame_ as it is. A decoder may change the
// channel count or the sample format between frames (an MP3 track that
// goes from stereo to mono, or a damaged one), and the converter is then
// set up again for the frame; a converter set up for other channels would
// read planes the frame does not have. A frame at another rate is not
// taken: positions count sample frames at the track's rate.
bool AudioReader::converter_takes_frame() {
  if (frame_->sample_rate != 0 && frame_->sample_rate != static_cast<int>(rate_))
    return false;
  if (frame_->format == in_format_ && frame_->ch_layout.nb_channels == in_channels_)
    return true;
  return frame_->format >= 0 && set_up_converter(frame_->ch_layout, frame_->format);
}

// Back to sample frame 0 on a fresh demuxer over a copy of the source: it
// then hands the decoder the same start-up skip as a first read, which a
// seek does not repeat.
bool AudioReader::restart() {
  FormatPtr again = open_container(source_, container_);
  positioned_ = again && static_cast<unsigned>(stream_) < again->nb_streams &&
                again->streams[stream_]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
  if (positioned_)
    fmt_ = std::move(again);
  pending_.clear();
  at_end_ = false;
  resync_ = true;
  next_sample_ = 0;
  read_pos_ = 0;
  ff().swr_init(swr_.get()); // forget samples of the old position
  positioned_ = positioned_ && open_decoder();
  return positioned_;
}

bool AudioReader::seek(uint64_t position) {
  if (static_cast<int64_t>(position) <= preroll_)
    return restart();
  const AVStream *st = fmt_->streams[stream_];
  const int64_t ts = start_time_ + ff().av_rescale_q(static_cast<int64_t>(position) - preroll_,
                                                     AVRational{1, static_cast<int>(rate_)}, st->time_base);
  pending_.clear();
  at_end_ = false;
  resync_ = true;
  ff().swr_init(swr_.get());
  positioned_ = open_decoder() && ff().av_seek_frame(fmt_.get(), stream_, ts, AVSEEK_FLAG_BACKWARD) >= 0;
  // Without an index to seek by, read forward from the start.
  return positioned_ || restart();
}

// Sample frame 0 is the first one a decoder delivers from the top of the
// track. Its time stamp is usually the stream's start time, but a decoder
// may drop samples that neither the container nor the packets announce
// (the AAC decoder drops the priming of an encoder that names itself in
// the first packet, and stamps its first frame past it): the stamps are
// then counted from that first frame's. Leaves the reader at the top.
bool AudioReader::find_origin() {
  resync_ = true;
  at_end_ = false;
  next_sample_ = 0;
  origin_ = 0;
  int64_t position = 0;
  if (next_frame(position))
    origin_ = position;
  ff().av_frame_unref(frame_.get());
  return restart();
}

// The next decoded frame in frame_ and the sample frame it starts at. The
// first frame after a start or a jump is placed by its time stamp; the
// ones after it follow on without gaps, as the decoder delivers them.
bool AudioReader::next_frame(int64_t &position) {
  for (;;) {
    if (ff().avcodec_receive_frame(dec_.get(), frame_.get()) == 0) {
      if (resync_) {
        int64_t t = frame_->best_effort_timestamp;
        if (t == AV_NOPTS_VALUE)
          t = frame_->pts;
        if (t != AV_NOPTS_VALUE)
          next_sample_ = ff().av_rescale_q(t - start_time_, fmt_->streams[stream_]->time_base,
                                           AVRational{1, static_cast<int>(rate_)}) -
                         origin_;
        resync_ = false;
      }
      position = next_sample_;
      next_sample_ += frame_->nb_samples;
      return true;
    }
    if (at_end_)
      return false;
    if (ff().av_read_frame(fmt_.get(), packet_.get()) < 0) {
      at_end_ = true;
      ff().avcodec_send_packet(dec_.get(), nullptr); // drain what is held back
      continue;
    }
    if (packet_->stream_index == stream_)
      ff().avcodec_send_packet(dec_.get(), packet_.get()); // damaged packets are skipped
    ff().av_packet_unref(packet_.get());
  }
}

// Sample frames of the whole track: where the last decoded frame ends.
// Decodes only the last stretch when the demuxer has an index to jump by.
uint64_t AudioReader::measure_length() {
  AVStream *st = fmt_->streams[stream_];
  const int entries = ff().avformat_index_get_entries_count(st);
  resync_ = true;
  at_end_ = false;
  next_sample_ = 0;
  if (entries > 0) {
    const AVIndexEntry *last = ff().avformat_index_get_entry(st, entries - 1);
    const int64_t back = ff().av_rescale_q(preroll_, AVRational{1, static_cast<int>(rate_)}, st->time_base);
    // A failed jump leaves the whole track to decode from a fresh start.
    if (last && last->timestamp - back > start_time_ &&
        ff().av_seek_frame(fmt_.get(), stream_, last->timestamp - back, AVSEEK_FLAG_BACKWARD) < 0 && !restart())
      return 0;
  }
  int64_t end = 0, position = 0;
  while (next_frame(position)) {
    end = std::max(end, position + frame_->nb_samples);
    ff().av_frame_unref(frame_.get());
  }
  return static_cast<uint64_t>(std::max<int64_t>(end, 0));
}

// Converts the next decoded frame into pending_; false at the end.
bool AudioReader::decode_more() {
  int64_t position = 0;
  while (next_frame(position)) {
    const int room = converter_takes_frame() ? ff().swr_get_out_samples(swr_.get(), frame_->nb_samples) : 0;
    int n = 0;
    if (room > 0) {
      if (pending_.empty())
        pending_start_ = position;
      const size_t used = pending_.size();
      pending_.resize(used + static_cast<size_t>(room) * frame_bytes());
      uint8_t *out = pending_.data() + used;
      n = ff().swr_convert(swr_.get(), &out, room, const_cast<const uint8_t **>(frame_->extended_data),
                           frame_->nb_samples);
      pending_.resize(used + static_cast<size_t>(std::max(n, 0)) * frame_bytes());
    }
    ff().av_frame_unref(frame_.get());
    if (n > 0)
      return true;
  }
  return false;
}

uint32_t AudioReader::read(uint64_t position, uint32_t count, uint8_t *out) {
  if (!out || count == 0 || position >= length_)
    return 0;
  count = static_cast<uint32_t>(std::min<uint64_t>(count, length_ - position));
  const bool decode_on = positioned_ && position >= read_pos_ && position - read_pos_ <= kDecodeOnSeconds * rate_;
  if (!decode_on && !seek(position))
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

const char *AudioReader::codec_name() const {
  return ff().avcodec_get_name(fmt_->streams[stream_]->codecpar->codec_id);
}

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
    frames = ff().av_rescale_q(duration, st->time_base, av_inv_q(st->avg_frame_rate));
  if (frames <= 0 || duration <= 0 || frames > INT32_MAX || duration > INT64_MAX / st->time_base.num)
    return false;
  int n = 0, d = 0;
  ff().av_reduce(&n, &d, frames * st->time_base.den, duration * st->time_base.num, INT32_MAX);
  if (n <= 0 || d <= 0)
    return false;
  *num = static_cast<uint32_t>(n);
  *den = static_cast<uint32_t>(d);
  return true;
}

} // namespace vex::movie
