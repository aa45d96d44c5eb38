#include "ui/terminal_front.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "ui/signal_watch.h"
#include "ui/terminal_text.h"
#include "ui/text_line.h"

namespace vex::ui {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRedrawEvery = std::chrono::milliseconds(50);

// An open descriptor of the controlling terminal, closed with the object.
class Tty {
public:
  Tty() : fd_(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~Tty() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  Tty(const Tty &) = delete;
  Tty &operator=(const Tty &) = delete;
  int fd() const { return fd_; }

private:
  int fd_;
};

void write_all(int fd, const std::string &s) {
  size_t done = 0;
  while (done < s.size()) {
    const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    done += static_cast<size_t>(n);
  }
}

// One line from fd; false at the end of input or on a signal.
bool read_line(int fd, std::string &line) {
  line.clear();
  for (char c;;) {
    const ssize_t n = ::read(fd, &c, 1);
    if (n <= 0)
      return !line.empty();
    if (c == '\n' || c == '\r')
      return true;
    if (line.size() < 256)
      line += c;
  }
}

class TerminalFront final : public Front {
public:
  TerminalFront() {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
      wake_[0] = wake_[1] = -1;
  }

  const char *name() const override { return "terminal"; }
  bool alive() const override { return true; }

  bool can_ask() const override {
    if (!isatty(STDIN_FILENO))
      return false;
    Tty tty;
    return tty.fd() >= 0;
  }

  // ---- status window
  bool status_create(const StatusLook &look, Events &events) override {
    status_ = Window{};
    status_.exists = true;
    status_.caption = look.caption;
    status_.button = look.button;
    status_events_ = &events;
    return true;
  }
  bool status_visible() const override { return status_.exists && status_.visible; }
  bool status_minimized() const override { return false; }
  // The caption and information line head the output once, at the first
  // paint after showing (the information comes with the paint).
  void status_show() override {
    if (!status_.visible)
      header_due_ = true;
    status_.visible = true;
  }
  void status_paint(const std::string &status, const std::string &info) override {
    info_ = info;
    status_.line = status;
    if (!status_.visible)
      return;
    if (header_due_) {
      header_due_ = false;
      header(status_.caption + (info_.empty() ? "" : " - " + info_));
    }
    show_line(status, false);
  }
  void status_focus_button() override {}
  void status_rename_button(const std::string &label) override {
    status_.button = label;
    if (status_.visible)
      offer_button(label, 2, status_events_);
  }
  std::string status_caption() const override { return status_.caption; }
  void status_destroy() override {
    if (!status_.exists)
      return;
    flush_line();
    end_line();
    status_ = Window{};
    info_.clear();
    armed_ = nullptr;
  }
  void *status_native() override { return nullptr; }
  Shown status_shown() const override {
    return Shown{status_.exists, status_.visible, status_.caption, status_.line, info_, status_.button, 0, 0, 0, 0};
  }

  // ---- dialog
  bool dialog_create(const DialogLook &look, Events &events) override {
    std::string title;
    if (!template_title(look.text, title))
      return false;
    dialog_ = Window{};
    dialog_.exists = true;
    dialog_.caption = title;
    dialog_events_ = &events;
    items_.clear();
    controls_ = template_controls(look.text);
    return true;
  }
  std::string dialog_caption() const override { return dialog_.caption; }
  void dialog_set_caption(const std::string &caption) override {
    dialog_.caption = caption;
    if (dialog_.visible)
      header(caption);
  }
  void dialog_show(int show) override {
    if (show == 0)
      return;
    dialog_.visible = true;
    header(dialog_.caption);
  }
  bool dialog_set_item(int control, const std::string &text) override {
    if (!dialog_.exists || !controls_.count(control))
      return false;
    items_[control] = text;
    if (control == 2)
      dialog_.button = text;
    else if (dialog_.visible)
      show_line(text, false);
    dialog_.line = text;
    return true;
  }
  // Focus on a button is the moment it can be pressed: Enter presses it
  // (a template without that control still gets a way out).
  void dialog_focus_item(int control) override {
    auto it = items_.find(control);
    if (dialog_.visible)
      offer_button(it != items_.end() ? it->second : "&Close", control, dialog_events_);
  }
  void dialog_destroy() override {
    if (!dialog_.exists)
      return;
    flush_line();
    clear_line();
    dialog_ = Window{};
    items_.clear();
    armed_ = nullptr;
  }
  void *dialog_native() override { return nullptr; }
  Shown dialog_shown() const override {
    return Shown{dialog_.exists, dialog_.visible, dialog_.caption, dialog_.line, "", dialog_.button, 0, 0, 0, 0};
  }

  // ---- boxes and pumping
  Reply box(const Box &b) override {
    clear_line();
    if (b.count <= 1) {
      write_all(STDERR_FILENO, message_text(b) + "\n");
      redraw_after_box();
      return b.buttons[0];
    }
    const Reply answer = ask(b);
    redraw_after_box();
    return answer;
  }

  // A list wants a window: the terminal has none to show it in.
  int pick(const ListBox &) override { return kPickUnavailable; }

  bool iterate(int wait_ms) override {
    flush_line();
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {-1, POLLIN, 0}};
    std::unique_ptr<Tty> tty;
    if (armed_) {
      tty = std::make_unique<Tty>();
      fds[1].fd = tty->fd();
    }
    if (::poll(fds, 2, wait_ms > 0 ? wait_ms : 0) > 0) {
      drain_wake();
      if (fds[1].fd >= 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
        std::string line;
        read_line(fds[1].fd, line);
        Events *to = armed_;
        armed_ = nullptr;
        to->command(armed_id_);
      }
    }
    return true;
  }

  void wake() override {
    if (wake_[1] >= 0) {
      const char c = 1;
      [[maybe_unused]] const ssize_t n = ::write(wake_[1], &c, 1);
    }
  }

private:
  struct Window {
    bool exists = false, visible = false;
    std::string caption, line, button;
  };

  bool err_is_tty() const { return isatty(STDERR_FILENO) == 1; }

  void header(const std::string &text) {
    clear_line();
    write_all(STDERR_FILENO, text + "\n");
    last_plain_.clear();
  }

  // The changing line: in place on a terminal (at most 20 redraws a second,
  // the last text always drawn by the next pump), one plain line per new
  // text elsewhere.
  void show_line(const std::string &text, bool force) {
    if (!err_is_tty()) {
      if (text != last_plain_)
        write_all(STDERR_FILENO, text + "\n");
      last_plain_ = text;
      return;
    }
    pending_ = text;
    dirty_ = true;
    if (force || Clock::now() - last_draw_ >= kRedrawEvery)
      flush_line();
  }

  void flush_line() {
    if (!dirty_ || !err_is_tty())
      return;
    dirty_ = false;
    last_draw_ = Clock::now();
    write_all(STDERR_FILENO, "\r\033[K" + progress_line(pending_, columns()));
    drawn_ = true;
  }

  void clear_line() {
    if (drawn_) {
      write_all(STDERR_FILENO, "\r\033[K");
      drawn_ = false;
      dirty_ = !pending_.empty();
    }
  }

  // The line drawn in place keeps its last text and is ended, so that what
  // the program writes next (a summary, a failure) starts a line of its own;
  // nothing of it is drawn again.
  void end_line() {
    if (drawn_)
      write_all(STDERR_FILENO, "\n");
    drawn_ = dirty_ = false;
    pending_.clear();
  }

  void redraw_after_box() {
    if (status_.visible)
      show_line(status_.line, true);
  }

  int columns() const {
    winsize ws{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 10)
      return ws.ws_col;
    return 80;
  }

  // The button the person may press now: Enter on the terminal sends its
  // command. Without a terminal nobody can, and the logic does not wait.
  void offer_button(const std::string &label, int id, Events *to) {
    if (!to || !can_ask())
      return;
    clear_line();
    write_all(STDERR_FILENO, "[" + plain_label(label) + "] press Enter\n");
    armed_ = to;
    armed_id_ = id;
  }

  Reply ask(const Box &b) {
    const std::string prompt = question_prompt(b);
    const Reply fallback = b.buttons[b.default_index];
    if (!can_ask()) {
      write_all(STDERR_FILENO, prompt + " " + std::string(reply_word(fallback)) + " (no terminal: the default)\n");
      return fallback;
    }
    Tty tty;
    signals::AskingGuard asking;
    for (int tries = 0; tries < 5; ++tries) {
      write_all(tty.fd(), prompt + " ");
      std::string line;
      if (!read_line(tty.fd(), line)) {
        write_all(tty.fd(), std::string(reply_word(fallback)) + "\n");
        return fallback;
      }
      const Reply r = parse_reply(line, b);
      if (r != Reply::none)
        return r;
    }
    return fallback;
  }

  void drain_wake() {
    char buf[64];
    while (::read(wake_[0], buf, sizeof buf) > 0) {
    }
  }

  Window status_, dialog_;
  std::string info_;
  Events *status_events_ = nullptr, *dialog_events_ = nullptr;
  std::map<int, std::string> items_;
  std::set<int> controls_;
  Events *armed_ = nullptr;
  int armed_id_ = 2;
  std::string pending_, last_plain_;
  bool dirty_ = false, drawn_ = false, header_due_ = false;
  Clock::time_point last_draw_{};
  int wake_[2] = {-1, -1};
};

} // namespace

Front &terminal_front() {
  static TerminalFront front;
  return front;
}

} // namespace vex::ui
