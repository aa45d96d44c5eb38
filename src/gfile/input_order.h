// The fixed order in which the readers are offered a file.
#pragma once

#include "gfile/input_reader.h"

namespace vex::gfile {

// Offers `name` (no list, no series) to each row in turn; accepted by the
// first reader that takes it, failed at the end of the order.
Opened try_readers(GFILE &g, const OpenArgs &a, const char *name);

} // namespace vex::gfile
