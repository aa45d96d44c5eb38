// Why an internal step failed, and the calling thread's last reason.
//
// Every internal open and decode step that fails says why with one of the
// statuses below, optionally with a detail ("frame 12 runs past the end of
// the file"). The reason is kept per thread, so two threads reading two
// files never see each other's; the flat interface still answers null or
// 0, and VEXLastError() hands the text to the program.
//
//   return fail(Status::kDamaged, "frame %d runs past the end of the file", n);
//
// works in a function returning a pointer (null), a bool (false) or a
// Status, and records the reason on the way.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

namespace vex::util {

enum class Status : int32_t {
  kOk = 0,
  kNoFile,        // the name does not lead to a file
  kNotThisFormat, // the file is there but is not of the kind asked for
  kDamaged,       // of the right kind, but its contents contradict themselves
  kTooLarge,      // beyond the library's limits (util/limits.h)
  kOutOfMemory,
  kUnsupported,     // valid, but of a variant this library does not handle
  kInvalidArgument, // the call itself is wrong (a null handle, a bad size)
  kReadFailed,
  kWriteFailed,
  kCancelled,
};
inline constexpr int kStatusCount = 11;

// The fixed text of a status ("no such file", "damaged", ...).
const char *status_text(Status s);

// What fail() returns: converts to a null pointer of any type, to false
// and to its status, so one line records the reason and leaves.
struct Failure {
  Status status;
  template <class T> constexpr operator T *() const { return nullptr; }
  constexpr operator bool() const { return false; }
  constexpr operator Status() const { return status; }
};

// Records s as the calling thread's last reason, with a printf-style detail
// when one is given (the status text otherwise).
Failure fail(Status s);
Failure fail(Status s, const char *format, ...) __attribute__((format(printf, 2, 3)));
// The same with the arguments of a variadic caller of one's own.
Failure vfail(Status s, const char *format, va_list args) __attribute__((format(printf, 2, 0)));
// kNoFile for a name that leads nowhere (ENOENT, ENOTDIR), else kReadFailed
// with the system's text for err.
Failure fail_to_open(int err);
// The system's text for the errno value err. Unlike std::strerror, which
// may hand every thread one shared buffer, safe on any thread.
std::string system_text(int err);

// The calling thread's last reason: its status (kOk when none) and its text
// ("" when none). The text stays valid until the thread records another.
Status last_status();
const char *last_reason();
// Forgets the calling thread's last reason (an open does so first, so the
// reason afterwards is about that open).
void clear_reason();

} // namespace vex::util
