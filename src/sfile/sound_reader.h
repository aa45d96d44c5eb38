// One kind of sound input, as the sound source sees it: a row of the open
// order (kind, the names it tries, a quick test, the open) and, once the
// open has taken the input, a reader object that refills the source
// buffer, passes over the trimmed start, rewinds and, by its destructor,
// releases what it holds.
//
// The open order is one table (sound_order.cpp). Every row is offered the
// same opened file (lists/input_files.h): each name is opened once, its
// first bytes read once, and a row's quick test looks only at those.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "lists/input_files.h"
#include "lists/list_reader.h"
#include "sfile/sound_source.h"

namespace vex::sfile {

// How a row answers an open: it takes the input, leaves it to the next
// row, or fails the whole open (the message is given).
enum class Opened { accepted, declined, failed };

class SoundReader {
public:
  virtual ~SoundReader() = default;
  // Appends up to `space` source bytes at dest and returns how many. A
  // movie delivers the whole sound of its current frame (its `space` is
  // all the buffer has) and moves to its next frame; at its last frame it
  // cuts s.remaining to what it just delivered.
  virtual uint32_t refill(Source &s, uint8_t *dest, uint32_t space) = 0;
  // True for the readers that deliver a frame's sound at a time.
  virtual bool by_frames() const { return false; }
  // Back to the trimmed start (SFileReset).
  virtual void rewind(Source &s) = 0;
  // Trimming: the first `bytes` (whole source frames, fewer than the
  // total) are passed over; `ms` is the same start as a time. Unless the
  // reader can start there itself, they are dropped as they come.
  virtual void skip_start(Source &s, uint32_t bytes, int64_t ms);
  // The output PCM of SFileGet; a list reads its entries' instead.
  virtual uint32_t get(Source &s, uint8_t *out, uint32_t bytes) { return get_pcm(s, out, bytes); }
};

using Probe = bool (*)(const lists::InputFile &file);
using Open = Opened (*)(Source &s, const OpenArgs &a, const lists::InputFile &file);

struct SoundRow {
  // The default extension tried on a name without one; null: the name as
  // it is.
  const char *extension;
  // False when the file's first bytes show it is not of this kind; null:
  // no quick test.
  Probe probe;
  // Fills the source format, total, frame_time, kind, type and name and
  // sets s.reader.
  Open open;
};

extern const SoundRow kChunkStreamRow, kWaveRow, kKorvaneRow, kTolmRow, kExecutableRow, kAviRow, kQuickTimeRow;

// Korvane and Tolm over a byte source found inside an executable: the
// opens of their rows.
Opened open_korvane(Source &s, const OpenArgs &a, const lists::InputFile &file);
Opened open_tolm(Source &s, const OpenArgs &a, const lists::InputFile &file);

// Lists and numbered series: a list file (".lst"), a numbered series or a
// name that repeats itself (/L) is opened as a list; any other name is
// declined, with `plain` set to the file name without the switches it
// carried (lists/list_reader.h says which those are). A plain name's or a
// list file's /S and /E become a.start and a.end, negated as a list
// entry's are, when both are 0.
Opened open_if_list(Source &s, OpenArgs &a, std::string &plain);

// No reader took the input: the last row's failure, with the WAV reader's
// reason for a WAV file of samples it does not take, or that there is no such
// file at all.
void fail_unread(const Source &s, const OpenArgs &a, const char *name, lists::InputFiles &files);

} // namespace vex::sfile
