// The record behind an SFILE handle and the pieces of the sound source:
// the reader of the input's kind (sound_reader.h), trimming, and the
// delivery of PCM with width, channel and rate conversion.
//
// Source bytes flow: reader -> source buffer (buffer .. buffer_end, read at
// buffer_read) -> one source sample frame at a time -> resampler -> output
// frame -> caller. `remaining` counts the source bytes the reader may still
// hand over; it reaches 0 at the (trimmed) end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "file/byte_source.h"
#include "lists/input_files.h"
#include "lists/input_name.h"
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
  kChunks = SFILE_CHUNKS,
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
// Largest source buffer a movie's header may ask for (its per-frame sound).
inline constexpr uint32_t kMaxMovieBuffer = 64u << 20;
// Room behind the buffer for the part of a frame left from the last fill.
inline constexpr uint32_t kBufferSlack = 16;
using lists::copy_text;
using lists::kNameChars;
using lists::with_extension;

class SoundReader;

// Closes a sound source (an entry's, or one being opened) when it goes.
struct SoundCloser {
  void operator()(SFILE *s) const { SFileClose(s); }
};

struct Source : SFILE {
  Source();
  ~Source();
  Source(const Source &) = delete;
  Source &operator=(const Source &) = delete;

  uint32_t frame_time = 0;    // source frame duration in 10 us units; 0: no frames
  uint64_t taken = 0;         // source frames taken (64-bit twin of frames_in)
  uint64_t produced = 0;      // output frames made (twin of frames_out)
  uint32_t allocated = 0;     // bytes of `buffer`: buffer_size + slack
  bool primed = false;        // the resampler holds its first source frame
  bool progress_sent = false; // the first progress message has gone out
  std::unique_ptr<SoundReader> reader; // the reader of the input's kind
  // Why the first reader that refused a file of its kind did ("(...)";
  // "" when every reader found the file not of its kind).
  std::string refusal;
  util::Status refusal_status = util::Status::kUnsupported;
  // The first damage found in the input (SFileDamage); "" when none.
  std::string damage;
  file::ByteSource input; // the input file the reader took (not set for lists)
  // The coding of the sound as stored, as libavcodec names it ("pcm_s16le",
  // "aac", ...; "" when the reader does not say), for a description.
  std::string codec;
};

// libavcodec's name of plain PCM of `bits` (8 unsigned, 16 signed
// little-endian), as WAV and raw sound hold it.
inline const char *pcm_codec(uint32_t bits) { return bits == 8 ? "pcm_u8" : "pcm_s16le"; }

// After a step that read the input (the open, an SFileGet), when no damage
// was known before it: a read that failed during the step (the thread's
// read_failures() moved past `failures_before`) becomes the damage, else a
// change of the input file since the open (ByteSource::change) does,
// placed "after <delivered> sample frames" (output frames before the step).
void note_input_faults(Source &s, uint64_t failures_before, uint64_t delivered);

// Tells the caller `text` and records the reason (`detail` when given, else
// the text); for the failures of an open.
util::Failure report(const OpenArgs &a, util::Status status, const char *text, const char *detail = nullptr);

// Opens a sound source; the files in `inputs` (already opened by a graphics
// source over the same input) serve it without an open of their own, and
// those it opens are added there. Null on failure.
SFILE *open_source(const OpenArgs &a, lists::InputFiles &inputs);

// Drops the bytes still to skip (Korvane, Tolm) from a fresh read of n
// bytes at dest; returns what is left of it, moved to dest.
uint32_t drop_skipped(Source &s, uint8_t *dest, uint32_t n);

// Trimming by start and end (milliseconds, or frames when negative for a
// source with frames).
void trim(Source &s, int32_t start, int32_t end);

// PCM delivery from the source buffer through the resampler.
uint32_t get_pcm(Source &s, uint8_t *out, uint32_t bytes);

} // namespace vex::sfile
