// vexconv's sound road: any sound input into a chunk stream through the
// library's compressed-sound writer, or into a WAV file.
#pragma once

#include <cstdint>
#include <string>

#include "common/command_line.h"
#include "common/talk.h"

namespace vex::tools {

struct SoundJob {
  std::string in, out;
  bool wave = false;        // OUT is a WAV file (else a chunk stream)
  int32_t compression = 104, rate = 0, bits = 0, channels = 0, start = 0, end = 0, track = 0, raw = 0, header = 0;
  int32_t chunk_ms = 1000;  // sound per chunk
  int32_t lead_in_ms = 0;   // /I
  int32_t pass_ms = 0;      // /U: 0 the source's length
  bool fill = false;        // /F: repeat the source to fill the pass
  bool replace = false, quiet = false;
};

// OUT names a sound output: a chunk stream (".vcs") or a WAV file (".wav"),
// in any letter case.
bool is_sound_output(const std::string &name);

// Reads the switches; 0, or the exit status for a bad command line.
int read_sound_job(CommandLine &cmd, SoundJob &job);
int convert_sound(const SoundJob &job, Talk &talk);
// For --help.
const char *sound_usage();

} // namespace vex::tools
