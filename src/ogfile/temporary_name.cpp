#include "ogfile/temporary_name.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <random>

#include "util/status.h"

namespace vex::ogfile {

namespace {

// Six letters or digits, new on every call.
std::string random_suffix() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 engine{std::random_device{}() ^ static_cast<uint64_t>(::getpid()) << 32};
  std::string out(6, '0');
  for (char &c : out)
    c = kLetters[engine() % (sizeof kLetters - 1)];
  return out;
}

} // namespace

std::string reserve_temporary(const std::string &final_name) {
  const size_t slash = final_name.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : final_name.substr(0, slash + 1);
  // Created exclusively with 0666, so the umask gives the file the
  // permissions any new file gets, and the rename keeps them.
  int err = EEXIST;
  for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
    const std::string name = dir + ".vx" + random_suffix();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    err = errno;
  }
  util::fail(util::Status::kWriteFailed, "cannot create a file in %s: %s", dir.empty() ? "." : dir.c_str(),
             std::strerror(err));
  return "";
}

bool commit_temporary(const std::string &temporary, const std::string &final_name) {
  if (std::rename(temporary.c_str(), final_name.c_str()) == 0)
    return true;
  const int err = errno;
  remove_file(temporary);
  return util::fail(util::Status::kWriteFailed, "cannot name the output %s: %s", final_name.c_str(),
                    std::strerror(err));
}

void remove_file(const std::string &name) {
  if (!name.empty())
    ::unlink(name.c_str());
}

} // namespace vex::ogfile
