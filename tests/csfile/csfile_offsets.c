/* The CSFILE record as a C99 compiler lays it out, for the layout test. */
#include <stddef.h>

#include "vexutil/csfile.h"

const size_t csfile_c_offsets[] = {
    offsetof(CSFILE, source),           offsetof(CSFILE, encoder),          offsetof(CSFILE, quality),
    offsetof(CSFILE, raw),              offsetof(CSFILE, silence),          offsetof(CSFILE, lead_in_left),
    offsetof(CSFILE, lead_in_bytes),    offsetof(CSFILE, pass_left),        offsetof(CSFILE, pass_bytes),
    offsetof(CSFILE, delta_mask),       offsetof(CSFILE, threshold),        offsetof(CSFILE, fill_repeat),
    offsetof(CSFILE, repeat_forever),   offsetof(CSFILE, out),              offsetof(CSFILE, huff),
    offsetof(CSFILE, last_pcm_bytes),   offsetof(CSFILE, last_chunk_bytes), offsetof(CSFILE, total_pcm_bytes),
    offsetof(CSFILE, total_chunk_bytes), sizeof(CSFILE)};
const size_t csfile_c_offset_count = sizeof csfile_c_offsets / sizeof csfile_c_offsets[0];
