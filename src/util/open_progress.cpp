#include "util/open_progress.h"

#include <algorithm>
#include <cstdio>

#include "util/status.h"

namespace vex::util {
namespace {

thread_local OpenProgress *t_innermost = nullptr;

Failure cancelled_reason() { return fail(Status::kCancelled, "cancelled"); }

} // namespace

OpenProgress::OpenProgress(VEXMessageCallback callback, const char *name)
    : outer_(t_innermost), callback_(callback ? callback : outer_ ? outer_->callback_ : nullptr),
      name_(name ? name : "") {
  t_innermost = this;
}

OpenProgress::~OpenProgress() { t_innermost = outer_; }

void OpenProgress::cancel() {
  for (OpenProgress *p = this; p; p = p->outer_)
    p->cancelled_ = true;
}

bool tell_open(const char *text, int32_t level) {
  OpenProgress *open = t_innermost;
  if (!open)
    return true;
  if (!open->cancelled_ && open->callback_ && open->callback_(text, level) != 0)
    open->cancel();
  return open->cancelled_ ? cancelled_reason() : true;
}

OpenStep::OpenStep(const char *what) : what_(what), open_(t_innermost) {}

bool OpenStep::at(uint64_t done, uint64_t total) {
  if (!open_)
    return true;
  if (open_->cancelled_)
    return cancelled_reason();
  if (!open_->callback_)
    return true;
  const auto now = std::chrono::steady_clock::now();
  if (!first_ && now < next_)
    return true;
  next_ = now + kInterval;
  const uint64_t percent = total ? std::min<uint64_t>(done, total) * 100 / total : 0;
  char text[320];
  std::snprintf(text, sizeof text, "%s %s (%u%%)...", what_, open_->name_.c_str(), static_cast<unsigned>(percent));
  const int32_t level = first_ ? 1 : 0;
  first_ = false;
  return tell_open(text, level);
}

} // namespace vex::util
