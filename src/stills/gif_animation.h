// A GIF of several pictures as an animation: the pictures composed one
// after another onto the logical screen the way a viewer shows them.
//
// The canvas starts as background. Each picture is drawn inside its
// rectangle (clipped to the screen); its pixels of the transparent index
// leave what lies under them. Before the next picture is drawn, the one
// shown is disposed of as its control block says: 0 (unspecified) and 1
// leave it in place, 2 sets its rectangle to background, 3 restores the
// rectangle to what it held before the picture was drawn; 4-7 (undefined)
// leave it in place too.
//
// Two forms. When the file has a global colour table and every picture's
// table is that one (no local table, or a local one whose entries equal
// the global's, it may be shorter), the canvas holds 8-bit indices into it
// and the background is the screen's background index. Otherwise the
// canvas holds 32-bit pixels, blue, green, red, fourth byte: a drawn pixel
// has the colour of its index in its picture's table and 255, the
// background has the colour of the screen's background index in the
// global table (black without one) and 0, so that a caller that keeps the
// fourth byte sees where no picture has drawn.
//
// Memory: the open walks the file once without decoding (the data blocks
// are passed over), keeping a few bytes for each picture; the pictures are
// then decoded one at a time, in order, onto the one canvas, with a copy
// of one rectangle for disposal 3. Nothing grows with the number of
// pictures but the list the walk made, and the file holds more than that.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "file/byte_source.h"

namespace vex::stills {

class GifStream;

// One picture as the walk found it.
struct GifPicture {
  uint32_t delay = 0;       // hundredths of a second, as stored
  uint8_t disposal = 0;     // 0-3 (4-7 are kept as 0)
  int16_t transparent = -1; // the transparent index, or -1
  uint32_t bytes = 0;       // its descriptor, colour table and data in the file
  uint64_t end = 0;         // where the record after its data starts
};

class GifAnimation {
public:
  GifAnimation();
  ~GifAnimation();
  GifAnimation(const GifAnimation &) = delete;
  GifAnimation &operator=(const GifAnimation &) = delete;

  // Walks the whole file. Refused (kBadFile, with the reason recorded) when
  // the header is not GIF's or the screen exceeds the library's picture
  // limits. The walk ends at the trailer or at the end of the data; a
  // record that breaks off, or a picture that is too large or has no
  // colour table, ends it too: the pictures before it are kept and
  // damage() says what was found.
  int32_t open(const file::ByteSource &source);

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  const std::vector<GifPicture> &pictures() const { return pictures_; }
  const std::string &damage() const { return damage_; }

  // 8-bit canvas with the global table (blue, green, red, 0), or 32-bit.
  bool indexed() const { return indexed_; }
  int32_t depth() const { return indexed_ ? 8 : 32; }
  const std::array<std::array<uint8_t, 4>, 256> &table() const { return global_; }

  // Disposes of the picture shown and draws the next one; 0, or kBadFile
  // with the reason recorded when its data is damaged (what was decoded
  // stays drawn, and the next picture is still found when the blocks
  // allow). Past the last picture nothing changes.
  int32_t next();
  // Pictures drawn since the open or the last rewind.
  size_t shown() const { return shown_; }
  // Back to the background, before the first picture.
  void rewind();

  // The canvas, rows top first; allocated at the first next() (null before).
  const uint8_t *pixels() const { return canvas_.empty() ? nullptr : canvas_.data(); }
  int32_t pitch() const { return width_ * (indexed_ ? 1 : 4); }

  // How long a picture is shown, in hundredths: its delay, except that 0
  // and 1 are shown as 10 (as browsers and ffmpeg's GIF reader do).
  static uint32_t shown_delay(const GifPicture &p) { return p.delay < 2 ? 10 : p.delay; }

private:
  struct Rect {
    int32_t x = 0, y = 0, w = 0, h = 0; // clipped to the screen; empty: all 0
  };
  void clear_canvas();
  void fill_background(const Rect &r);
  void save_rect(const Rect &r);
  void restore_rect(const Rect &r);
  int32_t draw(const GifPicture &p);

  file::ByteSource source_;
  int32_t width_ = 0, height_ = 0;
  bool indexed_ = false;
  uint8_t background_ = 0;
  std::array<std::array<uint8_t, 4>, 256> global_{};
  std::vector<GifPicture> pictures_;
  std::string damage_;

  std::unique_ptr<GifStream> stream_; // the decode in progress
  bool broken_ = false;               // its data can no longer be followed
  size_t shown_ = 0;
  std::vector<uint8_t> canvas_;
  std::vector<uint8_t> saved_; // the rectangle of a picture of disposal 3
  Rect last_;                  // the rectangle of the picture shown
  uint8_t last_disposal_ = 0;
};

} // namespace vex::stills
