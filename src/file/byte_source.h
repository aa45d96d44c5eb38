// Where a reader's bytes come from, behind one small value type: a file
// opened by name, a stretch of such a file from an offset on (a movie
// inside another file), or a span of memory the caller keeps alive while
// any copy lives.
//
// A source is opened once and then handed around: copies are cheap and
// share the open file, which is closed when the last copy goes. Every read
// is a pread at an absolute offset, so copies never disturb one another
// and no position is kept. Offsets are counted from the start of the
// source's own data (its base in the file); size() is what lies from there
// to the end of the file, taken once when the file is opened. Reads never
// go past size(): a reader checks what the file says against size() first
// and reads what is there, never what it was told.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "util/status.h"

namespace vex::file {

// The calling thread's failed reads (read_failed() of any source): how many
// so far, and the failure() text of the last. A caller compares the count
// before and after a step to learn that the step met one, even when a
// decoder in between replaced the reason with words of its own.
uint64_t read_failures();
const std::string &last_read_failure();

class ByteSource {
public:
  // Opens the named file for reading. kNoFile or kReadFailed (with the
  // system's text) otherwise, recorded as the thread's last reason; the
  // source is then not open, but keeps the name it was given.
  util::Status open(const char *name);
  // The caller's bytes, not copied.
  void open(std::span<const uint8_t> bytes);
  // The same data from `offset` on, sharing the open file; an offset past
  // the end gives an empty source.
  ByteSource slice(uint64_t offset) const;

  bool is_open() const;
  bool in_memory() const { return in_memory_; }
  uint64_t size() const { return size_; }
  // Where the data starts in the file (0 unless sliced).
  uint64_t base() const { return base_; }
  // The name the file was opened (or tried) with; "" for memory.
  const std::string &name() const;
  // The whole data of a memory source; empty for files.
  std::span<const uint8_t> memory() const { return memory_; }

  // Copies up to n bytes from `offset` into dest; returns how many were
  // copied: n, or fewer at the end of the data, when the system refused,
  // or when the file ends before size() (it was cut while open); the last
  // two read_failed() then remembers, for this copy.
  size_t read_at(uint64_t offset, void *dest, size_t n) const;
  // All n bytes at offset, or false.
  bool read_exact(uint64_t offset, void *dest, size_t n) const { return read_at(offset, dest, n) == n; }
  // A read came back short of data that size() says is there: the system
  // refused it, or the file no longer holds it (not merely the end of the
  // data).
  bool read_failed() const { return read_failed_; }
  // Why, for a reason's text: the system's words and the place
  // ("Input/output error at byte N"), or "the file ends at byte N, it held
  // M when opened"; "" when no read failed. A failed read also records it
  // as the thread's last reason (kReadFailed), which a reader may then
  // replace with one that names its frame.
  std::string failure() const;
  // How the named file differs from what it was when opened ("the file
  // changed while open: it holds N bytes, M when opened", or the same with
  // "rewritten" when only its modification time moved); "" when it looks
  // the same, and always for memory. One fstat; readers ask once a frame.
  std::string change() const;

private:
  struct OpenFile;
  std::shared_ptr<const OpenFile> file_;
  bool in_memory_ = false;
  uint64_t base_ = 0;
  uint64_t size_ = 0;
  std::span<const uint8_t> memory_;
  mutable bool read_failed_ = false;
  mutable int error_ = 0;        // errno of the refused read; 0 for a file cut short
  mutable uint64_t cut_at_ = 0;  // where a cut file ended (from the file's start)
};

} // namespace vex::file
