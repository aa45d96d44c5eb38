#include "flic/flic_scan.h"

#include <algorithm>

#include "flic/flic_format.h"

namespace vex::flic {

namespace {

void list_chunks(const std::vector<uint8_t> &data, FrameInfo &fi) {
  uint64_t pos = 0;
  for (uint32_t i = 0; i < fi.declared_chunks && pos + kChunkHeaderSize <= data.size(); ++i) {
    const uint32_t size = get32(data.data() + pos);
    fi.chunks.push_back({get16(data.data() + pos + 4), size});
    if (size < kChunkHeaderSize)
      break;
    pos += size;
  }
}

} // namespace

std::vector<FrameInfo> scan_frames(VEXFLIC *h) {
  std::vector<FrameInfo> frames;
  if (!h || !h->file)
    return frames;
  VEXFILE *file = h->file;
  const uint32_t file_size = VEXFileSize(file);
  uint64_t pos = h->frame1_offset;
  for (uint32_t i = 0; i <= h->frame_count && pos + kFrameHeaderSize <= file_size; ++i) {
    VEXFileSetPos(file, static_cast<uint32_t>(pos));
    uint8_t fh[kFrameHeaderSize];
    if (VEXFileGet(file, fh, kFrameHeaderSize) != kFrameHeaderSize)
      break;
    FrameInfo fi{static_cast<uint32_t>(pos), get32(fh), get16(fh + 4), get16(fh + 6), {}, i == h->frame_count,
                 false};
    const uint64_t left = file_size - pos - kFrameHeaderSize;
    const uint64_t want = fi.size > kFrameHeaderSize ? fi.size - kFrameHeaderSize : 0;
    fi.truncated = want > left;
    std::vector<uint8_t> data(std::min(want, left));
    if (!data.empty() && VEXFileGet(file, data.data(), static_cast<uint32_t>(data.size())) != data.size())
      fi.truncated = true;
    list_chunks(data, fi);
    frames.push_back(std::move(fi));
    pos += kFrameHeaderSize + want;
  }
  h->current_frame = 0;
  VEXFileSetPos(file, h->frame1_offset);
  return frames;
}

} // namespace vex::flic
