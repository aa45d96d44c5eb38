// The list reader shared by the graphics and the sound source: one entry at
// a time from a list file (".lst": one input per line) or from a numbered
// series ("pic???.bmp*1-40"), each source with its own state.
//
// A list line: an input name with optional switches /Sn (first frame, or
// start for sound), /En (last frame or end) and /Ln (use the entry n times
// in a row); '#' first makes a comment; empty lines are skipped; blanks at
// either end are not part of the name. The switches are only a trailing
// run of blank-separated words, each exactly '/', S, E or L in either
// case, an optional minus sign and digits, after a name (text that does
// not end in '/'); and they are taken only when the line as it stands
// names no file (a file, not a folder; a line without extension names a
// file when a file of that name with some extension exists, as the sources
// try such names). So "/data/s5/x.wav" and "s24x.wav" are names, "clip.flc
// /S3 /E5" is clip.flc with a range unless a file of that whole name
// exists, and "a /S3 b.wav" is one name. Of a letter given twice the first
// word counts.
//
// A line with '?' that names no file is a numbered series: the pattern,
// then optionally '*' with the first number and '-' and the last one (else
// /S and /E give them); each '?' stands for one decimal digit, the last '?'
// for the units. Numbers beyond what the '?' digits can name are not
// produced. A series without a last number runs from the first one while
// the named files exist (at most to what the digits can name).
//
// After the last entry comes the end marker (an empty name); the next call
// starts again at the first line: a list wraps round. Without a list file
// the source name is the only line, given once (with its repeats) between
// end markers.
#pragma once

#include <cstdint>
#include <string>

#include "vexutil/file.h"

namespace vex::lists {

inline constexpr size_t kEntryChars = 128;    // entry names, lines and patterns, terminator included
inline constexpr size_t kRepeatedChars = 256; // the repeated entry's name

// The list-reader fields of a source's record, wherever the record keeps
// them.
struct ListState {
  VEXFILE *&file;        // the list file, or null: the source name is the only line
  char *pattern;         // kEntryChars: the series pattern
  int32_t &counter;      // next number of the series; -1: the source name's one plain line is out
  int32_t &end;          // exclusive end; 0 none; negative: -limit of an open-ended series
  int32_t &repeat;       // further uses of the repeated entry
  char *repeated;        // kRepeatedChars
  int32_t &repeated_first, &repeated_last;
};

struct ListEntry {
  char name[kEntryChars] = {}; // empty: the end marker
  int32_t first = 0, last = 0;
};

// The next entry. `source_name` is the line used when the state has no list
// file. True when the entry came from a series or a repeat, false for a
// fresh line and for the end marker.
bool next_entry(ListState s, const char *source_name, ListEntry &entry);

// Back to the first line and the first number; forgets the repeat.
void rewind_list(ListState s);

// The pattern with its '?' replaced by the digits of k, units at the last
// '?'; digits beyond the '?' count are dropped.
std::string series_name(const char *pattern, uint32_t k);

// True when the name's extension is ".lst" in any case.
bool is_list_name(const char *name);

} // namespace vex::lists
