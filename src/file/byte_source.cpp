#include "file/byte_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "file/os_file.h"

namespace vex::file {

ByteSource::ByteSource(ByteSource &&other) noexcept { *this = std::move(other); }

ByteSource &ByteSource::operator=(ByteSource &&other) noexcept {
  if (this != &other) {
    release();
    kind_ = std::exchange(other.kind_, Kind::none);
    fd_ = std::exchange(other.fd_, -1);
    base_ = std::exchange(other.base_, 0);
    size_ = std::exchange(other.size_, 0);
    memory_ = std::exchange(other.memory_, {});
    name_ = std::move(other.name_);
    read_failed_ = std::exchange(other.read_failed_, false);
  }
  return *this;
}

ByteSource::~ByteSource() { release(); }

void ByteSource::release() {
  if (kind_ == Kind::named && fd_ >= 0)
    close_file(fd_);
  kind_ = Kind::none;
  fd_ = -1;
  base_ = size_ = 0;
  memory_ = {};
  name_.clear();
  read_failed_ = false;
}

util::Status ByteSource::open(const char *name) {
  release();
  if (!name)
    return util::fail(util::Status::kInvalidArgument, "no file name");
  errno = 0;
  const int fd = open_file(name, Access::read);
  if (fd < 0)
    return util::fail_to_open(errno);
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    const int err = errno;
    close_file(fd);
    return util::fail_to_open(err);
  }
  kind_ = Kind::named;
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  name_ = name;
  return util::Status::kOk;
}

util::Status ByteSource::open(int fd, uint64_t base) {
  release();
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0)
    return util::fail(util::Status::kInvalidArgument, "descriptor %d cannot be read from", fd);
  const auto length = static_cast<uint64_t>(st.st_size);
  if (base > length)
    return util::fail(util::Status::kNotThisFormat, "offset %llu lies past the end of the file",
                      static_cast<unsigned long long>(base));
  kind_ = Kind::descriptor;
  fd_ = fd;
  base_ = base;
  size_ = length - base;
  return util::Status::kOk;
}

void ByteSource::open(std::span<const uint8_t> bytes) {
  release();
  kind_ = Kind::memory;
  memory_ = bytes;
  size_ = bytes.size();
}

size_t ByteSource::read_at(uint64_t offset, void *dest, size_t n) const {
  if (offset >= size_ || n == 0)
    return 0;
  n = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
  if (kind_ == Kind::memory) {
    std::memcpy(dest, memory_.data() + offset, n);
    return n;
  }
  auto *out = static_cast<uint8_t *>(dest);
  size_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd_, out + got, n - got, static_cast<off_t>(base_ + offset + got));
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
