// The GStreamer plugin (from the build folder, with a registry of its own),
// vexthumb and the desktop files, held against the library (GFileGet,
// SFileGet, the FLIC reader) and third parties (gst-typefind, GstDiscoverer,
// ffmpeg, update-mime-database, xdg-mime). Every pipeline has a time limit.
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "testkit/executable/pe_fixture.h"
#include "testkit/flic/pattern.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/rawb/rawb_writer.h"
#include "testkit/util/child_process.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/picture_compare.h"
#include "testkit/util/tool_run.h"
#include "testkit/util/wav_file.h"
#include "vexutil.h"

namespace {

using namespace vex::testkit;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// GStreamer with the build's plugin; tools run from here inherit the
// variables. Under the sanitizers GStreamer's own programs (the registry
// scanner, gst-launch-1.0 and the others) load the sanitized plugin only
// with the runtime preloaded, and their own leaks are not ours.
void start_gst() {
  static const bool started = [] {
    g_setenv("GST_PLUGIN_PATH", GST_PLUGIN_DIR, TRUE);
    g_setenv("GST_REGISTRY", GST_REGISTRY_FILE, TRUE);
    if (*SANITIZER_RUNTIME)
      g_setenv("LD_PRELOAD", SANITIZER_RUNTIME, TRUE), g_setenv("ASAN_OPTIONS", "detect_leaks=0", TRUE);
    return gst_init_check(nullptr, nullptr, nullptr);
  }();
  ASSERT_TRUE(started);
}

using Pipeline = std::unique_ptr<GstElement, void (*)(GstElement *)>;

Pipeline launch(const std::string &description) { // null when an element is missing
  return Pipeline(gst_parse_launch_full(description.c_str(), nullptr, GST_PARSE_FLAG_FATAL_ERRORS, nullptr),
                  [](GstElement *e) { gst_element_set_state(e, GST_STATE_NULL), gst_object_unref(e); });
}
GstElement *named(const Pipeline &p, const char *name) { return gst_bin_get_by_name(GST_BIN(p.get()), name); }

// Plays to EOS; "" then, else the error (or the time limit) that ended it.
std::string play(GstElement *p, GstClockTime limit = 30 * GST_SECOND) {
  if (!p)
    return "no pipeline";
  gst_element_set_state(p, GST_STATE_PLAYING);
  GstBus *bus = gst_element_get_bus(p);
  GstMessage *m = gst_bus_timed_pop_filtered(bus, limit, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  gst_object_unref(bus);
  GError *e = nullptr;
  if (m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR)
    gst_message_parse_error(m, &e, nullptr);
  const std::string r = !m ? "no end within the time limit" : e ? std::string("error: ") + e->message : "";
  g_clear_error(&e);
  if (m)
    gst_message_unref(m);
  return r;
}

// Whether a type names one of ours.
bool ours(const std::string &type) {
  return type.find("video/x-korvane") != std::string::npos || type.find("video/x-tolm") != std::string::npos ||
         type.find("video/x-rawb") != std::string::npos;
}

struct Stream {
  std::vector<Bytes> data;
  std::vector<GstClockTime> pts, duration;
  std::shared_ptr<GstStructure> caps; // the first buffer's
};

Stream take(GstElement *sink, bool preroll = false) {
  Stream s;
  while (GstSample *sample = preroll ? gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 0)
                                     : gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 0)) {
    GstBuffer *b = gst_sample_get_buffer(sample);
    GstMapInfo map;
    gst_buffer_map(b, &map, GST_MAP_READ);
    s.data.emplace_back(map.data, map.data + map.size);
    gst_buffer_unmap(b, &map);
    s.pts.push_back(GST_BUFFER_PTS(b));
    s.duration.push_back(GST_BUFFER_DURATION(b));
    if (!s.caps)
      s.caps.reset(gst_structure_copy(gst_caps_get_structure(gst_sample_get_caps(sample), 0)), gst_structure_free);
    gst_sample_unref(sample);
    if (preroll)
      break;
  }
  gst_object_unref(sink);
  return s;
}

// The container format in the tags a sink holds ("" for none): tags are
// sticky, sent once a stream, and a flushing seek must not lose them.
std::string container_tag(const Pipeline &p, const char *sink) {
  GstElement *e = named(p, sink);
  GstPad *pad = gst_element_get_static_pad(e, "sink");
  std::string r;
  if (GstEvent *event = gst_pad_get_sticky_event(pad, GST_EVENT_TAG, 0)) {
    GstTagList *tags = nullptr;
    gst_event_parse_tag(event, &tags);
    gchar *container = nullptr;
    if (gst_tag_list_get_string(tags, GST_TAG_CONTAINER_FORMAT, &container))
      r = container;
    g_free(container);
    gst_event_unref(event);
  }
  gst_object_unref(pad);
  gst_object_unref(e);
  return r;
}

int caps_int(const GstStructure *s, const char *field) {
  int v = -1;
  return s && gst_structure_get_int(s, field, &v) ? v : -1;
}

// What the library gives for a file: every picture (rows packed to 4 x
// width bytes) and the first track's sound, 16-bit.
struct Reference {
  int width = 0, height = 0;
  uint64_t num = 0, den = 0;
  std::vector<Bytes> frames;
  Bytes sound;
  uint32_t rate = 0, channels = 0, bytes_per_frame = 0;
  GstClockTime time(uint64_t frame) const { return gst_util_uint64_scale(frame, GST_SECOND * den, num); }
  uint64_t first_sample(uint64_t frame) const { return gst_util_uint64_scale(frame, den * rate, num); }
};

Reference reference(const std::string &name) {
  Reference r;
  GFILE *g = GFileOpen(name.c_str(), GFILE_TRUE_COLOUR, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, nullptr,
                       nullptr, nullptr);
  EXPECT_NE(g, nullptr) << name << ": " << VEXLastError();
  if (!g)
    return r;
  r.width = g->width, r.height = g->height, r.num = g->out_num, r.den = g->out_den;
  for (int32_t i = 0; i < g->output_frames && GFileGet(g); ++i) {
    r.frames.emplace_back();
    for (int y = 0; y < g->height; ++y)
      r.frames.back().insert(r.frames.back().end(), g->buffer + y * g->pitch, g->buffer + y * g->pitch + 4 * g->width);
  }
  GFileClose(g);
  if (SFILE *s = SFileOpen(name.c_str(), 0, 16, 0, 0, 0, 0, 0, 0, nullptr)) {
    r.rate = s->rate, r.channels = s->channels, r.bytes_per_frame = s->frame_bytes;
    uint8_t chunk[4096];
    for (uint32_t n; (n = SFileGet(s, chunk, sizeof chunk)) > 0;)
      r.sound.insert(r.sound.end(), chunk, chunk + n);
    SFileClose(s);
  }
  return r;
}

struct Movie {
  std::string file, reference, type; // type: gst-typefind's caps
  bool sound;
};

// The build's two samples with sound, a raw frame file, both movies inside
// executables and files whose names say nothing or the wrong thing.
std::vector<Movie> write_movies(const TempDir &dir) {
  const std::string kvn = SAMPLES "/pattern.kvn", tlm = SAMPLES "/pattern.tlm";
  rawb::Palette grey{}, red{};
  Bytes ramp(60), sound(8 * 735);
  for (size_t i = 0; i < sound.size(); ++i) {
    grey[i % 768] = static_cast<uint8_t>(i % 768 / 3), red[i % 768] = i % 3 ? 0 : grey[i % 768];
    ramp[i % 60] = static_cast<uint8_t>(i % 60 * 4), sound[i] = static_cast<uint8_t>(128 + (i * i / 97) % 90);
  }
  rawb::write_rawb(dir.file("f.raw"), {.width = 10, .height = 6, .speed = -50, .frame_count = {}},
                   {{ramp, {grey}}, {Bytes(ramp.rbegin(), ramp.rend()), {}}, {ramp, {red}}});
  korvane::MoviePlan plan; // 8-bit raw sound at 11025 Hz, 735 sample frames a frame
  plan.tracks[0] = korvane::TrackPlan{.rate = 11025, .frames = {}};
  for (size_t f = 0; f < 8; ++f)
    plan.tracks[0]->frames.emplace_back(sound.begin() + 735 * f, sound.begin() + 735 * (f + 1));
  const auto small = korvane::write_korvane(
      korvane::pattern_frames(PatternAnimation({.width = 32, .height = 24, .frames = 8})), plan, dir.file("k.kvn"));
  uint32_t at = 0;
  const Bytes k_bytes = executable_with_movie(small.file, &at), t_bytes = executable_with_movie(read_file(tlm), &at);
  for (const auto &[name, bytes] : {std::pair{"k.exe", k_bytes}, {"k.bin", k_bytes}, {"t.exe", t_bytes}})
    write_file(dir.file(name), bytes);
  write_file(dir.file("t.dat"), read_file(tlm));
  const std::string k = "video/x-korvane", t = "video/x-tolm", in = ", executable=(boolean)true";
  const std::string raw = dir.file("f.raw"), k_exe = dir.file("k.exe"), t_exe = dir.file("t.exe");
  return {{kvn, kvn, k, true},
          {tlm, tlm, t, true},
          {raw, raw, "video/x-rawb", false},
          {k_exe, k_exe, k + in, true},
          {dir.file("k.bin"), k_exe, k + in, true},
          {t_exe, t_exe, t + in, true},
          {dir.file("t.dat"), tlm, t, true}};
}

std::string decode_description(const Movie &m) {
  return "filesrc location=\"" + m.file +
         "\" ! decodebin name=d d. ! video/x-raw ! appsink name=video sync=false wait-on-eos=false" +
         (m.sound ? " d. ! audio/x-raw ! appsink name=audio sync=false wait-on-eos=false" : "");
}

// Every file of the bad-input corpora through playbin and through the
// decoder of its kind alone, each in a child process with a time limit: an
// error message or EOS, never a crash or a hang. First in the file: a child
// forked after other pipelines ran would inherit GStreamer's thread pools
// without their threads (CTest runs each case alone anyway).
TEST(GstPlugin, BadInputEndsInErrorOrEos) {
  start_gst();
  const char *const corpora[][2] = {{"tolm_movie", "vextolmdec"},
                                    {"korvane", "vexkorvanedec"},
                                    {"rawb", "vexrawbdec"},
                                    {"pe_scanner", "vexkorvanedec"}};
  for (const auto &[corpus, element] : corpora)
    for (const auto &entry : fs::directory_iterator(fs::path(CORPUS) / corpus)) {
      const std::string file = fs::absolute(entry.path()).string();
      for (const std::string &description :
           {"playbin video-sink=fakesink audio-sink=fakesink uri=\"file://" + file + "\"",
            "filesrc location=\"" + file + "\" ! " + element + " name=d d.video ! fakesink"}) {
        SCOPED_TRACE(description);
        const ChildResult c = run_child(
            [&] {
              Pipeline p = launch(description);
              const std::string end = play(p.get(), 20 * GST_SECOND);
              return end.empty() ? 0 : end.rfind("error", 0) == 0 ? 1 : 2;
            },
            ChildLimits{std::chrono::seconds(40)});
        EXPECT_FALSE(c.timed_out);
        EXPECT_EQ(c.signal, 0) << c.err;
        EXPECT_TRUE(c.status == 0 || c.status == 1) << c.status << c.err;
      }
    }
}

// gst-inspect lists the elements; gst-typefind names every movie by its
// content, and none of the near misses. Then decodebin to appsinks, playbin
// to fakesinks and the discoverer, over every movie: exactly the library's
// pictures and sound, with their times.
TEST(GstPlugin, TypesFoundAndPipelinesGiveTheLibrarysFramesAndSound) {
  start_gst();
  TempDir dir;
  const ToolRun inspect = run_tool("timeout", "60 gst-inspect-1.0 vexutil", dir);
  ASSERT_EQ(inspect.status, 0) << inspect.err;
  for (const char *name : {"vexkorvanedec", "vextolmdec", "vexrawbdec", "vexflcenc", "vexutil-executable-movie"})
    EXPECT_NE(inspect.out.find(name), std::string::npos) << name;

  std::vector<std::pair<std::string, std::string>> rows; // file, caps ("" for none of ours)
  const std::vector<Movie> movies = write_movies(dir);
  for (const Movie &m : movies)
    rows.emplace_back(m.file, m.type);
  // Near misses: a version letter past 'i', a raw frame header of width 0,
  // an executable that names no movie; and two other kinds.
  Bytes tolm = read_file(SAMPLES "/pattern.tlm"), raw = read_file(dir.file("f.raw"));
  tolm[3] = 'j';
  set_le32(raw, 8, 0);
  write_file(dir.file("j.tlm"), tolm);
  write_file(dir.file("w0.raw"), raw);
  write_file(dir.file("s.kvn"), pcm_wav(11025, 16, 1, Bytes(400, 0)));
  for (const std::string &miss :
       {dir.file("j.tlm"), dir.file("w0.raw"), dir.file("s.kvn"), std::string(SAMPLES "/pattern.flc"),
        std::string(CORPUS "/pe_scanner/seed_no_resources.exe")})
    rows.emplace_back(miss, "");
  std::string args = "60 gst-typefind-1.0";
  for (const auto &row : rows)
    args += " " + shell_quote(row.first);
  const ToolRun t = run_tool("timeout", args, dir);
  const std::string found = t.out + t.err; // a file of no known type is named on standard error
  for (const auto &[file, type] : rows) {
    SCOPED_TRACE(file);
    const size_t at = found.find(file + " - ");
    ASSERT_NE(at, std::string::npos) << found;
    const std::string line = found.substr(at + file.size() + 3, found.find('\n', at) - at - file.size() - 3);
    EXPECT_TRUE(type.empty() ? !ours(line) : line == type) << line;
  }
  GstDiscoverer *discoverer = gst_discoverer_new(20 * GST_SECOND, nullptr);
  for (const Movie &m : movies) {
    SCOPED_TRACE(m.file);
    const Reference want = reference(m.reference);
    Pipeline p = launch(decode_description(m));
    ASSERT_EQ(play(p.get()), "");
    const Stream video = take(named(p, "video"));
    ASSERT_EQ(video.data.size(), want.frames.size());
    EXPECT_STREQ(gst_structure_get_string(video.caps.get(), "format"), "BGRx");
    EXPECT_EQ(std::pair(caps_int(video.caps.get(), "width"), caps_int(video.caps.get(), "height")),
              std::pair(want.width, want.height));
    for (size_t i = 0; i < video.data.size(); ++i) {
      EXPECT_TRUE(video.data[i] == want.frames[i]) << "frame " << i;
      EXPECT_EQ(video.pts[i], want.time(i)) << "frame " << i;
      EXPECT_EQ(video.duration[i], want.time(i + 1) - want.time(i)) << "frame " << i;
    }
    ASSERT_EQ(m.sound, !want.sound.empty());
    if (m.sound) {
      const Stream audio = take(named(p, "audio"));
      EXPECT_EQ(std::pair(caps_int(audio.caps.get(), "rate"), caps_int(audio.caps.get(), "channels")),
                std::pair(int(want.rate), int(want.channels)));
      Bytes all;
      for (size_t i = 0; i < audio.data.size(); ++i) {
        const uint64_t sample = all.size() / want.bytes_per_frame;
        EXPECT_EQ(audio.pts[i], gst_util_uint64_scale(sample, GST_SECOND, want.rate)) << "buffer " << i;
        all.insert(all.end(), audio.data[i].begin(), audio.data[i].end());
      }
      EXPECT_TRUE(all == want.sound) << all.size() << " bytes against " << want.sound.size();
    }
    const std::string uri = "file://" + fs::absolute(m.file).string();
    Pipeline playbin = launch("playbin video-sink=fakesink audio-sink=fakesink uri=\"" + uri + "\"");
    EXPECT_EQ(play(playbin.get()), "") << "playbin";

    GError *error = nullptr;
    GstDiscovererInfo *info = gst_discoverer_discover_uri(discoverer, uri.c_str(), &error);
    ASSERT_TRUE(info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) << (error ? error->message : "");
    EXPECT_EQ(gst_discoverer_info_get_duration(info), want.time(want.frames.size()));
    GList *videos = gst_discoverer_info_get_video_streams(info), *audios = gst_discoverer_info_get_audio_streams(info);
    ASSERT_EQ(g_list_length(videos), 1u);
    ASSERT_EQ(g_list_length(audios), m.sound ? 1u : 0u);
    auto *v = GST_DISCOVERER_VIDEO_INFO(videos->data);
    EXPECT_EQ(std::pair(gst_discoverer_video_info_get_width(v), gst_discoverer_video_info_get_height(v)),
              std::pair(guint(want.width), guint(want.height)));
    EXPECT_EQ(uint64_t{gst_discoverer_video_info_get_framerate_num(v)} * want.den,
              uint64_t{gst_discoverer_video_info_get_framerate_denom(v)} * want.num);
    EXPECT_EQ(m.sound ? gst_discoverer_audio_info_get_sample_rate(GST_DISCOVERER_AUDIO_INFO(audios->data)) : 0,
              want.rate);
    for (GList *l : {videos, audios})
      gst_discoverer_stream_info_list_free(l);
    gst_discoverer_info_unref(info);
  }
  g_object_unref(discoverer);
}

// Seeks in PAUSED, in time and in frames, forwards and backwards: the
// picture that prerolls is the frame asked for, the sound starts at that
// frame's first sample frame, the position and duration queries agree,
// and the sinks keep the tags they had before the first seek.
TEST(GstPlugin, SeeksLandOnTheFrameAskedFor) {
  start_gst();
  TempDir dir;
  const std::vector<Movie> movies = write_movies(dir);
  const std::vector<std::pair<size_t, std::vector<int64_t>>> rows = {
      {0, {31, 7, 59, 0, 58}}, {1, {30, 14, 15, 44, 2}}, {2, {2, 0, 1}}, {4, {6, 1, 7}}, {6, {16, 15}}};
  for (const auto &[index, frames] : rows) {
    const Movie &m = movies[index];
    SCOPED_TRACE(m.file);
    const Reference want = reference(m.reference);
    Pipeline p = launch(decode_description(m));
    gst_element_set_state(p.get(), GST_STATE_PAUSED);
    ASSERT_EQ(gst_element_get_state(p.get(), nullptr, nullptr, 30 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
    gint64 length = 0;
    EXPECT_TRUE(gst_element_query_duration(p.get(), GST_FORMAT_DEFAULT, &length) &&
                length == gint64(want.frames.size()));
    const std::string container = container_tag(p, "video");
    EXPECT_NE(container, "");
    EXPECT_EQ(m.sound ? container_tag(p, "audio") : container, container);
    for (size_t k = 0; k < frames.size(); ++k) {
      const int64_t n = frames[k];
      SCOPED_TRACE("frame " + std::to_string(n));
      // Every other seek is in frames, sent to the picture's sink alone.
      const bool in_frames = k % 2 == 1;
      GstElement *to = in_frames ? named(p, "video") : GST_ELEMENT(gst_object_ref(p.get()));
      ASSERT_TRUE(gst_element_seek_simple(to, in_frames ? GST_FORMAT_DEFAULT : GST_FORMAT_TIME,
                                          GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                          in_frames ? n : static_cast<gint64>(want.time(n))));
      gst_object_unref(to);
      ASSERT_EQ(gst_element_get_state(p.get(), nullptr, nullptr, 30 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
      const Stream video = take(named(p, "video"), true);
      ASSERT_EQ(video.data.size(), 1u);
      EXPECT_TRUE(video.data[0] == want.frames[static_cast<size_t>(n)]);
      EXPECT_EQ(video.pts[0], want.time(n));
      gint64 position = -1;
      EXPECT_TRUE(gst_element_query_position(p.get(), GST_FORMAT_TIME, &position) && position == gint64(want.time(n)));
      EXPECT_EQ(container_tag(p, "video"), container);
      if (!m.sound)
        continue;
      EXPECT_EQ(container_tag(p, "audio"), container);
      const Stream audio = take(named(p, "audio"), true);
      ASSERT_EQ(audio.data.size(), 1u);
      const uint64_t first = want.first_sample(n);
      EXPECT_EQ(audio.pts[0], gst_util_uint64_scale(first, GST_SECOND, want.rate));
      const auto from = want.sound.begin() + static_cast<ptrdiff_t>(first * want.bytes_per_frame);
      EXPECT_TRUE(audio.data[0] == Bytes(from, from + static_cast<ptrdiff_t>(audio.data[0].size())));
    }
  }
}

// The FLC encoder: the README's gst-launch line over videotestsrc, and
// appsrc frames of a gradient whose blue moves each frame (so that every
// run of frames wants a palette of its own) with the palette properties.
// The file decodes alike in ffmpeg and in our reader, close to the frames
// that went in, with the indices inside the entries asked for and at most
// one palette per period.
TEST(GstPlugin, FlcEncoderOutputDecodesToItsInput) {
  start_gst();
  TempDir dir;
  struct Row {
    int w, h, frames, period, entries, min_psnr;
  };
  for (const Row r : {Row{320, 240, 60, 0, 256, 30}, Row{33, 17, 12, 0, 256, 26}, Row{64, 48, 20, 5, 64, 26},
                      Row{40, 30, 8, 1, 16, 20}}) {
    SCOPED_TRACE(std::to_string(r.w) + "x" + std::to_string(r.h) + " period " + std::to_string(r.period));
    const std::string flc = dir.file("x" + std::to_string(r.w) + ".flc");
    std::vector<Bytes> in; // red, green, blue
    if (r.w == 320) {      // the line from the README, through the tool
      const std::string line = "videotestsrc num-buffers=60 ! videoconvert ! vexflcenc ! filesink location=";
      const ToolRun t = run_tool("timeout", "60 gst-launch-1.0 -q " + line + shell_quote(flc), dir);
      ASSERT_EQ(t.status, 0) << t.err;
      Pipeline p = launch("videotestsrc num-buffers=60 ! videoconvert ! video/x-raw,format=RGB ! appsink name=in "
                          "sync=false wait-on-eos=false");
      ASSERT_EQ(play(p.get()), "");
      in = take(named(p, "in")).data;
    } else {
      Pipeline p = launch(
          "appsrc name=src format=time caps=video/x-raw,format=BGRx,framerate=15/1,width=" + std::to_string(r.w) +
          ",height=" + std::to_string(r.h) + " ! vexflcenc palette-period=" + std::to_string(r.period) +
          " palette-entries=" + std::to_string(r.entries) + " ! filesink location=\"" + flc + "\"");
      GstElement *src = named(p, "src");
      for (int t = 0; t < r.frames; ++t) {
        Bytes rgb, bgrx;
        for (int y = 0; y < r.h; ++y)
          for (int x = 0; x < r.w; ++x) {
            const uint8_t red = uint8_t(255 - x * 255 / r.w), green = uint8_t(y * 255 / r.h);
            const uint8_t blue = uint8_t(40 + 6 * t + x * 100 / r.w);
            rgb.insert(rgb.end(), {red, green, blue});
            bgrx.insert(bgrx.end(), {blue, green, red, 0});
          }
        in.push_back(rgb);
        gst_app_src_push_buffer(GST_APP_SRC(src), gst_buffer_new_memdup(bgrx.data(), bgrx.size()));
      }
      gst_app_src_end_of_stream(GST_APP_SRC(src));
      gst_object_unref(src);
      ASSERT_EQ(play(p.get()), "");
    }
    ASSERT_EQ(in.size(), static_cast<size_t>(r.frames));
    VEXFLIC *f = VEXFlicOpen(flc.c_str());
    ASSERT_NE(f, nullptr) << VEXLastError();
    EXPECT_EQ(f->frame_count, static_cast<uint32_t>(r.frames));
    EXPECT_EQ(f->width, static_cast<uint32_t>((r.w + 3) & ~3)); // the writer's rows are whole words
    const std::vector<Bytes> theirs = ffmpeg_decode_rgb(flc, f->width, f->height);
    ASSERT_GE(theirs.size(), in.size()); // ffmpeg may show the ring frame as well
    Bytes pixels(size_t{f->pitch} * f->buffer_height);
    const uint32_t first = (256 - r.entries) / 2, fw = f->width;
    int palettes = 0;
    for (int t = 0; t < r.frames; ++t) {
      palettes += (VEXFlicGetNext(f, pixels.data()) & 0xFF) == VEXFLIC_FRAME_NEW_PALETTE;
      const Bytes ours = to_rgb(pixels.data(), f->width, f->height, f->pitch, VEXFlicGetPalette(f));
      EXPECT_TRUE(ours == theirs[t]) << "frame " << t;
      Bytes visible;
      for (uint32_t y = 0; y < uint32_t(r.h); ++y) {
        visible.insert(visible.end(), ours.begin() + 3 * y * fw, ours.begin() + 3 * (y * fw + r.w));
        for (uint32_t x = 0; x < uint32_t(r.w); ++x)
          ASSERT_TRUE(pixels[y * f->pitch + x] - first < uint32_t(r.entries)) << x << "," << y;
      }
      EXPECT_GE(psnr(visible, in[t]), r.min_psnr) << "frame " << t;
    }
    VEXFlicClose(f);
    EXPECT_GE(palettes, r.period == 0 ? 1 : 2); // the first frame's, and more when the colours move
    EXPECT_LE(palettes, r.period == 0 ? 1 : (r.frames + r.period - 1) / r.period);
  }
}

// vexthumb by the thumbnailer entry's command line, on every kind
// of movie and a FLIC: a PNG whose longer side is the size asked for, the
// other in proportion; for the movies of ten frames or more, the picture
// of the frame a tenth in, as ffmpeg's area filter scales it.
TEST(GstPlugin, ThumbnailerWritesAPngOfTheSize) {
  TempDir dir;
  ASSERT_NE(std::string(std::istreambuf_iterator<char>(std::ifstream(THUMBNAILER).rdbuf()), {})
                .find("\nExec=vexthumb -s %s %i %o\n"),
            std::string::npos); // the command line run here
  std::vector<Movie> rows = write_movies(dir);
  rows.erase(rows.begin() + 4); // k.bin: an executable is no type of ours
  rows.insert(rows.begin(), Movie{SAMPLES "/pattern.flc", SAMPLES "/pattern.flc", "", false});
  const int size = 40;
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].file);
    // File managers pass output names of their own, not always "*.png".
    const std::string out = dir.file("thumb" + std::to_string(i) + (i % 2 ? ".png" : ".tmp"));
    const ToolRun t = run_tool(
        VEXTHUMB, "-s " + std::to_string(size) + " " + shell_quote(rows[i].file) + " " + shell_quote(out), dir);
    ASSERT_EQ(t.status, 0) << t.err;
    const Bytes png = read_file(out);
    ASSERT_TRUE(png.size() > 24 && png[1] == 'P' && png[2] == 'N' && png[3] == 'G');
    const int w = png[18] << 8 | png[19], h = png[22] << 8 | png[23];
    const Reference want = reference(rows[i].reference);
    const double longer = std::max(want.width, want.height);
    EXPECT_EQ(std::max(w, h), size);
    EXPECT_NEAR(w, want.width * size / longer, 0.5);
    EXPECT_NEAR(h, want.height * size / longer, 0.5);
    if (i < 3) { // the FLIC, the Korvane and the Tolm sample
      write_file(dir.file("frame.bgra"), want.frames.at(want.frames.size() / 10));
      ffmpeg("-f rawvideo -pix_fmt bgra -s " + std::to_string(want.width) + "x" + std::to_string(want.height) + " -i " +
             shell_quote(dir.file("frame.bgra")) + " -i " + shell_quote(out) +
             " -filter_complex '[0]scale=" + std::to_string(w) + ":" + std::to_string(h) +
             ":flags=area[a]' -map '[a]' -f rawvideo -pix_fmt rgb24 " + shell_quote(dir.file("want.rgb")) +
             " -map 1 -f rawvideo -pix_fmt rgb24 " + shell_quote(dir.file("got.rgb")));
      EXPECT_GE(psnr(read_file(dir.file("got.rgb")), read_file(dir.file("want.rgb"))), 28);
    }
  }
}

// The file types: the definition installs into a scratch prefix with
// update-mime-database, and xdg-mime (through GIO) names each file by its
// content where the name says nothing or another thing.
TEST(GstPlugin, MimeTypesInstallAndAreFound) {
  TempDir dir;
  const ToolRun lint = run_tool("xmllint", std::string("--noout ") + MIME_XML, dir);
  ASSERT_EQ(lint.status, 0) << lint.err;
  fs::create_directories(dir.path() / "share/mime/packages");
  fs::copy_file(MIME_XML, dir.path() / "share/mime/packages/vexutil.xml");
  const ToolRun update = run_tool("env",
                                  "XDG_DATA_DIRS=" + shell_quote(dir.file("share")) + " update-mime-database " +
                                      shell_quote(dir.file("share/mime")),
                                  dir);
  ASSERT_EQ(update.status, 0) << update.err;
  EXPECT_EQ(update.err, "");
  write_file(dir.file("c.raw"), Bytes(4096, 0x5A)); // a "*.raw" that is no raw frame file
  std::vector<std::pair<std::string, std::string>> rows{{dir.file("c.raw"), ""}, {SAMPLES "/pattern.flc", ""}};
  for (const Movie &m : write_movies(dir)) // an executable is no type of ours
    rows.emplace_back(m.file, m.type.find("executable") == std::string::npos ? m.type : "");
  const std::string env =
      "XDG_CURRENT_DESKTOP=GNOME GIO_USE_VFS=local XDG_DATA_DIRS=" + shell_quote(dir.file("share") + ":/usr/share") +
      " XDG_DATA_HOME=" + shell_quote(dir.file("home")) + " timeout 60 xdg-mime query filetype ";
  for (const auto &[file, type] : rows) {
    SCOPED_TRACE(file);
    const ToolRun q = run_tool("env", env + shell_quote(file), dir);
    ASSERT_EQ(q.status, 0) << q.err;
    EXPECT_TRUE(type.empty() ? !ours(q.out) : q.out == type + "\n") << q.out;
  }
}

} // namespace
