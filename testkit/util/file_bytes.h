// Whole files as bytes, for tests that make inputs or read outputs back.
// Both throw std::runtime_error naming the file when it cannot be done.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vex::testkit {

void write_file(const std::string &path, const std::vector<uint8_t> &bytes);
std::vector<uint8_t> read_file(const std::string &path);

// Little-endian fields of a byte vector, for headers a test builds or checks.
inline void append_le16(std::vector<uint8_t> &out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void append_le32(std::vector<uint8_t> &out, uint32_t v) {
  append_le16(out, v & 0xFFFFu);
  append_le16(out, v >> 16);
}
inline uint32_t le16_at(const std::vector<uint8_t> &b, size_t at) { return b.at(at) | b.at(at + 1) << 8; }
inline uint32_t le32_at(const std::vector<uint8_t> &b, size_t at) { return le16_at(b, at) | le16_at(b, at + 2) << 16; }
inline void set_le32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b.at(at + i) = static_cast<uint8_t>(v >> 8 * i);
}

} // namespace vex::testkit
