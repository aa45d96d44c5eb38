#include "executable/pe_image.h"

#include <array>
#include <cstring>

#include "util/bytes.h"
#include "util/status.h"

namespace vex::executable {
namespace {

using util::fail;
using util::le16;
using util::le32;
using util::Status;

constexpr uint32_t kPeOffsetAt = 0x3C;
constexpr uint32_t kCoffBytes = 20;
constexpr uint32_t kSectionBytes = 40;
constexpr uint32_t kMaxSections = 96; // the loader's own limit
constexpr uint16_t kMagic32 = 0x10B, kMagic64 = 0x20B;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kDirectoryBytes = 16, kEntryBytes = 8, kLeafBytes = 16;
constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr uint32_t kNamed = 0x80000000u;
constexpr uint32_t kMaxEntries = 0x10000;      // two 16-bit counts
constexpr uint32_t kMaxResourceBytes = 1 << 24; // far beyond any string block

// Leaves a function returning an optional, the reason recorded.
std::nullopt_t refuse(util::Failure) { return std::nullopt; }

// Exactly out.size() bytes at `at`, or false.
bool read(const file::ByteSource &b, uint64_t at, std::span<uint8_t> out) { return b.read_exact(at, out.data(), out.size()); }

template <size_t N> bool read_array(const file::ByteSource &b, uint64_t at, std::array<uint8_t, N> &out) {
  return read(b, at, out);
}

} // namespace

std::optional<PeImage> PeImage::parse(const file::ByteSource &bytes) {
  std::array<uint8_t, 64> dos{};
  if (!read_array(bytes, 0, dos) || dos[0] != 'M' || dos[1] != 'Z')
    return refuse(fail(Status::kNotThisFormat, "no executable header"));
  const uint32_t pe = le32(&dos[kPeOffsetAt]);
  std::array<uint8_t, 4 + kCoffBytes> head{};
  if (!read_array(bytes, pe, head) || std::memcmp(head.data(), "PE\0\0", 4) != 0)
    return refuse(fail(Status::kNotThisFormat, "no PE header at offset %u", pe));
  const uint32_t sections = le16(&head[4 + 2]);
  const uint32_t optional_size = le16(&head[4 + 16]);
  if (sections > kMaxSections)
    return refuse(fail(Status::kDamaged, "%u sections", sections));
  const uint64_t optional_at = uint64_t{pe} + 4 + kCoffBytes;
  std::vector<uint8_t> opt(optional_size);
  if (!read(bytes, optional_at, opt) || optional_size < 2)
    return refuse(fail(Status::kDamaged, "the optional header runs past the end of the file"));
  PeImage image(bytes);
  const uint16_t magic = le16(opt.data());
  const uint32_t count_at = magic == kMagic64 ? 108 : 92;
  if (magic != kMagic32 && magic != kMagic64)
    return refuse(fail(Status::kUnsupported, "optional header magic 0x%X", magic));
  const uint32_t directory_at = count_at + 4 + kResourceDirectory * 8;
  if (optional_size >= directory_at + 8 && le32(&opt[count_at]) > kResourceDirectory) {
    image.resource_rva_ = le32(&opt[directory_at]);
    image.resource_size_ = le32(&opt[directory_at + 4]);
  }
  const uint64_t table_at = optional_at + optional_size;
  std::vector<uint8_t> table(size_t{sections} * kSectionBytes);
  if (!read(bytes, table_at, table))
    return refuse(fail(Status::kDamaged, "the section table runs past the end of the file"));
  for (uint32_t i = 0; i < sections; ++i) {
    const uint8_t *s = &table[size_t{i} * kSectionBytes];
    image.sections_.push_back(Section{le32(s + 12), le32(s + 8), le32(s + 20), le32(s + 16)});
  }
  return image;
}

std::optional<uint64_t> PeImage::file_offset(uint32_t rva, uint32_t n) const {
  for (const Section &s : sections_) {
    if (rva < s.virtual_address)
      continue;
    const uint64_t into = uint64_t{rva} - s.virtual_address;
    // Bytes beyond the raw data are zeros in memory, not in the file.
    if (into + n > s.raw_size)
      continue;
    const uint64_t at = uint64_t{s.raw_offset} + into;
    if (at + n > bytes_->size())
      return std::nullopt;
    return at;
  }
  return std::nullopt;
}

bool PeImage::read_resource(uint32_t offset, std::span<uint8_t> out) const {
  if (offset > resource_size_ || out.size() > resource_size_ - offset)
    return false;
  const auto at = file_offset(resource_rva_ + offset, static_cast<uint32_t>(out.size()));
  return at && read(*bytes_, *at, out);
}

std::optional<uint32_t> PeImage::find_entry(uint32_t dir, uint32_t id) const {
  std::array<uint8_t, kDirectoryBytes> head{};
  if (!read_resource(dir, head))
    return std::nullopt;
  const uint32_t named = le16(&head[12]), numbered = le16(&head[14]);
  for (uint32_t i = 0; i < named + numbered && i < kMaxEntries; ++i) {
    std::array<uint8_t, kEntryBytes> e{};
    if (!read_resource(dir + kDirectoryBytes + i * kEntryBytes, e))
      return std::nullopt;
    const uint32_t key = le32(&e[0]);
    if (!(key & kNamed) && key == id)
      return le32(&e[4]);
  }
  return std::nullopt;
}

std::optional<uint32_t> PeImage::first_entry(uint32_t dir) const {
  std::array<uint8_t, kDirectoryBytes + kEntryBytes> head{};
  if (!read_resource(dir, head) || le16(&head[12]) + le16(&head[14]) == 0)
    return std::nullopt;
  return le32(&head[kDirectoryBytes + 4]);
}

std::optional<std::vector<uint8_t>> PeImage::resource(uint32_t type, uint32_t name) const {
  if (resource_rva_ == 0 || resource_size_ == 0)
    return refuse(fail(Status::kNotThisFormat, "the executable has no resources"));
  if (!file_offset(resource_rva_, kDirectoryBytes))
    return refuse(fail(Status::kDamaged, "the resource directory lies outside the file"));
  const auto by_type = find_entry(0, type);
  if (!by_type || !(*by_type & kSubdirectory))
    return refuse(fail(Status::kNotThisFormat, "the executable has no resource of type %u", type));
  const auto by_name = find_entry(*by_type & ~kSubdirectory, name);
  if (!by_name || !(*by_name & kSubdirectory))
    return refuse(fail(Status::kNotThisFormat, "the executable has no resource %u of type %u", name, type));
  const auto leaf = first_entry(*by_name & ~kSubdirectory);
  std::array<uint8_t, kLeafBytes> data{};
  if (!leaf || (*leaf & kSubdirectory) || !read_resource(*leaf, data))
    return refuse(fail(Status::kDamaged, "resource %u of type %u has no data entry", name, type));
  const uint32_t rva = le32(&data[0]), size = le32(&data[4]);
  if (size > kMaxResourceBytes)
    return refuse(fail(Status::kDamaged, "resource %u of type %u claims %u bytes", name, type, size));
  const auto at = file_offset(rva, size);
  std::vector<uint8_t> out(size);
  if (!at || !read(*bytes_, *at, out))
    return refuse(fail(Status::kDamaged, "resource %u of type %u lies outside the file", name, type));
  return out;
}

} // namespace vex::executable
