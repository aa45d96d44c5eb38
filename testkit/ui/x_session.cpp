#include "testkit/ui/x_session.h"

#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace vex::testkit {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Output of a shell command, cut off after limit seconds.
std::string run(const std::string &command, int limit_s = 10) {
  const std::string line = "timeout " + std::to_string(limit_s) + " " + command + " 2>/dev/null";
  FILE *p = popen(line.c_str(), "r");
  if (!p)
    return "";
  std::string out;
  char buf[512];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
    out.append(buf, n);
  pclose(p);
  return out;
}

std::string quoted(const std::string &s) {
  std::string out = "'";
  for (char c : s)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Regular expression for the exact title.
std::string exact(const std::string &title) {
  std::string re = "^";
  for (char c : title) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos)
      re += '\\';
    re += c;
  }
  return re + "$";
}

} // namespace

// Two servers started at the same moment may pick the same free display and
// one of them then exits ("server already running") without naming one; the
// loser simply tries again.
bool XServer::start(std::string &why) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (start_once(why))
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100 * (attempt + 1)));
  }
  return false;
}

bool XServer::start_once(std::string &why) {
  int fds[2];
  if (pipe(fds) != 0) {
    why = "no pipe";
    return false;
  }
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset",
           static_cast<char *>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  const auto deadline = Clock::now() + 15s;
  pollfd p{fds[0], POLLIN, 0};
  while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
    if (poll(&p, 1, 100) <= 0)
      continue;
    char buf[32];
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0)
      break;
    number.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos) {
    why = "Xvfb did not start (install the Debian package xvfb)";
    stop();
    return false;
  }
  display_ = ":" + number.substr(0, number.find('\n'));
  setenv("DISPLAY", display_.c_str(), 1);
  return true;
}

void XServer::stop() {
  if (pid_ <= 0)
    return;
  kill(pid_, SIGTERM);
  int st = 0;
  for (int i = 0; i < 100 && waitpid(pid_, &st, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(20ms);
  if (waitpid(pid_, &st, WNOHANG) == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &st, 0);
  }
  pid_ = -1;
}

std::vector<unsigned long> windows_named(const std::string &title) {
  // An empty name also matches X's own windows; a window of a client has a
  // class, so untitled ones are looked up by that.
  const std::string how = title.empty() ? "--class ." : "--name " + quoted(exact(title));
  std::istringstream in(run("xdotool search --onlyvisible " + how));
  std::vector<unsigned long> ids;
  for (unsigned long id; in >> id;)
    ids.push_back(id);
  return ids;
}

unsigned long wait_for_window(const std::string &title, unsigned long not_this, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    for (unsigned long id : windows_named(title))
      if (id != not_this)
        return id;
    std::this_thread::sleep_for(50ms);
  }
  return 0;
}

bool wait_gone(unsigned long id, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    const std::string out = run("xdotool search --onlyvisible --name " + quoted("."));
    std::istringstream in(out);
    bool there = false;
    for (unsigned long w; in >> w;)
      there = there || w == id;
    if (!there)
      return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

Geometry geometry(unsigned long id) {
  std::istringstream in(run("xdotool getwindowgeometry --shell " + std::to_string(id)));
  Geometry g;
  for (std::string line; std::getline(in, line);) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
      continue;
    const std::string key = line.substr(0, eq);
    const int v = std::atoi(line.c_str() + eq + 1);
    if (key == "X")
      g.x = v;
    else if (key == "Y")
      g.y = v;
    else if (key == "WIDTH")
      g.width = v;
    else if (key == "HEIGHT")
      g.height = v;
  }
  return g;
}

void click(unsigned long id, int x, int y) {
  run("xdotool mousemove --window " + std::to_string(id) + " " + std::to_string(x) + " " + std::to_string(y) +
      " click 1");
}

void press(unsigned long id, const std::string &keys) {
  run("xdotool windowfocus " + std::to_string(id));
  std::this_thread::sleep_for(100ms);
  run("xdotool key --clearmodifiers " + keys);
}

bool send_close_box(unsigned long id) {
  Display *d = XOpenDisplay(nullptr);
  if (!d)
    return false;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = id;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(d, id, False, NoEventMask, &e);
  XFlush(d);
  XCloseDisplay(d);
  return sent != 0;
}

bool screenshot(unsigned long id, const std::string &png) {
  const std::string cmd =
      "sh -c " + quoted("xwd -silent -id " + std::to_string(id) + " | xwdtopnm | pnmtopng > " + quoted(png));
  run(cmd, 20);
  FILE *f = std::fopen(png.c_str(), "rb");
  if (!f)
    return false;
  const bool some = std::fgetc(f) != EOF;
  std::fclose(f);
  return some;
}

} // namespace vex::testkit
