// What the graphics source's frames must equal, worked out without it: the
// frames of the kinds' own readers (FLIC, Tolm) and ffmpeg's decode of
// animated GIFs with their times; and true-colour movies made of given
// frames, for the tests that count their colours by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testkit/util/temp_dir.h"

namespace vex::testkit {

using FrameList = std::vector<std::vector<uint8_t>>;

// Every frame of a FLIC as its reader decodes it: indices (width x height,
// rows packed), the palette (768 bytes, red, green, blue) and both through
// the palette as blue, green, red, 0.
struct FlicFrames {
  FrameList indices, palettes, bgr0;
};
FlicFrames flic_reader_frames(const std::string &path);

// Every frame of a Tolm movie as its reader decodes and draws it (blue,
// green, red with the fourth byte cleared), and each frame's record size.
struct TolmFrames {
  FrameList bgr0;
  std::vector<int32_t> record_sizes;
};
TolmFrames tolm_reader_frames(const std::string &path, uint32_t width, uint32_t height, uint32_t frames);

// ffmpeg's frames of a file (blue, green, red, alpha; none dropped or
// repeated) and their timestamps, in the stream's units.
struct TimedFrames {
  FrameList frames;
  std::vector<int64_t> pts;
};
TimedFrames ffmpeg_timed_frames(const std::string &path, size_t frame_bytes);

// An uncompressed 24-bit AVI at 10 frames a second of packed blue, green,
// red frames (so a reader sees these very bytes), written as dir/name.
std::string raw_avi(const TempDir &dir, const std::string &name, int width, int height, const FrameList &frames);

// Frame f of a movie whose colours move from frame to frame (packed blue,
// green, red): many 6-bit buckets per frame, different ones in every frame.
std::vector<uint8_t> moving_frame(int width, int height, int f);

} // namespace vex::testkit
