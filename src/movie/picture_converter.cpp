#include "movie/picture_converter.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "movie/ffmpeg_api.h"

#include "util/cpu_clones.h"

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
  const AVPixFmtDescriptor *d = ff().av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
  return d &&
         !(d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER | AV_PIX_FMT_FLAG_HWACCEL));
}

// The direct path's conditions. The scaler's fast converters handle 16
// pixels a step: at other widths they write past the row or stop short of
// it. Rows and the target must be 16-byte aligned for them to be taken.
constexpr int kStepPixels = 16;
constexpr uintptr_t kRowAlign = 16;

// Pictures whose blue, green and red bytes come out the same whether the
// scaler writes 24-bit or 32-bit rows (checked over every matrix and
// range on random pictures); 24-bit readers go direct only from these.
bool same_colours_at_24_and_32(int format) {
  switch (format) {
  case AV_PIX_FMT_YUV420P:
  case AV_PIX_FMT_YUVJ420P:
  case AV_PIX_FMT_YUV422P:
  case AV_PIX_FMT_YUVJ422P:
  case AV_PIX_FMT_YUV444P:
  case AV_PIX_FMT_YUVJ444P:
  case AV_PIX_FMT_YUVA420P:
  case AV_PIX_FMT_NV12:
  case AV_PIX_FMT_GRAY8:
  case AV_PIX_FMT_YUV410P:
  case AV_PIX_FMT_RGB24: return true;
  default: return false;
  }
}

// The fourth byte of each 32-bit pixel to 0: a word mask (blue in the low
// byte of a little-endian word), which the vectoriser widens; with GCC
// also built for AVX2, the better one picked when the library loads.
#define VEX_CLEAR_CLONES VEX_GCC_AVX2_CLONES
static_assert(std::endian::native == std::endian::little);
VEX_CLEAR_CLONES void clear_fourth(uint8_t *dest, ptrdiff_t pitch, int width, int height) {
  for (int y = 0; y < height; ++y) {
    uint8_t *row = dest + y * pitch;
    for (int x = 0; x < width; ++x) {
      uint32_t v;
      std::memcpy(&v, row + x * 4, 4);
      v &= 0x00FFFFFFu;
      std::memcpy(row + x * 4, &v, 4);
    }
  }
}

// Rows per call of the scaler on the direct path: the fourth byte is
// cleared while the band is still in the cache. A multiple of every
// chroma subsampling (at most 4 rows).
constexpr int kBandRows = 64;

// Plane pointers of the picture moved down to row `y` (chroma planes by
// their subsampled row); planes no component lives in (a palette) stay.
void planes_at(const AVFrame *f, int y, const uint8_t *out[4]) {
  const AVPixFmtDescriptor *d = ff().av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
  for (int p = 0; p < 4; ++p)
    out[p] = f->data[p];
  if (!d)
    return;
  const bool yuv = !(d->flags & AV_PIX_FMT_FLAG_RGB);
  bool moved[4] = {};
  for (int c = 0; c < d->nb_components; ++c) {
    const int p = d->comp[c].plane;
    if (moved[p] || !f->data[p])
      continue;
    moved[p] = true;
    const int row = yuv && (c == 1 || c == 2) ? y >> d->log2_chroma_h : y;
    out[p] = f->data[p] + static_cast<ptrdiff_t>(row) * f->linesize[p];
  }
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

PictureColour picture_colour_of(const AVFrame *f) {
  PictureColour p;
  if (!f || !has_colour_setup(f->format))
    return p;
  const ColourSetup c = colour_setup_of(f);
  switch (c.matrix) {
  case SWS_CS_ITU709: p.matrix = Matrix::bt709; break;
  case SWS_CS_FCC: p.matrix = Matrix::fcc; break;
  case SWS_CS_SMPTE240M: p.matrix = Matrix::smpte240m; break;
  case SWS_CS_BT2020: p.matrix = Matrix::bt2020; break;
  default: p.matrix = Matrix::bt601; break;
  }
  p.full_range = c.full_range;
  p.matrix_tagged =
      f->colorspace != AVCOL_SPC_RGB && f->colorspace != AVCOL_SPC_UNSPECIFIED && f->colorspace != AVCOL_SPC_RESERVED;
  p.range_tagged = f->color_range != AVCOL_RANGE_UNSPECIFIED;
  return p;
}

// A converter that never converted (its reader's open failed, perhaps
// because FFmpeg could not be loaded) has nothing to free.
PictureConverter::~PictureConverter() {
  if (sws_)
    ff().sws_freeContext(sws_);
}

bool PictureConverter::prepare(const Key &key) {
  if (sws_ && key == key_)
    return true;
  if (sws_)
    ff().sws_freeContext(sws_);
  key_ = key;
  sws_ = ff().sws_getContext(key.src_w, key.src_h, static_cast<AVPixelFormat>(key.src_format), key.dst_w, key.dst_h,
                             static_cast<AVPixelFormat>(key.dst_format), SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!sws_)
    return false;
  if (!has_colour_setup(key.src_format))
    return true;
  // Only the source matrix and range change; brightness, contrast,
  // saturation and the output side keep the converter's own values.
  int *inv = nullptr, *table = nullptr;
  int src_full = 0, dst_full = 0, brightness = 0, contrast = 0, saturation = 0;
  if (ff().sws_getColorspaceDetails(sws_, &inv, &src_full, &table, &dst_full, &brightness, &contrast, &saturation) < 0)
    return true; // a converter without tables (no colour conversion)
  const int *coefficients = ff().sws_getCoefficients(key.colour.matrix);
  ff().sws_setColorspaceDetails(sws_, coefficients, key.colour.full_range ? 1 : 0, coefficients, dst_full, brightness,
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
  if (ff().sws_scale(sws_, f->data, f->linesize, 0, f->height, planes, strides) != height)
    return false;
  for (int y = 0; y < height; ++y)
    std::memcpy(dest + static_cast<ptrdiff_t>(y) * pitch, base + static_cast<ptrdiff_t>(y) * stride,
                static_cast<size_t>(row));
  return true;
}

bool PictureConverter::convert_into(const AVFrame *f, int bits, bool keep_fourth, uint8_t *dest, ptrdiff_t pitch) {
  if (!f || !dest || f->width <= 0 || f->height <= 0 || (bits != 24 && bits != 32))
    return false;
  if (f->width % kStepPixels != 0 || reinterpret_cast<uintptr_t>(dest) % kRowAlign != 0 ||
      pitch % static_cast<ptrdiff_t>(kRowAlign) != 0 || pitch < ptrdiff_t{f->width} * 4 || pitch > INT32_MAX)
    return false;
  if (bits == 24 && !same_colours_at_24_and_32(f->format))
    return false;
  const Key key{f->width,
                f->height,
                f->format,
                f->width,
                f->height,
                AV_PIX_FMT_BGRA,
                has_colour_setup(f->format) ? colour_setup_of(f) : ColourSetup{-1, false}};
  if (!prepare(key))
    return false;
  uint8_t *planes[4] = {dest, nullptr, nullptr, nullptr};
  int strides[4] = {static_cast<int>(pitch), 0, 0, 0};
  const bool clear = !keep_fourth || bits == 24;
  // A band of source rows may give fewer or more output rows than it
  // holds (the scaler's filters may hold rows back); those it gave are
  // cleared.
  int written = 0;
  for (int y = 0; y < f->height; y += kBandRows) {
    const int rows = std::min(kBandRows, f->height - y);
    const uint8_t *band[4];
    planes_at(f, y, band);
    const int out = ff().sws_scale(sws_, band, f->linesize, y, rows, planes, strides);
    if (out < 0 || out > f->height - written)
      return false;
    if (clear)
      clear_fourth(dest + written * pitch, pitch, f->width, out);
    written += out;
  }
  return written == f->height;
}

} // namespace vex::movie
