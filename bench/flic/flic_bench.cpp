// Frames per second of the FLIC reader against FFmpeg's FLIC decoder
// (libavcodec, fed the same file's frame chunks from memory), and of the
// FLC writer at 640x480 with its file size against FFmpeg's GIF encoder on
// the same frames. Ratios are printed at the end of the run.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
}

#include <benchmark/benchmark.h>

#include <ctime>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "flic/flic_scan.h"
#include "testkit/flic/flic_bytes.h"
#include "testkit/flic/flic_pattern_file.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/flic.h"

namespace {

using namespace vex::testkit;
// The ratios use the thread's processor time: the machine may be shared,
// and the wall clock would count the other processes' turns.
struct Clock {
  using time_point = double;
  static double now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
  }
};

constexpr uint32_t kFrames = 60;

struct Movie {
  std::string name;
  PatternOptions options;
  std::string path;
  ByteVec bytes;
  std::vector<std::pair<uint32_t, uint32_t>> chunks; // offset, size of frames 1..n
};

TempDir &scratch() {
  static TempDir dir;
  return dir;
}

PatternOptions pattern(uint32_t w, uint32_t h, bool scroll) {
  PatternOptions o;
  o.width = w;
  o.height = h;
  o.frames = kFrames;
  o.scroll = scroll;
  o.cycle = o.noise = o.stills = o.solid = true;
  return o;
}

std::map<std::string, Movie> &movies() {
  static std::map<std::string, Movie> m = [] {
    std::map<std::string, Movie> all;
    for (auto [w, h] : {std::pair<uint32_t, uint32_t>{320, 200}, {640, 480}})
      for (bool scroll : {false, true}) {
        Movie mv;
        mv.name = std::to_string(w) + "x" + std::to_string(h) + (scroll ? "/scrolling" : "/sprites");
        mv.options = pattern(w, h, scroll);
        mv.path = scratch().file(std::to_string(all.size()) + ".flc");
        if (write_flc(PatternAnimation(mv.options), -4000, mv.path) == 0)
          throw std::runtime_error("cannot write " + mv.path);
        mv.bytes = load_bytes(mv.path);
        VEXFLIC *f = VEXFlicOpen(mv.path.c_str());
        for (const auto &fi : vex::flic::scan_frames(f))
          if (!fi.ring)
            mv.chunks.emplace_back(fi.offset, fi.size);
        VEXFlicClose(f);
        all.emplace(mv.name, std::move(mv));
      }
    return all;
  }();
  return m;
}

std::map<std::string, double> &fps_of() {
  static std::map<std::string, double> m;
  return m;
}

void record(benchmark::State &state, const std::string &key, Clock::time_point t0, uint64_t frames) {
  const double s = Clock::now() - t0;
  state.SetItemsProcessed(static_cast<int64_t>(frames));
  if (s > 0)
    fps_of()[key] = frames / s;
}

void BM_OurDecode(benchmark::State &state, const std::string &name) {
  const Movie &mv = movies().at(name);
  VEXFLIC *h = VEXFlicOpen(mv.path.c_str());
  std::vector<uint8_t> buf(size_t{h->pitch} * h->buffer_height);
  uint64_t frames = 0;
  const auto t0 = Clock::now();
  for (auto _ : state) {
    benchmark::DoNotOptimize(VEXFlicGetNext(h, buf.data()));
    ++frames;
  }
  record(state, "ours " + name, t0, frames);
  VEXFlicClose(h);
}

// FFmpeg's decoder with the file header as extra data and one frame chunk
// per packet, as its demuxer hands them over.
class FfmpegFlic {
public:
  explicit FfmpegFlic(const Movie &mv) {
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_FLIC);
    ctx_ = avcodec_alloc_context3(codec);
    ctx_->width = static_cast<int>(mv.options.width);
    ctx_->height = static_cast<int>(mv.options.height);
    ctx_->extradata = static_cast<uint8_t *>(av_mallocz(128 + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(ctx_->extradata, mv.bytes.data(), 128);
    ctx_->extradata_size = 128;
    if (!codec || avcodec_open2(ctx_, codec, nullptr) < 0)
      throw std::runtime_error("libavcodec has no FLIC decoder");
    for (auto [off, size] : mv.chunks) {
      ByteVec p(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
      std::memcpy(p.data(), mv.bytes.data() + off, size);
      packets_.push_back(std::move(p));
    }
    pkt_ = av_packet_alloc();
    frame_ = av_frame_alloc();
  }
  ~FfmpegFlic() {
    av_frame_free(&frame_);
    av_packet_free(&pkt_);
    avcodec_free_context(&ctx_);
  }
  FfmpegFlic(const FfmpegFlic &) = delete;
  FfmpegFlic &operator=(const FfmpegFlic &) = delete;

  // Decodes the next frame chunk (frame 1 again after the last).
  const AVFrame *next() {
    ByteVec &p = packets_[i_];
    i_ = (i_ + 1) % packets_.size();
    pkt_->data = p.data();
    pkt_->size = static_cast<int>(p.size() - AV_INPUT_BUFFER_PADDING_SIZE);
    if (avcodec_send_packet(ctx_, pkt_) < 0 || avcodec_receive_frame(ctx_, frame_) < 0)
      return nullptr;
    return frame_;
  }

private:
  AVCodecContext *ctx_ = nullptr;
  AVPacket *pkt_ = nullptr;
  AVFrame *frame_ = nullptr;
  std::vector<ByteVec> packets_;
  size_t i_ = 0;
};

// Both decoders must give the same pictures, or the race means nothing.
void check_same_pictures(const Movie &mv) {
  FfmpegFlic ff(mv);
  VEXFLIC *h = VEXFlicOpen(mv.path.c_str());
  std::vector<uint8_t> buf(size_t{h->pitch} * h->buffer_height);
  for (size_t i = 0; i < mv.chunks.size(); ++i) {
    VEXFlicGetNext(h, buf.data());
    const AVFrame *f = ff.next();
    bool same = f != nullptr;
    for (uint32_t y = 0; same && y < mv.options.height; ++y)
      same = std::memcmp(f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0], buf.data() + size_t{y} * h->pitch,
                         mv.options.width) == 0;
    if (!same)
      throw std::runtime_error(mv.name + ": the decoders disagree on frame " + std::to_string(i + 1));
  }
  VEXFlicClose(h);
}

void BM_FfmpegDecode(benchmark::State &state, const std::string &name) {
  const Movie &mv = movies().at(name);
  FfmpegFlic ff(mv);
  uint64_t frames = 0;
  const auto t0 = Clock::now();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ff.next());
    ++frames;
  }
  record(state, "ffmpeg " + name, t0, frames);
}

std::vector<Frame8> &encode_frames() {
  static std::vector<Frame8> f = [] {
    std::vector<Frame8> v;
    const PatternAnimation a(pattern(640, 480, false));
    for (uint32_t i = 0; i < kFrames; ++i)
      v.push_back(a.frame(i));
    return v;
  }();
  return f;
}

std::map<std::string, double> &sizes() {
  static std::map<std::string, double> m;
  return m;
}

void BM_OurEncode640x480(benchmark::State &state) {
  const auto &frames = encode_frames();
  const std::string path = scratch().file("enc.flc");
  VEXOFLIC *f = VEXOFlicCreate(path.c_str(), 640, 480, -4000);
  uint64_t n = 0;
  double one_file = 0;
  const auto t0 = Clock::now();
  for (auto _ : state) {
    const Frame8 &fr = frames[n % frames.size()];
    VEXOFlicPutNext(f, fr.pixels.data(), fr.palette.data());
    if (++n % frames.size() == 0) { // a whole animation: start another file
      one_file = VEXOFlicClose(f);
      f = VEXOFlicCreate(path.c_str(), 640, 480, -4000);
    }
  }
  record(state, "ours encode", t0, n);
  const double last = VEXOFlicClose(f);
  if (one_file == 0 && n >= 1)
    one_file = last; // fewer frames than one animation: not a whole file
  else if (one_file > 0)
    sizes()["flc"] = one_file;
}

// FFmpeg's GIF encoder on the same palette frames, for the file size.
void BM_FfmpegGif640x480(benchmark::State &state) {
  const auto &frames = encode_frames();
  const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_GIF);
  if (!codec) {
    state.SkipWithError("libavcodec has no GIF encoder");
    return;
  }
  AVCodecContext *ctx = avcodec_alloc_context3(codec);
  ctx->width = 640;
  ctx->height = 480;
  ctx->pix_fmt = AV_PIX_FMT_PAL8;
  ctx->time_base = {1, 25};
  if (avcodec_open2(ctx, codec, nullptr) < 0) {
    state.SkipWithError("cannot open the GIF encoder");
    return;
  }
  AVFrame *fr = av_frame_alloc();
  fr->format = AV_PIX_FMT_PAL8;
  fr->width = 640;
  fr->height = 480;
  av_frame_get_buffer(fr, 0);
  AVPacket *pkt = av_packet_alloc();
  uint64_t n = 0, bytes = 0;
  double one_file = 0;
  const auto t0 = Clock::now();
  for (auto _ : state) {
    const Frame8 &src = frames[n % frames.size()];
    av_frame_make_writable(fr);
    for (int y = 0; y < 480; ++y)
      std::memcpy(fr->data[0] + static_cast<ptrdiff_t>(y) * fr->linesize[0], src.pixels.data() + y * 640, 640);
    auto *pal = reinterpret_cast<uint32_t *>(fr->data[1]);
    for (int i = 0; i < 256; ++i)
      pal[i] = 0xFF000000u | uint32_t{src.palette[3 * i]} << 16 | uint32_t{src.palette[3 * i + 1]} << 8 |
               src.palette[3 * i + 2];
    fr->pts = static_cast<int64_t>(n);
    avcodec_send_frame(ctx, fr);
    while (avcodec_receive_packet(ctx, pkt) == 0) {
      bytes += static_cast<uint64_t>(pkt->size);
      av_packet_unref(pkt);
    }
    if (++n % frames.size() == 0) {
      one_file = static_cast<double>(bytes);
      bytes = 0;
    }
  }
  record(state, "ffmpeg gif", t0, n);
  if (one_file > 0)
    sizes()["gif"] = one_file;
  av_packet_free(&pkt);
  av_frame_free(&fr);
  avcodec_free_context(&ctx);
}

} // namespace

int main(int argc, char **argv) try {
  av_log_set_level(AV_LOG_ERROR);
  for (const auto &[name, mv] : movies()) {
    check_same_pictures(mv);
    benchmark::RegisterBenchmark(("decode/ours/" + name).c_str(), BM_OurDecode, name);
    benchmark::RegisterBenchmark(("decode/ffmpeg/" + name).c_str(), BM_FfmpegDecode, name);
  }
  benchmark::RegisterBenchmark("encode/ours/640x480", BM_OurEncode640x480)->MinTime(1.0);
  benchmark::RegisterBenchmark("encode/ffmpeg-gif/640x480", BM_FfmpegGif640x480)->MinTime(1.0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\nDecoding, frames per second (ours / FFmpeg's FLIC decoder):\n");
  for (const auto &[name, mv] : movies()) {
    const double a = fps_of()["ours " + name], b = fps_of()["ffmpeg " + name];
    if (a > 0 && b > 0)
      std::printf("  %-22s %9.0f / %9.0f = %.2fx\n", name.c_str(), a, b, a / b);
  }
  const double e = fps_of()["ours encode"], g = fps_of()["ffmpeg gif"];
  if (e > 0 && g > 0)
    std::printf("Encoding 640x480, frames per second (FLC writer / FFmpeg GIF): %.0f / %.0f = %.2fx\n", e, g, e / g);
  if (sizes()["flc"] > 0 && sizes()["gif"] > 0)
    std::printf("Size of the %u frames: FLC %.0f bytes, GIF %.0f bytes (FLC / GIF = %.2f)\n", kFrames,
                sizes()["flc"], sizes()["gif"], sizes()["flc"] / sizes()["gif"]);
  return 0;
} catch (const std::exception &e) {
  std::fprintf(stderr, "bench_flic: %s\n", e.what());
  return 1;
}
