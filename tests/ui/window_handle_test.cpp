// Window handles of the tools: sends reach the callback with their
// parameters, CopyData hands over its record, and a destroyed or foreign
// handle answers 0 without being touched; a destroyed window gives back
// what it held.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/util/process_usage.h"
#include "vexutil/ui.h"

namespace {

struct Seen {
  VEXWND window = nullptr;
  uint32_t message = 0;
  uintptr_t wparam = 0, data = 0;
  intptr_t lparam = 0;
  std::string bytes;
};

intptr_t record(VEXWND w, uint32_t message, uintptr_t wparam, intptr_t lparam, void *user) {
  Seen &s = *static_cast<Seen *>(user);
  s = {w, message, wparam, 0, lparam, ""};
  if (message == VEXWM_COPYDATA) {
    const auto *cd = reinterpret_cast<const VEXCOPYDATA *>(lparam);
    s.data = cd->data;
    s.bytes.assign(static_cast<const char *>(cd->pointer), cd->length);
  }
  return static_cast<intptr_t>(message) + 1;
}

TEST(WindowHandles, SendsReachTheCallbackAndDeadHandlesAnswerZero) {
  Seen seen, other;
  VEXWND w = VEXWindowCreate(record, &seen);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(VEXWindowSend(w, 0x0900, 3, -4), 0x0901);
  EXPECT_EQ(seen.window, w);
  EXPECT_EQ(seen.wparam, 3u);
  EXPECT_EQ(seen.lparam, -4);
  const char payload[] = {'a', '\0', 'b'};
  EXPECT_EQ(CopyData(w, 9, 0x1234, sizeof payload, payload), VEXWM_COPYDATA + 1);
  EXPECT_EQ(seen.message, uint32_t{VEXWM_COPYDATA});
  EXPECT_EQ(seen.wparam, 9u);
  EXPECT_EQ(seen.data, 0x1234u);
  EXPECT_EQ(seen.bytes, std::string(payload, sizeof payload));
  VEXWindowDestroy(w);
  seen = {};
  EXPECT_EQ(VEXWindowSend(w, 1, 0, 0), 0);
  EXPECT_EQ(CopyData(w, 0, 0, 0, nullptr), 0);
  EXPECT_EQ(seen.message, 0u) << "the callback of a destroyed window never runs";
  VEXWindowDestroy(w); // twice is harmless
  EXPECT_EQ(VEXWindowSend(nullptr, 1, 0, 0), 0);
  int not_a_window = 0;
  EXPECT_EQ(VEXWindowSend(reinterpret_cast<VEXWND>(&not_a_window), 1, 0, 0), 0);
  // A new window never answers for the old handle.
  VEXWND w2 = VEXWindowCreate(record, &other);
  EXPECT_NE(w2, w);
  EXPECT_EQ(VEXWindowSend(w, 5, 0, 0), 0);
  EXPECT_EQ(other.message, 0u);
  VEXWindowDestroy(w2);
  EXPECT_NE(VEXWindowCreate(nullptr, nullptr), nullptr);
}

// A program that runs for days makes windows without end (a status window
// per job, an owner window per document): the heap in use must not grow
// with the windows made and destroyed, and old handles stay dead. Handles
// used to be kept for the life of the process and searched one by one.
TEST(WindowHandles, DestroyedWindowsGiveTheirMemoryBack) {
  Seen seen;
  std::vector<VEXWND> old;
  for (int i = 0; i < 8; ++i)
    old.push_back(VEXWindowCreate(record, &seen));
  for (VEXWND w : old)
    VEXWindowDestroy(w);
  const long before = vex::testkit::heap_in_use();
  for (int i = 0; i < 20000; ++i) {
    VEXWND w = VEXWindowCreate(record, &seen);
    ASSERT_EQ(VEXWindowSend(w, 7, 0, 0), 8);
    VEXWindowDestroy(w);
  }
  EXPECT_LE(vex::testkit::heap_in_use(), before + (16 << 10)) << "20,000 windows made and destroyed";
  for (VEXWND w : old)
    EXPECT_EQ(VEXWindowSend(w, 1, 0, 0), 0);
}

} // namespace
