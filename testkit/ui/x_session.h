// A private X server for the GTK tests and the hands that work it: Xvfb
// on a display number it picks itself (-displayfd), xdotool to find
// windows by title, read their geometry, click and type, and a
// WM_DELETE_WINDOW message for the close box (there is no window manager
// to draw one). Every wait has a time limit.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace vex::testkit {

class XServer {
public:
  XServer() = default;
  ~XServer() { stop(); }
  XServer(const XServer &) = delete;
  XServer &operator=(const XServer &) = delete;

  // Starts Xvfb and sets DISPLAY; false with the reason in why.
  bool start(std::string &why);
  void stop();
  pid_t pid() const { return pid_; }
  const std::string &display() const { return display_; }

private:
  bool start_once(std::string &why);
  pid_t pid_ = -1;
  std::string display_;
};

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};

// Visible windows whose title is exactly title (any client window for "").
std::vector<unsigned long> windows_named(const std::string &title);
// The first visible window named title other than not_this; 0 after limit.
unsigned long wait_for_window(const std::string &title, unsigned long not_this = 0,
                              std::chrono::milliseconds limit = std::chrono::seconds(10));
// Waits until no visible window has that id; false after limit.
bool wait_gone(unsigned long id, std::chrono::milliseconds limit = std::chrono::seconds(10));
Geometry geometry(unsigned long id);
void click(unsigned long id, int x, int y);
// Gives the window the input focus and types keys ("alt+n", "Return").
void press(unsigned long id, const std::string &keys);
// What the close box of a window manager sends.
bool send_close_box(unsigned long id);
// A PNG of the window (xwd and netpbm); false when the tools are missing.
bool screenshot(unsigned long id, const std::string &png);

} // namespace vex::testkit
