// The terminal front on a real pseudo-terminal: the status line rewritten
// in place with its progress bar, questions answered by typing, Ctrl-C
// answered No and then Yes, Done pressed with Enter, and the dialog's
// Done. The test types; every wait has a time limit.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/ui/ui_test_util.h"
#include "ui/ui_testing.h"
#include "vexutil/ui.h"

namespace vex::ui::test {
namespace {

int g_cancel_calls = 0;
std::atomic<int> g_done_command{-1};

TEST(TerminalPty, StatusLineIsRewrittenInPlaceWithABar) {
  Pty child([] {
    StatusInit(nullptr, nullptr, 1);
    StatusOpen("Converting", "a -> b", nullptr);
    for (int i = 0; i <= 5; ++i) {
      StatusSet(i < 5 ? ("Frame " + std::to_string(i) + " of 4 (" + std::to_string(i * 25) + "%)").c_str()
                      : "no percentage here");
      std::this_thread::sleep_for(60ms); // past the redraw interval
    }
    StatusCheck();
    StatusClose(1);
    return 0;
  });
  expect_child(child.finish(), 0,
               {"Converting - a -> b", "\r\033[K[##########..........]  50% Frame 2 of 4 (50%)",
                "\r\033[K[####################] 100% Frame 4 of 4 (100%)", "\r\033[Kno percentage here"},
               {"Frame 2 of 4 (50%)\n"}); // in place, not line by line
}

TEST(TerminalPty, QuestionsAreAnsweredByTyping) {
  Pty child([] {
    StatusInit(nullptr, nullptr, 0);
    StatusOpen("Tool", "", nullptr);
    StatusSet("working");
    const int answers = StatusAsk("Replace it?", 1) * 100 + StatusAsk("Keep it?", 1) * 10;
    return answers + StatusAsk("Default?", 0);
  });
  for (const auto &[prompt, typed] : {std::pair{"Tool: Replace it? [y/N] ", "y\n"},
                                      {"Tool: Keep it? [y/N] ", "no\n"},
                                      {"Tool: Default? [Y/n] ", "\n"}}) {
    ASSERT_TRUE(child.expect(prompt)) << child.output();
    child.type(typed);
  }
  expect_child(child.finish(), 101);
}

TEST(TerminalPty, CtrlCAnsweredNoThenYes) {
  Pty child([] {
    StatusInit(nullptr, nullptr, 0);
    StatusOpen("Job", "", [] { ++g_cancel_calls; });
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
  for (const char *answer : {"n\n", "y\n"}) {
    std::this_thread::sleep_for(100ms);
    child.type("\x03");
    ASSERT_TRUE(child.expect("Job: Do you want to cancel? [y/N] ")) << child.output();
    child.type(answer);
  }
  expect_child(child.finish(), 12); // the callback once, two requests
}

// The status window's Done, and the dialog's Done with its caption, wait
// for Enter.
TEST(TerminalPty, DoneWaitsForEnter) {
  Pty status([] {
    StatusInit(nullptr, nullptr, 0);
    StatusOpen("Job", "", nullptr);
    StatusSet("finished");
    StatusClose(1);
    return testing::cancelled() ? 5 : 50;
  });
  ASSERT_TRUE(status.expect("[Done] press Enter")) << status.output();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(status.output().find("closed"), std::string::npos);
  status.type("\n");
  expect_child(status.finish(), 5); // Enter pressed Done
  Pty dialog([] {
    const VEXINSTANCE inst{convert_dialog(), -1, nullptr, nullptr};
    const int32_t got = VEXDialogInit(
        &inst, nullptr, 0, 1, 0, [](intptr_t, VEXWND) { return int32_t(0); },
        [](int32_t command, VEXWND) {
          g_done_command = command;
          return int32_t(0);
        });
    return got == 0 && g_done_command == 2 ? 0 : 1;
  });
  ASSERT_TRUE(dialog.expect("Convert - Done!")) << dialog.output();
  ASSERT_TRUE(dialog.expect("[Done] press Enter")) << dialog.output();
  dialog.type("\n");
  expect_child(dialog.finish());
}

} // namespace
} // namespace vex::ui::test
