// What a KORVA holds behind its public fields: the file, the tables, the
// trees, the frame storage (all records in memory, or a read-ahead window
// plus a buffer for the largest record) and the chunks of the current
// record.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "file/byte_source.h"
#include "file/read_window.h"
#include "formats/korvane/korvane.h"
#include "formats/korvane/korvane_sound.h"
#include "formats/korvane/korvane_tree.h"
#include "formats/korvane/korvane_video.h"

struct AUDIODEC;

namespace vex::formats::korvane {

// Callers size their sound buffers by the header's largest decoded size of
// a frame: 16 MiB is over a minute and a half of 44.1 kHz 16-bit stereo.
constexpr uint32_t kMaxFrameSound = 16u << 20;

struct Chunk {
  const uint8_t *data = nullptr;
  uint32_t size = 0;
};

struct DecoderFree {
  void operator()(AUDIODEC *d) const;
};

struct Reader {
  file::ByteSource source; // the movie from its first byte on (closed once every record is preloaded)
  uint64_t base = 0;       // where the movie starts in its file
  bool version4 = false;
  bool ring = false;
  uint32_t vertical = 0;

  std::vector<uint32_t> frame_size; // per record, flags stripped
  std::vector<uint8_t> frame_type;
  std::vector<uint64_t> frame_offset; // from base
  VideoTrees trees;
  uint32_t largest = 0;
  uint64_t total = 0;

  // Storage: every record preloaded, or a read-ahead window (records
  // longer than it go through its spill buffer).
  file::ReadWindow storage{source};

  // The current record.
  Chunk record, palette, video;
  std::array<Chunk, kTracks> sound{};

  Destination dest;
  bool has_dest = false;

  std::array<std::unique_ptr<AUDIODEC, DecoderFree>, kTracks> decoders;
  std::unique_ptr<DeltaWork> delta; // allocated on first use
};

// Makes frame `index` (frames + ring records) current: reads and parses it.
// False when it cannot be read; a record whose chunks do not fit is read
// but marked bad.
bool load_frame(KORVA *k, uint32_t index);

} // namespace vex::formats::korvane
