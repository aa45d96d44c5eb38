#include "formats/korvane/korvane_storage.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "file/os_file.h"

namespace vex::formats::korvane {

namespace {

// pread leaves the descriptor's position alone, which matters when the
// caller owns it.
uint64_t pread_all(int fd, uint8_t *dest, uint64_t n, uint64_t at) {
  uint64_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd, dest + got, n - got, static_cast<off_t>(at + got));
    if (r < 0 && errno == EINTR)
      continue;
    if (r <= 0)
      break;
    got += static_cast<uint64_t>(r);
  }
  return got;
}

} // namespace

bool read_at(const Reader &r, uint64_t offset, uint8_t *dest, uint32_t n) {
  if (offset > r.available || n > r.available - offset)
    return false;
  return n == 0 || pread_all(r.fd, dest, n, r.base + offset) == n;
}

void setup_storage(Reader &r, uint32_t buffer_size) {
  uint64_t size = (uint64_t{buffer_size} + kPiece - 1) / kPiece * kPiece;
  size = std::max<uint64_t>(size, 2 * kPiece);
  // Reads take 32-bit counts, so a movie of 4 GiB or more is never read whole.
  if (r.total * 4 / 5 > size || r.total > UINT32_MAX) {
    r.in_memory = false;
    r.window.resize(size + kPiece);
    r.record_buf.resize(r.largest);
    r.window_len = 0;
    return;
  }
  r.in_memory = true;
  r.all.resize(r.total);
  if (!read_at(r, r.frame_offset.front(), r.all.data(), static_cast<uint32_t>(r.total)))
    r.all.clear(); // records then fail to load
  if (r.owns_fd) {
    file::close_file(r.fd);
    r.fd = -1;
    r.owns_fd = false;
  }
}

bool fetch_record(Reader &r, uint32_t index, Chunk &out) {
  const uint64_t offset = r.frame_offset[index];
  const uint32_t size = r.frame_size[index];
  if (r.in_memory) {
    const uint64_t at = offset - r.frame_offset.front();
    if (at + size > r.all.size())
      return false;
    out = {r.all.data() + at, size};
    return true;
  }
  const uint64_t abs = r.base + offset;
  if (abs >= r.window_at && abs + size <= r.window_at + r.window_len) {
    out = {r.window.data() + (abs - r.window_at), size};
    return true;
  }
  const uint64_t aligned = abs / kPiece * kPiece;
  if (abs - aligned + size <= r.window.size()) {
    // Refill the window from the piece that holds the record's start; the
    // end of the file may leave it short, but never short of the record.
    r.window_at = aligned;
    r.window_len = pread_all(r.fd, r.window.data(), r.window.size(), aligned);
    if (abs + size > r.window_at + r.window_len)
      return false;
    out = {r.window.data() + (abs - r.window_at), size};
    return true;
  }
  if (!read_at(r, offset, r.record_buf.data(), size))
    return false;
  out = {r.record_buf.data(), size};
  return true;
}

} // namespace vex::formats::korvane
