#include "testkit/util/process_usage.h"

#include <dirent.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator counts the bytes handed out (gcc ships no header).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace vex::testkit {

namespace {

long status_field(const std::string &status, const char *field) {
  const auto at = status.find(std::string("\n") + field + ":");
  return at == std::string::npos ? -1 : std::strtol(status.c_str() + at + std::strlen(field) + 2, nullptr, 10);
}

} // namespace

long heap_in_use() {
#if defined(__SANITIZE_ADDRESS__)
  return static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 m = mallinfo2(); // every arena
  return static_cast<long>(m.uordblks + m.hblkhd);
#endif
}

ProcessUsage process_usage() {
  ProcessUsage u;
  if (DIR *d = opendir("/proc/self/fd")) {
    while (const dirent *e = readdir(d))
      u.fds += e->d_name[0] != '.';
    closedir(d);
    --u.fds; // the listing's own descriptor
  }
  {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
      ++u.maps;
  }
  std::ifstream in("/proc/self/status");
  const std::string status = "\n" + std::string(std::istreambuf_iterator<char>(in), {});
  u.threads = status_field(status, "Threads");
  u.vm_size_kib = status_field(status, "VmSize");
  u.vm_rss_kib = status_field(status, "VmRSS");
  u.heap_bytes = heap_in_use();
  return u;
}

} // namespace vex::testkit
