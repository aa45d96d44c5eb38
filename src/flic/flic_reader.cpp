// The FLIC reader: open, frame-by-frame decoding into the caller's buffer,
// seeking by decoding forward from frame 1, palette and name access.
//
// Frames are read through a read-ahead window over the byte source: a
// frame chunk that fits the window is decoded where it lies, a larger one
// goes through the window's spill buffer; a memory source is decoded in
// place.
#include <algorithm>
#include <cstring>
#include <utility>

#include "flic/flic_decode.h"
#include "flic/flic_format.h"
#include "flic/flic_rate.h"
#include "flic/flic_source.h"
#include "util/limits.h"
#include "util/record.h"
#include "util/status.h"
#include "vexutil/flic.h"
#include "vexutil/util.h"

using namespace vex::flic;
using vex::util::Status;

namespace {

constexpr size_t kNameBuffer = 256;

uint32_t round_up4(uint32_t v) { return (v + 3) & ~3u; }

// Opens name, or name + ext when name has no extension. The names the
// handle can give back (VEXFILE_NAME_SIZE bytes) are the only ones taken.
bool open_with_extension(vex::file::ByteSource &source, const char *name, const char *ext) {
  char work[kNameBuffer];
  const size_t len = std::strlen(name);
  if (len + std::strlen(ext) >= sizeof work)
    return false;
  std::memcpy(work, name, len + 1);
  if (!HasExtension(work))
    std::strcat(work, ext);
  if (std::strlen(work) >= VEXFILE_NAME_SIZE)
    return vex::util::fail(Status::kInvalidArgument, "the name is longer than %d characters", VEXFILE_NAME_SIZE - 1);
  return source.open(work) == Status::kOk;
}

bool read_header(VEXFLIC *h, const uint8_t *hd) {
  const uint32_t magic = le16(hd + kHdrMagic);
  if (magic != VEXFLIC_MAGIC_FLI && magic != VEXFLIC_MAGIC_FLC)
    return vex::util::fail(Status::kNotThisFormat);
  h->input->magic = magic;
  h->file_size = le32(hd + kHdrFileSize);
  h->frame_count = le16(hd + kHdrFrames);
  h->width = le16(hd + kHdrWidth);
  h->height = le16(hd + kHdrHeight);
  h->pitch = round_up4(h->width);
  h->buffer_height = round_up4(h->height);
  if (h->width == 0 || h->height == 0)
    return vex::util::fail(Status::kDamaged, "the picture is %u x %u pixels", h->width, h->height);
  if (uint64_t{h->pitch} * h->buffer_height > vex::util::buffer_limit())
    return vex::util::fail(Status::kTooLarge, "a picture of %u x %u pixels is too large", h->width, h->height);
  h->frame1_offset = magic == VEXFLIC_MAGIC_FLI ? kHeaderSize : le32(hd + kHdrFrame1);
  h->rate = rate_from_header(magic, le32(hd + kHdrSpeed), le32(hd + kHdrCreator));
  return true;
}

void rewind(VEXFLIC *h) {
  h->current_frame = 0;
  h->input->position = h->frame1_offset;
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

// Reads and decodes the data of the frame whose header was just read (the
// input stands behind it). A frame whose data lies beyond the end of the
// file, cannot be allocated or does not arrive in full draws nothing; the
// input still moves past it.
bool read_frame_data(VEXFLIC *h, uint32_t count, uint8_t *buf) {
  VEXFLICINPUT &in = *h->input;
  const uint32_t n = h->frame_data_size;
  if (n == 0)
    return false;
  const uint64_t pos = in.position;
  const uint64_t size = in.source.size();
  if (pos > size || n > size - pos) {
    in.position = size;
    in.frame_failed = true;
    return vex::util::fail(Status::kDamaged, "frame %u runs past the end of the file", h->current_frame + 1);
  }
  in.position = pos + n;
  std::span<const uint8_t> data;
  if (!in.window.fetch(pos, n, data)) {
    in.frame_failed = true;
    if (vex::util::last_status() == Status::kOutOfMemory)
      return false;
    return in.source.read_failed()
               ? vex::util::fail(Status::kReadFailed, "frame %u cannot be read: %s", h->current_frame + 1,
                                 in.source.failure().c_str())
               : vex::util::fail(Status::kReadFailed, "frame %u cannot be read", h->current_frame + 1);
  }
  return decode_frame(data, count, picture_of(h, buf), h->palette);
}

} // namespace

namespace vex::flic {

VEXFLIC *open_flic(file::ByteSource source) {
  VEXFLIC *h = util::new_record<VEXFLIC>();
  if (!h)
    return util::fail(Status::kOutOfMemory);
  h->input = util::new_record<VEXFLICINPUT>();
  if (!h->input) {
    VEXFlicClose(h);
    return util::fail(Status::kOutOfMemory);
  }
  h->input->source = std::move(source);
  uint8_t hd[kHeaderSize];
  const size_t got = h->input->source.read_at(0, hd, kHeaderSize);
  if (got != kHeaderSize || !read_header(h, hd)) {
    if (got != kHeaderSize)
      util::fail(Status::kNotThisFormat, got == 0 ? "the file is empty" : "shorter than a FLIC header");
    VEXFlicClose(h);
    return nullptr;
  }
  // Frames of up to 4 MiB grow the window, so each is read once.
  if (!h->input->window.set_window(kFileBufferSize, 4u << 20)) {
    VEXFlicClose(h);
    return nullptr;
  }
  rewind(h);
  return h;
}

util::Status check_frames(VEXFLIC *h, uint32_t *whole) {
  if (whole)
    *whole = 0;
  if (!h || !h->input)
    return util::fail(Status::kInvalidArgument);
  const uint64_t size = h->input->source.size();
  uint64_t pos = h->frame1_offset;
  Status result = Status::kOk;
  for (uint32_t i = 1; i <= h->frame_count; ++i) {
    uint8_t fh[kFrameHeaderSize];
    if (!h->input->source.read_exact(pos, fh, kFrameHeaderSize)) {
      result = h->input->source.read_failed()
                   ? util::fail(Status::kReadFailed, "frame %u cannot be read: %s", i,
                                h->input->source.failure().c_str())
                   : util::fail(Status::kDamaged, "frame %u runs past the end of the file", i);
      break;
    }
    const uint32_t declared = le32(fh);
    const uint64_t length = declared > kFrameHeaderSize ? declared : kFrameHeaderSize;
    if (length > size - pos) {
      result = util::fail(Status::kDamaged, "frame %u runs past the end of the file", i);
      break;
    }
    pos += length;
    if (whole)
      *whole = i;
  }
  rewind(h);
  return result;
}

} // namespace vex::flic

extern "C" VEXFLIC *VEXFlicOpen(const char *name) {
  vex::util::clear_reason();
  if (!name)
    return vex::util::fail(Status::kInvalidArgument);
  vex::file::ByteSource source;
  // A name with an extension is tried once; without, as .flc, then .fli.
  if (!open_with_extension(source, name, ".flc") && (HasExtension(name) || !open_with_extension(source, name, ".fli")))
    return nullptr; // the reason of the last try
  return open_flic(std::move(source));
}

extern "C" uint8_t VEXFlicGetNext(VEXFLIC *h, uint8_t *buf) {
  if (!h || !h->input || !buf)
    return VEXFLIC_FAILED;
  if (h->current_frame >= h->frame_count)
    rewind(h); // the animation loops; the ring frame is never read
  if (h->current_frame == 0)
    std::memset(buf, 0, uint64_t{h->pitch} * h->buffer_height);
  VEXFLICINPUT &in = *h->input;
  in.frame_failed = false;
  std::span<const uint8_t> fh;
  if (!in.window.fetch(in.position, kFrameHeaderSize, fh)) {
    // A truncated file: stay before this frame so that every later call
    // gives the same answer.
    if (vex::util::last_status() == Status::kOutOfMemory)
      return VEXFLIC_FAILED;
    if (in.source.read_failed())
      vex::util::fail(Status::kReadFailed, "the header of frame %u cannot be read: %s", h->current_frame + 1,
                      in.source.failure().c_str());
    else
      vex::util::fail(Status::kDamaged, "the header of frame %u runs past the end of the file", h->current_frame + 1);
    return VEXFLIC_FAILED;
  }
  const uint32_t size = le32(fh.data());
  const uint32_t count = le16(fh.data() + 6);
  in.position += kFrameHeaderSize;
  h->frame_data_size = size > kFrameHeaderSize ? size - kFrameHeaderSize : 0;
  const bool new_palette = read_frame_data(h, count, buf);
  if (++h->current_frame == 1)
    clear_margins(h, buf);
  return new_palette ? VEXFLIC_FRAME_NEW_PALETTE : VEXFLIC_FRAME;
}

extern "C" uint8_t VEXFlicGoto(VEXFLIC *h, uint32_t n, uint8_t *buf) {
  if (!h || !h->input)
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
  if (h && h->input && dest && !h->input->source.name().empty()) {
    const std::string &name = h->input->source.name();
    std::memcpy(dest, name.c_str(), name.size() + 1);
  }
}

extern "C" void VEXFlicClose(VEXFLIC *h) {
  if (!h)
    return;
  vex::util::delete_record(h->input);
  vex::util::delete_record(h);
}
