#include "common/frame_pipe.h"

#include <algorithm>
#include <cstring>

#include "vexutil/util.h"

namespace vex::tools {

namespace {
// The bytes GFileGet will deliver a frame in: the width rounded up to a
// multiple of 4, at 4 bytes a pixel in true colour (the pitch before the
// first GFileGet counts pixels).
uint64_t frame_bytes(const GFILE &g) {
  const uint64_t row = (uint64_t(std::max(g.width, 0)) + 3) & ~uint64_t{3};
  return row * (g.true_colour ? 4 : 1) * uint64_t(std::max(g.height, 0));
}
} // namespace

size_t FramePipe::ahead_for(uint64_t bytes) {
  return std::clamp<uint64_t>(bytes ? kAheadBytes / bytes : kMaxAhead, 1, kMaxAhead);
}

FramePipe::FramePipe(GFILE *g, uint32_t count)
    : g_(g), count_(count), slots_(ahead_for(frame_bytes(*g)) + 1), worker_([this] { fetch_all(); }) {}

FramePipe::~FramePipe() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

// Slot i % slots holds frame i. The worker fills a slot only once the
// reader has taken the frame that was in it, and the frame the reader
// holds (taken_ - 1) stays untouched until its next call.
void FramePipe::fetch_all() {
  const size_t n = slots_.size();
  for (uint32_t i = 0; i < count_; ++i) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || i < taken_ + n - 1; });
      if (stop_)
        return;
    }
    Frame &f = slots_[i % n];
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
    if (!f.ok || f.damaged) // nothing after it is passed on: no more is decoded
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
  const Frame *f = &slots_[taken_ % slots_.size()];
  ++taken_;
  lock.unlock();
  changed_.notify_all();
  return f;
}

} // namespace vex::tools
