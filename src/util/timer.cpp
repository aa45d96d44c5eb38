// Millisecond clock counted from its first reading.
#include <chrono>
#include <cstdint>

#include "vexutil/util.h"

extern "C" uint32_t VEXTimerRead(void) {
  using clock = std::chrono::steady_clock;
  // The base is fixed by the first call; initialisation of a function-local
  // static is thread-safe, unlike the unlocked first-call flag it replaces.
  static const clock::time_point base = clock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - base).count();
  return static_cast<uint32_t>(ms); // wraps after about 49.7 days
}
