/* The sound records as a C99 compiler lays them out, for the layout test:
   the offsets in the interface order, the size, then 0 to end the list. */
#include <stddef.h>

#include "vexutil/csfile.h"
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
    sizeof(SFILE), 0};

const size_t csfile_c_offsets[] = {
    offsetof(CSFILE, source),           offsetof(CSFILE, encoder),          offsetof(CSFILE, quality),
    offsetof(CSFILE, raw),              offsetof(CSFILE, silence),          offsetof(CSFILE, lead_in_left),
    offsetof(CSFILE, lead_in_bytes),    offsetof(CSFILE, pass_left),        offsetof(CSFILE, pass_bytes),
    offsetof(CSFILE, delta_mask),       offsetof(CSFILE, threshold),        offsetof(CSFILE, fill_repeat),
    offsetof(CSFILE, repeat_forever),   offsetof(CSFILE, out),              offsetof(CSFILE, huff),
    offsetof(CSFILE, last_pcm_bytes),   offsetof(CSFILE, last_chunk_bytes), offsetof(CSFILE, total_pcm_bytes),
    offsetof(CSFILE, total_chunk_bytes), sizeof(CSFILE), 0};
