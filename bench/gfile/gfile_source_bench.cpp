// GFileGet in true colour over a 640x480 mpeg4 AVI and a QuickTime movie,
// beside libavcodec + libswscale decoding the same file straight to 32-bit
// blue, green, red, alpha rows. Each iteration times both over the whole
// movie, so the ratio (ours / peer; the goal is at most 1.10) comes from
// one run under the same load. `ratio` is of wall time, `cpu_ratio` of the
// thread's processor time, which a busy machine disturbs less. The movies are made by the ffmpeg tool
// before any timing.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/gfile.h"

namespace {

constexpr int kFrames = 60;
using Clock = std::chrono::steady_clock;

double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Files {
  vex::testkit::TempDir dir;
  std::string avi = dir.file("m.avi"), mov = dir.file("m.mov");
  Files() {
    const std::string src =
        "-f lavfi -i testsrc2=size=640x480:rate=25 -frames:v " + std::to_string(kFrames) + " -c:v mpeg4 -q:v 4 -g 25 ";
    vex::testkit::ffmpeg(src + avi);
    vex::testkit::ffmpeg(src + mov);
  }
};

Files &files() {
  static Files f;
  return f;
}

// Every frame through the graphics source; frames delivered.
int ours(const std::string &name) {
  GFILE *g = GFileOpen(name.c_str(), GFILE_TRUE_COLOUR, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, nullptr,
                       nullptr, nullptr);
  if (!g)
    return -1;
  int n = 0;
  for (int i = 0; i < g->output_frames; ++i)
    n += GFileGet(g);
  benchmark::DoNotOptimize(g->buffer[0]);
  GFileClose(g);
  return n;
}

// The same file through libavcodec (one thread) and libswscale to BGRA.
int peer(const std::string &name) {
  AVFormatContext *fmt = nullptr;
  if (avformat_open_input(&fmt, name.c_str(), nullptr, nullptr) < 0 || avformat_find_stream_info(fmt, nullptr) < 0)
    return -1;
  const int v = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec *codec = avcodec_find_decoder(fmt->streams[v]->codecpar->codec_id);
  AVCodecContext *dec = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(dec, fmt->streams[v]->codecpar);
  dec->thread_count = 1;
  avcodec_open2(dec, codec, nullptr);
  AVPacket *p = av_packet_alloc();
  AVFrame *f = av_frame_alloc();
  SwsContext *sws = nullptr;
  std::vector<uint8_t> bgra(size_t{640} * 480 * 4);
  int frames = 0;
  auto take = [&] {
    while (avcodec_receive_frame(dec, f) == 0) {
      sws = sws_getCachedContext(sws, f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width, f->height,
                                 AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
      uint8_t *dst[4] = {bgra.data(), nullptr, nullptr, nullptr};
      int stride[4] = {f->width * 4, 0, 0, 0};
      sws_scale(sws, f->data, f->linesize, 0, f->height, dst, stride);
      ++frames;
    }
  };
  while (av_read_frame(fmt, p) >= 0) {
    if (p->stream_index == v)
      avcodec_send_packet(dec, p);
    av_packet_unref(p);
    take();
  }
  avcodec_send_packet(dec, nullptr);
  take();
  benchmark::DoNotOptimize(bgra[0]);
  sws_freeContext(sws);
  av_frame_free(&f);
  av_packet_free(&p);
  avcodec_free_context(&dec);
  avformat_close_input(&fmt);
  return frames;
}

// range(0): 0 AVI, 1 QuickTime.
void BM_GFileGetVsLibav(benchmark::State &state) {
  const std::string &name = state.range(0) == 0 ? files().avi : files().mov;
  double ours_s = 0, peer_s = 0, ours_cpu = 0, peer_cpu = 0;
  for (auto _ : state) {
    const double c0 = thread_seconds();
    const auto t0 = Clock::now();
    const int a = ours(name);
    const auto t1 = Clock::now();
    const double c1 = thread_seconds();
    const int b = peer(name);
    const auto t2 = Clock::now();
    const double c2 = thread_seconds();
    if (a != kFrames || b != kFrames) {
      state.SkipWithError("a decoder did not deliver every frame");
      return;
    }
    ours_s += std::chrono::duration<double>(t1 - t0).count();
    peer_s += std::chrono::duration<double>(t2 - t1).count();
    ours_cpu += c1 - c0;
    peer_cpu += c2 - c1;
  }
  state.counters["ratio"] = ours_s / peer_s;
  state.counters["cpu_ratio"] = ours_cpu / peer_cpu;
  state.counters["ours_fps"] = double(kFrames) * double(state.iterations()) / ours_s;
  state.counters["peer_fps"] = double(kFrames) * double(state.iterations()) / peer_s;
}
BENCHMARK(BM_GFileGetVsLibav)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
