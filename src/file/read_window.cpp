#include "file/read_window.h"

#include "util/limits.h"
#include "util/status.h"

namespace vex::file {

namespace {
bool inside(uint64_t at, uint64_t len, uint64_t offset, size_t n) {
  return offset >= at && offset - at <= len && n <= len - (offset - at);
}
} // namespace

bool ReadWindow::set_window(size_t bytes, size_t grow_up_to) {
  window_size_ = 0;
  window_len_ = 0;
  window_.reset();
  grow_up_to_ = grow_up_to;
  if (source_->in_memory())
    return true;
  const uint64_t size = (uint64_t{bytes} + kPiece - 1) / kPiece * kPiece + kPiece;
  if (size > util::buffer_limit())
    return util::fail(util::Status::kTooLarge, "a read-ahead window of %zu bytes is too large", bytes);
  window_ = util::allocate_block(static_cast<size_t>(size));
  if (!window_)
    return util::fail(util::Status::kOutOfMemory);
  window_size_ = static_cast<size_t>(size);
  return true;
}

bool ReadWindow::preload(uint64_t offset, uint64_t n) {
  preload_.reset();
  preload_size_ = 0;
  preloaded_ = false;
  if (offset > source_->size() || n > source_->size() - offset)
    return util::fail(util::Status::kDamaged, "%llu bytes at %llu run past the end of the file",
                      static_cast<unsigned long long>(n), static_cast<unsigned long long>(offset));
  if (source_->in_memory() || n == 0) {
    preload_at_ = offset; // nothing to hold: a memory source serves itself
    return preloaded_ = true;
  }
  if (n > util::buffer_limit())
    return util::fail(util::Status::kTooLarge);
  preload_ = util::allocate_block(static_cast<size_t>(n));
  if (!preload_)
    return util::fail(util::Status::kOutOfMemory);
  if (!source_->read_exact(offset, preload_.get(), static_cast<size_t>(n))) {
    preload_.reset();
    return util::fail(util::Status::kReadFailed, "%llu bytes at %llu cannot be read",
                      static_cast<unsigned long long>(n), static_cast<unsigned long long>(offset));
  }
  preload_at_ = offset;
  preload_size_ = n;
  return preloaded_ = true;
}

bool ReadWindow::fetch(uint64_t offset, size_t n, std::span<const uint8_t> &out) {
  if (preloaded_ && !source_->in_memory() && inside(preload_at_, preload_size_, offset, n)) {
    out = n == 0 ? std::span<const uint8_t>{} : std::span<const uint8_t>{preload_.get() + (offset - preload_at_), n};
    return true;
  }
  const uint64_t size = source_->size();
  if (offset > size || n > size - offset)
    return false;
  if (n == 0) {
    out = {};
    return true;
  }
  if (source_->in_memory()) {
    out = source_->memory().subspan(static_cast<size_t>(offset), n);
    return true;
  }
  if (window_len_ != 0 && inside(window_at_, window_len_, offset, n)) {
    out = {window_.get() + (offset - window_at_), n};
    return true;
  }
  const uint64_t aligned = offset / kPiece * kPiece;
  if (window_size_ != 0 && offset - aligned + n > window_size_ && n <= grow_up_to_ &&
      !set_window(n, grow_up_to_))
    return false;
  if (window_size_ == 0 || offset - aligned + n > window_size_)
    return spill(offset, n, out);
  window_at_ = aligned;
  window_len_ = source_->read_at(aligned, window_.get(), window_size_);
  if (!inside(window_at_, window_len_, offset, n))
    return false;
  out = {window_.get() + (offset - window_at_), n};
  return true;
}

bool ReadWindow::spill(uint64_t offset, size_t n, std::span<const uint8_t> &out) {
  if (n > spill_size_) {
    spill_.reset();
    spill_size_ = 0;
    spill_ = util::allocate_block(n);
    if (!spill_)
      return util::fail(util::Status::kOutOfMemory);
    spill_size_ = n;
  }
  if (!source_->read_exact(offset, spill_.get(), n))
    return false;
  out = {spill_.get(), n};
  return true;
}

} // namespace vex::file
