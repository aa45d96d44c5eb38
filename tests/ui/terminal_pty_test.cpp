// The terminal front on a real pseudo-terminal: the status line rewritten
// in place with its progress bar, questions answered by typing, Ctrl-C
// answered No and then Yes, Done pressed with Enter, and the dialog's
// Done. The test types; every wait has a time limit.
#include <gtest/gtest.h>

#include <unistd.h>

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

int g_cancel_calls = 0;
void on_cancel() { ++g_cancel_calls; }

TEST(TerminalPty, StatusLineIsRewrittenInPlaceWithABar) {
  PtyChild child([] {
    StatusInit(nullptr, nullptr, 1);
    StatusOpen("Converting", "a -> b", nullptr);
    for (int i = 0; i <= 4; ++i) {
      StatusSet(("Frame " + std::to_string(i) + " of 4 (" + std::to_string(i * 25) + "%)").c_str());
      std::this_thread::sleep_for(60ms); // past the redraw interval
    }
    StatusSet("no percentage here");
    std::this_thread::sleep_for(60ms);
    StatusCheck();
    StatusClose(1);
    return 0;
  });
  const ChildResult r = child.finish();
  expect_exit(r);
  expect_said(r, {"Converting - a -> b", "\r\033[K[##########..........]  50% Frame 2 of 4 (50%)",
                  "\r\033[K[####################] 100% Frame 4 of 4 (100%)", "\r\033[Kno percentage here"});
  expect_not_said(r, {"Frame 2 of 4 (50%)\n"}); // in place, not line by line
}

TEST(TerminalPty, QuestionsAreAnsweredYesAndNoByTyping) {
  PtyChild child([] {
    StatusInit(nullptr, nullptr, 0);
    StatusOpen("Tool", "", nullptr);
    StatusSet("working");
    const uint8_t first = StatusAsk("Replace it?", 1);
    const uint8_t second = StatusAsk("Keep it?", 1);
    const uint8_t third = StatusAsk("Default?", 0);
    StatusClose(0);
    return first * 100 + second * 10 + third;
  });
  ASSERT_TRUE(child.expect("Tool: Replace it? [y/N] "));
  child.type("y\n");
  ASSERT_TRUE(child.expect("Tool: Keep it? [y/N] "));
  child.type("no\n");
  ASSERT_TRUE(child.expect("Tool: Default? [Y/n] "));
  child.type("\n");
  const ChildResult r = child.finish();
  expect_exit(r, 101);
}

TEST(TerminalPty, CtrlCAnsweredNoThenYes) {
  PtyChild child([] {
    StatusInit(nullptr, nullptr, 0);
    StatusOpen("Job", "", on_cancel);
    // Works until cancelled; stops by itself after 15 s so that a failure
    // cannot hang.
    for (int i = 0; i < 1500 && !testing::cancelled(); ++i) {
      StatusSet("busy");
      std::this_thread::sleep_for(10ms);
    }
    const int requests = testing::cancel_requests();
    StatusClose(0);
    return g_cancel_calls * 10 + requests;
  });
  std::this_thread::sleep_for(100ms);
  child.type("\x03");
  ASSERT_TRUE(child.expect("Job: Do you want to cancel? [y/N] ")) << child.output();
  child.type("n\n");
  std::this_thread::sleep_for(100ms);
  child.type("\x03");
  ASSERT_TRUE(child.expect("Job: Do you want to cancel? [y/N] ")) << child.output();
  child.type("y\n");
  const ChildResult r = child.finish();
  expect_exit(r, 12); // the callback once, two requests
}

TEST(TerminalPty, CloseWaitsForDoneUntilEnter) {
  PtyChild child([] {
    StatusInit(nullptr, nullptr, 0);
    StatusOpen("Job", "", nullptr);
    StatusSet("finished");
    StatusClose(1);
    return testing::cancelled() ? 5 : 50;
  });
  ASSERT_TRUE(child.expect("[Done] press Enter")) << child.output();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(child.output().find("closed"), std::string::npos);
  child.type("\n");
  const ChildResult r = child.finish();
  expect_exit(r, 5); // Enter pressed Done
}

std::atomic<int> g_done_command{-1};
int32_t close_on_command(int32_t command, VEXWND) {
  g_done_command = command;
  return 0;
}

TEST(TerminalPty, DialogShowsDoneAndClosesOnEnter) {
  PtyChild child([] {
    const VEXINSTANCE inst{kConvertDialog, -1, nullptr, nullptr};
    const int32_t got = VEXDialogInit(
        &inst, nullptr, 0, 1, 0, [](intptr_t, VEXWND) { return int32_t(0); }, close_on_command);
    return got == 0 && g_done_command == 2 ? 0 : 1;
  });
  ASSERT_TRUE(child.expect("Convert - Done!")) << child.output();
  ASSERT_TRUE(child.expect("[Done] press Enter")) << child.output();
  child.type("\n");
  const ChildResult r = child.finish();
  expect_exit(r);
}

} // namespace
} // namespace vex::ui::test
