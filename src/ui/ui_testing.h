// Read-only views of the windows for the tests: what the front shows right
// now (read back from its widgets), and the cancel counters. Not exported
// from the shared library.
#pragma once

#include <cstdint>
#include <string>

#include "ui/front.h"

namespace vex::ui::testing {

Shown status_shown();
// The status and information texts as the logic holds them (shown or not).
std::string status_text();
std::string info_text();
// Any thread: the call is carried to the dialog's thread when one runs;
// nothing shown (exists false) when no dialog runs.
Shown dialog_shown();
uint8_t cancel_requests();
bool cancelled();

} // namespace vex::ui::testing
