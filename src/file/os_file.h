// The few operating-system file services the buffered file needs, as one
// thin layer over POSIX descriptors. Counts are bytes; positions are
// clamped to the 32-bit range the file layer works in.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vex::file {

enum class Access { read, read_write, create };

// Descriptor, or -1.
int open_file(const char *name, Access access);
// open_file calls made by the process so far, failed ones included: a test
// hook that shows how often a reader goes to the file system for one open.
uint64_t open_count();
void close_file(int fd);
// Loops over short transfers and EINTR; returns what was moved.
uint32_t read_some(int fd, void *dest, uint32_t n);
uint32_t write_all(int fd, const void *src, uint32_t n);
// The same at an absolute 64-bit position (pwrite: the descriptor's own
// position does not move). On a short count errno says why.
size_t write_at(int fd, uint64_t pos, const void *src, size_t n);
// Absolute seek; returns the new position, or `fallback` on failure.
uint32_t seek(int fd, uint32_t pos, uint32_t fallback);
// Length of the open file, at most 0xFFFFFFFE (0xFFFFFFFF means unknown).
uint32_t file_length(int fd);
void commit(int fd);
// Last-write time as 100 ns units since 1601-01-01; 0 on failure.
uint64_t write_time(int fd);
void set_times(int fd, uint64_t filetime);

// 0 done, 1 no such file, 2 any other failure.
int erase(const char *name);
int move(const char *new_name, const char *old_name);

} // namespace vex::file
