// The one way the library says anything on its own: a line goes to the
// sink the program set with VEXSetDiagnosticSink, and without one to
// stderr only when the environment switch VEXUTIL_DIAGNOSTICS is on (a
// value whose leading number is not 0) or the caller's own setting asked
// for it (Korvane's "Debug"). By default nothing is printed.
#pragma once

#include <string_view>

namespace vex::util {

// Hands one line (without its line feed, at most 1023 bytes kept) to the
// sink; `asked` is true when a setting of the caller's own turned its
// lines on, which sends them to stderr even without the switch. Allocates
// nothing, so the allocator itself can report through it.
void diagnose(std::string_view line, bool asked = false);

// Reads VEXUTIL_DIAGNOSTICS again (it is read once per process; for tests).
void reload_diagnostics_switch();

} // namespace vex::util
