// Windows executables for tests, made by a real third-party PE writer: the
// MinGW-w64 binutils (windres compiles a STRINGTABLE, ld links a
// resource-only image). Every helper throws std::runtime_error with the
// command line when a tool is missing or fails.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vex::testkit {

// An image whose string table holds the given (id, text) pairs; without
// strings, an image with no resources at all.
std::vector<uint8_t> executable_with_strings(const std::vector<std::pair<uint32_t, std::string>> &strings);

// An image whose string 1 is prefix + the ten-digit offset of `movie`,
// which is appended right behind the image; the offset is returned too.
std::vector<uint8_t> executable_with_movie(const std::vector<uint8_t> &movie, uint32_t *offset,
                                           const std::string &prefix = "Play me:");

} // namespace vex::testkit
