#include "tests/gfile/gfile_test_util.h"

#include <cstring>

namespace gfile_test {
namespace {
int g_cancel_at = 0;
int g_progress = 0;
} // namespace

std::vector<std::pair<std::string, int>> &messages() {
  static std::vector<std::pair<std::string, int>> log;
  return log;
}

int32_t record_message(const char *text, int32_t level) {
  messages().emplace_back(text ? text : "", level);
  if (level == 0 && text && std::strstr(text, " frame ") && !std::strstr(text, "Skipping")) {
    ++g_progress;
    return g_cancel_at > 0 && g_progress == g_cancel_at ? 1 : 0;
  }
  return 0;
}

std::vector<std::string> errors() {
  std::vector<std::string> out;
  for (const auto &[text, level] : messages())
    if (level == 2)
      out.push_back(text);
  return out;
}

void cancel_at(int n) {
  g_cancel_at = n;
  g_progress = 0;
}

Source open(const std::string &name, const Options &o) {
  messages().clear();
  g_progress = 0;
  return Source(GFileOpen(name.c_str(), o.flags, o.play_num, o.play_den, o.out_num, o.out_den, o.x, o.y, o.width,
                          o.height, o.first, o.last, o.palette_mode, o.palette_period, o.first_index, o.entries,
                          o.split, o.system_colours, o.promotion,
                          o.palette_file.empty() ? nullptr : o.palette_file.c_str(), "Testing", record_message));
}

std::vector<uint8_t> output(const GFILE &g) {
  const size_t bytes = g.true_colour ? 4 : 1;
  const size_t row = size_t(g.width) * bytes;
  std::vector<uint8_t> out(row * size_t(g.height));
  for (int32_t y = 0; y < g.height; ++y)
    std::memcpy(out.data() + row * size_t(y), g.buffer + ptrdiff_t{g.pitch} * y, row);
  return out;
}

std::vector<uint8_t> palette(const GFILE &g) { return {&g.palette[0][0], &g.palette[0][0] + 768}; }

std::vector<uint8_t> as_bgr0(const GFILE &g) {
  const std::vector<uint8_t> idx = output(g);
  std::vector<uint8_t> out(idx.size() * 4);
  for (size_t i = 0; i < idx.size(); ++i) {
    out[i * 4] = g.palette[idx[i]][2];
    out[i * 4 + 1] = g.palette[idx[i]][1];
    out[i * 4 + 2] = g.palette[idx[i]][0];
  }
  return out;
}

std::vector<std::vector<uint8_t>> all_frames(GFILE *g) {
  std::vector<std::vector<uint8_t>> out;
  for (int32_t i = 0; i < g->output_frames; ++i) {
    if (GFileGet(g) != 1)
      break;
    out.push_back(g->true_colour ? output(*g) : as_bgr0(*g));
  }
  return out;
}

std::vector<uint8_t> bgr_to_bgr0(const std::vector<uint8_t> &bgr) {
  std::vector<uint8_t> out(bgr.size() / 3 * 4);
  for (size_t i = 0; i < bgr.size() / 3; ++i)
    std::memcpy(&out[i * 4], &bgr[i * 3], 3);
  return out;
}

std::vector<uint8_t> rgb_to_bgr0(const std::vector<uint8_t> &rgb) {
  std::vector<uint8_t> out(rgb.size() / 3 * 4);
  for (size_t i = 0; i < rgb.size() / 3; ++i) {
    out[i * 4] = rgb[i * 3 + 2];
    out[i * 4 + 1] = rgb[i * 3 + 1];
    out[i * 4 + 2] = rgb[i * 3];
  }
  return out;
}

} // namespace gfile_test
