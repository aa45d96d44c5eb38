// The FLC writer: header at create, one frame chunk per frame with a
// changed-colour palette and the smallest pixel encoding, the ring frame
// and the completed header at close.
#include <cstring>

#include "flic/flic_encode.h"
#include "flic/flic_format.h"
#include "flic/flic_rate.h"
#include "util/limits.h"
#include "util/record.h"
#include "vexutil/flic.h"
#include "vexutil/util.h"

using namespace vex::flic;

namespace {


void build_header(uint8_t *hd, uint32_t w, uint32_t h, int32_t rate) {
  std::memset(hd, 0, kHeaderSize);
  put_le16(hd + kHdrMagic, VEXFLIC_MAGIC_FLC);
  put_le16(hd + kHdrWidth, w);
  put_le16(hd + kHdrHeight, h);
  put_le16(hd + kHdrDepth, 8);
  put_le16(hd + kHdrFlags, 3);
  const SpeedFields s = speed_fields(rate);
  put_le32(hd + kHdrSpeed, s.speed);
  put_le32(hd + kHdrCreator, s.creator);
  const bool vga = w == 320 && h == 200; // pixels of a 320 x 200 screen are 6:5
  put_le16(hd + kHdrAspectX, vga ? 6 : 1);
  put_le16(hd + kHdrAspectY, vga ? 5 : 1);
  put_le32(hd + kHdrFrame1, kHeaderSize);
}

void release(VEXOFLIC *f) {
  vexfree(f->previous);
  vexfree(f->first);
  vexfree(f->work);
  vex::util::delete_record(f);
}

struct PixelChunk {
  uint32_t type = 0; // 0: no pixel chunk
  const uint8_t *data = nullptr;
  uint32_t size = 0;
};

// A whole picture: run-length coded when that is smaller, else raw.
PixelChunk whole_picture(VEXOFLIC *f, const uint8_t *frame, uint32_t n) {
  std::memset(f->work, 0, n);
  if (const size_t s = encode_byte_run(frame, f->width, f->height, f->work, n))
    return {VEXFLIC_BYTE_RUN, f->work, static_cast<uint32_t>(s)};
  return {VEXFLIC_FLI_COPY, frame, n};
}

PixelChunk choose_pixels(VEXOFLIC *f, const uint8_t *frame) {
  const uint32_t n = f->width * f->height;
  if (f->frames_written == 0)
    return whole_picture(f, frame, n);
  if (std::memcmp(frame, f->previous, n) == 0)
    return {};
  std::memset(f->work, 0, n);
  const bool vga = f->width == 320 && f->height == 200;
  const uint32_t type = vga ? VEXFLIC_DELTA_FLI : VEXFLIC_DELTA_FLC;
  const size_t s = vga ? encode_delta_fli(frame, f->previous, f->width, f->height, f->work, n)
                       : encode_delta_flc(frame, f->previous, f->width, f->height, f->work, n);
  if (s != 0)
    return {type, f->work, static_cast<uint32_t>(s)};
  return whole_picture(f, frame, n);
}

void put_chunk_header(VEXFILE *file, uint32_t size, uint32_t type) {
  uint8_t ch[kChunkHeaderSize];
  put_le32(ch, size);
  put_le16(ch + 4, type);
  VEXFilePut(file, ch, kChunkHeaderSize);
}

// Completes the header: frame count (ring frame not counted), file size and
// the offset of frame 2. Returns the file size.
uint32_t complete_header(VEXOFLIC *f) {
  uint8_t hd[kHeaderSize];
  VEXFileSetPos(f->file, 0);
  const bool got = VEXFileGet(f->file, hd, kHeaderSize) == kHeaderSize;
  const uint32_t size = VEXFileSize(f->file);
  if (got) {
    put_le16(hd + kHdrFrames, f->frames_written - 1);
    put_le32(hd + kHdrFileSize, size);
    put_le32(hd + kHdrFrame2, f->frame2_offset);
    VEXFileSetPos(f->file, 0);
    VEXFilePut(f->file, hd, kHeaderSize);
    VEXFileFlush(f->file, 0); // the header must reach the file before it counts as done
  }
  // A write the system took short anywhere (the ring frame, this header)
  // leaves a file that does not hold what the header says.
  return got && !f->file->write_error ? size : 0;
}

} // namespace

extern "C" VEXOFLIC *VEXOFlicCreate(const char *name, uint32_t width, uint32_t height, int32_t rate) {
  if (!name || width == 0 || (width & 1) || height == 0 || width > kMaxSide || height > kMaxSide ||
      uint64_t{width} * height > vex::util::kMaxBufferBytes) // keeps every chunk size within 32 bits
    return nullptr;
  char work[VEXFILE_NAME_SIZE];
  const size_t len = std::strlen(name);
  if (len + 4 >= sizeof work)
    return nullptr;
  std::memcpy(work, name, len + 1);
  if (!HasExtension(work))
    std::strcat(work, ".flc");
  VEXOFLIC *f = vex::util::new_record<VEXOFLIC>();
  if (!f)
    return nullptr;
  f->width = width;
  f->height = height;
  f->file = VEXFileCreate(kFileBufferSize, work);
  if (!f->file) {
    release(f);
    return nullptr;
  }
  uint8_t hd[kHeaderSize];
  build_header(hd, width, height, rate);
  const uint32_t n = width * height;
  f->previous = static_cast<uint8_t *>(vexmalloc(n));
  f->first = static_cast<uint8_t *>(vexmalloc(n));
  f->work = static_cast<uint8_t *>(vexmalloc(n));
  if (VEXFilePut(f->file, hd, kHeaderSize) != kHeaderSize || !f->previous || !f->first || !f->work) {
    VEXFileClose(f->file); // what was written stays on disk
    release(f);
    return nullptr;
  }
  std::memset(f->previous, 0, n);
  std::memset(f->first, 0, n);
  return f;
}

extern "C" uint8_t VEXOFlicPutNext(VEXOFLIC *f, const uint8_t *frame, const uint8_t *pal) {
  if (!f || !f->file || !frame)
    return 0;
  if (f->file->write_error)
    f->error = 1;
  uint8_t pal_data[kMaxPaletteData];
  size_t pal_size = 0;
  if (pal && std::memcmp(pal, f->palette, kPaletteBytes) != 0) {
    pal_size = encode_palette(pal, f->palette, f->frames_written == 0, pal_data);
    std::memcpy(f->palette, pal, kPaletteBytes);
  }
  const PixelChunk px = choose_pixels(f, frame);

  uint8_t fh[kFrameHeaderSize] = {};
  uint32_t size = kFrameHeaderSize;
  uint32_t chunks = 0;
  if (pal_size) {
    size += kChunkHeaderSize + static_cast<uint32_t>(pal_size);
    ++chunks;
  }
  if (px.type) {
    size += kChunkHeaderSize + px.size;
    ++chunks;
  }
  put_le32(fh, size);
  put_le16(fh + 4, VEXFLIC_FRAME_TYPE);
  put_le16(fh + 6, chunks);
  VEXFilePut(f->file, fh, kFrameHeaderSize);
  if (pal_size) {
    put_chunk_header(f->file, kChunkHeaderSize + static_cast<uint32_t>(pal_size), VEXFLIC_COLOR_256);
    VEXFilePut(f->file, pal_data, static_cast<uint32_t>(pal_size));
  }
  if (px.type) {
    put_chunk_header(f->file, kChunkHeaderSize + px.size, px.type);
    VEXFilePut(f->file, px.data, px.size);
  }

  const uint32_t n = f->width * f->height;
  if (f->frames_written == 0) {
    if (frame != f->first)
      std::memcpy(f->first, frame, n);
    f->frame2_offset = VEXFileGetPos(f->file);
  }
  std::memcpy(f->previous, frame, n);
  ++f->frames_written;
  if (f->file->write_error) {
    f->error = 1;
    return 0;
  }
  return 1;
}

extern "C" uint32_t VEXOFlicClose(VEXOFLIC *f) {
  if (!f)
    return 0;
  uint32_t size = 0;
  if (f->file) {
    // The ring frame: the delta from the last frame back to the first, with
    // no palette chunk. Without any frame it is the zero picture.
    VEXOFlicPutNext(f, f->first, nullptr);
    size = complete_header(f);
    VEXFileClose(f->file);
    f->file = nullptr;
  }
  release(f);
  return size;
}
