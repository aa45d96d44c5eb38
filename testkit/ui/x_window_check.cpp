// x_window_check TITLE PROGRAM [ARG...]: runs PROGRAM under a private Xvfb
// and succeeds when a window titled TITLE shows (or "TITLE - Done!", once
// the job ended); it then sends that window the close box and expects
// PROGRAM to exit with status 0. For tests written in CMake script (the
// install test): every wait has a time limit, and a program that overstays
// is killed.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <thread>

#include "testkit/ui/x_session.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The child's exit status once it ended within limit, else -1.
int exit_within(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  int st = 0;
  do {
    if (waitpid(pid, &st, WNOHANG) == pid)
      return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    std::this_thread::sleep_for(20ms);
  } while (Clock::now() < deadline);
  return -1;
}

// The first window with one of the titles within limit, or 0; stops early
// when the child ended (its status then in *ended).
unsigned long window_within(std::initializer_list<std::string> titles, pid_t pid, std::chrono::milliseconds limit,
                            int *ended) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    for (const std::string &title : titles)
      if (const auto ids = vex::testkit::windows_named(title); !ids.empty())
        return ids[0];
    if ((*ended = exit_within(pid, 50ms)) >= 0)
      return 0;
  }
  return 0;
}

int fail(pid_t pid, const std::string &what) {
  if (exit_within(pid, 0ms) < 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  std::fprintf(stderr, "x_window_check: %s\n", what.c_str());
  return 1;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: x_window_check TITLE PROGRAM [ARG...]\n");
    return 2;
  }
  const std::string title = argv[1], done = title + " - Done!";
  vex::testkit::XServer x;
  std::string why;
  if (!x.start(why)) {
    std::fprintf(stderr, "x_window_check: %s\n", why.c_str());
    return 1;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[2], argv + 2);
    _exit(127);
  }
  int ended = -1;
  // The window, then the job's end in its title; the close box is Done.
  if (!window_within({title, done}, pid, 20s, &ended))
    return fail(pid,
                "no window titled \"" + title + "\" on " + x.display() +
                    (ended >= 0 ? ": the program ended without one, status " + std::to_string(ended) : " within 20 s"));
  const unsigned long window = window_within({done}, pid, 20s, &ended);
  if (!window)
    return fail(pid, "the window showed, but not \"" + done + "\" within 20 s");
  vex::testkit::send_close_box(window);
  const int code = exit_within(pid, 10s);
  if (code != 0)
    return fail(pid, code < 0 ? "the close box on Done did not end the program within 10 s"
                              : "the program ended with status " + std::to_string(code));
  std::printf("x_window_check: \"%s\" shown on %s and closed; exit status 0\n", title.c_str(), x.display().c_str());
  return 0;
}
