// File side of the Tolm reader: header reads, the read-ahead ring and frame
// reads through it.
//
// Ring invariant: the ring holds exactly the file bytes [logical, physical),
// held = physical - logical, starting at ring_read and wrapping at ring_end;
// free_bytes = capacity - held. The filler adds whole 4096-byte units at
// ring_write, which therefore stays on a unit boundary and never straddles
// the end. The reader runs on the caller's thread only (no background
// filler is ever started), so the ring needs no locks.
#include <algorithm>
#include <cstring>

#include "formats/tolm/tolm_reader.h"

namespace vex::formats::tolm::io {
namespace {

constexpr uint32_t kCurrent = 0xFFFFFFFFu;

// Moves the file to movie offset p (the ring is empty or being emptied).
void seek(TOLMIO &io, uint32_t p) {
  VEXFileSetPos(io.file, io.base + p);
  io.physical = VEXFileGetPos(io.file) - io.base;
}

uint32_t read_file(TOLMIO &io, void *dest, uint32_t n) {
  const uint32_t got = VEXFileGetNB(io.file, dest, n);
  io.physical += got;
  io.bytes_read += got;
  return got;
}

void empty_ring(TOLMIO &io) {
  io.ring_read = io.ring_write = io.ring_start;
  io.free_bytes = io.capacity;
  io.held = 0;
}

// Takes up to n bytes from the ring (in two pieces across the wrap).
uint32_t take(TOLMIO &io, uint8_t *dest, uint32_t n) {
  uint32_t done = 0;
  while (done < n && io.held > 0) {
    const uint32_t piece = std::min({n - done, io.held, static_cast<uint32_t>(io.ring_end - io.ring_read)});
    std::memcpy(dest + done, io.ring_read, piece);
    done += piece;
    io.ring_read += piece;
    if (io.ring_read == io.ring_end)
      io.ring_read = io.ring_start;
    io.held -= piece;
    io.free_bytes += piece;
    io.logical += piece;
  }
  return done;
}

// Drops n bytes from the ring (n <= held).
void drop(TOLMIO &io, uint32_t n) {
  io.ring_read += n;
  if (io.ring_read >= io.ring_end)
    io.ring_read -= io.capacity;
  io.held -= n;
  io.free_bytes += n;
  io.logical += n;
}

} // namespace

bool open(TOLMIO &io, const void *source, uint32_t flags) {
  io = TOLMIO{};
  if (!source)
    return false;
  if (flags & kTolmOpenHandle) {
    io.file = const_cast<VEXFILE *>(static_cast<const VEXFILE *>(source));
    if (io.file->handle == -1)
      return false;
    io.callers_file = 1;
    io.base = VEXFileGetPos(io.file);
    return true;
  }
  // Unbuffered: the ring does the buffering, and large frame reads go
  // straight from the file into the record buffer.
  io.file = VEXFileOpen(0, static_cast<const char *>(source), VEXFILE_READ);
  return io.file != nullptr;
}

uint32_t read_header(TOLMIO &io, uint32_t offset, void *dest, uint32_t size) {
  if (offset != kCurrent && offset != io.physical)
    seek(io, offset);
  const uint32_t got = read_file(io, dest, size);
  io.logical = io.physical;
  return got;
}

uint32_t round_size(uint32_t size) {
  const uint64_t rounded = (uint64_t{size} + kTolmIoUnit - 1) / kTolmIoUnit * kTolmIoUnit;
  return static_cast<uint32_t>(std::min<uint64_t>(rounded, 0xFFFFF000u));
}

void set_buffer(TOLMIO &io, uint8_t *buffer, uint32_t size, uint32_t file_size) {
  io.ring_start = io.ring_read = io.ring_write = buffer;
  io.capacity = io.free_bytes = size / kTolmIoUnit * kTolmIoUnit;
  io.ring_end = buffer + io.capacity;
  io.held = 0;
  io.file_size = file_size;
}

int32_t fill(TOLMIO &io) {
  if (io.read_error || io.free_bytes < kTolmIoUnit || io.physical > io.file_size ||
      io.file_size - io.physical < kTolmIoUnit)
    return 0;
  const uint32_t got = read_file(io, io.ring_write, kTolmIoUnit);
  if (got < kTolmIoUnit)
    io.read_error = 1;
  io.ring_write += got;
  if (io.ring_write == io.ring_end)
    io.ring_write = io.ring_start;
  io.held += got;
  io.free_bytes -= got;
  return static_cast<int32_t>(got);
}

uint32_t read_frame(TOLMIO &io, uint32_t offset, void *dest, uint32_t size) {
  if (io.read_error)
    return 0;
  if (offset != kCurrent && offset != io.logical) {
    if (offset < io.logical || offset > io.physical) {
      empty_ring(io);
      seek(io, offset);
      io.logical = io.physical;
    } else {
      drop(io, offset - io.logical);
    }
  }
  auto *out = static_cast<uint8_t *>(dest);
  uint32_t done = take(io, out, size);
  if (done < size) {
    const uint32_t want = size - done;
    const uint32_t got = read_file(io, out + done, want);
    io.logical = io.physical;
    done += got;
    if (got < want)
      io.read_error = 1;
  }
  return done;
}

void close(TOLMIO &io) {
  if (io.file && !io.callers_file)
    VEXFileClose(io.file);
  io.file = nullptr;
}

} // namespace vex::formats::tolm::io
