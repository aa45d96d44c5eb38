// A modal list of lines to pick one of: the text above, the lines in a
// scrolled list (the chosen one selected), OK (the default, also a double
// click or Enter on a line) and Cancel.
#pragma once

#include "ui/front.h"

namespace vex::ui::gtk {

// The index picked, kPickCancelled, or kPickUnavailable when the display
// went away. *shown_id holds the list's X window while it is up.
int run_list(const ListBox &list, unsigned long *shown_id);

} // namespace vex::ui::gtk
