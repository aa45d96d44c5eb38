// TIFF over libtiff: palette and grey strips of 1 to 8 bits stay indexed;
// RGB and grey-with-alpha pictures of 8 or 16 bits per sample are read
// strip by strip (or tile by tile, plane by plane) with libtiff decoding
// each block, so alpha comes back as stored: unassociated alpha with the
// colours as they are, associated alpha with the premultiplied colours as
// they are. Every other layout (YCbCr, CMYK, Lab, more than 8-bit palettes
// or grey without alpha) goes through the library's RGBA reader, which
// gives those layouts no alpha of their own. Written as palette or RGB
// strips with the compression code the caller names. The library prints
// nothing: its warnings are dropped, and its first error during a read is
// kept as the reason a file that opened as a TIFF cannot be read.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include <tiffio.h>

#include "stills/packed_indices.h"
#include "stills/still_codec.h"

namespace vex::stills {

namespace {

// The library's first error of the read running on this thread; it says
// why a file that opened as a TIFF cannot be read.
thread_local std::string t_error;

void keep_error(const char *module, const char *format, va_list args) {
  if (!t_error.empty())
    return;
  char text[256];
  std::vsnprintf(text, sizeof text, format, args);
  t_error = module && *module ? std::string(module) + ": " + text : text;
}

void quiet_library() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(keep_error);
    TIFFSetWarningHandler(nullptr);
  });
}

// libtiff's client procedures over a cursor: reads and seeks within the
// source, nothing written, no mapping (the library then reads).
Cursor &cursor_of(thandle_t h) { return *static_cast<Cursor *>(h); }

tmsize_t read_proc(thandle_t h, void *out, tmsize_t n) {
  return n <= 0 ? 0 : static_cast<tmsize_t>(cursor_of(h).read(out, static_cast<size_t>(n)));
}
tmsize_t write_proc(thandle_t, void *, tmsize_t) { return -1; }

// SEEK_CUR and SEEK_END carry a signed offset in the unsigned type. A
// position before the start is refused; one past the end is taken, as a
// file takes it, and reads nothing there.
toff_t seek_proc(thandle_t h, toff_t offset, int whence) {
  Cursor &c = cursor_of(h);
  if (whence == SEEK_SET) {
    c.at = offset;
    return c.at;
  }
  if (whence != SEEK_CUR && whence != SEEK_END)
    return static_cast<toff_t>(-1);
  const uint64_t from = whence == SEEK_CUR ? c.at : c.source.size();
  if (static_cast<int64_t>(offset) < 0 && uint64_t{0} - offset > from)
    return static_cast<toff_t>(-1);
  c.at = from + offset; // modulo 2^64: a negative offset moves back
  return c.at;
}

int close_proc(thandle_t) { return 0; }
toff_t size_proc(thandle_t h) { return cursor_of(h).source.size(); }
int map_proc(thandle_t, void **, toff_t *) { return 0; }
void unmap_proc(thandle_t, void *, toff_t) {}

// The written file in memory: libtiff writes, seeks back to patch offsets
// and may read back what it wrote; the file is written from it in one go.
struct MemoryFile {
  std::vector<uint8_t> bytes;
  uint64_t at = 0;
};
MemoryFile &memory_of(thandle_t h) { return *static_cast<MemoryFile *>(h); }

tmsize_t memory_read(thandle_t h, void *out, tmsize_t n) {
  MemoryFile &m = memory_of(h);
  if (n <= 0 || m.at >= m.bytes.size())
    return 0;
  const size_t k = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(n), m.bytes.size() - m.at));
  std::memcpy(out, m.bytes.data() + m.at, k);
  m.at += k;
  return static_cast<tmsize_t>(k);
}
tmsize_t memory_write(thandle_t h, void *in, tmsize_t n) {
  MemoryFile &m = memory_of(h);
  if (n <= 0)
    return 0;
  if (m.at + static_cast<uint64_t>(n) > kMaxFileBytes)
    return -1;
  const size_t end = static_cast<size_t>(m.at) + static_cast<size_t>(n);
  if (end > m.bytes.size())
    m.bytes.resize(end);
  std::memcpy(m.bytes.data() + m.at, in, static_cast<size_t>(n));
  m.at = end;
  return n;
}
toff_t memory_seek(thandle_t h, toff_t offset, int whence) {
  MemoryFile &m = memory_of(h);
  const uint64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m.at : m.bytes.size();
  if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END)
    return static_cast<toff_t>(-1);
  if (static_cast<int64_t>(offset) < 0 && uint64_t{0} - offset > from)
    return static_cast<toff_t>(-1);
  m.at = from + offset;
  return m.at;
}
toff_t memory_size(thandle_t h) { return memory_of(h).bytes.size(); }

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

// The samples the directory describes against the bytes of the file, at the
// densest its compression allows (libtiff's codecs beyond these have no
// bound here): none stores every byte; PackBits gives at most 128 bytes for
// two; LZW and deflate as in GIF and PNG; JPEG at least a bit per 8 x 8
// block; the fax codings at least a bit per row.
bool data_can_fill_tiff(const Layout &l, uint64_t have) {
  const uint64_t w = l.width, h = l.height;
  const uint64_t bytes = (w * l.bps * (l.planar == PLANARCONFIG_SEPARATE ? 1 : l.spp) + 7) / 8 * h *
                         (l.planar == PLANARCONFIG_SEPARATE ? l.spp : 1);
  uint64_t need = bytes, ratio = 1;
  switch (l.compression) {
  case COMPRESSION_NONE: break;
  case COMPRESSION_PACKBITS: ratio = 64; break;
  case COMPRESSION_LZW: ratio = kLzwRatio; break;
  case COMPRESSION_ADOBE_DEFLATE:
  case COMPRESSION_DEFLATE: ratio = kDeflateRatio; break;
  case COMPRESSION_OJPEG:
  case COMPRESSION_JPEG: need = (w + 7) / 8 * ((h + 7) / 8), ratio = kJpegBlocksPerByte; break;
  case COMPRESSION_CCITTRLE:
  case COMPRESSION_CCITTFAX3:
  case COMPRESSION_CCITTFAX4: need = h, ratio = 8; break;
  default: return true;
  }
  return data_can_fill("TIF", l.width, l.height, need, ratio, have);
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

// What the direct reader needs to know of a colour picture.
struct Direct {
  uint32_t width = 0, height = 0;
  int samples = 0; // per pixel
  int colours = 0; // 3 (red, green, blue) or 1 (grey)
  int alpha = -1;  // sample index of alpha, or -1
  int bits = 8;    // 8 or 16 per sample
  bool separate = false, invert = false;
  bool flip_rows = false, flip_columns = false;
};

// The layouts read directly; false leaves the picture to the RGBA reader.
bool direct_layout(TIFF *t, const Layout &l, Direct &d) {
  uint16_t format = SAMPLEFORMAT_UINT, orientation = ORIENTATION_TOPLEFT, extra = 0;
  uint16_t *kinds = nullptr;
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
  TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extra, &kinds);
  const bool rgb = l.photometric == PHOTOMETRIC_RGB;
  const bool grey = l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE;
  d.colours = rgb ? 3 : 1;
  if (!(rgb || grey) || format != SAMPLEFORMAT_UINT || (l.bps != 8 && l.bps != 16) || l.spp < d.colours)
    return false;
  // The first extra sample is alpha when it says so; an unspecified one
  // after red, green and blue counts as associated, as libtiff takes it.
  if (extra > 0 && kinds && l.spp > d.colours &&
      (kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA ||
       (kinds[0] == EXTRASAMPLE_UNSPECIFIED && l.spp > 3)))
    d.alpha = d.colours;
  if (grey && d.alpha < 0)
    return false; // plain grey: indexed up to 8 bits, RGBA reader beyond
  d.width = l.width;
  d.height = l.height;
  d.samples = l.spp;
  d.bits = l.bps;
  d.separate = l.planar == PLANARCONFIG_SEPARATE && l.spp > 1;
  d.invert = l.photometric == PHOTOMETRIC_MINISWHITE;
  // The transposed orientations (5-8) are taken as their untransposed
  // partners, as libtiff's RGBA reader takes them.
  switch (orientation) {
  case ORIENTATION_TOPRIGHT:
  case ORIENTATION_RIGHTTOP: d.flip_columns = true; break;
  case ORIENTATION_BOTRIGHT:
  case ORIENTATION_RIGHTBOT: d.flip_columns = d.flip_rows = true; break;
  case ORIENTATION_BOTLEFT:
  case ORIENTATION_LEFTBOT: d.flip_rows = true; break;
  default: break;
  }
  return true;
}

// Byte of blue, green, red, alpha that sample k of a pixel fills, or -1.
int target_of(const Direct &d, int k) {
  if (k == d.alpha)
    return 3;
  if (d.colours == 3 && k < 3)
    return 2 - k; // stored red, green, blue
  return -1;
}

// One decoded block (a strip or a tile; all samples interleaved, or one
// plane) of bw x bh pixels at (x0, y0) into the picture, 16-bit samples
// rounded to 8 bits.
void place_block(const Direct &d, const uint8_t *block, size_t row_bytes, uint32_t x0, uint32_t y0, uint32_t bw,
                 uint32_t bh, int plane, Picture &p) {
  // The samples that land somewhere: colours and alpha, at most four of
  // the (up to 65535) a pixel may carry; the others cost nothing.
  int used[4], count = 0;
  for (int k = d.separate ? plane : 0; k < (d.separate ? plane + 1 : d.samples) && count < 4; ++k)
    if ((d.colours == 1 && k == 0) || target_of(d, k) >= 0)
      used[count++] = k;
  if (count == 0)
    return;
  const size_t per_pixel = d.separate ? 1 : static_cast<size_t>(d.samples);
  const int first = d.separate ? plane : 0;
  const uint32_t cols = std::min(bw, d.width - std::min(x0, d.width));
  const uint32_t rows = std::min(bh, d.height - std::min(y0, d.height));
  for (uint32_t y = 0; y < rows; ++y) {
    const uint8_t *row = block + y * row_bytes;
    uint8_t *out = p.bgra.data() + (static_cast<size_t>(y0 + y) * d.width + x0) * 4;
    if (!d.separate && d.bits == 8 && d.colours == 3) { // the common layout, without the per-sample choices
      const size_t step = static_cast<size_t>(d.samples);
      for (uint32_t x = 0; x < cols; ++x, out += 4, row += step) {
        out[0] = row[2];
        out[1] = row[1];
        out[2] = row[0];
        if (d.alpha >= 0)
          out[3] = row[d.alpha];
      }
      continue;
    }
    for (uint32_t x = 0; x < cols; ++x, out += 4)
      for (int i = 0; i < count; ++i) {
        const int k = used[i];
        const size_t at = x * per_pixel + static_cast<size_t>(k - first);
        uint8_t v = row[at];
        if (d.bits == 16) {
          uint16_t wide;
          std::memcpy(&wide, row + at * 2, 2); // libtiff hands samples over in native order
          v = static_cast<uint8_t>((wide + 128u) / 257u);
        }
        if (d.colours == 1 && k == 0) {
          const uint8_t g = d.invert ? static_cast<uint8_t>(255 - v) : v;
          out[0] = out[1] = out[2] = g;
        } else {
          out[target_of(d, k)] = v;
        }
      }
  }
}

void orient(const Direct &d, Picture &p) {
  const size_t row = static_cast<size_t>(d.width) * 4;
  if (d.flip_rows)
    for (uint32_t y = 0; y < d.height / 2; ++y)
      std::swap_ranges(p.bgra.begin() + static_cast<ptrdiff_t>(y * row),
                       p.bgra.begin() + static_cast<ptrdiff_t>((y + 1) * row),
                       p.bgra.begin() + static_cast<ptrdiff_t>((d.height - 1 - y) * row));
  if (d.flip_columns)
    for (uint32_t y = 0; y < d.height; ++y)
      for (uint32_t a = 0, b = d.width - 1; a < b; ++a, --b)
        std::swap_ranges(p.bgra.begin() + static_cast<ptrdiff_t>(y * row + a * 4),
                         p.bgra.begin() + static_cast<ptrdiff_t>(y * row + a * 4 + 4),
                         p.bgra.begin() + static_cast<ptrdiff_t>(y * row + b * 4));
}

// A block size from the file's tags, within what the library may allocate.
bool block_size_ok(tmsize_t size, size_t least) {
  return size > 0 && static_cast<uint64_t>(size) >= least && static_cast<uint64_t>(size) <= util::kMaxBufferBytes;
}

int32_t read_direct(TIFF *t, const Direct &d, Picture &p) {
  p.start_colour(static_cast<int32_t>(d.width), static_cast<int32_t>(d.height));
  if (d.alpha < 0)
    for (size_t i = 3; i < p.bgra.size(); i += 4)
      p.bgra[i] = 255;
  const int planes = d.separate ? d.samples : 1;
  const size_t sample_bytes = static_cast<size_t>(d.bits / 8) * (d.separate ? 1 : static_cast<size_t>(d.samples));
  std::vector<uint8_t> buf;
  if (TIFFIsTiled(t)) {
    uint32_t tw = 0, th = 0;
    TIFFGetField(t, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(t, TIFFTAG_TILELENGTH, &th);
    const tmsize_t size = TIFFTileSize(t), row_bytes = TIFFTileRowSize(t);
    if (tw == 0 || th == 0 || !block_size_ok(size, size_t{tw} * th * sample_bytes) ||
        !block_size_ok(row_bytes, size_t{tw} * sample_bytes))
      return kBadFile;
    buf.resize(static_cast<size_t>(size));
    for (int plane = 0; plane < planes; ++plane)
      for (uint32_t y = 0; y < d.height; y += th)
        for (uint32_t x = 0; x < d.width; x += tw) {
          const auto tile = TIFFComputeTile(t, x, y, 0, static_cast<uint16_t>(plane));
          if (TIFFReadEncodedTile(t, tile, buf.data(), size) < 0)
            return kBadFile;
          place_block(d, buf.data(), static_cast<size_t>(row_bytes), x, y, tw, th, plane, p);
        }
  } else {
    uint32_t rows_per_strip = d.height;
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
    rows_per_strip = std::clamp<uint32_t>(rows_per_strip, 1, d.height);
    const tmsize_t size = TIFFStripSize(t), row_bytes = TIFFScanlineSize(t);
    if (!block_size_ok(row_bytes, size_t{d.width} * sample_bytes) ||
        !block_size_ok(size, static_cast<size_t>(row_bytes)))
      return kBadFile;
    buf.resize(static_cast<size_t>(size));
    for (int plane = 0; plane < planes; ++plane)
      for (uint32_t y = 0; y < d.height; y += rows_per_strip) {
        const auto strip = TIFFComputeStrip(t, y, static_cast<uint16_t>(plane));
        const tmsize_t got = TIFFReadEncodedStrip(t, strip, buf.data(), size);
        const uint32_t rows = std::min(rows_per_strip, d.height - y);
        if (got < static_cast<tmsize_t>(rows) * row_bytes)
          return kBadFile;
        place_block(d, buf.data(), static_cast<size_t>(row_bytes), 0, y, d.width, rows, plane, p);
      }
  }
  orient(d, p);
  return 0;
}

int32_t read_rgba(TIFF *t, const Layout &l, Picture &p) {
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

int32_t read_opened(TIFF *t, uint64_t file_size, Picture &p, bool header_only) {
  Layout l;
  if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &l.width) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &l.height))
    return kBadFile;
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &l.bps);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &l.spp);
  TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &l.compression);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &l.planar);
  if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &l.photometric))
    l.photometric = l.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  const bool indexed = scanline_kind(t, l);
  Direct d;
  const bool direct = !indexed && direct_layout(t, l, d);
  // The depth the picture is delivered at, which a caller allocates:
  // indices as stored, colours at 24 bits, or 32 with alpha.
  const int32_t bits = indexed ? l.bps : direct && d.alpha >= 0 ? 32 : 24;
  p.info = {static_cast<int32_t>(l.width > INT32_MAX ? 0 : l.width),
            static_cast<int32_t>(l.height > INT32_MAX ? 0 : l.height), bits, l.compression};
  if (!size_ok(p.info.width, p.info.height))
    return damaged("the picture is %u x %u pixels", l.width, l.height);
  if (!data_can_fill_tiff(l, file_size))
    return kBadFile;
  if (header_only)
    return 0;
  if (indexed)
    return read_indexed(t, l, p);
  return direct ? read_direct(t, d, p) : read_rgba(t, l, p);
}

} // namespace

int32_t read_tiff(const file::ByteSource &source, Picture &p, bool header_only) {
  quiet_library();
  t_error.clear();
  Cursor in{source};
  // The cursor outlives the handle, which is closed first (declared after).
  TiffPtr t(TIFFClientOpen(source.in_memory() ? "memory" : source.name().c_str(), "rm", &in, read_proc, write_proc,
                           seek_proc, close_proc, size_proc, map_proc, unmap_proc));
  // A file with a TIFF's signature that then fails is a damaged one: the
  // library's own words say where.
  const int32_t r = t ? read_opened(t.get(), source.size(), p, header_only) : kBadFile;
  uint8_t head[4] = {};
  const bool signed_as_tiff =
      source.read_exact(0, head, 4) && (std::memcmp(head, "II*", 3) == 0 || std::memcmp(head, "MM\0*", 4) == 0 ||
                                        std::memcmp(head, "II+", 3) == 0 || std::memcmp(head, "MM\0+", 4) == 0);
  if (r == kBadFile && signed_as_tiff && !t_error.empty())
    util::fail(util::Status::kDamaged, "the TIFF library reads no picture: %s", t_error.c_str());
  return r;
}

int32_t write_tiff(const char *name, const Image &im, int32_t compression) {
  quiet_library();
  const auto code = static_cast<uint16_t>(compression <= 0 ? COMPRESSION_NONE : compression);
  if (compression > 0xFFFF || !TIFFIsCODECConfigured(code))
    return kUnsupported;
  MemoryFile out;
  TiffPtr t(TIFFClientOpen(name, "w", &out, memory_read, memory_write, memory_seek, close_proc, memory_size, map_proc,
                           unmap_proc));
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
  // TIFFClose has no result: flush first, so that a failed write is seen.
  if (!TIFFFlush(f))
    return kWriteError;
  t.reset();
  return write_file(name, out.bytes) ? 0 : kWriteError;
}

} // namespace vex::stills
