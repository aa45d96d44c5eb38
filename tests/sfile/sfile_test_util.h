// Shared by the sound-source tests: opening with a recording callback,
// reading a source to its end, and a resampler written out from the rules
// on whole arrays, to check the library's streaming one against.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vexutil/sfile.h"

namespace sfile_test {

struct Closer {
  void operator()(SFILE *s) const { SFileClose(s); }
};
using Source = std::unique_ptr<SFILE, Closer>;

// Messages the callback received, in order (text, level).
std::vector<std::pair<std::string, int>> &messages();
int32_t record_message(const char *text, int32_t level);
// The error messages (level 2) only.
std::vector<std::string> errors();

struct OpenOptions {
  int32_t rate = 0, bits = 0, channels = 0, start = 0, end = 0, track = 0, raw_format = 0, raw_header = 0;
};
// Opens with the recording callback (the log is cleared first).
Source open(const std::string &name, const OpenOptions &o = {});

// Every byte the source delivers, asked for `piece` bytes at a time (a
// piece list cycles); stops at the first 0.
std::vector<uint8_t> read_all(SFILE *s, const std::vector<uint32_t> &pieces = {4096});

// One source frame as 16-bit values, the way the source reads them.
struct Frame {
  int32_t left = 0, right = 0;
};

// The resampler and the output conversions, step by step from the rules,
// over all the source frames at once.
std::vector<uint8_t> reference_output(const std::vector<Frame> &in, uint32_t in_rate, uint32_t out_rate,
                                      uint32_t out_bits, uint32_t out_channels);

// Frames of 8/16-bit mono/stereo PCM bytes.
std::vector<Frame> frames_of(const std::vector<uint8_t> &pcm, uint32_t bits, uint32_t channels);

} // namespace sfile_test
