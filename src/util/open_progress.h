// The long steps inside an open (a movie's listing of its samples, a
// list's walk over its entries) tell their progress to the callback of the
// open that runs them, and stop when it asks to cancel.
//
// An open puts an OpenProgress on its thread for as long as it runs; the
// steps deep below it (the movie readers know nothing of the sources) find
// the innermost one. Opens nest (a list's entries, the palette source
// GFileGet opens): an open without a callback of its own speaks through the
// one around it, so that an entry's movie is counted under the list's
// callback. A cancel is final for the open it happened in and for every
// open around it on the thread: each of them fails with the reason
// "cancelled" (Status::kCancelled).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "vexutil/util.h"

namespace vex::util {

class OpenProgress {
public:
  OpenProgress(VEXMessageCallback callback, const char *name);
  ~OpenProgress();
  OpenProgress(const OpenProgress &) = delete;
  OpenProgress &operator=(const OpenProgress &) = delete;

  // The callback asked to cancel during this open (or one inside it).
  bool cancelled() const { return cancelled_; }

private:
  friend bool tell_open(const char *text, int32_t level);
  friend class OpenStep;
  void cancel();

  OpenProgress *outer_;
  VEXMessageCallback callback_;
  std::string name_;
  bool cancelled_ = false;
};

// Tells the innermost open's callback `text` at `level` (0, or 1 for the
// first message of a step). False, with the reason "cancelled", when the
// open is cancelled, by this answer or before; true without an open or a
// callback.
bool tell_open(const char *text, int32_t level);

// One long step of the innermost open: "<what> <name> (<p>%)..." at its
// first report (level 1), then at most every kInterval (level 0), so that
// a step reporting per packet still asks only a few times a second.
class OpenStep {
public:
  static constexpr std::chrono::milliseconds kInterval{200};
  explicit OpenStep(const char *what);
  // `done` of `total` units (bytes, entries); false once the open is
  // cancelled (the reason "cancelled" recorded).
  bool at(uint64_t done, uint64_t total);

private:
  const char *what_;
  OpenProgress *open_;
  std::chrono::steady_clock::time_point next_{};
  bool first_ = true;
};

} // namespace vex::util
