// Byte positions at which a fault test injects its fault into a file of
// `size` bytes, the end included (a fault there is never met, and the run
// must be clean). Every byte of every sample is tens of thousands of runs,
// minutes under the sanitizers, so by default every byte of the first and
// last 256 (headers, indexes, first and last frames, the sizes a writer
// patches at its close) and every 61st between; VEX_EVERY_BYTE=1 in the
// environment gives them all.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace vex::testkit {

inline std::vector<uint64_t> fault_positions(uint64_t size) {
  const bool every = std::getenv("VEX_EVERY_BYTE") != nullptr;
  constexpr uint64_t kEdge = 256, kStride = 61;
  std::vector<uint64_t> at;
  for (uint64_t p = 0; p <= size; p += (every || p < kEdge || p + kEdge >= size) ? 1 : kStride)
    at.push_back(p);
  return at;
}

} // namespace vex::testkit
