// Starting and stopping the media libraries for the movie readers and the
// AVI layer. The libraries keep no state that needs tearing down, so the
// count and the state only decide whether the readers may run. They are
// the process's, changed by readers opening on any thread: one lock
// guards all three.
#include "movie/movie_runtime.h"

#include <mutex>

#include "movie/ffmpeg_api.h"

#include "movie/media_reader.h"
#include "vexutil/movie.h"

namespace vex::movie {

namespace {
std::mutex g_lock;
RuntimeState g_state = RuntimeState::not_tried;
int g_count = 0;
bool g_avi_started = false;

// Reference-counted start: true when the demuxers the readers need exist.
bool runtime_init() {
  if (g_count > 0) {
    ++g_count;
    return true;
  }
  if (!start_libraries() || !ff().av_find_input_format("mov") || !ff().av_find_input_format("avi"))
    return false;
  ++g_count;
  return true;
}

void runtime_end() {
  if (g_count <= 0)
    return;
  --g_count;
}
} // namespace

bool movie_runtime_start() {
  std::lock_guard hold(g_lock);
  if (g_state == RuntimeState::ready)
    return true;
  if (g_state == RuntimeState::failed)
    return false;
  g_state = runtime_init() ? RuntimeState::ready : RuntimeState::failed;
  return g_state == RuntimeState::ready;
}

RuntimeState movie_runtime_state() {
  std::lock_guard hold(g_lock);
  return g_state;
}
int movie_runtime_count() {
  std::lock_guard hold(g_lock);
  return g_count;
}

} // namespace vex::movie

using namespace vex::movie;

extern "C" VEX_API void VEXAVIInit(void) {
  std::lock_guard hold(g_lock);
  if (g_avi_started)
    return;
  g_avi_started = true;
  start_libraries(); // when FFmpeg cannot be loaded, every open says so
  ++g_count;         // never undone, as the AVI layer stays usable for the process
}

extern "C" VEX_API void VEXQTShutdown(void) {
  std::lock_guard hold(g_lock);
  if (g_state != RuntimeState::ready) {
    if (g_state == RuntimeState::failed)
      g_state = RuntimeState::not_tried; // a failed start may be retried
    return;
  }
  runtime_end();
  g_state = RuntimeState::not_tried;
}
