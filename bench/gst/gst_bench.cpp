// Every frame of a movie through the plugin to a fakesink, beside the
// library's own loop over the same file in the same run:
//   range(0): 0 the Korvane sample (320x200, 60 frames), 1 the Tolm sample
//             (320x200, 45 frames), 2 a Korvane movie of the pattern at
//             640x480 (120 frames, no sound), where the cost of each run's
//             seek and EOS weighs less;
//   range(1): 0 the decoder alone, pictures only ("filesrc ! vex...dec !
//             fakesink"), against GFileGet; 1 decodebin with pictures and
//             sound to two fakesinks, against GFileGet and SFileGet.
// The pipeline is built and prerolled once; each iteration is a flushing
// seek to the start and the run to EOS, against GFileReset (and
// SFileReset, as the element's own seek does) and the loop. The fakesinks
// keep no last sample: a held picture makes the element's pool alternate
// between two frame buffers, a cost of the sink that the library's loop,
// writing one buffer over, has no counterpart for. `ratio` is the
// library's time over the plugin's (1 = as fast; the goal is 0.9 or
// more), of wall time and of the whole process's processor time
// (`cpu_ratio`; the plugin works on its own streaming threads).
#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <chrono>
#include <ctime>
#include <string>

#include "testkit/formats/korvane/korvane_writer.h"
#include "testkit/util/temp_dir.h"
#include "vexutil.h"

namespace {

using Clock = std::chrono::steady_clock;

double process_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

GstPadProbeReturn count(GstPad *, GstPadProbeInfo *, gpointer frames) {
  ++*static_cast<int *>(frames);
  return GST_PAD_PROBE_OK;
}

// Runs to EOS; false on an error or after 60 s.
bool to_eos(GstElement *p) {
  GstBus *bus = gst_element_get_bus(p);
  GstMessage *m = gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  const bool eos = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
  if (m)
    gst_message_unref(m);
  gst_object_unref(bus);
  return eos;
}

int library_frames(GFILE *g, SFILE *s) {
  GFileReset(g);
  int n = 0;
  for (int32_t i = 0; i < g->output_frames; ++i)
    n += GFileGet(g);
  if (s) {
    SFileReset(s);
    static uint8_t pcm[8192];
    while (SFileGet(s, pcm, sizeof pcm) > 0)
      benchmark::DoNotOptimize(pcm[0]);
  }
  return n;
}

void BM_PluginVsLibrary(benchmark::State &state) {
  static const bool started = [] {
    g_setenv("GST_PLUGIN_PATH", GST_PLUGIN_DIR, TRUE);
    g_setenv("GST_REGISTRY", GST_REGISTRY_FILE, TRUE);
    return gst_init_check(nullptr, nullptr, nullptr);
  }();
  static vex::testkit::TempDir dir;
  static const std::string large = [] {
    const vex::testkit::PatternAnimation anim({.width = 640, .height = 480, .frames = 120, .cycle = true});
    vex::testkit::korvane::write_korvane(vex::testkit::korvane::pattern_frames(anim), {}, dir.file("large.kvn"));
    return dir.file("large.kvn");
  }();
  const bool tolm = state.range(0) == 1, with_sound = state.range(1) == 1;
  const std::string name =
      state.range(0) == 2 ? large : std::string(SAMPLES) + (tolm ? "/pattern.tlm" : "/pattern.kvn");
  const std::string source = "filesrc location=\"" + name + "\" ! ";
  const std::string sink_options = "sync=false async=false enable-last-sample=false";
  const std::string description = with_sound ? source + "decodebin name=d d. ! video/x-raw ! fakesink name=v " +
                                                   sink_options + " d. ! audio/x-raw ! fakesink " + sink_options
                                             : source + (tolm ? "vextolmdec" : "vexkorvanedec") +
                                                   " name=d d.video ! fakesink name=v " + sink_options;
  GstElement *p = started ? gst_parse_launch(description.c_str(), nullptr) : nullptr;
  GFILE *g = GFileOpen(name.c_str(), GFILE_TRUE_COLOUR, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, nullptr,
                       nullptr, nullptr);
  SFILE *s = with_sound ? SFileOpen(name.c_str(), 0, 16, 0, 0, 0, 0, 0, 0, nullptr) : nullptr;
  if (!p || !g || (with_sound && !s)) {
    state.SkipWithError("the plugin, the sample or the library did not open");
    return;
  }
  int frames = 0;
  GstElement *sink = gst_bin_get_by_name(GST_BIN(p), "v");
  GstPad *pad = gst_element_get_static_pad(sink, "sink");
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, count, &frames, nullptr);
  gst_element_set_state(p, GST_STATE_PLAYING);
  bool ok = to_eos(p); // built, prerolled and run once
  double plugin_s = 0, library_s = 0, plugin_cpu = 0, library_cpu = 0;
  for (auto _ : state) {
    frames = 0;
    const double c0 = process_seconds();
    const auto t0 = Clock::now();
    ok = ok && gst_element_seek_simple(p, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0) && to_eos(p);
    const auto t1 = Clock::now();
    const double c1 = process_seconds();
    const int library = library_frames(g, s);
    const auto t2 = Clock::now();
    const double c2 = process_seconds();
    if (!ok || frames != g->output_frames || library != g->output_frames) {
      state.SkipWithError("a side did not deliver every frame");
      break;
    }
    plugin_s += std::chrono::duration<double>(t1 - t0).count();
    library_s += std::chrono::duration<double>(t2 - t1).count();
    plugin_cpu += c1 - c0;
    library_cpu += c2 - c1;
  }
  state.counters["ratio"] = library_s / plugin_s;
  state.counters["cpu_ratio"] = library_cpu / plugin_cpu;
  state.counters["plugin_fps"] = double(g->output_frames) * double(state.iterations()) / plugin_s;
  state.counters["library_fps"] = double(g->output_frames) * double(state.iterations()) / library_s;
  gst_element_set_state(p, GST_STATE_NULL);
  gst_object_unref(pad);
  gst_object_unref(sink);
  gst_object_unref(p);
  GFileClose(g);
  SFileClose(s);
}
BENCHMARK(BM_PluginVsLibrary)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
