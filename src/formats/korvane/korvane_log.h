// The Korvane reader's diagnostic lines. The "Debug" setting of the section
// "Korvane" is read once per process through the profile reader
// (util/profile.h): the environment variable VEXUTIL_KORVANE_DEBUG when it
// is set, else the INI file; the default is 0. With the low byte 1 the
// reader's lines go to the diagnostic sink (util/diagnostics.h), which
// prints them on stderr when the program set no sink of its own.
#pragma once

#include <cstdint>
#include <string_view>

namespace vex::formats::korvane {

// The setting as remembered: the value read plus 0x1000.
uint32_t debug_setting();
bool log_enabled();
// Reads the setting again (for tests; not thread-safe against logging).
void reload_debug_setting();

// One line when logging is on.
void log_line(std::string_view text);

} // namespace vex::formats::korvane
