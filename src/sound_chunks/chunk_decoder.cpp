#include "sound_chunks/chunk_decoder.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "audio_codec/audio_codec.h"
#include "util/status.h"

namespace vex::sound_chunks {
namespace {

using util::Status;

// Raw bytes, or Huffman sample frames, per piece.
constexpr uint64_t kRawPiece = 16 * 1024;
constexpr uint64_t kHuffmanPieceFrames = 4096;
// A frame's codes take at most four codes of the longest length; a piece
// that is not the body's last decodes only while this much is left of it.
constexpr uint64_t kFrameBitsAtMost = 4 * huff::Table8::kMaxLength;

// Adds a channel's delta (little-endian over its bytes) to its last sample.
template <uint32_t SampleBytes, uint32_t Channels>
void add_deltas(const uint8_t *delta, std::array<uint32_t, 2> &previous, uint8_t *out) {
  constexpr uint32_t kMask = SampleBytes == 1 ? 0xFFu : 0xFFFFu;
  for (uint32_t c = 0; c < Channels; ++c) {
    const uint8_t *d = delta + c * SampleBytes;
    const uint32_t value = SampleBytes == 1 ? d[0] : d[0] | uint32_t{d[1]} << 8;
    const uint32_t sample = (previous[c] + value) & kMask;
    previous[c] = sample;
    out[c * SampleBytes] = static_cast<uint8_t>(sample);
    if constexpr (SampleBytes == 2)
      out[c * SampleBytes + 1] = static_cast<uint8_t>(sample >> 8);
  }
}

} // namespace

ChunkDecoder::ChunkDecoder(const file::ByteSource &source, const StreamSummary &stream)
    : source_(source), stream_(stream), walk_(source), window_(source) {
  ready_ = walk_.ready() && window_.set_window(kWindow);
  if (ready_ && stream_.coding == Coding::huffman)
    tables_ = std::make_unique<std::array<huff::Table8, 4>>();
  if (ready_ && stream_.coding == Coding::transform) {
    codec_ = AudioDecOpen(stream_.rate, stream_.channels, 1);
    ready_ = codec_ != nullptr;
    if (!ready_)
      util::fail(Status::kOutOfMemory);
  }
  pending_.reserve(std::max<size_t>(kRawPiece, kHuffmanPieceFrames * 4));
}

ChunkDecoder::~ChunkDecoder() { AudioCodecFree(codec_); }

void ChunkDecoder::rewind() {
  next_offset_ = 0;
  number_ = 0;
  in_chunk_ = false;
  ended_ = !ready_;
  pending_.clear();
  pending_at_ = 0;
  if (codec_) {
    // The codec starts afresh: its first block has no overlap before it.
    AudioCodecFree(codec_);
    codec_ = AudioDecOpen(stream_.rate, stream_.channels, 1);
    ended_ = ended_ || codec_ == nullptr;
  }
}

uint32_t ChunkDecoder::read(uint8_t *dest, uint32_t space) {
  uint32_t done = 0;
  while (done < space) {
    if (pending_at_ == pending_.size()) {
      pending_.clear();
      pending_at_ = 0;
      // What a damaged chunk decoded before its damage still goes out.
      if (!produce() && pending_.empty())
        break;
      continue;
    }
    const auto n = static_cast<uint32_t>(std::min<size_t>(space - done, pending_.size() - pending_at_));
    std::copy_n(pending_.data() + pending_at_, n, dest + done);
    pending_at_ += n;
    done += n;
  }
  return done;
}

bool ChunkDecoder::damaged(const char *format, ...) {
  char what[192];
  va_list args;
  va_start(args, format);
  std::vsnprintf(what, sizeof what, format, args);
  va_end(args);
  char text[256];
  std::snprintf(text, sizeof text, "chunk %llu (at byte %llu): %s", static_cast<unsigned long long>(number_),
                static_cast<unsigned long long>(chunk_.offset), what);
  if (damage_.empty())
    damage_ = text;
  ended_ = true;
  return util::fail(Status::kDamaged, "%s", text);
}

bool ChunkDecoder::fetch(uint64_t offset, uint64_t n, std::span<const uint8_t> &out) {
  if (window_.fetch(offset, static_cast<size_t>(n), out))
    return true;
  // The chunk was whole when the stream was opened: the file has changed
  // since, or the system refused the read.
  if (!source_.read_failed() && util::last_status() != Status::kOutOfMemory)
    return damaged("no longer a whole chunk: the file ends before byte %llu",
                   static_cast<unsigned long long>(offset + n));
  return damaged("%llu bytes at %llu cannot be read: %s", static_cast<unsigned long long>(n),
                 static_cast<unsigned long long>(offset), util::last_reason());
}

// One more piece into pending_ (possibly none: the start of a raw or
// transform chunk, a transform block beyond the chunk's count); false at
// the end or at damage.
bool ChunkDecoder::produce() {
  if (ended_ || !ready_)
    return false;
  if (!in_chunk_)
    return start_chunk();
  switch (stream_.coding) {
  case Coding::raw: return raw_piece();
  case Coding::huffman: return huffman_piece();
  case Coding::transform: return transform_piece();
  default: ended_ = true; return false;
  }
}

void ChunkDecoder::next_chunk() {
  in_chunk_ = false;
  next_offset_ = chunk_.offset + chunk_.size;
}

bool ChunkDecoder::start_chunk() {
  if (number_ >= stream_.chunk_count) {
    ended_ = true;
    return false;
  }
  const uint64_t at = next_offset_;
  if (!walk_.chunk_at(at, chunk_)) {
    ++number_;
    chunk_.offset = at;
    return walk_.failed() ? damaged("%s", util::last_reason()) : damaged("no longer a whole chunk");
  }
  ++number_;
  in_chunk_ = true;
  switch (stream_.coding) {
  case Coding::raw:
    at_ = chunk_.offset + 4;
    left_ = chunk_.size - 4;
    return true;
  case Coding::transform:
    at_ = chunk_.offset + 8;
    left_ = chunk_.count;
    return true;
  default: return start_huffman();
  }
}

// The variant, one table per byte of a sample frame, and the first frame
// as plain bytes (its last byte first), which goes out as it is.
bool ChunkDecoder::start_huffman() {
  const uint64_t body = chunk_.offset + 8;
  const uint64_t body_bytes = chunk_.size - 8;
  frame_bytes_ = variant_frame(stream_.variant);
  std::span<const uint8_t> bytes;
  if (!fetch(body, std::min<uint64_t>(body_bytes, kWindow), bytes))
    return false;
  huff::BitReader in(bytes);
  uint32_t variant = 0;
  if (!in.take(3, variant) || variant != stream_.variant)
    return damaged("variant %u, where the stream's chunks have %u", variant, stream_.variant);
  if (chunk_.count == 0 || chunk_.count % frame_bytes_ != 0)
    return damaged("a count of %u bytes is no whole number of %u-byte frames", chunk_.count, frame_bytes_);
  for (uint32_t t = 0; t < frame_bytes_; ++t)
    if (!(*tables_)[t].read(in))
      return damaged("table %u: %s", t + 1, util::last_reason());
  std::array<uint8_t, 4> first{};
  for (uint32_t b = frame_bytes_; b-- > 0;) {
    uint32_t byte = 0;
    if (!in.take(8, byte))
      return damaged("the first sample frame is cut short");
    first[b] = static_cast<uint8_t>(byte);
  }
  const uint32_t sample_bytes = stream_.bits / 8;
  for (uint32_t c = 0; c < stream_.channels; ++c)
    previous_[c] = sample_bytes == 1 ? first[c] : first[2 * c] | uint32_t{first[2 * c + 1]} << 8;
  frames_left_ = chunk_.count / frame_bytes_ - 1;
  for (uint32_t t = 0; t < frame_bytes_ && frames_left_ > 0; ++t)
    if (!(*tables_)[t].present())
      return damaged("byte %u of the deltas has no table", t + 1);
  bit_ = in.position();
  pending_.insert(pending_.end(), first.begin(), first.begin() + frame_bytes_);
  if (frames_left_ == 0)
    next_chunk();
  return true;
}

bool ChunkDecoder::huffman_piece() {
  const uint64_t body = chunk_.offset + 8;
  const uint64_t body_end = chunk_.offset + chunk_.size;
  const uint64_t from = body + bit_ / 8;
  const uint64_t n = std::min<uint64_t>(body_end - from, kWindow);
  std::span<const uint8_t> bytes;
  if (!fetch(from, n, bytes))
    return false;
  huff::BitReader in(bytes, static_cast<uint32_t>(bit_ % 8));
  const bool last = from + n == body_end;
  const uint64_t frames = std::min(frames_left_, kHuffmanPieceFrames);
  pending_.resize(frames * frame_bytes_);
  uint8_t *out = pending_.data();
  std::array<uint8_t, 4> delta{};
  uint64_t made = 0;
  for (; made < frames && (last || in.left() >= kFrameBitsAtMost); ++made, out += frame_bytes_) {
    for (uint32_t t = 0; t < frame_bytes_; ++t) {
      const int32_t symbol = (*tables_)[t].decode(in);
      if (symbol < 0) {
        pending_.resize(made * frame_bytes_);
        return damaged("the codes run past its end, %llu sample frames short",
                       static_cast<unsigned long long>(frames_left_ - made));
      }
      delta[t] = static_cast<uint8_t>(symbol);
    }
    switch (stream_.variant) {
    case 1: add_deltas<1, 1>(delta.data(), previous_, out); break;
    case 3: add_deltas<1, 2>(delta.data(), previous_, out); break;
    case 5: add_deltas<2, 1>(delta.data(), previous_, out); break;
    default: add_deltas<2, 2>(delta.data(), previous_, out); break;
    }
  }
  pending_.resize(made * frame_bytes_);
  bit_ = (from - body) * 8 + in.position();
  frames_left_ -= made;
  if (frames_left_ == 0)
    next_chunk();
  return true;
}

bool ChunkDecoder::raw_piece() {
  const uint64_t n = std::min(left_, kRawPiece);
  pending_.resize(n);
  if (n > 0 && !source_.read_exact(at_, pending_.data(), n)) {
    pending_.clear();
    if (source_.read_failed())
      return damaged("%llu bytes at %llu cannot be read", static_cast<unsigned long long>(n),
                     static_cast<unsigned long long>(at_));
    return damaged("no longer a whole chunk: the file ends before byte %llu", static_cast<unsigned long long>(at_ + n));
  }
  at_ += n;
  left_ -= n;
  if (left_ == 0)
    next_chunk();
  return true;
}

// One coded block. Every block of a chunk is decoded, those beyond its
// count too: the next chunk's first block fades in from the last one.
bool ChunkDecoder::transform_piece() {
  const uint64_t end = chunk_.offset + chunk_.size;
  if (end - at_ <= 3) {
    if (left_ > 0)
      return damaged("its blocks decode to %llu bytes fewer than its count of %u",
                     static_cast<unsigned long long>(left_), chunk_.count);
    next_chunk();
    return true;
  }
  const auto room = static_cast<uint32_t>(std::min<uint64_t>(end - at_, kBlockRoom));
  std::span<const uint8_t> bytes;
  if (!fetch(at_, room, bytes))
    return false;
  const int16_t *pcm = nullptr;
  const uint8_t *next = nullptr;
  uint32_t pcm_bytes = 0;
  if (AudioDecBlock(codec_, &pcm, &pcm_bytes, bytes.data(), room, &next) != 1 || !next || next <= bytes.data())
    return damaged("the coded block at byte %llu runs past its end", static_cast<unsigned long long>(at_));
  at_ += static_cast<uint64_t>(next - bytes.data());
  const auto take = static_cast<uint32_t>(std::min<uint64_t>(pcm_bytes, left_));
  pending_.resize(take);
  for (uint32_t i = 0; i < take / 2; ++i) {
    const auto v = static_cast<uint16_t>(pcm[i]);
    pending_[2 * i] = static_cast<uint8_t>(v);
    pending_[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  left_ -= take;
  return true;
}

} // namespace vex::sound_chunks
