// Scripts of calls on one open VEXFILE, written as a line of steps
// "op(arg)=want", so that a hand-worked sequence of reads, writes and
// seeks reads as one line: the argument is optional, and a step without
// "=want" is made but its result not checked. Numbers as in C (0x: hex).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "vexutil/file.h"

namespace vex::test {

// What step `op` with argument `a` gives on f; "held" and "offset" are the
// handle's pending bits and the file position its buffer starts at.
inline uint32_t call(VEXFILE *f, const std::string &op, uint32_t a) {
  uint8_t bytes[64] = {};
  const std::map<std::string, std::function<uint32_t()>> calls = {
      {"get8", [&] { return VEXFileGet8(f); }},
      {"get16", [&] { return VEXFileGet16(f); }},
      {"get32", [&] { return VEXFileGet32(f); }},
      {"bits", [&] { return VEXFileGetBits(f, a); }},
      {"get", [&] { return VEXFileGet(f, bytes, a); }},
      {"put8", [&] { return VEXFilePut8(f, a); }},
      {"put32", [&] { return VEXFilePut32(f, a); }},
      {"putbits3", [&] { return VEXFilePutBits(f, a, 3); }},
      {"setpos", [&] { return VEXFileSetPos(f, a); }},
      {"getpos", [&] { return VEXFileGetPos(f); }},
      {"bitpos", [&] { return VEXFileBitPos(f); }},
      {"size", [&] { return VEXFileSize(f); }},
      {"atend", [&] { return static_cast<uint32_t>(VEXFileAtEnd(f)); }},
      {"inbuf", [&] { return static_cast<uint32_t>(VEXFileIsInBuffer(f, a)); }},
      {"align", [&] { return VEXFileAlign(f, a), VEXFileGetPos(f); }},
      {"held", [&] { return uint32_t{f->held_byte}; }},
      {"offset", [&] { return f->file_offset; }}};
  const auto it = calls.find(op);
  if (it == calls.end()) {
    ADD_FAILURE() << "no call " << op;
    return 0;
  }
  return it->second();
}

// Runs the steps in order on f (which must be open) and closes it.
inline void run(VEXFILE *f, const std::string &script) {
  ASSERT_NE(f, nullptr);
  std::istringstream steps(script);
  for (std::string step; steps >> step;) {
    const size_t open = step.find('('), is = step.find('=');
    const auto number = [&](size_t at) { return static_cast<uint32_t>(std::strtoul(step.c_str() + at, nullptr, 0)); };
    const uint32_t got = call(f, step.substr(0, std::min(open, is)), open == std::string::npos ? 0 : number(open + 1));
    if (is != std::string::npos) {
      EXPECT_EQ(got, number(is + 1)) << step;
    }
  }
  VEXFileClose(f);
}

} // namespace vex::test
