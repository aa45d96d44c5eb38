// Scripts of calls on one open VEXFILE: each row a call, its argument and
// the result it must give, so that a hand-worked sequence of reads, writes
// and seeks reads as a table.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "vexutil/file.h"

namespace vex::test {

constexpr uint32_t kAny = 0xA5A5A5A5u; // a result the row does not check

struct Call {
  const char *op; // get8 get16 get32 bits get (bytes) put8 put32 putbits3 setpos getpos bitpos size atend inbuf align held offset
  uint32_t arg, want;
};

inline uint32_t call(VEXFILE *f, const Call &c) {
  const std::string op = c.op;
  uint8_t bytes[64] = {};
  if (op == "get8") return VEXFileGet8(f);
  if (op == "get16") return VEXFileGet16(f);
  if (op == "get32") return VEXFileGet32(f);
  if (op == "bits") return VEXFileGetBits(f, c.arg);
  if (op == "get") return VEXFileGet(f, bytes, c.arg);
  if (op == "put8") return VEXFilePut8(f, c.arg);
  if (op == "put32") return VEXFilePut32(f, c.arg);
  if (op == "putbits3") return VEXFilePutBits(f, c.arg, 3);
  if (op == "setpos") return VEXFileSetPos(f, c.arg);
  if (op == "getpos") return VEXFileGetPos(f);
  if (op == "bitpos") return VEXFileBitPos(f);
  if (op == "size") return VEXFileSize(f);
  if (op == "atend") return static_cast<uint32_t>(VEXFileAtEnd(f));
  if (op == "inbuf") return static_cast<uint32_t>(VEXFileIsInBuffer(f, c.arg));
  if (op == "align") return VEXFileAlign(f, c.arg), VEXFileGetPos(f);
  if (op == "held") return f->held_byte;
  if (op == "offset") return f->file_offset;
  ADD_FAILURE() << "no call " << op;
  return kAny;
}

// Runs the calls in order on f (which must be open) and closes it.
inline void run(VEXFILE *f, std::initializer_list<Call> calls) {
  ASSERT_NE(f, nullptr);
  int i = 0;
  for (const Call &c : calls) {
    const uint32_t got = call(f, c);
    EXPECT_TRUE(c.want == kAny || got == c.want) << "call " << i << ": " << c.op << " " << c.arg << " gave " << got
                                                  << ", not " << c.want;
    ++i;
  }
  VEXFileClose(f);
}

} // namespace vex::test
