// The fixed order in which the readers are offered a file.
#pragma once

#include "gfile/graphics_source.h"

namespace vex::gfile {

// Offers `name` (no list, no series) to each reader in turn; accepted by
// the first that takes it, failed at the end of the order.
Opened try_readers(GFILE &g, const OpenArgs &a, const char *name);

} // namespace vex::gfile
