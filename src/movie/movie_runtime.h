// Process-wide hold of the movie readers on the media libraries: taken by
// the first reader open, dropped by VEXQTShutdown.
#pragma once

namespace vex::movie {

enum class RuntimeState { not_tried = 0, ready = 1, failed = 2 };

// Starts the libraries for the movie readers on first use; false when they
// cannot read movies (then every later open fails until a shutdown).
bool movie_runtime_start();
RuntimeState movie_runtime_state();
// Reference count of the libraries' start (AVI init counts once).
int movie_runtime_count();

} // namespace vex::movie
