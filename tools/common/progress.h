// A one-line progress bar on stderr: percentage, frames per second and the
// time left. It draws only when stderr is a terminal, at most ten times a
// second, and clears its line when done.
#pragma once

#include <cstdint>

namespace vex::tools {

class Progress {
public:
  Progress(uint32_t total, bool wanted);
  ~Progress();
  Progress(const Progress &) = delete;
  Progress &operator=(const Progress &) = delete;

  void update(uint32_t done);
  void finish();
  // Milliseconds since the start.
  uint32_t elapsed() const;

private:
  uint32_t total_;
  bool shown_;
  bool drawn_ = false;
  uint32_t start_;
  uint32_t last_draw_ = 0;
};

} // namespace vex::tools
