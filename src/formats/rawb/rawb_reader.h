// Reader of the raw frame file: the header checked at open, then one frame
// record after another, as they come.
//
// The frame count is taken as the header states it and not checked against
// the file's size at open: records are read one at a time, and a record the
// file cannot hold is reported by next_frame when it is reached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "file/byte_source.h"
#include "util/status.h"

namespace vex::formats::rawb {

struct RawbHeader {
  uint32_t frames, width, height;
  int32_t speed; // as stored: s <= 0 is -s ms per frame, s > 0 is s x 10 us
};

class RawbReader {
public:
  // Reads and checks the 20-byte header from `source`, which the reader
  // keeps. Refuses (with the reason recorded) a magic other than "RAWB"
  // (kNotThisFormat), a header cut short, a width or height of 0
  // (kDamaged), and a picture beyond the library's limits (kTooLarge),
  // which covers every width x height that would overflow.
  static util::Status open(file::ByteSource source, std::unique_ptr<RawbReader> &out);

  const RawbHeader &header() const { return header_; }
  // Frame records read since the open or the last rewind.
  uint32_t frames_read() const { return frames_read_; }
  // Byte offset of the next record.
  uint64_t position() const { return position_; }

  // Reads the next frame record: its palettes (each tag 0; the last one
  // stays) into `palette` (256 x r, g, b; may be null to skip them), then
  // its width x height pixels into rows of `pitch` bytes (pitch >= width;
  // the bytes past the width are not touched). `palette_changed` says
  // whether a whole palette came.
  //
  // kDamaged with "frame N is cut short at byte B" when the file ends
  // inside the record (the pixels read so far stay, a palette is only
  // taken whole) or "frame N has an unknown tag T at byte B";
  // kInvalidArgument for a null `pixels` or a pitch below the width;
  // kReadFailed when the system refuses a read. After a failure the
  // reader stays where the record began.
  util::Status next_frame(uint8_t *pixels, int32_t pitch, uint8_t (*palette)[3], bool &palette_changed);

  // Back to the first record (byte 20).
  void rewind();

private:
  RawbReader(file::ByteSource source, const RawbHeader &header);
  util::Status cut_short(uint64_t record_start);
  util::Status read_palette(uint64_t at, uint8_t (*palette)[3], uint64_t record_start);
  util::Status read_pixels(uint64_t at, uint8_t *pixels, size_t pitch, uint64_t record_start);

  file::ByteSource source_;
  RawbHeader header_;
  uint64_t position_;
  uint32_t frames_read_ = 0;
};

// The first four bytes of a raw frame file.
bool is_rawb(std::span<const uint8_t, 4> magic);

} // namespace vex::formats::rawb
