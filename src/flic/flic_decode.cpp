// Sub-chunk decoders. A bounded cursor walks the data; a packet that would
// read past the end stops the decoding of its sub-chunk (every later packet
// would run past as well). Writes are clipped to the picture row by row, so
// skips and counts that leave the picture only lose their pixels.
#include "flic/flic_decode.h"

#include <algorithm>
#include <cstring>

#include "flic/flic_format.h"

namespace vex::flic {

namespace {

class Cursor {
public:
  explicit Cursor(Bytes d) : p_(d.data()), end_(d.data() + d.size()) {}
  bool has(uint64_t n) const { return static_cast<uint64_t>(end_ - p_) >= n; }
  uint32_t u8() { return *p_++; }
  int32_t s8() { return static_cast<int8_t>(*p_++); }
  uint32_t u16() {
    const uint32_t v = get16(p_);
    p_ += 2;
    return v;
  }
  const uint8_t *take(uint64_t n) {
    const uint8_t *q = p_;
    p_ += n;
    return q;
  }

private:
  const uint8_t *p_;
  const uint8_t *end_;
};

// Row y of the picture, or null when y lies below it.
uint8_t *row_of(const Picture &pic, uint64_t y) {
  return y < pic.height ? pic.pixels + y * pic.pitch : nullptr;
}

void put_bytes(const Picture &pic, uint8_t *row, uint64_t x, const uint8_t *src, uint64_t n) {
  if (!row || x >= pic.width)
    return;
  std::memcpy(row + x, src, std::min<uint64_t>(n, pic.width - x));
}

void fill_bytes(const Picture &pic, uint8_t *row, uint64_t x, uint8_t v, uint64_t n) {
  if (!row || x >= pic.width)
    return;
  std::memset(row + x, v, std::min<uint64_t>(n, pic.width - x));
}

// n copies of the byte pair (a, b) from column x.
void fill_words(const Picture &pic, uint8_t *row, uint64_t x, uint8_t a, uint8_t b, uint64_t n) {
  if (!row || x >= pic.width)
    return;
  const uint64_t bytes = std::min<uint64_t>(2 * n, pic.width - x);
  uint8_t *d = row + x;
  if (a == b) {
    std::memset(d, a, bytes);
    return;
  }
  for (uint64_t i = 0; i + 1 < bytes; i += 2) {
    d[i] = a;
    d[i + 1] = b;
  }
  if (bytes & 1)
    d[bytes - 1] = a;
}

// Packets of one DELTA_FLC line: column skip byte, signed word count.
bool flc_line_packets(Cursor &c, const Picture &pic, uint8_t *row, uint32_t packets) {
  uint64_t x = 0;
  for (uint32_t i = 0; i < packets; ++i) {
    if (!c.has(2))
      return false;
    x += c.u8();
    const int32_t n = c.s8();
    if (n >= 0) {
      const uint64_t bytes = 2 * static_cast<uint64_t>(n);
      if (!c.has(bytes))
        return false;
      put_bytes(pic, row, x, c.take(bytes), bytes);
      x += bytes;
    } else {
      if (!c.has(2))
        return false;
      const uint8_t a = static_cast<uint8_t>(c.u8());
      const uint8_t b = static_cast<uint8_t>(c.u8());
      fill_words(pic, row, x, a, b, static_cast<uint64_t>(-n));
      x += 2 * static_cast<uint64_t>(-n);
    }
  }
  return true;
}

} // namespace

void decode_palette(Bytes data, uint8_t *palette, bool six_bit) {
  Cursor c(data);
  if (!c.has(2))
    return;
  const uint32_t packets = c.u16();
  uint32_t index = 0;
  for (uint32_t i = 0; i < packets; ++i) {
    if (!c.has(2))
      return;
    index += c.u8();
    uint32_t count = c.u8();
    if (count == 0)
      count = 256;
    if (!c.has(3 * count))
      return;
    const uint8_t *src = c.take(3 * count);
    for (uint32_t k = 0; k < count && index + k < 256; ++k)
      for (uint32_t j = 0; j < 3; ++j) {
        const uint32_t v = src[3 * k + j];
        // 6-bit components spread over 0..255: 63 -> 255, 32 -> 130.
        palette[3 * (index + k) + j] = static_cast<uint8_t>(six_bit ? (v << 2 | v >> 4) : v);
      }
    index += count;
  }
}

// Words: top bits 11 skip -w lines; 10 set the line's last pixel to the low
// byte and the next word is the packet count; 0x top bit 0 packet count.
void decode_delta_flc(Bytes data, const Picture &pic) {
  Cursor c(data);
  if (!c.has(2))
    return;
  uint32_t lines = c.u16();
  uint64_t y = 0;
  while (lines > 0) {
    if (!c.has(2))
      return;
    uint32_t w = c.u16();
    if ((w & 0xC000) == 0xC000) {
      y += 0x10000 - w;
      continue;
    }
    if ((w & 0xC000) == 0x8000) {
      if (uint8_t *row = row_of(pic, y))
        row[pic.width - 1] = static_cast<uint8_t>(w);
      if (!c.has(2))
        return;
      w = c.u16();
    }
    --lines;
    if (!flc_line_packets(c, pic, row_of(pic, y), w))
      return;
    ++y;
  }
}

void decode_delta_fli(Bytes data, const Picture &pic) {
  Cursor c(data);
  if (!c.has(4))
    return;
  uint64_t y = c.u16();
  const uint32_t lines = c.u16();
  for (uint32_t l = 0; l < lines; ++l, ++y) {
    if (!c.has(1))
      return;
    const uint32_t packets = c.u8();
    uint8_t *row = row_of(pic, y);
    uint64_t x = 0;
    for (uint32_t i = 0; i < packets; ++i) {
      if (!c.has(2))
        return;
      x += c.u8();
      const int32_t n = c.s8();
      if (n >= 0) {
        if (!c.has(static_cast<uint64_t>(n)))
          return;
        put_bytes(pic, row, x, c.take(static_cast<uint64_t>(n)), static_cast<uint64_t>(n));
        x += static_cast<uint64_t>(n);
      } else {
        if (!c.has(1))
          return;
        fill_bytes(pic, row, x, static_cast<uint8_t>(c.u8()), static_cast<uint64_t>(-n));
        x += static_cast<uint64_t>(-n);
      }
    }
  }
}

void decode_black(const Picture &pic) {
  for (uint32_t y = 0; y < pic.height; ++y)
    std::memset(pic.pixels + uint64_t{y} * pic.pitch, 0, pic.width);
}

// Per row: an ignored packet-count byte, then signed counts until the row
// is full: n >= 0 repeats the next byte n times, -n copies n bytes.
void decode_byte_run(Bytes data, const Picture &pic) {
  Cursor c(data);
  for (uint32_t y = 0; y < pic.height; ++y) {
    uint8_t *row = pic.pixels + uint64_t{y} * pic.pitch;
    if (!c.has(1))
      return;
    c.u8();
    for (uint64_t x = 0; x < pic.width;) {
      if (!c.has(1))
        return;
      const int32_t n = c.s8();
      if (n >= 0) {
        if (!c.has(1))
          return;
        fill_bytes(pic, row, x, static_cast<uint8_t>(c.u8()), static_cast<uint64_t>(n));
        x += static_cast<uint64_t>(n);
      } else {
        const auto m = static_cast<uint64_t>(-n);
        if (!c.has(m))
          return;
        put_bytes(pic, row, x, c.take(m), m);
        x += m;
      }
    }
  }
}

void decode_copy(Bytes data, const Picture &pic) {
  Cursor c(data);
  for (uint32_t y = 0; y < pic.height && c.has(pic.width); ++y)
    std::memcpy(pic.pixels + uint64_t{y} * pic.pitch, c.take(pic.width), pic.width);
}

bool decode_frame(Bytes data, uint32_t count, const Picture &pic, uint8_t *palette) {
  bool new_palette = false;
  uint64_t pos = 0;
  for (uint32_t i = 0; i < count && pos + kChunkHeaderSize <= data.size(); ++i) {
    const uint32_t size = get32(data.data() + pos);
    const uint32_t type = get16(data.data() + pos + 4);
    // A size that cannot cover its own header would find the same chunk
    // again; it ends the frame.
    if (size < kChunkHeaderSize)
      break;
    const Bytes body = data.subspan(pos + kChunkHeaderSize);
    switch (type) {
    case VEXFLIC_COLOR_256:
    case VEXFLIC_COLOR_64:
      decode_palette(body, palette, type == VEXFLIC_COLOR_64);
      new_palette = true;
      break;
    case VEXFLIC_DELTA_FLC: decode_delta_flc(body, pic); break;
    case VEXFLIC_DELTA_FLI: decode_delta_fli(body, pic); break;
    case VEXFLIC_BLACK: decode_black(pic); break;
    case VEXFLIC_BYTE_RUN: decode_byte_run(body, pic); break;
    case VEXFLIC_FLI_COPY: decode_copy(body, pic); break;
    default: break; // not a picture or palette chunk
    }
    pos += size;
  }
  return new_palette;
}

} // namespace vex::flic
