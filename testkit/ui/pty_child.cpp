#include "testkit/ui/pty_child.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace vex::testkit {

using Clock = std::chrono::steady_clock;

PtyChild::PtyChild(const std::function<int()> &body) {
  winsize ws{};
  ws.ws_col = 100;
  ws.ws_row = 30;
  pid_ = forkpty(&master_, nullptr, nullptr, &ws);
  if (pid_ == 0) {
    int status = body();
#if defined(__SANITIZE_ADDRESS__)
    if (__lsan_do_recoverable_leak_check() != 0) // _exit skips the check at exit
      status = 99;
#endif
    _exit(status);
  }
}

PtyChild::~PtyChild() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (master_ >= 0)
    close(master_);
}

bool PtyChild::read_some(int wait_ms) {
  pollfd p{master_, POLLIN, 0};
  char buf[4096];
  const ssize_t n = poll(&p, 1, wait_ms) > 0 ? read(master_, buf, sizeof buf) : 0;
  if (n > 0)
    output_.append(buf, static_cast<size_t>(n));
  return n > 0;
}

bool PtyChild::expect(const std::string &text, std::chrono::milliseconds limit) {
  for (const auto deadline = Clock::now() + limit;; read_some(20)) {
    if (const size_t at = output_.find(text, mark_); at != std::string::npos) {
      mark_ = at + text.size();
      return true;
    }
    if (Clock::now() > deadline)
      return false;
  }
}

void PtyChild::type(const std::string &keys) {
  [[maybe_unused]] const ssize_t n = write(master_, keys.data(), keys.size());
}

ChildResult PtyChild::finish(std::chrono::milliseconds limit) {
  ChildResult r;
  const auto start = Clock::now();
  int st = 0;
  while (waitpid(pid_, &st, WNOHANG) != pid_) {
    if (Clock::now() > start + limit) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &st, 0);
      r.timed_out = true;
      break;
    }
    read_some(20);
  }
  while (read_some(0)) {
  }
  pid_ = -1;
  r.status = WIFEXITED(st) && !r.timed_out ? WEXITSTATUS(st) : -1;
  r.signal = WIFSIGNALED(st) ? WTERMSIG(st) : 0;
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  r.out = output_;
  return r;
}

} // namespace vex::testkit
