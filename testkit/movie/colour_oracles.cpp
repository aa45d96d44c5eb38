#include "testkit/movie/colour_oracles.h"

#include <algorithm>
#include <sstream>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "testkit/util/ffmpeg_tool.h"

namespace vex::testkit {

std::array<std::vector<uint8_t>, 3> swscale_yuvj444(const std::vector<uint8_t> &rows, int pitch, int w, int h) {
  std::array<std::vector<uint8_t>, 3> out;
  for (auto &p : out)
    p.assign(static_cast<size_t>(w) * h, 0);
  SwsContext *s = sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h, AV_PIX_FMT_YUVJ444P, SWS_BICUBIC, nullptr, nullptr,
                                 nullptr);
  if (!s)
    return out;
  // Top row first, with room behind the rows for the converter's wide loads.
  std::vector<uint8_t> top_down(static_cast<size_t>(w) * 3 * h + 64);
  for (int y = 0; y < h; ++y)
    std::copy_n(rows.data() + static_cast<size_t>(h - 1 - y) * pitch, w * 3, top_down.data() + y * w * 3);
  const uint8_t *src[4] = {top_down.data(), nullptr, nullptr, nullptr};
  const int src_stride[4] = {w * 3, 0, 0, 0}, dst_stride[4] = {w, w, w, 0};
  uint8_t *dst[4] = {out[0].data(), out[1].data(), out[2].data(), nullptr};
  sws_scale(s, src, src_stride, 0, h, dst, dst_stride);
  sws_freeContext(s);
  return out;
}

std::vector<std::string> frame_matrices(const std::string &file) { return ffprobe_frame_color_spaces(file); }

std::vector<uint8_t> tool_decode_bgr(const std::string &file, bool with_alpha, const std::string &untagged_matrix) {
  const std::string scale = untagged_matrix.empty() ? "" : "-vf scale=in_color_matrix=" + untagged_matrix + " ";
  return ffmpeg_decode(file, scale + "-fps_mode passthrough -f rawvideo -pix_fmt " + (with_alpha ? "bgra" : "bgr24"),
                       "-threads 1 -flags +bitexact");
}

FramePtr random_av_picture(int format, int w, int h, std::mt19937 &rng) {
  FramePtr f(av_frame_alloc());
  f->format = format;
  f->width = w;
  f->height = h;
  if (av_frame_get_buffer(f.get(), 0) < 0)
    return nullptr;
  const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
  for (int p = 0; p < 4 && f->data[p]; ++p) {
    const bool chroma = (p == 1 || p == 2) && !(d->flags & AV_PIX_FMT_FLAG_RGB);
    const int rows = chroma ? -((-h) >> d->log2_chroma_h) : h;
    for (size_t i = 0; i < size_t(f->linesize[p]) * size_t(rows); ++i)
      f->data[p][i] = static_cast<uint8_t>(rng());
  }
  return f;
}

} // namespace vex::testkit
