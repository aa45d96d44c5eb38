// TIFF over libtiff: palette and grey strips of 1 to 8 bits stay indexed,
// every other layout comes through the library's RGBA reader as 32-bit
// colour; written as palette or RGB strips with the compression code the
// caller names. The library's error and warning handlers are switched off
// for the process, so nothing is printed.
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include <tiffio.h>

#include "stills/packed_indices.h"
#include "stills/still_codec.h"

namespace vex::stills {

namespace {

void quiet_library() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
}

struct TiffCloser {
  void operator()(TIFF *t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

struct Layout {
  uint32_t width = 0, height = 0;
  uint16_t bps = 1, spp = 1, photometric = 0, compression = 1, planar = PLANARCONFIG_CONTIG;
};

bool scanline_kind(TIFF *t, const Layout &l) {
  const bool mapped = l.photometric == PHOTOMETRIC_PALETTE || l.photometric == PHOTOMETRIC_MINISBLACK ||
                      l.photometric == PHOTOMETRIC_MINISWHITE;
  const bool depth = l.bps == 1 || l.bps == 2 || l.bps == 4 || l.bps == 8;
  return mapped && depth && l.spp == 1 && !TIFFIsTiled(t);
}

int32_t read_indexed(TIFF *t, const Layout &l, Picture &p) {
  const auto w = static_cast<int32_t>(l.width), h = static_cast<int32_t>(l.height);
  const int levels = 1 << l.bps;
  if (l.photometric == PHOTOMETRIC_PALETTE) {
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (!TIFFGetField(t, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b)
      return kBadFile;
    for (int i = 0; i < levels; ++i)
      p.table[static_cast<size_t>(i)] = {static_cast<uint8_t>(b[i] >> 8), static_cast<uint8_t>(g[i] >> 8),
                                         static_cast<uint8_t>(r[i] >> 8), 0};
  } else {
    p.grey_table(levels);
  }
  const tmsize_t line = TIFFScanlineSize(t);
  if (line < (static_cast<tmsize_t>(w) * l.bps + 7) / 8)
    return kBadFile;
  std::vector<uint8_t> buf(static_cast<size_t>(line));
  p.start_indexed(w, h);
  const bool invert = l.photometric == PHOTOMETRIC_MINISWHITE;
  for (int32_t y = 0; y < h; ++y) {
    if (TIFFReadScanline(t, buf.data(), static_cast<uint32_t>(y), 0) < 0)
      return kBadFile;
    uint8_t *row = &p.index[static_cast<size_t>(y) * w];
    unpack_indices(buf.data(), l.bps, w, row);
    if (invert)
      for (int32_t x = 0; x < w; ++x)
        row[x] = static_cast<uint8_t>(levels - 1 - row[x]);
  }
  return 0;
}

int32_t read_colour(TIFF *t, const Layout &l, Picture &p) {
  char message[1024];
  if (!TIFFRGBAImageOK(t, message))
    return kUnsupported;
  std::vector<uint32_t> raster(static_cast<size_t>(l.width) * l.height);
  if (!TIFFReadRGBAImageOriented(t, l.width, l.height, raster.data(), ORIENTATION_TOPLEFT, 0))
    return kBadFile;
  p.start_colour(static_cast<int32_t>(l.width), static_cast<int32_t>(l.height));
  for (size_t i = 0; i < raster.size(); ++i) {
    const uint32_t v = raster[i];
    p.bgra[i * 4] = static_cast<uint8_t>(TIFFGetB(v));
    p.bgra[i * 4 + 1] = static_cast<uint8_t>(TIFFGetG(v));
    p.bgra[i * 4 + 2] = static_cast<uint8_t>(TIFFGetR(v));
    p.bgra[i * 4 + 3] = static_cast<uint8_t>(TIFFGetA(v));
  }
  return 0;
}

} // namespace

int32_t read_tiff(const char *name, Picture &p, bool header_only) {
  quiet_library();
  if (FILE *probe = name ? std::fopen(name, "rb") : nullptr)
    std::fclose(probe);
  else
    return kNoFile;
  TiffPtr t(TIFFOpen(name, "r"));
  if (!t)
    return kBadFile;
  Layout l;
  if (!TIFFGetField(t.get(), TIFFTAG_IMAGEWIDTH, &l.width) || !TIFFGetField(t.get(), TIFFTAG_IMAGELENGTH, &l.height))
    return kBadFile;
  TIFFGetFieldDefaulted(t.get(), TIFFTAG_BITSPERSAMPLE, &l.bps);
  TIFFGetFieldDefaulted(t.get(), TIFFTAG_SAMPLESPERPIXEL, &l.spp);
  TIFFGetFieldDefaulted(t.get(), TIFFTAG_COMPRESSION, &l.compression);
  TIFFGetFieldDefaulted(t.get(), TIFFTAG_PLANARCONFIG, &l.planar);
  if (!TIFFGetField(t.get(), TIFFTAG_PHOTOMETRIC, &l.photometric))
    l.photometric = l.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  p.info = {static_cast<int32_t>(l.width > INT32_MAX ? 0 : l.width),
            static_cast<int32_t>(l.height > INT32_MAX ? 0 : l.height), l.bps * l.spp, l.compression};
  if (!size_ok(p.info.width, p.info.height))
    return kBadFile;
  if (header_only)
    return 0;
  return scanline_kind(t.get(), l) ? read_indexed(t.get(), l, p) : read_colour(t.get(), l, p);
}

int32_t write_tiff(const char *name, const Image &im, int32_t compression) {
  quiet_library();
  const auto code = static_cast<uint16_t>(compression <= 0 ? COMPRESSION_NONE : compression);
  if (compression > 0xFFFF || !TIFFIsCODECConfigured(code))
    return kUnsupported;
  TiffPtr t(TIFFOpen(name, "w"));
  if (!t)
    return kWriteError;
  const bool mapped = im.bits == 8;
  TIFF *f = t.get();
  TIFFSetField(f, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(im.width));
  TIFFSetField(f, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(im.height));
  TIFFSetField(f, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(f, TIFFTAG_SAMPLESPERPIXEL, mapped ? 1 : 3);
  TIFFSetField(f, TIFFTAG_PHOTOMETRIC, mapped ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB);
  TIFFSetField(f, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(f, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(f, TIFFTAG_COMPRESSION, code);
  TIFFSetField(f, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(f, 0));
  if (mapped) {
    uint16_t r[256], g[256], b[256];
    for (int i = 0; i < 256; ++i) {
      b[i] = static_cast<uint16_t>(im.colors[i * 4] * 257);
      g[i] = static_cast<uint16_t>(im.colors[i * 4 + 1] * 257);
      r[i] = static_cast<uint16_t>(im.colors[i * 4 + 2] * 257);
    }
    TIFFSetField(f, TIFFTAG_COLORMAP, r, g, b);
  }
  std::vector<uint8_t> row(static_cast<size_t>(im.width) * (mapped ? 1 : 3));
  for (int32_t y = 0; y < im.height; ++y) {
    const uint8_t *src = top_row(im, y);
    if (mapped)
      std::memcpy(row.data(), src, row.size());
    else
      for (int32_t x = 0; x < im.width; ++x) { // stored red, green, blue
        row[static_cast<size_t>(x) * 3] = src[x * 3 + 2];
        row[static_cast<size_t>(x) * 3 + 1] = src[x * 3 + 1];
        row[static_cast<size_t>(x) * 3 + 2] = src[x * 3];
      }
    if (TIFFWriteScanline(f, row.data(), static_cast<uint32_t>(y), 0) < 0)
      return kWriteError;
  }
  TIFF *raw = t.release();
  TIFFClose(raw);
  return 0;
}

} // namespace vex::stills
