#include "testkit/flic/flic_bytes.h"
#include "flic/flic_format.h"
#include "util/bytes.h"

#include <fstream>
#include <iterator>

namespace vex::testkit {

// The vector forms check the position (at() throws) and hand the byte
// order to util/bytes.h.
void put_le16(ByteVec &b, uint32_t v) { util::append_le16(b, v); }
void put_le32(ByteVec &b, uint32_t v) { util::append_le32(b, v); }

void set_le16(ByteVec &b, size_t at, uint32_t v) {
  b.at(at + 1);
  util::put_le16(&b[at], v);
}

uint32_t get_le16(const ByteVec &b, size_t at) {
  b.at(at + 1);
  return util::le16(&b[at]);
}
uint32_t get_le32(const ByteVec &b, size_t at) {
  b.at(at + 3);
  return util::le32(&b[at]);
}

ByteVec header_bytes(const FlicHeader &h) {
  using namespace vex::flic;
  ByteVec b(kHeaderSize, 0);
  set_le16(b, kHdrMagic, h.magic);
  set_le16(b, kHdrFrames, h.frames);
  set_le16(b, kHdrWidth, h.width);
  set_le16(b, kHdrHeight, h.height);
  set_le16(b, kHdrDepth, 8);
  set_le32(b, kHdrSpeed, h.speed);
  set_le32(b, kHdrCreator, h.creator);
  set_le32(b, kHdrFrame1, h.frame1);
  return b;
}

ByteVec frame_chunk(const std::vector<SubChunk> &chunks) {
  ByteVec b;
  put_le32(b, 0);
  put_le16(b, VEXFLIC_FRAME_TYPE);
  put_le16(b, static_cast<uint32_t>(chunks.size()));
  b.resize(vex::flic::kFrameHeaderSize, 0);
  for (const SubChunk &c : chunks) {
    put_le32(b, static_cast<uint32_t>(vex::flic::kChunkHeaderSize + c.data.size()));
    put_le16(b, c.type);
    b.insert(b.end(), c.data.begin(), c.data.end());
  }
  set_le32(b, 0, static_cast<uint32_t>(b.size()));
  return b;
}

ByteVec flic_file(const FlicHeader &h, const std::vector<ByteVec> &frames) {
  ByteVec b = header_bytes(h);
  for (const ByteVec &f : frames)
    b.insert(b.end(), f.begin(), f.end());
  set_le32(b, 0, static_cast<uint32_t>(b.size()));
  return b;
}

bool save_bytes(const std::string &path, const ByteVec &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

ByteVec load_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return ByteVec(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace vex::testkit
