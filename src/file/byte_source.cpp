#include "file/byte_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "file/io_fault_hook.h"
#include "file/os_file.h"
#include "util/status.h"

namespace vex::file {

namespace {
std::atomic<ReadFault> armed_fault{ReadFault::none};
std::atomic<uint64_t> armed_at{0};
thread_local uint64_t failures = 0;
thread_local std::string failure_text;
} // namespace

uint64_t read_failures() { return failures; }
const std::string &last_read_failure() { return failure_text; }

void fail_reads(ReadFault fault, uint64_t at) {
  armed_at.store(at, std::memory_order_relaxed);
  armed_fault.store(fault, std::memory_order_relaxed);
}

// The descriptor every copy of a named source reads through, with what the
// file was when it was opened (to tell a change) and the test hook's fault.
struct ByteSource::OpenFile {
  int fd;
  std::string name;
  struct stat opened {};
  ReadFault fault = ReadFault::none;
  uint64_t fault_at = 0;
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
  auto f = std::make_shared<OpenFile>(fd, name);
  f->opened = st;
  f->fault = armed_fault.load(std::memory_order_relaxed);
  f->fault_at = armed_at.load(std::memory_order_relaxed);
  file_ = std::move(f);
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
  s.error_ = 0;
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

namespace {

// One pread, or what the test hook makes of it: the bytes before the
// fault's byte, then the failure.
ssize_t read_once(int fd, void *dest, size_t n, uint64_t at, ReadFault fault, uint64_t fault_at) {
  if (fault != ReadFault::none && at + n > fault_at) {
    if (at >= fault_at) {
      if (fault == ReadFault::cut)
        return 0;
      errno = EIO;
      return -1;
    }
    n = static_cast<size_t>(fault_at - at);
  }
  return ::pread(fd, dest, n, static_cast<off_t>(at));
}

} // namespace

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
    const uint64_t at = base_ + offset + got;
    const ssize_t r = read_once(file_->fd, out + got, n - got, at, file_->fault, file_->fault_at);
    if (r < 0 && errno == EINTR)
      continue;
    if (r <= 0) { // the system refused, or the file no longer reaches size()
      read_failed_ = true;
      error_ = r < 0 ? errno : 0;
      cut_at_ = at;
      ++failures;
      failure_text = failure();
      util::fail(util::Status::kReadFailed, "%s", failure_text.c_str()); // until the reader says more
      break;
    }
    got += static_cast<size_t>(r);
  }
  return got;
}

std::string ByteSource::failure() const {
  if (!read_failed_)
    return "";
  char text[160];
  if (error_ != 0)
    std::snprintf(text, sizeof text, "%s at byte %" PRIu64, util::system_text(error_).c_str(), cut_at_);
  else
    std::snprintf(text, sizeof text, "the file ends at byte %" PRIu64 ", it held %" PRIu64 " when opened", cut_at_,
                  base_ + size_);
  return text;
}

std::string ByteSource::change() const {
  if (in_memory_ || !file_ || file_->fd < 0)
    return "";
  struct stat now {};
  if (fstat(file_->fd, &now) != 0)
    return std::string("the file cannot be examined: ") + util::system_text(errno);
  const struct stat &then = file_->opened;
  const bool resized = now.st_size != then.st_size;
  if (!resized && now.st_mtim.tv_sec == then.st_mtim.tv_sec && now.st_mtim.tv_nsec == then.st_mtim.tv_nsec)
    return "";
  char text[128];
  std::snprintf(text, sizeof text, "the file %s while open: it holds %" PRId64 " bytes, %" PRId64 " when opened",
                resized ? "changed" : "was rewritten", static_cast<int64_t>(now.st_size),
                static_cast<int64_t>(then.st_size));
  return text;
}

} // namespace vex::file
