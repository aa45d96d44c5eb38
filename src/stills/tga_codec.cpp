// Truevision targa images: colour-mapped, grey, 15/16, 24 and 32-bit
// pictures, raw or run-length coded, from either origin; written as
// colour-mapped 8-bit or 24-bit pictures with the origin bottom left.
#include <algorithm>
#include <cstring>

#include "stills/still_codec.h"

namespace vex::stills {

namespace {

constexpr size_t kTgaHeader = 18;

struct TgaHeader {
  uint8_t id_length = 0, map_type = 0, type = 0;
  uint16_t map_first = 0, map_length = 0;
  uint8_t map_bits = 0;
  int32_t width = 0, height = 0;
  uint8_t depth = 0, descriptor = 0;
  bool rle() const { return type >= 9; }
  int base() const { return type & 7; } // 1 mapped, 2 true colour, 3 grey
};

int32_t parse(std::span<const uint8_t> f, TgaHeader &h) {
  if (f.size() < kTgaHeader)
    return not_this_format(f.empty() ? "the file is empty" : "shorter than a TGA header");
  h.id_length = f[0];
  h.map_type = f[1];
  h.type = f[2];
  h.map_first = le16(&f[3]);
  h.map_length = le16(&f[5]);
  h.map_bits = f[7];
  h.width = le16(&f[12]);
  h.height = le16(&f[14]);
  h.depth = f[16];
  h.descriptor = f[17];
  const bool known = h.type == 1 || h.type == 2 || h.type == 3 || h.type == 9 || h.type == 10 || h.type == 11;
  if (!known || h.map_type > 1)
    return not_this_format("not a TGA file");
  return 0;
}

bool depth_ok(const TgaHeader &h) {
  switch (h.base()) {
  case 1:
    return h.depth == 8 && h.map_type == 1;
  case 2:
    return h.depth == 15 || h.depth == 16 || h.depth == 24 || h.depth == 32;
  default:
    return h.depth == 8;
  }
}

// Colour of a 15/16, 24 or 32-bit little-endian value as blue, green, red,
// alpha.
void colour(const uint8_t *src, int bits, uint8_t *o) {
  if (bits == 15 || bits == 16) {
    const uint16_t v = le16(src);
    const auto five = [](unsigned c) { return static_cast<uint8_t>(c << 3 | c >> 2); };
    o[0] = five(v & 31);
    o[1] = five(v >> 5 & 31);
    o[2] = five(v >> 10 & 31);
    o[3] = 255;
  } else {
    o[0] = src[0];
    o[1] = src[1];
    o[2] = src[2];
    o[3] = bits == 32 ? src[3] : 255;
  }
}

int32_t read_map(std::span<const uint8_t> f, const TgaHeader &h, size_t &at, Picture &p) {
  if (h.map_type == 0)
    return 0;
  const size_t entry = (h.map_bits + 7u) / 8;
  if (h.map_bits != 15 && h.map_bits != 16 && h.map_bits != 24 && h.map_bits != 32)
    return kUnsupported;
  if (at > f.size() || (f.size() - at) / entry < h.map_length)
    return damaged("the colour map of %u entries runs past the end of the file", unsigned{h.map_length});
  if (h.base() == 1 && h.map_first + h.map_length > 256)
    return kUnsupported; // more than 8-bit indices can reach
  for (size_t i = 0; i < h.map_length; ++i) {
    if (h.base() == 1) {
      uint8_t c[4];
      colour(&f[at + i * entry], h.map_bits, c);
      p.table[h.map_first + i] = {c[0], c[1], c[2], 0};
    }
  }
  at += entry * h.map_length;
  return 0;
}

// Raw or run-length pixel values, in file order, into `out` (bytes of
// `pixel` size each). Packets must not run past the picture.
int32_t unpack(std::span<const uint8_t> f, const TgaHeader &h, size_t at, size_t pixel, std::vector<uint8_t> &out) {
  const size_t count = static_cast<size_t>(h.width) * static_cast<size_t>(h.height);
  out.resize(count * pixel);
  if (!h.rle()) {
    if (at > f.size() || (f.size() - at) / pixel < count)
      return damaged("the pixels run past the end of the file");
    std::memcpy(out.data(), &f[at], count * pixel);
    return 0;
  }
  for (size_t done = 0; done < count;) {
    if (at >= f.size())
      return damaged("the run-length data is cut short at byte %zu", at);
    const uint8_t head = f[at++];
    const size_t n = (head & 0x7Fu) + 1;
    if (n > count - done)
      return damaged("a run at byte %zu goes past the end of the picture", at - 1);
    const size_t bytes = head & 0x80 ? pixel : n * pixel;
    if (f.size() - at < bytes)
      return damaged("the run-length data is cut short at byte %zu", at);
    if (head & 0x80)
      for (size_t i = 0; i < n; ++i)
        std::memcpy(&out[(done + i) * pixel], &f[at], pixel);
    else
      std::memcpy(&out[done * pixel], &f[at], bytes);
    at += bytes;
    done += n;
  }
  return 0;
}

} // namespace

// The header lies in the first kHeadBytes; only a whole file is decoded
// further, so the file's size is what f holds.
int32_t decode_tga(std::span<const uint8_t> f, uint64_t file_size, Picture &p, bool header_only) {
  TgaHeader h;
  if (const int32_t r = parse(f, h))
    return r;
  p.info = {h.width, h.height, h.depth == 15 ? 16 : h.depth, 0};
  if (!size_ok(h.width, h.height))
    return damaged("the picture is %d x %d pixels", h.width, h.height);
  if (!depth_ok(h))
    return kUnsupported;
  // A packet of 1 + pixel bytes covers at most 128 pixels: a file too short
  // to fill the picture is refused before the picture is allocated (the
  // header alone tells, so the information already refuses it).
  const uint64_t count = static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height);
  const uint64_t size = std::max<uint64_t>(file_size, f.size());
  if (size * (h.rle() ? 128 : 1) < count * (h.rle() ? 1 : (h.depth + 7u) / 8))
    return damaged("the file is too short for a picture of %d x %d pixels", h.width, h.height);
  if (header_only)
    return 0;
  size_t at = kTgaHeader + h.id_length;
  const bool indexed = h.base() != 2;
  if (indexed)
    p.start_indexed(h.width, h.height);
  else
    p.start_colour(h.width, h.height);
  if (h.base() == 3)
    p.grey_table(256);
  if (const int32_t r = read_map(f, h, at, p))
    return r;
  const size_t pixel = (h.depth + 7u) / 8;
  std::vector<uint8_t> values;
  if (const int32_t r = unpack(f, h, at, pixel, values))
    return r;
  const bool top = h.descriptor & 0x20, right_to_left = h.descriptor & 0x10;
  for (int32_t row = 0; row < h.height; ++row) {
    const int32_t y = top ? row : h.height - 1 - row;
    for (int32_t col = 0; col < h.width; ++col) {
      const int32_t x = right_to_left ? h.width - 1 - col : col;
      const uint8_t *src = &values[(static_cast<size_t>(row) * h.width + col) * pixel];
      const size_t dst = static_cast<size_t>(y) * h.width + x;
      if (indexed)
        p.index[dst] = src[0];
      else
        colour(src, h.depth, &p.bgra[dst * 4]);
    }
  }
  return 0;
}

namespace {

// Run-length packets of one row: runs of two or more identical pixels,
// and literal stretches, at most 128 pixels each.
void rle_row(const uint8_t *row, int32_t w, size_t pixel, std::vector<uint8_t> &out) {
  const auto same = [&](int32_t a, int32_t b) { return std::memcmp(row + a * pixel, row + b * pixel, pixel) == 0; };
  for (int32_t x = 0; x < w;) {
    int32_t run = 1;
    while (x + run < w && run < 128 && same(x, x + run))
      ++run;
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
      out.insert(out.end(), row + x * pixel, row + (x + 1) * pixel);
      x += run;
      continue;
    }
    int32_t lit = 1;
    while (x + lit < w && lit < 128 && !(x + lit + 1 < w && same(x + lit, x + lit + 1)))
      ++lit;
    out.push_back(static_cast<uint8_t>(lit - 1));
    out.insert(out.end(), row + x * pixel, row + (x + lit) * pixel);
    x += lit;
  }
}

} // namespace

int32_t encode_tga(const Image &im, int32_t option, std::vector<uint8_t> &out) {
  const bool mapped = im.bits == 8, rle = option != 0;
  out.assign(kTgaHeader, 0);
  out[1] = mapped ? 1 : 0;
  out[2] = static_cast<uint8_t>((mapped ? 1 : 2) + (rle ? 8 : 0));
  if (mapped) {
    out[5] = 0; // 256 entries of 24 bits
    out[6] = 1;
    out[7] = 24;
  }
  out[12] = static_cast<uint8_t>(im.width);
  out[13] = static_cast<uint8_t>(im.width >> 8);
  out[14] = static_cast<uint8_t>(im.height);
  out[15] = static_cast<uint8_t>(im.height >> 8);
  out[16] = static_cast<uint8_t>(im.bits);
  out[17] = 0; // origin bottom left: the rows go out in memory order
  if (mapped)
    for (int i = 0; i < 256; ++i)
      out.insert(out.end(), im.colors + i * 4, im.colors + i * 4 + 3);
  const size_t pixel = static_cast<size_t>(im.bits / 8);
  for (int32_t r = 0; r < im.height; ++r) {
    const uint8_t *row = im.pixels + static_cast<ptrdiff_t>(r) * im.pitch;
    if (rle)
      rle_row(row, im.width, pixel, out);
    else
      out.insert(out.end(), row, row + im.width * static_cast<int32_t>(pixel));
  }
  return 0;
}

} // namespace vex::stills
