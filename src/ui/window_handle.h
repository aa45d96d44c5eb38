// VEXWND records: the tool's owner windows, the status window and the
// dialog. A handle is a number never given out twice, not an address: a
// destroyed window's record is freed, and its stale handle in a tool's
// hands finds nothing (answers 0) instead of touching freed memory or a
// newer window.
#pragma once

#include <cstdint>

#include "vexutil/ui.h"

namespace vex::ui {

enum class WindowKind { owner, status, dialog };

// What the status window's and the dialog's Cancel button reads once the
// job has ended.
inline constexpr const char *kDoneLabel = "&Done";

// A window made by the library itself; its callback is the logic's own.
VEXWND make_window(WindowKind kind, VEXWNDPROC proc, void *user);
void retire_window(VEXWND window);
bool window_alive(VEXWND window);
// The front's native window tied to the handle (GtkWindow*), or null.
void *native_of(VEXWND window);
void set_native(VEXWND window, void *native);

} // namespace vex::ui
