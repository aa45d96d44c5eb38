// Running a piece of a test in a child process: for what may crash, hang,
// exhaust memory or take over the process (signals, the terminal, exit).
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace vex::testkit {

struct ChildLimits {
  std::chrono::milliseconds timeout{30000}; // killed with SIGKILL past it
  uint64_t address_space = 0;               // RLIMIT_AS in bytes; 0: none
};

struct ChildResult {
  int status = -1;        // the child's exit code; -1 when a signal ended it
  int signal = 0;         // the signal that ended it, or 0
  bool timed_out = false; // killed at the time limit
  std::string out, err;   // what it wrote to standard output and error
  uint64_t peak = 0;      // peak resident memory, bytes
  double seconds = 0;     // wall time from fork to exit
};

// Forks; the child runs `body` with its standard output and error piped to
// the parent and exits with what body returns (an exception out of body:
// 125; under LeakSanitizer a leak found at the end: 99). The parent reads
// both pipes until the child ends or the time limit passes.
ChildResult run_child(const std::function<int()> &body, const ChildLimits &limits = {});

} // namespace vex::testkit
