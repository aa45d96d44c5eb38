// The flat-area filter of 24-bit promotion: a frame of any palettised or
// true-colour depth becomes 24-bit blue, green, red rows, and pixels of
// gently shaded areas are quantised to steps of 16 with an ordered dither,
// so that a later reduction to 256 colours sees fewer, cleaner shades.
//
// Border pixels (first and last row, first and last column) are copied.
// An inner pixel is copied as well when its 3 x 3 neighbourhood is dark
// (every channel's maximum below 32), flat (the three channel ranges add up
// to at most 4) or busy (to 16 or more); otherwise each channel v becomes
// (v / 16 + (t < v mod 16)) x 16, at most 255, with t from an 8 x 8 dither
// table walked by an index that runs on across rows.
//
// Frames narrower than 3 pixels or lower than 3 rows have no inner pixels:
// they come out converted and otherwise unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vex::gfile {

// Converts a window of `width` x `height` source pixels (rows `src_pitch`
// bytes apart, negative for bottom-up frames; `src` points at the first
// visible row) into rows of width x 3 bytes, `dst_pitch` apart. Depths:
// 4 (two indices a byte, the low nibble first) and 8 (indices into
// `palette`, 256 x red, green, blue), 16 (5-5-5, bit 15 ignored, each
// component shifted left 3), 24 (blue, green, red), 32 (blue, green, red,
// ignored byte). Any other depth, a null pointer (the palette only for 4
// and 8) or a size below 1 leaves `dst` untouched.
void flat_area_filter(const uint8_t *src, ptrdiff_t src_pitch, int depth, const uint8_t (*palette)[3], int width,
                      int height, uint8_t *dst, ptrdiff_t dst_pitch);

} // namespace vex::gfile
