// A movie's video track by frame index: the samples are listed once at
// open (time stamps, sizes, key flags, whether they are presented), so
// frame i is known exactly and a jump only decodes from the nearest key
// frame. Samples the demuxer marks to be discarded (outside the track's
// edit list) are decoded when later ones need them but are no frames.
#include <algorithm>
#include <numeric>

#include "movie/ffmpeg_api.h"

#include "movie/media_reader.h"
#include "util/open_progress.h"
#include "util/status.h"

namespace vex::movie {

namespace {
int64_t sample_time(const AVPacket *p, int64_t previous) {
  if (p->pts != AV_NOPTS_VALUE)
    return p->pts;
  if (p->dts != AV_NOPTS_VALUE)
    return p->dts;
  return previous == INT64_MIN ? 0 : previous + 1;
}
} // namespace

std::unique_ptr<VideoReader> VideoReader::open(const file::ByteSource &source, Container c) {
  std::unique_ptr<VideoReader> r(new VideoReader);
  if (!r->scan(source, c) || !r->start_decoder())
    return nullptr;
  return r;
}

VideoReader::~VideoReader() = default;

// Lists every sample of the first video track, then opens a second
// demuxer on the source so that decoding starts from a clean one.
bool VideoReader::scan(const file::ByteSource &source, Container c) {
  source_ = source;
  container_ = c;
  FormatPtr f = open_container(source_, c);
  Listing listing;
  if (!f || !find_track(*f) || !list_samples(*f, listing))
    return false;
  if (samples_.empty()) { // a reader that sees no frames says why, not "no movie"
    util::fail(util::Status::kUnsupported, "the video track holds no frames");
    return false;
  }
  // Without presentation stamps (AVI) and with reordering, the decoder's
  // pictures carry no usable stamps either: frames are then counted as
  // they come out, from the decoding index of the key frame a decode
  // starts at (a key frame is shown after every sample before it).
  counted_ = !listing.stamped && f->streams[stream_]->codecpar->video_delay > 0;
  if (counted_)
    for (size_t k = 0; k < samples_.size(); ++k)
      samples_[k].pts = static_cast<int64_t>(k);
  index_keys();
  take_sound_facts(*f, listing);
  return order_frames() && take_timing(*f->streams[stream_], listing.last_duration) && open_demuxer();
}

// The first sound track's codec, rate, width as delivered, channels and
// length: the stream's own length, else the span of its packets.
void VideoReader::take_sound_facts(const AVFormatContext &f, const Listing &listing) {
  if (sound_stream_ < 0)
    return;
  const AVStream *st = f.streams[sound_stream_];
  const AVCodecParameters *par = st->codecpar;
  facts_.has_sound = true;
  facts_.sound_codec = ff().avcodec_get_name(par->codec_id);
  facts_.sound_rate = par->sample_rate > 0 ? static_cast<uint32_t>(par->sample_rate) : 0;
  const auto format = static_cast<AVSampleFormat>(par->format);
  facts_.sound_bits = format == AV_SAMPLE_FMT_U8 || format == AV_SAMPLE_FMT_U8P ? 8 : 16;
  facts_.sound_channels = par->ch_layout.nb_channels > 0 ? static_cast<uint32_t>(par->ch_layout.nb_channels) : 0;
  int64_t length = st->duration != AV_NOPTS_VALUE && st->duration > 0 ? st->duration : 0;
  if (length == 0 && listing.sound_end > listing.sound_first)
    length = listing.sound_end - listing.sound_first;
  if (facts_.sound_rate > 0 && st->time_base.num > 0 && st->time_base.den > 0)
    facts_.sound_frames = static_cast<uint64_t>(
        std::max<int64_t>(ff().av_rescale_q(length, st->time_base, AVRational{1, par->sample_rate}), 0));
}

// The first video track, and whether the file has sound beside it.
bool VideoReader::find_track(const AVFormatContext &f) {
  stream_ = find_stream(&f, AVMEDIA_TYPE_VIDEO, 0);
  sound_stream_ = find_stream(&f, AVMEDIA_TYPE_AUDIO, 0);
  file_has_audio_ = sound_stream_ >= 0;
  return stream_ >= 0;
}

// Every sample of the track in decoding order, read to the end of the
// file; false when no packet can be had or the open around it is
// cancelled. A long movie takes a while: the progress is the share of
// the file read so far.
bool VideoReader::list_samples(AVFormatContext &f, Listing &listing) {
  PacketPtr p(ff().av_packet_alloc());
  if (!p)
    return false;
  util::OpenStep step("Counting frames in");
  int64_t previous = INT64_MIN;
  while (ff().av_read_frame(&f, p.get()) >= 0) {
    if (!step.at(static_cast<uint64_t>(std::max<int64_t>(f.pb ? ff().avio_seek(f.pb, 0, SEEK_CUR) : 0, 0)),
                 source_.size())) {
      ff().av_packet_unref(p.get());
      return false;
    }
    if (p->stream_index == stream_) {
      listing.stamped = listing.stamped || p->pts != AV_NOPTS_VALUE;
      const int64_t t = sample_time(p.get(), previous);
      const int64_t d = p->dts != AV_NOPTS_VALUE ? p->dts : t;
      samples_.push_back({t, d, static_cast<uint32_t>(std::max(p->size, 0)), (p->flags & AV_PKT_FLAG_KEY) != 0,
                          (p->flags & AV_PKT_FLAG_DISCARD) == 0});
      previous = t;
      if (p->duration > 0)
        listing.last_duration = p->duration;
    } else if (p->stream_index == sound_stream_ && p->pts != AV_NOPTS_VALUE) {
      listing.sound_first = std::min(listing.sound_first, p->pts);
      listing.sound_end = std::max(listing.sound_end, p->pts + std::max<int64_t>(p->duration, 0));
    }
    ff().av_packet_unref(p.get());
  }
  return true;
}

// The key samples and their presentation times, for key_before().
void VideoReader::index_keys() {
  for (size_t k = 0; k < samples_.size(); ++k)
    if (samples_[k].key) {
      keys_.push_back(k);
      key_pts_.push_back(samples_[k].pts);
    }
  keys_sorted_ = std::is_sorted(key_pts_.begin(), key_pts_.end());
}

// The frames: shown samples by presentation time (ties in decoding
// order); false when no sample is shown.
bool VideoReader::order_frames() {
  std::vector<size_t> idx(samples_.size());
  std::iota(idx.begin(), idx.end(), size_t{0});
  std::stable_sort(idx.begin(), idx.end(), [&](size_t a, size_t b) { return samples_[a].pts < samples_[b].pts; });
  for (size_t i : idx)
    if (samples_[i].shown) {
      order_.push_back(samples_[i].pts);
      order_bytes_.push_back(samples_[i].bytes);
    }
  return !order_.empty();
}

// The time unit and the length of the track: the stream's own length, or
// from the first frame to the end of the last sample.
bool VideoReader::take_timing(const AVStream &st, int64_t last_duration) {
  if (st.time_base.num <= 0 || st.time_base.den <= 0)
    return false;
  time_num_ = st.time_base.num;
  time_den_ = st.time_base.den;
  duration_ =
      st.duration != AV_NOPTS_VALUE && st.duration > 0 ? st.duration : order_.back() - order_.front() + last_duration;
  duration_ = std::max<int64_t>(duration_, 1);
  return true;
}

// The demuxer that decoding reads from, on the source scan() listed; none
// when the source no longer holds the track there.
bool VideoReader::open_demuxer() {
  fmt_ = open_container(source_, container_);
  if (fmt_ && static_cast<unsigned>(stream_) < fmt_->nb_streams &&
      fmt_->streams[stream_]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
    return true;
  fmt_.reset();
  return false;
}

bool VideoReader::start_decoder() {
  const AVCodecParameters *par = fmt_->streams[stream_]->codecpar;
  if (par->width <= 0 || par->height <= 0 || par->width > kMaxMovieSide || par->height > kMaxMovieSide)
    return false;
  const AVCodec *codec = ff().avcodec_find_decoder(par->codec_id);
  if (!codec)
    return false;
  dec_.reset(ff().avcodec_alloc_context3(codec));
  if (!dec_ || ff().avcodec_parameters_to_context(dec_.get(), par) < 0)
    return false;
  dec_->thread_count = 1; // deterministic, and the machine is shared
  if (ff().avcodec_open2(dec_.get(), codec, nullptr) < 0)
    return false;
  frame_.reset(ff().av_frame_alloc());
  work_.reset(ff().av_frame_alloc());
  packet_.reset(ff().av_packet_alloc());
  if (!frame_ || !work_ || !packet_)
    return false;
  width_ = par->width;
  height_ = par->height;
  codec_tag_ = par->codec_tag;
  facts_.codec = ff().avcodec_get_name(par->codec_id);
  const auto pix = static_cast<AVPixelFormat>(par->format);
  palettised_ = pix == AV_PIX_FMT_PAL8;
  const AVPixFmtDescriptor *desc = ff().av_pix_fmt_desc_get(pix);
  has_alpha_ = desc && (desc->flags & AV_PIX_FMT_FLAG_ALPHA);
  return true;
}

uint32_t VideoReader::frame_bytes(int i) const {
  if (i < 0 || static_cast<size_t>(i) >= order_bytes_.size())
    return 0;
  return order_bytes_[static_cast<size_t>(i)];
}

bool VideoReader::seek_to(size_t sample) {
  have_frame_ = false;
  at_end_ = false;
  fed_dts_ = INT64_MIN;
  next_output_ = static_cast<int64_t>(sample);
  ff().avcodec_flush_buffers(dec_.get());
  return ff().av_seek_frame(fmt_.get(), stream_, samples_[sample].dts, AVSEEK_FLAG_BACKWARD) >= 0;
}

// A fresh demuxer (on a copy of the same source) and decoder at the top of
// the file: the palette is the one the file starts with again. A failure
// (the file changed since, or unreadable) leaves no demuxer, and no frame
// decodes from then on.
bool VideoReader::restart() {
  have_frame_ = false;
  at_end_ = false;
  fed_dts_ = INT64_MIN;
  next_output_ = 0;
  if (open_demuxer() && start_decoder())
    return true;
  fmt_.reset();
  return false;
}

// Feeds samples until a picture with a time stamp at or after `target`
// comes out; at the end of the track the last picture stands.
bool VideoReader::decode_until(int64_t target) {
  for (;;) {
    while (ff().avcodec_receive_frame(dec_.get(), work_.get()) == 0) {
      if (work_->flags & AV_FRAME_FLAG_DISCARD) { // decoded only for the frames after it
        ff().av_frame_unref(work_.get());
        continue;
      }
      int64_t t = counted_ ? next_output_++ : work_->best_effort_timestamp;
      if (t == AV_NOPTS_VALUE)
        t = work_->pts;
      if (t == AV_NOPTS_VALUE)
        t = have_frame_ ? frame_time_ + 1 : target;
      ff().av_frame_unref(frame_.get());
      ff().av_frame_move_ref(frame_.get(), work_.get());
      have_frame_ = true;
      frame_time_ = t;
      if (t >= target)
        return true;
    }
    if (at_end_)
      return have_frame_;
    const int r = ff().av_read_frame(fmt_.get(), packet_.get());
    if (r < 0) {
      at_end_ = true;
      ff().avcodec_send_packet(dec_.get(), nullptr); // drain what is held back
      continue;
    }
    if (packet_->stream_index == stream_) {
      fed_dts_ = sample_time(packet_.get(), fed_dts_);
      // A damaged sample is skipped; the decoder carries on with the next.
      ff().avcodec_send_packet(dec_.get(), packet_.get());
    }
    ff().av_packet_unref(packet_.get());
  }
}

// The last key sample (decoding order) that is shown no later than the
// target: it starts the shortest decode that reaches the target.
size_t VideoReader::key_before(int64_t target) const {
  if (keys_sorted_) {
    const auto it = std::upper_bound(key_pts_.begin(), key_pts_.end(), target);
    return it == key_pts_.begin() ? 0 : keys_[static_cast<size_t>(it - key_pts_.begin()) - 1];
  }
  size_t key = 0;
  for (size_t k = 0; k < keys_.size(); ++k)
    if (key_pts_[k] <= target)
      key = keys_[k];
  return key;
}

void VideoReader::facts(MovieFacts &out) {
  if (!first_colour_known_ && !palettised_)
    frame(0);
  out = facts_;
}

const AVFrame *VideoReader::frame(int i) {
  const AVFrame *f = find_frame(i);
  if (f && !first_colour_known_ && std::clamp(i, 0, frame_count() - 1) == 0) {
    facts_.colour = picture_colour_of(f);
    first_colour_known_ = true;
  }
  return f;
}

const AVFrame *VideoReader::find_frame(int i) {
  if (order_.empty() || !fmt_)
    return nullptr;
  i = std::clamp(i, 0, frame_count() - 1);
  const int64_t target = order_[static_cast<size_t>(i)];
  if (have_frame_ && frame_time_ == target)
    return frame_.get();
  const bool fresh = fed_dts_ == INT64_MIN && !have_frame_ && !at_end_;
  if (palettised_) {
    const bool ahead = have_frame_ ? frame_time_ < target && !at_end_ : fresh;
    if (!ahead && !restart())
      return nullptr;
    return decode_until(target) ? frame_.get() : nullptr;
  }
  const size_t key = key_before(target);
  // Forward from the picture decoded last, even once the whole track has
  // been fed: a drained decoder still hands out the pictures it held back
  // (the last ones of a track with reordered pictures).
  const bool forward = have_frame_ && frame_time_ < target && samples_[key].dts <= fed_dts_;
  if (!(fresh && key == 0) && !forward && !seek_to(key))
    return nullptr;
  return decode_until(target) ? frame_.get() : nullptr;
}

bool VideoReader::convert(const AVFrame *f, int bits, uint8_t *dest, int pitch, uint8_t (*palette)[4]) {
  if (!f || !dest || f->width <= 0 || f->height <= 0)
    return false;
  const bool indexed_source = f->format == AV_PIX_FMT_PAL8;
  if (palette && indexed_source && f->data[1])
    std::memcpy(palette, f->data[1], 256 * 4); // native 0xAARRGGBB: bytes B, G, R, A
  if (bits == 8) {
    if (!indexed_source || f->width != width_ || f->height != height_)
      return false;
    for (int y = 0; y < height_; ++y)
      std::memcpy(dest + static_cast<ptrdiff_t>(y) * pitch, f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0],
                  static_cast<size_t>(width_));
    return true;
  }
  return converter_.convert(f, bits, width_, height_, dest, pitch);
}

bool VideoReader::convert_into(const AVFrame *f, int bits, bool keep_fourth, uint8_t *dest, ptrdiff_t pitch) {
  // A picture of another size than the track's is scaled by `convert`.
  if (!f || palettised_ || f->format == AV_PIX_FMT_PAL8 || f->width != width_ || f->height != height_)
    return false;
  return converter_.convert_into(f, bits, keep_fourth, dest, pitch);
}

} // namespace vex::movie
