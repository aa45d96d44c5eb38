// Independent colour conversions and probes for the movie colour tests:
// libswscale's BGR to full-range 4:4:4 YCbCr, the ffmpeg tool's decode
// with a chosen matrix for untagged pictures, the matrix ffprobe reports
// for each picture, and random pictures in any of libavutil's pixel formats.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace vex::testkit {

// Y, Cb and Cr planes of w x h from BGR rows stored bottom-up `pitch`
// bytes apart, as libswscale converts them (AV_PIX_FMT_YUVJ444P).
std::array<std::vector<uint8_t>, 3> swscale_yuvj444(const std::vector<uint8_t> &rows, int pitch, int w, int h);

// Matrix of each picture of the first video stream as the decoder
// reports it ("bt709", "smpte170m", "unknown", ...).
std::vector<std::string> frame_matrices(const std::string &file);

// Every frame as blue-green-red (bgr24) or with alpha (bgra) by the tool,
// one thread and bit-exact, frames neither dropped nor repeated; the
// scaler told to take `untagged_matrix` for untagged pictures (its own
// default is BT.601 at every size) unless it is empty.
std::vector<uint8_t> tool_decode_bgr(const std::string &file, bool with_alpha, const std::string &untagged_matrix);

struct FrameFree {
  void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
// A w x h picture of `format` (an AVPixelFormat) with random bytes in
// every plane; null when libavutil cannot allocate it.
FramePtr random_av_picture(int format, int w, int h, std::mt19937 &rng);

} // namespace vex::testkit
