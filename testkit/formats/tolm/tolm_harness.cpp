#include "testkit/formats/tolm/tolm_harness.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <tuple>

#include "testkit/formats/tolm/tolm_frame_args.h"
#include "vexutil/yuv.h"

namespace vex::testkit::tolm {

FrameDecoder::FrameDecoder(uint32_t padded_width) {
  uint32_t sizes[9];
  ExpandBundleSizes(sizes, padded_width);
  for (int i = 0; i < 9; ++i) {
    storage_[i].assign(sizes[i], 0xCD);
    pointers_[i] = storage_[i].data();
  }
}

formats::tolm::TolmFrameArgs FrameDecoder::args(const FramePlan &plan, std::span<const uint8_t> data,
                                                Picture &target, const Picture &reference,
                                                std::vector<uint8_t> *block_map) const {
  if (block_map)
    block_map->assign(size_t{plan.padded_width / 16} * (plan.padded_height / 16), 0);
  return frame_args(target, reference, plan.width, plan.height, data, pointers_.data(),
                    (plan.signed_colours ? VEX_TOLM_DECODE_SIGNED_COLOURS : 0) |
                        (plan.has_alpha ? VEX_TOLM_DECODE_ALPHA : 0),
                    (plan.has_alpha ? VEX_TOLM_VIDEO_ALPHA : 0) | (plan.no_chroma ? VEX_TOLM_VIDEO_NO_CHROMA : 0),
                    block_map ? block_map->data() : nullptr);
}

uint32_t FrameDecoder::decode(const FramePlan &plan, std::span<const uint8_t> data, Picture &target,
                              const Picture &reference, std::vector<uint8_t> *block_map) const {
  return formats::tolm::TolmExpandFrame(args(plan, data, target, reference, block_map));
}

Picture random_picture(uint32_t W, uint32_t H, bool alpha, uint32_t seed) {
  Picture p(W, H, alpha);
  std::mt19937 rng(seed);
  for (uint8_t &v : p.yuv)
    v = static_cast<uint8_t>(rng());
  for (uint8_t &v : p.alpha)
    v = static_cast<uint8_t>(rng());
  return p;
}

Mismatch compare(const ModelPicture &model, const Picture &decoded) {
  Mismatch m;
  const auto check = [&](const std::vector<uint8_t> &want, const std::vector<uint8_t> &tolerance,
                         const std::vector<uint8_t> &got, const char *what) {
    for (size_t i = 0; i < want.size() && i < got.size(); ++i) {
      const int d = std::abs(want[i] - got[i]);
      if (std::min(d, 256 - d) > (i < tolerance.size() ? tolerance[i] : 0) && m.count++ < 4)
        m.first += std::string(what) + "[" + std::to_string(i) + "] want " + std::to_string(want[i]) + " got " +
                   std::to_string(got[i]) + "; ";
    }
  };
  check(model.picture.yuv, model.tolerance.yuv, decoded.yuv, "yuv");
  check(model.picture.alpha, model.tolerance.alpha, decoded.alpha, "alpha");
  return m;
}

std::vector<uint8_t> expected_block_map(const FramePlan &plan) {
  const uint32_t across = plan.padded_width / 16;
  std::vector<uint8_t> map(size_t{across} * (plan.padded_height / 16), 0);
  std::vector<int> planes = {kLuma};
  if (!plan.no_chroma)
    planes.insert(planes.end(), {kChroma1, kChroma2});
  if (plan.has_alpha)
    planes.push_back(kAlpha);
  for (int p : planes) {
    const uint32_t per_macroblock = (p == kChroma1 || p == kChroma2) ? 8 : 16; // plane pixels
    const auto &bands = plan.planes[p].bands;
    for (size_t j = 0; j < bands.size(); ++j) {
      uint32_t x = 0;
      for (const BlockPlan &b : bands[j]) {
        const uint32_t w = b.type == kScaled ? 16 : 8;
        for (uint32_t px = x; px < x + w && b.type != kSkip; px += 8)
          if (px / per_macroblock < across)
            map[(8 * j / per_macroblock) * across + px / per_macroblock] = 1;
        x += w;
      }
    }
  }
  return map;
}

std::vector<uint8_t> HandFrame::data(bool size_word) const {
  const std::vector<uint8_t> plane = bits.bytes();
  std::vector<uint8_t> out;
  if (size_word)
    for (int i = 0; i < 4; ++i)
      out.push_back(static_cast<uint8_t>((plane.size() + 4) >> (8 * i)));
  out.insert(out.end(), plane.begin(), plane.end());
  return out;
}

HandDecoded decode_hand(std::span<const uint8_t> data, uint32_t width, uint32_t height, uint32_t W, uint32_t H,
                        uint32_t decoder_flags, uint32_t video_flags) {
  HandDecoded d{0, random_picture(W, H, false, 9), random_picture(W, H, false, 10),
                std::vector<uint8_t>(size_t{W / 16} * (H / 16), 0)};
  const FrameDecoder decoder(W);
  d.faults = formats::tolm::TolmExpandFrame(frame_args(d.picture, d.reference, width, height, data,
                                                       decoder.bundles(), decoder_flags, video_flags, d.map.data()));
  return d;
}

const ModelMovie &cached_random_movie(const RandomMovieOptions &o) {
  static std::map<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, char, bool, bool, uint32_t>, ModelMovie> cache;
  const auto key = std::make_tuple(o.width, o.height, o.frames, o.key_interval, o.version, o.alpha, o.grey, o.seed);
  auto it = cache.find(key);
  if (it == cache.end())
    it = cache.emplace(key, random_movie(o)).first;
  return it->second;
}

std::vector<uint32_t> blit_picture(const Picture &p, uint32_t w, uint32_t h, uint32_t out_w, uint32_t out_h,
                                   uint32_t flags, bool with_alpha) {
  std::vector<uint32_t> out(size_t{out_w} * out_h, 0xDEADBEEF);
  const auto W = static_cast<int32_t>(p.padded_width), H = static_cast<int32_t>(p.padded_height);
  const auto pitch = static_cast<int32_t>(4 * out_w), sw = static_cast<int32_t>(w), sh = static_cast<int32_t>(h);
  if (with_alpha)
    YUV_blit_32abpp(out.data(), 0, 0, pitch, p.yuv.data(), 0, 0, sw, sh, W, H, p.alpha.data(), flags);
  else
    YUV_blit_32bpp(out.data(), 0, 0, pitch, p.yuv.data(), 0, 0, sw, sh, W, H, flags);
  return out;
}

std::vector<uint32_t> expected_frame(const Movie &m, const Picture &p) {
  uint32_t flags = 5;
  if (m.version == 'f' || m.version == 'g')
    flags |= YUV_SWAP_CHROMA;
  if (m.video_flags & formats::tolm::kTolmVideoGrey)
    flags |= YUV_GREY;
  return blit_picture(p, m.width, m.height, m.width, m.height, flags,
                      (m.video_flags & formats::tolm::kTolmVideoAlpha) != 0);
}

} // namespace vex::testkit::tolm
