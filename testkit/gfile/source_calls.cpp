#include "testkit/gfile/source_calls.h"

#include <cstring>
#include <stdexcept>

#include "testkit/flic/flic_pattern_file.h"
#include "testkit/util/ffmpeg_tool.h"

namespace gfile_test {

Source open(const std::string &name, const Options &o) {
  return Source(GFileOpen(name.c_str(), o.flags, o.play_num, o.play_den, o.out_num, o.out_den, o.x, o.y, o.width,
                          o.height, o.first, o.last, o.palette_mode, o.palette_period, o.first_index, o.entries,
                          o.split, o.system_colours, o.promotion,
                          o.palette_file.empty() ? nullptr : o.palette_file.c_str(), "Testing", MessageLog::callback));
}

Source must(const std::string &name, const Options &o) {
  Source g = open(name, o);
  if (!g)
    throw std::runtime_error(name + " refused: " + VEXLastError());
  return g;
}

std::vector<uint8_t> next(GFILE *g, bool through_palette) {
  if (GFileGet(g) != 1)
    throw std::runtime_error("frame " + std::to_string(g->delivered + 1) + " not delivered: " + VEXLastError());
  return through_palette && !g->true_colour ? as_bgr0(*g) : output(*g);
}

std::vector<uint8_t> output(const GFILE &g) {
  const size_t row = size_t(g.width) * (g.true_colour ? 4 : 1);
  std::vector<uint8_t> out(row * size_t(g.height));
  for (int32_t y = 0; y < g.height; ++y)
    std::memcpy(out.data() + row * size_t(y), g.buffer + ptrdiff_t{g.pitch} * y, row);
  return out;
}

std::vector<uint8_t> palette(const GFILE &g) { return {&g.palette[0][0], &g.palette[0][0] + 768}; }

std::vector<uint8_t> as_bgr0(const GFILE &g) {
  std::vector<uint8_t> out;
  for (const uint8_t i : output(g))
    out.insert(out.end(), {g.palette[i][2], g.palette[i][1], g.palette[i][0], 0});
  return out;
}

Frames all_frames(GFILE *g) {
  Frames out;
  for (int32_t i = 0; i < g->output_frames && GFileGet(g) == 1; ++i)
    out.push_back(g->true_colour ? output(*g) : as_bgr0(*g));
  return out;
}

Frames frames(const std::string &name, const Options &o) { return all_frames(must(name, o).get()); }

std::vector<uint8_t> bgr_to_bgr0(const std::vector<uint8_t> &bgr) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 2 < bgr.size(); i += 3)
    out.insert(out.end(), {bgr[i], bgr[i + 1], bgr[i + 2], 0});
  return out;
}

std::vector<uint8_t> window(const std::vector<uint8_t> &frame, int frame_w, int bpp, int x, int y, int w, int h) {
  const int frame_h = int(frame.size() / size_t(frame_w * bpp));
  std::vector<uint8_t> out(size_t(w) * size_t(h) * size_t(bpp), 0);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c)
      if (c + x >= 0 && c + x < frame_w && r + y >= 0 && r + y < frame_h)
        std::memcpy(&out[(size_t(r) * size_t(w) + size_t(c)) * size_t(bpp)],
                    &frame[(size_t(r + y) * size_t(frame_w) + size_t(c + x)) * size_t(bpp)], size_t(bpp));
  return out;
}

Frames split(const std::vector<uint8_t> &all, size_t frame_bytes) {
  Frames out;
  for (size_t at = 0; at + frame_bytes <= all.size(); at += frame_bytes)
    out.emplace_back(all.begin() + ptrdiff_t(at), all.begin() + ptrdiff_t(at + frame_bytes));
  return out;
}

Shape shape(const GFILE &g) {
  return {g.kind, g.width, g.height, g.depth, g.frame_count, g.source_num, g.source_den};
}

std::vector<std::string> heard(const MessageLog &log, const std::string &prefix, bool levels) {
  std::vector<std::string> out;
  for (const vex::testkit::Message &m : log.messages())
    if (m.text.rfind(prefix, 0) == 0)
      out.push_back(levels ? std::to_string(m.level) + ":" + m.text : m.text);
  return out;
}

int nth_message(const MessageLog &log, const std::string &prefix, int nth) {
  for (size_t i = 0; i < log.messages().size(); ++i)
    if (log.messages()[i].text.rfind(prefix, 0) == 0 && --nth == 0)
      return int(i);
  return -1;
}

std::string pattern_flc(const TempDir &dir, const std::string &name, const vex::testkit::PatternOptions &o) {
  const std::string path = dir.file(name);
  if (vex::testkit::write_flc(vex::testkit::PatternAnimation(o), -5000, path) == 0)
    throw std::runtime_error(path + " was not written");
  return path;
}

std::string tool_file(const TempDir &dir, const std::string &name, const std::string &source, const std::string &args) {
  const std::string path = dir.file(name);
  vex::testkit::ffmpeg("-f lavfi -i " + source + " " + args + " " + vex::testkit::shell_quote(path));
  return path;
}

} // namespace gfile_test
