// The bottom of the library: byte order and the bounded reader, the size
// limits, the allocator and its test hook, failure reasons, the diagnostic
// sink and the profile reader; and the PSNR the lossy round trips are
// bounded by. Expected values are worked out by hand. (That each thread
// keeps its own failure reason is the threads stress test's: every thread
// there must see the reasons one thread alone saw.)
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "testkit/util/picture_compare.h"
#include "testkit/util/temp_dir.h"
#include "util/allocation_hook.h"
#include "util/bytes.h"
#include "util/diagnostics.h"
#include "util/limits.h"
#include "util/profile.h"
#include "util/status.h"
#include "vexutil/util.h"

namespace {

using vex::util::ByteReader;
using vex::util::Status;

TEST(Bytes, BothByteOrdersReadAndWritten) {
  const uint8_t b[] = {0x12, 0x34, 0x56, 0x78, 0xFE, 0xFF, 0xFF, 0xFF};
  // Reads, then the top bit through unsigned, not sign-extended.
  const uint32_t got[] = {vex::util::le16(b), vex::util::le24(b),     vex::util::le32(b),     vex::util::be16(b),
                          vex::util::be32(b), vex::util::le16(b + 4), vex::util::le32(b + 4)};
  const uint32_t want[] = {0x3412, 0x563412, 0x78563412, 0x1234, 0x12345678, 0xFFFE, 0xFFFFFFFE};
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(got[i], want[i]) << i;
  std::array<uint8_t, 10> out{};
  vex::util::put_le16(out.data(), 0xBEEF);
  vex::util::put_le32(out.data() + 2, 0xCAFEF00Du);
  vex::util::put_le24(out.data() + 6, 0xFF123456u); // the top byte is not written
  EXPECT_EQ(out, (std::array<uint8_t, 10>{0xEF, 0xBE, 0x0D, 0xF0, 0xFE, 0xCA, 0x56, 0x34, 0x12, 0x00}));
  std::vector<uint8_t> v;
  vex::util::append_le16(v, 0x10203); // only the low 16 bits go in
  vex::util::append_le32(v, 0x04050607u);
  EXPECT_EQ(v, (std::vector<uint8_t>{0x03, 0x02, 0x07, 0x06, 0x05, 0x04}));
}

// Runs reader calls in order: each row a call, its argument and the result
// it must give (ok, has: 1 or 0; take: the size taken).
void read_script(ByteReader in, std::initializer_list<std::tuple<const char *, size_t, size_t>> calls) {
  int i = 0;
  for (const auto &[op, arg, want] : calls) {
    const std::string_view o = op;
    const size_t got = o == "u8"          ? in.u8()
                       : o == "u16"       ? in.u16()
                       : o == "u32"       ? in.u32()
                       : o == "take"      ? in.take(arg).size()
                       : o == "rest"      ? in.rest().size()
                       : o == "skip"      ? (in.skip(arg), in.position())
                       : o == "has"       ? in.has(arg)
                       : o == "ok"        ? in.ok()
                       : o == "remaining" ? in.remaining()
                                          : in.position();
    EXPECT_EQ(got, want) << "call " << i++ << ": " << op << " " << arg;
  }
}

// To the last byte and no further; a short read consumes nothing and its
// error sticks, though a read that fits still works; lengths near SIZE_MAX
// do not wrap the position check.
TEST(Bytes, TheReaderStaysInsideItsSpan) {
  const uint8_t b[] = {1, 2, 3, 4, 5, 6, 7};
  read_script(ByteReader(b), {{"u8", 0, 1}, {"u16", 0, 0x0302}, {"u32", 0, 0x07060504}, {"has", 0, 1}, {"has", 1, 0}});
  read_script(ByteReader(std::span(b, 3)), {{"u32", 0, 0}, {"position", 0, 0}, {"u16", 0, 0x0201}, {"ok", 0, 0}});
  read_script(ByteReader(std::span(b, 3)), {{"take", 2, 2}, {"skip", 1, 3}, {"rest", 0, 0}, {"ok", 0, 1}});
  read_script(ByteReader(std::span(b, 1)), {{"skip", 2, 0}, {"ok", 0, 0}, {"remaining", 0, 1}, {"u8", 0, 1}});
  read_script(ByteReader(b), {{"take", SIZE_MAX, 0}, {"has", SIZE_MAX - 2, 0}, {"ok", 0, 0}});
  read_script(ByteReader(std::span<const uint8_t>{}), {{"has", 0, 1}, {"u8", 0, 0}, {"ok", 0, 0}});
  ByteReader in(b); // what take and rest hand out is the span itself
  EXPECT_EQ(in.take(2).data(), b);
  EXPECT_EQ(in.rest().data(), b + 2);
}

TEST(Limits, PicturesAndBuffersAtTheirEdges) {
  using vex::util::kMaxBufferBytes;
  using vex::util::kMaxSide;
  // 2^26 pixels fit; 32767 x 2049 = 67,139,583 is past them; sides whose product overflows 32 or 64 bits are refused.
  const struct {
    uint64_t w, h;
    bool fits;
  } pictures[] = {{1, 1, true},
                  {0, 1, false},
                  {1, 0, false},
                  {kMaxSide, 1, true},
                  {kMaxSide + 1, 1, false},
                  {1, kMaxSide + 1, false},
                  {8192, 8192, true},
                  {kMaxSide, 2049, false},
                  {0x10000, 0x10000, false},
                  {UINT64_MAX, UINT64_MAX, false}};
  for (const auto &p : pictures)
    EXPECT_EQ(vex::util::picture_fits(p.w, p.h), p.fits) << p.w << " x " << p.h;
  // a * b * c + add within the limit; 2^32 * 2^32 is 0 modulo 2^64 and
  // must not fool the check; a refusal leaves the result alone.
  const struct {
    uint64_t a, b, c, add;
    size_t want; // 0: refused
  } buffers[] = {{640, 480, 4, 16, 640 * 480 * 4 + 16},
                 {kMaxBufferBytes, 1, 1, 0, kMaxBufferBytes},
                 {kMaxBufferBytes, 1, 1, 1, 0},
                 {0, UINT64_MAX, 7, 5, 5},
                 {uint64_t{1} << 32, uint64_t{1} << 32, 1, 0, 0},
                 {3, 3, uint64_t{1} << 63, 0, 0},
                 {1, 1, 1, UINT64_MAX, 0}};
  for (const auto &r : buffers) {
    size_t n = 12345;
    EXPECT_EQ(vex::util::buffer_size(r.a, r.b, r.c, r.add, &n), r.want != 0) << r.a << " " << r.b << " " << r.c;
    EXPECT_EQ(n, r.want ? r.want : 12345u) << r.a << " " << r.b << " " << r.c;
  }
  size_t n = 0;
  EXPECT_TRUE(vex::util::buffer_size(kMaxBufferBytes, 1, &n));
  EXPECT_FALSE(vex::util::buffer_size(kMaxBufferBytes / 2 + 1, 2, &n));
  // Record fields saturate at both ends of uint32_t, whatever the width.
  using vex::util::saturate_u32;
  static_assert(saturate_u32(-1) == 0 && saturate_u32(INT32_MAX) == INT32_MAX);
  static_assert(saturate_u32(int64_t{-1} << 40) == 0 && saturate_u32(int64_t{1} << 32) == UINT32_MAX);
  static_assert(saturate_u32(uint64_t{UINT32_MAX}) == UINT32_MAX && saturate_u32(uint64_t{UINT32_MAX} + 1) == UINT32_MAX);
  __extension__ using Wide = unsigned __int128;
  static_assert(saturate_u32(Wide{1} << 100) == UINT32_MAX && saturate_u32(Wide{7}) == 7);
}

void collect(void *user, const char *line) { static_cast<std::vector<std::string> *>(user)->push_back(line); }

TEST(VexMalloc, AlignedBlocksAndTheHookThatFailsTheNth) {
  EXPECT_EQ(vexmalloc(0), nullptr);
  EXPECT_EQ(vexmalloc(0xFFFFFFFFu - 31), nullptr); // the size with its 32 bytes of slack passes 32 bits
  // Many sizes, so that the underlying blocks land at offsets 16 and 32
  // (glibc aligns to 16); AddressSanitizer sees a vexfree of a wrong address.
  std::vector<void *> blocks;
  for (uint32_t size = 1; size < 600; size += 7) {
    uint8_t *p = static_cast<uint8_t *>(vexmalloc(size));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
    std::memset(p, 0xA5, size);
    blocks.push_back(p);
  }
  for (void *p : blocks)
    vexfree(p);
  vexfree(nullptr);
  // The hook fails exactly the n-th call after it is armed and counts every
  // call; the failure looks like memory running out.
  std::vector<std::string> lines;
  VEXSetDiagnosticSink(collect, &lines);
  vex::util::fail_allocation(3);
  void *a = vexmalloc(10), *b = vexmalloc(10);
  EXPECT_TRUE(lines.empty());
  vex::util::clear_reason();
  void *c = vexmalloc(10), *d = vexmalloc(10);
  EXPECT_EQ(vex::util::allocation_count(), 4u);
  vex::util::fail_allocation(0);
  VEXSetDiagnosticSink(nullptr, nullptr);
  EXPECT_TRUE(a && b && !c && d);
  EXPECT_EQ(lines, std::vector<std::string>{"Memory Error: Error: ran out of memory!"});
  EXPECT_EQ(vex::util::last_status(), Status::kOutOfMemory);
  EXPECT_STREQ(VEXLastError(), "out of memory");
  for (void *p : {a, b, d})
    vexfree(p);
  void *e = vexmalloc(1); // disarmed: nothing fails, and the count starts again
  EXPECT_NE(e, nullptr);
  EXPECT_EQ(vex::util::allocation_count(), 1u);
  vexfree(e);
}

int *open_something(int n) { return vex::util::fail(Status::kDamaged, "frame %d runs past the end of the file", n); }

TEST(Status, ReasonsTextsAndErrnos) {
  std::set<std::string> texts;
  for (int i = 1; i < vex::util::kStatusCount; ++i)
    texts.insert(vex::util::status_text(static_cast<Status>(i)));
  EXPECT_EQ(texts.size(), static_cast<size_t>(vex::util::kStatusCount - 1)); // each its own
  EXPECT_FALSE(texts.contains(""));
  EXPECT_STREQ(vex::util::status_text(Status::kNoFile), "no such file");
  EXPECT_STREQ(vex::util::status_text(Status::kOk), "");
  for (int odd : {vex::util::kStatusCount, -1})
    EXPECT_STREQ(vex::util::status_text(static_cast<Status>(odd)), "unknown failure");
  // fail() records and leaves in one line from a pointer, a bool and a
  // Status function; no detail gives the status text; a long one is cut.
  EXPECT_EQ(open_something(12), nullptr);
  EXPECT_EQ(vex::util::last_status(), Status::kDamaged);
  EXPECT_STREQ(VEXLastError(), "frame 12 runs past the end of the file");
  EXPECT_FALSE(static_cast<bool>(vex::util::fail(Status::kTooLarge)));
  EXPECT_EQ(vex::util::last_status(), Status::kTooLarge);
  EXPECT_STREQ(VEXLastError(), "too large");
  EXPECT_EQ(static_cast<Status>(vex::util::fail(Status::kUnsupported, "version %c", 'x')), Status::kUnsupported);
  EXPECT_STREQ(VEXLastError(), "version x");
  const std::string longer(1000, 'a');
  vex::util::fail(Status::kDamaged, "%s and more", longer.c_str());
  EXPECT_EQ(std::string(VEXLastError()), longer.substr(0, 255));
  vex::util::clear_reason();
  EXPECT_EQ(vex::util::last_status(), Status::kOk);
  EXPECT_STREQ(VEXLastError(), "");
  const struct { int error; Status status; std::string text; } opens[] = {
      {ENOENT, Status::kNoFile, "no such file"}, {ENOTDIR, Status::kNoFile, "no such file"},
      {EACCES, Status::kReadFailed, std::strerror(EACCES)}};
  for (const auto &o : opens) {
    vex::util::fail_to_open(o.error);
    EXPECT_EQ(vex::util::last_status(), o.status) << o.error;
    EXPECT_EQ(VEXLastError(), o.text) << o.error;
  }
}

// What one diagnostic line gives on stderr with the switch set to `value`
// (null: unset).
std::string said(const char *value, std::string_view line, bool asked = false) {
  if (value)
    setenv("VEXUTIL_DIAGNOSTICS", value, 1);
  else
    unsetenv("VEXUTIL_DIAGNOSTICS");
  vex::util::reload_diagnostics_switch();
  testing::internal::CaptureStderr();
  vex::util::diagnose(line, asked);
  return testing::internal::GetCapturedStderr();
}

// Silent by default and with a switch that is 0 or no number; stderr when
// it is on or the caller asked; the program's sink instead of both.
TEST(Diagnostics, SwitchCallerAndSink) {
  EXPECT_EQ(said(nullptr, "Memory Error: Error: ran out of memory!"), "");
  EXPECT_EQ(said("1", "one line"), "one line\n");
  EXPECT_EQ(said("1", std::string(3000, 'x')), std::string(1023, 'x') + "\n"); // cut, not overrun
  EXPECT_EQ(said("0", "one line"), "");
  EXPECT_EQ(said(nullptr, "asked for", true), "asked for\n");
  std::vector<std::string> lines;
  VEXSetDiagnosticSink(collect, &lines);
  EXPECT_EQ(said("1", "first"), "");
  EXPECT_EQ(said("1", "second", true), "");
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "second"}));
  VEXSetDiagnosticSink(nullptr, nullptr);
  EXPECT_EQ(said("1", "third"), "third\n"); // back to the switch
  EXPECT_EQ(lines.size(), 2u);
  said(nullptr, "");
}

TEST(Profile, EnvironmentThenIniFileThenDefault) {
  const std::pair<const char *, int32_t> ints[] = {
      {" -7x", -7}, {"+3", 3}, {"x1", 0}, {"", 0}, {"99999999999", 0x7FFFFFFF}, {"-99999999999", -0x7FFFFFFF}};
  for (const auto &[text, value] : ints)
    EXPECT_EQ(vex::util::leading_int(text), value) << '"' << text << '"';
  vex::testkit::TempDir dir;
  setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  unsetenv("VEXUTIL_TEST_SETTING");
  EXPECT_EQ(vex::util::profile_file(), dir.file("vexutil.ini"));
  const auto level = [](const char *key) { return vex::util::profile_int("Test", key, "VEXUTIL_TEST_SETTING", 9); };
  EXPECT_EQ(level("Level"), 9); // no file
  std::ofstream(dir.file("vexutil.ini")) << "[test]\nlevel = 4\n";
  EXPECT_EQ(level("Level"), 4);
  EXPECT_EQ(level("Other"), 9);
  setenv("VEXUTIL_TEST_SETTING", "11", 1);
  EXPECT_EQ(level("Level"), 11);
  unsetenv("VEXUTIL_TEST_SETTING");
  unsetenv("XDG_CONFIG_HOME");
}

TEST(Psnr, HandComputedValues) {
  // One of four bytes off by 255: mean square 255^2 / 4, so 10 log10(4) dB;
  // equal inputs give the 99 dB cap.
  EXPECT_NEAR(vex::testkit::psnr({0, 0, 0, 0}, {255, 0, 0, 0}), 6.0206, 1e-4);
  EXPECT_EQ(vex::testkit::psnr({7, 7}, {7, 7}), 99.0);
  EXPECT_THROW(vex::testkit::psnr({1, 2}, {1}), std::invalid_argument);
}

} // namespace
