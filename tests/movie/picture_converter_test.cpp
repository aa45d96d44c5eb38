// The converter's direct path against its own two-step path: random
// pictures of every pixel format the direct path takes, at widths of 16
// to 640 and odd heights, give the same blue, green and red bytes as
// `convert` at 24 and 32 bits, the fourth byte as `convert` at 32 bits
// (kept) or 0, and no byte between a row's end and the next row. Widths,
// targets and pitches the scaler does not write exactly are refused.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include "movie/media_reader.h"
#include "movie/picture_converter.h"

namespace {

using vex::movie::PictureConverter;

struct FrameFree {
  void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using Frame = std::unique_ptr<AVFrame, FrameFree>;

Frame random_picture(AVPixelFormat format, int w, int h, std::mt19937 &rng) {
  Frame f(av_frame_alloc());
  f->format = format;
  f->width = w;
  f->height = h;
  if (av_frame_get_buffer(f.get(), 0) < 0)
    return nullptr;
  const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(format);
  for (int p = 0; p < 4 && f->data[p]; ++p) {
    const bool chroma = (p == 1 || p == 2) && !(d->flags & AV_PIX_FMT_FLAG_RGB);
    const int rows = chroma ? -((-h) >> d->log2_chroma_h) : h;
    for (size_t i = 0; i < size_t(f->linesize[p]) * size_t(rows); ++i)
      f->data[p][i] = static_cast<uint8_t>(rng());
  }
  return f;
}

// A 16-byte aligned block of `bytes`, filled with a marker.
struct Target {
  std::vector<uint8_t> store;
  uint8_t *base;
  explicit Target(size_t bytes) : store(bytes + 16, 0xAB) {
    base = reinterpret_cast<uint8_t *>((reinterpret_cast<uintptr_t>(store.data()) + 15) & ~uintptr_t{15});
  }
};

TEST(PictureConverter, DirectRowsEqualTheTwoStepConversion) {
  vex::movie::start_libraries(); // quiet scaler
  std::mt19937 rng(7);
  const AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,
                                   AV_PIX_FMT_YUVA420P, AV_PIX_FMT_NV12,     AV_PIX_FMT_GRAY8,   AV_PIX_FMT_RGB24};
  for (const AVPixelFormat format : formats)
    for (const int w : {16, 48, 640})
      for (const int h : {1, 7, 16, 41}) {
        Frame f = random_picture(format, w, h, rng);
        ASSERT_NE(f, nullptr);
        f->colorspace = h == 7 ? AVCOL_SPC_BT709 : AVCOL_SPC_UNSPECIFIED;
        f->color_range = h >= 16 ? AVCOL_RANGE_JPEG : AVCOL_RANGE_UNSPECIFIED;
        PictureConverter two_step, direct;
        std::vector<uint8_t> bgr(size_t(w) * 3 * h), bgra(size_t(w) * 4 * h);
        ASSERT_TRUE(two_step.convert(f.get(), 24, w, h, bgr.data(), w * 3));
        ASSERT_TRUE(two_step.convert(f.get(), 32, w, h, bgra.data(), w * 4));
        const ptrdiff_t pitch = ptrdiff_t{w} * 4 + 32; // room that must stay untouched
        for (const int bits : {24, 32})
          for (const bool keep : {false, true}) {
            Target t(size_t(pitch) * size_t(h));
            ASSERT_TRUE(direct.convert_into(f.get(), bits, keep, t.base, pitch))
                << av_get_pix_fmt_name(format) << " " << w << "x" << h;
            for (int y = 0; y < h; ++y) {
              const uint8_t *row = t.base + y * pitch;
              for (int x = 0; x < w; ++x) {
                const size_t i = size_t(y) * size_t(w) + size_t(x);
                const uint8_t *c = bits == 24 ? &bgr[i * 3] : &bgra[i * 4];
                const uint8_t fourth = bits == 32 && keep ? bgra[i * 4 + 3] : 0;
                const uint8_t want[4] = {c[0], c[1], c[2], fourth};
                ASSERT_EQ(std::memcmp(row + x * 4, want, 4), 0)
                    << av_get_pix_fmt_name(format) << " " << w << "x" << h << " bits " << bits << " at " << x << ","
                    << y;
              }
              for (ptrdiff_t k = ptrdiff_t{w} * 4; k < pitch; ++k)
                ASSERT_EQ(row[k], 0xAB) << "past row " << y;
            }
          }
      }
}

TEST(PictureConverter, DirectPathRefusesWhatItCannotWriteExactly) {
  std::mt19937 rng(9);
  PictureConverter c;
  Frame ok = random_picture(AV_PIX_FMT_YUV420P, 32, 4, rng);
  Target t(size_t{4} * 64 * 4 + 64);
  EXPECT_TRUE(c.convert_into(ok.get(), 32, false, t.base, 32 * 4));
  EXPECT_FALSE(c.convert_into(ok.get(), 32, false, t.base + 4, 32 * 4)) << "unaligned target";
  EXPECT_FALSE(c.convert_into(ok.get(), 32, false, t.base, 32 * 4 + 4)) << "unaligned pitch";
  EXPECT_FALSE(c.convert_into(ok.get(), 32, false, t.base, 16 * 4)) << "pitch shorter than a row";
  EXPECT_FALSE(c.convert_into(ok.get(), 16, false, t.base, 32 * 4)) << "no such depth";
  for (const int w : {8, 24, 40, 100}) {
    Frame odd = random_picture(AV_PIX_FMT_YUV420P, w, 4, rng);
    EXPECT_FALSE(c.convert_into(odd.get(), 32, false, t.base, 128 * 4)) << "width " << w;
  }
  // A format whose 24-bit and 32-bit conversions were not shown to agree.
  Frame deep = random_picture(AV_PIX_FMT_YUV420P10LE, 32, 4, rng);
  EXPECT_FALSE(c.convert_into(deep.get(), 24, false, t.base, 32 * 4));
  EXPECT_TRUE(c.convert_into(deep.get(), 32, true, t.base, 32 * 4));
}

} // namespace
