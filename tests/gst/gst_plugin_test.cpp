// The GStreamer plugin, vexthumb and the desktop files, from outside: the
// plugin is loaded from the build folder (GST_PLUGIN_PATH) with a registry
// of the build folder's own (GST_REGISTRY), and what comes out of
// pipelines is held against the library itself (GFileGet, SFileGet, the
// FLIC reader) and against third parties (gst-typefind, GstDiscoverer,
// ffmpeg, update-mime-database and xdg-mime). Every pipeline has a time
// limit; the bad inputs run in child processes.
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testkit/executable/pe_fixture.h"
#include "testkit/flic/pattern.h"
#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/formats/rawb/rawb_writer.h"
#include "testkit/gfile/kind_samples.h"
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

// GStreamer with the build's plugin; tools run from here inherit both variables.
void start_gst() {
  static const bool started = [] {
    g_setenv("GST_PLUGIN_PATH", GST_PLUGIN_DIR, TRUE);
    g_setenv("GST_REGISTRY", GST_REGISTRY_FILE, TRUE);
    return gst_init_check(nullptr, nullptr, nullptr);
  }();
  ASSERT_TRUE(started);
}

struct PipelineDeleter {
  void operator()(GstElement *p) const {
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(p);
  }
};
using Pipeline = std::unique_ptr<GstElement, PipelineDeleter>;

Pipeline launch(const std::string &description) {
  GError *error = nullptr;
  Pipeline p(gst_parse_launch(description.c_str(), &error));
  EXPECT_EQ(error, nullptr) << description << ": " << (error ? error->message : "");
  g_clear_error(&error);
  return p;
}

// Plays to EOS; "" then, else the error (or the time limit) that ended it.
std::string play(GstElement *p, GstClockTime limit = 30 * GST_SECOND) {
  gst_element_set_state(p, GST_STATE_PLAYING);
  GstBus *bus = gst_element_get_bus(p);
  GstMessage *m = gst_bus_timed_pop_filtered(bus, limit, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  std::string r = m ? "" : "no end within the time limit";
  if (m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) {
    GError *e = nullptr;
    gst_message_parse_error(m, &e, nullptr);
    r = std::string("error: ") + e->message;
    g_error_free(e);
  }
  if (m)
    gst_message_unref(m);
  gst_object_unref(bus);
  return r;
}

struct Stream {
  std::vector<Bytes> data;
  std::vector<GstClockTime> pts, duration;
  GstStructure *caps = nullptr; // of the first buffer (leaked with the test process)
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
      s.caps = gst_structure_copy(gst_caps_get_structure(gst_sample_get_caps(sample), 0));
    gst_sample_unref(sample);
    if (preroll)
      break;
  }
  gst_object_unref(sink);
  return s;
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
  for (int i = 0; i < 256; ++i)
    grey[3 * i] = grey[3 * i + 1] = grey[3 * i + 2] = red[3 * i] = static_cast<uint8_t>(i);
  Bytes ramp(60);
  for (size_t i = 0; i < ramp.size(); ++i)
    ramp[i] = static_cast<uint8_t>(i * 4);
  rawb::write_rawb(dir.file("f.raw"), {.width = 10, .height = 6, .speed = -50, .frame_count = {}},
                   {{ramp, {grey}}, {Bytes(ramp.rbegin(), ramp.rend()), {}}, {ramp, {red}}});
  korvane::MoviePlan plan;
  plan.tracks[0] = korvane::TrackPlan{.rate = 11025, .frames = std::vector<Bytes>(8, Bytes(735, 0))};
  for (size_t f = 0; f < 8; ++f)
    for (size_t i = 0; i < 735; ++i)
      plan.tracks[0]->frames[f][i] = static_cast<uint8_t>(128 + 60 * ((i / (20 + 5 * f)) % 2));
  const auto small = korvane::write_korvane(
      korvane::pattern_frames(PatternAnimation({.width = 32, .height = 24, .frames = 8})), plan, dir.file("k.kvn"));
  uint32_t at = 0;
  const Bytes k_exe = executable_with_movie(small.file, &at), t_exe = executable_with_movie(read_file(tlm), &at);
  for (const auto &[name, bytes] : {std::pair{"k.exe", k_exe}, {"k.bin", k_exe}, {"t.exe", t_exe}})
    write_file(dir.file(name), bytes);
  write_file(dir.file("t.dat"), read_file(tlm));
  const std::string k_in = "video/x-korvane, executable=(boolean)true", t_in = "video/x-tolm, executable=(boolean)true";
  return {{kvn, kvn, "video/x-korvane", true},       {tlm, tlm, "video/x-tolm", true},
          {dir.file("f.raw"), dir.file("f.raw"), "video/x-rawb", false},
          {dir.file("k.exe"), dir.file("k.exe"), k_in, true}, {dir.file("k.bin"), dir.file("k.exe"), k_in, true},
          {dir.file("t.exe"), dir.file("t.exe"), t_in, true}, {dir.file("t.dat"), tlm, "video/x-tolm", true}};
}

std::string decode_description(const Movie &m) {
  return "filesrc location=\"" + m.file + "\" ! decodebin name=d d. ! video/x-raw ! appsink name=video sync=false wait-on-eos=false" +
         (m.sound ? " d. ! audio/x-raw ! appsink name=audio sync=false wait-on-eos=false" : "");
}

// Every file of the bad-input corpora through decodebin (playbin) and
// through the decoder of its kind directly, each in a child process with a
// time limit: an error message or EOS, never a crash or a hang. First in
// the file: a child forked after other pipelines ran would inherit
// GStreamer's thread pools without their threads (CTest runs each case in
// a process of its own anyway).
TEST(GstPlugin, BadInputEndsInErrorOrEos) {
  start_gst();
  const std::pair<const char *, const char *> corpora[] = {
      {"tolm_movie", "vextolmdec"}, {"korvane", "vexkorvanedec"}, {"rawb", "vexrawbdec"}, {"pe_scanner", "vexkorvanedec"}};
  int ended = 0;
  for (const auto &[corpus, element] : corpora)
    for (const auto &entry : fs::directory_iterator(fs::path(CORPUS) / corpus)) {
      const std::string file = fs::absolute(entry.path()).string();
      for (const std::string &description :
           {"playbin video-sink=fakesink audio-sink=fakesink uri=\"file://" + file + "\"",
            "filesrc location=\"" + file + "\" ! " + element + " name=d d.video ! fakesink"}) {
        SCOPED_TRACE(description);
        const ChildResult c = run_child([&] {
          Pipeline p(gst_parse_launch(description.c_str(), nullptr));
          const std::string end = p ? play(p.get(), 20 * GST_SECOND) : "no pipeline";
          return end.empty() ? 0 : end.rfind("error", 0) == 0 ? 1 : 2;
        }, ChildLimits{std::chrono::seconds(40)});
        EXPECT_FALSE(c.timed_out);
        EXPECT_EQ(c.signal, 0) << c.err;
        EXPECT_TRUE(c.status == 0 || c.status == 1) << c.status << c.err;
        ended += c.status == 0 || c.status == 1;
      }
    }
  EXPECT_GE(ended, 2 * 20); // the corpora are there
}

TEST(GstPlugin, ElementsAreListedAndTypesFoundByContent) {
  start_gst();
  TempDir dir;
  const ToolRun inspect = run_tool("timeout", "60 gst-inspect-1.0 vexutil", dir);
  ASSERT_EQ(inspect.status, 0) << inspect.err;
  for (const char *name : {"vexkorvanedec", "vextolmdec", "vexrawbdec", "vexflcenc", "vexutil-executable-movie"})
    EXPECT_NE(inspect.out.find(name), std::string::npos) << name;

  std::vector<std::pair<std::string, std::string>> rows; // file, caps ("" for none of ours)
  for (const Movie &m : write_movies(dir))
    rows.emplace_back(m.file, m.type);
  // Near misses: a version letter past 'i', a raw frame header of width 0,
  // an executable that names no movie; and two other kinds.
  Bytes tolm = read_file(SAMPLES "/pattern.tlm"), raw = read_file(dir.file("f.raw"));
  tolm[3] = 'j';
  set_le32(raw, 8, 0);
  write_file(dir.file("j.tlm"), tolm);
  write_file(dir.file("w0.raw"), raw);
  write_file(dir.file("s.kvn"), pcm_wav(11025, 16, 1, Bytes(400, 0)));
  rows.insert(rows.end(), {{dir.file("j.tlm"), ""}, {dir.file("w0.raw"), ""}, {dir.file("s.kvn"), ""},
                           {SAMPLES "/pattern.flc", ""}, {CORPUS "/pe_scanner/seed_no_resources.exe", ""}});
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
    if (type.empty())
      EXPECT_EQ(line.find("video/x-korvane") + line.find("video/x-tolm") + line.find("video/x-rawb"),
                3 * std::string::npos) << line;
    else
      EXPECT_EQ(line, type);
  }
}

// decodebin to appsinks, playbin to fakesinks and the discoverer, over
// every movie: exactly the library's pictures and sound, with their times.
TEST(GstPlugin, PipelinesGiveTheLibrarysFramesAndSound) {
  start_gst();
  TempDir dir;
  GstDiscoverer *discoverer = gst_discoverer_new(20 * GST_SECOND, nullptr);
  for (const Movie &m : write_movies(dir)) {
    SCOPED_TRACE(m.file);
    const Reference want = reference(m.reference);
    Pipeline p = launch(decode_description(m));
    ASSERT_EQ(play(p.get()), "");
    const Stream video = take(gst_bin_get_by_name(GST_BIN(p.get()), "video"));
    ASSERT_EQ(video.data.size(), want.frames.size());
    EXPECT_STREQ(gst_structure_get_string(video.caps, "format"), "BGRx");
    EXPECT_EQ(caps_int(video.caps, "width"), want.width);
    EXPECT_EQ(caps_int(video.caps, "height"), want.height);
    for (size_t i = 0; i < video.data.size(); ++i) {
      EXPECT_TRUE(video.data[i] == want.frames[i]) << "frame " << i;
      EXPECT_EQ(video.pts[i], want.time(i)) << "frame " << i;
      EXPECT_EQ(video.duration[i], want.time(i + 1) - want.time(i)) << "frame " << i;
    }
    ASSERT_EQ(m.sound, !want.sound.empty());
    if (m.sound) {
      const Stream audio = take(gst_bin_get_by_name(GST_BIN(p.get()), "audio"));
      EXPECT_EQ(caps_int(audio.caps, "rate"), static_cast<int>(want.rate));
      EXPECT_EQ(caps_int(audio.caps, "channels"), static_cast<int>(want.channels));
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
    auto *v = GST_DISCOVERER_VIDEO_INFO(videos->data);
    EXPECT_EQ(gst_discoverer_video_info_get_width(v), static_cast<guint>(want.width));
    EXPECT_EQ(gst_discoverer_video_info_get_height(v), static_cast<guint>(want.height));
    EXPECT_EQ(uint64_t{gst_discoverer_video_info_get_framerate_num(v)} * want.den,
              uint64_t{gst_discoverer_video_info_get_framerate_denom(v)} * want.num);
    ASSERT_EQ(g_list_length(audios), m.sound ? 1u : 0u);
    if (m.sound) {
      EXPECT_EQ(gst_discoverer_audio_info_get_sample_rate(GST_DISCOVERER_AUDIO_INFO(audios->data)), want.rate);
    }
    gst_discoverer_stream_info_list_free(videos);
    gst_discoverer_stream_info_list_free(audios);
    gst_discoverer_info_unref(info);
  }
  g_object_unref(discoverer);
}

// Seeks in PAUSED, in time and in frames, forwards and backwards: the
// picture that prerolls is the frame asked for, the sound starts at that
// frame's first sample frame, and the position and duration queries agree.
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
    EXPECT_TRUE(gst_element_query_duration(p.get(), GST_FORMAT_DEFAULT, &length));
    EXPECT_EQ(length, static_cast<gint64>(want.frames.size()));
    for (size_t k = 0; k < frames.size(); ++k) {
      const int64_t n = frames[k];
      SCOPED_TRACE("frame " + std::to_string(n));
      // Every other seek names the frame rather than its time, to the
      // picture's sink alone (frames mean nothing to the sound).
      const bool in_frames = k % 2 == 1;
      GstElement *to = in_frames ? gst_bin_get_by_name(GST_BIN(p.get()), "video") : GST_ELEMENT(gst_object_ref(p.get()));
      ASSERT_TRUE(gst_element_seek_simple(to, in_frames ? GST_FORMAT_DEFAULT : GST_FORMAT_TIME,
                                          GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                          in_frames ? n : static_cast<gint64>(want.time(n))));
      gst_object_unref(to);
      ASSERT_EQ(gst_element_get_state(p.get(), nullptr, nullptr, 30 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
      const Stream video = take(gst_bin_get_by_name(GST_BIN(p.get()), "video"), true);
      ASSERT_EQ(video.data.size(), 1u);
      EXPECT_TRUE(video.data[0] == want.frames[static_cast<size_t>(n)]);
      EXPECT_EQ(video.pts[0], want.time(n));
      gint64 position = -1;
      EXPECT_TRUE(gst_element_query_position(p.get(), GST_FORMAT_TIME, &position));
      EXPECT_EQ(position, static_cast<gint64>(want.time(n)));
      if (!m.sound)
        continue;
      const Stream audio = take(gst_bin_get_by_name(GST_BIN(p.get()), "audio"), true);
      ASSERT_EQ(audio.data.size(), 1u);
      const uint64_t first = want.first_sample(n);
      EXPECT_EQ(audio.pts[0], gst_util_uint64_scale(first, GST_SECOND, want.rate));
      const auto from = want.sound.begin() + static_cast<ptrdiff_t>(first * want.bytes_per_frame);
      EXPECT_TRUE(audio.data[0] == Bytes(from, from + static_cast<ptrdiff_t>(audio.data[0].size())));

    }
  }
}

// Frames of a colour gradient whose blue moves each frame, so that every
// run of frames wants a palette of its own.
Bytes gradient(int w, int h, int t) {
  Bytes f(size_t(4) * w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t *p = &f[4 * (size_t(y) * w + x)];
      p[0] = static_cast<uint8_t>(40 + 6 * t + x * 100 / w), p[1] = static_cast<uint8_t>(y * 255 / h);
      p[2] = static_cast<uint8_t>(255 - x * 255 / w), p[3] = 0;
    }
  return f;
}

Bytes bgrx_to_rgb(const Bytes &f, int w, int h, int pitch) { // rows `pitch` pixels apart in f
  Bytes rgb;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      rgb.insert(rgb.end(), {f[4 * (size_t(y) * pitch + x) + 2], f[4 * (size_t(y) * pitch + x) + 1],
                             f[4 * (size_t(y) * pitch + x)]});
  return rgb;
}

// The FLC encoder: the README's gst-launch line over videotestsrc, and
// appsrc frames with the palette properties. The file decodes alike in
// ffmpeg and in our reader, close to the frames that went in, with the
// indices inside the entries asked for and at most one palette per period.
TEST(GstPlugin, FlcEncoderOutputDecodesToItsInput) {
  start_gst();
  TempDir dir;
  struct Row {
    int w, h, frames, period, entries;
    double min_psnr;
  };
  for (const Row r : {Row{320, 240, 60, 0, 256, 30}, Row{33, 17, 12, 0, 256, 26}, Row{64, 48, 20, 5, 64, 26},
                      Row{40, 30, 8, 1, 16, 20}}) {
    SCOPED_TRACE(std::to_string(r.w) + "x" + std::to_string(r.h) + " period " + std::to_string(r.period));
    const std::string flc = dir.file("x" + std::to_string(r.w) + ".flc");
    std::vector<Bytes> in;
    if (r.w == 320) { // the line from the README, through the tool
      const ToolRun t = run_tool("timeout", "60 gst-launch-1.0 -q videotestsrc num-buffers=60 ! videoconvert ! "
                                            "vexflcenc ! filesink location=" + shell_quote(flc), dir);
      ASSERT_EQ(t.status, 0) << t.err;
      Pipeline p = launch("videotestsrc num-buffers=60 ! videoconvert ! video/x-raw,format=BGRx ! appsink name=in sync=false wait-on-eos=false");
      ASSERT_EQ(play(p.get()), "");
      in = take(gst_bin_get_by_name(GST_BIN(p.get()), "in")).data;
    } else {
      Pipeline p = launch("appsrc name=src format=time ! vexflcenc palette-period=" + std::to_string(r.period) +
                          " palette-entries=" + std::to_string(r.entries) + " ! filesink location=\"" + flc + "\"");
      GstElement *src = gst_bin_get_by_name(GST_BIN(p.get()), "src");
      GstCaps *caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT, r.w,
                                          "height", G_TYPE_INT, r.h, "framerate", GST_TYPE_FRACTION, 15, 1, nullptr);
      gst_app_src_set_caps(GST_APP_SRC(src), caps);
      gst_caps_unref(caps);
      for (int t = 0; t < r.frames; ++t) {
        in.push_back(gradient(r.w, r.h, t));
        gst_app_src_push_buffer(GST_APP_SRC(src), gst_buffer_new_memdup(in.back().data(), in.back().size()));
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
    const int fw = static_cast<int>(f->width);
    const std::vector<Bytes> theirs = ffmpeg_decode_rgb(flc, f->width, f->height);
    ASSERT_GE(theirs.size(), in.size()); // ffmpeg may show the ring frame as well
    Bytes pixels(size_t{f->pitch} * f->buffer_height);
    const int first = (256 - r.entries) / 2;
    int palettes = 0;
    for (int t = 0; t < r.frames; ++t) {
      palettes += (VEXFlicGetNext(f, pixels.data()) & 0xFF) == VEXFLIC_FRAME_NEW_PALETTE;
      const Bytes ours = to_rgb(pixels.data(), f->width, f->height, f->pitch, VEXFlicGetPalette(f));
      EXPECT_TRUE(ours == theirs[t]) << "frame " << t;
      Bytes visible;
      for (int y = 0; y < r.h; ++y) {
        visible.insert(visible.end(), ours.begin() + 3 * y * fw, ours.begin() + 3 * (y * fw + r.w));
        for (int x = 0; x < r.w; ++x)
          ASSERT_TRUE(pixels[y * f->pitch + x] >= first && pixels[y * f->pitch + x] < first + r.entries);
      }
      EXPECT_GE(psnr(visible, bgrx_to_rgb(in[t], r.w, r.h, r.w)), r.min_psnr) << "frame " << t;
    }
    VEXFlicClose(f);
    const int runs = r.period == 0 ? 1 : (r.frames + r.period - 1) / r.period;
    EXPECT_GE(palettes, r.period == 0 ? 1 : 2); // the first frame's, and more when they change
    EXPECT_LE(palettes, runs);
  }
}

// vexthumb through the thumbnailer entry's own command line, on every kind
// of movie and a FLIC: a PNG whose longer side is the size asked for, the
// other in proportion; for the movies of ten frames or more, the picture
// of the frame a tenth in, as ffmpeg's area filter scales it.
TEST(GstPlugin, ThumbnailerWritesAPngOfTheSize) {
  TempDir dir;
  std::ifstream entry(THUMBNAILER);
  std::string exec;
  for (std::string line; std::getline(entry, line);)
    if (line.rfind("Exec=vexthumb ", 0) == 0)
      exec = line.substr(14);
  ASSERT_EQ(exec, "-s %s %i %o");
  std::vector<Movie> rows = write_movies(dir);
  rows.erase(rows.begin() + 4); // k.bin: an executable is no type of ours
  rows.insert(rows.begin(), Movie{SAMPLES "/pattern.flc", SAMPLES "/pattern.flc", "", false});
  const int size = 40;
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].file);
    // File managers pass output names of their own, not always "*.png".
    const std::string out = dir.file("thumb" + std::to_string(i) + (i % 2 ? ".png" : ".tmp"));
    std::string args = exec;
    for (const auto &[key, value] :
         {std::pair{"%s", std::to_string(size)}, {"%i", shell_quote(rows[i].file)}, {"%o", shell_quote(out)}})
      args.replace(args.find(key), 2, value);
    const ToolRun t = run_tool(VEXTHUMB, args, dir);
    ASSERT_EQ(t.status, 0) << t.err;
    const Bytes png = read_file(out);
    ASSERT_GE(png.size(), 24u);
    ASSERT_TRUE(Bytes(png.begin() + 1, png.begin() + 4) == Bytes({'P', 'N', 'G'}));
    const int w = png[18] << 8 | png[19], h = png[22] << 8 | png[23];
    const Reference want = reference(rows[i].reference);
    const double longer = std::max(want.width, want.height);
    EXPECT_EQ(std::max(w, h), size);
    EXPECT_NEAR(w, want.width * size / longer, 0.5);
    EXPECT_NEAR(h, want.height * size / longer, 0.5);
    if (i < 3) { // the FLIC, the Korvane and the Tolm sample
      write_file(dir.file("frame.bgra"), want.frames.at(want.frames.size() / 10));
      ffmpeg("-f rawvideo -pix_fmt bgra -s " + std::to_string(want.width) + "x" + std::to_string(want.height) + " -i " +
             shell_quote(dir.file("frame.bgra")) + " -i " + shell_quote(out) + " -filter_complex '[0]scale=" +
             std::to_string(w) + ":" + std::to_string(h) + ":flags=area[a]' -map '[a]' -f rawvideo -pix_fmt rgb24 " +
             shell_quote(dir.file("want.rgb")) + " -map 1 -f rawvideo -pix_fmt rgb24 " + shell_quote(dir.file("got.rgb")));
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
  const ToolRun update = run_tool("env", "XDG_DATA_DIRS=" + shell_quote(dir.file("share")) +
                                            " update-mime-database " + shell_quote(dir.file("share/mime")), dir);
  ASSERT_EQ(update.status, 0) << update.err;
  EXPECT_EQ(update.err, "");
  const std::vector<Movie> movies = write_movies(dir);
  Bytes camera(4096, 0x5A); // a "*.raw" that is no raw frame file
  write_file(dir.file("c.raw"), camera);
  const std::pair<std::string, std::string> rows[] = {
      {movies[0].file, "video/x-korvane"}, {movies[1].file, "video/x-tolm"}, {movies[2].file, "video/x-rawb"},
      {movies[6].file, "video/x-tolm"},    {dir.file("c.raw"), "not ours"},  {SAMPLES "/pattern.flc", "not ours"}};
  const std::string env = "XDG_CURRENT_DESKTOP=GNOME GIO_USE_VFS=local XDG_DATA_DIRS=" + shell_quote(dir.file("share") + ":/usr/share") +
                          " XDG_DATA_HOME=" + shell_quote(dir.file("home")) + " timeout 60 xdg-mime query filetype ";
  for (const auto &[file, type] : rows) {
    SCOPED_TRACE(file);
    const ToolRun q = run_tool("env", env + shell_quote(file), dir);
    ASSERT_EQ(q.status, 0) << q.err;
    if (type == "not ours")
      EXPECT_EQ(q.out.find("video/x-korvane") + q.out.find("video/x-tolm") + q.out.find("video/x-rawb"),
                3 * std::string::npos) << q.out;
    else
      EXPECT_EQ(q.out, type + "\n");
  }
}

} // namespace
