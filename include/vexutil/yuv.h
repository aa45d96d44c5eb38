/* Planar YUV (an 8-bit luma plane and two half-size chroma planes, with an
   optional alpha plane) to 32-bit pixels: blue in bits 0-7, green 8-15,
   red 16-23, and zero or the alpha sample in 24-31.

   Integer tables give every channel of every (luma, chroma 1, chroma 2)
   triple exactly. The row converters come as plain code (the reference),
   SSE2, and AVX2, chosen at run time when the processor has it (two luma
   rows that share a chroma row are converted together, so each chroma
   sample is read once); all three give identical bytes.

   Threads: every call may run on any thread at the same time as any other
   (the tables are built once, by whichever thread first needs them, and
   then only read); blits at once into one destination must not overlap. */
#ifndef VEXUTIL_YUV_H
#define VEXUTIL_YUV_H

#include "vexutil/api.h"

VEX_EXTERN_C_BEGIN

/* Flags of the blitters. */
#define YUV_SWAP_CHROMA 0x10000u /* exchange the chroma planes' roles: red and blue trade places */
#define YUV_GREY 0x20000u        /* luma only */
#define YUV_NO_SIMD 0x40000u     /* use the plain converters (same bytes, slower) */
#define YUV_MODE_MASK 0x70000000u
#define YUV_MODE_SHIFT 28
/* Scaling modes (flags & YUV_MODE_MASK):
   0 copy; 1 height doubled; 2 copy to every other destination row;
   3 width doubled; 4 width and height doubled; 5 width doubled, every other
   row; 6 even source rows only, into even destination rows. */

/* Builds the conversion tables on first use and records the pixel type;
   -1 or the current type changes nothing. Calling it is optional: the
   tables are built by whichever call needs them first, once per process,
   and never freed. */
VEX_API void YUV_init(int32_t type);

/* The frame holds the luma plane (pitch P, S rows), then chroma plane 1 and
   chroma plane 2 (pitch P/2, S/2 rows each): P x S x 3 / 2 bytes. Pitches
   are in bytes; dest_pitch may be negative (bottom-up pictures). Copies the
   width x height rectangle at (src_x, src_y) of the frame to (dest_x,
   dest_y) of dest, which must hold it after the mode's scaling (the mode
   doubles the destination's width, height or both); nothing is checked
   against the buffers' sizes, so the caller keeps the rectangle inside
   both. A null buffer, a width, height, pitch or row count of 0 or less, or
   a negative source position draws nothing. Nothing is returned and
   nothing is allocated. */
VEX_API void YUV_blit_32bpp(void *dest, int32_t dest_x, int32_t dest_y, int32_t dest_pitch, const uint8_t *frame, int32_t src_x, int32_t src_y, int32_t width, int32_t height, int32_t pitch, int32_t rows, uint32_t flags);
/* As YUV_blit_32bpp, with an alpha plane of pitch P and S rows (its own
   buffer, P x S bytes) placed in bits 24-31. */
VEX_API void YUV_blit_32abpp(void *dest, int32_t dest_x, int32_t dest_y, int32_t dest_pitch, const uint8_t *frame, int32_t src_x, int32_t src_y, int32_t width, int32_t height, int32_t pitch, int32_t rows, const uint8_t *alpha, uint32_t flags);

VEX_EXTERN_C_END

#endif
