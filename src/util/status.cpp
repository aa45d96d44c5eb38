#include "util/status.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "vexutil/util.h"

namespace vex::util {
namespace {

constexpr const char *kStatusTexts[kStatusCount] = {
    "",                           // kOk
    "no such file",               // kNoFile
    "not a file of this kind",    // kNotThisFormat
    "the file is damaged",        // kDamaged
    "too large",                  // kTooLarge
    "out of memory",              // kOutOfMemory
    "not supported",              // kUnsupported
    "invalid argument",           // kInvalidArgument
    "the file cannot be read",    // kReadFailed
    "the file cannot be written", // kWriteFailed
    "cancelled",                  // kCancelled
};

// 256 bytes hold every detail the readers write; longer ones are cut.
struct Reason {
  Status status = Status::kOk;
  char text[256] = "";
};
thread_local Reason t_reason;

void keep(Status s, const char *text) {
  t_reason.status = s;
  std::snprintf(t_reason.text, sizeof t_reason.text, "%s", text);
}

} // namespace

const char *status_text(Status s) {
  const auto i = static_cast<int32_t>(s);
  return i >= 0 && i < kStatusCount ? kStatusTexts[i] : "unknown failure";
}

Failure fail(Status s) {
  keep(s, status_text(s));
  return {s};
}

Failure fail(Status s, const char *format, ...) {
  va_list args;
  va_start(args, format);
  vfail(s, format, args);
  va_end(args);
  return {s};
}

Failure vfail(Status s, const char *format, va_list args) {
  t_reason.status = s;
  std::vsnprintf(t_reason.text, sizeof t_reason.text, format, args);
  return {s};
}

Failure fail_to_open(int err) {
  if (err == ENOENT || err == ENOTDIR || err == 0)
    return fail(Status::kNoFile);
  return fail(Status::kReadFailed, "%s", system_text(err).c_str());
}

std::string system_text(int err) {
  char buf[256];
  // GNU strerror_r: the text is in buf or in a constant string of its own.
  return strerror_r(err, buf, sizeof buf);
}

Status last_status() { return t_reason.status; }
const char *last_reason() { return t_reason.text; }
void clear_reason() { keep(Status::kOk, ""); }

} // namespace vex::util

extern "C" const char *VEXLastError(void) { return vex::util::last_reason(); }
