// The fixed order in which the sound readers are offered a file.
#pragma once

#include "sfile/sound_reader.h"

namespace vex::sfile {

// Offers `name` (no list, no series) to each row in turn; accepted by the
// first reader that takes it, failed (with the reason told) when none does.
Opened try_readers(Source &s, const OpenArgs &a, const char *name, lists::InputFiles &files);

} // namespace vex::sfile
