#include "testkit/audio_codec/codec_driver.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "audio_codec/audio_codec.h"

namespace vex::testkit {

CodedStream encode_stream(const Pcm &pcm, uint32_t rate, uint32_t channels, uint32_t quality) {
  AUDIOENC *e = AudioEncOpen(rate, channels);
  if (!e)
    throw std::runtime_error("AudioEncOpen failed");
  CodedStream s;
  s.n = e->n;
  s.overlap = e->overlap;
  s.bands = e->bands;
  std::memcpy(s.edge, e->edge, sizeof s.edge);
  const uint32_t total = static_cast<uint32_t>(pcm.size() * 2);
  uint32_t fed = 0;
  // An empty sound still codes one window.
  do {
    void *where = nullptr;
    uint32_t room = 0;
    AudioEncInput(e, &where, &room);
    const uint32_t placed = std::min(room, total - fed);
    if (placed > 0)
      std::memcpy(where, reinterpret_cast<const uint8_t *>(pcm.data()) + fed, placed);
    fed += placed;
    const uint8_t *block = nullptr;
    uint32_t size = 0, accounted = 0;
    AudioEncBlock(e, quality, placed, &block, &size, &accounted);
    CodedBlock b;
    b.bytes.assign(block, block + size);
    std::copy(e->last_threshold, e->last_threshold + audio_codec::kMaxBands, b.threshold);
    std::copy(e->last_step, e->last_step + audio_codec::kMaxBands, b.step);
    std::copy(e->last_found, e->last_found + audio_codec::kMaxBands, b.found);
    s.blocks.push_back(std::move(b));
    s.pcm_bytes += accounted;
  } while (s.pcm_bytes < total);
  AudioCodecFree(e);

  // The windows: block k covers samples k (N - V) .. k (N - V) + N - 1,
  // padded with the last real sample.
  const size_t hop = s.n - s.overlap;
  for (size_t k = 0; k < s.blocks.size(); ++k) {
    auto &w = s.blocks[k].window;
    w.resize(s.n);
    const size_t start = std::min(k * hop, pcm.size());
    int16_t last = start > 0 ? pcm[start - 1] : int16_t{0};
    for (size_t i = 0; i < s.n; ++i) {
      const size_t at = k * hop + i;
      if (at < pcm.size())
        last = pcm[at];
      w[i] = last;
    }
  }
  return s;
}

Pcm decode_stream(const CodedStream &s, uint32_t rate, uint32_t channels) {
  AUDIODEC *d = AudioDecOpen(rate, channels, 1);
  if (!d)
    throw std::runtime_error("AudioDecOpen failed");
  Pcm out;
  for (const auto &b : s.blocks) {
    const int16_t *pcm = nullptr;
    uint32_t bytes = 0;
    const uint8_t *next = nullptr;
    if (AudioDecBlock(d, &pcm, &bytes, b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), &next) != 1)
      throw std::runtime_error("block incomplete");
    if (next != b.bytes.data() + b.bytes.size())
      throw std::runtime_error("block size differs from what the encoder wrote");
    out.insert(out.end(), pcm, pcm + bytes / 2);
  }
  AudioCodecFree(d);
  out.resize(s.pcm_bytes / 2);
  return out;
}

Pcm decode_alone(const std::vector<uint8_t> &block, uint32_t rate, uint32_t channels) {
  AUDIODEC *d = AudioDecOpen(rate, channels, 1);
  if (!d)
    throw std::runtime_error("AudioDecOpen failed");
  const int16_t *pcm = nullptr;
  uint32_t bytes = 0;
  const uint8_t *next = nullptr;
  AudioDecBlock(d, &pcm, &bytes, block.data(), static_cast<uint32_t>(block.size()), &next);
  Pcm out(pcm, pcm + d->n);
  AudioCodecFree(d);
  return out;
}

} // namespace vex::testkit
