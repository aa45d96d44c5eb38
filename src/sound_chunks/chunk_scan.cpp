#include "sound_chunks/chunk_scan.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "audio_codec/audio_codec.h"
#include "util/bytes.h"
#include "util/status.h"

namespace vex::sound_chunks {
namespace {

struct DecoderFree {
  void operator()(AUDIODEC *d) const { AudioCodecFree(d); }
};

// The rates tried after the one the caller gives.
constexpr uint32_t kCommonRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};

// Blocks are laid out by the window length and the band count alone, and
// a stereo window is one sequence at twice the rate: mono at 2R and stereo
// at R code the same samples into the same bits (22050 mono is 11025
// stereo; 44100 and 48000 mono share 22050's and 32000's stereo layouts).
// The first common rate at which the other channel count has the layout of
// `rate` and `channels`; 0 when none does.
uint32_t twin_rate(uint32_t rate, uint32_t channels) {
  const audio_codec::CodecGeometry g = audio_codec::codec_geometry(rate, channels);
  for (uint32_t r : kCommonRates) {
    const audio_codec::CodecGeometry o = audio_codec::codec_geometry(r, channels == 2 ? 1 : 2);
    if (o.n == g.n && o.bands == g.bands)
      return r;
  }
  return 0;
}

// Decoded samples looked at to tell mono from stereo.
constexpr size_t kLookSamples = 1 << 16;

// Whether decoded samples read as one signal (1) or two interleaved (2).
// Taken in pairs, one signal at twice the rate has pair differences that
// are its slope, so they follow the slope of the pair sums (sums two pairs
// apart); two channels have pair differences of their own (left minus
// right). One signal that is mostly noise follows nothing, but then moves
// from one sample to the next less than over two, and alike from even and
// odd samples; channels that move together (left equals right) differ in
// kind between their even steps (across channels) and odd ones. Sound that
// tells neither (silence, white noise) is taken as stereo.
uint32_t channels_of_samples(const std::vector<int16_t> &x) {
  double even = 0, odd = 0, two = 0; // squared steps from even samples, odd ones, and over two
  for (size_t i = 0; i + 2 < x.size(); ++i) {
    const double d1 = double(x[i + 1]) - x[i], d2 = double(x[i + 2]) - x[i];
    (i % 2 == 0 ? even : odd) += d1 * d1;
    two += d2 * d2;
  }
  const auto sum = [&](size_t k) { return double(x[2 * k]) + x[2 * k + 1]; };
  double dd = 0, ss = 0, ds = 0; // pair differences against the slope of the pair sums
  for (size_t k = 1; k + 1 < x.size() / 2; ++k) {
    const double d = double(x[2 * k]) - x[2 * k + 1], slope = sum(k + 1) - sum(k - 1);
    dd += d * d;
    ss += slope * slope;
    ds += d * slope;
  }
  const bool follows = dd > 0 && ss > 0 && ds * ds >= 0.5 * dd * ss;
  const bool smooth_alike = even + odd < 0.8 * two && even <= 1.5 * odd && odd <= 1.5 * even;
  return follows || smooth_alike ? 1 : 2;
}

} // namespace

uint32_t huffman_variant(const ChunkHead &c) {
  const uint32_t v = c.size > 8 ? c.lead & 7u : 0u;
  return (v & 1) && c.count > 0 && c.count % variant_frame(v) == 0 ? v : 0;
}

ChunkWalk::ChunkWalk(const file::ByteSource &source) : source_(source), window_(source) {
  ready_ = window_.set_window(kWindow);
}

bool ChunkWalk::fetch(uint64_t offset, size_t n, std::span<const uint8_t> &out) {
  if (window_.fetch(offset, n, out))
    return true;
  // Callers ask only for bytes within the source's size: a short read is
  // the system's refusal (or memory for a spill running out).
  if (!failed_ && util::last_status() != util::Status::kOutOfMemory)
    util::fail(util::Status::kReadFailed, "%zu bytes at %llu of %s cannot be read", n,
               static_cast<unsigned long long>(offset), source_.name().c_str());
  failed_ = true;
  return false;
}

bool ChunkWalk::chunk_at(uint64_t offset, ChunkHead &c) {
  const uint64_t size = source_.size();
  if (offset > size || size - offset < 8)
    return false;
  const uint64_t left = size - offset;
  std::span<const uint8_t> words;
  if (!fetch(offset, left > 8 ? 9 : 8, words))
    return false;
  const uint32_t chunk = util::le32(words.data());
  if (chunk < 8 || chunk % 4 != 0 || chunk > left)
    return false;
  c = {offset, chunk, util::le32(words.data() + 4), chunk > 8 ? words[8] : 0u};
  return true;
}

// The blocks must end within the padding and decode to the count word,
// give or take one window (the last block's lead-out). Every block gives
// the same number of bytes, so the decoded total only grows by steps of
// that: once past count + one window it can never come back.
bool ChunkWalk::blocks_tile(const ChunkHead &c, uint32_t rate, uint32_t channels, std::vector<int16_t> *samples) {
  std::unique_ptr<AUDIODEC, DecoderFree> dec(AudioDecOpen(rate, channels, 1));
  if (!dec)
    return false;
  uint64_t at = c.offset + 8;
  const uint64_t end = c.offset + c.size;
  uint64_t decoded = 0;
  uint32_t window = 0;
  while (end - at > 3) {
    const auto room = static_cast<uint32_t>(std::min<uint64_t>(end - at, kBlockRoom));
    std::span<const uint8_t> bytes;
    if (!fetch(at, room, bytes))
      return false;
    const int16_t *pcm = nullptr;
    const uint8_t *next = nullptr;
    if (AudioDecBlock(dec.get(), &pcm, &window, bytes.data(), room, &next) != 1 || !next || next <= bytes.data())
      return false;
    decoded += window;
    if (decoded > uint64_t{c.count} + window)
      return false;
    if (samples && pcm && samples->size() < kLookSamples)
      samples->insert(samples->end(), pcm, pcm + std::min<size_t>(window, kLookSamples - samples->size()));
    at += static_cast<uint64_t>(next - bytes.data());
  }
  return window != 0 && decoded >= c.count;
}

ChunkWalk::TransformFit ChunkWalk::transform_fit(const ChunkHead &c, uint32_t rate) {
  if (rate != 0)
    for (uint32_t ch : {1u, 2u})
      if (!failed_ && blocks_tile(c, rate, ch))
        return {rate, ch};
  // At a rate found by trying, a layout that both channel counts share is
  // told by the decoded sound; the rate is then the first common one of
  // that channel count with the layout.
  for (uint32_t r : kCommonRates)
    for (uint32_t ch : {1u, 2u}) {
      std::vector<int16_t> samples;
      const uint32_t twin = twin_rate(r, ch);
      if (failed_ || !blocks_tile(c, r, ch, twin ? &samples : nullptr))
        continue;
      const uint32_t told = twin ? channels_of_samples(samples) : ch;
      return told == ch ? TransformFit{r, ch} : TransformFit{twin, told};
    }
  return {};
}

bool scan_stream(ChunkWalk &walk, bool raw, uint32_t rate, StreamSummary &out) {
  ChunkHead first, c;
  uint64_t at = 0, counts = 0;
  bool all_huffman = true;
  while (walk.chunk_at(at, c)) {
    if (out.chunk_count == 0)
      first = c;
    const uint32_t v = huffman_variant(c);
    all_huffman = all_huffman && v != 0 && v == huffman_variant(first);
    ++out.chunk_count;
    out.chunk_bytes += c.size;
    counts += c.count;
    at += c.size;
  }
  if (walk.failed())
    return false;
  out.trailing = walk.size() - at; // from the first byte that starts no whole chunk
  out.pcm_bytes = raw ? out.chunk_bytes - 4 * out.chunk_count : counts;
  if (raw || out.chunk_count == 0) {
    out.coding = raw ? Coding::raw : Coding::unknown;
    return true;
  }
  // Coded blocks that fill the first chunk make it a transform stream,
  // whatever its first byte looks like.
  if (const ChunkWalk::TransformFit fit = walk.transform_fit(first, rate); fit.channels != 0) {
    out.coding = Coding::transform;
    out.channels = fit.channels;
    out.rate = fit.rate;
    out.bits = 16;
  } else if (all_huffman) {
    out.coding = Coding::huffman;
    out.variant = huffman_variant(first);
    out.channels = out.variant & 2 ? 2 : 1;
    out.bits = out.variant & 4 ? 16 : 8;
  } else {
    out.coding = Coding::unknown;
  }
  return !walk.failed();
}

} // namespace vex::sound_chunks
