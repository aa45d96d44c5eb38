// Modal message boxes: the text, an icon, up to three buttons in the order
// given and one of them the default (focused, and pressed by Enter).
#pragma once

#include "ui/front.h"

namespace vex::ui::gtk {

// Reply::none when the display went away during the box. *shown_id holds
// the box's X window while it is up (0 otherwise), for the tests.
Reply run_box(const Box &box, unsigned long *shown_id);

} // namespace vex::ui::gtk
