// A still-image series is put into place all at once: every still waits
// under its own temporary name until the series is complete, and only
// then are they renamed to their names. A file a still replaces is set
// aside under a temporary name of its own until the whole series stands,
// and put back when any rename fails, so that a cancelled or failed run
// never costs the user a file.
#pragma once

#include "ogfile/ogfile_state.h"

namespace vex::ogfile {

// Renames every saved still into place; false (the reason recorded, every
// replaced file back under its name, no new still left under a final
// name) when one cannot be. The temporaries are gone either way.
bool commit_series(OGFILESTATE &s);

// Removes the saved stills' temporaries; no final name is touched.
void abandon_series(OGFILESTATE &s);

} // namespace vex::ogfile
