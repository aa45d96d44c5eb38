// Shared by the Korvane tests: reading a whole movie back, and building
// small movies by hand (header words, tables, bit streams).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "formats/korvane/korvane.h"
#include "testkit/util/source_of.h"

namespace kv = vex::formats::korvane;

namespace korvane_test {

using Bytes = std::vector<uint8_t>;

struct Decoded {
  bool opened = false;
  uint32_t width = 0, height = 0, frames = 0;
  std::vector<Bytes> pictures;
  std::vector<std::array<uint8_t, 768>> palettes;
  std::vector<uint8_t> refused; // KorvaDoFrame's result per record
  std::array<std::vector<Bytes>, 7> sound;
};

// Reads `records` records from the current position on (frame 0 after
// open), each decoded into one zeroed buffer that carries over.
inline Decoded read_records(KORVA *k, size_t records) {
  Decoded d;
  d.opened = true;
  d.width = k->width;
  d.height = k->height;
  d.frames = k->frames;
  Bytes buf(size_t{k->width} * k->height, 0);
  KorvaToBuffer(k, 0, 0, k->width, k->height, buf.data(), 0);
  for (size_t r = 0; r < records; ++r) {
    if (r > 0)
      KorvaNextFrame(k);
    d.refused.push_back(static_cast<uint8_t>(KorvaDoFrame(k)));
    d.pictures.push_back(buf);
    std::array<uint8_t, 768> p;
    std::memcpy(p.data(), k->palette, 768);
    d.palettes.push_back(p);
    for (uint32_t t = 0; t < 7; ++t) {
      Bytes s(k->header[kv::kHdrSoundSize + t] + 16, 0xCD);
      const int32_t n = KorvaGetSound(k, s.data(), kv::kTrackBit << t);
      s.resize(n > 0 ? static_cast<size_t>(n) : 0);
      d.sound[t].push_back(s);
    }
  }
  return d;
}

inline Decoded read_movie(const std::string &path, size_t records, uint32_t buffer_size = 0) {
  KORVA *k = KorvaOpen(vex::testkit::source_of(path.c_str()), buffer_size);
  if (!k)
    return {};
  Decoded d = read_records(k, records);
  KorvaClose(k);
  return d;
}

inline void save(const std::string &path, const Bytes &b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(b.data()),
                                              static_cast<std::streamsize>(b.size()));
}

inline void put32(Bytes &b, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Bits least significant first; fields with their low bit first.
class Bits {
public:
  Bits &put(uint32_t v, unsigned n) {
    for (unsigned i = 0; i < n; ++i) {
      if (count_ % 8 == 0)
        bytes_.push_back(0);
      if (v >> i & 1)
        bytes_.back() = static_cast<uint8_t>(bytes_.back() | 1u << (count_ % 8));
      ++count_;
    }
    return *this;
  }
  // A byte tree that is one leaf, and its closing bit.
  Bits &byte_leaf(uint8_t v) { return put(0, 1).put(v, 8).put(0, 1); }
  // A 16-bit tree of one leaf: present, byte trees of single leaves for
  // its bytes, escapes (unused values), the leaf, the closing bit.
  Bits &wide_leaf(uint16_t v, uint16_t esc = 0xFFF0) {
    put(1, 1).put(1, 1).byte_leaf(static_cast<uint8_t>(v)).put(1, 1).byte_leaf(static_cast<uint8_t>(v >> 8));
    put(esc, 16).put(esc + 1, 16).put(esc + 2, 16);
    return put(0, 1).put(0, 1); // leaf (its bytes take no bits), closing bit
  }
  Bits &empty_tree() { return put(0, 1); }
  const Bytes &bytes() const { return bytes_; }
  size_t bit_count() const { return count_; }

private:
  Bytes bytes_;
  size_t count_ = 0;
};

struct HandMovie {
  std::array<uint32_t, 26> header{};
  std::vector<uint8_t> types;
  std::vector<Bytes> records; // padded to multiples of 4 by file()
  Bytes trees;

  HandMovie(uint32_t version, uint32_t w, uint32_t h) {
    std::memcpy(&header[0], version == 4 ? "KVN4" : "KVN2", 4);
    header[1] = w;
    header[2] = h;
    header[4] = 100;
  }
  void add(uint8_t type, Bytes record) {
    types.push_back(type);
    records.push_back(std::move(record));
  }
  Bytes file() {
    for (auto &r : records)
      while (r.size() % 4)
        r.push_back(0);
    const size_t ring = header[5] & 1;
    header[3] = static_cast<uint32_t>(records.size() - ring);
    header[13] = static_cast<uint32_t>(trees.size());
    Bytes f;
    for (uint32_t v : header)
      put32(f, v);
    for (const auto &r : records)
      put32(f, static_cast<uint32_t>(r.size()));
    f.insert(f.end(), types.begin(), types.end());
    f.insert(f.end(), trees.begin(), trees.end());
    for (const auto &r : records)
      f.insert(f.end(), r.begin(), r.end());
    return f;
  }
};

} // namespace korvane_test
