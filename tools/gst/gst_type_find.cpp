// Type finders: the movies and the raw frame file by their first bytes,
// whatever the file is called, and a movie inside a self-playing Windows
// executable by the offset the executable itself names.
//
// The executable names its movie in string block 1 of its resources
// (resource type 6, name 1): the first ':' followed by a decimal digit,
// then the byte offset of the movie in decimal. Finding it walks the PE
// image as data: the DOS header's pointer to "PE\0\0", the optional
// header's resource directory, the section table that maps its addresses
// to file offsets, the three directory levels, then the block's UTF-16
// text. Every read is a peek of bounded size, so a damaged image ends the
// walk rather than the process.
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

#include "gst_vexutil.h"

namespace vexgst {
namespace {

uint32_t le16(const guint8 *p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }
uint32_t le32(const guint8 *p) { return le16(p) | le16(p + 2) << 16; }

bool is_korvane(const guint8 *p) { return std::memcmp(p, "KVN2", 4) == 0 || std::memcmp(p, "KVN4", 4) == 0; }
bool is_tolm(const guint8 *p) { return std::memcmp(p, "TLM", 3) == 0 && p[3] >= 'f' && p[3] <= 'i'; }

void korvane_find(GstTypeFind *tf, gpointer) {
  if (const guint8 *p = gst_type_find_peek(tf, 0, 4); p && is_korvane(p))
    gst_type_find_suggest_empty_simple(tf, GST_TYPE_FIND_MAXIMUM, kKorvaneType);
}

void tolm_find(GstTypeFind *tf, gpointer) {
  if (const guint8 *p = gst_type_find_peek(tf, 0, 4); p && is_tolm(p))
    gst_type_find_suggest_empty_simple(tf, GST_TYPE_FIND_MAXIMUM, kTolmType);
}

// "RAWB", then frame count, width and height (32-bit little-endian) and
// the speed: 20 bytes. Four letters are a short magic, so the picture
// size must be there too.
void rawb_find(GstTypeFind *tf, gpointer) {
  const guint8 *p = gst_type_find_peek(tf, 0, 20);
  if (p && std::memcmp(p, "RAWB", 4) == 0 && le32(p + 8) != 0 && le32(p + 12) != 0)
    gst_type_find_suggest_empty_simple(tf, GST_TYPE_FIND_MAXIMUM, kRawbType);
}

// The PE image as far as finding one resource goes.
class PeWalk {
public:
  explicit PeWalk(GstTypeFind *tf) : tf_(tf) {}

  // The string block's bytes and their size, or nothing.
  std::optional<std::pair<const guint8 *, uint32_t>> string_block() {
    const guint8 *dos = gst_type_find_peek(tf_, 0, 64);
    if (!dos || dos[0] != 'M' || dos[1] != 'Z')
      return std::nullopt;
    const uint64_t pe = le32(dos + 0x3C);
    const guint8 *coff = peek(pe, 24);
    if (!coff || std::memcmp(coff, "PE\0\0", 4) != 0)
      return std::nullopt;
    sections_ = le16(coff + 6);
    const uint32_t optional_size = le16(coff + 20);
    if (sections_ == 0 || sections_ > kMaxSections || optional_size < 2)
      return std::nullopt;
    const guint8 *opt = peek(pe + 24, optional_size);
    if (!opt)
      return std::nullopt;
    // The data directories follow the count of them; entry 2 is the
    // resources' address and size.
    const uint32_t magic = le16(opt);
    const uint32_t count_at = magic == 0x20B ? 108 : 92;
    const uint32_t directory_at = count_at + 4 + 2 * 8;
    if ((magic != 0x10B && magic != 0x20B) || optional_size < directory_at + 8 || le32(opt + count_at) <= 2)
      return std::nullopt;
    resource_rva_ = le32(opt + directory_at);
    resource_size_ = le32(opt + directory_at + 4);
    table_ = peek(pe + 24 + optional_size, sections_ * 40);
    if (!table_ || resource_size_ == 0)
      return std::nullopt;
    const auto by_type = entry(0, kStringTable);
    const auto by_name = by_type && (*by_type & kSubdirectory) ? entry(*by_type & ~kSubdirectory, 1) : std::nullopt;
    if (!by_name || !(*by_name & kSubdirectory))
      return std::nullopt;
    // The first language's data entry: address and size of the block.
    const guint8 *lang = resource(*by_name & ~kSubdirectory, 24);
    if (!lang || le16(lang + 12) + le16(lang + 14) == 0 || (le32(lang + 20) & kSubdirectory))
      return std::nullopt;
    const guint8 *data = resource(le32(lang + 20), 16);
    if (!data)
      return std::nullopt;
    const uint32_t size = le32(data + 4);
    const auto at = file_offset(le32(data), size);
    const guint8 *block = at && size <= kMaxBlock ? peek(*at, size) : nullptr;
    if (!block)
      return std::nullopt;
    return std::make_pair(block, size);
  }

private:
  static constexpr uint32_t kMaxSections = 96;
  static constexpr uint32_t kStringTable = 6;
  static constexpr uint32_t kSubdirectory = 0x80000000u;
  static constexpr uint32_t kMaxBlock = 1u << 16; // 16 strings of text; far more than a block holds

  const guint8 *peek(uint64_t at, uint32_t n) {
    return at > G_MAXINT64 ? nullptr : gst_type_find_peek(tf_, static_cast<gint64>(at), n);
  }

  // The file offset of n bytes at a relative virtual address, inside one
  // section's raw data.
  std::optional<uint64_t> file_offset(uint32_t rva, uint32_t n) const {
    for (uint32_t i = 0; i < sections_; ++i) {
      const guint8 *s = table_ + 40 * i;
      const uint32_t va = le32(s + 12), raw_size = le32(s + 16), raw_at = le32(s + 20);
      if (rva >= va && uint64_t{rva} - va + n <= raw_size)
        return uint64_t{raw_at} + (rva - va);
    }
    return std::nullopt;
  }

  const guint8 *resource(uint32_t offset, uint32_t n) {
    if (offset > resource_size_ || n > resource_size_ - offset)
      return nullptr;
    const auto at = file_offset(resource_rva_ + offset, n);
    return at ? peek(*at, n) : nullptr;
  }

  // The numbered entry `id` of the directory at `dir`: its offset word.
  std::optional<uint32_t> entry(uint32_t dir, uint32_t id) {
    const guint8 *head = resource(dir, 16);
    if (!head)
      return std::nullopt;
    const uint32_t n = le16(head + 12) + le16(head + 14);
    for (uint32_t i = 0; i < n; ++i) {
      const guint8 *e = resource(dir + 16 + 8 * i, 8);
      if (!e)
        return std::nullopt;
      if (le32(e) == id) // a named entry has the top bit set, so never equals a number
        return le32(e + 4);
    }
    return std::nullopt;
  }

  GstTypeFind *tf_;
  uint32_t sections_ = 0, resource_rva_ = 0, resource_size_ = 0;
  const guint8 *table_ = nullptr;
};

// The movie offset in the block's UTF-16 text: the digits after the first
// ':' that a digit follows.
std::optional<uint64_t> movie_offset(const guint8 *block, uint32_t size) {
  const uint32_t units = size / 2;
  auto digit = [&](uint32_t i) { return le16(block + 2 * i) >= '0' && le16(block + 2 * i) <= '9'; };
  uint32_t i = 0;
  while (i + 1 < units && !(le16(block + 2 * i) == ':' && digit(i + 1)))
    ++i;
  if (i + 1 >= units)
    return std::nullopt;
  uint64_t offset = 0;
  for (++i; i < units && digit(i); ++i) {
    offset = offset * 10 + (le16(block + 2 * i) - '0');
    if (offset > G_MAXUINT32)
      return std::nullopt;
  }
  return offset;
}

void executable_find(GstTypeFind *tf, gpointer) {
  const auto block = PeWalk(tf).string_block();
  const auto offset = block ? movie_offset(block->first, block->second) : std::nullopt;
  const guint8 *movie = offset ? gst_type_find_peek(tf, static_cast<gint64>(*offset), 4) : nullptr;
  if (!movie)
    return;
  const char *type = is_korvane(movie) ? kKorvaneType : is_tolm(movie) ? kTolmType : nullptr;
  if (type)
    gst_type_find_suggest_simple(tf, GST_TYPE_FIND_MAXIMUM, type, "executable", G_TYPE_BOOLEAN, TRUE, nullptr);
}

} // namespace

gboolean register_type_finders(GstPlugin *plugin) {
  GstCaps *korvane = gst_caps_new_empty_simple(kKorvaneType);
  GstCaps *tolm = gst_caps_new_empty_simple(kTolmType);
  GstCaps *rawb = gst_caps_new_empty_simple(kRawbType);
  GstCaps *exe = gst_caps_from_string("video/x-korvane, executable=(boolean)true; "
                                      "video/x-tolm, executable=(boolean)true");
  const gboolean ok =
      gst_type_find_register(plugin, "vexutil-korvane", GST_RANK_PRIMARY, korvane_find, "kvn", korvane, nullptr,
                             nullptr) &&
      gst_type_find_register(plugin, "vexutil-tolm", GST_RANK_PRIMARY, tolm_find, "tlm", tolm, nullptr, nullptr) &&
      gst_type_find_register(plugin, "vexutil-rawb", GST_RANK_PRIMARY, rawb_find, "raw", rawb, nullptr, nullptr) &&
      gst_type_find_register(plugin, "vexutil-executable-movie", GST_RANK_PRIMARY, executable_find, "exe", exe, nullptr,
                             nullptr);
  for (GstCaps *c : {korvane, tolm, rawb, exe})
    gst_caps_unref(c);
  return ok;
}

} // namespace vexgst
