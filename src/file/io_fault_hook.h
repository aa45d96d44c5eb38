// Test hooks in the file layer, as util/allocation_hook.h is for the heap:
// they make reads and writes fail at a chosen byte so that a test can walk
// that byte over every position of a file and see each reader and writer
// meet the failure there. Process-wide; meant for one test thread at a
// time. Nothing in the library arms them.
#pragma once

#include <cstdint>

namespace vex::file {

enum class ReadFault {
  none,
  io_error, // the read reaching the byte fails with EIO
  cut,      // the file seems to end at the byte (a short read, then nothing)
};

// The files ByteSource opens by name from now on (until the next call) read
// as usual before byte `at` of the file (counted from the start of the file,
// not of a slice). A read that reaches byte `at` delivers the bytes before
// it and then fails as `fault` says, and so does every later read there.
// Sources opened before the call keep the setting they were opened with.
void fail_reads(ReadFault fault, uint64_t at);

// From now on, the write through the file layer (VEXFILE, the movie
// writer's output, still images) that would carry the `at`-th byte (from
// 0) written since this call writes the bytes before it and then fails
// with ENOSPC, as on a full disk, and so does every later write until the
// hook is disarmed. at = UINT64_MAX disarms; the count restarts either way.
void fail_writes(uint64_t at);
// Bytes written through the file layer since the last fail_writes (those
// refused not counted): a run that wrote no more than `at` never met the
// failure.
uint64_t bytes_written();

} // namespace vex::file
