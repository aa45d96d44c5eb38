// Sub-chunk decoders. A bounded cursor walks the data; a packet that would
// read past the end stops the decoding of its sub-chunk (every later packet
// would run past as well). Writes are clipped to the picture row by row, so
// skips and counts that leave the picture only lose their pixels.
#include "flic/flic_decode.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "flic/flic_format.h"

namespace vex::flic {

namespace {

// A count byte read as two's complement: 0x80..0xFF are -128..-1.
constexpr int32_t signed_count(uint8_t b) { return b < 0x80 ? b : static_cast<int32_t>(b) - 256; }

class Cursor {
public:
  explicit Cursor(Bytes d) : p_(d.data()), end_(d.data() + d.size()) {}
  bool has(uint64_t n) const { return static_cast<uint64_t>(end_ - p_) >= n; }
  uint32_t u8() { return *p_++; }
  int32_t s8() { return signed_count(*p_++); }
  uint32_t u16() {
    const uint32_t v = le16(p_);
    p_ += 2;
    return v;
  }
  const uint8_t *pos() const { return p_; }
  const uint8_t *end() const { return end_; }
  void seek(const uint8_t *p) { p_ = p; }
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

// Short copies and fills dominate delta frames; these do them with a few
// fixed-size moves (overlapping at the end), never touching a byte outside
// [d, d + n).
[[gnu::always_inline]] inline void copy_short(uint8_t *d, const uint8_t *s, uint64_t n) {
  if (n >= 16) {
    std::memcpy(d, s, n);
  } else if (n >= 8) {
    std::memcpy(d, s, 8);
    std::memcpy(d + n - 8, s + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(d, s, 4);
    std::memcpy(d + n - 4, s + n - 4, 4);
  } else if (n >= 2) {
    std::memcpy(d, s, 2);
    std::memcpy(d + n - 2, s + n - 2, 2);
  } else if (n == 1) {
    d[0] = s[0];
  }
}

static_assert(std::endian::native == std::endian::little, "fill patterns are built little-endian");

// n bytes of the repeating 8-byte pattern p, which must repeat with a period
// that divides any even offset (byte or byte-pair patterns).
[[gnu::always_inline]] inline void fill_short(uint8_t *d, uint64_t p, uint64_t n, bool pairs) {
  if (n >= 8) {
    uint64_t i = 0;
    for (; i + 8 <= n; i += 8)
      std::memcpy(d + i, &p, 8);
    // The last store overlaps; for byte pairs its start must stay even.
    const uint64_t back = pairs ? ((n - 8) & ~uint64_t{1}) : n - 8;
    if (i < n) {
      std::memcpy(d + back, &p, 8);
      if (back + 8 < n)
        d[n - 1] = static_cast<uint8_t>(p);
    }
    return;
  }
  // Two overlapping stores; an odd count of a byte-pair pattern (a clipped
  // run) would shift the phase, so it goes byte by byte.
  if (n >= 4 && !(pairs && (n & 1))) {
    const auto q = static_cast<uint32_t>(p);
    std::memcpy(d, &q, 4);
    std::memcpy(d + n - 4, &q, 4);
  } else if (n >= 2 && !(pairs && (n & 1))) {
    const auto q = static_cast<uint16_t>(p);
    std::memcpy(d, &q, 2);
    std::memcpy(d + n - 2, &q, 2);
  } else {
    for (uint64_t i = 0; i < n; ++i)
      d[i] = static_cast<uint8_t>(p >> (8 * (i & 7)));
  }
}

[[gnu::always_inline]] inline void put_bytes(const Picture &pic, uint8_t *row, uint64_t x, const uint8_t *src, uint64_t n) {
  if (!row || x >= pic.width)
    return;
  copy_short(row + x, src, std::min<uint64_t>(n, pic.width - x));
}

[[gnu::always_inline]] inline void fill_bytes(const Picture &pic, uint8_t *row, uint64_t x, uint8_t v, uint64_t n) {
  if (!row || x >= pic.width)
    return;
  fill_short(row + x, v * 0x0101010101010101ull, std::min<uint64_t>(n, pic.width - x), false);
}

// Packets of one DELTA_FLC line: column skip byte, signed word count
// (n >= 0 copies n words, -n repeats one word n times). Works on raw
// pointers: this loop is most of the time spent on delta frames.
bool flc_line_packets(Cursor &c, const Picture &pic, uint8_t *row, uint32_t packets) {
  const uint8_t *p = c.pos();
  const uint8_t *const end = c.end();
  const uint64_t w = row ? pic.width : 0; // a line below the picture takes nothing
  uint64_t x = 0;
  for (uint32_t i = 0; i < packets; ++i) {
    if (end - p < 2)
      return c.seek(p), false;
    x += p[0];
    const int32_t n = signed_count(p[1]);
    p += 2;
    if (n >= 0) {
      const auto bytes = 2 * static_cast<uint64_t>(n);
      if (static_cast<uint64_t>(end - p) < bytes)
        return c.seek(p), false;
      if (x + bytes <= w)
        copy_short(row + x, p, bytes);
      else if (x < w)
        copy_short(row + x, p, w - x);
      p += bytes;
      x += bytes;
    } else {
      if (end - p < 2)
        return c.seek(p), false;
      const auto bytes = 2 * static_cast<uint64_t>(-n);
      const uint64_t pattern = (uint64_t{p[0]} | uint64_t{p[1]} << 8) * 0x0001000100010001ull;
      if (x + bytes <= w)
        fill_short(row + x, pattern, bytes, true);
      else if (x < w)
        fill_short(row + x, pattern, w - x, true);
      p += 2;
      x += bytes;
    }
  }
  c.seek(p);
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
    const uint32_t size = le32(data.data() + pos);
    const uint32_t type = le16(data.data() + pos + 4);
    // A size that cannot cover its own header would find the same chunk
    // again; it ends the frame.
    if (size < kChunkHeaderSize)
      break;
    // The body is the chunk's own bytes, cut at the end of the frame: a
    // decoder never reads its neighbour's. Our FLC writer and the testkit's
    // FLI writer declare exactly what they write (their tests check that
    // the sizes add up), and FFmpeg has no FLIC writer; a chunk that
    // understates its size loses what lies beyond it.
    const uint64_t end = std::min<uint64_t>(pos + size, data.size());
    const Bytes body = data.subspan(pos + kChunkHeaderSize, end - pos - kChunkHeaderSize);
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
