// Running user-interface code where it cannot hang the test: in a child
// process with a time limit, either cut off from any terminal (a session
// of its own, stdin from /dev/null, stderr captured) or on a fresh
// pseudo-terminal that the test types into; and dialog templates.
#pragma once

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>

#include "testkit/ui/pty_child.h"
#include "testkit/util/child_process.h"

namespace vex::ui::test {

using namespace std::chrono_literals;
using testkit::ChildResult;

// Environment for the terminal front in a child.
void use_terminal_front();
// body in a child without a controlling terminal; its return value is the
// exit status. terminal_only: the child is also kept from any display.
ChildResult detached(const std::function<int()> &body, bool terminal_only = true,
                     std::chrono::milliseconds limit = 15s);

// body on a fresh pseudo-terminal, on the terminal front.
class Pty : public testkit::PtyChild {
public:
  explicit Pty(const std::function<int()> &body)
      : PtyChild([body] {
          use_terminal_front();
          return body();
        }) {}
};

// Child-side checks: a failed one ends the child with its line number.
#define CHILD_CHECK(cond)                                                                                              \
  do {                                                                                                                 \
    if (!(cond))                                                                                                       \
      return __LINE__;                                                                                                 \
  } while (0)

// The child ended within its limit with `status` (a body of CHILD_CHECKs
// ends with 0, any other status is the line of the check that failed) and
// said every one of `said` and none of `unsaid`.
void expect_child(const ChildResult &r, int status = 0, std::initializer_list<std::string> said = {},
                  std::initializer_list<std::string> unsaid = {});

// The dialog template of a made-up tool (convert_dialog.ui): the title
// "Convert", a progress bar (101), a label (102) and the Cancel button (2).
const char *convert_dialog();
// Cut short in the middle of an element: no parser takes it.
inline constexpr const char *kBrokenDialog = R"(<interface><object class="GtkWindow" id="VEXDialog"><property name=)";
// Well formed, but without the object "VEXDialog".
inline constexpr const char *kNamelessDialog =
    R"(<interface><object class="GtkWindow" id="Other"></object></interface>)";

} // namespace vex::ui::test
