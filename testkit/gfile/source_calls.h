// Calls on the graphics source for the tests that read through it: opening
// with named options (messages to the thread's MessageLog), and the
// delivered frames as plain pixel arrays.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "testkit/flic/pattern.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/message_log.h"
#include "testkit/util/temp_dir.h"
#include "vexutil/gfile.h"

namespace gfile_test {

struct Closer {
  void operator()(GFILE *g) const { GFileClose(g); }
};
using Source = std::unique_ptr<GFILE, Closer>;
using Frames = std::vector<std::vector<uint8_t>>;
using vex::testkit::MessageLog;
using vex::testkit::TempDir;
using vex::testkit::write_file;

struct Options {
  int32_t flags = 0;
  uint32_t play_num = 0, play_den = 0, out_num = 0, out_den = 0;
  int32_t x = 0, y = 0, width = 0, height = 0;
  int32_t first = 0, last = 0;
  int32_t palette_mode = 0, palette_period = 0, first_index = 0, entries = 256, split = 0;
  int32_t system_colours = 0, promotion = 0;
  std::string palette_file = {};
};
constexpr int32_t kTrue = GFILE_TRUE_COLOUR;

// Opens with MessageLog::callback; null when refused.
Source open(const std::string &name, const Options &o = {});
// The same, throwing (the test fails) with the reason when refused.
Source must(const std::string &name, const Options &o = {});
// GFileGet, throwing unless it delivers; then output() or as_bgr0().
std::vector<uint8_t> next(GFILE *g, bool through_palette = false);

// The output frame as width x height pixels of 1 byte (8-bit) or 4 bytes, rows packed.
std::vector<uint8_t> output(const GFILE &g);
// The output palette as 768 bytes.
std::vector<uint8_t> palette(const GFILE &g);
// 8-bit output through its palette as blue, green, red, 0 (the layout of true-colour output).
std::vector<uint8_t> as_bgr0(const GFILE &g);
// Every output frame GFileGet delivers (count: output_frames), 8-bit output through its palette.
Frames all_frames(GFILE *g);
Frames frames(const std::string &name, const Options &o = {});
// Packed blue, green, red to blue, green, red, 0.
std::vector<uint8_t> bgr_to_bgr0(const std::vector<uint8_t> &bgr);
// A w x h window at (x, y) of a frame of width `frame_w` and `bpp` bytes a
// pixel (rows packed): the frame's pixel where the window covers it, zero
// bytes elsewhere.
std::vector<uint8_t> window(const std::vector<uint8_t> &frame, int frame_w, int bpp, int x, int y, int w, int h);
// A decode of whole frames one after the other, split into frames.
Frames split(const std::vector<uint8_t> &all, size_t frame_bytes);
// The record's kind, width, height, depth, frame count, source_num and source_den.
using Shape = std::vector<int64_t>;
Shape shape(const GFILE &g);
// The messages of a log that start with `prefix`, as "level:text" (or the text alone).
std::vector<std::string> heard(const MessageLog &log, const std::string &prefix = "", bool levels = true);
// Where the log holds the nth message (1-based) that starts with `prefix`; -1: nowhere.
int nth_message(const MessageLog &log, const std::string &prefix, int nth = 1);
// A FLIC of the test pattern at 50 ms a frame (20 frames a second), written into `dir`.
std::string pattern_flc(const TempDir &dir, const std::string &name, const vex::testkit::PatternOptions &o);
// Frames made by the ffmpeg tool from a lavfi source ("testsrc=size=..."), written with `args`.
std::string tool_file(const TempDir &dir, const std::string &name, const std::string &source, const std::string &args);

} // namespace gfile_test
