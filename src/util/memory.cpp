// The library heap: 32-byte-aligned blocks with the distance to the
// underlying allocation kept in the byte just before the block.
#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "util/allocation_hook.h"
#include "util/diagnostics.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace {
constexpr uintptr_t kAlign = 32;

std::atomic<uint64_t> calls{0};
std::atomic<uint64_t> failing_call{0}; // 0: none

// True when the hook makes this call fail.
bool injected_failure() {
  const uint64_t n = calls.fetch_add(1, std::memory_order_relaxed) + 1;
  return n == failing_call.load(std::memory_order_relaxed);
}
} // namespace

namespace vex::util {
void fail_allocation(uint64_t n) {
  failing_call.store(n, std::memory_order_relaxed);
  calls.store(0, std::memory_order_relaxed);
}
uint64_t allocation_count() { return calls.load(std::memory_order_relaxed); }
} // namespace vex::util

extern "C" void *vexmalloc(uint32_t size) {
  if (size == 0 || size > UINT32_MAX - kAlign)
    return nullptr;
  auto *base = injected_failure() ? nullptr : static_cast<uint8_t *>(std::malloc(size_t{size} + kAlign));
  if (!base) {
    vex::util::diagnose("Memory Error: Error: ran out of memory!");
    return vex::util::fail(vex::util::Status::kOutOfMemory);
  }
  // offset is 1..32, so the byte at block[-1] always lies inside the allocation.
  const auto offset = static_cast<uint8_t>(kAlign - reinterpret_cast<uintptr_t>(base) % kAlign);
  base[offset - 1] = offset;
  return base + offset;
}

extern "C" void vexfree(void *block) {
  if (!block)
    return;
  auto *p = static_cast<uint8_t *>(block);
  std::free(p - p[-1]);
}
