// FLC files as a tool output.
#pragma once

#include "common/media.h"

namespace vex::tools {

// Odd widths get one more column of colour 0 (FLC frames are even).
std::unique_ptr<Output> create_flic_output(const OutputSpec &plan, std::string &why);

} // namespace vex::tools
