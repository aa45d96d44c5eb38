#include "ui/window_handle.h"

#include <mutex>
#include <unordered_map>

// Handles are numbers, never the address of anything: callers only hold
// and pass them (the type is incomplete outside this file).
struct VEXWINDOW;

namespace vex::ui {

namespace {

struct Record {
  WindowKind kind;
  VEXWNDPROC proc;
  void *user;
  void *native = nullptr;
};

// A record lives from make_window to retire_window. Its handle is a number
// that is never given out again, so a stale handle in a tool's hands finds
// nothing, even when a newer window took the record's memory: the table
// holds the windows alive now, whatever a long run made and destroyed.
// Handles count down by 2 from the top of the address space: odd, and far
// from any object, so a foreign pointer passed in never names a window.
struct Registry {
  std::mutex lock;
  uintptr_t made = 0;
  std::unordered_map<uintptr_t, Record> live;
};

Registry &registry() {
  static Registry r;
  return r;
}

uintptr_t key(VEXWND w) { return reinterpret_cast<uintptr_t>(w); }

// Under the registry's lock.
Record *find_live(VEXWND w) {
  auto &live = registry().live;
  const auto at = live.find(key(w));
  return at == live.end() ? nullptr : &at->second;
}

} // namespace

VEXWND make_window(WindowKind kind, VEXWNDPROC proc, void *user) {
  Registry &reg = registry();
  std::lock_guard g(reg.lock);
  const uintptr_t handle = ~uintptr_t{0} - 2 * reg.made++;
  reg.live.emplace(handle, Record{kind, proc, user});
  return reinterpret_cast<VEXWND>(handle);
}

void retire_window(VEXWND window) {
  std::lock_guard g(registry().lock);
  registry().live.erase(key(window));
}

bool window_alive(VEXWND window) {
  std::lock_guard g(registry().lock);
  return find_live(window) != nullptr;
}

void *native_of(VEXWND window) {
  std::lock_guard g(registry().lock);
  const Record *w = find_live(window);
  return w ? w->native : nullptr;
}

void set_native(VEXWND window, void *native) {
  std::lock_guard g(registry().lock);
  if (Record *w = find_live(window))
    w->native = native;
}

} // namespace vex::ui

using namespace vex::ui;

extern "C" VEXWND VEXWindowCreate(VEXWNDPROC proc, void *user) { return make_window(WindowKind::owner, proc, user); }

extern "C" void VEXWindowDestroy(VEXWND window) {
  // Only the tool's own windows; the library's go with their own close.
  std::lock_guard g(registry().lock);
  if (const Record *w = find_live(window); w && w->kind == WindowKind::owner)
    registry().live.erase(key(window));
}

extern "C" void VEXWindowSetNative(VEXWND window, void *gtk_window) {
  std::lock_guard g(registry().lock);
  Record *w = find_live(window);
  if (w && w->kind == WindowKind::owner)
    w->native = gtk_window;
}

extern "C" intptr_t VEXWindowSend(VEXWND window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  VEXWNDPROC proc = nullptr;
  void *user = nullptr;
  {
    std::lock_guard g(registry().lock);
    if (const Record *w = find_live(window)) {
      proc = w->proc;
      user = w->user;
    }
  }
  // Called outside the lock: the callback may make or destroy windows.
  return proc ? proc(window, message, wparam, lparam, user) : 0;
}

extern "C" intptr_t CopyData(VEXWND window, uintptr_t wparam, uintptr_t data, uint32_t length, const void *pointer) {
  const VEXCOPYDATA record{data, length, pointer};
  return VEXWindowSend(window, VEXWM_COPYDATA, wparam, reinterpret_cast<intptr_t>(&record));
}
