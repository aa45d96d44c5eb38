#include "testkit/util/child_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace vex::testkit {
namespace {

using Clock = std::chrono::steady_clock;

// _exit skips the leak check at exit; it runs here instead.
[[noreturn]] void end_child(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
#if defined(__SANITIZE_ADDRESS__)
  if (__lsan_do_recoverable_leak_check() != 0)
    status = 99;
#endif
  _exit(status);
}

[[noreturn]] void child(const std::function<int()> &body, const ChildLimits &limits, int out, int err) {
  dup2(out, STDOUT_FILENO);
  dup2(err, STDERR_FILENO);
  close(out);
  close(err);
  if (limits.address_space != 0) {
    const rlimit r{limits.address_space, limits.address_space};
    setrlimit(RLIMIT_AS, &r);
  }
  int status = 125;
  try {
    status = body();
  } catch (...) {
  }
  end_child(status);
}

// Reads both pipes until they close or the deadline passes; false at the deadline.
bool drain(int out, int err, ChildResult &r, Clock::time_point deadline) {
  pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
  std::string *into[2] = {&r.out, &r.err};
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
      return false;
    if (poll(fds, 2, static_cast<int>(left)) < 0)
      continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0)
        continue;
      char buf[4096];
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        into[i]->append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  return true;
}

} // namespace

ChildResult run_child(const std::function<int()> &body, const ChildLimits &limits) {
  ChildResult r;
  int out[2], err[2];
  if (pipe(out) != 0)
    return r;
  if (pipe(err) != 0) {
    close(out[0]);
    close(out[1]);
    return r;
  }
  std::fflush(stdout); // the child must not print the parent's buffered lines again
  std::fflush(stderr);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    close(out[0]);
    close(err[0]);
    child(body, limits, out[1], err[1]);
  }
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    close(out[0]);
    close(err[0]);
    return r;
  }
  if (!drain(out[0], err[0], r, start + limits.timeout)) {
    r.timed_out = true;
    kill(pid, SIGKILL);
  }
  close(out[0]);
  close(err[0]);
  int st = 0;
  rusage usage{};
  while (wait4(pid, &st, 0, &usage) < 0 && errno == EINTR) {
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  r.peak = static_cast<uint64_t>(usage.ru_maxrss) * 1024;
  if (WIFEXITED(st))
    r.status = WEXITSTATUS(st);
  else if (WIFSIGNALED(st))
    r.signal = WTERMSIG(st);
  return r;
}

} // namespace vex::testkit
