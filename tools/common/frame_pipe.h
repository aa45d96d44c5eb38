// Frames of a graphics source fetched ahead (up to kSlots - 1 frames) on a
// thread of their own, so that decoding the next frames overlaps writing
// this one, and a fetching thread that got the processor while the writer
// did not keeps its lead. The source's callback runs on the fetching
// thread and must not talk to the user itself; everything else (the
// writer, sound, progress and cancel) stays on the calling thread, which
// waits for a frame in slices (next_for) so that it can show what the
// source is doing (a long palette analysis) and pass on a cancel.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vexutil/gfile.h"

namespace vex::tools {

class FramePipe {
public:
  struct Frame {
    std::vector<uint8_t> pixels; // height rows of `pitch` bytes, as GFileGet left them
    int32_t pitch = 0;
    uint8_t palette[256][3] = {};
    bool ok = false;
    bool damaged = false; // GFileFrameDamaged: not decoded in full
    std::string reason; // VEXLastError() of the fetch when !ok
  };

  // Starts fetching frames 1..count of `g`, which the pipe uses alone until
  // it is destroyed.
  FramePipe(GFILE *g, uint32_t count);
  ~FramePipe(); // stops the fetching and waits for it
  FramePipe(const FramePipe &) = delete;
  FramePipe &operator=(const FramePipe &) = delete;

  // The next frame in order; valid until the next call. A frame that
  // failed is the last one.
  const Frame &next();
  // The same, or null when it has not come within `wait`.
  const Frame *next_for(std::chrono::milliseconds wait);

private:
  static constexpr size_t kSlots = 6;
  void fetch_all();

  GFILE *g_;
  uint32_t count_;
  Frame slots_[kSlots];
  uint32_t fetched_ = 0, taken_ = 0; // frames put into and taken out of the slots
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread worker_;
};

} // namespace vex::tools
