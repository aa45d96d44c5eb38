// Records handed out as handles live in vexmalloc blocks (32-byte aligned)
// and go back with vexfree; these helpers construct and destroy them.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "vexutil/util.h"

namespace vex::util {

template <class T, class... Args> T *new_record(Args &&...args) {
  static_assert(alignof(T) <= 32, "vexmalloc aligns to 32 bytes");
  void *p = vexmalloc(static_cast<uint32_t>(sizeof(T)));
  if (!p)
    return nullptr;
  if constexpr (std::is_trivially_default_constructible_v<T> && sizeof...(Args) == 0) {
    std::memset(p, 0, sizeof(T)); // plain C records start cleared
    return static_cast<T *>(p);
  } else {
    return std::construct_at(static_cast<T *>(p), std::forward<Args>(args)...);
  }
}

template <class T> void delete_record(T *p) {
  if (!p)
    return;
  std::destroy_at(p);
  vexfree(p);
}

// A byte buffer from the library heap, so that allocation failures (and
// the test hook that makes them) reach it as they reach every record.
struct BlockFree {
  void operator()(uint8_t *p) const { vexfree(p); }
};
using Block = std::unique_ptr<uint8_t[], BlockFree>;

// n bytes (not cleared), or empty when n is 0 or beyond what vexmalloc gives.
inline Block allocate_block(size_t n) {
  if (n == 0 || n > UINT32_MAX - 64)
    return Block{};
  return Block{static_cast<uint8_t *>(vexmalloc(static_cast<uint32_t>(n)))};
}

} // namespace vex::util
