#include "stills/gif_stream.h"

namespace vex::stills {

int GifStream::read_input(GifFileType *g, GifByteType *out, int n) {
  return n <= 0 ? 0 : static_cast<int>(static_cast<BufferedCursor *>(g->UserData)->read(out, static_cast<size_t>(n)));
}

bool GifStream::open() {
  int err = 0;
  gif_.reset(DGifOpen(&cursor_, read_input, &err));
  return gif_ != nullptr;
}

bool read_extension(GifFileType *g, GraphicsControlBlock *control, bool *is_control) {
  int code = 0;
  GifByteType *ext = nullptr;
  *is_control = false;
  if (DGifGetExtension(g, &code, &ext) != GIF_OK)
    return false;
  // The control block is the first data block of its extension: 4 bytes
  // (flags, delay, transparent index); one of another length is ignored.
  if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] == 4 && DGifExtensionToGCB(4, ext + 1, control) == GIF_OK)
    *is_control = true;
  while (ext)
    if (DGifGetExtensionNext(g, &ext) != GIF_OK)
      return false;
  return true;
}

void forget_saved_images(GifFileType *g) {
  GifFreeSavedImages(g); // frees the array but leaves the count
  g->ImageCount = 0;
}

std::vector<int32_t> row_order(int32_t h, bool interlaced) {
  std::vector<int32_t> rows;
  rows.reserve(static_cast<size_t>(h));
  if (!interlaced) {
    for (int32_t y = 0; y < h; ++y)
      rows.push_back(y);
    return rows;
  }
  static constexpr int32_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int32_t y = start[pass]; y < h; y += step[pass])
      rows.push_back(y);
  return rows;
}

} // namespace vex::stills
