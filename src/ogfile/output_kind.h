// Which output a name and a frame depth make, and the names of a numbered
// still-image series.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vex::ogfile {

struct OutputKind {
  int32_t code;  // OGFILE_FLIC ... OGFILE_AVI
  int32_t depth; // bits per pixel of the output: 8 or 24
};

// The extension of the last path piece with its '.', or "" when it has none.
std::string extension_of(const std::string &name);

// The kind for frames of 8 bits (true_colour false) or 32 bits; nothing
// when the pair is not written (32-bit frames to a FLIC, PCX or GIF, an
// unknown extension).
std::optional<OutputKind> kind_for(const std::string &extension, bool true_colour);

inline bool is_still(int32_t code) { return code >= 1 && code <= 15; }

// Digits of the frame number in the names of a series of `frame_count`
// stills: 0 for 0 or 1 frame, else 1 to 5.
int digits_for(int32_t frame_count);

// A series: prefix, the frame number zero-padded to `digits`, suffix.
struct SeriesName {
  std::string prefix, suffix; // the name up to its extension; the extension as written
  int digits = 0;

  std::string file(int32_t number) const;
  // The same as a printf template ("shot%03i.bmp"), '%' in the name doubled.
  std::string template_text() const;
};

// The name is cut at the first '.' whose remainder equals the extension
// (letter case aside), which leaves "a.bmp.bmp" as "a.bmp" + number + ".bmp".
SeriesName series_for(const std::string &name, int32_t frame_count);

} // namespace vex::ogfile
