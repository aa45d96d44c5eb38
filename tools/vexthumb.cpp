// vexthumb -s SIZE INPUT OUTPUT: the freedesktop thumbnailer. Opens INPUT
// through the graphics source in true colour, takes the frame a tenth of
// the way in (the first, for fewer than ten frames: a movie's first frame
// is often black or a title), scales it to fit a SIZE x SIZE square with
// its proportions kept (the longer side becomes SIZE) and writes it as PNG
// through the output writer. File managers run it from the entry in
// vexthumb.thumbnailer: "vexthumb -s %s %i %o".
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vexutil/gfile.h"
#include "vexutil/ogfile.h"
#include "vexutil/util.h"
#include "vexutil/version.h"

namespace {

constexpr long kLargest = 4096; // far beyond any thumbnail size in use (normal 128, large 256, x-large 512)

int usage(std::FILE *to, int status) {
  std::fprintf(to,
               "usage: vexthumb -s SIZE INPUT OUTPUT.png\n"
               "Writes a picture of INPUT's frame a tenth of the way in (its first frame when it has\n"
               "fewer than ten), scaled so that its longer side is SIZE pixels (1-%ld), as PNG.\n"
               "Exit status: 0 written, 1 INPUT could not be read or OUTPUT written, 2 bad command line.\n",
               kLargest);
  return status;
}

struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> pixels; // blue, green, red, 0; rows 4 x width bytes apart
};

// Each output pixel is the mean of the source pixels its area covers (at
// least the one it falls on, so a picture smaller than SIZE is enlarged by
// repeating pixels).
Picture fit(const uint8_t *src, int32_t width, int32_t height, int32_t pitch, int32_t size) {
  Picture out;
  const int32_t longer = std::max(width, height);
  out.width = std::max<int32_t>(1, static_cast<int32_t>((int64_t{width} * size + longer / 2) / longer));
  out.height = std::max<int32_t>(1, static_cast<int32_t>((int64_t{height} * size + longer / 2) / longer));
  out.pixels.resize(size_t(4) * out.width * out.height);
  for (int32_t y = 0; y < out.height; ++y) {
    const int32_t y0 = static_cast<int32_t>(int64_t{y} * height / out.height);
    const int32_t y1 = std::max(y0 + 1, static_cast<int32_t>(int64_t{y + 1} * height / out.height));
    for (int32_t x = 0; x < out.width; ++x) {
      const int32_t x0 = static_cast<int32_t>(int64_t{x} * width / out.width);
      const int32_t x1 = std::max(x0 + 1, static_cast<int32_t>(int64_t{x + 1} * width / out.width));
      uint64_t sum[3] = {};
      for (int32_t sy = y0; sy < y1; ++sy)
        for (int32_t sx = x0; sx < x1; ++sx)
          for (int c = 0; c < 3; ++c)
            sum[c] += src[ptrdiff_t{sy} * pitch + 4 * sx + c];
      const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
      uint8_t *d = &out.pixels[(size_t(y) * out.width + x) * 4];
      for (int c = 0; c < 3; ++c)
        d[c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
      d[3] = 0;
    }
  }
  return out;
}

bool ends_with_png(const std::string &name) {
  return name.size() >= 4 &&
         (name.compare(name.size() - 4, 4, ".png") == 0 || name.compare(name.size() - 4, 4, ".PNG") == 0);
}

// The output writer picks the kind by extension; a name without ".png"
// (file managers pass temporary names of their own) is written under one
// with it and renamed.
bool write_png(const Picture &p, const std::string &output) {
  const std::string name = ends_with_png(output) ? output : output + ".png";
  OGFILE *o = OGFileCreate(nullptr, name.c_str(), 1, 1, 1, 1, p.width, p.height, p.width, nullptr,
                           OGFILE_NO_OVERWRITE_QUESTION);
  if (!o)
    return false;
  OGFilePut(o, p.pixels.data(), nullptr);
  if (OGFileClose(o) == 0)
    return false;
  return name == output || std::rename(name.c_str(), output.c_str()) == 0;
}

} // namespace

int main(int argc, char **argv) {
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))
    return usage(stdout, 0);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("vexthumb %s\n", VEXUTIL_VERSION_STRING);
    return 0;
  }
  char *end = nullptr;
  const long size = argc == 5 && std::strcmp(argv[1], "-s") == 0 ? std::strtol(argv[2], &end, 10) : 0;
  if (argc != 5 || !end || *end || size < 1 || size > kLargest)
    return usage(stderr, 2);
  const char *input = argv[3];
  const std::string output = argv[4];

  GFILE *g = GFileOpen(input, GFILE_TRUE_COLOUR, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 0, nullptr, nullptr,
                       nullptr);
  if (!g) {
    std::fprintf(stderr, "vexthumb: %s: %s\n", input, VEXLastError());
    return 1;
  }
  bool ok = true;
  for (int32_t i = 0; ok && i < g->output_frames / 10; ++i)
    ok = GFileSkip(g) != 0;
  ok = ok && GFileGet(g) != 0;
  if (!ok) {
    std::fprintf(stderr, "vexthumb: %s: %s\n", input, VEXLastError());
    GFileClose(g);
    return 1;
  }
  const Picture p = fit(g->buffer, g->width, g->height, g->pitch, static_cast<int32_t>(size));
  GFileClose(g);
  if (!write_png(p, output)) {
    std::fprintf(stderr, "vexthumb: %s: %s\n", output.c_str(), VEXLastError());
    return 1;
  }
  return 0;
}
