// Still-image files built byte by byte or through the formats' own
// libraries, for tests that need layouts the ffmpeg tool does not write
// (1, 2 and 4 bits a pixel, run-length data, damaged headers), and a
// plain transcription of PNG's row reconstruction to take the writer's
// files apart. Builders return the file's bytes; the writers throw
// std::runtime_error when the library refuses.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vex::testkit {

// An 8-bit BMP of w x h (40-byte header) with `colours` table entries
// claimed, `table_bytes` of table (0x40 each) and then `data`.
std::vector<uint8_t> bmp8_file(int32_t w, int32_t h, uint32_t compression, uint32_t colours, size_t table_bytes,
                               const std::vector<uint8_t> &data);
// A 4 x 2 colour-mapped RLE TGA (24-bit map of `map_length` entries, two
// of them present), then `data`; `width` replaces the 4.
std::vector<uint8_t> tga8_file(uint16_t map_length, const std::vector<uint8_t> &data, uint8_t width = 4);
// A PCX of 4 x 1 pixels of 8 bits in one plane (x from x_min to 3), then `data`.
std::vector<uint8_t> pcx8_file(const std::vector<uint8_t> &data, uint8_t x_min = 0);
// A 5 x 2 BMP of 4 bits, plain or RLE4: indices 0..4 in the bottom row
// and 4..0 in the top row; colour i of 16 is (blue 16i, green 100, red 255 - i).
std::vector<uint8_t> bmp4_file(bool rle);
// A w x h BMP of every header size (12, 40, 52, 56, 108, 124), depth,
// coding (0 plain, 1 RLE8, 2 RLE4, 3 bit fields: 5-6-5 or 10-10-10-2) and
// row order, with rows of varied values from `next` (per row a run of
// 200 and a literal of 100, ... for RLE).
std::vector<uint8_t> bmp_shape_file(int32_t w, int32_t h, uint32_t header, uint16_t bits, uint32_t coding,
                                    bool top_down, uint32_t &seed);

// A picture of indices of 1 or 2 bits, top row first, and its table as
// red, green, blue (1 << bits entries), random or (grey) evenly spaced.
struct IndexedPicture {
  int32_t width, height, bits;
  std::vector<uint8_t> index;
  std::vector<std::array<uint8_t, 3>> colours;
};
IndexedPicture random_indexed(int32_t width, int32_t height, int bits, bool grey, std::mt19937 &rng);
// The picture as a file: PNG through libpng (palette or grey), TIFF
// through libtiff (palette, strips of 3 rows), BMP (40-byte header,
// bottom-up rows) and run-length PCX of 1 plane or of `bits` planes of 1 bit.
void write_indexed_png(const std::string &name, const IndexedPicture &m, bool grey);
void write_indexed_tiff(const std::string &name, const IndexedPicture &m);
std::vector<uint8_t> indexed_bmp(const IndexedPicture &m);
std::vector<uint8_t> indexed_pcx(const IndexedPicture &m, int planes);

// The IDAT data of a PNG file inflated by zlib, every chunk's CRC checked:
// `height` rows of a filter byte and row_bytes bytes.
std::vector<uint8_t> png_filtered_rows(const std::vector<uint8_t> &png, size_t row_bytes, int32_t height);
// PNG's reconstruction of those rows, byte by byte as the format defines it.
std::vector<uint8_t> png_unfilter(const std::vector<uint8_t> &rows, size_t row_bytes, int32_t height, int bpp);

} // namespace vex::testkit
