// One kind of picture input, as the graphics source sees it: a row of the
// open order (kind, the names it tries, a quick test, the open) and, once
// the open has taken the input, a reader object that fetches frames,
// rewinds and, by its destructor, releases what it holds.
//
// The open order is one table (input_order.cpp). Every row is offered the
// same opened file (lists/input_files.h): the source opens each name once,
// reads its first bytes once, and a row's quick test looks only at those.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>

#include "gfile/graphics_source.h"
#include "lists/input_files.h"
#include "stills/still_image.h"

namespace vex::movie {
struct MovieFacts;
}

namespace vex::gfile {

// How a row answers an open: it takes the input, leaves it to the next
// row, or fails the whole open (the message is given).
enum class Opened { accepted, declined, failed };

// The reader of an open source.
class InputReader {
public:
  virtual ~InputReader() = default;
  // The next source frame into state->frame; true when the palette
  // changed. A frame that cannot be read keeps the previous pixels and
  // leaves its reason with note_damage.
  virtual bool fetch(GFILE &g) = 0;
  // Back to the first frame of the range (GFileReset).
  virtual void rewind(GFILE &) {}
  // Movie pictures in true colour are decoded at the fetch and converted
  // once, at delivery: straight into the output rows at `dst` (the output
  // pixel of the frame's top-left) when the reader can write them exactly
  // (true), or into the reader's own buffer first (realise_pending).
  virtual bool deliver_pending(GFILE &, uint8_t * /*dst*/) { return false; }
  virtual void realise_pending(GFILE &) {}
  // What the reader knows of the input's codings (GFileDescribe): it
  // fills what it can into `info`, which comes zeroed with the codec the
  // kind names (stills, raw frames) and is never the input read again.
  virtual void describe(GFILE &, GFILEINFO &) {}
  // False when a read of the input that failed at the open or at an
  // earlier step can spoil a frame fetched later: a demuxer decodes from
  // packets it read ahead, and a sound-only picture may stand for pictures
  // that the failed read hid from the open. Once a read has failed, such a
  // reader's frames are all marked damaged (GFileFrameDamaged).
  virtual bool whole_after_failed_read() const { return true; }
};

// A description's text field from `text`, cut to fit.
template <size_t N> void describe_text(char (&field)[N], const char *text) { copy_text(field, N, text); }
// An AVI or QuickTime movie's codings as its video reader tells them.
void describe_movie(const movie::MovieFacts &facts, GFILEINFO &info);

// The names a row tries for the input name. A name with an extension is
// tried as it is; without one, each of the row's extensions in turn (the
// first that exists is the row's file), or the name as it is when the row
// has none.
struct Extensions {
  const char *list[2] = {nullptr, nullptr};
};

using Probe = bool (*)(const lists::InputFile &file);
using Open = Opened (*)(GFILE &g, const OpenArgs &a, const lists::InputFile &file);

struct ReaderRow {
  int32_t kind;
  Extensions extensions;
  // False when the file's first bytes show it is not of this kind (the
  // open would refuse it as such); null: no quick test.
  Probe probe;
  // Fills the record's kind, type, name, sizes, depth, frame count, rate
  // and sound flag and sets state->reader.
  Open open;
  // Offered the name even when no file of it opens (the sound source tries
  // names of its own).
  bool without_file = false;
};

// The rows of the kinds that come from files; GFileOpen walks them in its
// order (input_order.cpp).
extern const ReaderRow kWaveRow, kFlicRow, kKorvaneRow, kTolmRow, kExecutableRow, kAviRow, kQuickTimeRow,
    kSoundOnlyRow, kRawRow;
extern const ReaderRow kBmpRow, kPcxRow, kPngRow, kTgaRow, kTifRow, kGifRow, kJpegRow;

// Korvane and Tolm over a byte source the caller has found (a movie
// inside an executable): the opens of their rows. A Tolm movie's alpha
// plane is decoded only when asked for (files named as such).
Opened open_korvane(GFILE &g, const OpenArgs &a, const lists::InputFile &file);
Opened open_tolm(GFILE &g, const lists::InputFile &file, bool alpha);

// A still image of the given format as the source's one frame (the open of
// the still rows; GIF's row for a file of one picture).
Opened open_still(GFILE &g, const lists::InputFile &file, stills::Format format, int32_t kind, const char *type);

// Lists and numbered series: a list file (".lst"), a numbered series or a
// name that repeats itself (/L) is opened as a list; any other name is
// declined, with `plain` set to the file name without the switches it
// carried (lists/list_reader.h says which those are). A plain name's or a
// list file's /S and /E become a.first and a.last when both are 0.
Opened open_if_list(GFILE &g, OpenArgs &a, std::string &plain);

// The bytes at the start of `file` equal `magic` at `offset`.
bool starts_with(const lists::InputFile &file, size_t offset, std::span<const uint8_t> magic);
template <size_t N> bool starts_with(const lists::InputFile &file, size_t offset, const char (&magic)[N]) {
  return starts_with(file, offset, std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(magic), N - 1));
}

} // namespace vex::gfile
