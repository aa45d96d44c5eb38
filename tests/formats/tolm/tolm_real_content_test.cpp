// The test encoder's real-content mode over synthetic animations: what it
// writes must decode to a close likeness of the source, using the block
// types the content calls for.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "testkit/formats/tolm/yuv_scenes.h"
#include "tests/formats/tolm/tolm_test_util.h"

namespace vex::tolm_test {
namespace {

struct SequenceStats {
  std::map<int, int> types; // luma block types over the sequence
  double worst_psnr = 99;
  size_t bytes = 0;
};

SequenceStats run_sequence(tk::Scene scene, uint32_t width, uint32_t height, bool alpha, uint8_t q, int frames) {
  SequenceStats stats;
  const uint32_t W = (width + 15) & ~15u, H = (height + 15) & ~15u;
  tk::Picture buffers[2] = {tk::Picture(W, H, alpha), tk::Picture(W, H, alpha)};
  const tk::FrameDecoder d(W);
  tk::RealOptions options;
  options.q = q;
  for (int f = 0; f < frames; ++f) {
    const tk::Picture source = tk::render_scene(scene, f, width, height, alpha);
    tk::Picture &target = buffers[f & 1];
    const tk::Picture &previous = buffers[(f + 1) & 1];
    tk::FramePlan plan = tk::plan_from_picture(source, f ? &previous : nullptr, width, height, options);
    const auto data = tk::encode_frame(plan);
    stats.bytes += data.size();
    EXPECT_EQ(d.decode(plan, data, target, previous), 0u) << "frame " << f;
    for (const auto &band : plan.planes[tk::kLuma].bands)
      for (const auto &b : band)
        ++stats.types[b.type];
    // Peak signal-to-noise ratio of the luma, first chroma and alpha planes.
    for (int p : {tk::kLuma, tk::kChroma1, tk::kAlpha}) {
      const bool chroma = p == tk::kChroma1;
      const uint32_t w = chroma ? (width + 1) / 2 : width, h = chroma ? (height + 1) / 2 : height, pitch = target.pitch(p);
      double se = 0;
      for (uint32_t y = 0; y < h && (p != tk::kAlpha || alpha); ++y)
        for (uint32_t x = 0; x < w; ++x)
          se += std::pow(double(source.plane(p)[y * pitch + x]) - target.plane(p)[y * pitch + x], 2);
      stats.worst_psnr = std::min(stats.worst_psnr, se == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * w * h / se));
    }
  }
  return stats;
}

// Per scene: the worst PSNR allowed, the block types that must appear (a
// group counts when any of its types does), and the most bytes (a share of
// the raw pictures' 1.5 bytes per pixel).
TEST(TolmRealContent, ScenesDecodeCloseWithTheBlocksTheyCallFor) {
  const struct {
    tk::Scene scene;
    uint32_t width, height;
    bool alpha;
    uint8_t q;
    int frames;
    double psnr;
    std::vector<std::vector<int>> groups;
    size_t share; // bytes below raw / share; 0: not checked
    int least = 1; // of the first group
  } cases[] = {
      {tk::Scene::kShapes, 160, 120, false, 1, 8, 34.0,
       {{tk::kSkip}, {tk::kMotion}, {tk::kFill}, {tk::kPattern}, {tk::kIntra, tk::kInter}}, 4},
      {tk::Scene::kPattern, 120, 90, false, 1, 6, 32.0, {{tk::kSkip, tk::kMotion}, {tk::kIntra, tk::kInter, tk::kRaw}}, 2},
      {tk::Scene::kNoise, 64, 48, false, 0, 3, 30.0, {{tk::kRaw, tk::kIntra, tk::kInter}}, 0, 41},
      {tk::Scene::kShapes, 90, 58, true, 2, 5, 32.0, {}, 0}, // odd sizes with alpha
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    auto s = run_sequence(c.scene, c.width, c.height, c.alpha, c.q, c.frames);
    EXPECT_GT(s.worst_psnr, c.psnr);
    for (size_t g = 0; g < c.groups.size(); ++g) {
      int n = 0;
      for (int type : c.groups[g])
        n += s.types[type];
      EXPECT_GE(n, g == 0 ? c.least : 1) << "group " << g;
    }
    if (c.share) {
      EXPECT_LT(s.bytes, size_t{c.width} * c.height * c.frames * 3 / 2 / c.share);
    }
  }
  // A coarser quantiser means fewer bytes and a worse likeness.
  const auto fine = run_sequence(tk::Scene::kNoise, 48, 32, false, 0, 2);
  const auto coarse = run_sequence(tk::Scene::kNoise, 48, 32, false, 10, 2);
  EXPECT_LT(coarse.bytes, fine.bytes);
  EXPECT_LT(coarse.worst_psnr, fine.worst_psnr);
}

} // namespace
} // namespace vex::tolm_test
