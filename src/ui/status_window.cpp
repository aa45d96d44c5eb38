// The status window: one per process, driven by the calls of the thread
// that opened it, which pump its events; no thread of its own. Calls from
// several threads take turns on one lock (recursive: the cancel procedure
// and the prompts call back in), so the record is never torn; the GTK
// front still needs them all on the thread that opened the window.
#include <cstdio>
#include <mutex>
#include <string>

#include "ui/front_choice.h"
#include "ui/signal_watch.h"
#include "ui/text_line.h"
#include "ui/ui_testing.h"
#include "ui/window_handle.h"
#include "vexutil/ui.h"

namespace vex::ui {

namespace {

constexpr const char *kLoading = "Loading...";
constexpr const char *kCancelLabel = "&Cancel";
constexpr const char *kCancelQuestion = "Do you want to cancel?";
constexpr size_t kCaptionBytes = 255;
constexpr int kWaitSliceMs = 100; // the Done wait sleeps in slices this long

class StatusWindow final : public Events {
public:
  void init(const VEXINSTANCE *instance, VEXWND owner, bool no_wait) {
    instance_ = instance;
    owner_ = owner;
    no_wait_ = no_wait;
    front_ = &choose_front();
  }

  int32_t open(const char *caption, const char *info, VEXCANCELPROC callback) {
    if (window_)
      discard();
    if (!front_)
      front_ = &choose_front();
    callback_ = callback;
    info_.set(info ? info : "");
    look_.caption = std::string(fit_utf8(caption ? caption : "", kCaptionBytes));
    look_.role = class_name();
    look_.icon = instance_ && instance_->status_icon ? instance_->status_icon : "";
    look_.button = kCancelLabel;
    if (!create_on_front())
      return 0;
    window_ = make_window(WindowKind::status, nullptr, nullptr);
    set_native(window_, front_->status_native());
    signals::begin_watch();
    watching_ = true;
    status_.set(kLoading);
    pump();
    if (window_)
      front_->status_focus_button();
    return window_ ? 1 : 0;
  }

  int32_t set(const char *text) {
    if (!window_)
      return 0;
    if (!front_->status_minimized() && !front_->status_visible()) {
      if (pump())
        return 1;
      front_->status_show();
      if (pump())
        return 1;
    }
    status_.set(text ? text : "");
    front_->status_paint(status_.str(), info_.str());
    return pump();
  }

  // Takes what is pending; 1 when the window went away meanwhile.
  int32_t pump() {
    if (!window_)
      return 0;
    act_on_signals();
    if (window_ && !front_->iterate(0))
      move_to_terminal();
    if (quit_posted_) {
      quit_posted_ = false;
      window_ = nullptr;
      return 1;
    }
    return 0;
  }

  uint8_t ask(const char *question, bool default_no) {
    Box box;
    box.title = window_ ? front_->status_caption() : "";
    box.text = question ? question : "";
    box.icon = Icon::question;
    box.buttons[0] = Reply::yes;
    box.buttons[1] = Reply::no;
    box.count = 2;
    box.default_index = default_no ? 1 : 0;
    status_.set(box.text);
    const bool yes = show_box(box) == Reply::yes;
    status_.append(yes ? " Yes." : " No.");
    after_box(false);
    pump();
    return yes ? 1 : 0;
  }

  int32_t message(const char *text, const char *title, bool error) {
    Box box;
    box.title = title ? title : (window_ ? front_->status_caption() : "");
    box.text = text ? text : "";
    box.icon = error ? Icon::stop : Icon::information;
    show_box(box);
    after_box(true);
    return pump();
  }

  uint8_t do_cancel() {
    ++cancel_requests_;
    if (cancelled_)
      return 1;
    if (ask(kCancelQuestion, true))
      confirm_cancel();
    return cancelled_ ? 1 : 0;
  }

  VEXWND current_owner() const { return window_ && front_->status_visible() ? window_ : owner_; }

  void close(bool wait) {
    if (window_) {
      hand_final_text();
      const bool waiting = !no_wait_ && wait && front_->status_visible() && front_->can_ask();
      uint8_t noted = 0;
      if (waiting) {
        cancelled_ = true; // the button no longer asks
        noted = cancel_requests_;
        front_->status_rename_button(kDoneLabel);
        front_->status_focus_button();
      } else {
        destroy();
      }
      while (window_) {
        if (pump())
          break;
        // Done that nobody can press (the display went away and no
        // terminal is there) closes at once.
        if (waiting && (cancel_requests_ != noted || !front_->can_ask()))
          destroy();
        else if (waiting && !front_->iterate(kWaitSliceMs))
          move_to_terminal();
      }
    }
    if (watching_) {
      signals::end_watch();
      watching_ = false;
    }
  }

  Shown shown() const { return front_ ? front_->status_shown() : Shown{}; }
  std::string status_text() const { return status_.str(); }
  std::string info_text() const { return info_.str(); }
  uint8_t cancel_requests() const { return cancel_requests_; }
  bool cancelled() const { return cancelled_; }

  // ---- what the front reports
  void command(int) override { do_cancel(); }
  void close_box() override {
    if (do_cancel())
      destroy();
  }
  void minimized() override {}
  void restored() override {
    if (window_alive(owner_))
      VEXWindowSend(owner_, VEXWM_STATUS_RESTORED, 0, 0);
  }

private:
  // "VEXSTATUS" and four letters 'A' + nibble of the instance's low 16
  // bits, most significant first: the X11 window role here.
  std::string class_name() const {
    const auto bits = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(instance_));
    std::string name = "VEXSTATUS";
    for (int shift = 12; shift >= 0; shift -= 4)
      name += static_cast<char>('A' + ((bits >> shift) & 0xF));
    return name;
  }

  bool create_on_front() {
    if (front_->status_create(look_, *this))
      return true;
    if (!front_->alive()) {
      front_ = &fall_back_to_terminal();
      return front_->status_create(look_, *this);
    }
    return false;
  }

  void confirm_cancel() {
    cancelled_ = true;
    if (callback_)
      callback_();
  }

  // Ctrl-C, hang-up and termination all mean "stop": asked like the button
  // when a person can answer, taken at once when nobody can.
  void act_on_signals() {
    if (!signals::take())
      return;
    if (front_->can_ask()) {
      do_cancel();
      return;
    }
    ++cancel_requests_;
    if (!cancelled_)
      confirm_cancel();
  }

  Reply show_box(const Box &b) {
    if (!front_) // a box before StatusInit: the front of the process
      front_ = &current_front();
    Box box = b;
    box.parent = native_of(current_owner());
    Reply r = front_->box(box);
    if (r == Reply::none && !front_->alive()) {
      move_to_terminal();
      box.parent = nullptr;
      r = front_->box(box);
    }
    return r;
  }

  void after_box(bool raise) {
    if (!window_ || !front_->status_visible())
      return;
    if (raise)
      front_->status_show();
    front_->status_focus_button();
    front_->status_paint(status_.str(), info_.str());
  }

  void hand_final_text() {
    if (!window_alive(owner_))
      return;
    const std::string text = std::string(fit_utf8(front_->status_caption(), kCaptionBytes)) + " - " + info_.str() +
                             "\r\n  " + status_.str();
    CopyData(owner_, reinterpret_cast<uintptr_t>(window_), VEXSTATUS_FINAL_TEXT,
             static_cast<uint32_t>(text.size() + 1), text.c_str());
  }

  // Destroying the window posts the quit that the next pump takes.
  void destroy() {
    if (!window_ || quit_posted_)
      return;
    front_->status_destroy();
    retire_window(window_);
    quit_posted_ = true;
  }

  // A second StatusOpen replaces the window without asking anything.
  void discard() {
    destroy();
    quit_posted_ = false;
    window_ = nullptr;
    if (watching_) {
      signals::end_watch();
      watching_ = false;
    }
  }

  // The display went away: the same window goes on in the terminal.
  void move_to_terminal() {
    const bool visible = front_->status_visible();
    const std::string button = front_->status_shown().button;
    front_ = &fall_back_to_terminal();
    if (!window_ || quit_posted_)
      return;
    set_native(window_, nullptr);
    StatusLook look = look_;
    look.button = button.empty() ? look_.button : button;
    front_->status_create(look, *this);
    if (visible)
      front_->status_show();
    front_->status_paint(status_.str(), info_.str());
    if (look.button != look_.button)
      front_->status_rename_button(look.button);
  }

  const VEXINSTANCE *instance_ = nullptr;
  VEXWND owner_ = nullptr;
  bool no_wait_ = false;
  Front *front_ = nullptr;
  VEXWND window_ = nullptr;
  bool quit_posted_ = false;
  bool watching_ = false;
  StatusLook look_;
  StatusLine status_, info_;
  VEXCANCELPROC callback_ = nullptr;
  uint8_t cancel_requests_ = 0;
  bool cancelled_ = false;
};

// The one window and its lock. Not inside with_window: a template's
// statics are one per instantiation, and every call site is one.
struct Held {
  std::recursive_mutex lock;
  StatusWindow window;
};
Held &held() {
  static Held h;
  return h;
}

// Runs call(window) holding the window's lock.
template <class F> auto with_window(F &&call) {
  Held &h = held();
  std::lock_guard hold(h.lock);
  return call(h.window);
}

} // namespace

namespace testing {
Shown status_shown() {
  return with_window([](StatusWindow &w) { return w.shown(); });
}
std::string status_text() {
  return with_window([](StatusWindow &w) { return w.status_text(); });
}
std::string info_text() {
  return with_window([](StatusWindow &w) { return w.info_text(); });
}
uint8_t cancel_requests() {
  return with_window([](StatusWindow &w) { return w.cancel_requests(); });
}
bool cancelled() {
  return with_window([](StatusWindow &w) { return w.cancelled(); });
}
} // namespace testing

} // namespace vex::ui

using vex::ui::StatusWindow;
using vex::ui::with_window;

extern "C" void StatusInit(const VEXINSTANCE *instance, VEXWND owner, uint8_t no_wait) {
  with_window([&](StatusWindow &w) { w.init(instance, owner, no_wait != 0); });
}
extern "C" int32_t StatusOpen(const char *caption, const char *info, VEXCANCELPROC cancel) {
  return with_window([&](StatusWindow &w) { return w.open(caption, info, cancel); });
}
extern "C" int32_t StatusSet(const char *text) {
  return with_window([&](StatusWindow &w) { return w.set(text); });
}
extern "C" int32_t StatusCheck(void) {
  return with_window([](StatusWindow &w) { return w.pump(); });
}
extern "C" uint8_t StatusAsk(const char *question, uint8_t default_no) {
  return with_window([&](StatusWindow &w) { return w.ask(question, default_no != 0); });
}
extern "C" int32_t StatusMessage(const char *text, int32_t error) {
  return with_window([&](StatusWindow &w) { return w.message(text, nullptr, error != 0); });
}
extern "C" int32_t StatusMessageTitle(const char *text, const char *title, uint8_t error) {
  return with_window([&](StatusWindow &w) { return w.message(text, title ? title : "", error != 0); });
}
extern "C" uint8_t StatusDoCancel(void) {
  return with_window([](StatusWindow &w) { return w.do_cancel(); });
}
extern "C" VEXWND StatusGetHWND(void) {
  return with_window([](StatusWindow &w) { return w.current_owner(); });
}
extern "C" void StatusClose(int32_t wait) {
  with_window([&](StatusWindow &w) { w.close(wait != 0); });
}
