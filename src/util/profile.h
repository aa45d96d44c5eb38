// Integer settings of the library's profile: an environment variable when
// it is set, else a key of the INI file $XDG_CONFIG_HOME/vexutil.ini
// (~/.config/vexutil.ini without XDG_CONFIG_HOME), else a default.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vex::util {

// The setting `key` of section `section`: the environment variable `env`
// when it is set (its leading integer), else the INI file's value, else
// fallback.
int32_t profile_int(const char *section, const char *key, const char *env, int32_t fallback);

// The value of `key` in `section` of an INI text: names without regard to
// case, blanks around names and values ignored, ';' and '#' lines are
// comments; the leading integer of the value (0 when it does not start
// with one); fallback when the key is absent.
int32_t ini_int(std::string_view text, const char *section, const char *key, int32_t fallback);

// An optional sign and decimal digits at the start of v, as the profile
// reader takes them; saturates at the int32 range, 0 without digits.
int32_t leading_int(std::string_view v);

// The INI file's path; "" when neither XDG_CONFIG_HOME nor HOME is set.
std::string profile_file();

} // namespace vex::util
