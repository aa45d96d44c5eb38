// Compressed-sound chunk streams as files (extension ".vcs"): a stream is
// the chunks one after another, nothing else, so what a chunk does not say
// (the sample rate, and for raw chunks everything about the PCM) cannot be
// read from the file. The library's scan (CSFileScan) reads them; this is
// the tools' naming and wording.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "vexutil/csfile.h"

namespace vex::tools {

inline constexpr const char *kChunkExtension = ".vcs";
bool is_chunk_stream_name(const std::string &name);

// The vexinfo description of a scanned stream; rate 0 when not known.
// per_chunk lists the chunks too (CSFileScanNext, from the first).
void describe_chunk_stream(std::FILE *to, CSSCAN &s, uint32_t rate, bool per_chunk);

} // namespace vex::tools
