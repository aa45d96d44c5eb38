// Tolm movies as a tool input: true-colour frames reduced to a fixed
// palette for the 8-bit outputs.
#pragma once

#include "common/media.h"

namespace vex::tools {

std::unique_ptr<Input> open_tolm_input(const std::string &name);

} // namespace vex::tools
