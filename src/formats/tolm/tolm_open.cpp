// Opening and closing a Tolm movie: header, track tables, frame index,
// geometry, the three allocations and the first frame record.
//
// Nothing the file says is trusted: the header must fit the bytes the file
// really holds, the tables and index must fit the header, and every index
// entry of a playable frame must lie inside the movie, after the index,
// not behind the entry before it, and no further from it than the largest
// frame size the header announces (the record buffer's size).
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "formats/tolm/tolm_decoder.h"
#include "formats/tolm/tolm_layout.h"
#include "formats/tolm/tolm_reader.h"
#include "util/bytes.h"
#include "util/limits.h"
#include "util/record.h"
#include "util/status.h"

namespace vex::formats::tolm {
namespace {

using util::Status;

struct Header {
  uint8_t magic[4];
  uint32_t size_field, frames, largest_frame, index_count, width, height, rate_num, rate_den, video_flags,
      tracks;
};
static_assert(sizeof(Header) == kTolmHeaderSize);

uint32_t version_flags(uint8_t letter) {
  switch (letter) {
  case 'f':
  case 'g':
    return kTolmSignedColours | kTolmSwapChroma;
  case 'h':
    return kTolmSignedColours;
  case 'i':
    return 0;
  default:
    return ~0u; // not a version letter
  }
}

bool read_header(TOLMIO &io, Header &h) {
  uint8_t raw[kTolmHeaderSize];
  const uint32_t got = file::ring::read_header(io, 0, raw, sizeof raw);
  if (got != sizeof raw)
    return util::fail(Status::kNotThisFormat, got == 0 ? "the file is empty" : "shorter than a Tolm header");
  util::ByteReader in(raw);
  std::memcpy(h.magic, in.take(4).data(), 4);
  for (uint32_t *field : {&h.size_field, &h.frames, &h.largest_frame, &h.index_count, &h.width, &h.height,
                          &h.rate_num, &h.rate_den, &h.video_flags, &h.tracks})
    *field = in.u32();
  if (!in.ok() || std::memcmp(h.magic, "TLM", 3) != 0 || version_flags(h.magic[3]) == ~0u)
    return util::fail(Status::kNotThisFormat, "Not a Tolm file.");
  return true;
}

// Bytes of the tables and the index behind the header.
uint64_t tables_end(const Header &h) {
  return kTolmHeaderSize + 12 * uint64_t{h.tracks} + 4 * (uint64_t{h.index_count} + 1);
}

// The header against the bytes the movie really has; records what
// contradicts it.
bool header_fits(const Header &h, uint64_t available) {
  const uint64_t total = uint64_t{h.size_field} + 8;
  if (!util::picture_fits(h.width, h.height))
    return util::fail(Status::kDamaged, "the picture is %u x %u pixels", h.width, h.height);
  if (h.rate_num == 0 || h.rate_den == 0)
    return util::fail(Status::kDamaged, "the frame rate %u/%u has a zero", h.rate_num, h.rate_den);
  if (h.frames > h.index_count)
    return util::fail(Status::kDamaged, "%u frames, but the frame index has %u entries", h.frames, h.index_count);
  if (total > available)
    return util::fail(Status::kDamaged, "the header gives %llu bytes, the file holds %llu",
                      static_cast<unsigned long long>(total), static_cast<unsigned long long>(available));
  if (tables_end(h) > total)
    return util::fail(Status::kDamaged,
                      "the track tables and the frame index (%u tracks, %u entries) run past the end of the movie",
                      h.tracks, h.index_count);
  if (h.largest_frame > total)
    return util::fail(Status::kDamaged, "the largest frame (%u bytes) is larger than the movie", h.largest_frame);
  return true;
}

// Scaling mode of the decoder flags: the open flags' unless they say 0
// (the file's then), and 7 means none.
uint32_t scaling_mode(uint32_t open_flags, uint32_t file_flags) {
  uint32_t mode = open_flags & kTolmScaleMask;
  if (mode == 0)
    mode = file_flags & kTolmScaleMask;
  return mode == kTolmScaleMask ? 0 : mode;
}

void set_geometry(TOLM &t, const Header &h, uint32_t open_flags) {
  t.decoded_width = t.output_width = h.width;
  t.decoded_height = t.output_height = h.height;
  t.chroma_width = (((h.width + 1) >> 1) + 7) & ~7u;
  t.chroma_height = (((h.height + 1) >> 1) + 7) & ~7u;
  t.padded_width = 2 * t.chroma_width;
  t.padded_height = 2 * t.chroma_height;
  t.blocks_across = t.padded_width / 16;
  t.block_count = t.blocks_across * (t.padded_height / 16);

  const uint32_t mode = scaling_mode(open_flags, h.video_flags);
  switch (mode >> 28) {
  case 1:
  case 2:
    t.output_height *= 2;
    break;
  case 3:
    t.output_width *= 2;
    break;
  case 4:
  case 5:
    t.output_width *= 2;
    t.output_height *= 2;
    break;
  default:
    break;
  }
  uint32_t flags = (open_flags & ~(kTolmScaleMask | kTolmOpenCheckFirst | kTolmOpenSoundOnly)) | mode;
  if (!(h.video_flags & kTolmVideoAlpha))
    flags &= ~kTolmOpenAlpha;
  t.decoder_flags = flags | (h.video_flags & kTolmVideoGrey) | version_flags(h.magic[3]);
  t.video_flags = h.video_flags;
  t.version = h.magic[3];
  t.file_size_field = h.size_field;
  t.frames = h.frames;
  t.largest_frame = h.largest_frame;
  t.index_count = h.index_count;
  t.tracks = h.tracks;
  t.rate_num = h.rate_num;
  t.rate_den = h.rate_den;
  t.rounded_rate = std::max<uint32_t>(1, static_cast<uint32_t>((uint64_t{h.rate_num} + h.rate_den / 2) / h.rate_den));
}

// First allocation: the record, block map, bundle buffers, index and the
// three track tables.
TOLM *allocate_record(const Header &h) {
  const uint32_t padded_width = 2 * ((((h.width + 1) >> 1) + 7) & ~7u);
  const uint32_t padded_height = 2 * ((((h.height + 1) >> 1) + 7) & ~7u);
  const uint32_t block_count = (padded_width / 16) * (padded_height / 16);
  PieceLayout layout(sizeof(TOLM));
  const uint64_t map_at = layout.add(uint64_t{block_count} + 16);
  uint32_t sizes[kTolmBundleCount];
  TolmBundleSizes(sizes, padded_width);
  uint64_t bundle_at[kTolmBundleCount];
  for (int i = 0; i < kTolmBundleCount; ++i)
    bundle_at[i] = layout.add(sizes[i]);
  const uint64_t index_at = layout.add(4 * (uint64_t{h.index_count} + 1));
  uint64_t table_at[3];
  for (auto &at : table_at)
    at = layout.add(4 * uint64_t{h.tracks});
  if (!layout.fits())
    return nullptr;
  auto *base = static_cast<uint8_t *>(vexmalloc(static_cast<uint32_t>(layout.total())));
  if (!base)
    return nullptr;
  std::memset(base, 0, layout.total());
  auto *t = reinterpret_cast<TOLM *>(base);
  t->block_map = base + map_at;
  for (int i = 0; i < kTolmBundleCount; ++i)
    t->bundles[i] = base + bundle_at[i];
  t->index = reinterpret_cast<const uint32_t *>(base + index_at);
  t->track_sizes = reinterpret_cast<const uint32_t *>(base + table_at[0]);
  t->track_formats = reinterpret_cast<const uint32_t *>(base + table_at[1]);
  t->track_ids = reinterpret_cast<const uint32_t *>(base + table_at[2]);
  return t;
}

bool read_tables(TOLM &t) {
  const auto read = [&](const uint32_t *table, uint64_t words) {
    const uint32_t bytes = static_cast<uint32_t>(4 * words);
    return file::ring::read_header(t.io, TOLMIO::kCurrent, const_cast<uint32_t *>(table), bytes) == bytes;
  };
  if (!read(t.track_sizes, t.tracks) || !read(t.track_formats, t.tracks) || !read(t.track_ids, t.tracks) ||
      !read(t.index, uint64_t{t.index_count} + 1))
    return util::fail(Status::kReadFailed, "the track tables and the frame index cannot be read");
  // Stored little-endian; the targets are little-endian too.
  return true;
}

// Entries 0 .. frames (those the playable frames use) in order and in
// bounds; records the first that is not.
bool index_fits(const TOLM &t, uint64_t data_start, uint64_t total) {
  uint64_t before = data_start;
  for (uint32_t i = 0; i <= t.frames; ++i) {
    const uint64_t at = t.index[i] & ~1u;
    if (i == 0 && at < before)
      return util::fail(Status::kDamaged, "frame index entry 0 points into the header or the index");
    if (at < before)
      return util::fail(Status::kDamaged, "frame index entry %u points behind entry %u", i, i - 1);
    if (at > total)
      return util::fail(Status::kDamaged, "frame index entry %u points past the end of the movie", i);
    if (i > 0 && at - before > t.largest_frame)
      return util::fail(Status::kDamaged, "frame %u (%llu bytes) is larger than the largest frame the header gives", i,
                        static_cast<unsigned long long>(at - before));
    before = at;
  }
  return true;
}

// The most bytes any run of `rounded_rate` frames spans (first maximum),
// which sizes the read-ahead ring; at most the whole movie.
void scan_index(TOLM &t, uint64_t total, bool &all_key) {
  const uint32_t count = t.index_count, r = t.rounded_rate;
  int64_t best = 0;
  uint32_t best_at = 0;
  if (count > r)
    for (uint32_t i = 0; i + r < count; ++i) {
      const int64_t d = int64_t{t.index[i + r]} - int64_t{t.index[i]};
      if (d > best) {
        best = d;
        best_at = i;
      }
    }
  if (best <= 0) {
    best = (int64_t{t.index[count]} - int64_t{t.index[0]}) * r / std::max<uint32_t>(count, 1);
    best_at = 0;
  }
  t.sound_window = static_cast<uint32_t>(std::clamp<int64_t>(best, 0, static_cast<int64_t>(total)));
  t.sound_window_frame = best_at + 1;
  all_key = true;
  for (uint32_t i = 0; i < t.frames; ++i)
    all_key = all_key && (t.index[i] & 1u);
}

// Frame 1 read from the file and decoded dry (every bit read, nothing
// stored); records why when it faults.
bool first_frame_decodes(const TOLM &t) {
  const uint32_t start = t.index[0] & ~1u, end = t.index[1] & ~1u; // checked by index_fits
  std::vector<uint8_t> record;
  try {
    record.assign(size_t{end - start} + kTolmRecordSlack, 0);
  } catch (const std::bad_alloc &) {
    return util::fail(Status::kOutOfMemory, "Out of memory.");
  }
  if (!t.source->read_exact(start, record.data(), end - start))
    return util::fail(Status::kReadFailed, "frame 1 cannot be read");
  size_t at = 0, left = end - start;
  for (uint32_t i = 0; i < t.tracks; ++i) { // the sound packets before the video
    const uint32_t length = left < 4 ? UINT32_MAX : util::le32(&record[at]);
    if (left < 4 || length > left - 4)
      return util::fail(Status::kDamaged, "a sound packet of frame 1 runs past its record");
    at += 4 + size_t{length};
    left -= 4 + size_t{length};
  }
  TolmFrameArgs a;
  a.dry = true;
  a.width = t.decoded_width;
  a.height = t.decoded_height;
  a.padded_width = t.padded_width;
  a.padded_height = t.padded_height;
  a.data = std::span<const uint8_t>(record.data() + at, left);
  a.bundles = t.bundles;
  a.decoder_flags = t.decoder_flags;
  a.video_flags = t.video_flags;
  if (const uint32_t faults = TolmExpandFrame(a))
    return util::fail(Status::kDamaged, "frame 1 does not decode as %u x %u pixels (faults 0x%x)", t.decoded_width,
                      t.decoded_height, faults);
  return true;
}

// Second allocation: the frame buffers and alpha planes, cleared.
bool allocate_frames(TOLM &t, bool all_key) {
  const uint64_t luma = uint64_t{t.padded_width} * t.padded_height;
  const uint64_t frame = luma + 2 * uint64_t{t.chroma_width} * t.chroma_height;
  const bool alpha = (t.decoder_flags & kTolmOpenAlpha) != 0;
  PieceLayout layout(frame);
  uint64_t alpha_at[2] = {0, 0}, second_at = 0;
  if (alpha)
    for (int i = 0; i < (all_key ? 1 : 2); ++i)
      alpha_at[i] = layout.add(luma);
  if (!all_key)
    second_at = layout.add(frame);
  if (!layout.fits())
    return false;
  auto *base = static_cast<uint8_t *>(vexmalloc(static_cast<uint32_t>(layout.total())));
  if (!base)
    return false;
  std::memset(base, 0, layout.total());
  t.frame_memory = base;
  t.frame_buffer[0] = base;
  t.frame_buffer[1] = all_key ? base : base + second_at;
  if (alpha) {
    t.alpha[0] = base + alpha_at[0];
    t.alpha[1] = all_key ? t.alpha[0] : base + alpha_at[1];
  }
  return true;
}

// Third allocation, or the preloaded image.
bool set_up_reading(TOLM &t, uint64_t total) {
  const uint32_t ring_size = file::ring::round_size(t.sound_window);
  const uint64_t first = t.index[0] & ~1u;
  if (ring_size >= uint64_t{t.file_size_field} * 9 / 10) {
    file::ring::set_buffer(t.io, nullptr, 0, static_cast<uint32_t>(total));
    const uint64_t bytes = total - first;
    t.image = static_cast<uint8_t *>(vexmalloc(static_cast<uint32_t>(bytes + kTolmRecordSlack)));
    if (!t.image)
      return false;
    const uint32_t got = file::ring::read(t.io, static_cast<uint32_t>(first), t.image, static_cast<uint32_t>(bytes));
    std::memset(t.image + got, 0, bytes - got + kTolmRecordSlack);
    // Everything is in memory: a file opened by name is closed now.
    util::delete_record(t.source);
    t.source = nullptr;
    t.io.source = nullptr;
    return true;
  }
  PieceLayout layout(ring_size);
  const uint64_t record_at = layout.add(uint64_t{t.largest_frame} + kTolmRecordSlack);
  if (!layout.fits())
    return false;
  t.ring = static_cast<uint8_t *>(vexmalloc(static_cast<uint32_t>(layout.total())));
  if (!t.ring)
    return false;
  t.ring_size = ring_size;
  t.record_buffer = t.ring + record_at;
  file::ring::set_buffer(t.io, t.ring, ring_size, static_cast<uint32_t>(total));
  return true;
}

void release(TOLM *t) {
  util::delete_record(t->source);
  vexfree(t->ring);
  vexfree(t->image);
  vexfree(t->frame_memory);
  vexfree(t);
}

// Releases what the open had taken; the reason is already recorded.
TOLM *fail(TOLM *t) {
  if (t)
    release(t);
  return nullptr;
}

// The track the player would play: the first with the stored ID under
// kTolmOpenByTrackId (none for -1 or an unknown ID), else track 0.
int32_t wanted_track(const TOLM &t, uint32_t flags, int32_t id) {
  if (t.tracks == 0)
    return -1;
  if (!(flags & kTolmOpenByTrackId))
    return 0;
  if (id == -1)
    return -1;
  for (uint32_t i = 0; i < t.tracks; ++i)
    if (t.track_ids[i] == static_cast<uint32_t>(id))
      return static_cast<int32_t>(i);
  return -1;
}

} // namespace

const char *TolmLastError() { return util::last_reason(); }

TOLM *TolmOpen(file::ByteSource source, uint32_t flags, int32_t track_id) {
  if (!source.is_open())
    return nullptr; // the caller's open failed and said why
  util::clear_reason();
  TOLMIO io;
  file::ring::attach(io, source);
  const uint64_t available = source.size();
  Header h;
  if (!read_header(io, h))
    return nullptr;
  if (h.frames == 0)
    return util::fail(Status::kDamaged, "The file doesn't contain any compressed frames yet.");
  if (!header_fits(h, available))
    return nullptr;
  const uint64_t total = uint64_t{h.size_field} + 8;

  TOLM *t = allocate_record(h);
  if (!t)
    return util::fail(Status::kOutOfMemory, "Out of memory.");
  set_geometry(*t, h, flags);
  t->source = util::new_record<file::ByteSource>(std::move(source));
  if (!t->source) {
    release(t);
    return util::fail(Status::kOutOfMemory, "Out of memory.");
  }
  t->io = io;
  t->io.source = t->source;
  if (!read_tables(*t) || !index_fits(*t, tables_end(h), total))
    return fail(t);
  if ((flags & kTolmOpenCheckFirst) && !first_frame_decodes(*t))
    return fail(t);
  bool all_key = false;
  scan_index(*t, total, all_key);
  const bool sound_only = (flags & kTolmOpenSoundOnly) != 0;
  if ((!sound_only && !allocate_frames(*t, all_key)) || !set_up_reading(*t, total)) {
    release(t);
    return util::fail(Status::kOutOfMemory, "Out of memory.");
  }

  t->block_map[t->block_count] = 0;
  t->current = -1;
  t->last_decoded = -1;
  t->video_decoding = sound_only ? 0 : 1;
  tolm_read_record(t, 1);
  if (!t->image)
    while (file::ring::fill(t->io) > 0) {
    }
  // The player would now open the selected track's sound output and, unless
  // kTolmOpenNoBackground is given, start the background filler. Neither
  // exists in this library (every caller passes kTolmOpenNoBackground and
  // no sound output), so the selection is kept for the callers to see and
  // no track plays.
  t->wanted_track = wanted_track(*t, flags, track_id);
  return t;
}

void TolmClose(TOLM *t) {
  if (t)
    release(t);
}

} // namespace vex::formats::tolm
