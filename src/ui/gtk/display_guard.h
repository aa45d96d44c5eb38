// Survival of a lost X connection. Xlib calls its I/O error handler when
// the display goes away and exits the process if the handler returns; GDK
// installs a handler that exits as well. Ours jumps back to the innermost
// guarded() call of this module, which then reports failure, and from then
// on the module touches GTK no more. What the jump abandons (GTK's own
// state, a few blocks) is left behind; the process goes on.
#pragma once

#include <setjmp.h>

#include <cstddef>
#include <vector>

namespace vex::ui::gtk {

// Once true, never false again in the life of the process.
bool display_lost();
// Replaces the I/O error handlers of the default display; after gtk_init.
void install_display_guard();

namespace detail {
std::vector<sigjmp_buf *> &jump_points();

// Calls call out of line, so that none of its locals live in guarded()'s
// frame, whose values a jump back to the set-jump point leaves undefined.
template <class F> [[gnu::noinline]] void call_apart(F &call) { call(); }
} // namespace detail

// Runs call with a jump point for the I/O error handler: false when the
// display was already lost or went away during the call.
template <class F> bool guarded(F &&call) {
  if (display_lost())
    return false;
  sigjmp_buf here;
  auto &points = detail::jump_points();
  const size_t depth = points.size();
  if (sigsetjmp(here, 0) != 0) {
    points.resize(depth); // the handler took this point (and any inner one)
    return false;
  }
  points.push_back(&here);
  detail::call_apart(call);
  points.resize(depth);
  return true;
}

} // namespace vex::ui::gtk
