// The GTK front under a real X server of the test's own: the status
// window's size and button, Cancel answered No and Yes, the close box,
// Done; the dialog's Done and caption, its timer, the worker's result and
// boxes; the encoder list; a template that does not parse; and the
// display dying during a run. Each case runs in a child with a time limit;
// a thread of the child works the windows with xdotool while the main
// thread makes the calls.
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "testkit/ui/x_session.h"
#include "testkit/util/temp_dir.h"
#include "tests/ui/ui_test_util.h"
#include "ui/ui_testing.h"
#include "vexutil/ogfile.h"
#include "vexutil/ui.h"

namespace vex::ui::test {
namespace {

using namespace testkit;
using Clock = std::chrono::steady_clock;

constexpr const char *kTitle = "Vex status test";

class GtkFront : public ::testing::Test {
protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(x.start(why)) << why;
    setenv("VEXUTIL_UI", "gtk", 1);
    setenv("VEXUTIL_UI_MODULE", VEX_TEST_GTK_MODULE, 1);
    unsetenv("WAYLAND_DISPLAY");
  }
  // Runs body in a child; it passes when every CHILD_CHECK held.
  static void passes(const std::function<int()> &body) { expect_child(detached(body, false, 60s)); }
  XServer x;
};

// Pumps the status window until pred holds; false after limit.
template <class P> bool pump_until(P pred, std::chrono::milliseconds limit = 10s) {
  for (const auto deadline = Clock::now() + limit; !pred(); std::this_thread::sleep_for(10ms)) {
    if (Clock::now() > deadline)
      return false;
    StatusCheck();
  }
  return true;
}

std::atomic<int> g_cancel_calls{0}, g_ticks{0}, g_commands{0}, g_last_command{-1};
std::atomic<bool> g_release{false};
std::string g_final_text;

intptr_t owner_proc(VEXWND, uint32_t message, uintptr_t, intptr_t lparam, void *) {
  if (message == VEXWM_COPYDATA)
    g_final_text = static_cast<const char *>(reinterpret_cast<const VEXCOPYDATA *>(lparam)->pointer);
  return 1;
}

int32_t handler(int32_t command, VEXWND) {
  ++g_commands;
  g_last_command = command;
  g_release = true;
  return 0;
}

// Opens the status window, shows "Frame 1", and waits until it is painted.
unsigned long open_status(VEXWND owner) {
  StatusInit(nullptr, owner, 0);
  if (std::string(VEXUIFrontName()) != "gtk" || StatusOpen(kTitle, "in.flc -> out.flc", [] { ++g_cancel_calls; }) != 1)
    return 0;
  StatusSet("Frame 1");
  return pump_until([] { return testing::status_shown().status == "Frame 1"; }) ? testing::status_shown().window_id : 0;
}

// The middle of the Cancel button: x 7/16 + 1/16 of the width, y 8/21 + 1/10
// of the height.
void press_cancel(unsigned long id) {
  const Geometry g = geometry(id);
  click(id, g.width / 2, g.height * 8 / 21 + g.height / 10);
}

// The dialog of the template (convert_dialog() unless said) with its worker,
// while hands work the windows.
int32_t dialog(void (*hands)(), VEXWORKERPROC worker, VEXCOMMANDPROC on_command = nullptr, uint8_t auto_close = 0,
               const char *xml = convert_dialog()) {
  std::thread t(hands);
  const VEXINSTANCE inst{xml, -1, nullptr, nullptr};
  const int32_t got = VEXDialogInit(&inst, nullptr, 0, 1, auto_close, worker, on_command);
  t.join();
  return got;
}

TEST_F(GtkFront, StatusWindowSizeTextsAndCancelAnsweredNoThenYes) {
  passes([] {
    const unsigned long id = open_status(nullptr);
    const Geometry g = geometry(id);
    const Shown s = testing::status_shown();
    CHILD_CHECK(id != 0 && wait_for_window(kTitle) == id && g.width == 32 * 18 && g.height == 7 * 23);
    CHILD_CHECK(s.caption == kTitle && s.button == "&Cancel" && s.info == "in.flc -> out.flc" && s.visible);
    if (const char *dir = std::getenv("VEX_UI_SCREENSHOTS"))
      screenshot(id, std::string(dir) + "/status.png");
    // Cancel, then No: the question stays on the status line with its
    // answer; Cancel, then Yes: the callback runs once.
    struct Answer {
      const char *key, *line;
      int calls;
    };
    for (const Answer a :
         {Answer{"alt+n", "Do you want to cancel? No.", 0}, {"alt+y", "Do you want to cancel? Yes.", 1}}) {
      std::atomic<bool> answered{false};
      std::thread hands([&] {
        press_cancel(id);
        if (const unsigned long box = wait_for_window(kTitle, id)) {
          press(box, a.key);
          wait_gone(box);
          answered = true;
        }
      });
      const bool ok = pump_until([&] { return answered.load(); }, 20s);
      hands.join();
      CHILD_CHECK(ok && pump_until([&] { return testing::status_shown().status == a.line; }));
      CHILD_CHECK(g_cancel_calls == a.calls && testing::cancelled() == (a.calls == 1) &&
                  testing::cancel_requests() == a.calls + 1);
    }
    press_cancel(id); // a third press no longer asks
    CHILD_CHECK(pump_until([] { return testing::cancel_requests() == 3; }));
    CHILD_CHECK(windows_named(kTitle).size() == 1 && g_cancel_calls == 1);
    StatusClose(0);
    return wait_gone(id) ? 0 : __LINE__;
  });
}

TEST_F(GtkFront, CloseBoxAsksAndYesDestroysTheWindow) {
  passes([] {
    const unsigned long id = open_status(nullptr);
    CHILD_CHECK(id != 0);
    std::thread hands([&] {
      send_close_box(id);
      if (const unsigned long box = wait_for_window(kTitle, id))
        press(box, "alt+y");
    });
    int gone = 0;
    for (const auto deadline = Clock::now() + 20s; !gone && Clock::now() < deadline; std::this_thread::sleep_for(10ms))
      gone = StatusCheck();
    hands.join();
    // No window any more; StatusClose returns at once: nothing to wait for.
    CHILD_CHECK(gone == 1 && testing::cancelled() && g_cancel_calls == 1 && StatusSet("after") == 0 && wait_gone(id));
    StatusClose(1);
    return 0;
  });
}

// StatusClose waits for Done and the owner gets the final text; with the
// no-wait flag it returns at once, and the window stays hidden (the
// owner's handle standing for it) until the first StatusSet.
TEST_F(GtkFront, CloseWaitsForDoneUnlessNoWait) {
  passes([] {
    VEXWND owner = VEXWindowCreate(owner_proc, nullptr);
    const unsigned long id = open_status(owner);
    StatusSet("All frames written");
    CHILD_CHECK(id != 0 && pump_until([] { return testing::status_shown().status == "All frames written"; }));
    std::atomic<bool> returned{false};
    std::thread hands([&] {
      std::this_thread::sleep_for(700ms);
      if (!returned)
        press_cancel(id); // the button now reads Done
    });
    const auto start = Clock::now();
    StatusClose(1);
    returned = true;
    hands.join();
    // It waited for the press; Done is no cancel.
    CHILD_CHECK(Clock::now() - start >= 600ms && testing::cancelled() && g_cancel_calls == 0 && wait_gone(id));
    CHILD_CHECK(g_final_text == std::string(kTitle) + " - in.flc -> out.flc\r\n  All frames written");

    StatusInit(nullptr, owner, 1);
    CHILD_CHECK(StatusOpen(kTitle, "", nullptr) == 1);
    CHILD_CHECK(StatusGetHWND() == owner && windows_named(kTitle).empty());
    StatusSet("now shown");
    CHILD_CHECK(StatusGetHWND() != owner && wait_for_window(kTitle) != 0);
    const auto start2 = Clock::now();
    StatusClose(1);
    return Clock::now() - start2 < 2s ? 0 : __LINE__;
  });
}

TEST_F(GtkFront, DialogDoneCaptionTimerAndResult) {
  passes([] {
    static std::atomic<int> shown_ok{0};
    const int32_t got = dialog(
        [] {
          const unsigned long id = wait_for_window("Convert");
          if (id == 0 || wait_for_window("Convert - Done!") != id)
            return;
          const Shown s = testing::dialog_shown();
          shown_ok = s.button == "&Done" && s.caption == "Convert - Done!" && s.status == "Frame 4 of 4 (100%)";
          if (const char *dir = std::getenv("VEX_UI_SCREENSHOTS"))
            screenshot(id, std::string(dir) + "/dialog.png");
          press(id, "Return"); // the focus is on Done
        },
        [](intptr_t, VEXWND dialog) -> int32_t {
          VEXDialogSetTimer([](VEXWND) { ++g_ticks; }, 50);
          for (int i = 1; i <= 4; ++i) {
            const std::string t = "Frame " + std::to_string(i) + " of 4 (" + std::to_string(i * 25) + "%)";
            VEXDialogSetItemText(dialog, 101, t.c_str());
            std::this_thread::sleep_for(150ms);
          }
          return 0;
        },
        handler);
    // 600 ms of work at 50 ms ticks, and the wait for Done.
    CHILD_CHECK(got == 0 && shown_ok == 1 && g_commands == 1 && g_last_command == 2 && g_ticks >= 6);
    return 0;
  });
}

TEST_F(GtkFront, DialogCloseBoxGoesToTheHandlerWhileTheWorkerRuns) {
  passes([] {
    static std::atomic<int> still_there{0};
    const int32_t got = dialog(
        [] {
          if (const unsigned long id = wait_for_window("Convert"))
            send_close_box(id);
        },
        [](intptr_t, VEXWND) -> int32_t {
          for (int i = 0; i < 6000 && !g_release; ++i)
            std::this_thread::sleep_for(10ms);
          std::this_thread::sleep_for(200ms);
          still_there = testing::dialog_shown().exists ? 1 : 0;
          return 5; // closes by itself
        },
        handler);
    // The handler's 0 did not close a running job.
    CHILD_CHECK(got == 5 && g_commands == 1 && g_last_command == 2 && still_there == 1);
    return 0;
  });
}

// The worker's boxes answered by keys (Yes, No and Cancel with No the
// default: Cancel pressed; Yes and No with Yes the default: Return), and
// the list of encoders that an AVI output with the codec "?" shows over
// the dialog: Escape cancels it and fails the create; Down and Return pick
// the first encoder after "uncompressed", which the output then uses.
TEST_F(GtkFront, DialogBoxesAndTheEncoderListAnsweredByKeys) {
  passes([] {
    const auto hands = [] {
      const unsigned long dialog = wait_for_window("Convert");
      for (const char *keys : {"alt+c", "Return", "Escape", "Down Return"}) {
        if (const unsigned long box = wait_for_window("Convert", dialog))
          press(box, keys);
        std::this_thread::sleep_for(300ms);
      }
    };
    const int32_t got = dialog(
        hands,
        [](intptr_t, VEXWND) -> int32_t {
          const int32_t a = VEXDialogAsk("Three buttons?", 32), b = VEXDialogAsk("Two buttons?", 1);
          vex::testkit::TempDir dir;
          const std::string name = dir.file("a.avi");
          OGFILE *cancelled = OGFileCreate(OGFILE_ASK_FOR_CODEC, name.c_str(), 1, 2, 15, 1, 16, 16, 16, nullptr, 0);
          OGFILE *picked = OGFileCreate(OGFILE_ASK_FOR_CODEC, name.c_str(), 1, 2, 15, 1, 16, 16, 16, nullptr, 0);
          const int32_t listed = (cancelled ? 1 : 0) + (picked ? 10 : 0) + (picked && picked->compressed ? 100 : 0);
          OGFileDiscard(picked);
          return 10000 + a * 1000 + b * 100 + listed;
        },
        nullptr, 1);
    CHILD_CHECK(got == 12210); // Cancel, Yes, the list cancelled then picked
    return 0;
  });
}

TEST_F(GtkFront, TemplateThatDoesNotParseShowsTheBoxAndGivesZero) {
  passes([] {
    const auto start = Clock::now();
    const int32_t got = dialog(
        [] {
          if (const unsigned long box = wait_for_window("")) // no dialog to take a title from
            press(box, "Return");
        },
        [](intptr_t, VEXWND) { return int32_t(9); }, nullptr, 0, kBrokenDialog);
    // The box waited for its OK.
    CHILD_CHECK(got == 0 && Clock::now() - start >= 100ms && std::string(VEXUIFrontName()) == "gtk");
    return 0;
  });
}

pid_t g_server = -1;

TEST_F(GtkFront, DisplayDyingDuringARunMovesToTheTerminal) {
  g_server = x.pid();
  expect_child(detached(
                   [] {
                     CHILD_CHECK(open_status(nullptr) != 0);
                     kill(g_server, SIGKILL);
                     for (int i = 0; i < 100; ++i) {
                       StatusSet(("Frame " + std::to_string(i)).c_str());
                       std::this_thread::sleep_for(10ms);
                     }
                     CHILD_CHECK(std::string(VEXUIFrontName()) == "terminal");
                     // No terminal: the default.
                     CHILD_CHECK(StatusAsk("Still asking?", 1) == 0 && testing::status_text() == "Still asking? No.");
                     StatusClose(1);
                     return StatusSet("closed") == 0 ? 0 : __LINE__;
                   },
                   false, 60s),
               0, {"the display went away; going on in the terminal", "Frame 99"});
}

} // namespace
} // namespace vex::ui::test
