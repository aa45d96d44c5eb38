// Decode rate of 640x480 Tolm frames against FFmpeg's MPEG-4 Visual decoder
// on the same pictures, encoded by `ffmpeg -c:v mpeg4` at about the same
// compressed size (for the film with the quantiser and lambda floors
// lowered to 1, without which the encoder stops at a third of the Tolm
// size; on the rendered contents that would overshoot). Both decoders run on
// this thread, in the same process; the KB/frame counter shows both sizes.
//
// Four sequences: moving shapes and the testkit's pattern animation in YUV
// (every kind of block), noise (transform and raw blocks), and real camera
// footage: the first frames of the cockatoo film that Debian's
// python3-imageio ships, scaled to 640x480 by the ffmpeg tool (the
// benchmark says so and skips when the package is missing). Counters:
// frames/s and output MB/s (1.5 bytes a pixel).
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/tolm/tolm_decoder.h"
#include "testkit/formats/tolm/yuv_scenes.h"
#include "testkit/util/temp_dir.h"

namespace {

namespace tk = vex::testkit::tolm;

constexpr uint32_t kWidth = 640, kHeight = 480;
constexpr int kFrames = 24;
constexpr double kFrameBytes = kWidth * kHeight * 1.5;

class BundleBuffers {
public:
  explicit BundleBuffers(uint32_t W) {
    uint32_t sizes[9];
    ExpandBundleSizes(sizes, W);
    for (int i = 0; i < 9; ++i) {
      storage_[i].resize(sizes[i]);
      pointers_[i] = storage_[i].data();
    }
  }
  void *const *get() const { return pointers_; }

private:
  std::vector<uint8_t> storage_[9];
  void *pointers_[9];
};

uint32_t decode_tolm(const std::vector<uint8_t> &data, tk::Picture &target, const tk::Picture &reference,
                     const BundleBuffers &bundles) {
  vex::formats::tolm::TolmFrameArgs a;
  a.target = target.yuv.data();
  a.reference = reference.yuv.data();
  a.width = kWidth;
  a.height = kHeight;
  a.padded_width = target.padded_width;
  a.padded_height = target.padded_height;
  a.data = data;
  a.bundles = bundles.get();
  return vex::formats::tolm::TolmExpandFrame(a);
}

struct Sequence {
  std::vector<std::vector<uint8_t>> tolm;  // one frame each
  std::vector<uint8_t> mpeg4;              // elementary stream
  size_t tolm_bytes = 0;
};

// Tolm frames from the test encoder's real-content mode, each planned
// against the decoded previous frame; then the same pictures through
// ffmpeg at the Tolm sequence's bit rate.
constexpr const char *kCameraFilm = "/usr/lib/python3/dist-packages/imageio/resources/images/cockatoo.mp4";
enum class Content { shapes, pattern, noise, camera };

// The source pictures of a content: rendered, or decoded from the film.
std::vector<tk::Picture> source_pictures(Content content) {
  std::vector<tk::Picture> out;
  if (content != Content::camera) {
    const tk::Scene scene = content == Content::shapes    ? tk::Scene::kShapes
                            : content == Content::pattern ? tk::Scene::kPattern
                                                          : tk::Scene::kNoise;
    for (int f = 0; f < kFrames; ++f)
      out.push_back(tk::render_scene(scene, f, kWidth, kHeight));
    return out;
  }
  if (!std::filesystem::exists(kCameraFilm))
    return out;
  vex::testkit::TempDir dir;
  const std::string raw = (dir.path() / "film.yuv").string();
  const std::string cmd = std::string("ffmpeg -v error -y -i '") + kCameraFilm + "' -frames:v " +
                          std::to_string(kFrames) + " -vf scale=640:480 -pix_fmt yuv420p -f rawvideo '" + raw + "'";
  if (std::system(cmd.c_str()) != 0)
    throw std::runtime_error("ffmpeg could not decode " + std::string(kCameraFilm));
  std::ifstream in(raw, std::ios::binary);
  for (int f = 0; f < kFrames; ++f) {
    tk::Picture p(kWidth, kHeight, false);
    if (!in.read(reinterpret_cast<char *>(p.yuv.data()), static_cast<std::streamsize>(p.yuv.size())))
      throw std::runtime_error("the film has fewer frames than the benchmark needs");
    out.push_back(std::move(p));
  }
  return out;
}

Sequence make_sequence(Content content, uint8_t q) {
  Sequence s;
  vex::testkit::TempDir dir;
  const std::string raw = (dir.path() / "in.yuv").string(), m4v = (dir.path() / "out.m4v").string();
  std::ofstream yuv(raw, std::ios::binary);
  tk::Picture buffers[2] = {tk::Picture(kWidth, kHeight, false), tk::Picture(kWidth, kHeight, false)};
  BundleBuffers bundles(kWidth);
  tk::RealOptions options;
  options.q = q;
  const std::vector<tk::Picture> pictures = source_pictures(content);
  if (pictures.empty())
    return s; // no film: the benchmark says so
  for (int f = 0; f < kFrames; ++f) {
    const tk::Picture &source = pictures[static_cast<size_t>(f)];
    yuv.write(reinterpret_cast<const char *>(source.yuv.data()), static_cast<std::streamsize>(source.yuv.size()));
    tk::Picture &target = buffers[f & 1];
    const tk::Picture &previous = buffers[(f + 1) & 1];
    tk::FramePlan plan = tk::plan_from_picture(source, f ? &previous : nullptr, kWidth, kHeight, options);
    s.tolm.push_back(tk::encode_frame(plan));
    s.tolm_bytes += s.tolm.back().size();
    if (decode_tolm(s.tolm.back(), target, previous, bundles) != 0)
      throw std::runtime_error("test encoder wrote a frame the decoder faults on");
  }
  yuv.close();
  const long bitrate = static_cast<long>(s.tolm_bytes * 8.0 * 25 / kFrames);
  const std::string cmd = "ffmpeg -v error -y -f rawvideo -pix_fmt yuv420p -s 640x480 -r 25 -i '" + raw +
                          "' -c:v mpeg4" + (content == Content::camera ? " -qmin 1 -lmin 1" : "") + " -b:v " + std::to_string(bitrate) + " -maxrate " + std::to_string(bitrate) +
                          " -bufsize " + std::to_string(bitrate) + " -f m4v '" + m4v + "'";
  if (std::system(cmd.c_str()) != 0)
    throw std::runtime_error("ffmpeg (Debian package ffmpeg) failed or is missing: " + cmd);
  std::ifstream in(m4v, std::ios::binary);
  s.mpeg4.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return s;
}

const Sequence &sequence(Content content) {
  static std::map<int, Sequence> cache;
  auto it = cache.find(static_cast<int>(content));
  if (it == cache.end())
    it = cache.emplace(static_cast<int>(content), make_sequence(content, content == Content::noise ? 4 : 2)).first;
  return it->second;
}

// False (and the benchmark skipped) when the content has no frames.
bool available(benchmark::State &state, const Sequence &s) {
  if (!s.tolm.empty())
    return true;
  state.SkipWithError("no camera film: install Debian's python3-imageio");
  return false;
}

void report(benchmark::State &state, size_t compressed, int frames_per_iteration) {
  const double frames = static_cast<double>(state.iterations()) * frames_per_iteration;
  state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["MB/s"] = benchmark::Counter(frames * kFrameBytes / 1e6, benchmark::Counter::kIsRate);
  state.counters["KB/frame"] = static_cast<double>(compressed) / frames_per_iteration / 1024;
}

void BM_TolmDecode(benchmark::State &state, Content content) {
  const Sequence &s = sequence(content);
  if (!available(state, s))
    return;
  tk::Picture buffers[2] = {tk::Picture(kWidth, kHeight, false), tk::Picture(kWidth, kHeight, false)};
  BundleBuffers bundles(kWidth);
  for (auto _ : state) {
    for (size_t f = 0; f < s.tolm.size(); ++f)
      decode_tolm(s.tolm[f], buffers[f & 1], buffers[(f + 1) & 1], bundles);
    benchmark::DoNotOptimize(buffers[0].yuv.data());
  }
  report(state, s.tolm_bytes, kFrames);
}

void BM_Mpeg4Decode(benchmark::State &state, Content content) {
  const Sequence &s = sequence(content);
  if (!available(state, s))
    return;
  av_log_set_level(AV_LOG_ERROR);
  const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
  if (!codec) {
    state.SkipWithError("libavcodec has no MPEG-4 decoder");
    return;
  }
  // Split the elementary stream into packets once, outside the timing.
  std::vector<std::vector<uint8_t>> packets;
  {
    AVCodecParserContext *parser = av_parser_init(AV_CODEC_ID_MPEG4);
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    const uint8_t *p = s.mpeg4.data();
    size_t left = s.mpeg4.size();
    while (true) {
      uint8_t *out;
      int out_size;
      const int used = av_parser_parse2(parser, ctx, &out, &out_size, p, static_cast<int>(left), AV_NOPTS_VALUE,
                                        AV_NOPTS_VALUE, 0);
      p += used;
      left -= static_cast<size_t>(used);
      if (out_size > 0)
        packets.emplace_back(out, out + out_size);
      if (used == 0 && out_size == 0)
        break;
    }
    av_parser_close(parser);
    avcodec_free_context(&ctx);
  }
  AVPacket *packet = av_packet_alloc();
  AVFrame *frame = av_frame_alloc();
  int decoded = 0;
  for (auto _ : state) {
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    auto drain = [&] {
      while (avcodec_receive_frame(ctx, frame) == 0) {
        ++decoded;
        benchmark::DoNotOptimize(frame->data[0]);
      }
    };
    for (auto &pk : packets) {
      packet->data = pk.data();
      packet->size = static_cast<int>(pk.size());
      avcodec_send_packet(ctx, packet);
      drain();
    }
    avcodec_send_packet(ctx, nullptr);
    drain();
    avcodec_free_context(&ctx);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  if (decoded != static_cast<int>(state.iterations()) * kFrames)
    state.SkipWithError("MPEG-4 decoder did not return every frame");
  report(state, s.mpeg4.size(), kFrames);
}

BENCHMARK_CAPTURE(BM_TolmDecode, shapes, Content::shapes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Mpeg4Decode, shapes, Content::shapes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TolmDecode, pattern, Content::pattern)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Mpeg4Decode, pattern, Content::pattern)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TolmDecode, noise, Content::noise)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Mpeg4Decode, noise, Content::noise)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TolmDecode, camera, Content::camera)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Mpeg4Decode, camera, Content::camera)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
