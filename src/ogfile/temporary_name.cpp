#include "ogfile/temporary_name.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "util/status.h"

namespace vex::ogfile {

namespace {

mode_t new_file_mode() {
  // umask can only be read by setting it; this runs on the writer's
  // thread before any file of the output is visible.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

} // namespace

std::string reserve_temporary(const std::string &final_name) {
  const size_t slash = final_name.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : final_name.substr(0, slash + 1);
  std::string pattern = dir + ".vxXXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) {
    util::fail(util::Status::kWriteFailed, "cannot create a file in %s: %s", dir.empty() ? "." : dir.c_str(),
               std::strerror(errno));
    return "";
  }
  ::close(fd);
  return buffer.data();
}

bool commit_temporary(const std::string &temporary, const std::string &final_name) {
  ::chmod(temporary.c_str(), new_file_mode());
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
