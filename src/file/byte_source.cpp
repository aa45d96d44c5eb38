#include "file/byte_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "file/os_file.h"

namespace vex::file {

// The descriptor every copy of a named source reads through.
struct ByteSource::OpenFile {
  int fd;
  std::string name;
  OpenFile(int d, const char *n) : fd(d), name(n) {}
  OpenFile(const OpenFile &) = delete;
  OpenFile &operator=(const OpenFile &) = delete;
  ~OpenFile() {
    if (fd >= 0)
      close_file(fd);
  }
};

util::Status ByteSource::open(const char *name) {
  *this = ByteSource{};
  if (!name)
    return util::fail(util::Status::kInvalidArgument, "no file name");
  errno = 0;
  const int fd = open_file(name, Access::read);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0) {
    const int err = errno;
    if (fd >= 0)
      close_file(fd);
    file_ = std::make_shared<const OpenFile>(-1, name); // the name tried, for messages
    return util::fail_to_open(err);
  }
  file_ = std::make_shared<const OpenFile>(fd, name);
  size_ = static_cast<uint64_t>(st.st_size);
  return util::Status::kOk;
}

void ByteSource::open(std::span<const uint8_t> bytes) {
  *this = ByteSource{};
  in_memory_ = true;
  memory_ = bytes;
  size_ = bytes.size();
}

ByteSource ByteSource::slice(uint64_t offset) const {
  ByteSource s = *this;
  s.read_failed_ = false;
  offset = std::min(offset, size_);
  s.size_ = size_ - offset;
  if (in_memory_)
    s.memory_ = memory_.subspan(static_cast<size_t>(offset));
  else
    s.base_ = base_ + offset;
  return s;
}

bool ByteSource::is_open() const { return in_memory_ || (file_ && file_->fd >= 0); }

const std::string &ByteSource::name() const {
  static const std::string none;
  return file_ ? file_->name : none;
}

size_t ByteSource::read_at(uint64_t offset, void *dest, size_t n) const {
  if (offset >= size_ || n == 0) // a failed open has size 0
    return 0;
  n = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
  if (in_memory_) {
    std::memcpy(dest, memory_.data() + offset, n);
    return n;
  }
  auto *out = static_cast<uint8_t *>(dest);
  size_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(file_->fd, out + got, n - got, static_cast<off_t>(base_ + offset + got));
    if (r < 0 && errno == EINTR)
      continue;
    if (r < 0)
      read_failed_ = true;
    if (r <= 0)
      break; // the file shrank, or the system refused
    got += static_cast<size_t>(r);
  }
  return got;
}

} // namespace vex::file
