/* The SFILE record as a C99 compiler lays it out, for the layout test. */
#include <stddef.h>

#include "vexutil/sfile.h"

const size_t sfile_c_offsets[] = {
    offsetof(SFILE, name),        offsetof(SFILE, type),
    offsetof(SFILE, at_end),      offsetof(SFILE, rate),
    offsetof(SFILE, bits),        offsetof(SFILE, channels),
    offsetof(SFILE, frame_bytes), offsetof(SFILE, frames_out),
    offsetof(SFILE, source_rate), offsetof(SFILE, source_bits),
    offsetof(SFILE, source_channels), offsetof(SFILE, source_frame_bytes),
    offsetof(SFILE, frames_in),   offsetof(SFILE, buffer),
    offsetof(SFILE, buffer_size), offsetof(SFILE, track_mask),
    offsetof(SFILE, kind),        offsetof(SFILE, next_left),
    offsetof(SFILE, callback),    offsetof(SFILE, remaining),
    offsetof(SFILE, total),       offsetof(SFILE, file),
    offsetof(SFILE, exe_file),    offsetof(SFILE, korva),
    offsetof(SFILE, skip),        offsetof(SFILE, list_file),
    offsetof(SFILE, list_pattern), offsetof(SFILE, avi_stream),
    offsetof(SFILE, qt),          offsetof(SFILE, repeat),
    sizeof(SFILE)};
const size_t sfile_c_offset_count = sizeof sfile_c_offsets / sizeof sfile_c_offsets[0];
