// Decoded pictures to packed rows of 32-bit blue-green-red-alpha or 24-bit
// blue-green-red, with libswscale set up for each picture's own colour
// matrix and range (a stream may change them between pictures).
//
// Which matrix: the one the picture is tagged with (BT.601, BT.709, FCC,
// SMPTE 240M, BT.2020). An untagged picture follows the usual convention of
// players and libraries: BT.709 when it is HD-sized (height 720 or more, or
// width 1280 or more), BT.601 otherwise. Range: as tagged; untagged
// pictures are limited range (16-235) unless their pixel format is one of
// the full-range "J" formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" {
struct AVFrame;
struct SwsContext;
}

namespace vex::movie {

// The libswscale matrix constant (SWS_CS_*) and range for a picture.
struct ColourSetup {
  int matrix;
  bool full_range;
  bool operator==(const ColourSetup &) const = default;
};
ColourSetup colour_setup_of(const AVFrame *f);

// The same choice in words a description can give: the matrix (none for
// pictures without luma and chroma: RGB, palettes), the range, and which
// of the two the picture named itself (the rest follows the convention).
enum class Matrix : int { none = 0, bt601, bt709, fcc, smpte240m, bt2020 };
struct PictureColour {
  Matrix matrix = Matrix::none;
  bool full_range = false;
  bool matrix_tagged = false, range_tagged = false;
};
PictureColour picture_colour_of(const AVFrame *f);

class PictureConverter {
public:
  PictureConverter() = default;
  PictureConverter(const PictureConverter &) = delete;
  PictureConverter &operator=(const PictureConverter &) = delete;
  ~PictureConverter();

  // Scales the picture to width x height and writes rows of `bits` (24 or
  // 32) per pixel; `pitch` may be negative (`dest` is then the top row of a
  // bottom-up buffer). False when the picture cannot be converted.
  bool convert(const AVFrame *f, int bits, int width, int height, uint8_t *dest, int pitch);

  // 32-bit rows of the picture at its own size straight into `dest` (top
  // row first, `pitch` bytes apart), each pixel exactly as `convert`
  // writes it at `bits` (24 or 32) with the fourth byte kept or cleared.
  // Only where the scaler is known to write exactly the picture's width
  // into an aligned row; false elsewhere (the caller then converts through
  // `convert` and copies every pixel of the window again).
  bool convert_into(const AVFrame *f, int bits, bool keep_fourth, uint8_t *dest, ptrdiff_t pitch);

private:
  struct Key {
    int src_w = 0, src_h = 0, src_format = -1, dst_w = 0, dst_h = 0, dst_format = -1;
    ColourSetup colour{-1, false};
    bool operator==(const Key &) const = default;
  };
  bool prepare(const Key &key);

  SwsContext *sws_ = nullptr;
  Key key_;
  std::vector<uint8_t> staging_; // aligned converter output
};

} // namespace vex::movie
