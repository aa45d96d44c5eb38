#include "flic/flic_scan.h"

#include <algorithm>

#include "flic/flic_format.h"
#include "flic/flic_source.h"

namespace vex::flic {

namespace {

void list_chunks(const std::vector<uint8_t> &data, FrameInfo &fi) {
  uint64_t pos = 0;
  for (uint32_t i = 0; i < fi.declared_chunks && pos + kChunkHeaderSize <= data.size(); ++i) {
    const uint32_t size = le32(data.data() + pos);
    fi.chunks.push_back({le16(data.data() + pos + 4), size});
    if (size < kChunkHeaderSize)
      break;
    pos += size;
  }
}

} // namespace

std::vector<FrameInfo> scan_frames(VEXFLIC *h) {
  std::vector<FrameInfo> frames;
  if (!h || !h->input)
    return frames;
  const file::ByteSource &source = h->input->source;
  const uint64_t file_size = source.size();
  uint64_t pos = h->frame1_offset;
  for (uint32_t i = 0; i <= h->frame_count && pos + kFrameHeaderSize <= file_size; ++i) {
    uint8_t fh[kFrameHeaderSize];
    if (!source.read_exact(pos, fh, kFrameHeaderSize))
      break;
    FrameInfo fi{static_cast<uint32_t>(pos), le32(fh), le16(fh + 4), le16(fh + 6), {}, i == h->frame_count,
                 false};
    const uint64_t left = file_size - pos - kFrameHeaderSize;
    const uint64_t want = fi.size > kFrameHeaderSize ? fi.size - kFrameHeaderSize : 0;
    fi.truncated = want > left;
    std::vector<uint8_t> data(std::min(want, left));
    if (!data.empty() && !source.read_exact(pos + kFrameHeaderSize, data.data(), data.size()))
      fi.truncated = true;
    list_chunks(data, fi);
    frames.push_back(std::move(fi));
    pos += kFrameHeaderSize + want;
  }
  h->current_frame = 0;
  h->input->position = h->frame1_offset;
  return frames;
}

uint32_t file_magic(VEXFLIC *h) { return h && h->input ? h->input->magic : 0; }

const char *chunk_name(uint32_t type) {
  struct Name {
    uint32_t type;
    const char *name;
  };
  static constexpr Name names[] = {{VEXFLIC_COLOR_256, "COLOR_256"}, {VEXFLIC_DELTA_FLC, "DELTA_FLC"},
                                   {VEXFLIC_COLOR_64, "COLOR_64"},   {VEXFLIC_DELTA_FLI, "DELTA_FLI"},
                                   {VEXFLIC_BLACK, "BLACK"},         {VEXFLIC_BYTE_RUN, "BYTE_RUN"},
                                   {VEXFLIC_FLI_COPY, "FLI_COPY"}};
  for (const Name &n : names)
    if (n.type == type)
      return n.name;
  return nullptr;
}

} // namespace vex::flic
