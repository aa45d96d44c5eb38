#include "file/os_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>

#include "file/io_fault_hook.h"

namespace vex::file {

namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDelta = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;

int errno_result(int e) { return e == ENOENT || e == ENOTDIR ? 1 : 2; }

// Moves a file across file systems: copy, then remove the original.
int copy_then_unlink(const char *new_name, const char *old_name) {
  const int in = ::open(old_name, O_RDONLY | O_CLOEXEC);
  if (in < 0)
    return errno_result(errno);
  struct stat st {};
  const int out = fstat(in, &st) == 0 ? ::open(new_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777) : -1;
  if (out < 0) {
    ::close(in);
    return 2;
  }
  char buf[65536];
  bool ok = true;
  for (;;) {
    const uint32_t n = read_some(in, buf, sizeof buf);
    if (n == 0)
      break;
    if (write_all(out, buf, n) != n) {
      ok = false;
      break;
    }
  }
  ok = ::close(out) == 0 && ok;
  ::close(in);
  if (!ok) {
    ::unlink(new_name);
    return 2;
  }
  return ::unlink(old_name) == 0 ? 0 : 2;
}

std::atomic<uint64_t> open_calls{0};

// The write hook (io_fault_hook.h).
std::atomic<uint64_t> fail_write_at{UINT64_MAX};
std::atomic<uint64_t> written{0};

// How many of the next n bytes may go to the system: all of them unless
// the hook is armed; then those before its byte, and none (errno ENOSPC)
// from there on.
size_t write_room(size_t n) {
  const uint64_t at = fail_write_at.load(std::memory_order_relaxed);
  if (at == UINT64_MAX)
    return n;
  const uint64_t done = written.load(std::memory_order_relaxed);
  if (done >= at) {
    errno = ENOSPC;
    return 0;
  }
  return static_cast<size_t>(std::min<uint64_t>(n, at - done));
}

} // namespace

void fail_writes(uint64_t at) {
  written.store(0, std::memory_order_relaxed);
  fail_write_at.store(at, std::memory_order_relaxed);
}

uint64_t bytes_written() { return written.load(std::memory_order_relaxed); }

uint64_t open_count() { return open_calls.load(std::memory_order_relaxed); }

int open_file(const char *name, Access access) {
  open_calls.fetch_add(1, std::memory_order_relaxed);
  int fd = -1;
  do {
    switch (access) {
    case Access::read: fd = ::open(name, O_RDONLY | O_CLOEXEC); break;
    case Access::read_write: fd = ::open(name, O_RDWR | O_CLOEXEC); break;
    case Access::create: fd = ::open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666); break;
    }
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) { // a directory is not a file to read
      const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
      ::close(fd);
      errno = err; // for the caller's reason
      return -1;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  return fd;
}

void close_file(int fd) { ::close(fd); }

uint32_t read_some(int fd, void *dest, uint32_t n) {
  auto *p = static_cast<char *>(dest);
  uint32_t done = 0;
  while (done < n) {
    const ssize_t r = ::read(fd, p + done, n - done);
    if (r < 0 && errno == EINTR)
      continue;
    if (r <= 0)
      break;
    done += static_cast<uint32_t>(r);
  }
  return done;
}

namespace {
// Writes n bytes through put(bytes, count, offset from the start) until
// done or refused (EINTR retried), counting what the write hook sees.
template <class Put> size_t write_loop(const void *src, size_t n, Put put) {
  const auto *p = static_cast<const char *>(src);
  size_t done = 0;
  while (done < n) {
    const size_t room = write_room(n - done);
    const ssize_t r = room == 0 ? -1 : put(p + done, room, done);
    if (r < 0 && errno == EINTR)
      continue;
    if (r <= 0)
      break;
    written.fetch_add(static_cast<uint64_t>(r), std::memory_order_relaxed);
    done += static_cast<size_t>(r);
  }
  return done;
}
} // namespace

uint32_t write_all(int fd, const void *src, uint32_t n) {
  return static_cast<uint32_t>(
      write_loop(src, n, [fd](const char *p, size_t room, size_t) { return ::write(fd, p, room); }));
}

size_t write_at(int fd, uint64_t pos, const void *src, size_t n) {
  return write_loop(src, n, [fd, pos](const char *p, size_t room, size_t done) {
    return ::pwrite(fd, p, room, static_cast<off_t>(pos + done));
  });
}

uint32_t seek(int fd, uint32_t pos, uint32_t fallback) {
  const off_t r = ::lseek(fd, static_cast<off_t>(pos), SEEK_SET);
  return r < 0 ? fallback : static_cast<uint32_t>(r);
}

uint32_t file_length(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0)
    return 0;
  return st.st_size >= 0xFFFFFFFF ? 0xFFFFFFFEu : static_cast<uint32_t>(st.st_size);
}

void commit(int fd) { ::fsync(fd); }

uint64_t write_time(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0)
    return 0;
  const int64_t ticks = (static_cast<int64_t>(st.st_mtim.tv_sec) + kEpochDelta) * kTicksPerSecond + st.st_mtim.tv_nsec / 100;
  return ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
}

void set_times(int fd, uint64_t filetime) {
  // Linux has no settable creation time; access and modification times
  // both take the stamp.
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(static_cast<int64_t>(filetime / kTicksPerSecond) - kEpochDelta);
  ts.tv_nsec = static_cast<long>(filetime % kTicksPerSecond) * 100;
  const timespec both[2] = {ts, ts};
  ::futimens(fd, both);
}

int erase(const char *name) {
  if (!name)
    return 2;
  return ::unlink(name) == 0 ? 0 : errno_result(errno);
}

int move(const char *new_name, const char *old_name) {
  if (!new_name || !old_name)
    return 2;
  // Like the system it replaces, a move never replaces an existing file.
  if (::renameat2(AT_FDCWD, old_name, AT_FDCWD, new_name, RENAME_NOREPLACE) == 0)
    return 0;
  int e = errno;
  if (e == EINVAL || e == ENOSYS) { // file system without RENAME_NOREPLACE
    struct stat st {};
    if (::lstat(new_name, &st) == 0)
      return 2;
    if (::rename(old_name, new_name) == 0)
      return 0;
    e = errno;
  }
  if (e == EXDEV)
    return copy_then_unlink(new_name, old_name);
  return errno_result(e);
}

} // namespace vex::file
