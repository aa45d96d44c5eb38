// The decoders: vexkorvanedec, vextolmdec and vexrawbdec, one element type
// per format over one implementation. Each takes its format from a type
// finder (through decodebin, playbin or a pipeline of its own), learns the
// file's name from upstream with a URI query, and opens it by name as the
// library wants: the pictures through the graphics source (GFileOpen and
// GFileGet in true colour), the first sound track through the sound source
// (SFileOpen and SFileGet, 16-bit). Upstream's bytes are never read; the
// sink pad runs in pull mode when upstream offers it, so nothing is read
// at all, and drops what it is pushed otherwise.
//
// Why not a source element with a file:// handler: a source with that
// protocol competes with filesrc for every local file playbin and
// uridecodebin open, and decodebin behind a filesrc would never reach it.
// A typefound element downstream of filesrc is what decodebin, playbin and
// the discoverer all plug; the URI query tells it the file.
//
// Output: video/x-raw BGRx, the library's 32-bit pixels exactly (blue,
// green, red and a fourth byte that carries nothing), rows 4 x width bytes
// apart, GFileGet writing straight into each pooled buffer; audio/x-raw
// S16LE interleaved at the track's own rate and channel count. Frame i has
// the time i x den / num seconds of the output rate num / den; the sound
// that belongs to frame i is the sample frames from floor(i x den x rate /
// num) on, pushed after its picture. One task pushes both.
//
// Seeking (TIME on either pad, DEFAULT in frames on the video pad; a
// pipeline's seek reaches both pads and is taken once, by its sequence
// number) goes to the frame whose time span holds the position, forwards by GFileSkip, backwards by GFileReset and
// skipping again; the segment then starts at that frame's time, so the first picture after any seek is exactly frame N.
// The sound is taken from the start of the track (opened again) or from where it is, reading and dropping up to frame
// N's first sample frame: the same samples SFileGet gives in one pass. While the audio pad is not linked no sound is
// decoded; it catches up the same way once it is.
#include <gst/audio/audio.h>
#include <gst/base/gstflowcombiner.h>
#include <gst/video/video.h>

#include <glib/gstdio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <vector>

#include "gst_vexutil.h"
#include "vexutil.h"

GST_DEBUG_CATEGORY_STATIC(vex_decoder_debug);
#define GST_CAT_DEFAULT vex_decoder_debug

namespace vexgst {
namespace {

struct Format {
  const char *element;
  const char *long_name;
  const char *description;
  const char *type;
  int32_t kind; // the graphics source's kind code the file must open as
};

const Format kFormats[] = {
    {"vexkorvanedec", "Korvane movie decoder", "Decodes Korvane movies (also inside a self-playing executable)",
     kKorvaneType, GFILE_KORVANE},
    {"vextolmdec", "Tolm movie decoder", "Decodes Tolm movies (also inside a self-playing executable)", kTolmType,
     GFILE_TOLM},
    {"vexrawbdec", "Raw frame file decoder", "Decodes raw frame files of 8-bit frames and palettes", kRawbType,
     GFILE_RAW},
};

struct Decoder {
  GstElement element;
  GstPad *sink;
  GstPad *video, *audio; // null until the task's first step
  GstFlowCombiner *flows;
  GstTask *task;
  GRecMutex task_lock; // held by the task through each step, and by a seek
  gboolean stopping;   // (object lock) set before the task stops: it is then neither paused nor started again
  guint32 seek_seqnum; // (object lock) the last seek taken

  // The input; the task's, or a seek's while it holds task_lock.
  GFILE *g;
  SFILE *s;
  gchar *name;      // the name the sources were opened under
  gchar *link_dir;  // a folder holding "movie.exe", a link to an executable not so named
  gboolean exposed; // the source pads are there (the task's first step adds them)
  GstBufferPool *pool;
  GstVideoInfo video_info;
  // Fixed at the open, read by queries from any thread afterwards.
  guint64 num, den; // output frame rate num / den
  guint64 frames;   // output frames
  guint64 rate;     // sound sample frames per second (0: no sound)
  guint bytes_per_sample_frame;
  GstTagList *video_tags, *audio_tags;

  // Stream state (task_lock).
  guint64 frame;  // the frame GFileGet delivers next
  guint64 sample; // the sample frame SFileGet delivers next
  gboolean sound_ended;
  gboolean need_segment, video_discont, audio_discont;
  gboolean tags_sent; // after the first segment; tags are sticky and outlive flushes, so once a stream
  guint32 seqnum;
  GstSegment segment; // position also read by queries: under the object lock
};

struct DecoderClass {
  GstElementClass parent_class;
  const Format *format;
};

GstElementClass *parent_class = nullptr;

GstStaticPadTemplate video_template =
    GST_STATIC_PAD_TEMPLATE("video", GST_PAD_SRC, GST_PAD_SOMETIMES, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("BGRx")));
GstStaticPadTemplate audio_template = GST_STATIC_PAD_TEMPLATE(
    "audio", GST_PAD_SRC, GST_PAD_SOMETIMES,
    GST_STATIC_CAPS("audio/x-raw, format=(string)S16LE, layout=(string)interleaved, rate=(int)[1, MAX], "
                    "channels=(int)[1, 2]"));

Decoder *decoder_of(gpointer p) { return reinterpret_cast<Decoder *>(p); }
const Format &format_of(Decoder *d) { return *reinterpret_cast<DecoderClass *>(G_OBJECT_GET_CLASS(d))->format; }

// Times and positions.
GstClockTime frame_time(const Decoder *d, guint64 frame) {
  return gst_util_uint64_scale(frame, GST_SECOND * d->den, d->num);
}
guint64 frame_at(const Decoder *d, GstClockTime t) {
  guint64 n = gst_util_uint64_scale(t, d->num, GST_SECOND * d->den);
  while (n < d->frames && frame_time(d, n + 1) <= t) // the scaled times round down
    ++n;
  return std::min(n, d->frames);
}
guint64 first_sample_of(const Decoder *d, guint64 frame) {
  return gst_util_uint64_scale(frame, d->den * d->rate, d->num);
}
GstClockTime sample_time(const Decoder *d, guint64 sample) {
  return gst_util_uint64_scale(sample, GST_SECOND, d->rate);
}

bool has_exe_extension(const char *name) {
  const size_t n = std::strlen(name);
  return n >= 4 && g_ascii_strcasecmp(name + n - 4, ".exe") == 0;
}

bool starts_with_mz(const char *name) {
  FILE *f = g_fopen(name, "rb");
  char head[2] = {};
  const bool mz = f && std::fread(head, 1, 2, f) == 2 && head[0] == 'M' && head[1] == 'Z';
  if (f)
    std::fclose(f);
  return mz;
}

// The local file upstream reads, from a URI query; null when there is none.
gchar *upstream_file(Decoder *d) {
  GstQuery *q = gst_query_new_uri();
  gchar *file = nullptr;
  if (gst_pad_peer_query(d->sink, q)) {
    gchar *uri = nullptr;
    gst_query_parse_uri(q, &uri);
    if (uri)
      file = g_filename_from_uri(uri, nullptr, nullptr);
    g_free(uri);
  }
  gst_query_unref(q);
  return file;
}

// The name to open: the file's own, or for an executable not named
// "*.exe" a link of that name to it in a private folder.
gchar *name_to_open(Decoder *d, const gchar *file) {
  if (has_exe_extension(file) || !starts_with_mz(file))
    return g_strdup(file);
  d->link_dir = g_dir_make_tmp("vexutil-gst-XXXXXX", nullptr);
  if (!d->link_dir)
    return g_strdup(file);
  gchar *full = g_canonicalize_filename(file, nullptr);
  gchar *link = g_build_filename(d->link_dir, "movie.exe", nullptr);
  if (symlink(full, link) != 0) {
    g_free(link);
    link = g_strdup(file);
  }
  g_free(full);
  return link;
}

void close_input(Decoder *d) {
  if (d->pool) {
    gst_buffer_pool_set_active(d->pool, FALSE);
    gst_object_unref(d->pool);
    d->pool = nullptr;
  }
  if (d->g) {
    d->g->buffer = nullptr; // a pooled buffer: never the library's to free
    GFileClose(d->g);
    d->g = nullptr;
  }
  SFileClose(d->s);
  d->s = nullptr;
  g_free(d->name);
  d->name = nullptr;
  if (d->link_dir) {
    gchar *link = g_build_filename(d->link_dir, "movie.exe", nullptr);
    g_unlink(link);
    g_rmdir(d->link_dir);
    g_free(link);
    g_free(d->link_dir);
    d->link_dir = nullptr;
  }
  for (GstTagList **t : {&d->video_tags, &d->audio_tags})
    if (*t) {
      gst_tag_list_unref(*t);
      *t = nullptr;
    }
  d->exposed = FALSE;
}

gboolean src_event(GstPad *pad, GstObject *parent, GstEvent *event);
gboolean src_query(GstPad *pad, GstObject *parent, GstQuery *query);

// A source pad with its stream start and caps, added to the element.
GstPad *add_source_pad(Decoder *d, GstStaticPadTemplate *templ, const char *id, GstCaps *caps, guint group) {
  GstPad *pad = gst_pad_new_from_static_template(templ, templ->name_template);
  gst_pad_set_event_function(pad, src_event);
  gst_pad_set_query_function(pad, src_query);
  gst_pad_use_fixed_caps(pad);
  gst_pad_set_active(pad, TRUE);
  gchar *stream_id = gst_pad_create_stream_id(pad, &d->element, id);
  GstEvent *start = gst_event_new_stream_start(stream_id);
  gst_event_set_group_id(start, group);
  gst_pad_push_event(pad, start);
  g_free(stream_id);
  gst_pad_set_caps(pad, caps);
  gst_caps_unref(caps);
  gst_flow_combiner_add_pad(d->flows, pad);
  gst_element_add_pad(&d->element, pad);
  return pad;
}

GstTagList *tags_of(const char *tag, const char *codec, const char *container) {
  GstTagList *t = gst_tag_list_new_empty();
  if (codec && *codec)
    gst_tag_list_add(t, GST_TAG_MERGE_REPLACE, tag, codec, nullptr);
  if (container && *container)
    gst_tag_list_add(t, GST_TAG_MERGE_REPLACE, GST_TAG_CONTAINER_FORMAT, container, nullptr);
  return t;
}

// The first sound track as 16-bit PCM at its own rate; null when there is none.
SFILE *open_sound(const char *name) {
  SFILE *s = SFileOpen(name, 0, 16, 0, 0, 0, 0, 0, 0, nullptr);
  if (s && (s->bits != 16 || s->rate == 0 || s->channels < 1 || s->channels > 2)) {
    SFileClose(s);
    s = nullptr;
  }
  return s;
}

// Opens the file and sets up its streams; false after an error message.
// Called while the element goes to PAUSED, so that a file that cannot be
// played fails the state change: decodebin drops error messages from an
// element it is still trying, and would never hear of a later one.
bool open_input(Decoder *d) {
  const Format &f = format_of(d);
  gchar *file = upstream_file(d);
  if (!file) {
    GST_ELEMENT_ERROR(d, RESOURCE, NOT_FOUND, ("%s needs a local file.", f.long_name),
                      ("upstream answers no URI query with a file:// URI"));
    return false;
  }
  gchar *name = name_to_open(d, file);
  d->g = GFileOpen(name, GFILE_TRUE_COLOUR, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, nullptr, nullptr,
                   nullptr);
  bool ok = d->g && d->g->kind == f.kind && d->g->width > 0 && d->g->height > 0 && d->g->out_num > 0 &&
            d->g->out_den > 0 && d->g->output_frames > 0;
  if (!ok) {
    GST_ELEMENT_ERROR(d, STREAM, WRONG_TYPE, ("%s cannot play this file.", f.long_name),
                      ("%s: %s", file, d->g ? "opened as another kind of input" : VEXLastError()));
  } else {
    GFILE &g = *d->g;
    d->num = g.out_num;
    d->den = g.out_den;
    d->frames = static_cast<guint64>(g.output_frames);
    if (f.kind != GFILE_RAW)
      d->s = open_sound(name); // none: a movie without sound
    d->rate = d->s ? d->s->rate : 0;
    d->bytes_per_sample_frame = d->s ? d->s->frame_bytes : 0;

    GFILEINFO info{};
    GFileDescribe(d->g, &info);
    const char *container = *g.type ? g.type : "Raw frames";
    d->video_tags = tags_of(GST_TAG_VIDEO_CODEC, info.codec, container);
    if (d->s)
      d->audio_tags = tags_of(GST_TAG_AUDIO_CODEC, info.has_sound ? info.sound_codec : "", container);

    gst_video_info_set_format(&d->video_info, GST_VIDEO_FORMAT_BGRx, static_cast<guint>(g.width),
                              static_cast<guint>(g.height));
    guint64 n = d->num, dd = d->den;
    const guint64 common = std::gcd(n, dd);
    n /= common;
    dd /= common;
    if (n > G_MAXINT || dd > G_MAXINT)
      gst_util_double_to_fraction(double(n) / double(dd), &d->video_info.fps_n, &d->video_info.fps_d);
    else {
      d->video_info.fps_n = static_cast<gint>(n);
      d->video_info.fps_d = static_cast<gint>(dd);
    }
    GstCaps *video_caps = gst_video_info_to_caps(&d->video_info);
    d->pool = gst_buffer_pool_new();
    GstStructure *config = gst_buffer_pool_get_config(d->pool);
    gst_buffer_pool_config_set_params(config, video_caps, static_cast<guint>(d->video_info.size), 1, 0);
    // Rows start on cache lines, as in the library's own buffers: its pixel
    // conversion stores whole vectors, and GStreamer's default alignment of
    // 8 bytes splits them.
    GstAllocationParams params;
    gst_allocation_params_init(&params);
    params.align = 63;
    gst_buffer_pool_config_set_allocator(config, nullptr, &params);
    gst_caps_unref(video_caps);
    ok = gst_buffer_pool_set_config(d->pool, config) && gst_buffer_pool_set_active(d->pool, TRUE);
    if (!ok)
      GST_ELEMENT_ERROR(d, RESOURCE, NO_SPACE_LEFT, ("No buffers for %d x %d pictures.", g.width, g.height), (nullptr));
  }
  d->name = name;
  g_free(file);
  return ok;
}

// The source pads, from the task's first step.
void expose(Decoder *d) {
  const guint group = gst_util_group_id_next();
  d->video = add_source_pad(d, &video_template, "video", gst_video_info_to_caps(&d->video_info), group);
  if (d->s) {
    GstAudioInfo audio_info;
    gst_audio_info_set_format(&audio_info, GST_AUDIO_FORMAT_S16LE, d->s->rate, d->s->channels, nullptr);
    d->audio = add_source_pad(d, &audio_template, "audio", gst_audio_info_to_caps(&audio_info), group);
  }
  gst_element_no_more_pads(&d->element);
  d->exposed = TRUE;
}

GstFlowReturn push(Decoder *d, GstPad *pad, GstBuffer *buffer) {
  return gst_flow_combiner_update_pad_flow(d->flows, pad, gst_pad_push(pad, buffer));
}

void push_event(Decoder *d, GstEvent *event) {
  for (GstPad *pad : {d->video, d->audio})
    if (pad)
      gst_pad_push_event(pad, gst_event_ref(event));
  gst_event_unref(event);
}

// The next `count` sample frames of sound, or fewer where the track ends.
GstFlowReturn push_sound(Decoder *d, guint64 count) {
  if (!d->s || d->sound_ended || count == 0)
    return GST_FLOW_OK;
  const guint64 bytes = std::min<guint64>(count * d->bytes_per_sample_frame, 1u << 24);
  GstBuffer *buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  const uint32_t got = SFileGet(d->s, map.data, static_cast<uint32_t>(bytes));
  gst_buffer_unmap(buffer, &map);
  const guint64 frames = got / d->bytes_per_sample_frame;
  if (frames == 0) {
    d->sound_ended = TRUE;
    gst_buffer_unref(buffer);
    return GST_FLOW_OK;
  }
  gst_buffer_set_size(buffer, static_cast<gssize>(frames * d->bytes_per_sample_frame));
  GST_BUFFER_PTS(buffer) = sample_time(d, d->sample);
  GST_BUFFER_DURATION(buffer) = sample_time(d, d->sample + frames) - GST_BUFFER_PTS(buffer);
  GST_BUFFER_OFFSET(buffer) = d->sample;
  GST_BUFFER_OFFSET_END(buffer) = d->sample + frames;
  if (d->audio_discont)
    GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  d->audio_discont = FALSE;
  d->sample += frames;
  return push(d, d->audio, buffer);
}

// Reads and drops the sound up to sample frame `end`. Called for every
// frame, where there is mostly nothing to drop: the scratch block is only
// made when there is.
void drop_sound_to(Decoder *d, guint64 end) {
  if (d->sample >= end || d->sound_ended)
    return;
  std::vector<uint8_t> scratch(64 * 1024);
  while (d->sample < end && !d->sound_ended) {
    const guint64 bytes = std::min<guint64>((end - d->sample) * d->bytes_per_sample_frame, scratch.size());
    const uint32_t got = SFileGet(d->s, scratch.data(), static_cast<uint32_t>(bytes));
    if (got < d->bytes_per_sample_frame)
      d->sound_ended = TRUE;
    d->sample += got / d->bytes_per_sample_frame;
  }
}

// The sound of frames [first, end) when the audio pad is linked. While it
// is not, no sound is decoded; once it is, the sound catches up by
// dropping what lies before `first`.
GstFlowReturn push_frame_sound(Decoder *d, guint64 first, guint64 end) {
  if (!d->s || !gst_pad_is_linked(d->audio))
    return GST_FLOW_OK;
  drop_sound_to(d, first_sample_of(d, first));
  const guint64 last = first_sample_of(d, end);
  return d->sample < last ? push_sound(d, last - d->sample) : GST_FLOW_OK;
}

// The picture of d->frame.
GstFlowReturn push_picture(Decoder *d) {
  GstBuffer *buffer = nullptr;
  GstFlowReturn r = gst_buffer_pool_acquire_buffer(d->pool, &buffer, nullptr);
  if (r != GST_FLOW_OK)
    return r;
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  d->g->buffer = map.data;
  d->g->pitch = GST_VIDEO_INFO_PLANE_STRIDE(&d->video_info, 0);
  const int32_t got = GFileGet(d->g);
  d->g->buffer = nullptr;
  gst_buffer_unmap(buffer, &map);
  if (!got) {
    gst_buffer_unref(buffer);
    GST_ELEMENT_ERROR(d, STREAM, DECODE, ("Frame %" G_GUINT64_FORMAT " could not be decoded.", d->frame + 1),
                      ("%s", VEXLastError()));
    return GST_FLOW_CUSTOM_ERROR; // the message is out
  }
  GST_BUFFER_PTS(buffer) = frame_time(d, d->frame);
  GST_BUFFER_DURATION(buffer) = frame_time(d, d->frame + 1) - GST_BUFFER_PTS(buffer);
  GST_BUFFER_OFFSET(buffer) = d->frame;
  GST_BUFFER_OFFSET_END(buffer) = d->frame + 1;
  if (GFileFrameDamaged(d->g))
    GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_CORRUPTED);
  if (d->video_discont)
    GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  d->video_discont = FALSE;
  ++d->frame;
  return push(d, d->video, buffer);
}

// The end of the segment: the rest of its sound (to the stop, or to the
// end of the track), then EOS (as a flow).
GstFlowReturn finish(Decoder *d) {
  if (!d->s || !gst_pad_is_linked(d->audio))
    return GST_FLOW_EOS;
  const GstClockTime stop = d->segment.stop;
  const guint64 end = GST_CLOCK_TIME_IS_VALID(stop) ? gst_util_uint64_scale(stop, d->rate, GST_SECOND) : G_MAXUINT64;
  drop_sound_to(d, first_sample_of(d, std::min(d->frame, d->frames)));
  GstFlowReturn r = GST_FLOW_OK;
  while (r == GST_FLOW_OK && !d->sound_ended && d->sample < end)
    r = push_sound(d, std::min<guint64>(end - d->sample, d->rate / 10 + 1));
  return r == GST_FLOW_OK ? GST_FLOW_EOS : r;
}

GstFlowReturn step(Decoder *d) {
  if (d->need_segment) {
    GstSegment segment;
    GST_OBJECT_LOCK(d);
    gst_segment_copy_into(&d->segment, &segment);
    GST_OBJECT_UNLOCK(d);
    GstEvent *e = gst_event_new_segment(&segment);
    gst_event_set_seqnum(e, d->seqnum);
    push_event(d, e);
    // Sent again after every seek, each would reach the application as a
    // bus message and a wake-up, with nothing new in it.
    if (!d->tags_sent) {
      if (d->video_tags)
        gst_pad_push_event(d->video, gst_event_new_tag(gst_tag_list_ref(d->video_tags)));
      if (d->audio && d->audio_tags)
        gst_pad_push_event(d->audio, gst_event_new_tag(gst_tag_list_ref(d->audio_tags)));
      d->tags_sent = TRUE;
    }
    d->need_segment = FALSE;
  }
  const GstClockTime stop = d->segment.stop;
  if (d->frame >= d->frames || (GST_CLOCK_TIME_IS_VALID(stop) && frame_time(d, d->frame) >= stop))
    return finish(d);
  const guint64 frame = d->frame;
  GstFlowReturn r = push_picture(d);
  if (r == GST_FLOW_OK)
    r = push_frame_sound(d, frame, frame + 1);
  GST_OBJECT_LOCK(d);
  d->segment.position = frame_time(d, d->frame);
  GST_OBJECT_UNLOCK(d);
  return r;
}

// Pauses or restarts the task, unless it is being stopped: a pause from
// within the task after the stop would keep it alive, and the join waiting.
void set_task(Decoder *d, GstTaskState state) {
  GST_OBJECT_LOCK(d);
  if (!d->stopping)
    gst_task_set_state(d->task, state);
  GST_OBJECT_UNLOCK(d);
}

void loop(gpointer data) {
  Decoder *d = decoder_of(data);
  if (!d->exposed)
    expose(d);
  const GstFlowReturn r = step(d);
  if (r == GST_FLOW_OK)
    return;
  set_task(d, GST_TASK_PAUSED);
  if (r == GST_FLOW_EOS) {
    if (d->segment.flags & GST_SEGMENT_FLAG_SEGMENT) {
      const gint64 end = static_cast<gint64>(d->segment.position);
      GstMessage *m = gst_message_new_segment_done(GST_OBJECT(d), GST_FORMAT_TIME, end);
      gst_message_set_seqnum(m, d->seqnum);
      gst_element_post_message(&d->element, m);
      GstEvent *e = gst_event_new_segment_done(GST_FORMAT_TIME, end);
      gst_event_set_seqnum(e, d->seqnum);
      push_event(d, e);
    } else {
      GstEvent *e = gst_event_new_eos();
      gst_event_set_seqnum(e, d->seqnum);
      push_event(d, e);
    }
  } else if (r == GST_FLOW_NOT_LINKED || r < GST_FLOW_EOS) {
    if (r != GST_FLOW_CUSTOM_ERROR)
      GST_ELEMENT_FLOW_ERROR(d, r);
    GstEvent *e = gst_event_new_eos();
    gst_event_set_seqnum(e, d->seqnum);
    push_event(d, e);
  }
}

// Moves the sources to `target`: the next GFileGet delivers that frame;
// the sound source goes back to the start when it is past the frame's
// first sample frame (what lies before that is dropped at the next push).
bool reposition(Decoder *d, guint64 target) {
  if (target < d->frame) {
    d->g->buffer = nullptr; // the reset clears the buffer it names
    GFileReset(d->g);
    d->frame = 0;
  }
  for (; d->frame < target && d->frame < d->frames; ++d->frame)
    if (!GFileSkip(d->g))
      return false;
  if (!d->s)
    return true;
  const guint64 want = first_sample_of(d, target);
  if (want < d->sample) {
    SFileReset(d->s);
    d->sample = 0;
    d->sound_ended = false;
  }
  return true; // the sound up to `want` is dropped when it is next pushed
}

// A position in `format` as time: TIME, or DEFAULT (frames) on the video
// pad; false for anything else. A pipeline's seek reaches both pads, and
// the audio pad leaves a seek in frames to the video pad.
bool to_time(Decoder *d, GstPad *pad, GstFormat format, gint64 value, gint64 *out) {
  if (format == GST_FORMAT_TIME || (format == GST_FORMAT_DEFAULT && value == -1)) {
    *out = value;
    return true;
  }
  if (format != GST_FORMAT_DEFAULT || pad != d->video)
    return false;
  *out = static_cast<gint64>(frame_time(d, static_cast<guint64>(value)));
  return true;
}

gboolean seek(Decoder *d, GstPad *pad, GstEvent *event) {
  gdouble rate;
  GstFormat format;
  GstSeekFlags flags;
  GstSeekType start_type, stop_type;
  gint64 start, stop;
  gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
  if (rate <= 0.0 || !to_time(d, pad, format, start, &start) || !to_time(d, pad, format, stop, &stop)) {
    GST_DEBUG_OBJECT(d, "refusing a seek at rate %f in %s", rate, gst_format_get_name(format));
    return FALSE;
  }
  const guint32 seqnum = gst_event_get_seqnum(event);
  GST_OBJECT_LOCK(d);
  const bool again = d->seek_seqnum == seqnum; // the same seek through the other pad
  d->seek_seqnum = seqnum;
  GST_OBJECT_UNLOCK(d);
  if (again)
    return TRUE;
  const bool flush = flags & GST_SEEK_FLAG_FLUSH;
  if (flush) {
    GstEvent *e = gst_event_new_flush_start();
    gst_event_set_seqnum(e, seqnum);
    push_event(d, e);
  }
  set_task(d, GST_TASK_PAUSED);
  g_rec_mutex_lock(&d->task_lock);
  if (flush) {
    GstEvent *e = gst_event_new_flush_stop(TRUE);
    gst_event_set_seqnum(e, seqnum);
    push_event(d, e);
    gst_flow_combiner_reset(d->flows);
  }
  GstSegment segment;
  GST_OBJECT_LOCK(d);
  gst_segment_copy_into(&d->segment, &segment);
  GST_OBJECT_UNLOCK(d);
  gboolean update = FALSE;
  gst_segment_do_seek(&segment, rate, GST_FORMAT_TIME, flags, start_type, static_cast<guint64>(start), stop_type,
                      static_cast<guint64>(stop), &update);
  const guint64 target = frame_at(d, segment.position);
  if (target < d->frames)
    segment.start = segment.time = segment.position = frame_time(d, target);
  const bool ok = reposition(d, target);
  GST_OBJECT_LOCK(d);
  gst_segment_copy_into(&segment, &d->segment);
  GST_OBJECT_UNLOCK(d);
  d->seqnum = seqnum;
  d->need_segment = TRUE;
  d->video_discont = d->audio_discont = TRUE;
  if (flags & GST_SEEK_FLAG_SEGMENT) {
    GstMessage *m =
        gst_message_new_segment_start(GST_OBJECT(d), GST_FORMAT_TIME, static_cast<gint64>(segment.position));
    gst_message_set_seqnum(m, seqnum);
    gst_element_post_message(&d->element, m);
  }
  if (!ok)
    GST_ELEMENT_ERROR(d, STREAM, DECODE, ("The movie could not be read up to the seek position."),
                      ("%s", VEXLastError()));
  // Unlocked first: a task started while the lock is still held wakes only
  // to wait for it, one more sleep and wake-up on every seek.
  g_rec_mutex_unlock(&d->task_lock);
  if (ok)
    set_task(d, GST_TASK_STARTED);
  return ok;
}

gboolean src_event(GstPad *pad, GstObject *parent, GstEvent *event) {
  Decoder *d = decoder_of(parent);
  if (GST_EVENT_TYPE(event) != GST_EVENT_SEEK)
    return gst_pad_event_default(pad, parent, event);
  const gboolean ok = d->exposed && seek(d, pad, event);
  gst_event_unref(event);
  return ok;
}

gboolean src_query(GstPad *pad, GstObject *parent, GstQuery *query) {
  Decoder *d = decoder_of(parent);
  if (!d->exposed)
    return gst_pad_query_default(pad, parent, query);
  const bool video = pad == d->video;
  switch (GST_QUERY_TYPE(query)) {
  case GST_QUERY_DURATION: {
    GstFormat format;
    gst_query_parse_duration(query, &format, nullptr);
    if (format == GST_FORMAT_TIME)
      gst_query_set_duration(query, format, static_cast<gint64>(frame_time(d, d->frames)));
    else if (format == GST_FORMAT_DEFAULT && video)
      gst_query_set_duration(query, format, static_cast<gint64>(d->frames));
    else
      return FALSE;
    return TRUE;
  }
  case GST_QUERY_POSITION: {
    GstFormat format;
    gst_query_parse_position(query, &format, nullptr);
    GST_OBJECT_LOCK(d);
    const GstClockTime position = d->segment.position;
    GST_OBJECT_UNLOCK(d);
    if (format == GST_FORMAT_TIME)
      gst_query_set_position(query, format, static_cast<gint64>(position));
    else if (format == GST_FORMAT_DEFAULT && video)
      gst_query_set_position(query, format, static_cast<gint64>(frame_at(d, position)));
    else
      return FALSE;
    return TRUE;
  }
  case GST_QUERY_SEEKING: {
    GstFormat format;
    gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
    if (format == GST_FORMAT_TIME)
      gst_query_set_seeking(query, format, TRUE, 0, static_cast<gint64>(frame_time(d, d->frames)));
    else if (format == GST_FORMAT_DEFAULT && video)
      gst_query_set_seeking(query, format, TRUE, 0, static_cast<gint64>(d->frames));
    else
      return FALSE;
    return TRUE;
  }
  default: return gst_pad_query_default(pad, parent, query);
  }
}

// The sink pad: pull mode when upstream offers it (then nothing is ever
// pulled), push otherwise (what is pushed is dropped).
gboolean sink_activate(GstPad *pad, GstObject *) {
  GstQuery *q = gst_query_new_scheduling();
  const bool pull = gst_pad_peer_query(pad, q) &&
                    gst_query_has_scheduling_mode_with_flags(q, GST_PAD_MODE_PULL, GST_SCHEDULING_FLAG_SEEKABLE);
  gst_query_unref(q);
  return gst_pad_activate_mode(pad, pull ? GST_PAD_MODE_PULL : GST_PAD_MODE_PUSH, TRUE);
}
gboolean sink_activate_mode(GstPad *, GstObject *, GstPadMode, gboolean) { return TRUE; }
GstFlowReturn sink_chain(GstPad *, GstObject *, GstBuffer *buffer) {
  gst_buffer_unref(buffer);
  return GST_FLOW_OK;
}
gboolean sink_event(GstPad *, GstObject *, GstEvent *event) {
  gst_event_unref(event);
  return TRUE;
}

void remove_source_pads(Decoder *d) {
  for (GstPad **pad : {&d->video, &d->audio})
    if (*pad) {
      gst_flow_combiner_remove_pad(d->flows, *pad);
      gst_element_remove_pad(&d->element, *pad);
      *pad = nullptr;
    }
}

GstStateChangeReturn change_state(GstElement *element, GstStateChange transition) {
  Decoder *d = decoder_of(element);
  if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) {
    gst_segment_init(&d->segment, GST_FORMAT_TIME);
    d->frame = d->sample = 0;
    d->sound_ended = FALSE;
    d->need_segment = d->video_discont = d->audio_discont = TRUE;
    d->tags_sent = FALSE;
    d->seqnum = gst_util_seqnum_next();
    GST_OBJECT_LOCK(d);
    d->stopping = FALSE;
    GST_OBJECT_UNLOCK(d);
  }
  const GstStateChangeReturn r = parent_class->change_state(element, transition);
  if (r == GST_STATE_CHANGE_FAILURE)
    return r;
  if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) {
    if (!open_input(d)) {
      close_input(d);
      return GST_STATE_CHANGE_FAILURE;
    }
    set_task(d, GST_TASK_STARTED);
  } else if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
    GST_OBJECT_LOCK(d);
    d->stopping = TRUE;
    gst_task_stop(d->task);
    GST_OBJECT_UNLOCK(d);
    gst_task_join(d->task);
    remove_source_pads(d);
    close_input(d);
  }
  return r;
}

void finalize(GObject *object) {
  Decoder *d = decoder_of(object);
  close_input(d);
  gst_object_unref(d->task);
  g_rec_mutex_clear(&d->task_lock);
  gst_flow_combiner_free(d->flows);
  G_OBJECT_CLASS(parent_class)->finalize(object);
}

void instance_init(GTypeInstance *instance, gpointer klass) {
  Decoder *d = decoder_of(instance);
  d->sink = gst_pad_new_from_template(gst_element_class_get_pad_template(GST_ELEMENT_CLASS(klass), "sink"), "sink");
  gst_pad_set_activate_function(d->sink, sink_activate);
  gst_pad_set_activatemode_function(d->sink, sink_activate_mode);
  gst_pad_set_chain_function(d->sink, sink_chain);
  gst_pad_set_event_function(d->sink, sink_event);
  gst_element_add_pad(&d->element, d->sink);
  d->flows = gst_flow_combiner_new();
  g_rec_mutex_init(&d->task_lock);
  d->task = gst_task_new(loop, d, nullptr);
  gst_object_set_name(GST_OBJECT(d->task), "vexutil-decoder");
  gst_task_set_lock(d->task, &d->task_lock);
  gst_segment_init(&d->segment, GST_FORMAT_TIME);
}

void base_class_init(gpointer klass, gpointer) {
  parent_class = GST_ELEMENT_CLASS(g_type_class_peek_parent(klass));
  G_OBJECT_CLASS(klass)->finalize = finalize;
  GST_ELEMENT_CLASS(klass)->change_state = change_state;
  gst_element_class_add_static_pad_template(GST_ELEMENT_CLASS(klass), &video_template);
  gst_element_class_add_static_pad_template(GST_ELEMENT_CLASS(klass), &audio_template);
}

void format_class_init(gpointer klass, gpointer data) {
  const Format *f = static_cast<const Format *>(data);
  reinterpret_cast<DecoderClass *>(klass)->format = f;
  GstCaps *caps = gst_caps_new_empty_simple(f->type);
  gst_element_class_add_pad_template(GST_ELEMENT_CLASS(klass),
                                     gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
  gst_caps_unref(caps);
  gst_element_class_set_static_metadata(GST_ELEMENT_CLASS(klass), f->long_name, "Codec/Demuxer/Decoder/Video/Audio",
                                        f->description, "vexutil");
}

GType base_type() {
  static gsize type = 0;
  if (g_once_init_enter(&type)) {
    const GTypeInfo info{sizeof(DecoderClass), nullptr, nullptr,       base_class_init, nullptr, nullptr,
                         sizeof(Decoder),      0,       instance_init, nullptr};
    g_once_init_leave(&type,
                      g_type_register_static(GST_TYPE_ELEMENT, "GstVexMovieDecoder", &info, G_TYPE_FLAG_ABSTRACT));
  }
  return static_cast<GType>(type);
}

} // namespace

gboolean register_movie_decoders(GstPlugin *plugin) {
  GST_DEBUG_CATEGORY_INIT(vex_decoder_debug, "vexdecoder", 0, "vexutil movie decoders");
  for (const Format &f : kFormats) {
    const GTypeInfo info{
        sizeof(DecoderClass), nullptr, nullptr, format_class_init, nullptr, &f, sizeof(Decoder), 0, nullptr, nullptr};
    gchar *type_name = g_strdup_printf("Gst%s", f.element); // instances are named "vextolmdec0" and so on
    GType type = g_type_from_name(type_name);
    if (!type)
      type = g_type_register_static(base_type(), type_name, &info, GTypeFlags(0));
    g_free(type_name);
    if (!gst_element_register(plugin, f.element, GST_RANK_PRIMARY, type))
      return FALSE;
  }
  return TRUE;
}

} // namespace vexgst
