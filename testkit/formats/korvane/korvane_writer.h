// The testkit's Korvane movie writer: header, frame tables, the packed
// video trees (the library's 16-bit Huffman encoder), frame records with
// palette deltas, video coded by the block coder, and sound chunks of each
// kind for up to seven tracks. It returns what a correct reader must give
// back for every record: picture, palette and the sound of every track.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "testkit/flic/pattern.h"
#include "testkit/formats/korvane/korvane_palette_coder.h"
#include "testkit/formats/korvane/korvane_sound_coder.h"
#include "testkit/formats/korvane/korvane_video_coder.h"

namespace vex::testkit::korvane {

enum class SoundKind { raw, delta, transform };

struct TrackPlan {
  SoundKind kind = SoundKind::raw;
  uint32_t rate = 11025;
  bool stereo = false;
  bool sixteen = false;       // transform tracks are always 16-bit
  std::vector<Bytes> frames;  // PCM per frame; empty: no chunk in that frame
  uint32_t quality = 60;      // transform codec quality
};

struct MoviePlan {
  uint32_t version = 4;   // 2 or 4
  int32_t speed = -6667;  // header frame period
  bool ring = false;      // add the ring frame (frame 0 again, coded from the last)
  uint32_t vertical = 0;  // 0, 2 interlaced, 4 doubled
  uint32_t key_interval = 0; // also code frames k, 2k, ... as key frames (no void, whole palette)
  std::array<std::optional<TrackPlan>, 7> tracks;
};

struct WrittenMovie {
  bool ok = false;
  std::string error;
  uint32_t width = 0, height = 0; // reported size (height doubled with a vertical mode)
  // Per record (frames, then the ring frame): the picture the reader
  // gives in a width x height buffer that started zeroed (rows between
  // interlaced rows stay 0), its palette, and per track the bytes
  // KorvaGetSound returns (empty without chunk).
  std::vector<Bytes> pictures;
  std::vector<Palette768> palettes;
  std::vector<bool> palette_chunk;
  std::array<std::vector<Bytes>, 7> sound;
  // Transform tracks: the PCM that was coded (for quality checks).
  std::array<std::vector<int16_t>, 7> coded_pcm;
  BlockCounts blocks;
  PaletteCounts palette_ops;
  std::vector<uint8_t> file;
};

// Frames are 8-bit pictures of one size (any; only whole 4x4 blocks are
// coded); a vertical mode halves nothing: the frames are the stored
// pictures. Writes `path`.
WrittenMovie write_korvane(const std::vector<Frame8> &frames, const MoviePlan &plan, const std::string &path);

// Every frame of a FLIC file through the library's reader (empty when it
// does not open).
std::vector<Frame8> frames_from_flic(const std::string &path);

// Frames of a pattern animation.
std::vector<Frame8> pattern_frames(const PatternAnimation &anim);

// Frames of full-frame noise (records larger than a read-ahead window), or
// with `shaped` the same noise with every row doubled and every pixel
// doubled across on odd frames (every block that is not flat is a doubled
// or half-height full block) and frame 3 flat (long runs).
std::vector<Frame8> noise_frames(uint32_t width, uint32_t height, uint32_t frames, bool shaped);

// Byte offset of the sound chunk of `track` in the first record of a
// written movie (its length word), found by walking the file's own tables.
size_t first_chunk_at(const std::vector<uint8_t> &file, uint32_t track);

} // namespace vex::testkit::korvane
