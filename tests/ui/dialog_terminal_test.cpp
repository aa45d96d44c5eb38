// The dialog window on the terminal front with nobody to answer: results
// of the worker, Done that nobody can press, boxes asked from the worker
// thread, the timer, item texts, interrupt and termination, and templates
// that cannot be used. Each case runs detached with a time limit.
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/ui/dialog_templates.h"
#include "tests/ui/ui_harness.h"
#include "ui/ui_testing.h"
#include "vexutil/ui.h"

namespace vex::ui::test {
namespace {

using namespace std::chrono_literals;

VEXINSTANCE instance(const char *text) { return VEXINSTANCE{text, -1, nullptr, nullptr}; }

std::atomic<int> g_commands{0};
std::atomic<int> g_last_command{-1};
std::atomic<bool> g_stop{false};
std::atomic<int> g_ticks{0};
std::thread::id g_dialog_thread, g_tick_thread, g_handler_thread;

int32_t handler_keep(int32_t command, VEXWND) {
  ++g_commands;
  g_last_command = command;
  g_handler_thread = std::this_thread::get_id();
  g_stop = true;
  return 1;
}

int32_t handler_close(int32_t command, VEXWND) {
  ++g_commands;
  g_last_command = command;
  return 0;
}

void tick(VEXWND) {
  ++g_ticks;
  g_tick_thread = std::this_thread::get_id();
}

ChildResult run_dialog(const std::function<int()> &body) { return run_detached(body, 15s); }

TEST(DialogNoTerminal, WorkerResultsAndDoneThatNobodyCanPress) {
  const ChildResult r = run_dialog([] {
    const VEXINSTANCE inst = instance(kConvertDialog);
    CHILD_CHECK(VEXDialogInit(&inst, nullptr, 5, 1, 0, [](intptr_t v, VEXWND) { return int32_t(v); }, handler_close) ==
                5);
    CHILD_CHECK(g_commands == 0);
    // 0: Done and the caption change, then closed at once as nobody can press.
    CHILD_CHECK(VEXDialogInit(&inst, nullptr, 0, 1, 0, [](intptr_t, VEXWND) { return int32_t(0); }, handler_close) ==
                0);
    CHILD_CHECK(VEXDialogInit(&inst, nullptr, 0, 1, 1, [](intptr_t, VEXWND) { return int32_t(0); }, nullptr) == 0);
    CHILD_CHECK(VEXDialogInit(&inst, nullptr, 0, 1, 0, nullptr, nullptr) == 0);
    CHILD_CHECK(g_commands == 0);
    return 0;
  });
  expect_exit(r);
  expect_said(r, {"Convert - Done!"});
}

TEST(DialogNoTerminal, TemplatesThatCannotBeUsedGiveZeroAndTheMessage) {
  const ChildResult r = run_dialog([] {
    std::atomic<int> ran{0};
    static std::atomic<int> *ran_p = &ran;
    auto worker = [](intptr_t, VEXWND) {
      ++*ran_p;
      return int32_t(9);
    };
    const VEXINSTANCE nameless = instance(kNamelessDialog);
    CHILD_CHECK(VEXDialogInit(&nameless, nullptr, 0, 1, 0, worker, nullptr) == 0);
    const VEXINSTANCE empty{nullptr, -1, nullptr, nullptr};
    CHILD_CHECK(VEXDialogInit(&empty, nullptr, 0, 1, 0, worker, nullptr) == 0);
    CHILD_CHECK(VEXDialogInit(nullptr, nullptr, 0, 1, 0, worker, nullptr) == 0);
    // A length shorter than the text cuts the object's name off.
    const VEXINSTANCE cut{kConvertDialog, 60, nullptr, nullptr};
    CHILD_CHECK(VEXDialogInit(&cut, nullptr, 0, 1, 0, worker, nullptr) == 0);
    CHILD_CHECK(ran == 0);
    return 0;
  });
  expect_exit(r);
  EXPECT_EQ(times_said(r, "Couldn't create window."), 4u) << r.output;
}

TEST(DialogNoTerminal, BoxesFromTheWorkerTakeTheirDefaults) {
  const ChildResult r = run_dialog([] {
    const VEXINSTANCE inst = instance(kConvertDialog);
    return VEXDialogInit(&inst, nullptr, 0, 1, 0,
                         [](intptr_t, VEXWND) -> int32_t {
                           // Code 10 + which answer was wrong, else 0 for the dialog's result.
                           if (VEXDialogAsk("Three, No default?", 32) != 0)
                             return 11;
                           if (VEXDialogAsk("Two, Yes default?", 1) != 1)
                             return 12;
                           if (VEXDialogAsk("Three, Cancel default?", 34) != 2)
                             return 13;
                           if (VEXDialogAsk("Two, third asked?", 2) != 1)
                             return 14;
                           if (VEXDialogMessage("Just so you know", 0) != 0)
                             return 15;
                           if (VEXDialogMessage("OK or Cancel, Cancel default", 34) != 2)
                             return 16;
                           if (VEXDialogMessage("OK or Cancel", 32) != 0)
                             return 17;
                           return 3;
                         },
                         nullptr);
  });
  expect_exit(r, 3);
  expect_said(r, {"Convert: Three, No default? [y/N/c] No", "Convert: Two, Yes default? [Y/n] Yes",
                  "Three, Cancel default? [y/n/C] Cancel", "Convert: Just so you know\n",
                  "OK or Cancel, Cancel default [o/C] Cancel"});
}

TEST(DialogNoTerminal, TimerTicksOnTheDialogThreadWhileTheWorkerRuns) {
  const ChildResult r = run_dialog([] {
    g_dialog_thread = std::this_thread::get_id();
    CHILD_CHECK(VEXDialogSetTimer(tick, 10) == 0); // no dialog yet
    const VEXINSTANCE inst = instance(kConvertDialog);
    const int32_t got = VEXDialogInit(&inst, nullptr, 0, 1, 0,
                                      [](intptr_t, VEXWND) -> int32_t {
                                        if (VEXDialogSetTimer(tick, 0) != 0)
                                          return 20;
                                        if (VEXDialogSetTimer(tick, 40) != 1)
                                          return 21;
                                        std::this_thread::sleep_for(500ms);
                                        return 4;
                                      },
                                      nullptr);
    CHILD_CHECK(got == 4);
    // 500 ms at 40 ms: about 12 ticks; a loose window for a loaded machine.
    CHILD_CHECK(g_ticks >= 5 && g_ticks <= 14);
    CHILD_CHECK(g_tick_thread == g_dialog_thread);
    return 0;
  });
  expect_exit(r);
}

TEST(DialogNoTerminal, ItemTextsFromTheWorkerReachOnlyRealControls) {
  const ChildResult r = run_dialog([] {
    const VEXINSTANCE inst = instance(kConvertDialog);
    return VEXDialogInit(&inst, nullptr, 0, 1, 0,
                         [](intptr_t, VEXWND dialog) -> int32_t {
                           if (VEXDialogSetItemText(dialog, 101, "Frame 1 of 4 (25%)") != 1)
                             return 30;
                           if (testing::dialog_shown().status != "Frame 1 of 4 (25%)")
                             return 31;
                           if (VEXDialogSetItemText(dialog, 999, "nowhere") != 0)
                             return 32;
                           if (VEXDialogSetItemText(nullptr, 101, "no dialog") != 0)
                             return 33;
                           return 6;
                         },
                         nullptr);
  });
  expect_exit(r, 6);
  expect_said(r, {"Frame 1 of 4 (25%)\n"});
}

TEST(DialogNoTerminal, InterruptGoesToTheHandlerAndNeverClosesARunningJob) {
  const ChildResult r = run_dialog([] {
    g_dialog_thread = std::this_thread::get_id();
    const VEXINSTANCE inst = instance(kConvertDialog);
    const int32_t got = VEXDialogInit(&inst, nullptr, 0, 1, 0,
                                      [](intptr_t, VEXWND) -> int32_t {
                                        kill(getpid(), SIGINT);
                                        for (int i = 0; i < 500 && !g_stop; ++i)
                                          std::this_thread::sleep_for(10ms);
                                        return g_stop ? 7 : 70;
                                      },
                                      handler_keep);
    CHILD_CHECK(got == 7);
    CHILD_CHECK(g_commands == 1 && g_last_command == 2);
    CHILD_CHECK(g_handler_thread == g_dialog_thread);
    return 0;
  });
  expect_exit(r);
}

TEST(DialogNoTerminal, TerminationAllowedByTheHandlerEndsTheDialogWhileTheWorkerGoesOn) {
  const ChildResult r = run_dialog([] {
    static std::atomic<int> after{-1};
    const VEXINSTANCE inst = instance(kConvertDialog);
    const int32_t got = VEXDialogInit(&inst, nullptr, 0, 1, 0,
                                      [](intptr_t, VEXWND dialog) -> int32_t {
                                        kill(getpid(), SIGTERM);
                                        std::this_thread::sleep_for(400ms);
                                        // The dialog is gone: nothing to set, nothing waits.
                                        after = VEXDialogSetItemText(dialog, 101, "late");
                                        return 8;
                                      },
                                      handler_close);
    CHILD_CHECK(got == 1); // closed before the worker returned
    CHILD_CHECK(g_commands == 1 && g_last_command == 2);
    for (int i = 0; i < 300 && after < 0; ++i)
      std::this_thread::sleep_for(10ms);
    CHILD_CHECK(after == 0);
    return 0;
  });
  expect_exit(r);
}

} // namespace
} // namespace vex::ui::test
