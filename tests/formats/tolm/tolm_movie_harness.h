// Shared helpers of the Tolm reader tests: movies written to a temporary
// folder and opened, frames copied out, and the pixels a model picture must
// give through the blitters.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <tuple>
#include <string>
#include <vector>

#include "formats/tolm/tolm_reader.h"
#include "testkit/util/source_of.h"
#include "testkit/formats/tolm/tolm_movie_writer.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/yuv.h"

namespace vex::tolm_reader_test {

namespace tk = vex::testkit::tolm;
using formats::tolm::TOLM;

inline constexpr uint32_t kSourceFlags = 0x8104000; // what the graphics source passes

inline void write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

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

// A movie in a file of its own, opened; closed at the end of the test.
class OpenMovie {
public:
  OpenMovie(const std::vector<uint8_t> &bytes, uint32_t flags = kSourceFlags) {
    path_ = dir_.file("movie.tlm");
    write_file(path_, bytes);
    t_ = formats::tolm::TolmOpen(vex::testkit::source_of(path_.c_str()), flags);
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

} // namespace vex::tolm_reader_test
