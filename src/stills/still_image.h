// Still images for the graphics source and the output writer: information,
// allocation, loading, saving and freeing of BMP, PCX, PNG, TGA, TIF, GIF
// and JPEG files. Every call returns 0 for success. Pictures are read from
// a byte source the caller opened (a file, a stretch of one from an offset
// on, or memory); the readers never open anything themselves. They are
// written to a file by name.
//
// Image layout: rows bottom-up (the last row of the picture first in
// memory), pitch = ((width x bits / 8) + 3) rounded down to a multiple of
// 4; 24-bit pixels blue, green, red; 32-bit pixels blue, green, red,
// alpha; 16-bit pixels 5-5-5 with red in bits 10-14; 8 bits and fewer are
// colour-table indices packed from the least significant bits of each
// byte (the leftmost pixel of 4-bit rows is the low nibble). The colour
// table holds 256 entries of blue, green, red and an unused byte.
//
// BMP, PCX and TGA are this library's own codecs; PNG is read with libpng
// and written with libdeflate (png_writer.cpp), JPEG
// libjpeg-turbo, TIF libtiff, GIF giflib. The libraries' error paths
// (libpng's longjmp, libjpeg's error_exit, libtiff's and giflib's
// handlers) come back as non-zero results and print nothing; a JPEG whose
// data ends early is kBadFile, not a picture filled with grey. A side above
// 32767 pixels or a picture above 2^26 pixels is kBadFile.
//
// TIFF with alpha (RGB or grey, 8 or 16 bits per sample, strips or tiles,
// interleaved or in planes, any compression and predictor libtiff decodes)
// is read block by block, so the 32-bit pixels hold what the file stores:
// unassociated alpha with the colours as they are, associated alpha with
// the premultiplied colours as stored; nothing is multiplied or divided on
// the way. Other TIFF layouts (YCbCr, CMYK, Lab, palettes or grey deeper
// than 8 bits) go through libtiff's RGBA reader and come without alpha.
#pragma once

#include <cstdint>

namespace vex::file {
class ByteSource;
}

namespace vex::stills {

enum class Format { bmp, pcx, png, tga, tif, gif, jpeg };

// TIF compression code for LZW.
constexpr int32_t kTifLzw = 5;

struct Info {
  int32_t width, height;
  // Bits per pixel to hold the picture at: 4, 8 (indices), 16 (5-5-5), 24,
  // or 32 with alpha; samples deeper than 8 bits come at 8. Pictures of 1
  // or 2 bits a pixel report 8: loaded into an 8-bit image they arrive one
  // index a byte with their colour table, the form every reader of
  // palettised rows takes (a 1- or 2-bit image still receives them packed).
  int32_t bits;
  int32_t compression;     // TIF's compression code; 0 for the other formats
  int32_t stored_bits = 0; // bits per pixel as stored in the file: 1, 2, 4, 8, 16, 24 or 32
};

// The image descriptor. The caller owns the record; StillAlloc fills it and
// StillFree empties it.
struct Image {
  uint8_t *pixels;     // rows bottom-up
  int32_t width, height, bits;
  int32_t pitch;       // bytes per row
  uint32_t size;       // bytes of pixels
  uint8_t *colors;     // 256 x blue, green, red, unused
  int32_t colors_used; // entries of the table in use (the writer sets 256)
  int32_t flags;       // unused; the writer clears it
  int32_t reserved[2];
};

// Result codes beyond 0.
constexpr int32_t kNoFile = 1;       // the source is not open, or its data cannot be read
constexpr int32_t kBadFile = 2;      // not this format, damaged or truncated
constexpr int32_t kUnsupported = 3;  // valid but of a kind not handled
constexpr int32_t kNoMemory = 4;
constexpr int32_t kBadImage = 5;     // the descriptor does not fit the call
constexpr int32_t kWriteError = 6;

// The picture's information: only the header is read (of BMP, PCX and TGA
// the first 128 bytes), never the picture's data, as it is asked of every
// candidate input. A source that is not open is kNoFile with the reason
// its open recorded.
int32_t StillInfo(Format f, const file::ByteSource &source, Info *info);
// bits: 1, 4, 8, 16, 24 or 32. Pixels come cleared.
int32_t StillAlloc(Image *image, int32_t width, int32_t height, int32_t bits);
// Fills an image allocated by StillAlloc at least as large as the file's
// picture (wider images keep their extra columns); images held at 24 or
// 32 bits receive colour-table pictures expanded, 8-bit and narrower
// images receive indices and the table. A true-colour picture does not fit
// an 8-bit image.
int32_t StillLoad(Format f, const file::ByteSource &source, Image *image);
void StillFree(Image *image);
// Saves 8-bit images (indices and table) and 24-bit images. The option
// means: BMP nonzero = RLE8 for 8-bit images; JPEG the quality 1-100 (90
// and above also keep the full colour resolution); TGA
// nonzero = run-length compressed; TIF the compression code (1 none,
// 5 LZW, 8 deflate); PNG the zlib level, 0 meaning the library's default.
// PCX and GIF take none; GIF holds 8-bit images only.
int32_t StillSave(Format f, const char *name, const Image *image, int32_t option);

} // namespace vex::stills
