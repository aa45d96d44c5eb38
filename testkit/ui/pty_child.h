// A child process on a fresh pseudo-terminal of 100 x 30 (its standard
// input, output and error, and its controlling terminal) that a test types
// into and reads: for what a person at a terminal sees and answers. Every
// wait has a time limit; a child still running at the end is killed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

#include "testkit/util/child_process.h"

namespace vex::testkit {

class PtyChild {
public:
  // body runs in the child; its return value is the exit status (under
  // LeakSanitizer a leak found at the end: 99).
  explicit PtyChild(const std::function<int()> &body);
  ~PtyChild();
  PtyChild(const PtyChild &) = delete;
  PtyChild &operator=(const PtyChild &) = delete;

  // Waits until the output after the last match holds text; false after
  // the limit.
  bool expect(const std::string &text, std::chrono::milliseconds limit = std::chrono::seconds(10));
  void type(const std::string &keys);
  // Waits for the child's end; `out` holds everything the terminal showed.
  ChildResult finish(std::chrono::milliseconds limit = std::chrono::seconds(10));
  const std::string &output() const { return output_; }

private:
  bool read_some(int wait_ms);
  pid_t pid_ = -1;
  int master_ = -1;
  std::string output_;
  size_t mark_ = 0;
};

} // namespace vex::testkit
