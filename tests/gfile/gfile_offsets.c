/* The GFILE record as a C99 compiler lays it out, one entry per numbered
   public field (the first member of each), then the working-state pointer
   and the size; the same for GFILEINFO, every field and the size. */
#include <stddef.h>

#include "vexutil/gfile.h"

const size_t gfile_c_offsets[] = {
    offsetof(GFILE, name),          offsetof(GFILE, type),         offsetof(GFILE, true_colour),
    offsetof(GFILE, alpha),         offsetof(GFILE, kind),         offsetof(GFILE, width),
    offsetof(GFILE, source_width),  offsetof(GFILE, has_sound),    offsetof(GFILE, speed),
    offsetof(GFILE, out_num),       offsetof(GFILE, play_num),     offsetof(GFILE, source_num),
    offsetof(GFILE, frame_count),   offsetof(GFILE, fetched),      offsetof(GFILE, output_frames),
    offsetof(GFILE, delivered),     offsetof(GFILE, depth),        offsetof(GFILE, frame_depth),
    offsetof(GFILE, depth_read),    offsetof(GFILE, buffer),       offsetof(GFILE, pitch),
    offsetof(GFILE, frame_bytes),   offsetof(GFILE, file_size),    offsetof(GFILE, total_frames),
    offsetof(GFILE, palette),       offsetof(GFILE, unused),       offsetof(GFILE, at_end),
    offsetof(GFILE, clip_x),        offsetof(GFILE, crop_x),       offsetof(GFILE, clip_width),
    offsetof(GFILE, uncovered_width), offsetof(GFILE, origin_x),   offsetof(GFILE, palette_built),
    offsetof(GFILE, source_palette), offsetof(GFILE, state),       sizeof(GFILE)};
const size_t gfile_c_offset_count = sizeof gfile_c_offsets / sizeof gfile_c_offsets[0];

/* GFILEOPTIONS the same way: each numbered field, then the size. */
const size_t gfile_options_c_offsets[] = {
    offsetof(GFILEOPTIONS, size),           offsetof(GFILEOPTIONS, flags),
    offsetof(GFILEOPTIONS, play_num),       offsetof(GFILEOPTIONS, out_num),
    offsetof(GFILEOPTIONS, crop_x),         offsetof(GFILEOPTIONS, crop_width),
    offsetof(GFILEOPTIONS, first),          offsetof(GFILEOPTIONS, palette_mode),
    offsetof(GFILEOPTIONS, palette_period), offsetof(GFILEOPTIONS, first_index),
    offsetof(GFILEOPTIONS, palette_entries), offsetof(GFILEOPTIONS, palette_split),
    offsetof(GFILEOPTIONS, system_colours), offsetof(GFILEOPTIONS, promotion),
    offsetof(GFILEOPTIONS, palette_file),   offsetof(GFILEOPTIONS, label),
    offsetof(GFILEOPTIONS, callback),       sizeof(GFILEOPTIONS)};
const size_t gfile_options_c_offset_count = sizeof gfile_options_c_offsets / sizeof gfile_options_c_offsets[0];

/* The defaults as a C compiler takes the macro. */
const GFILEOPTIONS gfile_options_c_init = GFILEOPTIONS_INIT;

const size_t gfileinfo_c_offsets[] = {
    offsetof(GFILEINFO, codec),          offsetof(GFILEINFO, colour_matrix), offsetof(GFILEINFO, colour_range),
    offsetof(GFILEINFO, colour_tagged),  offsetof(GFILEINFO, has_sound),     offsetof(GFILEINFO, sound_codec),
    offsetof(GFILEINFO, sound_rate),     offsetof(GFILEINFO, sound_bits),    offsetof(GFILEINFO, sound_channels),
    offsetof(GFILEINFO, unused),         offsetof(GFILEINFO, sound_frames),  sizeof(GFILEINFO)};
const size_t gfileinfo_c_offset_count = sizeof gfileinfo_c_offsets / sizeof gfileinfo_c_offsets[0];
