// Read-only views of the windows for the tests: what the front shows right
// now (read back from its widgets), and the cancel counters. Not exported
// from the shared library.
#pragma once

#include <cstdint>

#include "ui/front.h"

namespace vex::ui::testing {

Shown status_shown();
// Any thread: the call is carried to the dialog's thread when one runs.
Shown dialog_shown();
// Nothing shown (exists false) when no dialog runs.
uint8_t cancel_requests();
bool cancelled();

} // namespace vex::ui::testing
