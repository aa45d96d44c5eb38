// Shared by the graphics-source tests: opening with named options and a
// recording callback, and the delivered frames as plain pixel arrays.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testkit/util/wav_file.h"
#include "vexutil/gfile.h"

namespace gfile_test {

struct Closer {
  void operator()(GFILE *g) const { GFileClose(g); }
};
using Source = std::unique_ptr<GFILE, Closer>;

// Messages the callback received, in order (text, level).
std::vector<std::pair<std::string, int>> &messages();
int32_t record_message(const char *text, int32_t level);
std::vector<std::string> errors();
// The callback answers true to the n-th progress message (0: never).
void cancel_at(int n);

struct Options {
  int32_t flags = 0;
  uint32_t play_num = 0, play_den = 0, out_num = 0, out_den = 0;
  int32_t x = 0, y = 0, width = 0, height = 0;
  int32_t first = 0, last = 0;
  int32_t palette_mode = 0, palette_period = 0, first_index = 0, entries = 256, split = 0;
  int32_t system_colours = 0, promotion = 0;
  std::string palette_file = {};
};
// Opens with the recording callback (the log is cleared first).
Source open(const std::string &name, const Options &o = {});

// The output frame as width x height pixels of 1 byte (8-bit) or 4 bytes,
// rows packed.
std::vector<uint8_t> output(const GFILE &g);
// The output palette as 768 bytes.
std::vector<uint8_t> palette(const GFILE &g);
// 8-bit output through its palette as blue, green, red, 0 (the layout of
// true-colour output).
std::vector<uint8_t> as_bgr0(const GFILE &g);

// Every output frame GFileGet delivers (count: output_frames).
std::vector<std::vector<uint8_t>> all_frames(GFILE *g);

// Packed blue, green, red frames to blue, green, red, 0.
std::vector<uint8_t> bgr_to_bgr0(const std::vector<uint8_t> &bgr);
// Red, green, blue to blue, green, red, 0.
std::vector<uint8_t> rgb_to_bgr0(const std::vector<uint8_t> &rgb);

using vex::testkit::write_file;

} // namespace gfile_test
