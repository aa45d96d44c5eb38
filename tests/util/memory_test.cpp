#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

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

} // namespace
