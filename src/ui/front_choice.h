// Which front talks to the user. The choice is made when a status window
// or a dialog is initialised: after VEXUIOpenWindows succeeded, GTK (the
// terminal only once its display went away); else VEXUTIL_UI=terminal or
// =gtk forces one; otherwise a display (DISPLAY or WAYLAND_DISPLAY)
// selects GTK when its module loads and opens the display, and the
// terminal front serves every other case.
#pragma once

#include "ui/front.h"

namespace vex::ui {

Front &choose_front();
// The front chosen last; chooses one when none was chosen yet.
Front &current_front();
// After the GTK front lost its display: the terminal front from now on,
// with one line on stderr to say so.
Front &fall_back_to_terminal();

} // namespace vex::ui
