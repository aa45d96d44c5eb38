// The dialog window: a tool's job runs on a worker thread while the
// calling thread runs the dialog's loop, its command handler and its timer.
// Everything the worker asks of the dialog travels through the run's
// mailbox and runs on the dialog's thread.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ui/front_choice.h"
#include "ui/list_pick.h"
#include "ui/mailbox.h"
#include "ui/signal_watch.h"
#include "ui/terminal_front.h"
#include "ui/text_line.h"
#include "ui/ui_testing.h"
#include "ui/window_handle.h"
#include "vexutil/ui.h"

namespace vex::ui {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kCreateFailed = "Couldn't create window.";
constexpr int kCancelControl = 2;
constexpr size_t kTitleBytes = 255;
constexpr int kLoopSliceMs = 100; // longest sleep between looks at signals

// One VEXDialogInit. The worker holds it too, so it outlives a dialog that
// closed while the worker still runs.
class Run final : public Events {
public:
  Run(Front &front, VEXWND owner, intptr_t value, bool auto_close, VEXWORKERPROC worker, VEXCOMMANDPROC handler)
      : front_(&front), owner_(owner), value_(value), auto_close_(auto_close), worker_(worker), handler_(handler),
        mail_([this] { front_.load()->wake(); }) {}

  bool create(const VEXINSTANCE *instance) {
    if (!instance || !instance->dialog_template)
      return false;
    DialogLook look;
    look.text = instance->template_length < 0
                    ? std::string(instance->dialog_template)
                    : std::string(instance->dialog_template, static_cast<size_t>(instance->template_length));
    look.icon = instance->dialog_icon ? instance->dialog_icon : "";
    look.owner = native_of(owner_);
    if (!front().dialog_create(look, *this))
      return false;
    dialog_ = make_window(WindowKind::dialog, nullptr, nullptr);
    set_native(dialog_, front().dialog_native());
    look_ = look;
    title_ = std::string(fit_utf8(front().dialog_caption(), kTitleBytes));
    loop_thread_ = std::this_thread::get_id();
    return true;
  }

  void show(int show) {
    shown_with_ = show;
    front().dialog_show(show);
    front().iterate(0); // paint at once
  }

  void start(std::shared_ptr<Run> self) {
    std::thread([self] { self->work(); }).detach();
  }

  // The caller watches the signals from before the worker starts to after
  // this returns: a Ctrl-C the worker's first instant sees goes to the
  // handler too.
  void loop() {
    while (!quit_) {
      mail_.deliver();
      if (quit_)
        break;
      act_on_signals();
      tick_timer();
      if (quit_)
        break;
      if (!front().iterate(wait_ms()))
        move_to_terminal();
    }
    mail_.close();
  }

  int32_t result() const { return result_; }
  bool on_loop_thread() const { return std::this_thread::get_id() == loop_thread_; }
  VEXWND dialog() const { return dialog_; }
  const std::string &title() const { return title_; }
  Front &front() const { return *front_.load(); }
  Mailbox &mail() { return mail_; }

  // Runs call on the dialog's thread, now or through the mailbox; false
  // when the dialog is gone.
  template <class F> bool on_dialog_thread(F &&call) {
    if (on_loop_thread()) {
      if (quit_)
        return false;
      call();
      return true;
    }
    return mail_.send(std::forward<F>(call));
  }

  uint32_t set_timer(VEXTIMERPROC callback, uint32_t ms) {
    {
      std::lock_guard g(timer_lock_);
      timer_ = callback;
      period_ = std::chrono::milliseconds(ms);
      next_tick_ = Clock::now() + period_;
    }
    front().wake();
    return 1;
  }

  Shown shown() const { return front().dialog_shown(); }

  // ---- what the front reports
  void command(int id) override {
    if (!quit_ && handle(id) == 0)
      destroy();
  }
  void close_box() override {
    if (finished_)
      destroy();
    else
      handle(kCancelControl); // its answer does not matter: the job still runs
  }
  void minimized() override {}
  void restored() override {}

private:
  int32_t handle(int id) { return handler_ ? handler_(id, dialog_) : 0; }

  void work() {
    const int32_t r = worker_ ? worker_(value_, dialog_) : 0;
    result_ = r;
    if (quit_) {
      finished_ = true;
      return;
    }
    if (r == 0) {
      mail_.send([this] {
        front().dialog_set_item(kCancelControl, kDoneLabel);
        char caption[kTitleBytes + 16];
        std::snprintf(caption, sizeof caption, "%s - Done!", title_.c_str());
        front().dialog_set_caption(caption);
      });
    } else {
      auto_close_ = true;
    }
    mail_.post(VEXWM_WORKER_ENDED, [this] { worker_ended(kCancelControl); });
    finished_ = true;
  }

  void worker_ended(int button) {
    // A Done that nobody can press would hold the tool forever.
    if (auto_close_ || !front().can_ask())
      destroy();
    else
      front().dialog_focus_item(button);
  }

  // Ctrl-C is the close box; hang-up and termination are the session's end,
  // which a finished job allows and a running one leaves to the handler.
  void act_on_signals() {
    const unsigned got = signals::take();
    if (got & signals::interrupt)
      close_box();
    if ((got & signals::session_end) && !quit_ && (finished_ || handle(kCancelControl) == 0))
      destroy();
  }

  void tick_timer() {
    VEXTIMERPROC callback = nullptr;
    {
      std::lock_guard g(timer_lock_);
      if (!timer_ || Clock::now() < next_tick_)
        return;
      callback = timer_;
      next_tick_ += period_;
      if (next_tick_ < Clock::now()) // late ticks are not made up for
        next_tick_ = Clock::now() + period_;
    }
    callback(dialog_);
  }

  int wait_ms() {
    std::lock_guard g(timer_lock_);
    if (!timer_)
      return kLoopSliceMs;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next_tick_ - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 1, kLoopSliceMs));
  }

  // Destroying posts the quit that ends the loop.
  void destroy() {
    if (quit_)
      return;
    front().dialog_destroy();
    retire_window(dialog_);
    quit_ = true;
  }

  // The display went away: the dialog goes on in the terminal, showing
  // what it showed.
  void move_to_terminal() {
    const Shown before = front().dialog_shown();
    front_ = &fall_back_to_terminal();
    set_native(dialog_, nullptr);
    DialogLook look = look_;
    look.owner = nullptr;
    front().dialog_create(look, *this);
    front().dialog_set_caption(before.caption.empty() ? title_ : before.caption);
    front().dialog_show(shown_with_ == 0 ? 1 : shown_with_);
    if (!before.button.empty())
      front().dialog_set_item(kCancelControl, before.button);
    if (finished_ && !auto_close_) {
      if (front().can_ask())
        front().dialog_focus_item(kCancelControl);
      else
        destroy();
    }
  }

  std::atomic<Front *> front_;
  VEXWND owner_;
  intptr_t value_;
  std::atomic<bool> auto_close_;
  VEXWORKERPROC worker_;
  VEXCOMMANDPROC handler_;
  Mailbox mail_;
  DialogLook look_;
  VEXWND dialog_ = nullptr;
  std::string title_;
  std::thread::id loop_thread_;
  int shown_with_ = 1;
  std::atomic<bool> quit_{false};
  // A job counts as running from the start: show() already dispatches
  // events, and a close box that came before the worker's thread must not
  // close the dialog under the job that is about to run.
  std::atomic<bool> finished_{false};
  std::atomic<int32_t> result_{1};
  std::mutex timer_lock_;
  VEXTIMERPROC timer_ = nullptr;
  Clock::duration period_{};
  Clock::time_point next_tick_{};
};

// The run in progress, if any; the owner window, title and thread of the
// last init (boxes keep that title after the dialog is gone).
std::mutex g_run_lock;
std::shared_ptr<Run> g_run;
VEXWND g_owner = nullptr;
std::string g_title;
std::thread::id g_dialog_thread;

std::shared_ptr<Run> active_run() {
  std::lock_guard g(g_run_lock);
  return g_run;
}

std::string last_title() {
  std::lock_guard g(g_run_lock);
  return g_title;
}

Reply show_box(Front &front, const std::shared_ptr<Run> &run, Box box) {
  box.title = last_title();
  VEXWND owner;
  {
    std::lock_guard g(g_run_lock);
    owner = g_owner;
  }
  box.parent = native_of(run && window_alive(run->dialog()) ? run->dialog() : owner);
  Reply r = front.box(box);
  if (r == Reply::none && !front.alive()) {
    box.parent = nullptr;
    r = fall_back_to_terminal().box(box);
  }
  return r;
}

// Boxes run on the dialog's thread while a dialog runs. A box asked from
// another thread when no dialog loop is there to carry it goes to the
// terminal: GTK may only be touched by the thread that runs it.
Reply ask_box(const Box &box) {
  const std::shared_ptr<Run> run = active_run();
  if (run) {
    Reply r = Reply::none;
    if (run->on_dialog_thread([&] { r = show_box(run->front(), run, box); }))
      return r;
  }
  Front &front = current_front();
  bool foreign_thread;
  {
    std::lock_guard g(g_run_lock);
    foreign_thread = g_dialog_thread != std::thread::id{} && g_dialog_thread != std::this_thread::get_id();
  }
  if (foreign_thread && std::string(front.name()) != "terminal") {
    Box plain = box;
    plain.title = last_title();
    plain.parent = nullptr;
    return terminal_front().box(plain);
  }
  return show_box(front, nullptr, box);
}

} // namespace

int pick_from_list(const std::string &text, const std::vector<std::string> &items, int selected) {
  ListBox list;
  list.text = text;
  list.items = items;
  list.selected = selected;
  list.title = last_title();
  if (const std::shared_ptr<Run> run = active_run()) {
    int r = kPickUnavailable;
    if (run->on_dialog_thread([&] {
          list.parent = native_of(window_alive(run->dialog()) ? run->dialog() : nullptr);
          r = run->front().pick(list);
        }))
      return r;
  }
  bool foreign_thread;
  {
    std::lock_guard g(g_run_lock);
    foreign_thread = g_dialog_thread != std::thread::id{} && g_dialog_thread != std::this_thread::get_id();
  }
  // GTK belongs to the thread that runs it.
  return foreign_thread ? kPickUnavailable : current_front().pick(list);
}

namespace {

// The button choice shared by the ask and the message: 32 in the high
// bits asks for the three-button (or two-button) set; the low five bits
// choose the default.
struct Flags {
  bool more;
  int low;
};
Flags split(int32_t flags) { return Flags{(flags & ~31) == 32, flags & 31}; }

} // namespace

namespace testing {
Shown dialog_shown() {
  const std::shared_ptr<Run> run = active_run();
  Shown s;
  if (run)
    run->on_dialog_thread([&] { s = run->shown(); });
  return s;
}
} // namespace testing

} // namespace vex::ui

using namespace vex::ui;

extern "C" int32_t VEXDialogInit(const VEXINSTANCE *instance, VEXWND owner, intptr_t value, int32_t show,
                                 uint8_t auto_close, VEXWORKERPROC worker, VEXCOMMANDPROC handler) {
  Front &front = choose_front();
  {
    std::lock_guard g(g_run_lock);
    g_owner = owner;
    g_dialog_thread = std::this_thread::get_id();
  }
  auto run = std::make_shared<Run>(front, owner, value, auto_close != 0, worker, handler);
  bool made = run->create(instance);
  if (!made && !front.alive()) {
    run = std::make_shared<Run>(fall_back_to_terminal(), owner, value, auto_close != 0, worker, handler);
    made = run->create(instance);
  }
  if (!made) {
    VEXDialogMessage(kCreateFailed, 0);
    return 0;
  }
  {
    std::lock_guard g(g_run_lock);
    g_run = run;
    g_title = run->title();
  }
  signals::begin_watch();
  run->show(show);
  run->start(run);
  run->loop();
  signals::end_watch();
  {
    std::lock_guard g(g_run_lock);
    if (g_run == run)
      g_run.reset();
  }
  return run->result();
}

extern "C" int32_t VEXDialogAsk(const char *question, int32_t flags) {
  const Flags f = split(flags);
  Box box;
  box.text = question ? question : "";
  box.icon = Icon::question;
  box.buttons[0] = Reply::yes;
  box.buttons[1] = Reply::no;
  box.buttons[2] = Reply::cancel;
  box.count = f.more ? 3 : 2;
  box.default_index = f.low == 0 ? 1 : f.low == 2 ? 2 : 0;
  if (box.default_index >= box.count)
    box.default_index = 0;
  const Reply r = ask_box(box);
  return r == Reply::yes ? 1 : r == Reply::no ? 0 : 2;
}

extern "C" int32_t VEXDialogMessage(const char *text, int32_t flags) {
  const Flags f = split(flags);
  Box box;
  box.text = text ? text : "";
  box.icon = Icon::information;
  box.buttons[0] = Reply::ok;
  box.buttons[1] = Reply::cancel;
  box.count = f.more ? 2 : 1;
  box.default_index = f.more && f.low == 2 ? 1 : 0;
  return ask_box(box) == Reply::ok ? 0 : 2;
}

extern "C" uint32_t VEXDialogSetTimer(VEXTIMERPROC callback, uint32_t ms) {
  const std::shared_ptr<Run> run = active_run();
  if (!run || ms == 0)
    return 0;
  return run->set_timer(callback, ms);
}

extern "C" int32_t VEXDialogSetItemText(VEXWND dialog, int32_t control, const char *text) {
  const std::shared_ptr<Run> run = active_run();
  if (!run || !dialog || run->dialog() != dialog)
    return 0;
  bool set = false;
  const std::string t = text ? text : "";
  if (!run->on_dialog_thread([&] { set = run->front().dialog_set_item(control, t); }))
    return 0;
  return set ? 1 : 0;
}
