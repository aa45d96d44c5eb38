#include "formats/korvane/korvane_log.h"

#include <atomic>

#include "util/diagnostics.h"
#include "util/profile.h"

namespace vex::formats::korvane {

namespace {

constexpr uint32_t kRemembered = 0x1000;
std::atomic<uint32_t> g_setting{0}; // 0: not read yet

uint32_t read_setting() {
  return static_cast<uint32_t>(util::profile_int("Korvane", "Debug", "VEXUTIL_KORVANE_DEBUG", 0)) + kRemembered;
}

} // namespace

uint32_t debug_setting() {
  uint32_t s = g_setting.load(std::memory_order_acquire);
  if (s == 0) {
    s = read_setting();
    g_setting.store(s, std::memory_order_release);
  }
  return s;
}

bool log_enabled() { return (debug_setting() & 0xFF) == 1; }

void reload_debug_setting() { g_setting.store(read_setting(), std::memory_order_release); }

void log_line(std::string_view text) {
  if (log_enabled())
    util::diagnose(text, true);
}

} // namespace vex::formats::korvane
