// Where frame records come from: the movie's byte source through a
// read-ahead window, or every record preloaded at open.
#pragma once

#include <cstdint>

#include "formats/korvane/korvane_reader.h"

namespace vex::formats::korvane {

// Reads n bytes at `offset` from the movie's start; false when short.
bool read_at(const Reader &r, uint64_t offset, uint8_t *dest, uint32_t n);

// Picks the storage: the read-ahead size is buffer_size rounded up to
// 4096 (at least 8192); when four fifths of the records' bytes exceed it
// they are read through a window of that size plus 4096, else all at once
// (and a file opened by name is closed). False, with the reason, when
// memory runs out or the records cannot be read.
bool setup_storage(Reader &r, uint32_t buffer_size);

// The bytes of record `index`; false when they cannot be read.
bool fetch_record(Reader &r, uint32_t index, Chunk &out);

} // namespace vex::formats::korvane
