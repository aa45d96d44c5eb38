// Stretches of a byte source to parse in place, read ahead in whole
// 4096-byte pieces.
//
// A memory source hands out its own bytes. A file goes through a window:
// a stretch outside it refills the window with one read from the piece
// that holds the stretch's start (the end of the data may leave the window
// short, never short of a stretch that is there), and a stretch longer
// than the window is read whole into a spill buffer of its own. Or the
// caller preloads one stretch (every record of a small movie) and is
// served from memory from then on. Buffers come from the library heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "file/byte_source.h"
#include "util/record.h"

namespace vex::file {

class ReadWindow {
public:
  static constexpr uint32_t kPiece = 4096;

  explicit ReadWindow(const ByteSource &source) : source_(&source) {}

  // A window that serves any stretch of up to `bytes` wherever it starts:
  // `bytes` rounded up to whole pieces, plus one. A stretch longer than that
  // but no longer than grow_up_to makes the window grow to serve it (a
  // reader whose records are all large then reads each once, not twice);
  // longer ones are spilled. False when memory runs out.
  bool set_window(size_t bytes, size_t grow_up_to = 0);
  // Reads [offset, offset + n) once, now; the source is not read again for
  // it (a named file may be closed). False when it is not all there or
  // memory runs out (the reason is recorded).
  bool preload(uint64_t offset, uint64_t n);
  bool preloaded() const { return preloaded_; }
  size_t window_size() const { return window_size_; }

  // The n bytes at offset, valid until the next fetch. False when they are
  // not all there, or memory for a spill runs out.
  bool fetch(uint64_t offset, size_t n, std::span<const uint8_t> &out);

private:
  bool spill(uint64_t offset, size_t n, std::span<const uint8_t> &out);

  const ByteSource *source_;
  util::Block window_;
  size_t window_size_ = 0;
  size_t grow_up_to_ = 0;
  uint64_t window_at_ = 0; // offset of window_[0]
  size_t window_len_ = 0;  // bytes valid from there
  util::Block spill_;
  size_t spill_size_ = 0;
  util::Block preload_;
  uint64_t preload_at_ = 0;
  uint64_t preload_size_ = 0;
  bool preloaded_ = false;
};

} // namespace vex::file
