// A test hook in the library heap: counts vexmalloc calls and, when armed,
// makes the n-th of them from now on fail as if memory had run out (null,
// the "Memory Error" line to the diagnostic sink, the reason "out of
// memory"). Tests walk n over 1, 2, ... until an operation allocates
// fewer than n blocks, which reaches every allocation failure the
// operation can meet. Process-wide; meant for one test thread at a time.
#pragma once

#include <cstdint>

namespace vex::util {

// n = 0 disarms; the count restarts either way.
void fail_allocation(uint64_t n);
// vexmalloc calls since the last fail_allocation.
uint64_t allocation_count();

} // namespace vex::util
