#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "util/allocation_hook.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace {

TEST(VexMalloc, RefusesZeroAndSizesThatOverflow) {
  EXPECT_EQ(vexmalloc(0), nullptr);
  EXPECT_EQ(vexmalloc(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(vexmalloc(0xFFFFFFFFu - 31), nullptr);
}

TEST(VexMalloc, BlocksAreAlignedWritableAndFreedWhateverTheOffset) {
  // Many sizes so that the underlying allocations land at offsets 16 and 32
  // (glibc aligns to 16); ASan would catch a vexfree of the wrong address.
  std::vector<void *> blocks;
  for (uint32_t size = 1; size < 600; size += 7) {
    void *p = vexmalloc(size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
    const uint8_t offset = static_cast<uint8_t *>(p)[-1];
    EXPECT_GE(offset, 1);
    EXPECT_LE(offset, 32);
    std::memset(p, 0xA5, size);
    blocks.push_back(p);
  }
  for (void *p : blocks)
    vexfree(p);
  vexfree(nullptr);
}

// The test hook fails exactly the n-th allocation after it is armed and
// counts every call; the failure looks like memory running out: null, the
// "Memory Error" line to the diagnostic sink and the reason "out of memory".
TEST(VexMalloc, TheHookFailsTheNthAllocationAsMemoryRunningOut) {
  std::vector<std::string> lines;
  VEXSetDiagnosticSink(
      [](void *user, const char *line) { static_cast<std::vector<std::string> *>(user)->push_back(line); }, &lines);
  vex::util::fail_allocation(3);
  void *a = vexmalloc(10), *b = vexmalloc(10);
  EXPECT_TRUE(lines.empty());
  vex::util::clear_reason();
  void *c = vexmalloc(10);
  void *d = vexmalloc(10);
  EXPECT_EQ(vex::util::allocation_count(), 4u);
  vex::util::fail_allocation(0);
  VEXSetDiagnosticSink(nullptr, nullptr);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(c, nullptr);
  EXPECT_NE(d, nullptr); // only the third
  EXPECT_EQ(lines, std::vector<std::string>{"Memory Error: Error: ran out of memory!"});
  EXPECT_EQ(vex::util::last_status(), vex::util::Status::kOutOfMemory);
  EXPECT_STREQ(VEXLastError(), "out of memory");
  for (void *p : {a, b, d})
    vexfree(p);
  // Disarmed, nothing fails, and the count starts again.
  void *e = vexmalloc(1);
  EXPECT_NE(e, nullptr);
  EXPECT_EQ(vex::util::allocation_count(), 1u);
  vexfree(e);
}

} // namespace
