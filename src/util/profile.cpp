#include "util/profile.h"

#include <strings.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "util/text_util.h"

namespace vex::util {

int32_t leading_int(std::string_view v) {
  v = trimmed(v);
  size_t i = 0;
  bool minus = false;
  if (i < v.size() && (v[i] == '-' || v[i] == '+'))
    minus = v[i++] == '-';
  int64_t n = 0;
  while (i < v.size() && is_digit(v[i])) {
    n = n * 10 + (v[i++] - '0');
    if (n > 0x7FFFFFFF)
      n = 0x7FFFFFFF;
  }
  return static_cast<int32_t>(minus ? -n : n);
}

int32_t ini_int(std::string_view text, const char *section, const char *key, int32_t fallback) {
  bool inside = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line[0] == ';' || line[0] == '#')
      continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      inside = close != std::string_view::npos &&
               strcasecmp(std::string(trimmed(line.substr(1, close - 1))).c_str(), section) == 0;
      continue;
    }
    const size_t eq = line.find('=');
    if (inside && eq != std::string_view::npos &&
        strcasecmp(std::string(trimmed(line.substr(0, eq))).c_str(), key) == 0)
      return leading_int(line.substr(eq + 1));
  }
  return fallback;
}

std::string profile_file() {
  if (const char *x = std::getenv("XDG_CONFIG_HOME"); x && *x)
    return std::string(x) + "/vexutil.ini";
  if (const char *h = std::getenv("HOME"); h && *h)
    return std::string(h) + "/.config/vexutil.ini";
  return {};
}

int32_t profile_int(const char *section, const char *key, const char *env, int32_t fallback) {
  if (const char *e = env ? std::getenv(env) : nullptr)
    return leading_int(e);
  const std::string path = profile_file();
  if (path.empty())
    return fallback;
  std::ifstream in(path);
  if (!in)
    return fallback;
  std::stringstream text;
  text << in.rdbuf();
  return ini_int(text.str(), section, key, fallback);
}

} // namespace vex::util
