#include "ui/window_handle.h"

#include <memory>
#include <mutex>
#include <vector>

struct VEXWINDOW {
  vex::ui::WindowKind kind;
  VEXWNDPROC proc;
  void *user;
  void *native = nullptr;
  bool alive = true;
};

namespace vex::ui {

namespace {

// Records are never freed or reused while the process runs: a handle is a
// plain pointer in the tools' hands and may outlive its window, and a stale
// one must never reach a newer window. A record is a few dozen bytes.
struct Registry {
  std::mutex lock;
  std::vector<std::unique_ptr<VEXWINDOW>> records;
};

Registry &registry() {
  static Registry r;
  return r;
}

VEXWINDOW *find_live(VEXWND w) {
  for (auto &r : registry().records)
    if (r.get() == w && r->alive)
      return r.get();
  return nullptr;
}

} // namespace

VEXWND make_window(WindowKind kind, VEXWNDPROC proc, void *user) {
  Registry &reg = registry();
  std::lock_guard g(reg.lock);
  reg.records.push_back(std::make_unique<VEXWINDOW>(VEXWINDOW{kind, proc, user}));
  return reg.records.back().get();
}

void retire_window(VEXWND window) {
  std::lock_guard g(registry().lock);
  if (VEXWINDOW *w = find_live(window)) {
    w->alive = false;
    w->native = nullptr;
  }
}

bool window_alive(VEXWND window) {
  std::lock_guard g(registry().lock);
  return find_live(window) != nullptr;
}

void *native_of(VEXWND window) {
  std::lock_guard g(registry().lock);
  const VEXWINDOW *w = find_live(window);
  return w ? w->native : nullptr;
}

void set_native(VEXWND window, void *native) {
  std::lock_guard g(registry().lock);
  if (VEXWINDOW *w = find_live(window))
    w->native = native;
}

} // namespace vex::ui

using namespace vex::ui;

extern "C" VEXWND VEXWindowCreate(VEXWNDPROC proc, void *user) { return make_window(WindowKind::owner, proc, user); }

extern "C" void VEXWindowDestroy(VEXWND window) {
  // Only the tool's own windows; the library's go with their own close.
  std::unique_lock g(registry().lock);
  VEXWINDOW *w = find_live(window);
  const bool owner = w && w->kind == WindowKind::owner;
  g.unlock();
  if (owner)
    retire_window(window);
}

extern "C" void VEXWindowSetNative(VEXWND window, void *gtk_window) {
  std::unique_lock g(registry().lock);
  VEXWINDOW *w = find_live(window);
  if (w && w->kind == WindowKind::owner)
    w->native = gtk_window;
}

extern "C" intptr_t VEXWindowSend(VEXWND window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  VEXWNDPROC proc = nullptr;
  void *user = nullptr;
  {
    std::lock_guard g(registry().lock);
    if (const VEXWINDOW *w = find_live(window)) {
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
