#include "common/frame_pipe.h"

#include <cstring>

#include "vexutil/util.h"

namespace vex::tools {

FramePipe::FramePipe(GFILE *g, uint32_t count) : g_(g), count_(count), worker_([this] { fetch_all(); }) {}

FramePipe::~FramePipe() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

// Slot i % kSlots holds frame i. The worker fills a slot only once the
// reader has taken the frame that was in it, and the frame the reader
// holds (taken_ - 1) stays untouched until its next call.
void FramePipe::fetch_all() {
  for (uint32_t i = 0; i < count_; ++i) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || i < taken_ + kSlots - 1; });
      if (stop_)
        return;
    }
    Frame &f = slots_[i % kSlots];
    f.ok = GFileGet(g_) == 1;
    f.damaged = f.ok && GFileFrameDamaged(g_) != 0;
    if (f.ok) {
      f.pitch = g_->pitch;
      f.pixels.assign(g_->buffer, g_->buffer + size_t(g_->pitch) * size_t(g_->height));
      std::memcpy(f.palette, g_->palette, sizeof f.palette);
    } else {
      f.reason = VEXLastError();
    }
    {
      std::lock_guard lock(mutex_);
      fetched_ = i + 1;
    }
    changed_.notify_all();
    if (!f.ok)
      return;
  }
}

const FramePipe::Frame &FramePipe::next() {
  const Frame *f = nullptr;
  while (!f)
    f = next_for(std::chrono::hours(1));
  return *f;
}

const FramePipe::Frame *FramePipe::next_for(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, wait, [&] { return fetched_ > taken_; }))
    return nullptr;
  const Frame *f = &slots_[taken_ % kSlots];
  ++taken_;
  lock.unlock();
  changed_.notify_all();
  return f;
}

} // namespace vex::tools
