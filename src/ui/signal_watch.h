// Ctrl-C, hang-up and termination while a status window or a dialog is
// open. The handlers only note the signal (async-signal-safe); the window
// logic acts on it inside its next pump, on its own thread. Outside any
// open window the process keeps the dispositions it had.
#pragma once

namespace vex::ui::signals {

enum Taken : unsigned { interrupt = 1, session_end = 2 };

// Nested: the handlers stay until the last watch ends.
void begin_watch();
void end_watch();
// The signals noted since the last call, as a Taken mask.
unsigned take();

// While a question waits on the terminal, Ctrl-C ends the process the
// ordinary way: the person pressed it again instead of answering.
class AskingGuard {
public:
  AskingGuard();
  ~AskingGuard();
  AskingGuard(const AskingGuard &) = delete;
  AskingGuard &operator=(const AskingGuard &) = delete;
};

} // namespace vex::ui::signals
