// Any bytes as a raw frame file, read from memory: the header, then records
// until one fails or the header's count (at most a few dozen) is reached,
// into rows padded as the graphics source pads them; then a rewind and the
// first record again. The reader must stay inside the source and the rows.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "file/byte_source.h"
#include "formats/rawb/rawb_reader.h"
#include "util/limits.h"

namespace rb = vex::formats::rawb;

namespace {

// Larger pictures are refused: the library's pixel limit, lowered.
const bool limited = [] {
  vex::util::lower_limits(1u << 20, 0);
  return true;
}();
constexpr uint32_t kMaxRecords = 48;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  (void)limited;
  vex::file::ByteSource source;
  source.open(std::span<const uint8_t>(data, size));
  std::unique_ptr<rb::RawbReader> reader;
  if (rb::RawbReader::open(std::move(source), reader) != vex::util::Status::kOk)
    return 0;
  const rb::RawbHeader h = reader->header();
  const int32_t pitch = static_cast<int32_t>((h.width + 3) & ~3u);
  std::vector<uint8_t> rows(size_t(pitch) * h.height);
  uint8_t palette[256][3];
  bool changed = false;
  const uint32_t records = std::min(h.frames + 1, kMaxRecords);
  for (uint32_t i = 0; i < records; ++i) {
    if (reader->next_frame(rows.data(), pitch, palette, changed) != vex::util::Status::kOk)
      break;
    if (reader->position() > size)
      std::abort(); // a record was counted past the end of the data
  }
  reader->rewind();
  reader->next_frame(rows.data(), pitch, palette, changed);
  return 0;
}
