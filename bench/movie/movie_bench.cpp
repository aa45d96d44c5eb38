// Frame rates of the movie readers beside libavcodec decoding the same
// packets directly and beside the ffmpeg tool decoding the same file, and
// still-image load and save rates beside the tool, all in one run. The
// test files are made by the ffmpeg tool at start-up.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "file/byte_source.h"
#include "movie/avi_reader.h"
#include "stills/still_image.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/movie.h"

namespace {

constexpr int kFrames = 120;

struct Files {
  vex::testkit::TempDir dir;
  std::string avi = dir.file("m.avi"), mov = dir.file("m.mov");
  Files() {
    const std::string src = "-f lavfi -i testsrc2=size=640x480:rate=25 -frames:v " + std::to_string(kFrames) +
                            " -c:v mpeg4 -q:v 4 -g 25 ";
    vex::testkit::ffmpeg(src + avi);
    vex::testkit::ffmpeg(src + mov);
  }
};

Files &files() {
  static Files f;
  return f;
}

void BM_QTFileGet(benchmark::State &state) {
  QTFILE *qt = QTFileOpen(files().mov.c_str());
  if (!qt) {
    state.SkipWithError("open failed");
    return;
  }
  for (auto _ : state) {
    QTFileGoto(qt, 0);
    for (int i = 0; i < qt->frame_count; ++i)
      QTFileGet(qt);
    benchmark::DoNotOptimize(qt->pixels[0]);
  }
  state.counters["fps"] = benchmark::Counter(double(kFrames) * state.iterations(), benchmark::Counter::kIsRate);
  QTFileClose(qt);
}
BENCHMARK(BM_QTFileGet)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AviFrameGetter(benchmark::State &state) {
  using namespace vex::movie;
  Stream *s = nullptr;
  if (StreamOpenFromSource(&s, vex::testkit::source_of(files().avi), kVideo, 0) != kOk) {
    state.SkipWithError("open failed");
    return;
  }
  Getter *g = StreamGetFrameOpen(s);
  for (auto _ : state)
    for (int i = 0; i < kFrames; ++i)
      benchmark::DoNotOptimize(StreamGetFrame(g, i));
  state.counters["fps"] = benchmark::Counter(double(kFrames) * state.iterations(), benchmark::Counter::kIsRate);
  StreamGetFrameClose(g);
  StreamRelease(s);
}
BENCHMARK(BM_AviFrameGetter)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same packets through libavcodec alone (one thread, as the readers
// use), with range(0) = 1 adding the conversion to 24-bit rows that the
// frame getter delivers.
void BM_LibavcodecDirect(benchmark::State &state) {
  const bool convert = state.range(0) != 0;
  std::vector<uint8_t> rgb(640 * 480 * 3);
  for (auto _ : state) {
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, files().avi.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(fmt, nullptr) < 0) {
      state.SkipWithError("open failed");
      return;
    }
    const int v = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec *codec = avcodec_find_decoder(fmt->streams[v]->codecpar->codec_id);
    AVCodecContext *dec = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(dec, fmt->streams[v]->codecpar);
    dec->thread_count = 1;
    avcodec_open2(dec, codec, nullptr);
    AVPacket *p = av_packet_alloc();
    AVFrame *f = av_frame_alloc();
    SwsContext *sws = nullptr;
    int frames = 0;
    auto take = [&] {
      while (avcodec_receive_frame(dec, f) == 0) {
        if (convert) {
          sws = sws_getCachedContext(sws, f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
                                     f->height, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
          uint8_t *dst[4] = {rgb.data(), nullptr, nullptr, nullptr};
          int stride[4] = {640 * 3, 0, 0, 0};
          sws_scale(sws, f->data, f->linesize, 0, f->height, dst, stride);
        }
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
    benchmark::DoNotOptimize(frames);
    sws_freeContext(sws);
    av_frame_free(&f);
    av_packet_free(&p);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
  }
  state.counters["fps"] = benchmark::Counter(double(kFrames) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LibavcodecDirect)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The ffmpeg tool decoding the whole file to raw 24-bit rows (one thread).
void BM_FfmpegToolDecode(benchmark::State &state) {
  const std::string cmd = "ffmpeg -nostdin -loglevel error -threads 1 -i '" + files().avi +
                          "' -f rawvideo -pix_fmt bgr24 -y /dev/null";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0)
      state.SkipWithError("ffmpeg failed");
  state.counters["fps"] = benchmark::Counter(double(kFrames) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FfmpegToolDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Still images: a 1024 x 768 picture per format, loaded and saved.
struct Still {
  const char *ext;
  vex::stills::Format format;
  const char *pix;
  int bits;
  int option;
};
constexpr Still kStills[] = {
    {"bmp", vex::stills::Format::bmp, "bgr24", 24, 0}, {"pcx", vex::stills::Format::pcx, "rgb24", 24, 0},
    {"tga", vex::stills::Format::tga, "bgr24", 24, 1}, {"png", vex::stills::Format::png, "rgb24", 24, 0},
    {"tif", vex::stills::Format::tif, "rgb24", 24, 1}, {"gif", vex::stills::Format::gif, "rgb8", 8, 0},
    {"jpg", vex::stills::Format::jpeg, "yuvj444p", 24, 100}};

std::string still_file(const Still &s) {
  const std::string name = files().dir.file(std::string("s.") + s.ext);
  static bool made[7] = {};
  const size_t i = static_cast<size_t>(&s - kStills);
  if (!made[i]) {
    vex::testkit::ffmpeg("-f lavfi -i testsrc2=size=1024x768 -frames:v 1 -update 1 -pix_fmt " + std::string(s.pix) +
                         " " + name);
    made[i] = true;
  }
  return name;
}

constexpr double kMegapixels = 1024.0 * 768.0 / 1e6;

void BM_StillLoad(benchmark::State &state) {
  const Still &s = kStills[state.range(0)];
  const std::string name = still_file(s);
  state.SetLabel(s.ext);
  vex::file::ByteSource source;
  source.open(name.c_str());
  vex::stills::Info info{};
  if (vex::stills::StillInfo(s.format, source, &info) != 0) {
    state.SkipWithError("info failed");
    return;
  }
  vex::stills::Image im{};
  vex::stills::StillAlloc(&im, info.width + 1, info.height, info.bits);
  for (auto _ : state)
    benchmark::DoNotOptimize(vex::stills::StillLoad(s.format, source, &im));
  vex::stills::StillFree(&im);
  state.counters["Mpix/s"] = benchmark::Counter(kMegapixels * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StillLoad)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StillSave(benchmark::State &state) {
  const Still &s = kStills[state.range(0)];
  const std::string src = still_file(s), out = files().dir.file(std::string("o.") + s.ext);
  state.SetLabel(s.ext);
  vex::file::ByteSource source;
  source.open(src.c_str());
  vex::stills::Info info{};
  vex::stills::StillInfo(s.format, source, &info);
  vex::stills::Image im{};
  vex::stills::StillAlloc(&im, info.width, info.height, s.bits);
  vex::stills::StillLoad(s.format, source, &im);
  for (auto _ : state)
    benchmark::DoNotOptimize(vex::stills::StillSave(s.format, out.c_str(), &im, s.option));
  vex::stills::StillFree(&im);
  state.counters["Mpix/s"] = benchmark::Counter(kMegapixels * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StillSave)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->UseRealTime();

// The tool decoding the same still to raw rows: a reference that includes
// the tool's start-up.
void BM_FfmpegToolStillDecode(benchmark::State &state) {
  const Still &s = kStills[state.range(0)];
  const std::string name = still_file(s);
  state.SetLabel(s.ext);
  const std::string cmd =
      "ffmpeg -nostdin -loglevel error -threads 1 -i '" + name + "' -f rawvideo -pix_fmt bgr24 -y /dev/null";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0)
      state.SkipWithError("ffmpeg failed");
  state.counters["Mpix/s"] = benchmark::Counter(kMegapixels * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FfmpegToolStillDecode)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
