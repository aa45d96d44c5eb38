// Reading a Windows executable (PE/COFF image) as data: the headers, the
// section table and the resource directory, with every offset and size
// checked against the file and against the section it lies in. Only what
// finding a resource needs; nothing is loaded or run.
//
// Layout (little-endian):
//   DOS header: "MZ" at 0, file offset of the PE header at 0x3C;
//   PE header: "PE\0\0", the COFF header (20 bytes: section count at 2,
//     optional header size at 16), the optional header (magic 0x10B for
//     32-bit images with the data directory count at 92 and the directories
//     at 96, 0x20B for 64-bit ones with them at 108 and 112), then the
//     section table (40 bytes a section: virtual size at 8, virtual address
//     at 12, raw size at 16, raw file offset at 20);
//   data directory 2: the resource directory's address (RVA) and size.
//   Resource directory (16 bytes: named entry count at 12, numbered entry
//   count at 14) followed by 8-byte entries: the name or number (bit 31: a
//   name), then the target (bit 31: a subdirectory; offsets from the start
//   of the resource directory). Three levels: type, name, language; a leaf
//   (16 bytes) gives the data's RVA and size.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "file/byte_source.h"

namespace vex::executable {

struct Section {
  uint32_t virtual_address = 0, virtual_size = 0;
  uint32_t raw_offset = 0, raw_size = 0;
};

// Resource types and the numbers this library asks for.
inline constexpr uint32_t kStringTable = 6;

class PeImage {
public:
  // Null (and the reason recorded) when the headers or the section table
  // are missing or do not fit in the file.
  static std::optional<PeImage> parse(const file::ByteSource &bytes);

  // The data of the resource of numbered type and name (the first
  // language); null when the image has none or its directory is damaged
  // (the reason recorded).
  std::optional<std::vector<uint8_t>> resource(uint32_t type, uint32_t name) const;

  // File offset of n bytes at an address, when they lie inside the raw
  // data of one section and inside the file.
  std::optional<uint64_t> file_offset(uint32_t rva, uint32_t n) const;

private:
  explicit PeImage(const file::ByteSource &bytes) : bytes_(&bytes) {}
  // The target of the numbered entry `id` of the directory at `dir`
  // (relative to the resource directory); bit 31 kept.
  std::optional<uint32_t> find_entry(uint32_t dir, uint32_t id) const;
  std::optional<uint32_t> first_entry(uint32_t dir) const;
  bool read_resource(uint32_t offset, std::span<uint8_t> out) const;

  const file::ByteSource *bytes_;
  std::vector<Section> sections_;
  uint32_t resource_rva_ = 0, resource_size_ = 0;
};

} // namespace vex::executable
