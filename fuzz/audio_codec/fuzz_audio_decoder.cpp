// Decodes arbitrary bytes as a stream of coded sound blocks. The first two
// bytes pick the geometry (rate class and channels) and the packet lengths
// the container would give; the rest is the stream. Every block must stay
// inside its packet and produce exactly one hop of PCM.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "audio_codec/audio_codec.h"

namespace {

constexpr uint32_t kRates[] = {8000, 11025, 22050, 44100, 0, 0xFFFFFFFFu, 16000, 48000};

struct Free {
  void operator()(void *p) const { AudioCodecFree(p); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2)
    return 0;
  const uint32_t rate = kRates[data[0] & 7];
  const uint32_t channels = (data[0] >> 3) & 1 ? 2 : 1;
  const uint32_t length_seed = data[1];
  data += 2;
  size -= 2;
  std::unique_ptr<AUDIODEC, Free> d(AudioDecOpen(rate, channels, 1));
  if (!d)
    return 0;
  size_t pos = 0;
  uint32_t k = 0;
  while (pos < size) {
    // Packet lengths: the rest of the input, or a slice that varies with
    // the seed (so blocks are cut short as well as given room to spare).
    size_t packet = size - pos;
    if (length_seed & 1)
      packet = std::min<size_t>(packet, 1 + (length_seed * 37 + k * 101) % 9000);
    // An exact copy, so that any read past the packet is an overflow.
    std::vector<uint8_t> block(data + pos, data + pos + packet);
    const int16_t *pcm = nullptr;
    uint32_t bytes = 0;
    const uint8_t *next = nullptr;
    AudioDecBlock(d.get(), &pcm, &bytes, block.data(), static_cast<uint32_t>(packet), &next);
    if (next < block.data() || next > block.data() + packet || bytes != (d->n - d->overlap) * 2)
      std::abort();
    volatile int16_t sink = pcm[d->n - 1];
    (void)sink;
    const size_t used = static_cast<size_t>(next - block.data());
    pos += used > 0 ? used : packet;
    ++k;
  }
  return 0;
}
