/* The OGFILE record as a C99 compiler lays it out: the first member of
   each run of like members, then the size. */
#include <stddef.h>

#include "vexutil/ogfile.h"

const size_t ogfile_c_offsets[] = {
    offsetof(OGFILE, name),           offsetof(OGFILE, first_still),    offsetof(OGFILE, display_name),
    offsetof(OGFILE, true_colour),    offsetof(OGFILE, width),          offsetof(OGFILE, rate),
    offsetof(OGFILE, source_pitch),   offsetof(OGFILE, next_frame),     offsetof(OGFILE, kind),
    offsetof(OGFILE, bytes_written),  offsetof(OGFILE, error),          offsetof(OGFILE, compressed),
    offsetof(OGFILE, callback),       offsetof(OGFILE, flic),           offsetof(OGFILE, image),
    offsetof(OGFILE, image_pitch),    offsetof(OGFILE, image_last_row), offsetof(OGFILE, avi_file),
    offsetof(OGFILE, avi_pitch),      offsetof(OGFILE, avi_last_row),   offsetof(OGFILE, avi_audio),
    offsetof(OGFILE, sound_total),    offsetof(OGFILE, wave_format),    offsetof(OGFILE, state),
    sizeof(OGFILE)};
const size_t ogfile_c_offset_count = sizeof ogfile_c_offsets / sizeof ogfile_c_offsets[0];
