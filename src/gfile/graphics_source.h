// The working state behind a GFILE handle and the pieces of the graphics
// source: the reader of the input's kind (input_reader.h), the crop window,
// the rate conversion and the delivery of pixels.
//
// A fetched frame is described by SourceFrame: the top-left pixel of the
// reader's whole picture and its signed pitch (negative for pictures
// stored bottom-up). The crop window is applied to it afterwards, so a
// list can take an entry's frame as it is and clip it against the entry's
// own size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "file/byte_source.h"
#include "lists/input_files.h"
#include "lists/input_name.h"
#include "lists/list_reader.h"
#include "util/record.h"
#include "util/status.h"
#include "vexutil/gfile.h"

namespace vex::gfile {

using lists::copy_text;
using lists::kNameChars;
using lists::ListEntry;
using lists::with_extension;

inline constexpr size_t kLabelChars = 32;
// Largest side a still image may have (BMP, PCX, PNG, TGA).
inline constexpr int32_t kMaxStillSide = 4096;
inline constexpr uint32_t kWholeRange = 0xFFFFFF;
inline constexpr int32_t kPassThroughPeriod = 32000;

// The arguments of GFileOpen.
struct OpenArgs {
  const char *name = nullptr;
  int32_t flags = 0;
  uint32_t play_num = 0, play_den = 0, out_num = 0, out_den = 0;
  int32_t crop_x = 0, crop_y = 0, crop_width = 0, crop_height = 0;
  int32_t first = 0, last = 0;
  int32_t palette_mode = 0, palette_period = 0, first_index = 0, palette_entries = 256;
  int32_t palette_split = 0, system_colours = 0, promotion = 0;
  const char *palette_file = nullptr;
  const char *label = nullptr;
  VEXMessageCallback callback = nullptr;
};

// The options a source keeps (the palette ones as GFileOpen corrected them).
struct Options {
  uint32_t play_num = 0, play_den = 0, out_num = 0, out_den = 0; // as asked (list entries get them)
  int32_t palette_mode = 0;
  int32_t palette_period = 0x10000;
  int32_t first_index = 0, entries = 256; // usable range after the split
  int32_t asked_first_index = 0, asked_entries = 256;
  int32_t split = 0;
  int32_t system_colours = 0;
  int32_t promotion = 0;
  std::string palette_file;
};

// The current source frame before cropping.
struct SourceFrame {
  const uint8_t *top_left = nullptr; // pixel (0, 0)
  ptrdiff_t pitch = 0;               // bytes from one row to the next (negative: bottom-up)
  int32_t width = 0, height = 0;
  int32_t depth = 8;
};

class InputReader;

struct GfileCloser {
  void operator()(GFILE *g) const { GFileClose(g); }
};
using SourcePtr = std::unique_ptr<GFILE, GfileCloser>;

} // namespace vex::gfile

struct GFILESTATE {
  GFILESTATE();
  ~GFILESTATE();
  GFILESTATE(const GFILESTATE &) = delete;
  GFILESTATE &operator=(const GFILESTATE &) = delete;

  vex::gfile::Options options;
  VEXMessageCallback callback = nullptr;
  char label[vex::gfile::kLabelChars] = "Processing";
  uint32_t first_offset = 0; // source frames before the range
  bool first_fetch_done = false;
  bool progress_sent = false; // the first message of a run has gone out
  bool own_buffer = false;    // the output buffer is ours to free
  bool promote = false;       // 24-bit promotion through the flat-area filter
  std::string damage;         // the first fault found in the input ("" when none)
  vex::file::ByteSource input; // the input file the reader took (not set for lists)
  bool fetch_failed = false;  // the reader step running now, or last run, failed (note_damage)
  bool delivered_damaged = false; // the frame GFileGet delivered last comes from a failed fetch
  bool read_failed = false;   // a read of the input has failed (at the open or since)

  // The reader of the input's kind, and the files the open tried (each
  // opened once; the palette source shares them).
  std::unique_ptr<vex::gfile::InputReader> reader;
  vex::lists::InputFiles inputs;
  // The analysed path: a second source that reads ahead for palette
  // building (over the same input, or over the palette file).
  vex::gfile::SourcePtr palette_source;
  std::string opened_as;          // the name as given to GFileOpen
  int32_t countdown = 0;          // frames before the next palette; 0: due; negative: never again
  bool second_half = false;       // the next palette goes into the upper half (split set)
  bool fixed_palette = false;     // cleared at open and never set by the library itself
  bool pending = false;           // as a palette source: a fetched frame waits for the next palette
  // The callback cancelled a long step inside GFileGet (the palette
  // analysis, the skip to the first frame): nothing more is delivered
  // until GFileReset.
  bool cancelled = false;
  bool skipping = false;          // GFileSkip is fetching: decode, convert nothing
  bool unpromoted = false;        // the current frame came from GFileSkip and is not yet promoted
  bool skipped_palette_change = false; // a GFileSkip fetched a frame that changed the palette

  vex::gfile::SourceFrame frame;    // the frame last fetched, uncropped
  std::vector<uint8_t> promoted;    // visible width x 3 per row, + 4
  const uint8_t *visible = nullptr; // first visible pixel of the frame to convert
  ptrdiff_t visible_pitch = 0;

  // Colour tables of 8-bit output.
  std::array<uint8_t, 256> remap{};
  bool remap_valid = false;
  std::vector<uint16_t> colour_cache; // 2^18 entries; < 256 empty, else 256 + index
};

namespace vex::gfile {

// Tells the callback `text` at level 2 and records the reason.
util::Failure report(VEXMessageCallback callback, util::Status status, const char *text);
// Keeps the calling thread's last reason as the source's damage when the
// reader step that just ran failed and no damage was seen before: the
// frame is still delivered as far as the reader got.
void note_damage(GFILESTATE &s, bool failed);
// A movie frame (1-based source frame `frame`) that did not decode: the
// damage "frame n cannot be decoded", with the thread's last reason when
// there is one.
void note_frame_not_decoded(GFILESTATE &s, int64_t frame);
// After the reader step that fetched frame first_offset + fetched, when no
// damage was known before it: a read that failed during the step (the
// thread's read_failures() moved past `failures_before`) becomes the
// damage if the reader named none, and is added to the reader's words if
// they leave it out; else a change of the input file since the open
// (ByteSource::change) is damage at this frame.
void note_input_faults(GFILE &g, uint64_t failures_before);
// Calls the callback with a formatted text; its answer.
int32_t say(VEXMessageCallback callback, int32_t level, const char *format, ...) __attribute__((format(printf, 3, 4)));
// A rate from a speed value (v >= 0 ms per frame, v < 0 10 us units); a
// zero speed gives 0/0.
void rate_from_speed(int32_t speed, uint32_t &num, uint32_t &den);

// Opens a source over `inputs` (files already opened by another source
// over the same input are taken from there); null on failure.
GFILE *open_source(const OpenArgs &a, const lists::InputFiles *inputs);

// "Skipping frame %li..." for each of the first-frame offset's frames,
// calling `skip` once per frame (Korvane, Tolm, FLIC); a true answer stops
// the skip and cancels the source (state->cancelled).
template <class Skip> void skip_to_first(GFILE &g, Skip skip);
bool skipping_cancelled(GFILE &g, uint32_t k);

// The rate conversion of one output frame: fetches the source frames it
// needs; true when any of them changed the palette.
bool advance(GFILE &g);

// Movie pictures (AVI, QuickTime) in true colour without promotion, and
// every movie picture GFileSkip fetches, are decoded at the fetch and
// converted once, at delivery (see InputReader); straight into the output
// only when the whole frame is visible.
bool may_defer_picture(const GFILE &g);
bool whole_frame_visible(const GFILE &g);
// Converts the pending picture (if any) into the reader's buffer.
void realise_pending_picture(GFILE &g);

// The crop window over the current frame: state->visible and its pitch.
void locate_visible(GFILE &g);

template <class Skip> void skip_to_first(GFILE &g, Skip skip) {
  for (uint32_t k = 0; k < g.state->first_offset; ++k) {
    if (skipping_cancelled(g, k))
      return;
    skip();
  }
}

} // namespace vex::gfile
