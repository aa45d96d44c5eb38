// WAV and raw PCM files (kind 1, "Wave").
//
// WAV: "RIFF", a size, "WAVE", then chunks of a four-character name, a
// 32-bit size and the body, padded to an even length. The "fmt " chunk
// (at least 16 bytes: format tag, channels, rate, byte rate, block align,
// bits) comes before the "data" chunk; other chunks (LIST, fact, cue, ...)
// may stand before, between and after them. Files in the wild also leave
// out the pad byte after an odd chunk, and announce more data than they
// hold; both are read as they are.
//
// Samples: tag 1 (PCM) of 8, 16, 24 or 32 bits, tag 3 (IEEE float) of 32
// bits, and tag 0xFFFE (WAVE_FORMAT_EXTENSIBLE: a "fmt " chunk of at least
// 40 bytes, whose sub-format GUID at byte 24 names PCM or IEEE float, with
// the same widths). The source delivers 8 or 16 bits only (callers rely on
// source_bits being one of them), so wider samples become 16-bit as the
// reader refills the source buffer: an integer sample gives its top 16
// bits (the low bits are dropped, not rounded: -1 of 24 bits becomes -1),
// a float sample times 32768, rounded to the nearest integer and clamped
// to -32768..32767 (NaN gives 0). The record then counts converted bytes:
// total, remaining and the frame size are those of the 16-bit samples, and
// data_start stays a position in the file.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>
#include <cstring>
#include <vector>

#include "sfile/sound_reader.h"
#include "util/bytes.h"

namespace vex::sfile {
namespace {

using util::fail;
using util::le16;
using util::le32;
using util::Status;

constexpr uint32_t kPcmTag = 1;
constexpr uint32_t kFloatTag = 3;
constexpr uint32_t kExtensibleTag = 0xFFFE;
constexpr uint32_t kFmtBytes = 16;
constexpr uint32_t kExtensibleFmtBytes = 40; // + extension size, valid bits, channel mask, sub-format
// The sub-format GUIDs of PCM and IEEE float differ in their first field
// only (the format tag); the other 14 bytes, as stored.
constexpr uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// How the file stores a sample.
enum class Sample { u8, s16, s24, s32, f32 };

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
  uint32_t rate = 0, channels = 0;
  Sample sample = Sample::u8;
  uint32_t data_start = 0, data_bytes = 0;
};

// Sizes and positions are 32-bit, as in the file's own fields.
uint32_t size_of(const Bytes &f) { return static_cast<uint32_t>(std::min<uint64_t>(f.size(), UINT32_MAX - 1)); }

uint32_t file_bytes(Sample s) {
  constexpr uint32_t kBytes[] = {1, 2, 3, 4, 4};
  return kBytes[static_cast<size_t>(s)];
}
// Bytes of a sample as the source delivers it.
uint32_t source_bytes(Sample s) { return s == Sample::u8 ? 1 : 2; }

// The format tag an extensible "fmt " chunk stands for (the body holds its
// 40 bytes); 0 for a sub-format other than PCM and IEEE float.
uint32_t extensible_tag(const uint8_t *body, uint32_t fmt_size) {
  if (fmt_size < kExtensibleFmtBytes) {
    fail(Status::kDamaged, "the \"fmt \" chunk of a WAVE_FORMAT_EXTENSIBLE file has %u bytes, fewer than 40", fmt_size);
    return 0;
  }
  if (le16(body + 16) < kExtensibleFmtBytes - 18) {
    fail(Status::kDamaged, "the WAVE_FORMAT_EXTENSIBLE extension has %u bytes, fewer than 22", le16(body + 16));
    return 0;
  }
  const uint8_t *guid = body + 24;
  const uint32_t tag = le16(guid);
  if ((tag != kPcmTag && tag != kFloatTag) || std::memcmp(guid + 2, kGuidTail, sizeof kGuidTail) != 0) {
    char text[40];
    for (int i = 0; i < 16; ++i)
      std::snprintf(text + 2 * i, 3, "%02X", guid[i]);
    fail(Status::kUnsupported, "WAVE_FORMAT_EXTENSIBLE sub-format %s is neither PCM nor IEEE float", text);
    return 0;
  }
  return tag;
}

// The sample of a tag and width; false (with the reason) for the others.
bool sample_of(uint32_t tag, uint32_t bits, const char *name, Sample &sample) {
  if (tag == kFloatTag && bits == 32) {
    sample = Sample::f32;
    return true;
  }
  if (tag == kPcmTag && (bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
    constexpr Sample kByWidth[] = {Sample::u8, Sample::s16, Sample::s24, Sample::s32};
    sample = kByWidth[bits / 8 - 1];
    return true;
  }
  return fail(Status::kUnsupported, "%s of %u bits", name, bits);
}

bool parse_wave(const Bytes &f, WaveFormat &w) {
  const uint32_t file_size = size_of(f);
  uint8_t riff[12];
  if (!read_at(f, 0, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
    return fail(Status::kNotThisFormat, "not a RIFF WAVE file");
  ChunkHead fmt;
  if (!find_chunk(f, 12, "fmt ", file_size, fmt))
    return false;
  uint8_t body[kExtensibleFmtBytes] = {};
  if (fmt.size < kFmtBytes)
    return fail(Status::kDamaged, "the \"fmt \" chunk has %u bytes, fewer than 16", fmt.size);
  if (!read_at(f, fmt.body, body, std::min(fmt.size, kExtensibleFmtBytes)))
    return fail(Status::kDamaged, "the \"fmt \" chunk runs past the end of the file");
  uint32_t tag = le16(body);
  w.channels = le16(body + 2);
  w.rate = le32(body + 4);
  const uint32_t bits = le16(body + 14);
  if (tag == kExtensibleTag && (tag = extensible_tag(body, fmt.size)) == 0)
    return false;
  if (tag != kPcmTag && tag != kFloatTag)
    return fail(Status::kUnsupported, "WAV format tag 0x%04X is neither PCM nor IEEE float", tag);
  if (!sample_of(tag, bits, tag == kPcmTag ? "PCM" : "IEEE float", w.sample))
    return false;
  if ((w.channels != 1 && w.channels != 2) || w.rate == 0)
    return fail(Status::kUnsupported, "%u bits, %u channels at %u Hz", bits, w.channels, w.rate);
  ChunkHead data;
  if (!find_chunk(f, next_chunk(f, fmt, file_size), "data", file_size, data))
    return false;
  w.data_start = data.body;
  // Take what is there when the chunk claims more.
  w.data_bytes = std::min(data.size, file_size - data.body);
  return true;
}

// Wide samples to 16 bits (see the top of the file); n samples.
void to16(Sample s, const uint8_t *in, uint32_t n, uint8_t *out) {
  for (uint32_t i = 0; i < n; ++i, out += 2) {
    switch (s) {
    case Sample::s24: // the top 16 of 24 bits
      out[0] = in[3 * i + 1];
      out[1] = in[3 * i + 2];
      break;
    case Sample::s32:
      out[0] = in[4 * i + 2];
      out[1] = in[4 * i + 3];
      break;
    default: {
      float v;
      std::memcpy(&v, in + 4 * i, 4);
      const float scaled = std::isnan(v) ? 0.0f : std::clamp(v * 32768.0f, -32768.0f, 32767.0f);
      const auto x = static_cast<uint16_t>(static_cast<int16_t>(std::lrintf(scaled)));
      out[0] = static_cast<uint8_t>(x);
      out[1] = static_cast<uint8_t>(x >> 8);
      break;
    }
    }
  }
}

// WAV or raw PCM: the data from `data_start` on, read at a position of its
// own; samples of 24 and 32 bits converted as they are read.
class WaveReader final : public SoundReader {
public:
  WaveReader(Bytes source, uint32_t data_start, Sample sample, uint32_t channels)
      : source_(std::move(source)), position_(data_start), sample_(sample), in_frame_(file_bytes(sample) * channels),
        out_frame_(source_bytes(sample) * channels) {}

  uint32_t refill(Source &, uint8_t *dest, uint32_t space) override {
    if (in_frame_ == out_frame_) {
      const size_t n = source_.read_at(position_, dest, space);
      position_ += n;
      return static_cast<uint32_t>(n);
    }
    scratch_.resize(size_t{space / out_frame_} * in_frame_);
    const auto frames = static_cast<uint32_t>(source_.read_at(position_, scratch_.data(), scratch_.size()) / in_frame_);
    position_ += uint64_t{frames} * in_frame_;
    to16(sample_, scratch_.data(), frames * (in_frame_ / file_bytes(sample_)), dest);
    return frames * out_frame_;
  }
  void rewind(Source &s) override { position_ = s.data_start; }
  // `bytes` are source bytes, whole frames: the file holds in_frame_ bytes
  // for each out_frame_.
  void skip_start(Source &s, uint32_t bytes, int64_t) override {
    s.data_start += bytes / out_frame_ * in_frame_;
    position_ = s.data_start;
  }

private:
  Bytes source_;
  uint64_t position_;
  Sample sample_;
  uint32_t in_frame_, out_frame_; // bytes of a frame in the file, and as delivered
  std::vector<uint8_t> scratch_;  // the file's bytes of one refill
};

// Raw PCM: the whole file after the header, in the caller's format.
Opened open_raw(Source &s, const OpenArgs &a, const Bytes &f, Sample &sample) {
  const uint32_t size = size_of(f);
  const auto format = static_cast<uint32_t>(a.raw_format);
  // A header at or beyond the end leaves the last byte.
  const uint32_t header = size == 0 ? 0 : std::min(static_cast<uint32_t>(std::max(a.raw_header, 0)), size - 1);
  s.source_rate = format >> 3;
  s.source_channels = (format & 1) ? 2 : 1;
  s.source_bits = (format & 2) ? 16 : 8;
  sample = (format & 2) ? Sample::s16 : Sample::u8;
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
  Sample sample = Sample::u8;
  if (a.raw_format != 0) {
    if (const Opened r = open_raw(s, a, f, sample); r != Opened::accepted)
      return r;
  } else {
    WaveFormat w;
    if (!parse_wave(f, w)) {
      if (util::last_status() != Status::kNotThisFormat)
        s.wave_reason = std::string("(") + util::last_reason() + ")";
      return Opened::declined;
    }
    sample = w.sample;
    s.source_rate = w.rate;
    s.source_bits = source_bytes(sample) * 8;
    s.source_channels = w.channels;
    const uint32_t in_frame = file_bytes(sample) * w.channels, out_frame = source_bytes(sample) * w.channels;
    // 8 and 16 bits: the bytes as they are (an odd last byte included);
    // wider samples: whole frames, counted as converted.
    s.total = in_frame == out_frame ? w.data_bytes : w.data_bytes / in_frame * out_frame;
    s.data_start = w.data_start;
  }
  s.reader = std::make_unique<WaveReader>(f, s.data_start, sample, s.source_channels);
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
