// Opening the sound source with every option named, and reading it to its
// end in pieces, for the tests of the sound source and of what reads
// through it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vexutil/sfile.h"

namespace vex::testkit {

struct SoundCloser {
  void operator()(SFILE *s) const { SFileClose(s); }
};
using Sound = std::unique_ptr<SFILE, SoundCloser>;

struct SoundOptions {
  int32_t rate = 0, bits = 0, channels = 0, start = 0, end = 0, track = 0, raw_format = 0, raw_header = 0;
};

Sound open_sound(const std::string &name, const SoundOptions &o = {}, VEXMessageCallback callback = nullptr);

// Every byte the source delivers, asked for `pieces` bytes at a time (the
// list cycles), up to the first call that gives nothing while a whole
// frame was asked for. Empty when a call gives more than asked or writes
// past what it gives, or when there is no source (s null: its open failed).
std::vector<uint8_t> read_sound(SFILE *s, const std::vector<uint32_t> &pieces = {4096});

} // namespace vex::testkit
