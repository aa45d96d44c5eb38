// Rows of colour-table indices narrower than a byte, as BMP, PCX and TIFF
// store them, unpacked to one index per byte. The decoders unpack every
// such row here, so the rest of the library only ever sees 8-bit indices
// (or, in a descriptor allocated at 1, 2 or 4 bits, the packing of
// still_image.h, which store_picture produces).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vex::stills {

// `width` indices of `bits` (1, 2, 4 or 8) bits each, packed from the most
// significant bit of each byte (the leftmost pixel highest). `packed`
// holds at least (width x bits + 7) / 8 bytes.
void unpack_indices(const uint8_t *packed, int bits, int32_t width, uint8_t *out);

// `width` indices spread over `planes` (1 to 8) planes of one bit per
// pixel, each plane `plane_bytes` long and packed as above: plane k gives
// bit k of the index.
void unpack_planes(const uint8_t *row, size_t plane_bytes, int planes, int32_t width, uint8_t *out);

} // namespace vex::stills
