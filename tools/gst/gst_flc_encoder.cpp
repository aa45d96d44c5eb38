// vexflcenc: 32-bit pictures in, one FLC animation out, through the
// library's shared palettes and FLC writer.
//
// The shared palettes need the frames ahead of the one they serve (a
// palette is built over a run of up to palette-period frames), and the FLC
// header is completed only once the last frame is in, so nothing can leave
// before EOS. The frames go, as they come, into a 24-bit uncompressed AVI
// in a private temporary folder (the output writer, OGFileCreate); at EOS
// that AVI is opened as 8-bit graphics input with the palette options
// (GFileOpen builds one palette per run with GFileBestPalette), every
// frame goes to an FLC (OGFileCreate again), and the FLC's bytes are
// pushed downstream in one buffer, then EOS. Memory stays at a few frames;
// the disk holds the AVI (3 bytes a pixel) until EOS.
//
// The FLC writer rounds the width up to a multiple of 4; the columns it
// adds hold palette entry 0.
#include <gst/video/video.h>

#include <glib/gstdio.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "gst_vexutil.h"
#include "vexutil.h"

GST_DEBUG_CATEGORY_STATIC(vex_flc_debug);
#define GST_CAT_DEFAULT vex_flc_debug

namespace vexgst {
namespace {

enum Property { kPalettePeriod = 1, kPaletteEntries, kFirstIndex, kSystemColours };

struct Encoder {
  GstElement element;
  GstPad *sink, *src;
  // Properties (object lock).
  gint palette_period, palette_entries, first_index, system_colours;
  // Stream (the streaming thread).
  GstVideoInfo info;
  gchar *dir; // the private folder of in.avi and out.flc
  OGFILE *avi;
  std::vector<guint8> *rows; // a frame packed to 4 x width bytes a row, when its stride differs
};

struct EncoderClass {
  GstElementClass parent_class;
};

GstElementClass *parent_class = nullptr;

GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format=(string)BGRx, width=(int)[1, 65532], height=(int)[1, 65535], "
                    "framerate=(fraction)[0/1, MAX]"));
GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-fli"));

Encoder *encoder_of(gpointer p) { return reinterpret_cast<Encoder *>(p); }

gchar *in_dir(const Encoder *e, const char *name) { return g_build_filename(e->dir, name, nullptr); }

void discard(Encoder *e) {
  OGFileDiscard(e->avi);
  e->avi = nullptr;
  if (e->dir) {
    for (const char *name : {"in.avi", "out.flc"}) {
      gchar *f = in_dir(e, name);
      g_unlink(f);
      g_free(f);
    }
    g_rmdir(e->dir);
    g_free(e->dir);
    e->dir = nullptr;
  }
}

// The frames' rate for the writers: the caps' framerate, or 15 a second
// when the stream names none (0/1, a variable rate).
void rate_of(const Encoder *e, uint32_t *num, uint32_t *den) {
  const bool named = GST_VIDEO_INFO_FPS_N(&e->info) > 0 && GST_VIDEO_INFO_FPS_D(&e->info) > 0;
  *num = named ? static_cast<uint32_t>(GST_VIDEO_INFO_FPS_N(&e->info)) : 15;
  *den = named ? static_cast<uint32_t>(GST_VIDEO_INFO_FPS_D(&e->info)) : 1;
}

gboolean set_caps(Encoder *e, GstCaps *caps) {
  GstVideoInfo info;
  if (!gst_video_info_from_caps(&info, caps))
    return FALSE;
  if (e->avi) { // a new size mid-stream cannot go into one animation
    const bool same = GST_VIDEO_INFO_WIDTH(&info) == GST_VIDEO_INFO_WIDTH(&e->info) &&
                      GST_VIDEO_INFO_HEIGHT(&info) == GST_VIDEO_INFO_HEIGHT(&e->info);
    if (!same)
      GST_ELEMENT_ERROR(e, CORE, NEGOTIATION, ("The picture size changed within the stream."), (nullptr));
    return same;
  }
  e->info = info;
  e->dir = g_dir_make_tmp("vexflcenc-XXXXXX", nullptr);
  if (!e->dir) {
    GST_ELEMENT_ERROR(e, RESOURCE, OPEN_WRITE, ("No temporary folder for the frames."), (nullptr));
    return FALSE;
  }
  uint32_t num, den;
  rate_of(e, &num, &den);
  gchar *avi = in_dir(e, "in.avi");
  const gint w = GST_VIDEO_INFO_WIDTH(&info), h = GST_VIDEO_INFO_HEIGHT(&info);
  e->avi = OGFileCreate(nullptr, avi, 1, 0, num, den, w, h, w, nullptr, OGFILE_NO_OVERWRITE_QUESTION);
  g_free(avi);
  if (!e->avi) {
    GST_ELEMENT_ERROR(e, RESOURCE, OPEN_WRITE, ("The frames cannot be kept for the palettes."), ("%s", VEXLastError()));
    return FALSE;
  }
  return TRUE;
}

GstFlowReturn chain(GstPad *, GstObject *parent, GstBuffer *buffer) {
  Encoder *e = encoder_of(parent);
  if (!e->avi) {
    gst_buffer_unref(buffer);
    return GST_FLOW_NOT_NEGOTIATED;
  }
  GstVideoFrame frame;
  if (!gst_video_frame_map(&frame, &e->info, buffer, GST_MAP_READ)) {
    gst_buffer_unref(buffer);
    GST_ELEMENT_ERROR(e, STREAM, FORMAT, ("A frame could not be read."), (nullptr));
    return GST_FLOW_ERROR;
  }
  const gint w = GST_VIDEO_FRAME_WIDTH(&frame), h = GST_VIDEO_FRAME_HEIGHT(&frame);
  const gint stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
  const auto *pixels = static_cast<const guint8 *>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
  if (stride != 4 * w) { // the writer takes rows of exactly `width` pixels here
    e->rows->resize(size_t(4) * w * h);
    for (gint y = 0; y < h; ++y)
      std::memcpy(e->rows->data() + size_t(4) * w * y, pixels + ptrdiff_t{stride} * y, size_t(4) * w);
    pixels = e->rows->data();
  }
  OGFilePut(e->avi, pixels, nullptr);
  gst_video_frame_unmap(&frame);
  gst_buffer_unref(buffer);
  if (e->avi->error) {
    GST_ELEMENT_ERROR(e, RESOURCE, WRITE, ("The frames cannot be kept for the palettes."), ("%s", VEXLastError()));
    return GST_FLOW_ERROR;
  }
  return GST_FLOW_OK;
}

// The FLC from the kept frames, as a file in the private folder; false
// after an error message.
bool write_flc(Encoder *e, gchar *avi, gchar *flc) {
  GST_OBJECT_LOCK(e);
  const gint period = e->palette_period, entries = e->palette_entries, system = e->system_colours;
  const gint first = e->first_index >= 0 ? std::min(e->first_index, 256 - entries) : (256 - entries) / 2;
  GST_OBJECT_UNLOCK(e);
  GFILE *g = GFileOpen(avi, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, period, first, entries, 0, system, 0, nullptr, nullptr,
                       nullptr);
  if (!g) {
    GST_ELEMENT_ERROR(e, STREAM, ENCODE, ("The kept frames cannot be read back."), ("%s", VEXLastError()));
    return false;
  }
  OGFILE *o = OGFileCreate(nullptr, flc, 0, g->output_frames, g->out_num, g->out_den, g->width, g->height,
                           (g->width + 3) & ~3, nullptr, OGFILE_NO_OVERWRITE_QUESTION);
  bool ok = o != nullptr;
  for (int32_t i = 0; ok && i < g->output_frames; ++i) {
    ok = GFileGet(g) != 0;
    if (ok)
      OGFilePut(o, g->buffer, &g->palette[0][0]);
  }
  if (!ok) {
    GST_ELEMENT_ERROR(e, STREAM, ENCODE, ("The animation could not be made."), ("%s", VEXLastError()));
    OGFileDiscard(o);
  } else if (OGFileClose(o) == 0) {
    GST_ELEMENT_ERROR(e, RESOURCE, WRITE, ("The animation could not be written."), ("%s", VEXLastError()));
    ok = false;
  }
  GFileClose(g);
  return ok;
}

// At EOS: the animation, downstream in one buffer.
GstFlowReturn finish(Encoder *e) {
  if (!e->avi) {
    GST_ELEMENT_ERROR(e, STREAM, ENCODE, ("No frames came to make an animation of."), (nullptr));
    return GST_FLOW_ERROR;
  }
  const int32_t frames = e->avi->next_frame;
  const bool kept = OGFileClose(e->avi) != 0;
  e->avi = nullptr;
  if (!kept || frames == 0) {
    GST_ELEMENT_ERROR(e, STREAM, ENCODE, ("No frames came to make an animation of."), ("%s", VEXLastError()));
    return GST_FLOW_ERROR;
  }
  gchar *avi = in_dir(e, "in.avi"), *flc = in_dir(e, "out.flc");
  gchar *bytes = nullptr;
  gsize size = 0;
  const bool ok = write_flc(e, avi, flc) && g_file_get_contents(flc, &bytes, &size, nullptr);
  g_free(avi);
  g_free(flc);
  if (!ok)
    return GST_FLOW_ERROR;

  gchar *stream_id = gst_pad_create_stream_id(e->src, &e->element, nullptr);
  gst_pad_push_event(e->src, gst_event_new_stream_start(stream_id));
  g_free(stream_id);
  uint32_t num, den;
  rate_of(e, &num, &den);
  GstCaps *caps = gst_caps_new_simple("video/x-fli", "width", G_TYPE_INT, (GST_VIDEO_INFO_WIDTH(&e->info) + 3) & ~3,
                                      "height", G_TYPE_INT, GST_VIDEO_INFO_HEIGHT(&e->info), "framerate",
                                      GST_TYPE_FRACTION, gint(num), gint(den), nullptr);
  gst_pad_set_caps(e->src, caps);
  gst_caps_unref(caps);
  GstSegment segment;
  gst_segment_init(&segment, GST_FORMAT_BYTES);
  gst_pad_push_event(e->src, gst_event_new_segment(&segment));
  GstBuffer *out = gst_buffer_new_wrapped(bytes, size);
  GST_BUFFER_OFFSET(out) = 0;
  GST_BUFFER_OFFSET_END(out) = size;
  return gst_pad_push(e->src, out);
}

gboolean sink_event(GstPad *pad, GstObject *parent, GstEvent *event) {
  Encoder *e = encoder_of(parent);
  switch (GST_EVENT_TYPE(event)) {
  case GST_EVENT_CAPS: {
    GstCaps *caps;
    gst_event_parse_caps(event, &caps);
    const gboolean ok = set_caps(e, caps);
    gst_event_unref(event);
    return ok;
  }
  case GST_EVENT_EOS: {
    const GstFlowReturn r = finish(e);
    discard(e);
    if (r != GST_FLOW_OK && r != GST_FLOW_FLUSHING && r != GST_FLOW_EOS) {
      gst_event_unref(event);
      return FALSE;
    }
    return gst_pad_push_event(e->src, event);
  }
  case GST_EVENT_STREAM_START:
  case GST_EVENT_SEGMENT:
  case GST_EVENT_TAG: // our own stream-start, caps and segment go out at EOS
    gst_event_unref(event);
    return TRUE;
  default: return gst_pad_event_default(pad, parent, event);
  }
}

GstStateChangeReturn change_state(GstElement *element, GstStateChange transition) {
  const GstStateChangeReturn r = parent_class->change_state(element, transition);
  if (transition == GST_STATE_CHANGE_PAUSED_TO_READY)
    discard(encoder_of(element)); // stopped before EOS: nothing is kept
  return r;
}

void set_property(GObject *object, guint id, const GValue *value, GParamSpec *pspec) {
  Encoder *e = encoder_of(object);
  GST_OBJECT_LOCK(e);
  switch (id) {
  case kPalettePeriod: e->palette_period = g_value_get_int(value); break;
  case kPaletteEntries: e->palette_entries = g_value_get_int(value); break;
  case kFirstIndex: e->first_index = g_value_get_int(value); break;
  case kSystemColours: e->system_colours = g_value_get_int(value); break;
  default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
  }
  GST_OBJECT_UNLOCK(e);
}

void get_property(GObject *object, guint id, GValue *value, GParamSpec *pspec) {
  Encoder *e = encoder_of(object);
  GST_OBJECT_LOCK(e);
  switch (id) {
  case kPalettePeriod: g_value_set_int(value, e->palette_period); break;
  case kPaletteEntries: g_value_set_int(value, e->palette_entries); break;
  case kFirstIndex: g_value_set_int(value, e->first_index); break;
  case kSystemColours: g_value_set_int(value, e->system_colours); break;
  default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
  }
  GST_OBJECT_UNLOCK(e);
}

void finalize(GObject *object) {
  Encoder *e = encoder_of(object);
  discard(e);
  delete e->rows;
  G_OBJECT_CLASS(parent_class)->finalize(object);
}

void instance_init(GTypeInstance *instance, gpointer) {
  Encoder *e = encoder_of(instance);
  e->sink = gst_pad_new_from_static_template(&sink_template, "sink");
  gst_pad_set_chain_function(e->sink, chain);
  gst_pad_set_event_function(e->sink, sink_event);
  gst_element_add_pad(&e->element, e->sink);
  e->src = gst_pad_new_from_static_template(&src_template, "src");
  gst_pad_use_fixed_caps(e->src);
  gst_element_add_pad(&e->element, e->src);
  e->palette_period = 0;
  e->palette_entries = 256;
  e->first_index = -1;
  e->system_colours = 0;
  e->rows = new std::vector<guint8>;
}

void class_init(gpointer klass, gpointer) {
  parent_class = GST_ELEMENT_CLASS(g_type_class_peek_parent(klass));
  GObjectClass *object = G_OBJECT_CLASS(klass);
  object->set_property = set_property;
  object->get_property = get_property;
  object->finalize = finalize;
  const auto flags = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
  g_object_class_install_property(
      object, kPalettePeriod,
      g_param_spec_int("palette-period", "Palette period",
                       "Frames that share one palette (0: one palette for up to 65536 frames)", 0, 0x10000, 0, flags));
  g_object_class_install_property(
      object, kPaletteEntries,
      g_param_spec_int("palette-entries", "Palette entries", "Palette entries the frames may use", 1, 256, 256, flags));
  g_object_class_install_property(
      object, kFirstIndex,
      g_param_spec_int("first-index", "First index",
                       "First palette entry the frames use (-1: the entries centred, (256 - entries) / 2)", -1, 255, -1,
                       flags));
  g_object_class_install_property(
      object, kSystemColours,
      g_param_spec_int("system-colours", "System colours",
                       "0: built palettes keep the 20 system colours in entries 0-9 and 246-255; 1: the "
                       "input's own palettes too; 2: none",
                       0, 2, 0, flags));
  GstElementClass *element = GST_ELEMENT_CLASS(klass);
  element->change_state = change_state;
  gst_element_class_add_static_pad_template(element, &sink_template);
  gst_element_class_add_static_pad_template(element, &src_template);
  gst_element_class_set_static_metadata(element, "FLC encoder", "Codec/Encoder/Video",
                                        "Writes 32-bit pictures as an FLC animation with shared palettes", "vexutil");
}

GType encoder_type() {
  static gsize type = 0;
  if (g_once_init_enter(&type)) {
    const GTypeInfo info{sizeof(EncoderClass), nullptr, nullptr,       class_init, nullptr, nullptr,
                         sizeof(Encoder),      0,       instance_init, nullptr};
    g_once_init_leave(&type, g_type_register_static(GST_TYPE_ELEMENT, "GstVexFlcEncoder", &info, GTypeFlags(0)));
  }
  return static_cast<GType>(type);
}

} // namespace

gboolean register_flc_encoder(GstPlugin *plugin) {
  GST_DEBUG_CATEGORY_INIT(vex_flc_debug, "vexflcenc", 0, "vexutil FLC encoder");
  return gst_element_register(plugin, "vexflcenc", GST_RANK_NONE, encoder_type());
}

} // namespace vexgst
