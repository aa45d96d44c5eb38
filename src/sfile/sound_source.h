// The record behind an SFILE handle and the pieces of the sound source:
// one reader per kind of input (open, refill, rewind, release), trimming,
// and the delivery of PCM with width, channel and rate conversion.
//
// Source bytes flow: reader -> source buffer (buffer .. buffer_end, read at
// buffer_read) -> one source sample frame at a time -> resampler -> output
// frame -> caller. `remaining` counts the source bytes the reader may still
// hand over; it reaches 0 at the (trimmed) end.
#pragma once

#include <cstdint>
#include <string>

#include "lists/input_name.h"
#include "lists/list_reader.h"
#include "util/status.h"
#include "vexutil/sfile.h"

namespace vex::sfile {

enum Kind : int32_t {
  kWave = SFILE_WAVE,
  kKorvane = SFILE_KORVANE,
  kAvi = SFILE_AVI,
  kList = SFILE_LIST,
  kQuickTime = SFILE_QUICKTIME,
  kTolm = SFILE_TOLM,
};

// The arguments of SFileOpen.
struct OpenArgs {
  const char *name = nullptr;
  int32_t rate = 0, bits = 0, channels = 0;
  int32_t start = 0, end = 0, track = 0;
  int32_t raw_format = 0, raw_header = 0;
  VEXMessageCallback callback = nullptr;
};

inline constexpr uint32_t kFileBufferBytes = 16384; // WAV, raw, AVI and QuickTime
inline constexpr uint32_t kListBufferBytes = 4096;
// Largest source buffer a movie's header may ask for (its per-frame sound).
inline constexpr uint32_t kMaxMovieBuffer = 64u << 20;
// Room behind the buffer for the part of a frame left from the last fill.
inline constexpr uint32_t kBufferSlack = 16;
using lists::copy_text;
using lists::kNameChars;
using lists::with_extension;

struct Source : SFILE {
  uint32_t frame_time = 0;    // source frame duration in 10 us units; 0: no frames
  uint64_t taken = 0;         // source frames taken (64-bit twin of frames_in)
  uint64_t produced = 0;      // output frames made (twin of frames_out)
  uint32_t allocated = 0;     // bytes of `buffer`: buffer_size + slack
  bool primed = false;        // the resampler holds its first source frame
  bool progress_sent = false; // the first progress message has gone out
  // Lists: the line the reader uses without a list file (a series pattern).
  std::string list_line;
  // Why the WAV reader refused a RIFF WAVE file ("" when it was none).
  std::string wave_reason;

  lists::ListState list_state() {
    return lists::ListState{list_file, list_pattern,     series_counter, series_end,
                            repeat,    repeated,         repeated_start, repeated_end};
  }
};

// Tells the caller `text` and records the reason (`detail` when given, else
// the text); for the failures of an open.
util::Failure report(const OpenArgs &a, util::Status status, const char *text, const char *detail = nullptr);


// Readers: each open returns true when it accepts the input (the record
// then holds the source format, total, frame_time and kind), false to let
// the next one try. `fail` leaves the whole open failed (message given).
enum class Opened { accepted, declined, failed };
Opened open_wave(Source &s, const OpenArgs &a, const char *name);
Opened open_korvane(Source &s, const OpenArgs &a, const char *name);
Opened open_tolm(Source &s, const OpenArgs &a, const char *name);
Opened open_executable(Source &s, const OpenArgs &a, const char *name);
Opened open_avi(Source &s, const OpenArgs &a, const char *name);
Opened open_quicktime(Source &s, const OpenArgs &a, const char *name);
// The list case: `first` is the first entry when the reader already gave
// one (a series or a repeat), else null.
Opened open_list(Source &s, const OpenArgs &a, const lists::ListEntry *first);

// Korvane and Tolm accepted from a name or from an executable.
Opened accept_korvane(Source &s, const OpenArgs &a);
Opened accept_tolm(Source &s, const OpenArgs &a);

// Per kind: refill appends up to `space` source bytes at dest and returns
// how many (a movie also moves to its next frame, and at its last frame
// sets `remaining` to what it just delivered); rewind goes back to the
// trimmed start; release closes the reader.
uint32_t refill(Source &s, uint8_t *dest, uint32_t space);
void rewind_reader(Source &s);
void release_reader(Source &s);

uint32_t refill_wave(Source &s, uint8_t *dest, uint32_t space);
uint32_t refill_korvane(Source &s, uint8_t *dest, uint32_t space);
uint32_t refill_tolm(Source &s, uint8_t *dest, uint32_t space);
uint32_t refill_avi(Source &s, uint8_t *dest, uint32_t space);
uint32_t refill_quicktime(Source &s, uint8_t *dest, uint32_t space);
void rewind_korvane(Source &s);
void rewind_tolm(Source &s);
void release_korvane(Source &s);
void release_tolm(Source &s);
void release_avi(Source &s);

// Drops the bytes still to skip (Korvane, Tolm) from a fresh read of n
// bytes at dest; returns what is left of it, moved to dest.
uint32_t drop_skipped(Source &s, uint8_t *dest, uint32_t n);

// Trimming by start and end (milliseconds, or frames when negative for a
// source with frames).
void trim(Source &s, int32_t start, int32_t end);

// PCM delivery.
uint32_t get_pcm(Source &s, uint8_t *out, uint32_t bytes);
uint32_t get_list(Source &s, uint8_t *out, uint32_t bytes);

} // namespace vex::sfile
