// libavformat reads a movie through an I/O context over a byte source
// instead of opening the file by name itself: a reader opens its file once
// and every demuxer it needs (the listing, the decoding, a restart from
// the top) reads through its own copy of that one source.
#pragma once

#include <memory>

#include "file/byte_source.h"

extern "C" {
struct AVIOContext;
}

namespace vex::movie {

// Frees the context, its current buffer (which libavformat may have
// replaced by a larger one) and its copy of the source.
struct SourceIoFree {
  void operator()(AVIOContext *io) const;
};
using SourceIoPtr = std::unique_ptr<AVIOContext, SourceIoFree>;

// A seekable read-only context over a copy of `source`, at offset 0; its
// position is its own, so contexts over copies of one source never disturb
// one another. Offsets are the source's (0 is its base). Null when memory
// is short.
SourceIoPtr open_source_io(const file::ByteSource &source);

} // namespace vex::movie
