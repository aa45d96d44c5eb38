// Still images (kinds 3-9): one frame, held bottom-up by the still-image
// loaders. Pictures of 1, 2, 4 and 8 bits are held at 8 bits (the loaders
// unpack the indices), deeper ones at their own depth.
#include <algorithm>
#include <cstring>

#include "file/byte_source.h"
#include "gfile/graphics_source.h"

namespace vex::gfile {
namespace {

struct StillKind {
  stills::Format format;
  int32_t kind;
  const char *type;
};

constexpr StillKind kStills[] = {
    {stills::Format::bmp, GFILE_BMP, "BMP still image"},    {stills::Format::pcx, GFILE_PCX, "PCX still image"},
    {stills::Format::png, GFILE_PNG, "PNG still image"},    {stills::Format::tga, GFILE_TGA, "TGA still image"},
    {stills::Format::tif, GFILE_TIF, "TIF still image"},    {stills::Format::gif, GFILE_GIF, "GIF still image"},
    {stills::Format::jpeg, GFILE_JPEG, "JPEG still image"},
};

const StillKind &kind_of(stills::Format f) {
  return *std::find_if(std::begin(kStills), std::end(kStills), [f](const StillKind &k) { return k.format == f; });
}

// The format's own conditions beyond a successful information call.
bool acceptable(stills::Format f, const stills::Info &info) {
  switch (f) {
  case stills::Format::bmp:
  case stills::Format::pcx:
  case stills::Format::png: return info.width <= kMaxStillSide && info.height <= kMaxStillSide;
  case stills::Format::tga:
    return info.width <= kMaxStillSide && info.height <= kMaxStillSide && info.width != 0 && info.height != 0;
  case stills::Format::tif: return info.compression != stills::kTifLzw;
  default: return true;
  }
}

} // namespace

Opened open_still(GFILE &g, const OpenArgs & /*a*/, const char *name, stills::Format format) {
  file::ByteSource source;
  source.open(name);
  stills::Info info{};
  if (stills::StillInfo(format, source, &info) != 0 || !acceptable(format, info) || info.width <= 0 || info.height <= 0)
    return Opened::declined;
  const StillKind &k = kind_of(format);
  StillLoad &still = g.state->still;
  still.format = format;
  still.bits = info.bits <= 8 ? 8 : info.bits;
  copy_text(g.name, sizeof g.name, name);
  copy_text(g.type, sizeof g.type, k.type);
  g.kind = k.kind;
  g.source_width = info.width;
  g.source_height = info.height;
  g.depth = info.bits <= 8 ? 8 : 24;
  g.frame_count = 1;
  g.source_num = 15;
  g.source_den = 1;
  return Opened::accepted;
}

bool fetch_still(GFILE &g) {
  GFILESTATE &s = *g.state;
  StillLoad &still = s.still;
  if (!still.held) {
    if (stills::StillAlloc(&still.image, g.source_width + 1, g.source_height, still.bits) != 0) {
      say(s.callback, 2, "Out of memory");
      return false; // the previous pixels stay
    }
    still.held = true;
  }
  // The frame is used whether or not the load succeeded: what the loader
  // could not fill stays cleared.
  file::ByteSource source;
  source.open(g.name);
  stills::StillLoad(still.format, source, &still.image);
  const stills::Image &im = still.image;
  g.frame_bytes = static_cast<int32_t>(std::min<uint32_t>(g.file_size, INT32_MAX));
  s.frame = SourceFrame{im.pixels + ptrdiff_t{im.pitch} * (im.height - 1), -ptrdiff_t{im.pitch}, g.source_width,
                        g.source_height, im.bits};
  if (im.bits > 8 || !im.colors)
    return false;
  for (int i = 0; i < 256; ++i) {
    g.source_palette[i][0] = im.colors[i * 4 + 2];
    g.source_palette[i][1] = im.colors[i * 4 + 1];
    g.source_palette[i][2] = im.colors[i * 4];
  }
  return true;
}

} // namespace vex::gfile
