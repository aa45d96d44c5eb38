#include "testkit/gfile/crafted_headers.h"

#include <cstring>
#include <stdexcept>

#include "util/bytes.h"

namespace vex::testkit::crafted {

using vex::util::put_le16;
using vex::util::put_le32;

void put_be32(uint8_t *p, uint32_t v) {
  p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}
void put_be16(uint8_t *p, uint32_t v) { p[0] = uint8_t(v >> 8), p[1] = uint8_t(v); }

size_t find(const Bytes &b, const char *tag, size_t from) {
  const size_t n = std::strlen(tag);
  for (size_t i = from; i + n <= b.size(); ++i)
    if (std::memcmp(&b[i], tag, n) == 0)
      return i;
  throw std::runtime_error(std::string("no ") + tag + " in the sample");
}

namespace {

uint32_t crc32(const uint8_t *p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k)
      c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return ~c;
}

void png_chunk(Bytes &out, const char *type, const Bytes &data) {
  const size_t at = out.size();
  out.resize(at + 8);
  put_be32(&out[at], static_cast<uint32_t>(data.size()));
  std::memcpy(&out[at + 4], type, 4);
  out.insert(out.end(), data.begin(), data.end());
  const uint32_t crc = crc32(&out[at + 4], data.size() + 4);
  out.resize(out.size() + 4);
  put_be32(&out[out.size() - 4], crc);
}

} // namespace

Bytes png(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour, const Bytes &idat) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr(13, 0);
  put_be32(&ihdr[0], width);
  put_be32(&ihdr[4], height);
  ihdr[8] = depth, ihdr[9] = colour;
  png_chunk(out, "IHDR", ihdr);
  if (!idat.empty())
    png_chunk(out, "IDAT", idat);
  png_chunk(out, "IEND", {});
  return out;
}

Bytes flic(uint16_t frames, uint16_t width, uint16_t height, uint32_t size_field) {
  Bytes h(128, 0);
  put_le32(&h[0], size_field);
  put_le16(&h[4], 0xAF12);
  put_le16(&h[6], frames);
  put_le16(&h[8], width);
  put_le16(&h[10], height);
  put_le16(&h[12], 8);
  put_le32(&h[16], 66);
  put_le32(&h[80], 128);
  return h;
}

Bytes rawb(uint32_t frames, uint32_t width, uint32_t height) {
  Bytes h = {'R', 'A', 'W', 'B'};
  h.resize(20);
  put_le32(&h[4], frames);
  put_le32(&h[8], width);
  put_le32(&h[12], height);
  put_le32(&h[16], uint32_t(-66));
  return h;
}

Bytes korvane(uint32_t frames, uint32_t side, uint32_t tree_bytes) {
  Bytes h(104, 0);
  std::memcpy(&h[0], "KVN4", 4);
  put_le32(&h[4], side);
  put_le32(&h[8], side);
  put_le32(&h[12], frames);
  put_le32(&h[16], 66);
  for (int t = 0; t < 7; ++t)
    put_le32(&h[24 + 4 * t], 16u << 20);
  put_le32(&h[52], tree_bytes);
  return h;
}

Bytes tolm(uint32_t frames, uint32_t side, uint32_t index_count, uint32_t tracks) {
  Bytes h(44, 0);
  std::memcpy(&h[0], "TLMi", 4);
  put_le32(&h[4], 0xFFFFFFFFu);
  put_le32(&h[8], frames);
  put_le32(&h[12], 0xFFFFFFFFu);
  put_le32(&h[16], index_count);
  put_le32(&h[20], side);
  put_le32(&h[24], side);
  put_le32(&h[28], 30);
  put_le32(&h[32], 1);
  put_le32(&h[40], tracks);
  return h;
}

Bytes bmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression, const Bytes &data) {
  const uint32_t colours = bits <= 8 ? 1u << bits : 0;
  Bytes h(54 + 4 * colours, 0);
  h[0] = 'B', h[1] = 'M';
  put_le32(&h[2], 0xFFFFFFFFu);
  put_le32(&h[10], static_cast<uint32_t>(h.size()));
  put_le32(&h[14], 40);
  put_le32(&h[18], static_cast<uint32_t>(width));
  put_le32(&h[22], static_cast<uint32_t>(height));
  put_le16(&h[26], 1);
  put_le16(&h[28], bits);
  put_le32(&h[30], compression);
  put_le32(&h[34], 0xFFFFFFFFu);
  put_le32(&h[46], colours);
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

Bytes pcx(uint16_t xmax, uint16_t ymax, uint8_t planes, uint16_t line_bytes, const Bytes &data) {
  Bytes h(128, 0);
  h[0] = 0x0A, h[1] = 5, h[2] = 1, h[3] = 8;
  put_le16(&h[8], xmax);
  put_le16(&h[10], ymax);
  h[65] = planes;
  put_le16(&h[66], line_bytes);
  put_le16(&h[68], 1);
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

Bytes tga(uint8_t type, uint16_t width, uint16_t height, uint8_t bits, uint16_t map_length, const Bytes &data) {
  Bytes h(18, 0);
  h[0] = 255; // an identification field of the largest size
  h[1] = map_length ? 1 : 0;
  h[2] = type;
  put_le16(&h[5], map_length);
  h[7] = map_length ? 32 : 0;
  put_le16(&h[12], width);
  put_le16(&h[14], height);
  h[16] = bits;
  h.resize(18 + 255, 'i');
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

Bytes tiff(const std::vector<std::array<uint32_t, 4>> &entries, const Bytes &tail) {
  Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0};
  Bytes ifd(2 + 12 * entries.size() + 4, 0);
  put_le16(&ifd[0], static_cast<uint32_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    uint8_t *e = &ifd[2 + 12 * i];
    put_le16(e, entries[i][0]);
    put_le16(e + 2, entries[i][1]);
    put_le32(e + 4, entries[i][2]);
    if (entries[i][1] == 3 && entries[i][2] == 1)
      put_le16(e + 8, entries[i][3]);
    else
      put_le32(e + 8, entries[i][3]);
  }
  b.insert(b.end(), ifd.begin(), ifd.end());
  b.insert(b.end(), tail.begin(), tail.end());
  return b;
}

Bytes gif(uint16_t screen_w, uint16_t screen_h, uint16_t w, uint16_t h, int frames) {
  Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
  b.resize(13);
  put_le16(&b[6], screen_w);
  put_le16(&b[8], screen_h);
  b[10] = 0xF7; // a global table of 256 entries
  b.resize(b.size() + 768, 0x40);
  const Bytes loop = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
  b.insert(b.end(), loop.begin(), loop.end());
  for (int f = 0; f < frames; ++f) {
    const Bytes control = {0x21, 0xF9, 4, 0x04, 1, 0, 0, 0};
    b.insert(b.end(), control.begin(), control.end());
    Bytes d(10, 0);
    d[0] = 0x2C;
    put_le16(&d[5], w);
    put_le16(&d[7], h);
    b.insert(b.end(), d.begin(), d.end());
    // Minimum code size 8: a clear code, one pixel, the end code (9-bit codes).
    const Bytes lzw = {8, 4, 0x00, 0x03, 0x08, 0x02, 0};
    b.insert(b.end(), lzw.begin(), lzw.end());
  }
  b.push_back(0x3B);
  return b;
}

Bytes wav(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t data_size, uint32_t data_present) {
  Bytes b(44 + data_present, 0);
  std::memcpy(&b[0], "RIFF", 4);
  put_le32(&b[4], 0xFFFFFFFFu);
  std::memcpy(&b[8], "WAVEfmt ", 8);
  put_le32(&b[16], 16);
  put_le16(&b[20], 1);
  put_le16(&b[22], channels);
  put_le32(&b[24], rate);
  put_le32(&b[28], rate * channels * (bits / 8));
  put_le16(&b[32], static_cast<uint16_t>(channels * (bits / 8)));
  put_le16(&b[34], bits);
  std::memcpy(&b[36], "data", 4);
  put_le32(&b[40], data_size);
  return b;
}

} // namespace vex::testkit::crafted
