// FLIC animations (FLI and FLC) as a tool input.
#pragma once

#include "common/media.h"

namespace vex::tools {

std::unique_ptr<Input> open_flic_input(const std::string &name);

} // namespace vex::tools
