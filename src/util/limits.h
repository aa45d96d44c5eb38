// The library's size limits, the same for every reader, and size arithmetic
// that cannot overflow.
//
// A file's header is never trusted: a reader passes the picture it
// announces through picture_fits before it allocates anything, and
// computes every buffer size with buffer_size, which refuses a product
// that overflows or exceeds kMaxBufferBytes. Limits a format fixes itself
// (a 16-bit field) live in that format's header, not here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace vex::util {

// Largest picture side, in pixels (fits a signed 16-bit coordinate).
inline constexpr uint32_t kMaxSide = 32767;
// Largest picture, in pixels: 64 Mi, 256 MiB at four bytes a pixel.
inline constexpr uint64_t kMaxPixels = uint64_t{1} << 26;
// Largest single buffer, in bytes: what a signed 32-bit count can address,
// rounded down to 64 KiB.
inline constexpr uint64_t kMaxBufferBytes = 0x7FFF0000u;

// v held within uint32_t: 0 below it, UINT32_MAX above it (counts and
// positions a 32-bit record field reports).
template <class T> constexpr uint32_t saturate_u32(T v) {
  if constexpr (std::is_signed_v<T>) {
    if (v < 0)
      return 0;
  }
  if constexpr (sizeof(T) > sizeof(uint32_t)) {
    if (v > static_cast<T>(UINT32_MAX))
      return UINT32_MAX;
  }
  return static_cast<uint32_t>(v);
}

// The limits in force: kMaxPixels and kMaxBufferBytes, unless the program
// lowered them (a fuzzer keeps each run small this way, as a program short
// of memory may). They are never raised above the constants.
uint64_t pixel_limit();
uint64_t buffer_limit();
// Lowers both limits (0 restores a constant). Process-wide.
void lower_limits(uint64_t pixels, uint64_t buffer_bytes);

// Both sides in 1..kMaxSide and the area within the pixel limit.
inline bool picture_fits(uint64_t width, uint64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide && width * height <= pixel_limit();
}

// a * b * c + add, when it neither overflows nor exceeds kMaxBufferBytes.
constexpr bool buffer_size(uint64_t a, uint64_t b, uint64_t c, uint64_t add, size_t *bytes) {
  constexpr uint64_t kTop = kMaxBufferBytes;
  if ((b != 0 && a > kTop / b))
    return false;
  const uint64_t ab = a * b;
  if (c != 0 && ab > kTop / c)
    return false;
  const uint64_t abc = ab * c;
  if (add > kTop - abc)
    return false;
  static_assert(kTop <= std::numeric_limits<size_t>::max());
  *bytes = static_cast<size_t>(abc + add);
  return true;
}
constexpr bool buffer_size(uint64_t a, uint64_t b, size_t *bytes) { return buffer_size(a, b, 1, 0, bytes); }

} // namespace vex::util
