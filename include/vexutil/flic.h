/* FLIC animations: reader of FLI (0xAF11) and FLC (0xAF12) files and
   writer of FLC files. Frames are 8-bit palette indices, palettes 256
   entries of red, green, blue bytes (0-255).

   The reader decodes the sub-chunks COLOR_256, COLOR_64, DELTA_FLC,
   DELTA_FLI, BLACK, BYTE_RUN and FLI_COPY and skips every other type. Each
   sub-chunk is decoded from exactly the bytes it declares (cut at the end
   of its frame), never from its neighbour's. The ring frame (the frame
   after the last, which leads back to frame 1) is never shown: playback
   wraps to frame 1 instead.

   Threads: a VEXFLIC or VEXOFLIC handle belongs to one thread at a time;
   distinct handles may work on distinct threads at once (readers of one
   file included: each has its own descriptor). Nothing here is shared
   between handles. */
#ifndef VEXUTIL_FLIC_H
#define VEXUTIL_FLIC_H

#include "vexutil/api.h"
#include "vexutil/file.h"

VEX_EXTERN_C_BEGIN

struct VEXFLICINPUT;

#define VEXFLIC_MAGIC_FLI 0xAF11
#define VEXFLIC_MAGIC_FLC 0xAF12
#define VEXFLIC_HEADER_SIZE 128
#define VEXFLIC_FRAME_TYPE 0xF1FA

/* Sub-chunk types of a frame chunk. */
#define VEXFLIC_COLOR_256 4
#define VEXFLIC_DELTA_FLC 7
#define VEXFLIC_COLOR_64 11
#define VEXFLIC_DELTA_FLI 12
#define VEXFLIC_BLACK 13
#define VEXFLIC_BYTE_RUN 15
#define VEXFLIC_FLI_COPY 16

/* Results of VEXFlicGetNext and VEXFlicGoto (only the low byte counts). */
#define VEXFLIC_FAILED 0
#define VEXFLIC_FRAME 1
#define VEXFLIC_FRAME_NEW_PALETTE 2

/* Reader handle. Callers read the leading fields directly; the order is
   fixed. The frame buffer handed to the reader holds pitch x buffer_height
   bytes, rows pitch bytes apart, top row first, and must keep the previous
   frame between calls (delta frames change it in place). */
typedef struct VEXFLIC {
  uint32_t file_size;
  uint32_t pitch;         /* width rounded up to a multiple of 4 */
  uint32_t buffer_height; /* height rounded up to a multiple of 4 */
  uint32_t frame_count;   /* without the ring frame */
  int32_t rate;           /* negated frame duration in 10 us units; an FLI's
                             speed in 1/70 s ticks becomes (ticks x 10000 + 3) / 7,
                             and 0 ticks (or more than 30 s) count as 14 ticks,
                             the 200 ms an FLC of speed 0 gets */
  uint32_t width;
  uint32_t height;
  struct VEXFLICINPUT *input; /* the reader's own: where the frames come from */
  uint32_t current_frame;     /* frames decoded since the start: 0 before the first */
  uint32_t frame_data_size;   /* last frame chunk read, less its 16-byte header */
  uint32_t frame1_offset;
  uint8_t palette[768];
} VEXFLIC;

/* Opens name; a name without extension tries "name.flc", then "name.fli".
   The handle is the caller's until VEXFlicClose; the file stays open
   while it lives. Null when no file opens (or the name, extension
   included, has VEXFILE_NAME_SIZE characters or more), the header is short
   or the magic is wrong, or when the picture is empty or too large to
   address (pitch x buffer height above 2^31 - 2^16 bytes); VEXLastError()
   then says which ("the picture is 0 x 5 pixels"). A file cut short opens:
   the frames past its end fail as they are reached. */
VEX_API VEXFLIC *VEXFlicOpen(const char *name);
/* Decodes the next frame into buf (pitch x buffer_height bytes); after the
   last frame it starts again at frame 1 with a cleared buffer. Returns
   VEXFLIC_FRAME_NEW_PALETTE when the frame changed the palette, else
   VEXFLIC_FRAME; 0 when the frame header cannot be read (the current
   frame then stays where it is). A frame whose data runs past the end of
   the file draws nothing but still counts, and VEXLastError() names it. */
VEX_API uint8_t VEXFlicGetNext(VEXFLIC *h, uint8_t *buf);
/* Decodes up to frame n (1 = first; beyond the count stops at the last; 0
   only rewinds). Backwards, or to the frame already shown, decodes from
   frame 1 again. */
VEX_API uint8_t VEXFlicGoto(VEXFLIC *h, uint32_t n, uint8_t *buf);
/* The handle's own 768-byte palette (valid while the handle lives); null
   for a null handle. */
VEX_API uint8_t *VEXFlicGetPalette(VEXFLIC *h);
/* The name the file was opened under, extension included; dest needs
   VEXFILE_NAME_SIZE bytes and is left alone for a null handle. */
VEX_API void VEXFlicGetName(VEXFLIC *h, char *dest);
/* Closes the file and frees the handle; null is ignored. */
VEX_API void VEXFlicClose(VEXFLIC *h);

/* Writer handle. Callers read file and error directly; the order is fixed. */
typedef struct VEXOFLIC {
  VEXFILE *file; /* null after close */
  uint32_t width;
  uint32_t height;
  uint32_t error; /* 1 once the file reported a failed write */
  uint32_t frames_written;
  uint8_t *previous; /* width x height: the last frame put */
  uint8_t *first;    /* width x height: copy of the first frame, for the ring frame */
  uint8_t *work;     /* width x height: encoded pixel data of the frame being put */
  uint32_t frame2_offset;
  uint8_t palette[768]; /* the last palette written */
} VEXOFLIC;

/* Creates an FLC file (".flc" appended to a name without extension).
   width and height are 16-bit values; null for an odd or zero width, a zero
   height, values above 65535, a file that cannot be created or a header
   that is not written in full. rate is a speed value: r >= 0 milliseconds
   per frame, r < 0 the negated frame duration in 10 us units. */
VEX_API VEXOFLIC *VEXOFlicCreate(const char *name, uint32_t width, uint32_t height, int32_t rate);
/* frame: width x height bytes, rows exactly width bytes apart; pal: 768
   bytes or null to keep the last palette. 1 written, 0 failure.
   Only the palette entries that changed are stored. The frame becomes
   nothing (unchanged), a line delta (DELTA_FLI at 320 x 200, DELTA_FLC
   otherwise), BYTE_RUN or FLI_COPY, whichever the format's rules pick. */
VEX_API uint8_t VEXOFlicPutNext(VEXOFLIC *f, const uint8_t *frame, const uint8_t *pal);
/* Writes the ring frame, completes the header and closes; the final size of
   the file, 0 when there was no file or a write of it was taken short (the
   file is then incomplete). The handle is gone afterwards. */
VEX_API uint32_t VEXOFlicClose(VEXOFLIC *f);

VEX_EXTERN_C_END

#endif
