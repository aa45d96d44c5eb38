// Shortening a QuickTime track's edit list in place, to make test movies
// whose last samples lie outside what is presented (the ffmpeg tool writes
// an edit list with -use_editlist 1 but always one that covers every
// sample). Throws std::runtime_error when the file has no such edit.
#pragma once

#include <string>

namespace vex::testkit {

// Sets the length of the first edit of track `track` (0-based, in file
// order) to `milliseconds`, in the movie's time scale.
void set_edit_length(const std::string &file, int track, unsigned milliseconds);

} // namespace vex::testkit
