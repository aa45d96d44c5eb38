#include "util/diagnostics.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "util/profile.h"
#include "vexutil/util.h"

namespace vex::util {
namespace {

// The sink and its user pointer change together under the lock; lines are
// handed on under it too, so a sink is never called after it was replaced.
// Recursive, so that a sink may call into the library.
std::recursive_mutex g_sink_lock;
VEXDiagnosticSink g_sink = nullptr;
void *g_sink_user = nullptr;

// 0 not read yet, 1 off, 2 on.
std::atomic<int> g_switch{0};

bool switch_on() {
  int s = g_switch.load(std::memory_order_acquire);
  if (s == 0) {
    const char *v = std::getenv("VEXUTIL_DIAGNOSTICS");
    s = v && leading_int(v) != 0 ? 2 : 1;
    g_switch.store(s, std::memory_order_release);
  }
  return s == 2;
}

} // namespace

void diagnose(std::string_view line, bool asked) {
  // No allocation on the way: the allocator reports through here when
  // memory has run out. Lines longer than the buffer are cut.
  char text[1024];
  const size_t n = std::min(line.size(), sizeof text - 1);
  std::memcpy(text, line.data(), n);
  text[n] = '\0';
  {
    std::lock_guard<std::recursive_mutex> hold(g_sink_lock);
    if (g_sink) {
      g_sink(g_sink_user, text);
      return;
    }
  }
  if (asked || switch_on())
    std::fprintf(stderr, "%s\n", text);
}

void reload_diagnostics_switch() { g_switch.store(0, std::memory_order_release); }

} // namespace vex::util

extern "C" void VEXSetDiagnosticSink(VEXDiagnosticSink sink, void *user) {
  std::lock_guard<std::recursive_mutex> hold(vex::util::g_sink_lock);
  vex::util::g_sink = sink;
  vex::util::g_sink_user = user;
}
