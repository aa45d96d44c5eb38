#include "testkit/gfile/source_oracles.h"

#include <sstream>
#include <stdexcept>

#include "formats/tolm/tolm_reader.h"
#include "testkit/util/ffmpeg_tool.h"
#include "testkit/util/file_bytes.h"
#include "testkit/util/source_of.h"
#include "vexutil/flic.h"

namespace vex::testkit {

FlicFrames flic_reader_frames(const std::string &path) {
  FlicFrames r;
  VEXFLIC *f = VEXFlicOpen(path.c_str());
  if (!f)
    throw std::runtime_error(path + ": the FLIC reader refuses it");
  std::vector<uint8_t> buf(size_t{f->pitch} * f->buffer_height);
  for (uint32_t i = 0; i < f->frame_count && VEXFlicGetNext(f, buf.data()); ++i) {
    const uint8_t *pal = VEXFlicGetPalette(f);
    r.indices.emplace_back();
    r.bgr0.emplace_back();
    for (uint32_t y = 0; y < f->height; ++y)
      for (uint32_t x = 0; x < f->width; ++x) {
        const uint8_t v = buf[y * f->pitch + x];
        r.indices.back().push_back(v);
        r.bgr0.back().insert(r.bgr0.back().end(), {pal[v * 3 + 2], pal[v * 3 + 1], pal[v * 3], 0});
      }
    r.palettes.emplace_back(pal, pal + 768);
  }
  VEXFlicClose(f);
  return r;
}

TolmFrames tolm_reader_frames(const std::string &path, uint32_t width, uint32_t height, uint32_t frames) {
  namespace tolm = vex::formats::tolm;
  TolmFrames r;
  tolm::TOLM *t = tolm::TolmOpen(source_of(path), tolm::kTolmOpenNoBackground);
  if (!t)
    throw std::runtime_error(path + ": the Tolm reader refuses it");
  for (uint32_t i = 0; i < frames; ++i) {
    std::vector<uint8_t> px(size_t{width} * height * 4);
    tolm::TolmDoFrame(t);
    tolm::TolmCopyToBuffer(t, px.data(), int32_t(width * 4), int32_t(height), 0, 0, 5);
    r.record_sizes.push_back(int32_t(t->record_size));
    tolm::TolmNextFrame(t);
    for (size_t p = 3; p < px.size(); p += 4)
      px[p] = 0;
    r.bgr0.push_back(px);
  }
  tolm::TolmClose(t);
  return r;
}

TimedFrames ffmpeg_timed_frames(const std::string &path, size_t frame_bytes) {
  TimedFrames r;
  const auto all = ffmpeg_decode(path, "-fps_mode passthrough -f rawvideo -pix_fmt bgra");
  for (size_t at = 0; at + frame_bytes <= all.size(); at += frame_bytes)
    r.frames.emplace_back(all.begin() + ptrdiff_t(at), all.begin() + ptrdiff_t(at + frame_bytes));
  std::istringstream in(ffprobe(path, "-select_streams v:0 -show_entries packet=pts -of csv=p=0"));
  for (std::string line; std::getline(in, line);)
    if (!line.empty())
      r.pts.push_back(std::stoll(line));
  return r;
}

std::string raw_avi(const TempDir &dir, const std::string &name, int width, int height, const FrameList &frames) {
  std::vector<uint8_t> raw;
  for (const auto &f : frames)
    raw.insert(raw.end(), f.begin(), f.end());
  write_file(dir.file(name + ".bgr"), raw);
  ffmpeg("-f rawvideo -pix_fmt bgr24 -s " + std::to_string(width) + "x" + std::to_string(height) + " -r 10 -i " +
         shell_quote(dir.file(name + ".bgr")) + " -c:v rawvideo -pix_fmt bgr24 " + shell_quote(dir.file(name)));
  return dir.file(name);
}

std::vector<uint8_t> moving_frame(int width, int height, int f) {
  std::vector<uint8_t> p;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      p.insert(p.end(), {uint8_t((x + y) * 5 + f * 50), uint8_t(y * 9 + f * 11), uint8_t(x * 7 + f * 37 + 40)});
  return p;
}

} // namespace vex::testkit
