// Movie reading over libavformat/libavcodec: one video track addressed by
// frame index, one sound track addressed by sample frame. Both readers own
// their demuxer, so the pictures and the sound of one file can be read
// independently. They read a byte source the caller opened, never a file
// by name: each demuxer a reader needs reads its own copy of that source
// (a memory source's bytes must outlive the reader). No call throws;
// failures come back as null or 0.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "file/byte_source.h"
#include "movie/picture_converter.h"

extern "C" {
struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct AVChannelLayout;
}

namespace vex::movie {

// The largest side of a movie picture, read or written. Larger pictures
// would make pitch x height overflow 32 bits at 4 bytes per pixel; no
// movie the readers meet comes near. Kept apart from the shared limits
// (util/limits.h: 32767 per side, 2^26 pixels) because QTFile, the AVI
// reader and VEXAVI callers have always been allowed 16384 x 16384 and
// refused beyond it, and that is what their callers see.
inline constexpr int32_t kMaxMovieSide = 16384;

// Which demuxer may take the file: AVI files only, the QuickTime family
// (mov, mp4, m4a, 3gp) only, or whatever the libraries recognise.
enum class Container { avi, quicktime, any };

// Loads FFmpeg's libraries and quiets their diagnostics, once per process;
// false, with the reason recorded, when they cannot be loaded.
bool start_libraries();

// One demuxer over a byte source, closed (with its I/O) on destruction.
struct FormatCloser {
  void operator()(AVFormatContext *f) const;
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
struct CodecCloser {
  void operator()(AVCodecContext *c) const;
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
struct FrameFree {
  void operator()(AVFrame *f) const;
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
struct PacketFree {
  void operator()(AVPacket *p) const;
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
struct SwrFree {
  void operator()(SwrContext *s) const;
};
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;

// A demuxer over a copy of `source` with its streams' information found;
// null when the source is not open or not a movie of the container.
FormatPtr open_container(const file::ByteSource &source, Container c);
// Index of the n-th stream of the type (0-based), or -1.
int find_stream(const AVFormatContext *f, int media_type, int n);

// What a movie's demuxer and decoders tell about its codings, for a
// description (GFileDescribe): names are libavcodec's (static text).
struct MovieFacts {
  const char *codec = ""; // of the pictures
  PictureColour colour;   // of the first picture
  bool has_sound = false; // the fields below describe the first sound track
  const char *sound_codec = "";
  uint32_t sound_rate = 0;
  uint32_t sound_bits = 0;     // as AudioReader delivers it: 8 for 8-bit tracks, else 16
  uint32_t sound_channels = 0; // as the track holds them
  uint64_t sound_frames = 0;   // the track's length as the container states it
};

// One compressed video sample, in decoding order.
struct VideoSample {
  int64_t pts; // presentation time in stream units
  int64_t dts; // decoding time, used for seeking
  uint32_t bytes;
  bool key;
  bool shown; // false: decoded for the samples after it, never presented
              // (outside the edit list, or marked to be discarded)
};

class VideoReader {
public:
  static std::unique_ptr<VideoReader> open(const file::ByteSource &source, Container c);
  ~VideoReader();

  int width() const { return width_; }
  int height() const { return height_; }
  // Frames a player shows, in presentation order: frame i is the i-th
  // smallest time stamp among the samples that are presented.
  int frame_count() const { return static_cast<int>(order_.size()); }
  // Stream time unit in seconds: time_num / time_den.
  int time_num() const { return time_num_; }
  int time_den() const { return time_den_; }
  // Length of the track in stream units (at least one unit per frame).
  int64_t duration() const { return duration_; }
  int64_t first_time() const { return order_.empty() ? 0 : order_.front(); }
  // The decoder delivers palette indices (8-bit) rather than colours.
  bool palettised() const { return palettised_; }
  bool has_alpha() const { return has_alpha_; }
  bool file_has_audio() const { return file_has_audio_; }
  uint32_t codec_tag() const { return codec_tag_; }
  // The codings of the movie; decodes the first picture when it has not
  // been decoded yet (the next frame() then decodes from wherever it must).
  void facts(MovieFacts &out);
  // Every sample in decoding order, presented or not.
  const std::vector<VideoSample> &samples() const { return samples_; }
  // Compressed size of the frame shown at presentation index i.
  uint32_t frame_bytes(int i) const;

  // Decoded picture of presentation index i; null when nothing decodes.
  // Stays valid until the next call. Sequential calls decode forward;
  // anything else seeks to the key frame at or before the target and
  // decodes from there, which gives the same picture as decoding from the
  // start because every frame after a key frame depends only on frames
  // after it. A palettised track is the exception: its palette is the
  // last change the file made before the sample (an AVI's palette-change
  // chunks sit between samples and a seek passes over them), so it is
  // always read through, and a jump back starts again from the file's top.
  const AVFrame *frame(int i);

  // Pixels of the decoded frame i converted to packed rows: 32-bit
  // blue-green-red-alpha, 24-bit blue-green-red (each picture with its own
  // colour matrix and range, see picture_converter.h), or 8-bit indices
  // (only for a palettised track). `pitch` may be negative (bottom-up target,
  // `dest` then points at the top row). Palette, when asked for and
  // available, as 256 x blue, green, red, alpha. False on failure.
  bool convert(const AVFrame *frame, int bits, uint8_t *dest, int pitch, uint8_t (*palette)[4]);
  // The same pixels as `convert` at `bits` (24 or 32), as 32-bit rows top
  // row first straight into a buffer of the caller's, the fourth byte kept
  // (32 bits only) or cleared; false when that cannot be done exactly
  // (see PictureConverter::convert_into) and `convert` is needed.
  bool convert_into(const AVFrame *frame, int bits, bool keep_fourth, uint8_t *dest, ptrdiff_t pitch);

private:
  // What listing the samples tells beyond the samples themselves.
  struct Listing {
    bool stamped = false;      // some sample has a presentation stamp
    int64_t last_duration = 1; // of the last sample that gave one
    // The sound track's packets: the span they cover in its units.
    int64_t sound_first = INT64_MAX, sound_end = INT64_MIN;
  };

  VideoReader() = default;
  bool scan(const file::ByteSource &source, Container c);
  bool find_track(const AVFormatContext &f);
  void take_sound_facts(const AVFormatContext &f, const Listing &listing);
  bool list_samples(AVFormatContext &f, Listing &listing);
  void index_keys();
  bool order_frames();
  bool take_timing(const AVStream &st, int64_t last_duration);
  bool open_demuxer();
  bool start_decoder();
  bool seek_to(size_t sample);
  bool restart();
  bool decode_until(int64_t target);
  size_t key_before(int64_t target) const;
  const AVFrame *find_frame(int i);

  file::ByteSource source_; // the movie, read again by open_demuxer()
  Container container_ = Container::any;
  FormatPtr fmt_;
  CodecPtr dec_;
  FramePtr frame_, work_;
  PacketPtr packet_;
  PictureConverter converter_;
  int stream_ = -1;
  int width_ = 0, height_ = 0;
  int time_num_ = 1, time_den_ = 1;
  int64_t duration_ = 0;
  bool palettised_ = false, has_alpha_ = false, file_has_audio_ = false;
  uint32_t codec_tag_ = 0;
  int sound_stream_ = -1; // the first sound track, or -1
  MovieFacts facts_;      // all but the first picture's colour, from the scan
  bool first_colour_known_ = false;
  std::vector<VideoSample> samples_;
  std::vector<int64_t> order_;        // presentation times of shown samples, sorted
  std::vector<uint32_t> order_bytes_; // sample sizes in that order
  std::vector<size_t> keys_;          // decoding-order indices of key samples
  std::vector<int64_t> key_pts_;      // their presentation times
  bool keys_sorted_ = true;
  bool have_frame_ = false;     // frame_ holds a decoded picture
  int64_t frame_time_ = 0;      // its time stamp
  int64_t fed_dts_ = INT64_MIN; // last sample given to the decoder
  bool at_end_ = false;         // decoder drained
  bool counted_ = false;        // frames numbered by output order (see scan)
  int64_t next_output_ = 0;     // number of the next picture out, when counted
};

// Sound track as interleaved PCM: unsigned 8-bit when the track holds
// 8-bit samples, else signed 16-bit little-endian; at most 2 channels
// (more are mixed down), at the track's own rate.
//
// The samples are those the libraries' decoders deliver for the track from
// its start (what the ffmpeg tool writes with -f s16le): the encoder's
// priming and whatever an edit list cuts at the start are dropped once, by
// the decoder, from the skip the demuxer hands it with the first packet
// and from the packets it marks to be discarded. Sample frame 0 is the
// first one delivered, whatever its time stamp (a decoder may also drop
// priming that no packet announces, and stamp its first frame past it);
// each decoded piece lies at its time stamp from there (the packet time
// base is given to the decoder so that the stamps account for the dropped
// priming). A jump back, or far ahead, decodes from
// a little before the target, so that the samples are those of reading
// from the start, except where a decoder draws noise from a generator that
// runs through the whole track (AAC's noise-substituted bands: same
// loudness, other noise); a short jump ahead decodes on and is exact.
class AudioReader {
public:
  static std::unique_ptr<AudioReader> open(const file::ByteSource &source, Container c, int n);
  ~AudioReader();

  uint32_t rate() const { return rate_; }
  uint32_t bits() const { return bits_; }
  uint32_t channels() const { return channels_; }
  uint32_t frame_bytes() const { return bits_ / 8 * channels_; }
  // libavcodec's name of the track's codec.
  const char *codec_name() const;
  // Sample frames delivered for the whole track.
  uint64_t length() const { return length_; }

  // Frame rate of the file's first video track as a reduced fraction
  // (frames over seconds of the track); false without video.
  bool video_rate(uint32_t *num, uint32_t *den) const;

  // Up to `count` sample frames from sample frame `position`; returns the
  // frames written to `out` (count x frame_bytes() bytes of room).
  uint32_t read(uint64_t position, uint32_t count, uint8_t *out);

private:
  AudioReader() = default;
  bool open_decoder();
  bool start_decoder();
  bool find_origin();
  bool set_up_converter(const AVChannelLayout &layout, int sample_format);
  bool converter_takes_frame();
  bool restart();
  bool seek(uint64_t position);
  bool next_frame(int64_t &position);
  bool decode_more();
  uint64_t measure_length();

  file::ByteSource source_; // the movie, read again by restart()
  Container container_ = Container::any;
  FormatPtr fmt_;
  CodecPtr dec_;
  FramePtr frame_;
  PacketPtr packet_;
  SwrPtr swr_;
  int in_format_ = -1, in_channels_ = 0; // what swr_ converts from
  int stream_ = -1;
  uint32_t rate_ = 0, bits_ = 0, channels_ = 0;
  uint64_t length_ = 0;
  int64_t start_time_ = 0; // stream units the time stamps count from
  int64_t origin_ = 0;     // sample frames from start_time_ to sample frame 0
  int64_t preroll_ = 0;    // sample frames decoded ahead of a jump's target
  // Converted samples not yet taken: bytes starting at sample frame
  // pending_start_.
  std::vector<uint8_t> pending_;
  int64_t pending_start_ = 0;
  int64_t next_sample_ = 0; // sample frame after the last decoded one
  uint64_t read_pos_ = 0;   // where the last read ended
  bool at_end_ = false;
  bool positioned_ = false;
  bool resync_ = true; // take the next frame's time stamp as its position
};

} // namespace vex::movie
