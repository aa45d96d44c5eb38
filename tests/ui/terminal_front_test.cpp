// The status window, the dialog window and the prompts on the terminal
// front with nobody to answer: every question takes its default at once
// and says so, texts are cut to their lines, the owner receives the final
// text, calls out of order are harmless, interrupt and termination reach
// the handlers, and templates that cannot be used give 0. Each case runs
// in a child process cut off from any terminal, under a time limit, so
// that a question that waited would fail the test instead of hanging it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>

#include "testkit/util/expect_text.h"
#include "testkit/util/temp_dir.h"
#include "tests/ui/ui_test_util.h"
#include "ui/ui_testing.h"
#include "vexutil/ui.h"

namespace vex::ui::test {
namespace {

struct Received {
  uint32_t message = 0, length = 0;
  uintptr_t wparam = 0, data = 0;
  std::string text;
  int count = 0;
} g_received;

intptr_t owner_proc(VEXWND, uint32_t message, uintptr_t wparam, intptr_t lparam, void *) {
  const auto *cd = reinterpret_cast<const VEXCOPYDATA *>(lparam);
  if (message == VEXWM_COPYDATA)
    g_received = {message, cd->length, wparam, cd->data, static_cast<const char *>(cd->pointer), g_received.count};
  ++g_received.count;
  return 77;
}

std::atomic<int> g_cancel_calls{0}, g_commands{0}, g_last_command{-1}, g_ticks{0};
std::thread::id g_dialog_thread, g_tick_thread, g_handler_thread;
void on_cancel() { ++g_cancel_calls; }

// The dialog's command handler: records the command and its thread, and
// keeps the dialog (1) or lets it close (0).
template <int32_t keep> int32_t handler(int32_t command, VEXWND) {
  g_last_command = command;
  g_handler_thread = std::this_thread::get_id();
  ++g_commands;
  return keep;
}

VEXINSTANCE instance(const char *text, int32_t length = -1) { return VEXINSTANCE{text, length, nullptr, nullptr}; }

TEST(StatusNoTerminal, QuestionsMessagesAndTheCancelButtonTakeTheirDefaultAtOnce) {
  expect_child(detached([] {
                 StatusInit(nullptr, nullptr, 0);
                 CHILD_CHECK(StatusOpen("Converting", "in.flc -> out.flc", on_cancel) == 1);
                 CHILD_CHECK(StatusAsk("File x exists, overwrite?", 1) == 0 &&
                             testing::status_text() == "File x exists, overwrite? No.");
                 CHILD_CHECK(StatusAsk("Go on?", 0) == 1 && testing::status_text() == "Go on? Yes.");
                 StatusSet("working");
                 // The Cancel button, answered by the default: runs on.
                 CHILD_CHECK(StatusDoCancel() == 0 && testing::status_text() == "Do you want to cancel? No.");
                 CHILD_CHECK(g_cancel_calls == 0 && testing::cancel_requests() == 1);
                 StatusMessage("plain caption title", 0);
                 StatusMessageTitle("own title", "Title", 1);
                 StatusMessageTitle("no title", nullptr, 0);
                 StatusClose(0);
                 return 0;
               }),
               0,
               {"Converting: File x exists, overwrite? [y/N] No (no terminal: the default)",
                "Go on? [Y/n] Yes (no terminal: the default)", "Do you want to cancel? [y/N] No",
                "Converting: plain caption title\n", "Title: own title\n", "\nno title\n"});
}

TEST(StatusNoTerminal, CallsOutOfOrderAreHarmlessTheOwnerGetsTheFinalTextAndTextsAreCut) {
  expect_child(
      detached([] {
        VEXWND owner = VEXWindowCreate(owner_proc, nullptr);
        CHILD_CHECK(StatusSet("nobody sees this") == 0 && StatusCheck() == 0); // before StatusInit
        StatusClose(1);
        StatusInit(nullptr, owner, 0);
        CHILD_CHECK(StatusSet("still nothing") == 0 && StatusGetHWND() == owner);
        CHILD_CHECK(StatusMessage("a message with no window", 0) == 0);
        StatusClose(1);
        StatusClose(1);
        CHILD_CHECK(g_received.count == 0 && StatusDoCancel() == 0); // no window, no final text; asked, default No

        StatusInit(nullptr, owner, 0);
        CHILD_CHECK(StatusOpen("Caption", "Info line", nullptr) == 1);
        // Hidden until the first StatusSet.
        CHILD_CHECK(StatusGetHWND() == owner && testing::status_text() == "Loading..." && StatusSet("Frame 7") == 0);
        VEXWND status = StatusGetHWND();
        CHILD_CHECK(status != owner && status != nullptr);
        StatusClose(1); // nobody can press Done: closes at once
        const Received &r = g_received;
        CHILD_CHECK(r.count == 1 && r.message == VEXWM_COPYDATA && r.wparam == reinterpret_cast<uintptr_t>(status));
        CHILD_CHECK(r.data == VEXSTATUS_FINAL_TEXT && r.text == "Caption - Info line\r\n  Frame 7");
        CHILD_CHECK(r.length == r.text.size() + 1);
        StatusClose(1);
        CHILD_CHECK(r.count == 1 && StatusGetHWND() == owner && StatusSet("after close") == 0);

        StatusInit(nullptr, nullptr, 1);
        CHILD_CHECK(StatusOpen("C", std::string(300, 'i').c_str(), nullptr) == 1);
        StatusSet(std::string(500, 's').c_str());
        CHILD_CHECK(testing::status_text() == std::string(95, 's') && testing::info_text() == std::string(95, 'i'));
        CHILD_CHECK(testing::status_shown().status == std::string(95, 's')); // what stderr got
        StatusAsk(std::string(93, 'q').c_str(), 1);                          // " No." no longer fits whole
        CHILD_CHECK(testing::status_text() == std::string(93, 'q') + " N");
        std::string wide; // two-byte characters are never split: 47 of them fill 94 bytes
        for (int i = 0; i < 60; ++i)
          wide += "\xC3\xA9";
        StatusSet(wide.c_str());
        CHILD_CHECK(testing::status_text().size() == 94);
        StatusClose(1);
        return 0;
      }),
      0, {"a message with no window", "Caption - Info line\nFrame 7\n"}, {"nobody sees this"});
}

TEST(StatusNoTerminal, InterruptCancelsAtOnceAndCallsBackOnce) {
  expect_child(detached([] {
                 StatusInit(nullptr, nullptr, 0);
                 CHILD_CHECK(StatusOpen("Run", "", on_cancel) == 1);
                 StatusSet("working");
                 raise(SIGINT); // noted by the handler; acted on at the next pump
                 CHILD_CHECK(g_cancel_calls == 0 && StatusSet("working") == 0);
                 CHILD_CHECK(g_cancel_calls == 1 && testing::cancelled());
                 raise(SIGTERM);
                 StatusCheck();
                 // No longer asks.
                 CHILD_CHECK(g_cancel_calls == 1 && testing::cancel_requests() == 2 && StatusDoCancel() == 1);
                 StatusClose(1);
                 struct sigaction now {}; // closed: the signals have their old meaning again
                 sigaction(SIGINT, nullptr, &now);
                 CHILD_CHECK(now.sa_handler == SIG_DFL);
                 return 0;
               }),
               0, {}, {"Do you want to cancel?"}); // nobody to ask: no question
}

// Results of the worker, Done that nobody can press, the worker's boxes
// with their defaults, item texts, the timer on the dialog's thread, and
// templates that cannot be used.
TEST(DialogNoTerminal, WorkerResultsBoxesTimerAndTemplates) {
  const ChildResult r = detached([] {
    g_dialog_thread = std::this_thread::get_id();
    const VEXINSTANCE inst = instance(convert_dialog());
    const auto value = [](intptr_t v, VEXWND) { return int32_t(v); };
    CHILD_CHECK(VEXDialogInit(&inst, nullptr, 5, 1, 0, value, handler<0>) == 5);
    // 0: Done and the caption change, then closed at once as nobody can press.
    CHILD_CHECK(VEXDialogInit(&inst, nullptr, 0, 1, 0, value, handler<0>) == 0);
    CHILD_CHECK(VEXDialogInit(&inst, nullptr, 0, 1, 1, value, nullptr) == 0);
    CHILD_CHECK(VEXDialogInit(&inst, nullptr, 0, 1, 0, nullptr, nullptr) == 0);
    CHILD_CHECK(g_commands == 0);
    const auto boxes = [](intptr_t, VEXWND dialog) -> int32_t {
      CHILD_CHECK(VEXDialogAsk("Three, No default?", 32) == 0 && VEXDialogAsk("Two, Yes default?", 1) == 1);
      CHILD_CHECK(VEXDialogAsk("Three, Cancel default?", 34) == 2 && VEXDialogAsk("Two, third asked?", 2) == 1);
      CHILD_CHECK(VEXDialogMessage("Just so you know", 0) == 0);
      CHILD_CHECK(VEXDialogMessage("OK or Cancel, Cancel default", 34) == 2 &&
                  VEXDialogMessage("OK or Cancel", 32) == 0);
      CHILD_CHECK(VEXDialogSetItemText(dialog, 101, "Frame 1 of 4 (25%)") == 1);
      CHILD_CHECK(testing::dialog_shown().status == "Frame 1 of 4 (25%)");
      CHILD_CHECK(VEXDialogSetItemText(dialog, 999, "nowhere") == 0 && VEXDialogSetItemText(nullptr, 101, "none") == 0);
      return 3;
    };
    if (const int32_t got = VEXDialogInit(&inst, nullptr, 0, 1, 0, boxes, nullptr); got != 3)
      return got;                                           // the line of the worker's failed check
    CHILD_CHECK(VEXDialogSetTimer([](VEXWND) {}, 10) == 0); // no dialog yet
    const auto timed = [](intptr_t, VEXWND) -> int32_t {
      CHILD_CHECK(VEXDialogSetTimer([](VEXWND) {}, 0) == 0);
      CHILD_CHECK(VEXDialogSetTimer(
                      [](VEXWND) {
                        ++g_ticks;
                        g_tick_thread = std::this_thread::get_id();
                      },
                      40) == 1);
      std::this_thread::sleep_for(500ms);
      return 4;
    };
    if (const int32_t got = VEXDialogInit(&inst, nullptr, 0, 1, 0, timed, nullptr); got != 4)
      return got;
    // 500 ms at 40 ms: about 12 ticks; a loose window for a loaded machine.
    CHILD_CHECK(g_ticks >= 5 && g_ticks <= 14 && g_tick_thread == g_dialog_thread);
    static std::atomic<int> ran{0};
    const auto worker = [](intptr_t, VEXWND) { return int32_t(++ran); };
    const VEXINSTANCE nameless = instance(kNamelessDialog), empty = instance(nullptr);
    // A length that cuts the object's name in two.
    const VEXINSTANCE cut = instance(convert_dialog(), int32_t(std::string(convert_dialog()).find("VEXDialog") + 3));
    for (const VEXINSTANCE *unusable : {&nameless, &empty, static_cast<const VEXINSTANCE *>(nullptr), &cut})
      CHILD_CHECK(VEXDialogInit(unusable, nullptr, 0, 1, 0, worker, nullptr) == 0);
    CHILD_CHECK(ran == 0);
    return 0;
  });
  expect_child(r, 0,
               {"Convert - Done!", "Convert: Three, No default? [y/N/c] No", "Convert: Two, Yes default? [Y/n] Yes",
                "Three, Cancel default? [y/n/C] Cancel", "Convert: Just so you know\n",
                "OK or Cancel, Cancel default [o/C] Cancel", "Frame 1 of 4 (25%)\n"});
  EXPECT_EQ(testkit::times_in(r.err, "Couldn't create window."), 4u) << r.err;
}

// SIGINT goes to the handler on the dialog's thread and never closes a
// running job; SIGTERM that the handler allows ends the dialog while the
// worker goes on.
TEST(DialogNoTerminal, InterruptAndTerminationGoToTheHandler) {
  expect_child(detached([] {
    g_dialog_thread = std::this_thread::get_id();
    const VEXINSTANCE inst = instance(convert_dialog());
    const int32_t got = VEXDialogInit(
        &inst, nullptr, 0, 1, 0,
        [](intptr_t, VEXWND) -> int32_t {
          kill(getpid(), SIGINT); // at once: the signals are watched before the worker starts
          for (int i = 0; i < 500 && g_commands == 0; ++i)
            std::this_thread::sleep_for(10ms);
          return 7;
        },
        handler<1>);
    CHILD_CHECK(got == 7 && g_commands == 1 && g_last_command == 2 && g_handler_thread == g_dialog_thread);
    static std::atomic<int> after{-1};
    CHILD_CHECK(VEXDialogInit(
                    &inst, nullptr, 0, 1, 0,
                    [](intptr_t, VEXWND dialog) -> int32_t {
                      kill(getpid(), SIGTERM);
                      std::this_thread::sleep_for(400ms);
                      after = VEXDialogSetItemText(dialog, 101, "late"); // gone: nothing to set
                      return 8;
                    },
                    handler<0>) == 1); // closed before the worker returned
    CHILD_CHECK(g_commands == 2 && g_last_command == 2);
    for (int i = 0; i < 300 && after < 0; ++i)
      std::this_thread::sleep_for(10ms);
    CHILD_CHECK(after == 0);
    return 0;
  }));
}

// overwrite and CheckForDup against real files: links, relative and full
// names, letter case, names longer than the buffers.
TEST(Prompts, OverwriteAsksOnlyForExistingFilesAndCheckForDupKnowsOneFileUnderManyNames) {
  testkit::TempDir dir;
  const std::string there = dir.file("there.flc"), in = dir.file("in.flc");
  std::string deep = dir.path().string();
  while (deep.size() < 300) {
    deep += "/" + std::string(40, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  const std::string long_name = deep + "/long-output.flc";
  for (const std::string &name : {there, in, long_name, dir.file("a.flc"), dir.file("b.flc"), dir.file("A.flc")})
    std::ofstream(name) << "x";
  ASSERT_EQ(link(in.c_str(), dir.file("hard.flc").c_str()), 0);
  ASSERT_EQ(symlink(in.c_str(), dir.file("soft.flc").c_str()), 0);
  const ChildResult r = detached([&] {
    StatusInit(nullptr, nullptr, 0);
    StatusOpen("T", "", nullptr);
    CHILD_CHECK(overwrite(dir.file("absent.flc").c_str(), 0) == 1 && overwrite(dir.file("absent.flc").c_str(), 1) == 1);
    CHILD_CHECK(testing::status_text() == "Loading..."); // nothing asked
    CHILD_CHECK(overwrite(there.c_str(), 0) == 0 &&
                testing::status_text() == "File " + there + " exists, overwrite? No.");
    CHILD_CHECK(overwrite(there.c_str(), 1) == 0); // through the dialog's box
    // Asked, not taken as absent; the status line keeps what fits of the question.
    CHILD_CHECK(overwrite(long_name.c_str(), 0) == 0 && testing::status_text().find("...") != std::string::npos);
    CHILD_CHECK(testing::status_text().size() == 95);
    StatusClose(0);
    CHILD_CHECK(chdir(dir.path().c_str()) == 0);
    const std::string long_a = std::string(300, 'p') + "a", long_b = std::string(300, 'p') + "b";
    const std::pair<std::string, std::string> same[] = {
        {in, in},         {in, "./in.flc"}, {"in.flc", (dir.path() / "sub/../in.flc").string()},
        {in, "hard.flc"}, {"soft.flc", in}, {"new.flc", "./new.flc"} /* not written yet: the same full path */,
        {long_a, long_a}};
    for (const auto &[a, b] : same)
      CHILD_CHECK(CheckForDup(a.c_str(), b.c_str()) == 0);
    const std::pair<std::string, std::string> different[] = {{"a.flc", "b.flc"},
                                                             {"a.flc", "A.flc"} /* letter case names different files */,
                                                             {"a.flc", "missing.flc"},
                                                             {"x.flc", "X.flc"},
                                                             {long_a, long_b}};
    for (const auto &[a, b] : different)
      CHILD_CHECK(CheckForDup(a.c_str(), b.c_str()) == 1);
    return 0;
  });
  expect_child(r, 0,
               {"File " + there + " exists, overwrite? [y/N] No", "/long-output.flc exists, overwrite? [y/N] No"});
  EXPECT_EQ(testkit::times_in(r.err, "overwrite? [y/N] No"), 3u) << "asked for the two existing names only\n" << r.err;
  EXPECT_EQ(testkit::times_in(r.err, "Output filename must be different than the input filename."), 7u)
      << "one message for each refused pair, none for the others\n"
      << r.err;
}

} // namespace
} // namespace vex::ui::test
