#include "testkit/stills/still_files.h"

#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "testkit/util/file_bytes.h"
#include "util/bytes.h"

namespace vex::testkit {

std::vector<uint8_t> bmp8_file(int32_t w, int32_t h, uint32_t compression, uint32_t colours, size_t table_bytes,
                               const std::vector<uint8_t> &data) {
  std::vector<uint8_t> f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0};
  for (uint32_t v : {static_cast<uint32_t>(54 + table_bytes), 40u, static_cast<uint32_t>(w), static_cast<uint32_t>(h)})
    append_le32(f, v);
  f.insert(f.end(), {1, 0, 8, 0});
  for (uint32_t v : {compression, 0u, 0u, 0u, colours, 0u})
    append_le32(f, v);
  f.resize(f.size() + table_bytes, 0x40);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

std::vector<uint8_t> tga8_file(uint16_t map_length, const std::vector<uint8_t> &data, uint8_t width) {
  std::vector<uint8_t> f = {0, 1, 9, 0, 0, static_cast<uint8_t>(map_length), static_cast<uint8_t>(map_length >> 8), 24,
                            0, 0, 0, 0, width, 0, 2, 0, 8, 0};
  f.resize(f.size() + 2 * 3, 0x7F);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

std::vector<uint8_t> pcx8_file(const std::vector<uint8_t> &data, uint8_t x_min) {
  std::vector<uint8_t> f(128, 0);
  f[0] = 0x0A, f[1] = 5, f[2] = 1, f[3] = 8, f[4] = x_min, f[8] = 3, f[65] = 1, f[66] = 4;
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

std::vector<uint8_t> bmp4_file(bool rle) {
  std::vector<uint8_t> f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (uint32_t v : {40u, 5u, 2u})
    append_le32(f, v);
  f.insert(f.end(), {1, 0, 4, 0});
  for (uint32_t v : {rle ? 2u : 0u, 0u, 0u, 0u, 0u, 0u})
    append_le32(f, v);
  for (uint8_t i = 0; i < 16; ++i)
    f.insert(f.end(), {static_cast<uint8_t>(16 * i), 100, static_cast<uint8_t>(255 - i), 0});
  set_le32(f, 10, static_cast<uint32_t>(f.size()));
  if (rle)
    f.insert(f.end(), {0, 5, 0x01, 0x23, 0x40, 0, 0, 0,   // literal 0 1 2 3 4, padded to 16 bits; end of row
                       2, 0x43, 2, 0x21, 1, 0x00, 0, 1}); // runs 4 3 | 2 1 | 0; end of picture
  else
    f.insert(f.end(), {0x01, 0x23, 0x40, 0, 0x43, 0x21, 0x00, 0});
  return f;
}

std::vector<uint8_t> bmp_shape_file(int32_t w, int32_t h, uint32_t header, uint16_t bits, uint32_t coding,
                                    bool top_down, uint32_t &seed) {
  const auto next = [&seed] { return static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16); };
  std::vector<uint8_t> data;
  if (coding == 1 || coding == 2) {
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x + 300 <= w; x += 300) {
        data.insert(data.end(), {200, next(), 0, 100});
        for (int i = 0; i < (coding == 1 ? 100 : 50); ++i)
          data.push_back(next());
      }
      data.insert(data.end(), {0, 0});
    }
    data.insert(data.end(), {0, 1});
  } else {
    data.resize(size_t((w * bits + 31) / 32 * 4) * h);
    for (uint8_t &b : data)
      b = next();
  }
  const uint32_t colours = bits <= 8 ? 1u << bits : 0, entry = header == 12 ? 3 : 4;
  const uint32_t masks = coding == 3 && header < 56 ? 12 : 0;
  const uint32_t offset = 14 + header + masks + colours * entry;
  std::vector<uint8_t> f(offset, 0);
  f[0] = 'B', f[1] = 'M';
  util::put_le32(&f[2], offset + static_cast<uint32_t>(data.size()));
  util::put_le32(&f[10], offset);
  util::put_le32(&f[14], header);
  if (header == 12) {
    util::put_le16(&f[18], w), util::put_le16(&f[20], h), util::put_le16(&f[22], 1), util::put_le16(&f[24], bits);
  } else {
    util::put_le32(&f[18], w), util::put_le32(&f[22], uint32_t(top_down ? -h : h));
    util::put_le16(&f[26], 1), util::put_le16(&f[28], bits);
    util::put_le32(&f[30], coding);
    util::put_le32(&f[46], colours);
    const uint32_t m[4] = {bits == 16 ? 0xF800u : 0x3FF00000u, bits == 16 ? 0x07E0u : 0x000FFC00u,
                           bits == 16 ? 0x001Fu : 0x000003FFu, bits == 16 ? 0u : 0xC0000000u};
    for (uint32_t i = 0; i < 4 && coding == 3; ++i)
      if (58 + 4 * i <= offset) // the alpha mask only where the header has room
        util::put_le32(&f[54 + 4 * i], m[i]);
  }
  for (uint32_t i = 0; i < colours * entry; ++i)
    f[14 + header + masks + i] = next();
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

IndexedPicture random_indexed(int32_t width, int32_t height, int bits, bool grey, std::mt19937 &rng) {
  IndexedPicture m{width, height, bits, {}, {}};
  m.index.resize(static_cast<size_t>(width) * height);
  for (auto &i : m.index)
    i = static_cast<uint8_t>(rng() % (1u << bits));
  for (int i = 0; i < (1 << bits); ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / ((1 << bits) - 1));
    m.colours.push_back(grey ? std::array<uint8_t, 3>{v, v, v}
                             : std::array<uint8_t, 3>{static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                                                      static_cast<uint8_t>(rng())});
  }
  return m;
}

namespace {
// A row of indices (bit k of each when plane >= 0) packed from the most
// significant bit, `bytes` long.
std::vector<uint8_t> pack_row(const IndexedPicture &m, int32_t y, size_t bytes, int plane = -1) {
  std::vector<uint8_t> row(bytes, 0);
  const int bits = plane < 0 ? m.bits : 1;
  for (int32_t x = 0; x < m.width; ++x) {
    const uint8_t i = m.index[static_cast<size_t>(y) * m.width + x];
    row[static_cast<size_t>(x * bits / 8)] |= static_cast<uint8_t>((plane < 0 ? i : i >> plane & 1)
                                                                   << (8 - bits - x * bits % 8));
  }
  return row;
}
size_t packed_bytes(const IndexedPicture &m) { return (static_cast<size_t>(m.width) * m.bits + 7) / 8; }
} // namespace

void write_indexed_png(const std::string &name, const IndexedPicture &m, bool grey) {
  FILE *f = std::fopen(name.c_str(), "wb");
  if (!f)
    throw std::runtime_error("cannot write " + name);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(m.width), static_cast<png_uint_32>(m.height), m.bits,
               grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (const auto &c : m.colours)
    palette.push_back({c[0], c[1], c[2]});
  if (!grey)
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_write_info(png, info);
  for (int32_t y = 0; y < m.height; ++y)
    png_write_row(png, pack_row(m, y, packed_bytes(m)).data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

void write_indexed_tiff(const std::string &name, const IndexedPicture &m) {
  TIFF *t = TIFFOpen(name.c_str(), "w");
  if (!t)
    throw std::runtime_error("cannot write " + name);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(m.width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(m.height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(m.bits));
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(1));
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(3));
  std::vector<uint16_t> r, g, b;
  for (const auto &c : m.colours) {
    r.push_back(static_cast<uint16_t>(c[0] * 257));
    g.push_back(static_cast<uint16_t>(c[1] * 257));
    b.push_back(static_cast<uint16_t>(c[2] * 257));
  }
  TIFFSetField(t, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
  for (int32_t y = 0; y < m.height; ++y)
    if (TIFFWriteScanline(t, pack_row(m, y, packed_bytes(m)).data(), static_cast<uint32_t>(y), 0) != 1)
      throw std::runtime_error("cannot write a row of " + name);
  TIFFClose(t);
}

std::vector<uint8_t> indexed_bmp(const IndexedPicture &m) {
  std::vector<uint8_t> f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (uint32_t v : {40u, static_cast<uint32_t>(m.width), static_cast<uint32_t>(m.height)})
    append_le32(f, v);
  append_le16(f, 1);
  append_le16(f, static_cast<uint32_t>(m.bits));
  for (uint32_t v : {0u, 0u, 0u, 0u, static_cast<uint32_t>(m.colours.size()), 0u}) // no compression, sizes, resolution
    append_le32(f, v);
  for (const auto &c : m.colours)
    f.insert(f.end(), {c[2], c[1], c[0], 0});
  set_le32(f, 10, static_cast<uint32_t>(f.size()));
  for (int32_t y = m.height - 1; y >= 0; --y) {
    const auto row = pack_row(m, y, (static_cast<size_t>(m.width) * m.bits + 31) / 32 * 4);
    f.insert(f.end(), row.begin(), row.end());
  }
  set_le32(f, 2, static_cast<uint32_t>(f.size()));
  return f;
}

std::vector<uint8_t> indexed_pcx(const IndexedPicture &m, int planes) {
  const int bpp = planes == 1 ? m.bits : 1;
  std::vector<uint8_t> f(128, 0);
  f[0] = 0x0A, f[1] = 5, f[2] = 1, f[3] = static_cast<uint8_t>(bpp);
  util::put_le16(&f[8], static_cast<uint32_t>(m.width - 1));
  util::put_le16(&f[10], static_cast<uint32_t>(m.height - 1));
  for (size_t i = 0; i < m.colours.size(); ++i) // the header's 16-entry table
    std::copy(m.colours[i].begin(), m.colours[i].end(), f.begin() + 16 + static_cast<ptrdiff_t>(i * 3));
  f[65] = static_cast<uint8_t>(planes);
  const size_t line = ((static_cast<size_t>(m.width) * bpp + 7) / 8 + 1) & ~size_t{1}; // even
  util::put_le16(&f[66], static_cast<uint32_t>(line));
  f[68] = 1;
  for (int32_t y = 0; y < m.height; ++y) {
    std::vector<uint8_t> scan;
    for (int k = 0; k < planes; ++k) { // plane k: bit k of each index
      const auto row = pack_row(m, y, line, planes == 1 ? -1 : k);
      scan.insert(scan.end(), row.begin(), row.end());
    }
    for (size_t i = 0; i < scan.size();) {
      size_t run = 1;
      while (i + run < scan.size() && run < 63 && scan[i + run] == scan[i])
        ++run;
      if (run > 1 || scan[i] >= 0xC0)
        f.push_back(static_cast<uint8_t>(0xC0 | run));
      f.push_back(scan[i]);
      i += run;
    }
  }
  return f;
}

std::vector<uint8_t> png_filtered_rows(const std::vector<uint8_t> &png, size_t row_bytes, int32_t height) {
  std::vector<uint8_t> packed;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = util::be32(&png[at]);
    if (at + 12 + length > png.size())
      throw std::runtime_error("chunk past the end");
    if (crc32(0, &png[at + 4], length + 4) != util::be32(&png[at + 8 + length]))
      throw std::runtime_error("bad CRC");
    if (std::memcmp(&png[at + 4], "IDAT", 4) == 0)
      packed.insert(packed.end(), &png[at + 8], &png[at + 8] + length);
    at += 12 + length;
  }
  std::vector<uint8_t> rows((row_bytes + 1) * static_cast<size_t>(height));
  uLongf n = rows.size();
  if (uncompress(rows.data(), &n, packed.data(), packed.size()) != Z_OK || n != rows.size())
    throw std::runtime_error("inflate");
  return rows;
}

std::vector<uint8_t> png_unfilter(const std::vector<uint8_t> &rows, size_t row_bytes, int32_t height, int bpp) {
  std::vector<uint8_t> out(row_bytes * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t type = rows[y * (row_bytes + 1)];
    const uint8_t *f = &rows[y * (row_bytes + 1) + 1];
    uint8_t *o = &out[y * row_bytes];
    for (size_t x = 0; x < row_bytes; ++x) {
      const int a = x >= size_t(bpp) ? o[x - bpp] : 0;
      const int b = y > 0 ? o[x - row_bytes] : 0;
      const int c = y > 0 && x >= size_t(bpp) ? o[x - row_bytes - bpp] : 0;
      int pred = 0;
      if (type == 1)
        pred = a;
      else if (type == 2)
        pred = b;
      else if (type == 3)
        pred = (a + b) / 2;
      else if (type == 4) {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      } else if (type != 0)
        throw std::runtime_error("filter type " + std::to_string(type));
      o[x] = static_cast<uint8_t>(f[x] + pred);
    }
  }
  return out;
}

} // namespace vex::testkit
