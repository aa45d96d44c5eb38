#include "formats/korvane/korvane_log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <strings.h>

namespace vex::formats::korvane {

namespace {

constexpr uint32_t kRemembered = 0x1000;
std::atomic<uint32_t> g_setting{0}; // 0: not read yet

std::string trim(const std::string &s) {
  const auto a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos)
    return {};
  const auto b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// Leading optional sign and digits, as the profile reader takes them.
int32_t leading_int(const std::string &v) {
  size_t i = 0;
  bool minus = false;
  if (i < v.size() && (v[i] == '-' || v[i] == '+'))
    minus = v[i++] == '-';
  int64_t n = 0;
  while (i < v.size() && v[i] >= '0' && v[i] <= '9') {
    n = n * 10 + (v[i++] - '0');
    if (n > 0x7FFFFFFF)
      n = 0x7FFFFFFF;
  }
  return static_cast<int32_t>(minus ? -n : n);
}

std::string config_file() {
  if (const char *x = std::getenv("XDG_CONFIG_HOME"); x && *x)
    return std::string(x) + "/vexutil.ini";
  if (const char *h = std::getenv("HOME"); h && *h)
    return std::string(h) + "/.config/vexutil.ini";
  return {};
}

uint32_t read_setting() {
  int32_t v = 0;
  if (const char *e = std::getenv("VEXUTIL_KORVANE_DEBUG")) {
    v = leading_int(trim(e));
  } else if (const std::string path = config_file(); !path.empty()) {
    std::ifstream in(path);
    if (in) {
      std::stringstream ss;
      ss << in.rdbuf();
      v = ini_int(ss.str(), "Korvane", "Debug", 0);
    }
  }
  return static_cast<uint32_t>(v) + kRemembered;
}

} // namespace

int32_t ini_int(const std::string &text, const char *section, const char *key, int32_t fallback) {
  std::istringstream in(text);
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#')
      continue;
    if (line[0] == '[') {
      const auto close = line.find(']');
      inside = close != std::string::npos && strcasecmp(trim(line.substr(1, close - 1)).c_str(), section) == 0;
      continue;
    }
    const auto eq = line.find('=');
    if (inside && eq != std::string::npos && strcasecmp(trim(line.substr(0, eq)).c_str(), key) == 0)
      return leading_int(trim(line.substr(eq + 1)));
  }
  return fallback;
}

uint32_t debug_setting() {
  uint32_t s = g_setting.load(std::memory_order_acquire);
  if (s == 0) {
    s = read_setting();
    g_setting.store(s, std::memory_order_release);
  }
  return s;
}

bool log_enabled() { return (debug_setting() & 0xFF) == 1; }

void reload_debug_setting() { g_setting.store(read_setting(), std::memory_order_release); }

void log_line(const std::string &text) {
  if (log_enabled())
    std::fprintf(stderr, "%s\n", text.c_str());
}

} // namespace vex::formats::korvane
