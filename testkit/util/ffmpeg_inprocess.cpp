#include "testkit/util/ffmpeg_inprocess.h"

#include <climits>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "testkit/util/shell_words.h"

namespace vex::testkit::inprocess {

namespace {

using Bytes = std::vector<uint8_t>;

// FFmpeg's release functions take the pointer's address (and null it).
template <class T, void (*Release)(T **)> struct Released {
  void operator()(T *p) const { Release(&p); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, Released<AVFormatContext, avformat_close_input>>;
using CodecPtr = std::unique_ptr<AVCodecContext, Released<AVCodecContext, avcodec_free_context>>;
using FramePtr = std::unique_ptr<AVFrame, Released<AVFrame, av_frame_free>>;
using PacketPtr = std::unique_ptr<AVPacket, Released<AVPacket, av_packet_free>>;
using GraphPtr = std::unique_ptr<AVFilterGraph, Released<AVFilterGraph, avfilter_graph_free>>;
using InOutPtr = std::unique_ptr<AVFilterInOut, Released<AVFilterInOut, avfilter_inout_free>>;

// What the options ask for, in the tool's terms.
struct Request {
  std::map<std::string, std::string> decoder_options; // AVCodecContext options given before -i
  AVMediaType kind = AVMEDIA_TYPE_UNKNOWN;            // the one stream the raw muxer takes
  std::string pix_fmt;                                // rawvideo's -pix_fmt
  AVSampleFormat sample_fmt = AV_SAMPLE_FMT_NONE;     // the PCM encoder's only sample format
  std::string filters;                                // -vf, as the tool hands it to the filter parser
  bool passthrough = false;                           // -fps_mode passthrough: every frame once
  int64_t max_frames = INT64_MAX;                     // -frames:v
  AVMediaType mapped = AVMEDIA_TYPE_UNKNOWN;          // -map 0:v / 0:a
  int channels = 0;                                   // -ac
};

// The options known here, each taking one value; false = a value this code
// does not reproduce.
struct Option {
  const char *name;
  bool before_input;
  std::function<bool(Request &, const std::string &)> set;
};

bool positive(const std::string &v, int64_t limit, int64_t &out) {
  if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos)
    return false;
  out = std::stoll(v);
  return out > 0 && out <= limit;
}

const std::vector<Option> &option_table() {
  static const std::vector<Option> table{
      {"-threads", true,
       [](Request &r, const std::string &v) { return r.decoder_options.emplace("threads", v).second; }},
      {"-flags", true, [](Request &r, const std::string &v) { return r.decoder_options.emplace("flags", v).second; }},
      {"-f", false,
       [](Request &r, const std::string &v) {
         // Raw muxers and the sample format their encoder accepts.
         static const std::map<std::string, std::pair<AVMediaType, AVSampleFormat>> muxers{
             {"rawvideo", {AVMEDIA_TYPE_VIDEO, AV_SAMPLE_FMT_NONE}},
             {"s16le", {AVMEDIA_TYPE_AUDIO, AV_SAMPLE_FMT_S16}},
             {"u8", {AVMEDIA_TYPE_AUDIO, AV_SAMPLE_FMT_U8}}};
         const auto m = muxers.find(v);
         if (m == muxers.end())
           return false;
         std::tie(r.kind, r.sample_fmt) = m->second;
         return true;
       }},
      {"-pix_fmt", false,
       [](Request &r, const std::string &v) {
         r.pix_fmt = v;
         return av_get_pix_fmt(v.c_str()) != AV_PIX_FMT_NONE;
       }},
      {"-fps_mode", false, [](Request &r, const std::string &v) { return (r.passthrough = v == "passthrough"); }},
      {"-vf", false,
       [](Request &r, const std::string &v) {
         r.filters = v;
         return !v.empty();
       }},
      {"-frames:v", false, [](Request &r, const std::string &v) { return positive(v, INT_MAX, r.max_frames); }},
      {"-map", false,
       [](Request &r, const std::string &v) {
         r.mapped = v == "0:v" ? AVMEDIA_TYPE_VIDEO : v == "0:a" ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_UNKNOWN;
         return r.mapped != AVMEDIA_TYPE_UNKNOWN;
       }},
      {"-ac", false,
       [](Request &r, const std::string &v) {
         int64_t n = 0;
         const bool ok = positive(v, 8, n);
         r.channels = static_cast<int>(n);
         return ok;
       }},
  };
  return table;
}

std::optional<std::string> parse_words(Request &r, const std::string &text, bool before_input) {
  const auto words = shell_words(text);
  if (!words)
    return "quoting in: " + text;
  for (size_t i = 0; i < words->size(); i += 2) {
    const std::string &name = (*words)[i];
    const Option *o = nullptr;
    for (const Option &c : option_table())
      if (name == c.name && c.before_input == before_input)
        o = &c;
    if (o == nullptr)
      return "option " + name;
    if (i + 1 >= words->size() || !o->set(r, (*words)[i + 1]))
      return "value of " + name;
  }
  return std::nullopt;
}

std::variant<Request, NotHere> parse(const std::string &output_options, const std::string &input_options) {
  Request r;
  for (const auto &[text, before] : {std::pair{input_options, true}, std::pair{output_options, false}})
    if (const auto why = parse_words(r, text, before))
      return NotHere{*why};
  const bool video = r.kind == AVMEDIA_TYPE_VIDEO;
  if (r.kind == AVMEDIA_TYPE_UNKNOWN)
    return NotHere{"no raw output format"};
  if (video != !r.pix_fmt.empty() || (!video && (r.passthrough || !r.filters.empty() || r.max_frames != INT64_MAX)) ||
      (video && r.channels != 0) || (r.mapped != AVMEDIA_TYPE_UNKNOWN && r.mapped != r.kind))
    return NotHere{"an option of the other stream kind"};
  return r;
}

std::string error_text(int e) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(e, text, sizeof text);
  return text;
}

// An opened file, its streams probed with the decoder options as the tool
// probes them.
std::variant<FormatPtr, NotHere> open_input(const std::string &file,
                                            const std::map<std::string, std::string> &options) {
  AVFormatContext *raw = nullptr;
  AVDictionary *format_options = nullptr;
  av_dict_set(&format_options, "scan_all_pmts", "1", 0);
  const int e = avformat_open_input(&raw, file.c_str(), nullptr, &format_options);
  av_dict_free(&format_options);
  if (e < 0)
    return NotHere{"open: " + error_text(e)};
  FormatPtr in(raw);
  av_format_inject_global_side_data(in.get());
  std::vector<AVDictionary *> per_stream(in->nb_streams, nullptr);
  for (auto &d : per_stream)
    for (const auto &[k, v] : options)
      av_dict_set(&d, k.c_str(), v.c_str(), 0);
  const int probed = avformat_find_stream_info(in.get(), per_stream.data());
  for (auto &d : per_stream)
    av_dict_free(&d);
  if (probed < 0)
    return NotHere{"stream info: " + error_text(probed)};
  return in;
}

std::variant<CodecPtr, NotHere> open_decoder(const AVStream *st, std::map<std::string, std::string> options,
                                             bool tool_defaults) {
  const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
  if (codec == nullptr)
    return NotHere{"no decoder"};
  CodecPtr c(avcodec_alloc_context3(codec));
  if (!c || avcodec_parameters_to_context(c.get(), st->codecpar) < 0)
    return NotHere{"decoder set-up"};
  c->pkt_timebase = st->time_base;
  if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
    c->framerate = st->avg_frame_rate;
  if (tool_defaults)
    options.emplace("threads", "auto"); // ffmpeg's default; ffprobe keeps the library's single thread
  AVDictionary *d = nullptr;
  for (const auto &[k, v] : options)
    av_dict_set(&d, k.c_str(), v.c_str(), 0);
  const int e = avcodec_open2(c.get(), codec, &d);
  av_dict_free(&d);
  if (e < 0)
    return NotHere{"decoder open: " + error_text(e)};
  return c;
}

// Reads the packets of one stream, decodes them and hands each frame to
// `take`; any read or decode error, or a frame the decoder marks damaged,
// ends it with the reason (the tool would go on, the result depending on
// how it conceals). `take` ends it early with kEnough.
const std::string kEnough;
std::optional<std::string> decode_stream(AVFormatContext *in, int index, AVCodecContext *dec,
                                         const std::function<std::optional<std::string>(AVFrame *)> &take,
                                         int64_t shift = 0) {
  PacketPtr pkt(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  auto drain = [&]() -> std::optional<std::string> {
    for (;;) {
      const int e = avcodec_receive_frame(dec, frame.get());
      if (e == AVERROR(EAGAIN) || e == AVERROR_EOF)
        return std::nullopt;
      if (e < 0)
        return "decode: " + error_text(e);
      if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0)
        return std::string("a damaged frame");
      const auto why = take(frame.get());
      av_frame_unref(frame.get());
      if (why)
        return why;
    }
  };
  for (;;) {
    const int e = av_read_frame(in, pkt.get());
    if (e == AVERROR_EOF)
      break;
    if (e < 0)
      return "read: " + error_text(e);
    if (pkt->stream_index == index) {
      if (pkt->pts != AV_NOPTS_VALUE)
        pkt->pts -= shift;
      if (pkt->dts != AV_NOPTS_VALUE)
        pkt->dts -= shift;
      const int sent = avcodec_send_packet(dec, pkt.get());
      if (sent < 0)
        return "decode: " + error_text(sent);
      if (const auto why = drain())
        return why;
    }
    av_packet_unref(pkt.get());
  }
  if (avcodec_send_packet(dec, nullptr) < 0)
    return std::string("decoder flush");
  return drain();
}

// buffer -> chain -> format -> sink, or the sound equivalent, named as the
// tool names its inputs and outputs for a simple graph.
struct Graph {
  GraphPtr graph;
  AVFilterContext *source = nullptr;
  AVFilterContext *sink = nullptr;
};

std::optional<std::string> build_graph(Graph &g, const std::string &source_filter, const std::string &source_args,
                                       const std::string &chain, const std::string &format_filter,
                                       const std::string &format_args, const std::string &sink_filter) {
  g.graph.reset(avfilter_graph_alloc());
  if (!g.graph)
    return std::string("filter graph");
  g.graph->nb_threads = 1;
  g.graph->scale_sws_opts = av_strdup("flags=bicubic"); // what the tool hands every automatic scaler
  AVFilterContext *format = nullptr;
  if (avfilter_graph_create_filter(&g.source, avfilter_get_by_name(source_filter.c_str()), "in", source_args.c_str(),
                                   nullptr, g.graph.get()) < 0 ||
      avfilter_graph_create_filter(&g.sink, avfilter_get_by_name(sink_filter.c_str()), "out", nullptr, nullptr,
                                   g.graph.get()) < 0 ||
      avfilter_graph_create_filter(&format, avfilter_get_by_name(format_filter.c_str()), "format_out",
                                   format_args.c_str(), nullptr, g.graph.get()) < 0 ||
      avfilter_link(format, 0, g.sink, 0) < 0)
    return "filters for " + source_args;
  if (sink_filter == "abuffersink" && av_opt_set_int(g.sink, "all_channel_counts", 1, AV_OPT_SEARCH_CHILDREN) < 0)
    return std::string("sink options");
  InOutPtr outputs(avfilter_inout_alloc()), inputs(avfilter_inout_alloc());
  outputs->name = av_strdup("in");
  outputs->filter_ctx = g.source;
  inputs->name = av_strdup("out");
  inputs->filter_ctx = format;
  AVFilterInOut *in_raw = inputs.release(), *out_raw = outputs.release();
  const int parsed = avfilter_graph_parse_ptr(g.graph.get(), chain.c_str(), &in_raw, &out_raw, nullptr);
  avfilter_inout_free(&in_raw);
  avfilter_inout_free(&out_raw);
  if (parsed < 0 || avfilter_graph_config(g.graph.get(), nullptr) < 0)
    return "filter chain " + chain;
  return std::nullopt;
}

// The tool's constant-rate output (its default for rawvideo): for each
// filtered frame it works out how many copies to write, and of the frame
// before; this mirrors that arithmetic and accepts only the plain outcome,
// one copy of this frame and none of the previous.
class ConstantRate {
public:
  ConstantRate(AVRational sink_rate, AVRational sink_base, AVRational stream_base, bool has_filters)
      : rate_(sink_rate), sink_base_(sink_base), stream_base_(stream_base), has_filters_(has_filters) {}

  std::optional<std::string> check(const AVFrame *f) {
    if (rate_.num <= 0 || rate_.den <= 0)
      return std::string("no frame rate for the constant-rate output");
    if (f->pts == AV_NOPTS_VALUE)
      return std::string("a frame without a time");
    const AVRational enc = av_inv_q(rate_);
    // The frame's time in output frame units, with extra bits of precision
    // and off exact midpoints, as the tool computes it.
    AVRational fine = enc;
    const int extra_bits = av_clip(29 - av_log2(static_cast<unsigned>(fine.den)), 0, 16);
    fine.den <<= extra_bits;
    double sync_ipts = static_cast<double>(av_rescale_q(f->pts, sink_base_, fine)) / (1 << extra_bits);
    sync_ipts += (sync_ipts > 0 ? 1.0 : sync_ipts < 0 ? -1.0 : 0.0) / (1 << 17);
    double duration = 1 / (av_q2d(rate_) * av_q2d(enc));
    if (!has_filters_) {
      const long from_packet = std::lrint(static_cast<double>(f->pkt_duration) * av_q2d(stream_base_) / av_q2d(enc));
      if (from_packet > 0)
        duration = static_cast<double>(from_packet);
    }
    double delta0 = sync_ipts - static_cast<double>(next_);
    const double delta = delta0 + duration;
    if (delta0 < 0 && delta > 0)
      delta0 = 0;
    int64_t copies = 1, previous_copies = 0;
    if (delta < -1.1)
      copies = 0;
    else if (delta > 1.1) {
      copies = std::lrint(delta);
      if (delta0 > 1.1)
        previous_copies = std::llrint(delta0 - 0.6);
    }
    if (copies != 1 || previous_copies != 0)
      return std::string("the constant-rate output repeats or drops a frame");
    ++next_;
    return std::nullopt;
  }

private:
  AVRational rate_, sink_base_, stream_base_;
  bool has_filters_;
  int64_t next_ = 0; // output frames so far: the next slot's time in output frame units
};

std::variant<Bytes, NotHere> decode_video(AVFormatContext *in, AVStream *st, AVCodecContext *dec, const Request &r) {
  if (av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr) != nullptr)
    return NotHere{"a rotated picture"}; // the tool would insert its rotation filters
  const AVRational rate = av_guess_frame_rate(in, st, nullptr);
  Graph g;
  std::optional<ConstantRate> constant;
  struct {
    int width, height, format;
    AVRational sar;
  } first{};
  Bytes out;
  int64_t written = 0;
  FramePtr filtered(av_frame_alloc());
  auto pull = [&]() -> std::optional<std::string> {
    for (;;) {
      const int e = av_buffersink_get_frame(g.sink, filtered.get());
      if (e == AVERROR(EAGAIN) || e == AVERROR_EOF)
        return std::nullopt;
      if (e < 0)
        return "filtering: " + error_text(e);
      std::optional<std::string> why;
      if (written < r.max_frames) {
        if (!r.passthrough)
          why = constant->check(filtered.get());
        const int size = av_image_get_buffer_size(static_cast<AVPixelFormat>(filtered->format), filtered->width,
                                                  filtered->height, 1);
        if (!why && size > 0) {
          const size_t at = out.size();
          out.resize(at + static_cast<size_t>(size));
          av_image_copy_to_buffer(out.data() + at, size, filtered->data, filtered->linesize,
                                  static_cast<AVPixelFormat>(filtered->format), filtered->width, filtered->height, 1);
          ++written;
        } else if (!why) {
          why = "picture size";
        }
      }
      av_frame_unref(filtered.get());
      if (why)
        return why;
    }
  };
  const int64_t shift =
      in->start_time == AV_NOPTS_VALUE ? 0 : av_rescale_q(in->start_time, AVRational{1, AV_TIME_BASE}, st->time_base);
  auto take = [&](AVFrame *f) -> std::optional<std::string> {
    f->pts = f->best_effort_timestamp;
    if (!g.graph) {
      first = {f->width, f->height, f->format, f->sample_aspect_ratio};
      const AVRational sar = f->sample_aspect_ratio.den != 0 ? f->sample_aspect_ratio : AVRational{0, 1};
      std::string args = "video_size=" + std::to_string(f->width) + "x" + std::to_string(f->height) +
                         ":pix_fmt=" + std::to_string(f->format) + ":time_base=" + std::to_string(st->time_base.num) +
                         "/" + std::to_string(st->time_base.den) + ":pixel_aspect=" + std::to_string(sar.num) + "/" +
                         std::to_string(sar.den);
      if (rate.num != 0 && rate.den != 0)
        args += ":frame_rate=" + std::to_string(rate.num) + "/" + std::to_string(rate.den);
      if (const auto why =
              build_graph(g, "buffer", args, r.filters.empty() ? "null" : r.filters, "format", r.pix_fmt, "buffersink"))
        return why;
      constant.emplace(av_buffersink_get_frame_rate(g.sink), av_buffersink_get_time_base(g.sink), st->time_base,
                       !r.filters.empty());
    } else if (f->width != first.width || f->height != first.height || f->format != first.format ||
               av_cmp_q(f->sample_aspect_ratio, first.sar) != 0) {
      return std::string("the picture format changes"); // the tool would rebuild its filters
    }
    if (av_buffersrc_add_frame_flags(g.source, f, AV_BUFFERSRC_FLAG_PUSH) < 0)
      return std::string("filter input");
    const auto why = pull();
    return why || written < r.max_frames ? why : kEnough; // the tool stops reading there too
  };
  const auto why = decode_stream(in, st->index, dec, take, shift);
  if (why && *why != kEnough)
    return NotHere{*why};
  if (!g.graph)
    return NotHere{"no picture decoded"};
  if (why)
    return out;
  if (av_buffersrc_add_frame(g.source, nullptr) < 0)
    return NotHere{"filter end"};
  if (const auto why = pull())
    return NotHere{*why};
  return out;
}

std::variant<Bytes, NotHere> decode_audio(AVFormatContext *in, AVStream *st, AVCodecContext *dec, const Request &r) {
  Graph g;
  int rate = 0, format = -1;
  AVChannelLayout layout{};
  Bytes out;
  FramePtr filtered(av_frame_alloc());
  auto pull = [&]() -> std::optional<std::string> {
    for (;;) {
      const int e = av_buffersink_get_frame(g.sink, filtered.get());
      if (e == AVERROR(EAGAIN) || e == AVERROR_EOF)
        return std::nullopt;
      if (e < 0)
        return "filtering: " + error_text(e);
      const size_t size = static_cast<size_t>(filtered->nb_samples) *
                          static_cast<size_t>(filtered->ch_layout.nb_channels) *
                          static_cast<size_t>(av_get_bytes_per_sample(static_cast<AVSampleFormat>(filtered->format)));
      out.insert(out.end(), filtered->data[0], filtered->data[0] + size);
      av_frame_unref(filtered.get());
    }
  };
  auto take = [&](AVFrame *f) -> std::optional<std::string> {
    if (!g.graph) {
      rate = f->sample_rate;
      format = f->format;
      if (av_channel_layout_copy(&layout, &f->ch_layout) < 0)
        return std::string("channel layout");
      char described[128] = {};
      const bool known = av_channel_layout_check(&layout) != 0 && layout.order != AV_CHANNEL_ORDER_UNSPEC;
      if (known && av_channel_layout_describe(&layout, described, sizeof described) < 0)
        return std::string("channel layout");
      const std::string args =
          "time_base=1/" + std::to_string(rate) + ":sample_rate=" + std::to_string(rate) +
          ":sample_fmt=" + av_get_sample_fmt_name(static_cast<AVSampleFormat>(format)) +
          (known ? std::string(":channel_layout=") + described : ":channels=" + std::to_string(layout.nb_channels));
      std::string format_args = std::string("sample_fmts=") + av_get_sample_fmt_name(r.sample_fmt);
      if (r.channels != 0) {
        AVChannelLayout wanted{};
        av_channel_layout_default(&wanted, r.channels);
        char name[128] = {};
        av_channel_layout_describe(&wanted, name, sizeof name);
        format_args += std::string(":channel_layouts=") + name;
      }
      if (const auto why = build_graph(g, "abuffer", args, "anull", "aformat", format_args, "abuffersink"))
        return why;
    } else if (f->sample_rate != rate || f->format != format ||
               av_channel_layout_compare(&f->ch_layout, &layout) != 0) {
      return std::string("the sound format changes"); // the tool would rebuild its filters
    }
    if (f->best_effort_timestamp != AV_NOPTS_VALUE)
      f->pts = av_rescale_q(f->best_effort_timestamp, st->time_base, AVRational{1, rate});
    if (av_buffersrc_add_frame_flags(g.source, f, AV_BUFFERSRC_FLAG_PUSH) < 0)
      return std::string("filter input");
    return pull();
  };
  auto why = decode_stream(in, st->index, dec, take);
  av_channel_layout_uninit(&layout);
  if (why)
    return NotHere{*why};
  if (!g.graph)
    return NotHere{"no sound decoded"};
  if (av_buffersrc_add_frame(g.source, nullptr) < 0)
    return NotHere{"filter end"};
  if (const auto late = pull())
    return NotHere{*late};
  return out;
}

// The only stream of a kind, or none when the choice is not plain.
AVStream *only_stream(AVFormatContext *in, AVMediaType kind) {
  AVStream *found = nullptr;
  for (unsigned i = 0; i < in->nb_streams; ++i)
    if (in->streams[i]->codecpar->codec_type == kind) {
      if (found != nullptr)
        return nullptr;
      found = in->streams[i];
    }
  return found != nullptr && (found->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 ? found : nullptr;
}

AVStream *first_stream(AVFormatContext *in, AVMediaType kind) {
  for (unsigned i = 0; i < in->nb_streams; ++i)
    if (in->streams[i]->codecpar->codec_type == kind)
      return in->streams[i];
  return nullptr;
}

} // namespace

Answer<std::vector<uint8_t>> decode(const std::string &file, const std::string &output_options,
                                    const std::string &input_options) {
  auto parsed = parse(output_options, input_options);
  if (auto *n = std::get_if<NotHere>(&parsed))
    return *n;
  const Request &r = std::get<Request>(parsed);
  auto opened = open_input(file, r.decoder_options);
  if (auto *n = std::get_if<NotHere>(&opened))
    return *n;
  AVFormatContext *in = std::get<FormatPtr>(opened).get();
  AVStream *st = only_stream(in, r.kind);
  if (st == nullptr)
    return NotHere{"not exactly one stream of the kind"};
  for (unsigned i = 0; i < in->nb_streams; ++i)
    if (in->streams[i] != st)
      in->streams[i]->discard = AVDISCARD_ALL; // the tool reads only the streams it maps
  auto dec = open_decoder(st, r.decoder_options, true);
  if (auto *n = std::get_if<NotHere>(&dec))
    return *n;
  AVCodecContext *c = std::get<CodecPtr>(dec).get();
  return r.kind == AVMEDIA_TYPE_VIDEO ? decode_video(in, st, c, r) : decode_audio(in, st, c, r);
}

Answer<std::vector<std::string>> frame_color_spaces(const std::string &file) {
  auto opened = open_input(file, {});
  if (auto *n = std::get_if<NotHere>(&opened))
    return *n;
  AVFormatContext *in = std::get<FormatPtr>(opened).get();
  AVStream *st = first_stream(in, AVMEDIA_TYPE_VIDEO);
  if (st == nullptr)
    return NotHere{"no video stream"};
  auto dec = open_decoder(st, {}, false);
  if (auto *n = std::get_if<NotHere>(&dec))
    return *n;
  std::vector<std::string> names;
  const auto why = decode_stream(in, st->index, std::get<CodecPtr>(dec).get(), [&](AVFrame *f) {
    const char *name = av_color_space_name(f->colorspace);
    names.emplace_back(name != nullptr && f->colorspace != AVCOL_SPC_UNSPECIFIED ? name : "unknown");
    return std::optional<std::string>();
  });
  if (why)
    return NotHere{*why};
  return names;
}

Answer<std::vector<uint32_t>> video_packet_sizes(const std::string &file) {
  auto opened = open_input(file, {});
  if (auto *n = std::get_if<NotHere>(&opened))
    return *n;
  AVFormatContext *in = std::get<FormatPtr>(opened).get();
  const AVStream *st = first_stream(in, AVMEDIA_TYPE_VIDEO);
  if (st == nullptr)
    return NotHere{"no video stream"};
  std::vector<uint32_t> sizes;
  PacketPtr pkt(av_packet_alloc());
  for (;;) {
    const int e = av_read_frame(in, pkt.get());
    if (e == AVERROR_EOF)
      break;
    if (e < 0)
      return NotHere{"read: " + error_text(e)};
    if (pkt->stream_index == st->index)
      sizes.push_back(static_cast<uint32_t>(pkt->size));
    av_packet_unref(pkt.get());
  }
  return sizes;
}

} // namespace vex::testkit::inprocess
