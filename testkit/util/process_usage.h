// What this process holds, for tests that show nothing grows over a long
// run: open descriptors, threads and mappings (/proc/self), mapped and
// resident memory (VmSize, VmRSS) and the heap in use as the allocator
// counts it (glibc's, or the sanitizer's in the sanitizer build).
//
// glibc counts the blocks a thread keeps in its own cache of freed blocks
// as in use; that cache goes when the thread ends, so a run whose rounds
// each go on a thread of their own sees its heap to the byte.
#pragma once

namespace vex::testkit {

struct ProcessUsage {
  long fds = 0;
  long threads = 0;
  long maps = 0;
  long vm_size_kib = 0;
  long vm_rss_kib = 0;
  long heap_bytes = 0;
};

ProcessUsage process_usage();

// The heap in use alone (cheaper than the rest).
long heap_in_use();

} // namespace vex::testkit
