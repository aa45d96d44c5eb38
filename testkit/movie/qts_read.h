// Reading a movie's sound track through QTSFile to its end.
#pragma once

#include <cstdint>
#include <vector>

#include "vexutil/movie.h"

namespace vex::testkit {

// Every byte of the track, asked for `piece` bytes at a time; stops early
// at the first 0.
std::vector<uint8_t> qts_read_all(QTSFILE *qs, uint32_t piece);

} // namespace vex::testkit
