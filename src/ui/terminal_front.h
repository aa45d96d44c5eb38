// The front for a process without a display: status lines on stderr
// (rewritten in place with a progress bar when stderr is a terminal, plain
// lines otherwise), questions on the controlling terminal, messages on
// stderr. Without a terminal a question takes its default at once and says
// so; nothing ever waits for input that cannot come.
#pragma once

#include "ui/front.h"

namespace vex::ui {

Front &terminal_front();

} // namespace vex::ui
