#include "formats/korvane/korvane_storage.h"

#include <algorithm>

namespace vex::formats::korvane {

bool read_at(const Reader &r, uint64_t offset, uint8_t *dest, uint32_t n) {
  const uint64_t size = r.source.size();
  if (offset > size || n > size - offset)
    return false;
  return n == 0 || r.source.read_exact(offset, dest, n);
}

bool setup_storage(Reader &r, uint32_t buffer_size) {
  constexpr uint64_t kPiece = file::ReadWindow::kPiece;
  uint64_t size = (uint64_t{buffer_size} + kPiece - 1) / kPiece * kPiece;
  size = std::max<uint64_t>(size, 2 * kPiece);
  // Reads take 32-bit counts, so a movie of 4 GiB or more is never read whole.
  if (r.total * 4 / 5 > size || r.total > UINT32_MAX)
    return r.storage.set_window(static_cast<size_t>(size));
  if (!r.storage.preload(r.frame_offset.front(), r.total))
    return false;
  if (!r.source.in_memory())
    r.source = file::ByteSource{}; // everything is in memory: close the file
  return true;
}

bool fetch_record(Reader &r, uint32_t index, Chunk &out) {
  std::span<const uint8_t> bytes;
  if (!r.storage.fetch(r.frame_offset[index], r.frame_size[index], bytes))
    return false;
  out = {bytes.data(), static_cast<uint32_t>(bytes.size())};
  return true;
}

} // namespace vex::formats::korvane
