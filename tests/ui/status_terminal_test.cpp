// The status window on the terminal front with nobody to answer: every
// question takes its default at once and says so, texts are cut to their
// lines, the owner receives the final text, and calls out of order are
// harmless. Each case runs in a child process cut off from any terminal,
// under a time limit, so that a question that waited would fail the test
// instead of hanging it.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstring>
#include <string>

#include "tests/ui/ui_harness.h"
#include "ui/ui_testing.h"
#include "vexutil/ui.h"

namespace vex::ui::test {
namespace {

using namespace std::chrono_literals;

struct Received {
  uint32_t message = 0;
  uintptr_t wparam = 0;
  uintptr_t data = 0;
  std::string text;
  uint32_t length = 0;
  int count = 0;
};
Received g_received;

intptr_t owner_proc(VEXWND, uint32_t message, uintptr_t wparam, intptr_t lparam, void *) {
  Received &r = g_received;
  ++r.count;
  r.message = message;
  r.wparam = wparam;
  if (message == VEXWM_COPYDATA) {
    const auto *cd = reinterpret_cast<const VEXCOPYDATA *>(lparam);
    r.data = cd->data;
    r.length = cd->length;
    r.text.assign(static_cast<const char *>(cd->pointer));
  }
  return 77;
}

int g_cancel_calls = 0;
void on_cancel() { ++g_cancel_calls; }

TEST(StatusNoTerminal, QuestionsTakeTheirDefaultAtOnceAndSaySo) {
  const ChildResult r = run_detached(
      [] {
        StatusInit(nullptr, nullptr, 0);
        CHILD_CHECK(StatusOpen("Converting", "in.flc -> out.flc", nullptr) == 1);
        CHILD_CHECK(StatusAsk("File x exists, overwrite?", 1) == 0);
        CHILD_CHECK(testing::status_text() == "File x exists, overwrite? No.");
        CHILD_CHECK(StatusAsk("Go on?", 0) == 1);
        CHILD_CHECK(testing::status_text() == "Go on? Yes.");
        StatusClose(0);
        return 0;
      },
      10s);
  expect_exit(r);
  expect_said(r, {"Converting: File x exists, overwrite? [y/N] No (no terminal: the default)",
                  "Go on? [Y/n] Yes (no terminal: the default)"});
}

TEST(StatusNoTerminal, CallsWithoutAWindowAreHarmless) {
  const ChildResult r = run_detached(
      [] {
        VEXWND owner = VEXWindowCreate(owner_proc, nullptr);
        CHILD_CHECK(StatusSet("nobody sees this") == 0); // before StatusInit
        CHILD_CHECK(StatusCheck() == 0);
        StatusClose(1);
        StatusInit(nullptr, owner, 0);
        CHILD_CHECK(StatusSet("still nothing") == 0);
        CHILD_CHECK(StatusGetHWND() == owner);
        CHILD_CHECK(StatusMessage("a message with no window", 0) == 0);
        StatusClose(1);
        StatusClose(1);
        CHILD_CHECK(g_received.count == 0); // no window, no final text
        CHILD_CHECK(StatusDoCancel() == 0); // asked, default No
        return 0;
      },
      10s);
  expect_exit(r);
  expect_said(r, {"a message with no window"});
  expect_not_said(r, {"nobody sees this"});
}

TEST(StatusNoTerminal, OwnerGetsTheFinalTextAndCloseTwiceIsHarmless) {
  const ChildResult r = run_detached(
      [] {
        VEXWND owner = VEXWindowCreate(owner_proc, nullptr);
        StatusInit(nullptr, owner, 0);
        CHILD_CHECK(StatusOpen("Caption", "Info line", nullptr) == 1);
        CHILD_CHECK(StatusGetHWND() == owner); // hidden until the first StatusSet
        CHILD_CHECK(testing::status_text() == "Loading...");
        CHILD_CHECK(StatusSet("Frame 7") == 0);
        VEXWND status = StatusGetHWND();
        CHILD_CHECK(status != owner && status != nullptr);
        StatusClose(1); // nobody can press Done: closes at once
        CHILD_CHECK(g_received.count == 1);
        CHILD_CHECK(g_received.message == VEXWM_COPYDATA);
        CHILD_CHECK(g_received.wparam == reinterpret_cast<uintptr_t>(status));
        CHILD_CHECK(g_received.data == VEXSTATUS_FINAL_TEXT);
        CHILD_CHECK(g_received.text == "Caption - Info line\r\n  Frame 7");
        CHILD_CHECK(g_received.length == g_received.text.size() + 1);
        StatusClose(1);
        CHILD_CHECK(g_received.count == 1);
        CHILD_CHECK(StatusGetHWND() == owner);
        CHILD_CHECK(StatusSet("after close") == 0);
        return 0;
      },
      10s);
  expect_exit(r);
  // stderr is not a terminal: plain lines, the header first.
  expect_said(r, {"Caption - Info line\nFrame 7\n"});
}

TEST(StatusNoTerminal, LongTextsAreCutAtTheirLines) {
  const ChildResult r = run_detached(
      [] {
        StatusInit(nullptr, nullptr, 1);
        const std::string info(300, 'i');
        CHILD_CHECK(StatusOpen("C", info.c_str(), nullptr) == 1);
        CHILD_CHECK(testing::status_text() == "Loading...");
        StatusSet(std::string(500, 's').c_str());
        CHILD_CHECK(testing::status_text() == std::string(95, 's'));
        CHILD_CHECK(testing::info_text() == std::string(95, 'i'));
        CHILD_CHECK(testing::status_shown().status == std::string(95, 's')); // what stderr got
        // A question of 93 bytes: " No." no longer fits whole.
        const std::string q(93, 'q');
        StatusAsk(q.c_str(), 1);
        CHILD_CHECK(testing::status_text() == q + " N");
        // Two-byte characters are never split: 47 of them fill 94 bytes.
        std::string wide;
        for (int i = 0; i < 60; ++i)
          wide += "\xC3\xA9"; // e acute
        StatusSet(wide.c_str());
        CHILD_CHECK(testing::status_text().size() == 94);
        StatusClose(1);
        return 0;
      },
      10s);
  expect_exit(r);
}

TEST(StatusNoTerminal, InterruptCancelsAtOnceAndCallsBackOnce) {
  const ChildResult r = run_detached(
      [] {
        StatusInit(nullptr, nullptr, 0);
        CHILD_CHECK(StatusOpen("Run", "", on_cancel) == 1);
        StatusSet("working");
        raise(SIGINT); // noted by the handler; acted on at the next pump
        CHILD_CHECK(g_cancel_calls == 0);
        StatusSet("working");
        CHILD_CHECK(g_cancel_calls == 1);
        CHILD_CHECK(testing::cancelled());
        raise(SIGTERM);
        StatusCheck();
        CHILD_CHECK(g_cancel_calls == 1);
        CHILD_CHECK(testing::cancel_requests() == 2);
        CHILD_CHECK(StatusDoCancel() == 1); // no longer asks
        StatusClose(1);
        // Closed: the signals have their old meaning again.
        struct sigaction now {};
        sigaction(SIGINT, nullptr, &now);
        CHILD_CHECK(now.sa_handler == SIG_DFL);
        return 0;
      },
      10s);
  expect_exit(r);
  expect_not_said(r, {"Do you want to cancel?"}); // nobody to ask: no question
}

TEST(StatusNoTerminal, CancelButtonAnsweredByDefaultKeepsRunning) {
  const ChildResult r = run_detached(
      [] {
        StatusInit(nullptr, nullptr, 0);
        CHILD_CHECK(StatusOpen("Run", "", on_cancel) == 1);
        StatusSet("working");
        CHILD_CHECK(StatusDoCancel() == 0);
        CHILD_CHECK(testing::status_text() == "Do you want to cancel? No.");
        CHILD_CHECK(g_cancel_calls == 0);
        CHILD_CHECK(testing::cancel_requests() == 1);
        StatusClose(0);
        return 0;
      },
      10s);
  expect_exit(r);
  expect_said(r, {"Do you want to cancel? [y/N] No"});
}

TEST(StatusNoTerminal, MessagesGoToStderrWithTheirTitle) {
  const ChildResult r = run_detached(
      [] {
        StatusInit(nullptr, nullptr, 0);
        StatusOpen("Tool", "", nullptr);
        StatusMessage("plain caption title", 0);
        StatusMessageTitle("own title", "Title", 1);
        StatusMessageTitle("no title", nullptr, 0);
        StatusClose(0);
        return 0;
      },
      10s);
  expect_exit(r);
  expect_said(r, {"Tool: plain caption title\n", "Title: own title\n", "\nno title\n"});
}

} // namespace
} // namespace vex::ui::test
