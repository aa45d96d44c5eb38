#include "tests/ui/ui_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "testkit/util/expect_text.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>

// GTK, GDK, GLib, fontconfig and friends keep caches for the life of the
// process that the leak checker cannot tell from leaks; what they allocate
// is not ours. Everything else must be freed.
extern "C" __attribute__((visibility("default"))) const char *__lsan_default_suppressions() {
  return "leak:libgtk-3.so\nleak:libgdk-3.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n"
         "leak:libgio-2.0.so\nleak:libfontconfig.so\nleak:libpango\nleak:libcairo.so\nleak:libX11.so\n"
         "leak:libatk\nleak:libdbus\nleak:libharfbuzz.so\nleak:libgdk_pixbuf\n";
}
#endif

namespace vex::ui::test {

namespace {

using Clock = std::chrono::steady_clock;

int wait_status(int st) { return WIFEXITED(st) ? WEXITSTATUS(st) : -1; }

// The child ends with _exit, which skips the leak check at exit; it runs
// here instead, and a leak turns the child's status into 99.
[[noreturn]] void end_child(int status) {
#if defined(__SANITIZE_ADDRESS__)
  if (__lsan_do_recoverable_leak_check() != 0)
    status = 99;
#endif
  _exit(status);
}

// Waits for pid until the deadline; kills it past the deadline.
ChildResult reap(pid_t pid, Clock::time_point deadline, const std::function<void(int)> &drain) {
  ChildResult r;
  for (;;) {
    int st = 0;
    const pid_t done = waitpid(pid, &st, WNOHANG);
    if (done == pid) {
      drain(0);
      r.status = wait_status(st);
      return r;
    }
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &st, 0);
      drain(0);
      r.timed_out = true;
      return r;
    }
    drain(20);
  }
}

} // namespace

void use_terminal_front() {
  setenv("VEXUTIL_UI", "terminal", 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
}

ChildResult run_detached(const std::function<int()> &body, std::chrono::milliseconds limit, bool terminal_only) {
  int err[2];
  if (pipe(err) != 0)
    return {};
  const pid_t pid = fork();
  if (pid == 0) {
    setsid(); // no controlling terminal from here on
    const int null_fd = open("/dev/null", O_RDWR);
    dup2(null_fd, STDIN_FILENO);
    dup2(null_fd, STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    close(err[0]);
    if (terminal_only)
      use_terminal_front();
    end_child(body());
  }
  close(err[1]);
  std::string out;
  auto drain = [&](int wait_ms) {
    pollfd p{err[0], POLLIN, 0};
    while (poll(&p, 1, wait_ms) > 0) {
      char buf[4096];
      const ssize_t n = read(err[0], buf, sizeof buf);
      if (n <= 0)
        break;
      out.append(buf, static_cast<size_t>(n));
      wait_ms = 0;
    }
  };
  ChildResult r = reap(pid, Clock::now() + limit, drain);
  close(err[0]);
  r.output = out;
  return r;
}

PtyChild::PtyChild(const std::function<int()> &body) {
  winsize ws{};
  ws.ws_col = 100;
  ws.ws_row = 30;
  pid_ = forkpty(&master_, nullptr, nullptr, &ws);
  if (pid_ == 0) {
    use_terminal_front();
    end_child(body());
  }
}

PtyChild::~PtyChild() {
  if (pid_ > 0) {
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &st, 0);
    }
  }
  if (master_ >= 0)
    close(master_);
}

bool PtyChild::read_some(int wait_ms) {
  pollfd p{master_, POLLIN, 0};
  if (poll(&p, 1, wait_ms) <= 0)
    return false;
  char buf[4096];
  const ssize_t n = read(master_, buf, sizeof buf);
  if (n <= 0)
    return false;
  output_.append(buf, static_cast<size_t>(n));
  return true;
}

bool PtyChild::expect(const std::string &text, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    const size_t at = output_.find(text, mark_);
    if (at != std::string::npos) {
      mark_ = at + text.size();
      return true;
    }
    if (Clock::now() > deadline)
      return false;
    read_some(20);
  }
}

void PtyChild::type(const std::string &keys) {
  [[maybe_unused]] const ssize_t n = write(master_, keys.data(), keys.size());
}

ChildResult PtyChild::finish(std::chrono::milliseconds limit) {
  ChildResult r = reap(pid_, Clock::now() + limit, [&](int wait_ms) {
    while (read_some(wait_ms))
      wait_ms = 0;
  });
  pid_ = -1;
  r.output = output_;
  return r;
}

void expect_exit(const ChildResult &r, int status) {
  EXPECT_FALSE(r.timed_out) << "the child ran past its time limit (waiting for input that cannot come?)\n" << r.output;
  EXPECT_EQ(r.status, status) << (status == 0 && r.status > 0 ? "failed check at line " + std::to_string(r.status) : "")
                              << "\n"
                              << r.output;
}

void expect_said(const ChildResult &r, std::initializer_list<std::string> texts) {
  testkit::expect_contains(r.output, texts);
}

void expect_not_said(const ChildResult &r, std::initializer_list<std::string> texts) {
  testkit::expect_lacks(r.output, texts);
}

size_t times_said(const ChildResult &r, const std::string &text) { return testkit::times_in(r.output, text); }

} // namespace vex::ui::test
