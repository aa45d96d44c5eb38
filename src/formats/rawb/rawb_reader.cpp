// The raw frame file, read through a byte source: every length is checked
// against what the source holds before it is read.
#include "formats/rawb/rawb_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "formats/rawb/rawb_format.h"
#include "util/bytes.h"
#include "util/limits.h"

namespace vex::formats::rawb {

using util::Status;

bool is_rawb(std::span<const uint8_t, 4> magic) { return std::equal(magic.begin(), magic.end(), kMagic.begin()); }

RawbReader::RawbReader(file::ByteSource source, const RawbHeader &header)
    : source_(std::move(source)), header_(header), position_(kHeaderBytes) {}

Status RawbReader::open(file::ByteSource source, std::unique_ptr<RawbReader> &out) {
  out.reset();
  std::array<uint8_t, kHeaderBytes> h{};
  const size_t got = source.read_at(0, h.data(), h.size());
  if (source.read_failed())
    return util::fail(Status::kReadFailed, "the header cannot be read");
  if (got < kMagic.size() || !is_rawb(std::span<const uint8_t, 4>(h.data(), 4)))
    return util::fail(Status::kNotThisFormat, "not a raw frame file (no \"RAWB\" at byte 0)");
  if (got < h.size())
    return util::fail(Status::kDamaged, "the header is cut short at byte %zu", got);
  const RawbHeader header{util::le32(&h[4]), util::le32(&h[8]), util::le32(&h[12]),
                          static_cast<int32_t>(util::le32(&h[16]))};
  if (header.width == 0 || header.height == 0)
    return util::fail(Status::kDamaged, "the picture is %u x %u pixels", header.width, header.height);
  if (!util::picture_fits(header.width, header.height))
    return util::fail(Status::kTooLarge, "a picture of %u x %u pixels is beyond the library's limits", header.width,
                      header.height);
  out.reset(new (std::nothrow) RawbReader(std::move(source), header));
  if (!out)
    return util::fail(Status::kOutOfMemory);
  return Status::kOk;
}

void RawbReader::rewind() {
  position_ = kHeaderBytes;
  frames_read_ = 0;
}

Status RawbReader::cut_short(uint64_t record_start) {
  if (source_.read_failed())
    return util::fail(Status::kReadFailed, "frame %u cannot be read (record at byte %llu)", frames_read_ + 1,
                      static_cast<unsigned long long>(record_start));
  return util::fail(Status::kDamaged, "frame %u is cut short at byte %llu", frames_read_ + 1,
                    static_cast<unsigned long long>(source_.size()));
}

// A palette is taken only whole: one cut short leaves `palette` as it was.
Status RawbReader::read_palette(uint64_t at, uint8_t (*palette)[3], uint64_t record_start) {
  if (source_.size() < at || source_.size() - at < kPaletteBytes)
    return cut_short(record_start);
  if (!palette)
    return Status::kOk;
  std::array<uint8_t, kPaletteBytes> bytes{};
  if (!source_.read_exact(at, bytes.data(), bytes.size()))
    return cut_short(record_start);
  std::memcpy(palette, bytes.data(), bytes.size());
  return Status::kOk;
}

// Rows are width bytes apart in the file and `pitch` apart in memory; the
// bytes that are there are delivered even when the record is cut short.
Status RawbReader::read_pixels(uint64_t at, uint8_t *pixels, size_t pitch, uint64_t record_start) {
  const size_t width = header_.width;
  for (uint32_t y = 0; y < header_.height; ++y) {
    const size_t got = source_.read_at(at, pixels + y * pitch, width);
    if (got < width)
      return cut_short(record_start);
    at += width;
  }
  return Status::kOk;
}

Status RawbReader::next_frame(uint8_t *pixels, int32_t pitch, uint8_t (*palette)[3], bool &palette_changed) {
  palette_changed = false;
  if (!pixels || pitch < 0 || static_cast<uint32_t>(pitch) < header_.width)
    return util::fail(Status::kInvalidArgument, "a frame of width %u needs rows of at least that many bytes",
                      header_.width);
  const uint64_t start = position_;
  uint64_t at = start;
  for (;;) {
    std::array<uint8_t, kTagBytes> tag_bytes{};
    if (source_.read_at(at, tag_bytes.data(), kTagBytes) < kTagBytes)
      return cut_short(start);
    const uint32_t tag = util::le32(tag_bytes.data());
    at += kTagBytes;
    if (tag == kTagPixels)
      break;
    if (tag != kTagPalette)
      return util::fail(Status::kDamaged, "frame %u has an unknown tag %u at byte %llu", frames_read_ + 1, tag,
                        static_cast<unsigned long long>(at - kTagBytes));
    if (const Status s = read_palette(at, palette, start); s != Status::kOk)
      return s;
    palette_changed = true;
    at += kPaletteBytes;
  }
  if (const Status s = read_pixels(at, pixels, static_cast<size_t>(pitch), start); s != Status::kOk)
    return s;
  position_ = at + uint64_t{header_.width} * header_.height;
  ++frames_read_;
  return Status::kOk;
}

} // namespace vex::formats::rawb
