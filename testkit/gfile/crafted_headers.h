// Small files whose headers claim what their bytes do not hold: the least
// a reader must parse before it decides how much to allocate, with every
// size field chosen by the caller. For the tests that hold each reader's
// memory to what a file's real size justifies.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vex::testkit::crafted {

using Bytes = std::vector<uint8_t>;

void put_be16(uint8_t *p, uint32_t v);
void put_be32(uint8_t *p, uint32_t v);
// Where `tag` first occurs in `b` at or after `from`; throws when it is absent.
size_t find(const Bytes &b, const char *tag, size_t from = 0);

// FLC header of 128 bytes (8 bits a pixel, frame 1 at byte 128).
Bytes flic(uint16_t frames, uint16_t width, uint16_t height, uint32_t size_field);
// Raw frame file header of 20 bytes.
Bytes rawb(uint32_t frames, uint32_t width, uint32_t height);
// Korvane header of 104 bytes with 16 MiB of sound a frame on all 7 tracks.
Bytes korvane(uint32_t frames, uint32_t side, uint32_t tree_bytes);
// Tolm header of 44 bytes.
Bytes tolm(uint32_t frames, uint32_t side, uint32_t index_count, uint32_t tracks);
// BMP with a 40-byte info header, a full colour table at 8 bits and less, then `data`.
Bytes bmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression, const Bytes &data);
// 8-bit PCX header (version 5, run-length coded), then `data`.
Bytes pcx(uint16_t xmax, uint16_t ymax, uint8_t planes, uint16_t line_bytes, const Bytes &data);
// TGA with an identification field of 255 bytes, an optional colour map of 32-bit entries, then `data`.
Bytes tga(uint8_t type, uint16_t width, uint16_t height, uint8_t bits, uint16_t map_length, const Bytes &data);
// PNG: signature, IHDR, an IDAT when `idat` is not empty, IEND.
Bytes png(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour, const Bytes &idat);
// Little-endian TIFF of one directory of (tag, type, count, value) entries, then `tail`.
Bytes tiff(const std::vector<std::array<uint32_t, 4>> &entries, const Bytes &tail = {});
// GIF89a of a 256-entry global table and a loop block, `frames` pictures of
// w x h each holding one pixel's data.
Bytes gif(uint16_t screen_w, uint16_t screen_h, uint16_t w, uint16_t h, int frames);
// PCM WAV header whose data chunk claims `data_size` bytes, `data_present` zero bytes following.
Bytes wav(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t data_size, uint32_t data_present);

} // namespace vex::testkit::crafted
