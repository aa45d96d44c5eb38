// Decoder behaviour on hand-built blocks: the cross-fade at joins and
// packets that end too early or hold garbage.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "audio_codec/audio_codec.h"
#include "audio_codec/block_layout.h"

namespace {

using namespace vex::audio_codec;

struct Free {
  void operator()(void *p) const { AudioCodecFree(p); }
};
using DecPtr = std::unique_ptr<AUDIODEC, Free>;

// A block whose only content is the first real value: the inverse
// transform gives x0 / 2 everywhere, the output x0 / sqrt(n).
std::vector<uint8_t> constant_block(uint32_t n, uint32_t bands, int value) {
  BlockContent c{};
  c.x0 = static_cast<float>(value * std::sqrt(static_cast<double>(n)));
  std::vector<uint8_t> out(max_block_bytes(n));
  out.resize(write_block(c, n, bands, out.data()));
  return out;
}

struct Decoded {
  std::vector<int16_t> pcm;
  int32_t complete;
  size_t used;
};

Decoded decode(AUDIODEC *d, const std::vector<uint8_t> &block, size_t available) {
  const int16_t *pcm = nullptr;
  uint32_t bytes = 0;
  const uint8_t *next = nullptr;
  Decoded r;
  r.complete = AudioDecBlock(d, &pcm, &bytes, block.data(), static_cast<uint32_t>(available), &next);
  r.used = static_cast<size_t>(next - block.data());
  r.pcm.assign(pcm, pcm + d->n);
  EXPECT_EQ(bytes, (d->n - d->overlap) * 2);
  return r;
}

TEST(CodecDecoder, FirstBlockPlainLaterBlocksCrossFade) {
  DecPtr d(AudioDecOpen(11025, 1, 1));
  const uint32_t n = d->n, v = d->overlap;
  const Decoded a = decode(d.get(), constant_block(n, d->bands, -1001), 1000);
  for (uint32_t i = 0; i < n; ++i)
    ASSERT_EQ(a.pcm[i], -1001) << i;
  const Decoded b = decode(d.get(), constant_block(n, d->bands, 777), 1000);
  for (uint32_t i = 0; i < v; ++i) {
    // floor((V - i) tail / V) + floor(i out / V), rounding toward minus infinity.
    const double want = std::floor((v - i) * -1001.0 / v) + std::floor(i * 777.0 / v);
    ASSERT_EQ(b.pcm[i], want) << i;
  }
  for (uint32_t i = v; i < n; ++i)
    ASSERT_EQ(b.pcm[i], 777) << i;
}

TEST(CodecDecoder, OutputIsClampedToSixteenBits) {
  DecPtr d(AudioDecOpen(22050, 1, 1));
  EXPECT_EQ(decode(d.get(), constant_block(d->n, d->bands, 40000), 100000).pcm[5], 32767);
  DecPtr d2(AudioDecOpen(22050, 1, 1));
  EXPECT_EQ(decode(d2.get(), constant_block(d2->n, d2->bands, -40000), 100000).pcm[5], -32768);
}

// Rounding to nearest with halves to even over a whole block: a block whose
// only content is x0 gives x0 / sqrt(n) in every sample before rounding.
TEST(CodecDecoder, OutputRoundsHalvesToEven) {
  for (const auto &[value, want] : {std::pair{2.5f, int16_t{2}}, {3.5f, int16_t{4}}, {-2.5f, int16_t{-2}},
                                    {-3.5f, int16_t{-4}}, {0.49f, int16_t{0}}, {1000.51f, int16_t{1001}}}) {
    DecPtr d(AudioDecOpen(22050, 1, 1));
    BlockContent c{};
    c.x0 = value * std::sqrt(static_cast<float>(d->n)); // sqrt(n) a power of two: exact
    std::vector<uint8_t> block(max_block_bytes(d->n));
    block.resize(write_block(c, d->n, d->bands, block.data()));
    const Decoded r = decode(d.get(), block, block.size());
    int wrong = 0;
    for (int16_t s : r.pcm)
      wrong += s != want;
    EXPECT_EQ(wrong, 0) << value << " first " << r.pcm[0];
  }
}

TEST(CodecDecoder, ReadsStopAtThePacketLength) {
  // A block with busy coefficients, given fewer words than it holds (its
  // last word has at least one bit that is not padding): the
  // decoder reports it incomplete and never reads or points past the packet
  // (the vector is sized exactly, so AddressSanitizer would see an overread).
  BlockContent c{};
  std::mt19937 gen(5);
  for (uint32_t i = 2; i < 1024; ++i)
    c.q[i] = static_cast<int16_t>(static_cast<int>(gen() % 2001) - 1000);
  std::vector<uint8_t> full(max_block_bytes(1024));
  full.resize(write_block(c, 1024, 23, full.data()));
  for (size_t cut : {size_t{0}, size_t{3}, size_t{7}, full.size() / 2, full.size() - 4}) {
    DecPtr d(AudioDecOpen(22050, 1, 1));
    std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<long>(cut));
    const int16_t *pcm = nullptr;
    uint32_t bytes = 0;
    const uint8_t *next = nullptr;
    EXPECT_EQ(AudioDecBlock(d.get(), &pcm, &bytes, part.data(), static_cast<uint32_t>(cut), &next), 0) << cut;
    EXPECT_LE(next, part.data() + cut);
    EXPECT_EQ(bytes, (d->n - d->overlap) * 2);
  }
  DecPtr d(AudioDecOpen(22050, 1, 1));
  const Decoded whole = decode(d.get(), full, full.size());
  EXPECT_EQ(whole.complete, 1);
  EXPECT_EQ(whole.used, full.size());
  // More bytes than the block needs: it stops at its own end.
  std::vector<uint8_t> padded = full;
  padded.resize(full.size() + 40, 0xFF);
  DecPtr d2(AudioDecOpen(22050, 1, 1));
  EXPECT_EQ(decode(d2.get(), padded, padded.size()).used, full.size());
}

TEST(CodecDecoder, GarbageDecodesToSomethingBounded) {
  std::mt19937 gen(17);
  for (const auto &[rate, ch] : {std::pair{11025u, 1u}, std::pair{22050u, 2u}, std::pair{44100u, 2u}}) {
    DecPtr d(AudioDecOpen(rate, ch, 1));
    for (int t = 0; t < 20; ++t) {
      std::vector<uint8_t> junk(gen() % 9000);
      for (auto &b : junk)
        b = static_cast<uint8_t>(gen());
      const Decoded r = decode(d.get(), junk, junk.size());
      EXPECT_LE(r.used, junk.size());
      EXPECT_EQ(r.used % 4 == 0 || r.used == junk.size(), true);
    }
  }
}

} // namespace
