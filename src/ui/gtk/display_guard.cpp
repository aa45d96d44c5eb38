#include "ui/gtk/display_guard.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <atomic>

namespace vex::ui::gtk {

namespace {

std::atomic<bool> g_lost{false};

int on_io_error(Display *) {
  g_lost = true;
  auto &points = detail::jump_points();
  if (!points.empty()) {
    sigjmp_buf *to = points.back();
    points.pop_back();
    siglongjmp(*to, 1);
  }
  return 0; // outside our calls: the exit handler below keeps the process
}

// Xlib (1.7 and later) calls this instead of exit() after the handler.
void on_io_error_exit(Display *, void *) { g_lost = true; }

} // namespace

namespace detail {
// Per thread: the handler runs on the thread whose X call failed, and may
// only jump back into that thread's own guarded() frames.
std::vector<sigjmp_buf *> &jump_points() {
  thread_local std::vector<sigjmp_buf *> points;
  return points;
}
} // namespace detail

bool display_lost() { return g_lost; }

void install_display_guard() {
  GdkDisplay *display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display))
    return;
  Display *x = gdk_x11_display_get_xdisplay(display);
  XSetIOErrorHandler(on_io_error);
  XSetIOErrorExitHandler(x, on_io_error_exit, nullptr);
}

} // namespace vex::ui::gtk
