// Builds FLIC files byte by byte: headers with any field values, frame
// chunks of raw sub-chunks. Tests use it for hand-made and corrupt files;
// the FLI writer builds on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testkit/util/file_bytes.h"
#include "vexutil/flic.h"

namespace vex::testkit {

using ByteVec = std::vector<uint8_t>;

struct SubChunk {
  uint16_t type = 0;
  ByteVec data;
};

struct FlicHeader {
  uint16_t magic = VEXFLIC_MAGIC_FLC;
  uint16_t frames = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint32_t speed = 0;
  uint32_t creator = 0;
  uint32_t frame1 = 128;
};

void put_le16(ByteVec &b, uint32_t v);
void put_le32(ByteVec &b, uint32_t v);
void set_le16(ByteVec &b, size_t at, uint32_t v);
uint32_t get_le16(const ByteVec &b, size_t at);
uint32_t get_le32(const ByteVec &b, size_t at);

ByteVec header_bytes(const FlicHeader &h);
// A frame chunk (type 0xF1FA) holding the sub-chunks, sizes filled in.
ByteVec frame_chunk(const std::vector<SubChunk> &chunks);
// Header, then the frames; the file size field is set.
ByteVec flic_file(const FlicHeader &h, const std::vector<ByteVec> &frames);

bool save_bytes(const std::string &path, const ByteVec &bytes);
ByteVec load_bytes(const std::string &path);

} // namespace vex::testkit
