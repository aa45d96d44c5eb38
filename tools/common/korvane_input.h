// Korvane movies as a tool input.
#pragma once

#include "common/media.h"

namespace vex::tools {

std::unique_ptr<Input> open_korvane_input(const std::string &name);

} // namespace vex::tools
