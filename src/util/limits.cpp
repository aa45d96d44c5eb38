#include "util/limits.h"

#include <algorithm>
#include <atomic>

namespace vex::util {

namespace {
std::atomic<uint64_t> pixels{kMaxPixels};
std::atomic<uint64_t> buffer_bytes{kMaxBufferBytes};
} // namespace

uint64_t pixel_limit() { return pixels.load(std::memory_order_relaxed); }
uint64_t buffer_limit() { return buffer_bytes.load(std::memory_order_relaxed); }

void lower_limits(uint64_t p, uint64_t b) {
  pixels.store(p == 0 ? kMaxPixels : std::min(p, kMaxPixels), std::memory_order_relaxed);
  buffer_bytes.store(b == 0 ? kMaxBufferBytes : std::min(b, kMaxBufferBytes), std::memory_order_relaxed);
}

} // namespace vex::util
