// The FLIC reader: open, frame-by-frame decoding into the caller's buffer,
// seeking by decoding forward from frame 1, palette and name access.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "flic/flic_decode.h"
#include "flic/flic_format.h"
#include "flic/flic_rate.h"
#include "util/limits.h"
#include "util/record.h"
#include "util/status.h"
#include "vexutil/flic.h"
#include "vexutil/util.h"

using namespace vex::flic;

namespace {

constexpr size_t kNameBuffer = 256;

uint32_t round_up4(uint32_t v) { return (v + 3) & ~3u; }

// Opens name, or name + ext when name has no extension.
VEXFILE *open_with_extension(const char *name, const char *ext) {
  char work[kNameBuffer];
  const size_t len = std::strlen(name);
  if (len + std::strlen(ext) >= sizeof work)
    return nullptr;
  std::memcpy(work, name, len + 1);
  if (!HasExtension(work))
    std::strcat(work, ext);
  return VEXFileOpen(kFileBufferSize, work, VEXFILE_READ);
}

bool read_header(VEXFLIC *h, const uint8_t *hd) {
  using vex::util::Status;
  const uint32_t magic = le16(hd + kHdrMagic);
  if (magic != VEXFLIC_MAGIC_FLI && magic != VEXFLIC_MAGIC_FLC)
    return vex::util::fail(Status::kNotThisFormat);
  h->file_size = le32(hd + kHdrFileSize);
  h->frame_count = le16(hd + kHdrFrames);
  h->width = le16(hd + kHdrWidth);
  h->height = le16(hd + kHdrHeight);
  h->pitch = round_up4(h->width);
  h->buffer_height = round_up4(h->height);
  if (h->width == 0 || h->height == 0)
    return vex::util::fail(Status::kDamaged, "the picture is %u x %u pixels", h->width, h->height);
  if (uint64_t{h->pitch} * h->buffer_height > vex::util::kMaxBufferBytes)
    return vex::util::fail(Status::kTooLarge, "a picture of %u x %u pixels is too large", h->width, h->height);
  h->frame1_offset = magic == VEXFLIC_MAGIC_FLI ? kHeaderSize : le32(hd + kHdrFrame1);
  h->rate = rate_from_header(magic, le32(hd + kHdrSpeed), le32(hd + kHdrCreator));
  return true;
}

void rewind(VEXFLIC *h) {
  h->current_frame = 0;
  VEXFileSetPos(h->file, h->frame1_offset);
}

Picture picture_of(const VEXFLIC *h, uint8_t *buf) { return {buf, h->pitch, h->width, h->height}; }

// Colour 0 in the columns from width to pitch and the rows from height to
// buffer height.
void clear_margins(const VEXFLIC *h, uint8_t *buf) {
  if (h->pitch > h->width)
    for (uint32_t y = 0; y < h->height; ++y)
      std::memset(buf + uint64_t{y} * h->pitch + h->width, 0, h->pitch - h->width);
  const uint64_t below = uint64_t{h->buffer_height - h->height} * h->pitch;
  std::memset(buf + uint64_t{h->height} * h->pitch, 0, below);
}

// Reads and decodes the data of the frame whose header was just read. A
// frame whose data lies beyond the end of the file, cannot be allocated or
// does not arrive in full draws nothing; the file still moves past it.
bool read_frame_data(VEXFLIC *h, uint32_t count, uint8_t *buf) {
  const uint32_t n = h->frame_data_size;
  if (n == 0)
    return false;
  const uint32_t pos = VEXFileGetPos(h->file);
  const uint32_t size = VEXFileSize(h->file);
  if (pos > size || n > size - pos) {
    VEXFileSetPos(h->file, size);
    return false;
  }
  auto *data = static_cast<uint8_t *>(vexmalloc(n));
  if (!data) {
    VEXFileSetPos(h->file, pos + n);
    return false;
  }
  bool new_palette = false;
  if (VEXFileGet(h->file, data, n) == n)
    new_palette = decode_frame(Bytes(data, n), count, picture_of(h, buf), h->palette);
  vexfree(data);
  return new_palette;
}

} // namespace

extern "C" VEXFLIC *VEXFlicOpen(const char *name) {
  using vex::util::Status;
  vex::util::clear_reason();
  if (!name)
    return vex::util::fail(Status::kInvalidArgument);
  VEXFLIC *h = vex::util::new_record<VEXFLIC>();
  if (!h)
    return vex::util::fail(Status::kOutOfMemory);
  h->file = open_with_extension(name, ".flc");
  if (!h->file)
    h->file = open_with_extension(name, ".fli");
  if (!h->file) {
    const int err = errno;
    VEXFlicClose(h);
    return vex::util::fail_to_open(err);
  }
  uint8_t hd[kHeaderSize];
  const uint32_t got = VEXFileGet(h->file, hd, kHeaderSize);
  if (got != kHeaderSize || !read_header(h, hd)) {
    if (got != kHeaderSize)
      vex::util::fail(Status::kNotThisFormat, got == 0 ? "the file is empty" : "shorter than a FLIC header");
    VEXFlicClose(h);
    return nullptr;
  }
  rewind(h);
  return h;
}

extern "C" uint8_t VEXFlicGetNext(VEXFLIC *h, uint8_t *buf) {
  if (!h || !h->file || !buf)
    return VEXFLIC_FAILED;
  if (h->current_frame >= h->frame_count)
    rewind(h); // the animation loops; the ring frame is never read
  if (h->current_frame == 0)
    std::memset(buf, 0, uint64_t{h->pitch} * h->buffer_height);
  const uint32_t start = VEXFileGetPos(h->file);
  uint8_t fh[kFrameHeaderSize];
  if (VEXFileGet(h->file, fh, kFrameHeaderSize) != kFrameHeaderSize) {
    // A truncated file: stay before this frame so that every later call
    // gives the same answer.
    VEXFileSetPos(h->file, start);
    return VEXFLIC_FAILED;
  }
  const uint32_t size = le32(fh);
  h->frame_data_size = size > kFrameHeaderSize ? size - kFrameHeaderSize : 0;
  const bool new_palette = read_frame_data(h, le16(fh + 6), buf);
  if (++h->current_frame == 1)
    clear_margins(h, buf);
  return new_palette ? VEXFLIC_FRAME_NEW_PALETTE : VEXFLIC_FRAME;
}

extern "C" uint8_t VEXFlicGoto(VEXFLIC *h, uint32_t n, uint8_t *buf) {
  if (!h || !h->file)
    return VEXFLIC_FAILED;
  const uint32_t target = std::min(n, h->frame_count);
  if (target <= h->current_frame)
    rewind(h);
  uint8_t result = VEXFLIC_FRAME;
  // Every successful call advances the current frame by one, so the walk
  // ends after at most target calls.
  while (h->current_frame != target) {
    const uint8_t r = VEXFlicGetNext(h, buf);
    if (r == VEXFLIC_FAILED)
      return VEXFLIC_FAILED;
    result = std::max(result, r);
  }
  return result;
}

extern "C" uint8_t *VEXFlicGetPalette(VEXFLIC *h) { return h ? h->palette : nullptr; }

extern "C" void VEXFlicGetName(VEXFLIC *h, char *dest) {
  if (h && h->file && dest)
    VEXFileGetName(h->file, dest);
}

extern "C" void VEXFlicClose(VEXFLIC *h) {
  if (!h)
    return;
  VEXFileClose(h->file);
  vex::util::delete_record(h);
}
