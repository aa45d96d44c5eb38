// Still images (kinds 3-9): one frame, held bottom-up by the still-image
// loaders (a GIF of several pictures is an animation: gif_input.cpp). Pictures of 1, 2, 4 and 8 bits are held at 8 bits (the loaders
// unpack the indices), deeper ones at their own depth.
#include <algorithm>
#include <cstring>

#include "file/byte_source.h"
#include "gfile/input_reader.h"
#include "stills/still_image.h"
#include "util/status.h"

namespace vex::gfile {
namespace {

using stills::Format;

class StillReader final : public InputReader {
public:
  StillReader(Format format, int32_t bits, file::ByteSource source)
      : format_(format), bits_(bits), source_(std::move(source)) {}
  ~StillReader() override {
    if (held_)
      stills::StillFree(&image_);
  }
  StillReader(const StillReader &) = delete;
  StillReader &operator=(const StillReader &) = delete;

  bool fetch(GFILE &g) override {
    GFILESTATE &s = *g.state;
    if (!held_) {
      if (stills::StillAlloc(&image_, g.source_width + 1, g.source_height, bits_) != 0) {
        say(s.callback, 2, "Out of memory");
        return false; // the previous pixels stay
      }
      held_ = true;
    }
    // The frame is used whether or not the load succeeded: what the loader
    // could not fill stays cleared.
    note_damage(s, stills::StillLoad(format_, source_, &image_) != 0);
    const stills::Image &im = image_;
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

private:
  Format format_;
  int32_t bits_; // depth the image is held at
  file::ByteSource source_;
  stills::Image image_{};
  bool held_ = false;
};

// The format's own conditions beyond a successful information call; a
// refusal says why (a TGA, which has no signature to know it by, only
// that it is not one).
bool acceptable(Format f, const stills::Info &info) {
  using util::Status;
  if (info.width <= 0 || info.height <= 0)
    return util::fail(f == Format::tga ? Status::kNotThisFormat : Status::kDamaged, "the picture has no size");
  switch (f) {
  case Format::bmp:
  case Format::pcx:
  case Format::png:
  case Format::tga:
    if (info.width <= kMaxStillSide && info.height <= kMaxStillSide)
      return true;
    return util::fail(f == Format::tga ? Status::kNotThisFormat : Status::kTooLarge,
                      "a still of %d x %d pixels: at most %d a side are read", info.width, info.height, kMaxStillSide);
  case Format::tif:
    return info.compression != stills::kTifLzw ||
           util::fail(Status::kUnsupported, "TIFF with LZW compression is not read");
  default: return true;
  }
}

} // namespace

Opened open_still(GFILE &g, const lists::InputFile &file, Format format, int32_t kind, const char *type) {
  stills::Info info{};
  if (stills::StillInfo(format, file.source, &info) != 0 || !acceptable(format, info))
    return Opened::declined;
  const int32_t bits = info.bits <= 8 ? 8 : info.bits;
  g.state->reader = std::make_unique<StillReader>(format, bits, file.source);
  copy_text(g.name, sizeof g.name, file.name.c_str());
  copy_text(g.type, sizeof g.type, type);
  g.kind = kind;
  g.source_width = info.width;
  g.source_height = info.height;
  g.depth = info.bits <= 8 ? 8 : 24;
  g.frame_count = 1;
  g.source_num = 15;
  g.source_den = 1;
  return Opened::accepted;
}

namespace {

struct StillKind {
  Format format;
  int32_t kind;
  const char *type;
};
constexpr StillKind kStills[] = {
    {Format::bmp, GFILE_BMP, "BMP still image"}, {Format::pcx, GFILE_PCX, "PCX still image"},
    {Format::png, GFILE_PNG, "PNG still image"}, {Format::tga, GFILE_TGA, "TGA still image"},
    {Format::tif, GFILE_TIF, "TIF still image"}, {Format::jpeg, GFILE_JPEG, "JPEG still image"},
};

template <size_t I> Opened open_kind(GFILE &g, const OpenArgs &, const lists::InputFile &file) {
  return open_still(g, file, kStills[I].format, kStills[I].kind, kStills[I].type);
}

bool is_bmp(const lists::InputFile &f) { return starts_with(f, 0, "BM"); }
bool is_pcx(const lists::InputFile &f) { return !f.first(1).empty() && f.first(1)[0] == 0x0A; }
bool is_png(const lists::InputFile &f) { return starts_with(f, 0, "\x89PNG\r\n\x1a\n"); }
bool is_tif(const lists::InputFile &f) {
  return starts_with(f, 0, "II*") || starts_with(f, 0, "MM\0*") || starts_with(f, 0, "II+") ||
         starts_with(f, 0, "MM\0+");
}
bool is_jpeg(const lists::InputFile &f) { return starts_with(f, 0, "\xFF\xD8"); }

} // namespace

const ReaderRow kBmpRow{GFILE_BMP, {{".bmp"}}, is_bmp, open_kind<0>};
const ReaderRow kPcxRow{GFILE_PCX, {{".pcx"}}, is_pcx, open_kind<1>};
const ReaderRow kPngRow{GFILE_PNG, {{".png"}}, is_png, open_kind<2>};
const ReaderRow kTgaRow{GFILE_TGA, {{".tga"}}, nullptr, open_kind<3>};
const ReaderRow kTifRow{GFILE_TIF, {{".tif"}}, is_tif, open_kind<4>};
const ReaderRow kJpegRow{GFILE_JPEG, {{".jpg"}}, is_jpeg, open_kind<5>};

} // namespace vex::gfile
