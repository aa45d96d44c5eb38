#include "testkit/gfile/gif_writer.h"

#include <stdexcept>

#include <gif_lib.h>

namespace vex::testkit::gif {
namespace {

// giflib takes tables of a power of two entries: padded with black.
ColorMapObject *map_of(const std::vector<Rgb> &table) {
  int n = 2;
  while (n < static_cast<int>(table.size()))
    n *= 2;
  std::vector<GifColorType> c(static_cast<size_t>(n), GifColorType{0, 0, 0});
  for (size_t i = 0; i < table.size(); ++i)
    c[i] = {table[i][0], table[i][1], table[i][2]};
  return GifMakeMapObject(n, c.data());
}

std::vector<int> stored_rows(int h, bool interlace) {
  std::vector<int> rows;
  if (!interlace) {
    for (int y = 0; y < h; ++y)
      rows.push_back(y);
    return rows;
  }
  const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = start[pass]; y < h; y += step[pass])
      rows.push_back(y);
  return rows;
}

} // namespace

void write_gif(const std::string &path, const Animation &a) {
  int err = 0;
  GifFileType *g = EGifOpenFileName(path.c_str(), false, &err);
  if (!g)
    throw std::runtime_error("giflib cannot create " + path);
  EGifSetGifVersion(g, true);
  ColorMapObject *global = a.global.empty() ? nullptr : map_of(a.global);
  bool ok = EGifPutScreenDesc(g, a.width, a.height, 8, a.background, global) == GIF_OK;
  GifFreeMapObject(global);
  for (const Picture &p : a.pictures) {
    GraphicsControlBlock gcb{p.disposal, false, p.delay, p.transparent};
    GifByteType ext[4];
    const size_t n = EGifGCBToExtension(&gcb, ext);
    ok = ok && EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext) == GIF_OK;
    ColorMapObject *local = p.local.empty() ? nullptr : map_of(p.local);
    // giflib's encoder forgets (without freeing) the copy it keeps of the
    // last local table when a picture without one follows.
    if (!local && g->Image.ColorMap) {
      GifFreeMapObject(g->Image.ColorMap);
      g->Image.ColorMap = nullptr;
    }
    ok = ok && EGifPutImageDesc(g, p.left, p.top, p.width, p.height, p.interlace, local) == GIF_OK;
    GifFreeMapObject(local);
    std::vector<GifPixelType> line(static_cast<size_t>(p.width));
    for (int y : stored_rows(p.height, p.interlace)) {
      for (int x = 0; x < p.width; ++x)
        line[static_cast<size_t>(x)] = p.indices[static_cast<size_t>(y * p.width + x)];
      ok = ok && EGifPutLine(g, line.data(), p.width) == GIF_OK;
    }
  }
  if (EGifCloseFile(g, &err) != GIF_OK || !ok)
    throw std::runtime_error("giflib cannot write " + path);
}

std::vector<Rgb> colours(size_t n, int seed) {
  std::vector<Rgb> t(n);
  for (size_t i = 0; i < n; ++i)
    t[i] = {static_cast<uint8_t>(i * 37 + seed * 11), static_cast<uint8_t>(i * 91 + seed * 53 + 7),
            static_cast<uint8_t>(255 - i * 13 - seed * 29)};
  return t;
}

Picture pattern(int left, int top, int w, int h, uint8_t first, uint8_t count) {
  Picture p;
  p.left = left;
  p.top = top;
  p.width = w;
  p.height = h;
  p.indices.resize(static_cast<size_t>(w * h));
  for (int i = 0; i < w * h; ++i)
    p.indices[static_cast<size_t>(i)] = static_cast<uint8_t>(first + (i / 3 + i / w) % count);
  return p;
}

} // namespace vex::testkit::gif
