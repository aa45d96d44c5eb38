// KorvaOpen and KorvaClose: header, tables, trees, storage.

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "audio_codec/audio_codec.h"
#include "file/byte_source.h"
#include "formats/korvane/korvane_log.h"
#include "formats/korvane/korvane_reader.h"
#include "formats/korvane/korvane_storage.h"
#include "util/bytes.h"
#include "util/limits.h"
#include "util/record.h"
#include "util/status.h"

namespace vex::formats::korvane {

void DecoderFree::operator()(AUDIODEC *d) const { AudioCodecFree(d); }

namespace {

using util::Status;

std::string handle_text(const void *p) { return std::to_string(reinterpret_cast<uintptr_t>(p)); }

using util::le32;

// The header's sizes against each other and against the file; records the
// reason of a refusal and returns its text for the log.
const char *check_header(const KORVA *k, const Reader &r) {
  const uint32_t *h = k->header;
  const char *why = nullptr;
  Status status = Status::kDamaged;
  if (!util::picture_fits(h[kHdrWidth], h[kHdrHeight])) {
    why = "Korvane picture size out of range";
    status = h[kHdrWidth] == 0 || h[kHdrHeight] == 0 ? Status::kDamaged : Status::kTooLarge;
  } else if (h[kHdrFrames] == 0) {
    why = "Korvane file has no frames";
  } else if ((h[kHdrFlags] & kVerticalMask) == kVerticalMask) {
    why = "Korvane vertical mode unknown";
    status = Status::kUnsupported;
  } else if (std::any_of(h + kHdrSoundSize, h + kHdrSoundSize + kTracks,
                         [](uint32_t size) { return size > kMaxFrameSound; })) {
    why = "Korvane sound size of a frame out of range";
    status = Status::kTooLarge;
  } else {
    const uint64_t records = uint64_t{h[kHdrFrames]} + (h[kHdrFlags] & kFlagRing);
    if (kHeaderBytes + 5 * records + h[kHdrTreeBytes] > r.source.size())
      why = "Korvane tables do not fit the file";
  }
  if (why)
    util::fail(status, "%s", why);
  return why;
}

bool read_tables(KORVA *k, Reader &r) {
  const uint32_t frames = k->header[kHdrFrames];
  const uint32_t records = frames + (r.ring ? 1 : 0);
  std::vector<uint8_t> raw(5 * size_t{records});
  if (!read_at(r, kHeaderBytes, raw.data(), static_cast<uint32_t>(raw.size())))
    return util::fail(Status::kReadFailed, "Korvane frame tables cannot be read");
  r.frame_size.resize(records);
  r.frame_offset.resize(records);
  r.frame_type.assign(raw.begin() + 4 * records, raw.end());
  uint64_t at = kHeaderBytes + 5 * uint64_t{records} + k->header[kHdrTreeBytes];
  for (uint32_t i = 0; i < records; ++i) {
    r.frame_size[i] = le32(&raw[4 * i]) & ~kSizeFlagBits;
    r.frame_offset[i] = at;
    at += r.frame_size[i];
    r.largest = std::max(r.largest, r.frame_size[i]);
    if (at > r.source.size()) {
      log_line("Korvane frame records pass the end of the file");
      return util::fail(Status::kDamaged, "frame %u runs past the end of the file", i + 1);
    }
  }
  r.total = at - r.frame_offset.front();
  return true;
}

bool read_trees(KORVA *k, Reader &r) {
  const uint32_t n = k->header[kHdrTreeBytes];
  std::vector<uint8_t> block(n);
  const uint64_t at = kHeaderBytes + 5 * (uint64_t{k->header[kHdrFrames]} + (r.ring ? 1 : 0));
  if (!read_at(r, at, block.data(), n))
    return util::fail(Status::kReadFailed, "Korvane trees cannot be read");
  if (!r.trees.read(block.data(), n)) {
    log_line("Korvane trees are malformed");
    return false; // the trees said which one and why
  }
  return true;
}

// Frame statistics for the log: the busiest second of the movie.
void log_statistics(const KORVA *k, const Reader &r) {
  if (!log_enabled())
    return;
  const uint32_t rate = k->period ? std::max(1u, 100000 / k->period) : 100000;
  const size_t n = r.frame_size.size();
  const size_t span = std::min<size_t>(rate, n);
  uint64_t sum = 0, best = 0;
  size_t best_at = 0;
  for (size_t i = 0; i < n; ++i) {
    sum += r.frame_size[i];
    if (i >= span)
      sum -= r.frame_size[i - span];
    if (i + 1 >= span && sum > best) {
      best = sum;
      best_at = i + 1 - span;
    }
  }
  log_line("Korvane frames: " + std::to_string(n) + ", largest " + std::to_string(r.largest) + ", total " +
           std::to_string(r.total) + ", average " + std::to_string(r.total / n) + ", busiest " + std::to_string(span) +
           " frames " + std::to_string(best) + " bytes from frame " + std::to_string(best_at));
}

bool open_movie(KORVA *k, Reader &r, uint32_t buffer_size) {
  uint8_t head[kHeaderBytes];
  const bool whole = read_at(r, 0, head, kHeaderBytes);
  const bool magic = (whole || read_at(r, 0, head, 4)) && (le32(head) == kMagic2 || le32(head) == kMagic4);
  if (!whole || !magic) {
    log_line("Wasn't a Korvane file");
    if (magic)
      return util::fail(Status::kDamaged, "the Korvane header is cut short");
    return util::fail(Status::kNotThisFormat, r.source.size() == 0 ? "the file is empty" : "Wasn't a Korvane file");
  }
  util::ByteReader in(head);
  for (uint32_t &word : k->header)
    word = in.u32();
  if (const char *why = check_header(k, r)) {
    log_line(why);
    return false;
  }
  r.version4 = k->header[kHdrMagic] == kMagic4;
  r.ring = (k->header[kHdrFlags] & kFlagRing) != 0;
  r.vertical = k->header[kHdrFlags] & kVerticalMask;
  k->width = k->header[kHdrWidth];
  k->height = k->header[kHdrHeight];
  k->frames = k->header[kHdrFrames];
  const auto speed = static_cast<int32_t>(k->header[kHdrSpeed]);
  k->period = speed > 0 ? static_cast<uint32_t>(speed) * 100u : static_cast<uint32_t>(-static_cast<int64_t>(speed));
  try {
    if (!read_tables(k, r))
      return false;
  } catch (const std::bad_alloc &) {
    log_line("Couldn't allocate track table");
    return util::fail(Status::kOutOfMemory, "Couldn't allocate track table");
  }
  try {
    if (!read_trees(k, r))
      return false;
  } catch (const std::bad_alloc &) {
    log_line("Couldn't allocate input buffer");
    return util::fail(Status::kOutOfMemory, "Couldn't allocate input buffer");
  }
  log_statistics(k, r);
  if (!setup_storage(r, buffer_size)) {
    if (util::last_status() == Status::kOutOfMemory) {
      log_line("Couldn't allocate I/O buffer");
      return util::fail(Status::kOutOfMemory, "Couldn't allocate I/O buffer");
    }
    return false;
  }
  k->frame = 0;
  if (!load_frame(k, 0))
    return util::last_status() == Status::kOutOfMemory
               ? false
               : util::fail(Status::kReadFailed, "the first Korvane frame cannot be read");
  if (r.vertical)
    k->height *= 2;
  return true;
}

} // namespace
} // namespace vex::formats::korvane

using namespace vex::formats::korvane;

KORVA *KorvaOpen(vex::file::ByteSource source, uint32_t buffer_size) {
  debug_setting(); // the first open of the process reads the setting
  if (!source.in_memory())
    log_line("KorvaOpen - file: " + source.name());
  if (!source.is_open()) { // the caller's open failed and said why
    log_line("Couldn't open the Korvane file");
    return nullptr;
  }
  vex::util::clear_reason();
  KORVA *k = vex::util::new_record<KORVA>();
  if (!k) {
    log_line("Couldn't allocate Korva structure");
    return vex::util::fail(vex::util::Status::kOutOfMemory, "Couldn't allocate Korva structure");
  }
  try {
    k->reader = std::make_unique<Reader>();
  } catch (const std::bad_alloc &) {
    vex::util::delete_record(k);
    log_line("Couldn't allocate Korva structure");
    return vex::util::fail(vex::util::Status::kOutOfMemory, "Couldn't allocate Korva structure");
  }
  k->reader->source = std::move(source);
  k->reader->base = k->reader->source.base();
  if (!open_movie(k, *k->reader, buffer_size)) {
    vex::util::delete_record(k);
    return nullptr;
  }
  log_line("KorvaOpen returned: " + handle_text(k));
  return k;
}

void KorvaClose(KORVA *k) {
  if (!k)
    return;
  log_line("KorvaClose: " + handle_text(k));
  vex::util::delete_record(k); // the reader frees decoders, buffers and the file
}
