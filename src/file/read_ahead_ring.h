// A read-ahead ring over a byte source, for a reader that walks a movie
// mostly forwards and wants the next stretch already in memory.
//
// Invariant: the ring holds exactly the source bytes [logical, physical),
// held = physical - logical, starting at ring_read and wrapping at
// ring_end; free_bytes = capacity - held. fill() adds whole 4096-byte
// units at ring_write, which therefore stays on a unit boundary and never
// straddles the end. A read that the ring cannot serve goes straight from
// the source into the caller's buffer. Everything runs on the caller's
// thread, so the ring needs no locks. The ring does not own its buffer or
// its source.
#pragma once

#include <cstdint>

#include "file/byte_source.h"

namespace vex::file {

struct ReadAheadRing {
  static constexpr uint32_t kUnit = 4096;
  static constexpr uint32_t kCurrent = 0xFFFFFFFFu; // "at the current position"

  const ByteSource *source;
  int32_t read_error;  // sticky: a read came back short
  uint32_t bytes_read; // in total, from the source
  uint32_t capacity;   // of the ring, a multiple of kUnit
  uint32_t held;       // bytes in the ring
  uint32_t physical;   // next byte the source delivers
  uint32_t logical;    // next byte the caller takes
  uint32_t free_bytes;
  uint32_t limit; // the ring reads ahead no further than this offset
  uint8_t *ring_start, *ring_end, *ring_read, *ring_write;
};

namespace ring {
// An empty ring without a buffer: reads go straight to the source.
void attach(ReadAheadRing &r, const ByteSource &source);
// Reads size bytes at offset (kCurrent: where the last header read ended),
// without the ring; returns what arrived.
uint32_t read_header(ReadAheadRing &r, uint32_t offset, void *dest, uint32_t size);
// size rounded up to whole units (at most 0xFFFFF000).
uint32_t round_size(uint32_t size);
// Gives the ring its buffer (size rounded down to whole units) and the
// offset it never reads ahead past.
void set_buffer(ReadAheadRing &r, uint8_t *buffer, uint32_t size, uint32_t limit);
// Reads one more unit ahead; what arrived (0 or kUnit).
int32_t fill(ReadAheadRing &r);
// Reads size bytes at offset (kCurrent: the logical position) through the
// ring; returns what arrived, and 0 for good once a read came back short.
uint32_t read(ReadAheadRing &r, uint32_t offset, void *dest, uint32_t size);
} // namespace ring

} // namespace vex::file
