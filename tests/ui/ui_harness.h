// Running user-interface code where it cannot hang the test: in a child
// process with a time limit, either cut off from any terminal (a session
// of its own, stdin from /dev/null, stderr captured) or on a fresh
// pseudo-terminal that the test types into.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>

namespace vex::ui::test {

struct ChildResult {
  int status = -1; // exit status, or -1 when killed or crashed
  bool timed_out = false;
  std::string output; // stderr (detached) or everything the terminal showed (pty)
};

// body runs in a child without a controlling terminal; its return value is
// the exit status. terminal_only: the child is also kept from any display.
ChildResult run_detached(const std::function<int()> &body, std::chrono::milliseconds limit, bool terminal_only = true);

// A child on a pseudo-terminal (stdin, stdout and stderr, and its
// controlling terminal).
class PtyChild {
public:
  PtyChild(const std::function<int()> &body);
  ~PtyChild();
  PtyChild(const PtyChild &) = delete;
  PtyChild &operator=(const PtyChild &) = delete;

  // Waits until the output so far contains text; false after the limit.
  bool expect(const std::string &text, std::chrono::milliseconds limit = std::chrono::seconds(10));
  void type(const std::string &keys);
  // Waits for the child's end; the result holds all the output.
  ChildResult finish(std::chrono::milliseconds limit = std::chrono::seconds(10));
  const std::string &output() const { return output_; }
  // Output after the last expect() match.
  std::string since_mark() const { return output_.substr(mark_); }

private:
  bool read_some(int wait_ms);
  pid_t pid_ = -1;
  int master_ = -1;
  std::string output_;
  size_t mark_ = 0;
};

// Environment for the terminal front in a child.
void use_terminal_front();

// Child-side checks: a failed one ends the child with its line number.
#define CHILD_CHECK(cond)                                                                                              \
  do {                                                                                                                 \
    if (!(cond))                                                                                                       \
      return __LINE__;                                                                                                 \
  } while (0)

// The child ended within its limit with `status`; a body of CHILD_CHECKs
// ends with 0, any other status is the line of the check that failed.
void expect_exit(const ChildResult &r, int status = 0);
// The child's output holds every one of texts / none of them.
void expect_said(const ChildResult &r, std::initializer_list<std::string> texts);
void expect_not_said(const ChildResult &r, std::initializer_list<std::string> texts);
// How many times text stands in the child's output.
size_t times_said(const ChildResult &r, const std::string &text);

} // namespace vex::ui::test
