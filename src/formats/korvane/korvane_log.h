// The Korvane reader's diagnostic lines. The "Debug" setting of the section
// "Korvane" is read once per process, from the environment variable
// VEXUTIL_KORVANE_DEBUG when it is set, else from the INI file
// $XDG_CONFIG_HOME/vexutil.ini (~/.config/vexutil.ini without
// XDG_CONFIG_HOME); the default is 0. Logging is on when the low byte of
// the setting is 1; the lines go to stderr.
#pragma once

#include <cstdint>
#include <string>

namespace vex::formats::korvane {

// The setting as remembered: the value read plus 0x1000.
uint32_t debug_setting();
bool log_enabled();
// Reads the setting again (for tests; not thread-safe against logging).
void reload_debug_setting();

// The value of key `key` in section `section` of an INI text (names without
// regard to case, the leading integer of the value as the profile reader
// takes it, 0 when it does not start with one); `fallback` when absent.
int32_t ini_int(const std::string &text, const char *section, const char *key, int32_t fallback);

// One line (a line feed is added) when logging is on.
void log_line(const std::string &text);

} // namespace vex::formats::korvane
