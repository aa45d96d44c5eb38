// Failure reasons: the fixed texts, the one-line fail() in the three kinds
// of function that use it, the detail's bounds, and that each thread keeps
// its own last reason.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "util/status.h"
#include "vexutil/util.h"

namespace {

using vex::util::Status;

TEST(Status, EveryStatusHasItsOwnText) {
  std::set<std::string> texts;
  for (int i = 1; i < vex::util::kStatusCount; ++i) {
    const std::string t = vex::util::status_text(static_cast<Status>(i));
    EXPECT_FALSE(t.empty()) << i;
    texts.insert(t);
  }
  EXPECT_EQ(texts.size(), static_cast<size_t>(vex::util::kStatusCount - 1));
  EXPECT_STREQ(vex::util::status_text(Status::kNoFile), "no such file");
  EXPECT_STREQ(vex::util::status_text(Status::kOk), "");
  EXPECT_STREQ(vex::util::status_text(static_cast<Status>(vex::util::kStatusCount)), "unknown failure");
  EXPECT_STREQ(vex::util::status_text(static_cast<Status>(-1)), "unknown failure");
}

int *open_something(int n) { return vex::util::fail(Status::kDamaged, "frame %d runs past the end of the file", n); }
bool check_something() { return vex::util::fail(Status::kTooLarge); }
Status step() { return vex::util::fail(Status::kUnsupported, "version %c", 'x'); }

TEST(Status, FailRecordsAndLeavesInOneLine) {
  EXPECT_EQ(open_something(12), nullptr);
  EXPECT_EQ(vex::util::last_status(), Status::kDamaged);
  EXPECT_STREQ(vex::util::last_reason(), "frame 12 runs past the end of the file");
  EXPECT_STREQ(VEXLastError(), "frame 12 runs past the end of the file");

  EXPECT_FALSE(check_something());
  EXPECT_EQ(vex::util::last_status(), Status::kTooLarge);
  EXPECT_STREQ(VEXLastError(), "too large"); // no detail: the status text

  EXPECT_EQ(step(), Status::kUnsupported);
  EXPECT_STREQ(VEXLastError(), "version x");

  vex::util::clear_reason();
  EXPECT_EQ(vex::util::last_status(), Status::kOk);
  EXPECT_STREQ(VEXLastError(), "");
}

TEST(Status, OpenFailuresByErrno) {
  vex::util::fail_to_open(ENOENT);
  EXPECT_EQ(vex::util::last_status(), Status::kNoFile);
  EXPECT_STREQ(VEXLastError(), "no such file");
  vex::util::fail_to_open(ENOTDIR);
  EXPECT_EQ(vex::util::last_status(), Status::kNoFile);
  vex::util::fail_to_open(EACCES);
  EXPECT_EQ(vex::util::last_status(), Status::kReadFailed);
  EXPECT_STREQ(VEXLastError(), std::strerror(EACCES));
}

TEST(Status, ALongDetailIsCutNotOverrun) {
  const std::string longer(1000, 'a');
  vex::util::fail(Status::kDamaged, "%s and more", longer.c_str());
  const std::string kept = VEXLastError();
  EXPECT_EQ(kept.size(), 255u);
  EXPECT_EQ(kept, longer.substr(0, 255));
}

TEST(Status, EachThreadKeepsItsOwnReason) {
  vex::util::fail(Status::kNoFile, "main thread");
  std::string seen_a, seen_b, a_before;
  Status status_a{}, status_b{};
  std::thread a([&] {
    a_before = VEXLastError(); // a new thread starts with none
    vex::util::fail(Status::kDamaged, "tree %d is cut short", 2);
    seen_a = VEXLastError();
    status_a = vex::util::last_status();
  });
  a.join();
  std::thread b([&] {
    vex::util::fail(Status::kOutOfMemory);
    seen_b = VEXLastError();
    status_b = vex::util::last_status();
  });
  b.join();
  EXPECT_EQ(a_before, "");
  EXPECT_EQ(seen_a, "tree 2 is cut short");
  EXPECT_EQ(status_a, Status::kDamaged);
  EXPECT_EQ(seen_b, "out of memory");
  EXPECT_EQ(status_b, Status::kOutOfMemory);
  EXPECT_STREQ(VEXLastError(), "main thread");
  EXPECT_EQ(vex::util::last_status(), Status::kNoFile);
}

TEST(Status, ThreadsFailingAtTheSameTimeDoNotMix) {
  // Both threads record and read back many times while the other does the
  // same; with one shared buffer the texts would sooner or later cross.
  auto worker = [](int id, bool *clean) {
    for (int i = 0; i < 20000; ++i) {
      vex::util::fail(Status::kDamaged, "thread %d step %d", id, i);
      const std::string want = "thread " + std::to_string(id) + " step " + std::to_string(i);
      if (want != VEXLastError()) {
        *clean = false;
        return;
      }
    }
    *clean = true;
  };
  bool clean1 = false, clean2 = false;
  std::thread t1(worker, 1, &clean1), t2(worker, 2, &clean2);
  t1.join();
  t2.join();
  EXPECT_TRUE(clean1);
  EXPECT_TRUE(clean2);
}

} // namespace
