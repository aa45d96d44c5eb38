#include "file/temporary_name.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <random>

#include "util/status.h"
#include "vexutil/file.h"

namespace vex::file {

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

constexpr const char kPrefix[] = ".vx"; // then six letters or digits

// The folder part of a name, its last '/' included; "" for none.
std::string folder_of(const std::string &name) {
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? "" : name.substr(0, slash + 1);
}

} // namespace

size_t temporary_name_length(const std::string &final_name) {
  return folder_of(final_name).size() + sizeof kPrefix - 1 + 6;
}

std::string reserve_temporary(const std::string &final_name) {
  const std::string dir = folder_of(final_name);
  // Created exclusively with 0666, so the umask gives the file the
  // permissions any new file gets, and the rename keeps them.
  int err = EEXIST;
  for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
    const std::string name = dir + kPrefix + random_suffix();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    err = errno;
  }
  util::fail(util::Status::kWriteFailed, "cannot create a file in %s: %s", dir.empty() ? "." : dir.c_str(),
             util::system_text(err).c_str());
  return "";
}

bool commit_temporary(const std::string &temporary, const std::string &final_name) {
  if (std::rename(temporary.c_str(), final_name.c_str()) == 0)
    return true;
  const int err = errno;
  remove_file(temporary);
  return util::fail(util::Status::kWriteFailed, "cannot name the output %s: %s", final_name.c_str(),
                    util::system_text(err).c_str());
}

void remove_file(const std::string &name) {
  if (!name.empty())
    ::unlink(name.c_str());
}

} // namespace vex::file

using namespace vex::file;

extern "C" int32_t VEXFileReserveTemporary(const char *final_name, char *dest, uint32_t dest_size) {
  if (dest && dest_size > 0)
    dest[0] = '\0';
  if (!final_name || !*final_name || !dest) {
    vex::util::fail(vex::util::Status::kInvalidArgument, "no output name, or nowhere to put the temporary's");
    return 0;
  }
  const size_t need = temporary_name_length(final_name) + 1;
  if (dest_size < need) {
    vex::util::fail(vex::util::Status::kInvalidArgument, "the temporary name beside %s needs %zu bytes, %u were given",
                    final_name, need, dest_size);
    return 0;
  }
  const std::string name = reserve_temporary(final_name);
  if (name.empty())
    return 0;
  std::memcpy(dest, name.c_str(), name.size() + 1);
  return 1;
}

extern "C" int32_t VEXFileCommitTemporary(const char *temporary, const char *final_name) {
  if (!temporary || !*temporary || !final_name || !*final_name) {
    vex::util::fail(vex::util::Status::kInvalidArgument, "no temporary or no output name");
    return 0;
  }
  return commit_temporary(temporary, final_name) ? 1 : 0;
}

extern "C" void VEXFileAbandonTemporary(const char *temporary) {
  if (temporary)
    remove_file(temporary);
}
