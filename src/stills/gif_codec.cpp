// GIF over giflib: the first picture of the file on its logical screen
// (background colour around it), 8-bit indices with the picture's or the
// screen's colour table; written as one 256-colour picture. Records are
// walked one by one so that every size is checked before anything is
// allocated. (A GIF of several pictures is also read as an animation, by
// gif_animation.cpp; this reader gives its first picture.)
#include <algorithm>
#include <cstring>
#include <memory>

#include "stills/gif_stream.h"

namespace vex::stills {

namespace {

int32_t read_picture(GifFileType *g, Picture &p, uint64_t have) {
  if (DGifGetImageDesc(g) != GIF_OK)
    return kBadFile;
  const GifImageDesc &d = g->Image;
  if (!size_ok(d.Width, d.Height) || d.Left < 0 || d.Top < 0)
    return kBadFile;
  if (!data_can_fill("GIF", d.Width, d.Height, uint64_t(d.Width) * uint64_t(d.Height), kLzwRatio, have))
    return kBadFile;
  const ColorMapObject *map = d.ColorMap ? d.ColorMap : g->SColorMap;
  if (!map)
    return kBadFile;
  for (int i = 0; i < map->ColorCount && i < 256; ++i)
    p.table[static_cast<size_t>(i)] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
  std::vector<GifPixelType> line(static_cast<size_t>(d.Width));
  for (int32_t y : row_order(d.Height, d.Interlace)) {
    if (DGifGetLine(g, line.data(), d.Width) != GIF_OK)
      return kBadFile;
    const int32_t sy = d.Top + y;
    if (sy >= p.info.height)
      continue;
    const int32_t n = std::min<int32_t>(d.Width, p.info.width - d.Left);
    if (n > 0)
      std::memcpy(&p.index[static_cast<size_t>(sy) * p.info.width + d.Left], line.data(), static_cast<size_t>(n));
  }
  return 0;
}

} // namespace

int32_t read_gif(const file::ByteSource &source, Picture &p, bool header_only) {
  GifStream g(source);
  if (!g.open())
    return kBadFile;
  p.info = {g.get()->SWidth, g.get()->SHeight, 8, 0};
  if (!size_ok(p.info.width, p.info.height))
    return kBadFile;
  // The screen is filled by the pictures on it; a screen no picture data
  // could fill is a header's claim alone.
  const uint64_t screen = uint64_t(p.info.width) * uint64_t(p.info.height);
  if (!data_can_fill("GIF", p.info.width, p.info.height, screen, kLzwRatio, source.size()))
    return kBadFile;
  if (header_only)
    return 0;
  p.start_indexed(p.info.width, p.info.height);
  std::memset(p.index.data(), g.get()->SBackGroundColor, p.index.size());
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(g.get(), &type) != GIF_OK)
      return kBadFile;
    if (type == IMAGE_DESC_RECORD_TYPE)
      return read_picture(g.get(), p, source.size());
    if (type == EXTENSION_RECORD_TYPE) {
      GraphicsControlBlock ignored{};
      bool is_control = false;
      if (!read_extension(g.get(), &ignored, &is_control))
        return kBadFile;
      continue;
    }
    return kBadFile; // the end came before any picture
  }
}

namespace {
// giflib's output into a vector of ours; the file is written from it in
// one go.
int append_output(GifFileType *g, const GifByteType *bytes, int n) {
  auto &out = *static_cast<std::vector<uint8_t> *>(g->UserData);
  out.insert(out.end(), bytes, bytes + n);
  return n;
}
} // namespace

int32_t write_gif(const char *name, const Image &im) {
  if (im.bits != 8)
    return kUnsupported;
  GifColorType colours[256];
  for (int i = 0; i < 256; ++i)
    colours[i] = {im.colors[i * 4 + 2], im.colors[i * 4 + 1], im.colors[i * 4]};
  ColorMapObject *map = GifMakeMapObject(256, colours);
  if (!map)
    return kNoMemory;
  int err = 0;
  std::vector<uint8_t> bytes;
  GifFileType *g = EGifOpen(&bytes, append_output, &err);
  int32_t result = g ? 0 : kWriteError;
  if (g) {
    EGifSetGifVersion(g, true);
    if (EGifPutScreenDesc(g, im.width, im.height, 8, 0, map) != GIF_OK ||
        EGifPutImageDesc(g, 0, 0, im.width, im.height, false, nullptr) != GIF_OK)
      result = kWriteError;
    for (int32_t y = 0; y < im.height && result == 0; ++y)
      if (EGifPutLine(g, const_cast<GifPixelType *>(top_row(im, y)), im.width) != GIF_OK)
        result = kWriteError;
    if (EGifCloseFile(g, &err) != GIF_OK)
      result = kWriteError;
  }
  GifFreeMapObject(map);
  if (result == 0 && !write_file(name, bytes))
    result = kWriteError;
  return result;
}

} // namespace vex::stills
