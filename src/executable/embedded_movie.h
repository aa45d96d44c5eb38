// Movies inside self-playing executables. The executable names where its
// movie starts in string-table block 1 (resource type 6, name 1): the first
// ':' followed by a decimal digit, then the byte offset in decimal, e.g.
// "movie:183808". The movie itself lies at that offset of the file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "executable/pe_image.h"
#include "file/byte_source.h"

namespace vex::executable {

// The offset the string block names: its 16-bit characters are scanned for
// the first ':' followed by a digit, and the digits after it are read. Null
// without such a ':', when the number does not fit in 32 bits, or when it
// lies at or past file_size (the reason recorded).
std::optional<uint32_t> offset_in_strings(std::span<const uint8_t> block, uint64_t file_size);

// The movie offset of an executable image (null, with the reason recorded,
// when it has none).
std::optional<uint32_t> embedded_movie_offset(const file::ByteSource &image);

// The movie a self-playing executable holds: the executable's bytes from
// the offset its strings name, sharing its open file. Null, with the
// reason recorded, when it names none. Both sources offer it to their
// Korvane and Tolm readers.
std::optional<file::ByteSource> embedded_movie(const file::ByteSource &executable);

// True when the name's extension is ".exe" in any case.
bool is_executable_name(const char *name);

} // namespace vex::executable
