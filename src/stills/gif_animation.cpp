#include "stills/gif_animation.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "stills/gif_stream.h"
#include "util/status.h"

namespace vex::stills {
namespace {

std::string text(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string text(const char *format, ...) {
  char buffer[160];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

using Table = std::array<std::array<uint8_t, 4>, 256>;

void copy_table(const ColorMapObject &map, Table &table) {
  table = {};
  for (int i = 0; i < map.ColorCount && i < 256; ++i)
    table[static_cast<size_t>(i)] = {map.Colors[i].Blue, map.Colors[i].Green, map.Colors[i].Red, 0};
}

// A local table that changes no colour of the global one.
bool agrees(const ColorMapObject &local, const ColorMapObject &global) {
  if (local.ColorCount > global.ColorCount)
    return false;
  for (int i = 0; i < local.ColorCount; ++i) {
    const GifColorType &a = local.Colors[i], &b = global.Colors[i];
    if (a.Red != b.Red || a.Green != b.Green || a.Blue != b.Blue)
      return false;
  }
  return true;
}

// Blue, green, red and the fourth byte as one little-endian word.
uint32_t pixel(const std::array<uint8_t, 4> &c, uint8_t fourth) {
  return uint32_t{c[0]} | uint32_t{c[1]} << 8 | uint32_t{c[2]} << 16 | uint32_t{fourth} << 24;
}

// Passes over the rest of a picture's data blocks; false when they break off.
bool skip_data(GifFileType *g) {
  int size = 0;
  GifByteType *block = nullptr;
  if (DGifGetCode(g, &size, &block) != GIF_OK)
    return false;
  while (block)
    if (DGifGetCodeNext(g, &block) != GIF_OK)
      return false;
  return true;
}

} // namespace

GifAnimation::GifAnimation() = default;
GifAnimation::~GifAnimation() = default;

int32_t GifAnimation::open(const file::ByteSource &source) {
  source_ = source;
  pictures_.clear();
  damage_.clear();
  GifStream s(source_);
  if (!s.open())
    return not_this_format("not a GIF file");
  GifFileType *g = s.get();
  width_ = g->SWidth;
  height_ = g->SHeight;
  if (!size_ok(width_, height_))
    return damaged("a GIF screen of %d x %d pixels is beyond the picture limits", width_, height_);
  // The screen is filled by the pictures on it; a screen no picture data
  // could fill is a header's claim alone.
  if (!data_can_fill("GIF", width_, height_, uint64_t(width_) * uint64_t(height_), kLzwRatio, source_.size()))
    return kBadFile;
  background_ = static_cast<uint8_t>(std::clamp(g->SBackGroundColor, 0, 255));
  const ColorMapObject *global = g->SColorMap;
  global_ = {};
  if (global)
    copy_table(*global, global_);
  indexed_ = global != nullptr;

  GraphicsControlBlock control{};
  bool controlled = false;
  for (;;) {
    const uint64_t at = s.position();
    if (at >= source_.size())
      break; // the data ends without the trailer: taken as the end
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(g, &type) != GIF_OK) {
      damage_ = text("no GIF record at byte %llu", static_cast<unsigned long long>(at));
      break;
    }
    if (type == TERMINATE_RECORD_TYPE)
      break;
    if (type == EXTENSION_RECORD_TYPE) {
      GraphicsControlBlock c{};
      bool is_control = false;
      if (!read_extension(g, &c, &is_control)) {
        damage_ = text("the extension at byte %llu breaks off", static_cast<unsigned long long>(at));
        break;
      }
      if (is_control) {
        control = c;
        controlled = true;
      }
      continue;
    }
    const size_t n = pictures_.size() + 1;
    if (DGifGetImageDesc(g) != GIF_OK) {
      damage_ = text("the descriptor of picture %zu breaks off", n);
      break;
    }
    forget_saved_images(g);
    const GifImageDesc &d = g->Image;
    const ColorMapObject *map = d.ColorMap ? d.ColorMap : global;
    if (!size_ok(d.Width, d.Height)) {
      damage_ = text("picture %zu has %d x %d pixels", n, d.Width, d.Height);
      break;
    }
    if (!map) {
      damage_ = text("picture %zu has no colour table", n);
      break;
    }
    if (!skip_data(g)) {
      damage_ = text("the data of picture %zu breaks off", n);
      break;
    }
    if (d.ColorMap && (!global || !agrees(*d.ColorMap, *global)))
      indexed_ = false;
    GifPicture p;
    if (controlled) {
      p.delay = static_cast<uint32_t>(std::max(control.DelayTime, 0));
      p.disposal =
          control.DisposalMode >= 0 && control.DisposalMode <= 3 ? static_cast<uint8_t>(control.DisposalMode) : 0;
      p.transparent = static_cast<int16_t>(control.TransparentColor);
    }
    p.end = s.position();
    p.bytes = static_cast<uint32_t>(std::min<uint64_t>(p.end - at, UINT32_MAX));
    if (p.bytes * kLzwRatio < uint64_t(d.Width) * uint64_t(d.Height)) {
      damage_ = text("the data of picture %zu (%u bytes) cannot fill %d x %d pixels", n, p.bytes, d.Width, d.Height);
      break;
    }
    pictures_.push_back(p);
    controlled = false; // a control block serves the one picture after it
  }
  rewind();
  return 0;
}

void GifAnimation::rewind() {
  stream_.reset();
  broken_ = false;
  shown_ = 0;
  last_ = Rect{};
  last_disposal_ = 0;
  if (!canvas_.empty())
    clear_canvas();
}

void GifAnimation::clear_canvas() {
  const size_t n = static_cast<size_t>(width_) * static_cast<size_t>(height_);
  if (indexed_) {
    canvas_.assign(n, background_);
    return;
  }
  canvas_.resize(n * 4);
  const uint32_t bg = pixel(global_[background_], 0);
  for (size_t i = 0; i < n; ++i)
    std::memcpy(&canvas_[i * 4], &bg, 4);
}

void GifAnimation::fill_background(const Rect &r) {
  const size_t bpp = indexed_ ? 1 : 4;
  const uint32_t bg = pixel(global_[background_], 0);
  for (int32_t y = r.y; y < r.y + r.h; ++y) {
    uint8_t *row = &canvas_[(static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(r.x)) * bpp];
    if (indexed_)
      std::memset(row, background_, static_cast<size_t>(r.w));
    else
      for (int32_t x = 0; x < r.w; ++x)
        std::memcpy(row + static_cast<size_t>(x) * 4, &bg, 4);
  }
}

void GifAnimation::save_rect(const Rect &r) {
  const size_t bpp = indexed_ ? 1 : 4, row = static_cast<size_t>(r.w) * bpp;
  saved_.resize(row * static_cast<size_t>(r.h));
  for (int32_t y = 0; y < r.h; ++y)
    std::memcpy(&saved_[static_cast<size_t>(y) * row],
                &canvas_[(static_cast<size_t>(r.y + y) * static_cast<size_t>(width_) + static_cast<size_t>(r.x)) * bpp],
                row);
}

void GifAnimation::restore_rect(const Rect &r) {
  const size_t bpp = indexed_ ? 1 : 4, row = static_cast<size_t>(r.w) * bpp;
  if (saved_.size() < row * static_cast<size_t>(r.h))
    return; // nothing was saved (the picture never got drawn)
  for (int32_t y = 0; y < r.h; ++y)
    std::memcpy(&canvas_[(static_cast<size_t>(r.y + y) * static_cast<size_t>(width_) + static_cast<size_t>(r.x)) * bpp],
                &saved_[static_cast<size_t>(y) * row], row);
}

int32_t GifAnimation::next() {
  if (shown_ >= pictures_.size())
    return 0;
  if (canvas_.empty())
    clear_canvas(); // allocated at the first picture: the open of a still GIF allocates nothing
  if (last_disposal_ == DISPOSE_BACKGROUND)
    fill_background(last_);
  else if (last_disposal_ == DISPOSE_PREVIOUS)
    restore_rect(last_);
  last_ = Rect{};
  last_disposal_ = 0;
  const GifPicture &p = pictures_[shown_++];
  if (!stream_ && !broken_) {
    stream_ = std::make_unique<GifStream>(source_);
    broken_ = !stream_->open();
  }
  if (broken_)
    return damaged("picture %zu of the GIF cannot be read", shown_);
  const int32_t r = draw(p);
  if (r != 0 && !broken_)
    stream_->seek(p.end); // the next picture's records, where the walk found them
  return r;
}

int32_t GifAnimation::draw(const GifPicture &p) {
  GifFileType *g = stream_->get();
  // The records before the picture's descriptor: extensions only (the walk
  // read the control block already).
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(g, &type) != GIF_OK || type == TERMINATE_RECORD_TYPE) {
      broken_ = true;
      return damaged("picture %zu of the GIF is no longer where it was", shown_);
    }
    if (type == IMAGE_DESC_RECORD_TYPE)
      break;
    GraphicsControlBlock ignored{};
    bool is_control = false;
    if (type != EXTENSION_RECORD_TYPE || !read_extension(g, &ignored, &is_control)) {
      broken_ = true;
      return damaged("picture %zu of the GIF is no longer where it was", shown_);
    }
  }
  if (DGifGetImageDesc(g) != GIF_OK) {
    broken_ = true;
    return damaged("picture %zu of the GIF is no longer where it was", shown_);
  }
  forget_saved_images(g);
  const GifImageDesc &d = g->Image;
  const ColorMapObject *map = d.ColorMap ? d.ColorMap : g->SColorMap;
  if (!size_ok(d.Width, d.Height) || !map)
    return damaged("picture %zu of the GIF is no longer what it was", shown_);
  // Every side is a 16-bit field: no sum below overflows.
  Rect r{d.Left, d.Top, std::max(0, std::min(d.Width, width_ - d.Left)),
         std::max(0, std::min(d.Height, height_ - d.Top))};
  if (r.w == 0 || r.h == 0)
    r = Rect{}; // wholly off the screen
  if (p.disposal == DISPOSE_PREVIOUS)
    save_rect(r);
  last_ = r;
  last_disposal_ = p.disposal;

  Table table;
  copy_table(*map, table);
  std::array<uint32_t, 256> colours{};
  for (size_t i = 0; i < 256; ++i)
    colours[i] = pixel(table[i], 255);
  std::vector<GifPixelType> line(static_cast<size_t>(d.Width));
  for (const int32_t y : row_order(d.Height, d.Interlace)) {
    if (DGifGetLine(g, line.data(), d.Width) != GIF_OK)
      return damaged("the data of picture %zu of the GIF breaks off at row %d", shown_, y);
    if (y >= r.h)
      continue;
    const size_t at = static_cast<size_t>(r.y + y) * static_cast<size_t>(width_) + static_cast<size_t>(r.x);
    for (int32_t x = 0; x < r.w; ++x) {
      const uint8_t i = line[static_cast<size_t>(x)];
      if (i == p.transparent)
        continue;
      if (indexed_)
        canvas_[at + static_cast<size_t>(x)] = i;
      else
        std::memcpy(&canvas_[(at + static_cast<size_t>(x)) * 4], &colours[i], 4);
    }
  }
  return 0;
}

} // namespace vex::stills
