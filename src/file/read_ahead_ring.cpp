#include "file/read_ahead_ring.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace vex::file::ring {
namespace {

// Moves the source position to p (the ring is empty or being emptied).
void seek(ReadAheadRing &r, uint32_t p) { r.physical = p; }

uint32_t read_source(ReadAheadRing &r, void *dest, uint32_t n) {
  const auto got = static_cast<uint32_t>(r.source->read_at(r.physical, dest, n));
  r.physical += got;
  r.bytes_read += got;
  return got;
}

void empty_ring(ReadAheadRing &r) {
  r.ring_read = r.ring_write = r.ring_start;
  r.free_bytes = r.capacity;
  r.held = 0;
}

// Takes up to n bytes from the ring (in two pieces across the wrap).
uint32_t take(ReadAheadRing &r, uint8_t *dest, uint32_t n) {
  uint32_t done = 0;
  while (done < n && r.held > 0) {
    const uint32_t piece = std::min({n - done, r.held, static_cast<uint32_t>(r.ring_end - r.ring_read)});
    std::memcpy(dest + done, r.ring_read, piece);
    done += piece;
    r.ring_read += piece;
    if (r.ring_read == r.ring_end)
      r.ring_read = r.ring_start;
    r.held -= piece;
    r.free_bytes += piece;
    r.logical += piece;
  }
  return done;
}

// Drops n bytes from the ring.
void drop(ReadAheadRing &r, uint32_t n) {
  assert(n <= r.held);
  r.ring_read += n;
  if (r.ring_read >= r.ring_end)
    r.ring_read -= r.capacity;
  r.held -= n;
  r.free_bytes += n;
  r.logical += n;
}

} // namespace

void attach(ReadAheadRing &r, const ByteSource &source) {
  r = ReadAheadRing{};
  r.source = &source;
}

uint32_t read_header(ReadAheadRing &r, uint32_t offset, void *dest, uint32_t size) {
  if (offset != ReadAheadRing::kCurrent && offset != r.physical)
    seek(r, offset);
  const uint32_t got = read_source(r, dest, size);
  r.logical = r.physical;
  return got;
}

uint32_t round_size(uint32_t size) {
  const uint64_t unit = ReadAheadRing::kUnit;
  const uint64_t rounded = (uint64_t{size} + unit - 1) / unit * unit;
  return static_cast<uint32_t>(std::min<uint64_t>(rounded, 0xFFFFF000u));
}

void set_buffer(ReadAheadRing &r, uint8_t *buffer, uint32_t size, uint32_t limit) {
  r.ring_start = r.ring_read = r.ring_write = buffer;
  r.capacity = r.free_bytes = size / ReadAheadRing::kUnit * ReadAheadRing::kUnit;
  r.ring_end = buffer + r.capacity;
  r.held = 0;
  r.limit = limit;
}

int32_t fill(ReadAheadRing &r) {
  constexpr uint32_t kUnit = ReadAheadRing::kUnit;
  if (r.read_error || r.free_bytes < kUnit || r.physical > r.limit || r.limit - r.physical < kUnit)
    return 0;
  const uint32_t got = read_source(r, r.ring_write, kUnit);
  if (got < kUnit)
    r.read_error = 1;
  r.ring_write += got;
  if (r.ring_write == r.ring_end)
    r.ring_write = r.ring_start;
  r.held += got;
  r.free_bytes -= got;
  return static_cast<int32_t>(got);
}

uint32_t read(ReadAheadRing &r, uint32_t offset, void *dest, uint32_t size) {
  if (r.read_error)
    return 0;
  if (offset != ReadAheadRing::kCurrent && offset != r.logical) {
    if (offset < r.logical || offset > r.physical) {
      empty_ring(r);
      seek(r, offset);
      r.logical = r.physical;
    } else {
      drop(r, offset - r.logical);
    }
  }
  auto *out = static_cast<uint8_t *>(dest);
  uint32_t done = take(r, out, size);
  if (done < size) {
    const uint32_t want = size - done;
    const uint32_t got = read_source(r, out + done, want);
    r.logical = r.physical;
    done += got;
    if (got < want)
      r.read_error = 1;
  }
  return done;
}

} // namespace vex::file::ring
