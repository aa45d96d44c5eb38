// Little- and big-endian access to bytes, and a bounded byte reader for
// parsing headers and chunks.
//
// le16/le24/le32/be16/be32 read from a pointer the caller has already checked;
// put_le16/put_le24/put_le32 write in place and append_le16/append_le32 grow a vector.
// ByteReader never reads outside its span: a read that does not fit sets a
// sticky error, yields zeros (or an empty span) and consumes nothing, so a
// parser reads a whole header field by field and checks ok() once at the
// end, as a bit reader checks its overrun flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vex::util {

inline uint16_t le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t le32(const uint8_t *p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint32_t le24(const uint8_t *p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16; }
inline uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t be32(const uint8_t *p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

inline void put_le16(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put_le24(uint8_t *p, uint32_t v) {
  put_le16(p, v);
  p[2] = static_cast<uint8_t>(v >> 16);
}
inline void put_le32(uint8_t *p, uint32_t v) {
  put_le16(p, v);
  put_le16(p + 2, v >> 16);
}
inline void append_le16(std::vector<uint8_t> &out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void append_le32(std::vector<uint8_t> &out, uint32_t v) {
  append_le16(out, v);
  append_le16(out, v >> 16);
}

class ByteReader {
public:
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

  // True when n more bytes can be read.
  bool has(size_t n) const { return n <= data_.size() - pos_; }
  size_t remaining() const { return data_.size() - pos_; }
  size_t position() const { return pos_; }
  // No read so far went past the end.
  bool ok() const { return !error_; }

  // The next n bytes; an empty span (and the error) when fewer are left.
  std::span<const uint8_t> take(size_t n) {
    if (!has(n)) {
      error_ = true;
      return {};
    }
    const auto s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  // Everything that is left.
  std::span<const uint8_t> rest() { return take(remaining()); }
  void skip(size_t n) { take(n); }

  uint8_t u8() {
    const auto s = take(1);
    return s.empty() ? 0 : s[0];
  }
  uint16_t u16() {
    const auto s = take(2);
    return s.empty() ? 0 : le16(s.data());
  }
  uint32_t u32() {
    const auto s = take(4);
    return s.empty() ? 0 : le32(s.data());
  }

private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  bool error_ = false;
};

} // namespace vex::util
