#include "movie/picture_converter.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace vex::movie {

namespace {

// The HD threshold of the untagged convention.
constexpr int kHdWidth = 1280, kHdHeight = 720;

bool full_range_format(int format) {
  switch (format) {
  case AV_PIX_FMT_YUVJ420P:
  case AV_PIX_FMT_YUVJ422P:
  case AV_PIX_FMT_YUVJ444P:
  case AV_PIX_FMT_YUVJ440P:
  case AV_PIX_FMT_YUVJ411P: return true;
  default: return false;
  }
}

// Luma and chroma (or grey) pictures carry a matrix and a range; colour
// and palette pictures are converted as they are.
bool has_colour_setup(int format) {
  const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
  return d &&
         !(d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER | AV_PIX_FMT_FLAG_HWACCEL));
}

} // namespace

ColourSetup colour_setup_of(const AVFrame *f) {
  ColourSetup c{SWS_CS_ITU601, false};
  switch (f->colorspace) {
  case AVCOL_SPC_RGB:
  case AVCOL_SPC_UNSPECIFIED:
  case AVCOL_SPC_RESERVED:
    c.matrix = f->height >= kHdHeight || f->width >= kHdWidth ? SWS_CS_ITU709 : SWS_CS_ITU601;
    break;
  case AVCOL_SPC_BT709: c.matrix = SWS_CS_ITU709; break;
  case AVCOL_SPC_FCC: c.matrix = SWS_CS_FCC; break;
  case AVCOL_SPC_SMPTE240M: c.matrix = SWS_CS_SMPTE240M; break;
  case AVCOL_SPC_BT2020_NCL:
  case AVCOL_SPC_BT2020_CL: c.matrix = SWS_CS_BT2020; break;
  default: // BT.470 BG, SMPTE 170M, and what libswscale has no table for
    c.matrix = SWS_CS_ITU601;
    break;
  }
  c.full_range =
      f->color_range == AVCOL_RANGE_JPEG || (f->color_range == AVCOL_RANGE_UNSPECIFIED && full_range_format(f->format));
  return c;
}

PictureConverter::~PictureConverter() { sws_freeContext(sws_); }

bool PictureConverter::prepare(const Key &key) {
  if (sws_ && key == key_)
    return true;
  sws_freeContext(sws_);
  key_ = key;
  sws_ = sws_getContext(key.src_w, key.src_h, static_cast<AVPixelFormat>(key.src_format), key.dst_w, key.dst_h,
                        static_cast<AVPixelFormat>(key.dst_format), SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!sws_)
    return false;
  if (!has_colour_setup(key.src_format))
    return true;
  // Only the source matrix and range change; brightness, contrast,
  // saturation and the output side keep the converter's own values.
  int *inv = nullptr, *table = nullptr;
  int src_full = 0, dst_full = 0, brightness = 0, contrast = 0, saturation = 0;
  if (sws_getColorspaceDetails(sws_, &inv, &src_full, &table, &dst_full, &brightness, &contrast, &saturation) < 0)
    return true; // a converter without tables (no colour conversion)
  const int *coefficients = sws_getCoefficients(key.colour.matrix);
  sws_setColorspaceDetails(sws_, coefficients, key.colour.full_range ? 1 : 0, coefficients, dst_full, brightness,
                           contrast, saturation);
  return true;
}

bool PictureConverter::convert(const AVFrame *f, int bits, int width, int height, uint8_t *dest, int pitch) {
  if (!f || !dest || f->width <= 0 || f->height <= 0 || width <= 0 || height <= 0 || (bits != 24 && bits != 32))
    return false;
  const Key key{f->width,
                f->height,
                f->format,
                width,
                height,
                bits == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24,
                has_colour_setup(f->format) ? colour_setup_of(f) : ColourSetup{-1, false}};
  if (!prepare(key))
    return false;
  // The converters work in aligned blocks and may stop short of an odd
  // width in a tightly padded row, so they fill an aligned picture that
  // is copied row by row into the caller's layout.
  const int row = width * (bits / 8);
  const int stride = (row + 63) & ~63;
  staging_.resize(static_cast<size_t>(stride) * static_cast<size_t>(height) + 64);
  auto *base = reinterpret_cast<uint8_t *>((reinterpret_cast<uintptr_t>(staging_.data()) + 63) & ~uintptr_t{63});
  uint8_t *planes[4] = {base, nullptr, nullptr, nullptr};
  int strides[4] = {stride, 0, 0, 0};
  if (sws_scale(sws_, f->data, f->linesize, 0, f->height, planes, strides) != height)
    return false;
  for (int y = 0; y < height; ++y)
    std::memcpy(dest + static_cast<ptrdiff_t>(y) * pitch, base + static_cast<ptrdiff_t>(y) * stride,
                static_cast<size_t>(row));
  return true;
}

} // namespace vex::movie
