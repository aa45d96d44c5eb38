// Asking the user to pick one line of a list, in a window: on the running
// dialog's thread when a dialog runs, else on the front of the calling
// thread. The terminal shows no lists.
#pragma once

#include <string>
#include <vector>

#include "ui/front.h"

namespace vex::ui {

// The index picked; kPickCancelled when the user cancelled; kPickUnavailable
// when no window can show the list.
int pick_from_list(const std::string &text, const std::vector<std::string> &items, int selected);

} // namespace vex::ui
