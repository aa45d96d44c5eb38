// WAV and raw PCM files (kind 1, "Wave").
//
// WAV: "RIFF", a size, "WAVE", then chunks of a four-character name, a
// 32-bit size and the body, padded to an even length. The "fmt " chunk
// (at least 16 bytes: format tag 1 = PCM, channels, rate, byte rate, block
// align, bits) comes before the "data" chunk; other chunks (LIST, fact,
// cue, ...) may stand before, between and after them. Files in the wild
// also leave out the pad byte after an odd chunk, and announce more data
// than they hold; both are read as they are.
#include <array>
#include <cerrno>
#include <string>
#include <cstring>

#include "sfile/sound_source.h"
#include "util/bytes.h"

namespace vex::sfile {
namespace {

using util::fail;
using util::le16;
using util::le32;
using util::Status;

constexpr uint32_t kPcmTag = 1;
// The file's own buffer serves the header walk; the sound's reads of up to
// the source buffer's size (16384) then go from the file straight into the
// source buffer instead of through this one.
constexpr uint32_t kWaveFileBuffer = 4096;
constexpr uint32_t kFmtBytes = 16;

struct ChunkHead {
  std::array<char, 4> id{};
  uint32_t size = 0;
  uint32_t body = 0; // file position of the body
};

bool read_at(VEXFILE *f, uint32_t pos, void *dest, uint32_t n) {
  VEXFileSetPos(f, pos);
  return VEXFileGet(f, dest, n) == n;
}

// Chunk names found in WAV files; a name from this list decides where the
// next chunk starts when a pad byte may be missing.
constexpr std::array<const char *, 16> kKnownChunks = {"fmt ", "data", "LIST", "fact", "cue ", "JUNK",
                                                       "PAD ", "bext", "smpl", "inst", "plst", "id3 ",
                                                       "ID3 ", "iXML", "acid", "DISP"};

// How much the 8 bytes at pos look like a chunk head: 2 a known name, 1 a
// name of printable characters, 0 anything else.
int chunk_likeness(VEXFILE *f, uint32_t pos, uint32_t file_size) {
  uint8_t id[4];
  if (pos > file_size || file_size - pos < 8 || !read_at(f, pos, id, 4))
    return 0;
  for (const char *known : kKnownChunks)
    if (std::memcmp(id, known, 4) == 0)
      return 2;
  for (uint8_t c : id)
    if (c < 0x20 || c > 0x7E)
      return 0;
  return 1;
}

// Where the chunk after `c` starts: behind its pad byte, or right behind
// its body when the pad byte is missing (the next chunk head is found
// there and not one byte on).
uint64_t next_chunk(VEXFILE *f, const ChunkHead &c, uint32_t file_size) {
  const uint64_t end = uint64_t{c.body} + c.size;
  if (c.size % 2 == 0 || end + 1 > file_size)
    return end + (c.size % 2);
  const int padded = chunk_likeness(f, static_cast<uint32_t>(end + 1), file_size);
  const int unpadded = chunk_likeness(f, static_cast<uint32_t>(end), file_size);
  return unpadded > padded ? end : end + 1;
}

// Walks the chunks from `pos` to the one named `id`.
bool find_chunk(VEXFILE *f, uint64_t pos, const char *id, uint32_t file_size, ChunkHead &c) {
  for (;;) {
    uint8_t head[8];
    if (pos + 8 > file_size || !read_at(f, static_cast<uint32_t>(pos), head, 8))
      return fail(Status::kNotThisFormat, "no \"%s\" chunk", id);
    std::memcpy(c.id.data(), head, 4);
    c.size = le32(head + 4);
    c.body = static_cast<uint32_t>(pos + 8);
    if (std::memcmp(c.id.data(), id, 4) == 0)
      return true;
    pos = next_chunk(f, c, file_size);
  }
}

struct WaveFormat {
  uint32_t rate = 0, bits = 0, channels = 0;
  uint32_t data_start = 0, data_bytes = 0;
};

bool parse_wave(VEXFILE *f, WaveFormat &w) {
  const uint32_t file_size = VEXFileSize(f);
  uint8_t riff[12];
  if (!read_at(f, 0, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
    return fail(Status::kNotThisFormat, "not a RIFF WAVE file");
  ChunkHead fmt;
  if (!find_chunk(f, 12, "fmt ", file_size, fmt))
    return false;
  uint8_t body[kFmtBytes];
  if (fmt.size < kFmtBytes)
    return fail(Status::kDamaged, "the \"fmt \" chunk has %u bytes, fewer than 16", fmt.size);
  if (!read_at(f, fmt.body, body, kFmtBytes))
    return fail(Status::kDamaged, "the \"fmt \" chunk runs past the end of the file");
  const uint32_t tag = le16(body);
  w.channels = le16(body + 2);
  w.rate = le32(body + 4);
  w.bits = le16(body + 14);
  if (tag != kPcmTag)
    return fail(Status::kUnsupported, "WAV format tag 0x%04X is not plain PCM", tag);
  if ((w.bits != 8 && w.bits != 16) || (w.channels != 1 && w.channels != 2) || w.rate == 0)
    return fail(Status::kUnsupported, "PCM of %u bits, %u channels at %u Hz", w.bits, w.channels, w.rate);
  ChunkHead data;
  if (!find_chunk(f, next_chunk(f, fmt, file_size), "data", file_size, data))
    return false;
  w.data_start = data.body;
  // Take what is there when the chunk claims more.
  w.data_bytes = std::min(data.size, file_size - data.body);
  return true;
}

} // namespace

Opened open_wave(Source &s, const OpenArgs &a, const char *name) {
  VEXFILE *f = VEXFileOpen(static_cast<int32_t>(kWaveFileBuffer), name, VEXFILE_READ);
  if (!f) {
    util::fail_to_open(errno);
    return Opened::declined;
  }
  if (a.raw_format != 0) {
    const uint32_t size = VEXFileSize(f);
    const auto format = static_cast<uint32_t>(a.raw_format);
    // A header at or beyond the end leaves the last byte.
    const uint32_t header = size == 0 ? 0 : std::min(static_cast<uint32_t>(std::max(a.raw_header, 0)), size - 1);
    s.source_rate = format >> 3;
    s.source_channels = (format & 1) ? 2 : 1;
    s.source_bits = (format & 2) ? 16 : 8;
    s.total = size - header;
    s.data_start = header;
    if (s.source_rate == 0) {
      VEXFileClose(f);
      report(a, Status::kInvalidArgument, "The raw sound format gives no sample rate.");
      return Opened::failed;
    }
  } else {
    WaveFormat w;
    if (!parse_wave(f, w)) {
      if (util::last_status() != Status::kNotThisFormat)
        s.wave_reason = std::string("(") + util::last_reason() + ")";
      VEXFileClose(f);
      return Opened::declined;
    }
    s.source_rate = w.rate;
    s.source_bits = w.bits;
    s.source_channels = w.channels;
    s.total = w.data_bytes;
    s.data_start = w.data_start;
  }
  VEXFileSetPos(f, s.data_start);
  s.file = f;
  s.source_frame_bytes = s.source_channels * s.source_bits / 8;
  s.kind = kWave;
  copy_text(s.type, sizeof s.type, "Wave");
  copy_text(s.name, sizeof s.name, name);
  s.buffer_size = kFileBufferBytes;
  return Opened::accepted;
}

uint32_t refill_wave(Source &s, uint8_t *dest, uint32_t space) { return VEXFileGet(s.file, dest, space); }

} // namespace vex::sfile
