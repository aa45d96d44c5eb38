// Windows and OS/2 bitmaps: 1, 4, 8, 16, 24 and 32 bits, uncompressed,
// RLE8, RLE4 and bit-field masks; written as 8-bit (optionally RLE8) or
// 24-bit uncompressed bitmaps.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "stills/packed_indices.h"
#include "stills/still_codec.h"

namespace vex::stills {

namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3;

struct Header {
  int32_t width = 0, height = 0;
  bool top_down = false;
  int bits = 0;
  uint32_t compression = 0;
  uint32_t pixel_offset = 0;
  size_t table_at = 0, table_entry = 4;
  uint32_t table_count = 0;
  uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
};

// f holds the whole file of file_size bytes, or at least its first
// kHeadBytes: every field read here lies within them.
int32_t parse_header(std::span<const uint8_t> f, uint64_t file_size, Header &h) {
  if (f.size() < 26 || f[0] != 'B' || f[1] != 'M')
    return not_this_format(f.empty() ? "the file is empty" : "not a BMP file");
  h.pixel_offset = le32(&f[10]);
  const uint32_t size = le32(&f[14]);
  if (size == 12) { // OS/2 core header: 16-bit sizes, 3-byte table entries
    h.width = le16(&f[18]);
    h.height = le16(&f[20]);
    h.bits = le16(&f[24]);
    h.table_entry = 3;
    h.table_at = 26;
  } else {
    if (size < 40 || size > file_size - 14)
      return damaged("the BMP header of %u bytes does not fit the file", size);
    h.width = static_cast<int32_t>(le32(&f[18]));
    const auto height = static_cast<int32_t>(le32(&f[22]));
    if (height == INT32_MIN)
      return damaged("the BMP height is -2^31");
    h.top_down = height < 0;
    h.height = height < 0 ? -height : height;
    h.bits = le16(&f[28]);
    h.compression = le32(&f[30]);
    h.table_count = le32(&f[46]);
    h.table_at = 14 + size;
    if (h.compression == kBitfields) {
      // Masks live in the larger headers, or just behind the 40-byte one.
      // A header of 41-55 bytes holds only part of the masks: they are read
      // from behind it all the same, so the file must reach that far.
      const size_t at = 54, count = size >= 56 ? 4 : 3;
      if (f.size() < at + 4 * count)
        return damaged("the BMP bit masks run past the end of the file");
      if (size == 40)
        h.table_at += 12;
      for (size_t i = 0; i < count; ++i)
        h.masks[i] = le32(&f[at + 4 * i]);
    }
  }
  if (h.bits <= 8 && h.table_count == 0)
    h.table_count = 1u << h.bits;
  return 0;
}

bool bits_ok(const Header &h) {
  switch (h.bits) {
  case 1:
  case 2:
  case 4:
  case 8:
    return h.compression == kRgb || (h.compression == kRle8 && h.bits == 8) || (h.compression == kRle4 && h.bits == 4);
  case 16:
  case 32:
    return h.compression == kRgb || h.compression == kBitfields;
  case 24:
    return h.compression == kRgb;
  default:
    return false;
  }
}

int32_t read_table(std::span<const uint8_t> f, const Header &h, Picture &p) {
  if (h.table_count > 256 || h.table_at > f.size() || (f.size() - h.table_at) / h.table_entry < h.table_count)
    return damaged("the colour table of %u entries runs past the end of the file", h.table_count);
  for (uint32_t i = 0; i < h.table_count; ++i) {
    const uint8_t *e = &f[h.table_at + i * h.table_entry];
    p.table[i] = {e[0], e[1], e[2], 0};
  }
  return 0;
}

// Run-length coded indices; rows bottom-up. Every run must stay inside its
// row and every row inside the picture.
int32_t decode_rle(std::span<const uint8_t> f, const Header &h, Picture &p) {
  const bool four = h.compression == kRle4;
  size_t at = h.pixel_offset;
  int32_t x = 0, y = h.height - 1;
  auto put = [&](int32_t count, auto value_of) {
    if (y < 0 || count > h.width - x)
      return false;
    for (int32_t i = 0; i < count; ++i, ++x)
      p.index[static_cast<size_t>(y) * h.width + x] = value_of(i);
    return true;
  };
  while (at + 2 <= f.size()) {
    const uint8_t n = f[at], v = f[at + 1];
    at += 2;
    if (n > 0) {
      const bool ok = four ? put(n, [v](int32_t i) { return static_cast<uint8_t>(i & 1 ? v & 15 : v >> 4); })
                           : put(n, [v](int32_t) { return v; });
      if (!ok)
        return damaged("a run at byte %zu goes past the end of its row", at);
      continue;
    }
    if (v == 0) { // end of row
      x = 0;
      --y;
    } else if (v == 1) { // end of picture
      return 0;
    } else if (v == 2) { // move right and up
      if (at + 2 > f.size())
        return damaged("the run-length data is cut short at byte %zu", at);
      x += f[at];
      y -= f[at + 1];
      at += 2;
      if (x > h.width || y < -1)
        return damaged("a run-length move leaves the picture at byte %zu", at);
    } else { // v literal pixels, padded to a 16-bit boundary
      const size_t bytes = four ? (v + 1u) / 2 : v;
      if (at + bytes > f.size())
        return damaged("the run-length data is cut short at byte %zu", at);
      const uint8_t *src = &f[at];
      const bool ok = four ? put(v, [src](int32_t i) { return static_cast<uint8_t>(i & 1 ? src[i / 2] & 15 : src[i / 2] >> 4); })
                           : put(v, [src](int32_t i) { return src[i]; });
      if (!ok)
        return damaged("a run at byte %zu goes past the end of its row", at);
      at += (bytes + 1) & ~size_t{1};
    }
  }
  return damaged("the run-length data ends before its end-of-picture mark");
}

// Value of a masked field scaled to 8 bits.
uint8_t field(uint32_t v, uint32_t mask) {
  if (!mask)
    return 0;
  const int shift = std::countr_zero(mask);
  const int width = std::popcount(mask);
  const uint32_t raw = (v & mask) >> shift;
  if (width >= 8)
    return static_cast<uint8_t>(raw >> (width - 8));
  // Repeat the bits to fill 8 (so that all-ones stays 255).
  uint32_t out = 0;
  for (int filled = 0; filled < 8; filled += width)
    out = out << width | raw;
  return static_cast<uint8_t>(out >> (((8 + width - 1) / width) * width - 8));
}

int32_t decode_rows(std::span<const uint8_t> f, const Header &h, Picture &p) {
  const size_t stride = ((static_cast<size_t>(h.width) * h.bits + 31) / 32) * 4;
  if (h.pixel_offset > f.size() || (f.size() - h.pixel_offset) / stride < static_cast<size_t>(h.height))
    return damaged("the %d rows of pixels run past the end of the file", h.height);
  uint32_t masks[4] = {h.masks[0], h.masks[1], h.masks[2], h.masks[3]};
  if (h.compression == kRgb && h.bits == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  }
  for (int32_t row = 0; row < h.height; ++row) {
    const uint8_t *src = &f[h.pixel_offset + static_cast<size_t>(row) * stride];
    const int32_t y = h.top_down ? row : h.height - 1 - row;
    if (h.bits <= 8) {
      unpack_indices(src, h.bits, h.width, &p.index[static_cast<size_t>(y) * h.width]);
      continue;
    }
    for (int32_t x = 0; x < h.width; ++x) {
      const size_t at = static_cast<size_t>(y) * h.width + x;
      uint8_t *out = &p.bgra[at * 4];
      if (h.bits == 24) {
        std::memcpy(out, src + x * 3, 3);
        out[3] = 255;
      } else if (h.bits == 32 && h.compression == kRgb) {
        std::memcpy(out, src + x * 4, 3);
        out[3] = 255; // the fourth byte of plain 32-bit rows carries nothing
      } else {
        const uint32_t v = h.bits == 16 ? le16(src + x * 2) : le32(src + x * 4);
        out[0] = field(v, masks[2]);
        out[1] = field(v, masks[1]);
        out[2] = field(v, masks[0]);
        out[3] = masks[3] ? field(v, masks[3]) : 255;
      }
    }
  }
  return 0;
}

} // namespace

int32_t decode_bmp(std::span<const uint8_t> f, uint64_t file_size, Picture &p, bool header_only) {
  Header h;
  if (const int32_t r = parse_header(f, std::max<uint64_t>(file_size, f.size()), h))
    return r;
  p.info = {h.width, h.height, h.bits, 0};
  if (!size_ok(h.width, h.height))
    return damaged("the picture is %d x %d pixels", h.width, h.height);
  if (!bits_ok(h) || (h.top_down && (h.compression == kRle8 || h.compression == kRle4)))
    return kUnsupported;
  // Uncompressed rows must all be there; checked before anything is
  // allocated (the header alone tells, so the information already refuses
  // it).
  const uint64_t size = std::max<uint64_t>(file_size, f.size());
  const size_t stride = ((static_cast<size_t>(h.width) * h.bits + 31) / 32) * 4;
  const bool rle = h.compression == kRle8 || h.compression == kRle4;
  if (!rle && (h.pixel_offset > size || (size - h.pixel_offset) / stride < static_cast<size_t>(h.height)))
    return damaged("the %d rows of pixels run past the end of the file", h.height);
  // Run-length data can end the picture with one code, so nothing in the
  // format bounds a picture by its data. Up to kRleFreePixels any picture
  // goes; past it, the runs must be able to cover it (255 pixels in two
  // bytes), so that a few bytes never cost a huge picture's time and memory.
  const uint64_t pixels = static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height);
  const uint64_t data = h.pixel_offset < size ? size - h.pixel_offset : 0;
  if (rle && pixels > kRleFreePixels && !data_can_fill("run-length BMP", h.width, h.height, pixels, kRleRatio, data))
    return kBadFile;
  if (header_only)
    return 0;
  if (!rle && (h.pixel_offset > f.size() || (f.size() - h.pixel_offset) / stride < static_cast<size_t>(h.height)))
    return damaged("the %d rows of pixels run past the end of the file", h.height);
  if (h.bits <= 8) {
    p.start_indexed(h.width, h.height);
    if (const int32_t r = read_table(f, h, p))
      return r;
  } else {
    p.start_colour(h.width, h.height);
  }
  if (h.compression == kRle8 || h.compression == kRle4)
    return decode_rle(f, h, p);
  return decode_rows(f, h, p);
}

namespace {

// RLE8 of one row: runs of two or more as counted pairs, stretches of
// three or more differing bytes as literal runs, the rest as runs of one.
void rle8_row(const uint8_t *row, int32_t w, std::vector<uint8_t> &out) {
  int32_t x = 0;
  while (x < w) {
    int32_t run = 1;
    while (x + run < w && run < 255 && row[x + run] == row[x])
      ++run;
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(run));
      out.push_back(row[x]);
      x += run;
      continue;
    }
    int32_t lit = 1;
    while (x + lit < w && lit < 255 && !(x + lit + 1 < w && row[x + lit] == row[x + lit + 1]))
      ++lit;
    if (lit >= 3) {
      out.push_back(0);
      out.push_back(static_cast<uint8_t>(lit));
      out.insert(out.end(), row + x, row + x + lit);
      if (lit & 1)
        out.push_back(0);
    } else {
      for (int32_t i = 0; i < lit; ++i) {
        out.push_back(1);
        out.push_back(row[x + i]);
      }
    }
    x += lit;
  }
}

} // namespace

int32_t encode_bmp(const Image &im, int32_t option, std::vector<uint8_t> &out) {
  const bool rle = im.bits == 8 && option != 0;
  const uint32_t stride = static_cast<uint32_t>((im.width * im.bits + 31) / 32 * 4);
  const uint32_t table = im.bits == 8 ? 1024 : 0;
  std::vector<uint8_t> data;
  if (rle) {
    for (int32_t y = im.height - 1; y >= 0; --y) { // bottom row first
      rle8_row(top_row(im, y), im.width, data);
      data.push_back(0);
      data.push_back(0);
    }
    data.back() = 1; // the last end-of-row becomes end-of-picture
  } else {
    for (int32_t r = 0; r < im.height; ++r) {
      const uint8_t *row = im.pixels + static_cast<ptrdiff_t>(r) * im.pitch;
      data.insert(data.end(), row, row + im.width * im.bits / 8);
      data.resize(data.size() + (stride - static_cast<uint32_t>(im.width * im.bits / 8)), 0);
    }
  }
  const uint32_t offset = 14 + 40 + table;
  out.clear();
  out.push_back('B');
  out.push_back('M');
  util::append_le32(out, offset + static_cast<uint32_t>(data.size()));
  util::append_le32(out, 0);
  util::append_le32(out, offset);
  util::append_le32(out, 40);
  util::append_le32(out, static_cast<uint32_t>(im.width));
  util::append_le32(out, static_cast<uint32_t>(im.height));
  util::append_le16(out, 1);
  util::append_le16(out, static_cast<uint32_t>(im.bits));
  util::append_le32(out, rle ? kRle8 : kRgb);
  util::append_le32(out, static_cast<uint32_t>(data.size()));
  util::append_le32(out, 2835); // 72 dots per inch
  util::append_le32(out, 2835);
  util::append_le32(out, table ? 256 : 0);
  util::append_le32(out, 0);
  if (table)
    for (int i = 0; i < 256; ++i) {
      out.insert(out.end(), im.colors + i * 4, im.colors + i * 4 + 3);
      out.push_back(0);
    }
  out.insert(out.end(), data.begin(), data.end());
  return 0;
}

} // namespace vex::stills
