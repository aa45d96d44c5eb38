#include "testkit/movie/edit_list.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "util/bytes.h"

namespace vex::testkit {

namespace {

// Atom layout: 32-bit big-endian size (header included), four-character
// type, contents. Sizes 0 and 1 (to the end, 64-bit) do not occur in the
// boxes walked here and end the walk.
struct Atom {
  size_t start = 0, end = 0; // contents
};

bool find_child(const std::vector<uint8_t> &b, Atom parent, const char *type, int nth, Atom &found) {
  for (size_t at = parent.start; at + 8 <= parent.end;) {
    const uint32_t size = util::be32(b.data() + at);
    if (size < 8 || size > parent.end - at)
      return false;
    if (std::equal(type, type + 4, b.begin() + static_cast<ptrdiff_t>(at) + 4) && nth-- == 0) {
      found = {at + 8, at + size};
      return true;
    }
    at += size;
  }
  return false;
}

void put_be32(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

} // namespace

void set_edit_length(const std::string &file, int track, unsigned milliseconds) {
  std::vector<uint8_t> b;
  {
    std::ifstream in(file, std::ios::binary);
    b.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  Atom moov, mvhd, trak, edts, elst;
  if (!find_child(b, {0, b.size()}, "moov", 0, moov) || !find_child(b, moov, "mvhd", 0, mvhd) ||
      !find_child(b, moov, "trak", track, trak) || !find_child(b, trak, "edts", 0, edts) ||
      !find_child(b, edts, "elst", 0, elst))
    throw std::runtime_error(file + ": no edit list in track " + std::to_string(track));
  // mvhd version 0: version and flags, creation, modification, time scale.
  if (mvhd.end - mvhd.start < 16 || b[mvhd.start] != 0)
    throw std::runtime_error(file + ": movie header of an unexpected version");
  const uint32_t scale = util::be32(b.data() + mvhd.start + 12);
  // elst version 0: version and flags, entry count, then 32-bit segment
  // length, media time and rate per entry.
  if (elst.end - elst.start < 20 || b[elst.start] != 0 || util::be32(b.data() + elst.start + 4) == 0)
    throw std::runtime_error(file + ": edit list of an unexpected version");
  put_be32(b.data() + elst.start + 8, static_cast<uint32_t>(uint64_t{milliseconds} * scale / 1000));
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
}

} // namespace vex::testkit
