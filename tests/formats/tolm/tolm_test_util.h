// Shared by the Tolm tests: the frame decoder over testkit pictures with
// its bundle buffers, comparison against the encoder's model, and movies
// written to a temporary folder and opened, with the pixels a model picture
// must give through the blitters.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "formats/tolm/tolm_decoder.h"
#include "formats/tolm/tolm_reader.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/source_of.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/yuv.h"

namespace vex::tolm_test {

namespace tk = vex::testkit::tolm;
using formats::tolm::TOLM;
using Bytes = std::vector<uint8_t>;

class Decoder {
public:
  explicit Decoder(uint32_t padded_width) {
    uint32_t sizes[9];
    ExpandBundleSizes(sizes, padded_width);
    for (int i = 0; i < 9; ++i) {
      storage_[i].assign(sizes[i], 0xCD);
      pointers_[i] = storage_[i].data();
    }
  }
  // The call's arguments for decoding `data` into `target` over `reference`.
  formats::tolm::TolmFrameArgs args(const tk::FramePlan &plan, const Bytes &data, tk::Picture &target,
                                    const tk::Picture &reference, std::vector<uint8_t> *block_map = nullptr) {
    formats::tolm::TolmFrameArgs a;
    a.target = target.yuv.data();
    a.reference = reference.yuv.data();
    a.target_alpha = target.alpha.empty() ? nullptr : target.alpha.data();
    a.reference_alpha = reference.alpha.empty() ? nullptr : reference.alpha.data();
    if (block_map)
      block_map->assign(size_t{plan.padded_width / 16} * (plan.padded_height / 16), 0);
    a.block_map = block_map ? block_map->data() : nullptr;
    a.width = plan.width;
    a.height = plan.height;
    a.padded_width = plan.padded_width;
    a.padded_height = plan.padded_height;
    a.data = data;
    a.bundles = pointers_.data();
    a.decoder_flags = (plan.signed_colours ? VEX_TOLM_DECODE_SIGNED_COLOURS : 0) |
                      (plan.has_alpha ? VEX_TOLM_DECODE_ALPHA : 0);
    a.video_flags = (plan.has_alpha ? VEX_TOLM_VIDEO_ALPHA : 0) | (plan.no_chroma ? VEX_TOLM_VIDEO_NO_CHROMA : 0);
    return a;
  }
  // Decodes; returns the fault bits.
  uint32_t decode(const tk::FramePlan &plan, const Bytes &data, tk::Picture &target, const tk::Picture &reference,
                  std::vector<uint8_t> *block_map = nullptr) {
    return formats::tolm::TolmExpandFrame(args(plan, data, target, reference, block_map));
  }
  void *const *bundles() const { return pointers_.data(); }

private:
  std::array<std::vector<uint8_t>, 9> storage_;
  std::array<void *, 9> pointers_{};
};

// Pixels where the decoded picture differs from the model by more than the
// model's tolerance (distance taken modulo 256); text of the first few.
struct Mismatch {
  size_t count = 0;
  std::string first;
};
inline Mismatch compare(const tk::ModelPicture &model, const tk::Picture &decoded) {
  Mismatch m;
  auto check = [&](const Bytes &want, const Bytes &tol, const Bytes &got, const char *what) {
    for (size_t i = 0; i < want.size() && i < got.size(); ++i) {
      const int d = std::abs(want[i] - got[i]);
      if (std::min(d, 256 - d) > (i < tol.size() ? tol[i] : 0) && m.count++ < 4)
        m.first += std::string(what) + "[" + std::to_string(i) + "] want " + std::to_string(want[i]) + " got " +
                   std::to_string(got[i]) + "; ";
    }
  };
  check(model.picture.yuv, model.tolerance.yuv, decoded.yuv, "yuv");
  check(model.picture.alpha, model.tolerance.alpha, decoded.alpha, "alpha");
  return m;
}

// A picture filled with a deterministic pseudo-random pattern.
inline tk::Picture random_picture(uint32_t W, uint32_t H, bool alpha, uint32_t seed) {
  tk::Picture p(W, H, alpha);
  std::mt19937 rng(seed);
  for (uint8_t &v : p.yuv)
    v = static_cast<uint8_t>(rng());
  for (uint8_t &v : p.alpha)
    v = static_cast<uint8_t>(rng());
  return p;
}

inline constexpr uint32_t kSourceFlags = 0x8104000; // what the graphics source passes

// random_movie() with a cache: the test encoder is slow in sanitizer builds
// and many tests share a movie.
inline const tk::ModelMovie &model_movie(const tk::RandomMovieOptions &o) {
  static std::map<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, char, bool, bool, uint32_t>, tk::ModelMovie> cache;
  const auto key = std::make_tuple(o.width, o.height, o.frames, o.key_interval, o.version, o.alpha, o.grey, o.seed);
  auto it = cache.find(key);
  if (it == cache.end())
    it = cache.emplace(key, tk::random_movie(o)).first;
  return it->second;
}

inline tk::RandomMovieOptions movie_options(uint32_t width, uint32_t height, uint32_t frames, uint32_t key_interval = 0) {
  tk::RandomMovieOptions o;
  o.width = width;
  o.height = height;
  o.frames = frames;
  o.key_interval = key_interval;
  return o;
}

// A movie in a file of its own, opened; closed at the end of the test.
class OpenMovie {
public:
  OpenMovie(const Bytes &bytes, uint32_t flags = kSourceFlags) {
    path_ = dir_.file("movie.tlm");
    testkit::write_file(path_, bytes);
    t_ = formats::tolm::TolmOpen(testkit::source_of(path_.c_str()), flags);
  }
  ~OpenMovie() { formats::tolm::TolmClose(t_); }
  OpenMovie(const OpenMovie &) = delete;
  OpenMovie &operator=(const OpenMovie &) = delete;
  TOLM *get() const { return t_; }
  TOLM *operator->() const { return t_; }
  const std::string &path() const { return path_; }

private:
  testkit::TempDir dir_;
  std::string path_;
  TOLM *t_ = nullptr;
};

// The last decoded frame as the graphics source takes it (copy type 5).
inline std::vector<uint32_t> copy_frame(TOLM *t, uint32_t flags = 5) {
  std::vector<uint32_t> out(size_t{t->output_width} * t->output_height, 0xDEADBEEF);
  EXPECT_EQ(formats::tolm::TolmCopyToBuffer(t, out.data(), static_cast<int32_t>(4 * t->output_width),
                                            static_cast<int32_t>(t->output_height), 0, 0, flags),
            0);
  return out;
}

// What the blitter makes of a picture over an out_w x out_h buffer.
inline std::vector<uint32_t> blit_picture(const tk::Picture &p, uint32_t w, uint32_t h, uint32_t out_w,
                                          uint32_t out_h, uint32_t flags, bool with_alpha) {
  std::vector<uint32_t> out(size_t{out_w} * out_h, 0xDEADBEEF);
  const auto W = static_cast<int32_t>(p.padded_width), H = static_cast<int32_t>(p.padded_height);
  if (with_alpha)
    YUV_blit_32abpp(out.data(), 0, 0, static_cast<int32_t>(4 * out_w), p.yuv.data(), 0, 0, static_cast<int32_t>(w),
                    static_cast<int32_t>(h), W, H, p.alpha.data(), flags);
  else
    YUV_blit_32bpp(out.data(), 0, 0, static_cast<int32_t>(4 * out_w), p.yuv.data(), 0, 0, static_cast<int32_t>(w),
                   static_cast<int32_t>(h), W, H, flags);
  return out;
}

// Pixels the reader must give for decoded picture p of movie m (no scaling).
inline std::vector<uint32_t> expected_frame(const tk::Movie &m, const tk::Picture &p) {
  uint32_t flags = 5;
  if (m.version == 'f' || m.version == 'g')
    flags |= YUV_SWAP_CHROMA;
  if (m.video_flags & 0x20000)
    flags |= YUV_GREY;
  return blit_picture(p, m.width, m.height, m.width, m.height, flags, (m.video_flags & 0x100000) != 0);
}

} // namespace vex::tolm_test
