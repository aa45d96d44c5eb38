// PC Paintbrush images: 1-bit, 4-colour planar (1 bit x 2 planes) and
// packed (2 bits), 16-colour planar (1 bit x 4 planes) and packed
// (4 bits), 256-colour and 24/32-bit planar pictures, run-length
// coded; written as 256-colour or 24-bit (three planes) files.
#include <algorithm>
#include <cstring>

#include "stills/packed_indices.h"
#include "stills/still_codec.h"

namespace vex::stills {

namespace {

constexpr size_t kHeader = 128;
constexpr size_t kTable256 = 769; // marker 0x0C and 256 x red, green, blue

struct PcxHeader {
  int bpp = 0, planes = 0;
  int32_t width = 0, height = 0;
  uint32_t line = 0; // bytes per plane line
  bool rle = true;
};

int32_t parse(std::span<const uint8_t> f, PcxHeader &h) {
  if (f.size() < kHeader || f[0] != 0x0A || f[2] > 1)
    return not_this_format(f.empty() ? "the file is empty" : "not a PCX file");
  h.rle = f[2] == 1;
  h.bpp = f[3];
  const int32_t x0 = le16(&f[4]), y0 = le16(&f[6]), x1 = le16(&f[8]), y1 = le16(&f[10]);
  h.planes = f[65];
  h.line = le16(&f[66]);
  h.width = x1 - x0 + 1;
  h.height = y1 - y0 + 1;
  return 0;
}

bool kind_ok(const PcxHeader &h) {
  // bits per plane x 10 + planes: 2 colours, 4 (two planes or two bits),
  // 16 (four planes or four bits), 256, and 24- or 32-bit colour.
  const int k = h.bpp * 10 + h.planes;
  return k == 11 || k == 12 || k == 14 || k == 21 || k == 41 || k == 81 || k == 83 || k == 84;
}

// Expands the run-length data into planes x line bytes per row.
int32_t unpack(std::span<const uint8_t> f, const PcxHeader &h, std::vector<uint8_t> &out) {
  const size_t total = static_cast<size_t>(h.line) * h.planes * static_cast<size_t>(h.height);
  out.assign(total, 0);
  size_t at = kHeader, done = 0;
  if (!h.rle) {
    if (f.size() - kHeader < total)
      return damaged("the pixels run past the end of the file");
    std::memcpy(out.data(), &f[kHeader], total);
    return 0;
  }
  while (done < total) {
    if (at >= f.size())
      return damaged("the run-length data is cut short at byte %zu", at);
    uint8_t c = f[at++];
    size_t count = 1;
    if ((c & 0xC0) == 0xC0) {
      count = c & 0x3F;
      if (at >= f.size())
        return damaged("the run-length data is cut short at byte %zu", at);
      c = f[at++];
    }
    // A run may continue into the next row, but not past the picture.
    if (count > total - done)
      return damaged("a run at byte %zu goes past the end of the picture", at);
    std::memset(out.data() + done, c, count);
    done += count;
  }
  return 0;
}

void read_tables(std::span<const uint8_t> f, const PcxHeader &h, Picture &p) {
  if (h.bpp == 8 && h.planes == 1) {
    if (f.size() >= kHeader + kTable256 && f[f.size() - kTable256] == 0x0C) {
      const uint8_t *t = &f[f.size() - 768];
      for (size_t i = 0; i < 256; ++i)
        p.table[i] = {t[i * 3 + 2], t[i * 3 + 1], t[i * 3], 0};
    } else {
      p.grey_table(256); // early files without a table were grey
    }
  } else if (h.bpp == 1 && h.planes == 1) {
    p.table[0] = {0, 0, 0, 0};
    p.table[1] = {255, 255, 255, 0};
  } else {
    for (size_t i = 0; i < 16; ++i) // the header's 16-colour table
      p.table[i] = {f[16 + i * 3 + 2], f[16 + i * 3 + 1], f[16 + i * 3], 0};
  }
}

} // namespace

// The header lies in the first kHeadBytes; only a whole file is decoded
// further, so the file's size is what f holds.
int32_t decode_pcx(std::span<const uint8_t> f, uint64_t file_size, Picture &p, bool header_only) {
  PcxHeader h;
  if (const int32_t r = parse(f, h))
    return r;
  p.info = {h.width, h.height, h.bpp * h.planes, 0};
  if (!size_ok(h.width, h.height))
    return damaged("the picture is %d x %d pixels", h.width, h.height);
  if (!kind_ok(h))
    return kUnsupported;
  if (h.line < (static_cast<uint32_t>(h.width) * h.bpp + 7) / 8)
    return damaged("rows of %u bytes cannot hold %d pixels", h.line, h.width);
  // One run of at most 63 bytes per two bytes of data: a file too short to
  // fill the picture is refused before the picture is allocated (the
  // header alone tells, so the information already refuses it).
  const uint64_t need = uint64_t{h.line} * h.planes * static_cast<uint64_t>(h.height);
  if ((std::max<uint64_t>(file_size, f.size()) - kHeader) * (h.rle ? 63 : 1) < need)
    return damaged("the file is too short for a picture of %d x %d pixels", h.width, h.height);
  if (header_only)
    return 0;
  std::vector<uint8_t> rows;
  if (const int32_t r = unpack(f, h, rows))
    return r;
  const bool colour = h.bpp == 8 && h.planes >= 3;
  if (colour)
    p.start_colour(h.width, h.height);
  else
    p.start_indexed(h.width, h.height);
  read_tables(f, h, p);
  const size_t row_bytes = static_cast<size_t>(h.line) * h.planes;
  for (int32_t y = 0; y < h.height; ++y) {
    const uint8_t *src = rows.data() + static_cast<size_t>(y) * row_bytes;
    const size_t first = static_cast<size_t>(y) * h.width;
    if (!colour) {
      if (h.planes == 1) // packed, leftmost pixel in the high bits
        unpack_indices(src, h.bpp, h.width, &p.index[first]);
      else // one bit per plane, plane k giving bit k
        unpack_planes(src, h.line, h.planes, h.width, &p.index[first]);
      continue;
    }
    for (int32_t x = 0; x < h.width; ++x) { // planes red, green, blue (, alpha)
      uint8_t *o = &p.bgra[(first + x) * 4];
      o[2] = src[x];
      o[1] = src[h.line + x];
      o[0] = src[2 * h.line + x];
      o[3] = h.planes == 4 ? src[3 * h.line + x] : 255;
    }
  }
  return 0;
}

namespace {

void rle_line(const uint8_t *src, size_t n, std::vector<uint8_t> &out) {
  for (size_t x = 0; x < n;) {
    size_t run = 1;
    while (x + run < n && run < 63 && src[x + run] == src[x])
      ++run;
    if (run > 1 || (src[x] & 0xC0) == 0xC0)
      out.push_back(static_cast<uint8_t>(0xC0 | run));
    out.push_back(src[x]);
    x += run;
  }
}

} // namespace

int32_t encode_pcx(const Image &im, std::vector<uint8_t> &out) {
  const int planes = im.bits == 24 ? 3 : 1;
  const auto line = static_cast<uint32_t>((im.width + 1) & ~1); // even, as readers expect
  out.assign(kHeader, 0);
  out[0] = 0x0A;
  out[1] = 5; // version with a 256-colour table
  out[2] = 1;
  out[3] = 8;
  const auto put16at = [&](size_t at, uint32_t v) { util::put_le16(&out[at], v); };
  put16at(8, static_cast<uint32_t>(im.width - 1));
  put16at(10, static_cast<uint32_t>(im.height - 1));
  put16at(12, 72);
  put16at(14, 72);
  out[65] = static_cast<uint8_t>(planes);
  put16at(66, line);
  put16at(68, 1);
  std::vector<uint8_t> plane(line, 0);
  for (int32_t y = 0; y < im.height; ++y) {
    const uint8_t *row = top_row(im, y);
    for (int k = 0; k < planes; ++k) {
      for (int32_t x = 0; x < im.width; ++x)
        plane[static_cast<size_t>(x)] = planes == 1 ? row[x] : row[x * 3 + (2 - k)]; // red plane first
      rle_line(plane.data(), line, out);
    }
  }
  if (planes == 1) {
    out.push_back(0x0C);
    for (int i = 0; i < 256; ++i) {
      const uint8_t *c = im.colors + i * 4;
      out.insert(out.end(), {c[2], c[1], c[0]});
    }
  }
  return 0;
}

} // namespace vex::stills
