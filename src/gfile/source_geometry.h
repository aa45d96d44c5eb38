// The geometry and timing of a graphics source: the output window over the
// source (crop), and the rates with the frame arithmetic between them.
#pragma once

#include <cstdint>

#include "vexutil/gfile.h"

namespace vex::gfile {

// One axis of the crop: requested origin o, output size n, source size S.
struct CropAxis {
  int32_t clip = 0;      // start of the visible part in the source (0 when o < 0)
  int32_t visible = 0;   // its length, 0 when nothing is visible
  int32_t uncovered = 0; // o + n - S when the window reaches past the source; S when it starts beyond it
  int32_t origin = 0;    // o when negative; -S when nothing is visible; else 0
};
CropAxis crop_axis(int32_t o, int32_t n, int32_t S);

// Output size (0: the source's), pitch and the crop fields against the
// source size; false (reason recorded) when the output is too large.
bool set_output_window(GFILE &g, int32_t x, int32_t y, int32_t width, int32_t height);
// The crop fields again against a frame of width x height (a list entry).
void clip_window(GFILE &g, int32_t width, int32_t height);

// Source, playback and output rates, speed and the output frame count. A
// source without a rate plays at 15 frames per second.
void set_rates(GFILE &g, uint32_t play_num, uint32_t play_den, uint32_t out_num, uint32_t out_den);

// Source frames up to the last one output frame `index` shows (exclusive
// bound of what must have been fetched): floor(index x play num x out den /
// (play den x out num)) + 1.
int64_t source_frames_for(const GFILE &g, int64_t index);
// Source frames as output frames: n x out num x play den / (play num x out den).
int64_t output_frames_for(const GFILE &g, int64_t source_frames);

} // namespace vex::gfile
