// Where a reader's bytes come from, behind one small type: a file the
// reader opens by name (and closes), a descriptor the caller owns with the
// offset at which the data starts (a movie inside another file), or a span
// of memory the caller keeps alive while the reader lives.
//
// Offsets are counted from the start of the data (the base); size() is
// what lies from there to the end of the file, taken once when the source
// is opened. A descriptor is read with pread only: the source never moves
// its position and never closes it, so the caller may go on using it.
// Reads never go past size(): a reader checks what the file says against
// size() first and reads what is there, never what it was told.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "util/status.h"

namespace vex::file {

class ByteSource {
public:
  ByteSource() = default;
  ByteSource(ByteSource &&other) noexcept;
  ByteSource &operator=(ByteSource &&other) noexcept;
  ByteSource(const ByteSource &) = delete;
  ByteSource &operator=(const ByteSource &) = delete;
  ~ByteSource();

  // Opens the named file for reading. kNoFile or kReadFailed (with the
  // system's text) otherwise, recorded as the thread's last reason.
  util::Status open(const char *name);
  // The caller's descriptor from `base` on. kInvalidArgument when it cannot
  // be examined, kNotThisFormat when base lies past its end.
  util::Status open(int fd, uint64_t base);
  // The caller's bytes, not copied.
  void open(std::span<const uint8_t> bytes);

  bool is_open() const { return kind_ != Kind::none; }
  bool in_memory() const { return kind_ == Kind::memory; }
  uint64_t size() const { return size_; }
  // Where the data starts in the descriptor's file (0 for the others).
  uint64_t base() const { return base_; }
  // The name a named source was opened with ("" for the others).
  const std::string &name() const { return name_; }
  // The whole data of a memory source; empty for files.
  std::span<const uint8_t> memory() const { return memory_; }

  // Copies up to n bytes from `offset` into dest; returns how many were
  // copied: n, or fewer at the end of the data or when the system refused
  // (which read_failed() then remembers).
  size_t read_at(uint64_t offset, void *dest, size_t n) const;
  // All n bytes at offset, or false.
  bool read_exact(uint64_t offset, void *dest, size_t n) const { return read_at(offset, dest, n) == n; }
  // A read that the system refused has happened (not merely the end of the data).
  bool read_failed() const { return read_failed_; }

private:
  enum class Kind { none, named, descriptor, memory };
  void release();

  Kind kind_ = Kind::none;
  int fd_ = -1;
  uint64_t base_ = 0;
  uint64_t size_ = 0;
  std::span<const uint8_t> memory_;
  std::string name_;
  mutable bool read_failed_ = false;
};

} // namespace vex::file
