/* Graphics input: the options of the graphics source. */
#ifndef VEXUTIL_GFILE_H
#define VEXUTIL_GFILE_H

#include "vexutil/api.h"

VEX_EXTERN_C_BEGIN

/* Reads the graphics-source switches of a command line, removing them. A
   null pointer skips that option (crop and frame range are taken out of the
   command line even then).
   /F playback rate and /A output rate, as exact fractions (default 0/0: the
   source's): a non-negative value is frames per second; -1500 <= value < 0
   is a frame duration in milliseconds and -value below -1500 one in units of
   10 us, both turned into frames per second (/F-100 gives 10/1, /F-3333
   100000/3333).
   /X /Y crop origin, /W /H crop size, /S /E first and last frame (0 each).
   /P palette analysis mode (0); /U palette period (0 and values above
   0x10000, negative ones included, give 0x10000, the default); /Q palette
   entries (0 and values above 256 give 256, the default); /I first palette
   index (default (256 - entries) / 2, lowered so that index + entries <=
   256, raised to 0); /$ palette split (0); /D system colours (0); /T 24-bit
   promotion (0); /& palette file name (empty; at most 127 characters are
   kept, so the buffer needs 128). */
VEX_API void GFileCommandLine(char *cmd, uint32_t *play_num, uint32_t *play_den, uint32_t *out_num, uint32_t *out_den, int32_t *crop_x, int32_t *crop_y, int32_t *crop_width, int32_t *crop_height, int32_t *first, int32_t *last, int32_t *palette_mode, int32_t *palette_period, int32_t *first_index, int32_t *palette_entries, int32_t *palette_split, int32_t *system_colours, int32_t *promotion, char *palette_file);

VEX_EXTERN_C_END

#endif
