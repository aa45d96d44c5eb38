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

#include "sfile/sound_reader.h"
#include "util/bytes.h"

namespace vex::sfile {
namespace {

using util::fail;
using util::le16;
using util::le32;
using util::Status;

constexpr uint32_t kPcmTag = 1;
constexpr uint32_t kFmtBytes = 16;

struct ChunkHead {
  std::array<char, 4> id{};
  uint32_t size = 0;
  uint32_t body = 0; // file position of the body
};

using Bytes = file::ByteSource;

bool read_at(const Bytes &f, uint64_t pos, void *dest, uint32_t n) { return f.read_exact(pos, dest, n); }

// Chunk names found in WAV files; a name from this list decides where the
// next chunk starts when a pad byte may be missing.
constexpr std::array<const char *, 16> kKnownChunks = {"fmt ", "data", "LIST", "fact", "cue ", "JUNK",
                                                       "PAD ", "bext", "smpl", "inst", "plst", "id3 ",
                                                       "ID3 ", "iXML", "acid", "DISP"};

// How much the 8 bytes at pos look like a chunk head: 2 a known name, 1 a
// name of printable characters, 0 anything else.
int chunk_likeness(const Bytes &f, uint32_t pos, uint32_t file_size) {
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
uint64_t next_chunk(const Bytes &f, const ChunkHead &c, uint32_t file_size) {
  const uint64_t end = uint64_t{c.body} + c.size;
  if (c.size % 2 == 0 || end + 1 > file_size)
    return end + (c.size % 2);
  const int padded = chunk_likeness(f, static_cast<uint32_t>(end + 1), file_size);
  const int unpadded = chunk_likeness(f, static_cast<uint32_t>(end), file_size);
  return unpadded > padded ? end : end + 1;
}

// Walks the chunks from `pos` to the one named `id`.
bool find_chunk(const Bytes &f, uint64_t pos, const char *id, uint32_t file_size, ChunkHead &c) {
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

// Sizes and positions are 32-bit, as in the file's own fields.
uint32_t size_of(const Bytes &f) { return static_cast<uint32_t>(std::min<uint64_t>(f.size(), UINT32_MAX - 1)); }

bool parse_wave(const Bytes &f, WaveFormat &w) {
  const uint32_t file_size = size_of(f);
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

// WAV or raw PCM: the data from `data_start` on, read at a position of its own.
class WaveReader final : public SoundReader {
public:
  WaveReader(Bytes source, uint32_t data_start) : source_(std::move(source)), position_(data_start) {}

  uint32_t refill(Source &, uint8_t *dest, uint32_t space) override {
    const size_t n = source_.read_at(position_, dest, space);
    position_ += n;
    return static_cast<uint32_t>(n);
  }
  void rewind(Source &s) override { position_ = s.data_start; }
  void skip_start(Source &s, uint32_t bytes, int64_t) override {
    s.data_start += bytes;
    position_ = s.data_start;
  }

private:
  Bytes source_;
  uint64_t position_;
};

// Raw PCM: the whole file after the header, in the caller's format.
Opened open_raw(Source &s, const OpenArgs &a, const Bytes &f) {
  const uint32_t size = size_of(f);
  const auto format = static_cast<uint32_t>(a.raw_format);
  // A header at or beyond the end leaves the last byte.
  const uint32_t header = size == 0 ? 0 : std::min(static_cast<uint32_t>(std::max(a.raw_header, 0)), size - 1);
  s.source_rate = format >> 3;
  s.source_channels = (format & 1) ? 2 : 1;
  s.source_bits = (format & 2) ? 16 : 8;
  s.total = size - header;
  s.data_start = header;
  if (s.source_rate == 0) {
    report(a, Status::kInvalidArgument, "The raw sound format gives no sample rate.");
    return Opened::failed;
  }
  return Opened::accepted;
}

Opened open_wave(Source &s, const OpenArgs &a, const lists::InputFile &file) {
  const Bytes &f = file.source;
  if (a.raw_format != 0) {
    if (const Opened r = open_raw(s, a, f); r != Opened::accepted)
      return r;
  } else {
    WaveFormat w;
    if (!parse_wave(f, w)) {
      if (util::last_status() != Status::kNotThisFormat)
        s.wave_reason = std::string("(") + util::last_reason() + ")";
      return Opened::declined;
    }
    s.source_rate = w.rate;
    s.source_bits = w.bits;
    s.source_channels = w.channels;
    s.total = w.data_bytes;
    s.data_start = w.data_start;
  }
  s.reader = std::make_unique<WaveReader>(f, s.data_start);
  s.source_frame_bytes = s.source_channels * s.source_bits / 8;
  s.kind = kWave;
  s.codec = pcm_codec(s.source_bits);
  copy_text(s.type, sizeof s.type, "Wave");
  copy_text(s.name, sizeof s.name, file.name.c_str());
  s.buffer_size = kFileBufferBytes;
  return Opened::accepted;
}

} // namespace

const SoundRow kWaveRow{".wav", nullptr, open_wave};

} // namespace vex::sfile
