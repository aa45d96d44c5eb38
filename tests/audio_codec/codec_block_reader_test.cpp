// The block reader (an accumulator refilled 8 bytes at a time, run headers
// and narrow coefficients read through tables) against a plain reading that
// takes one bit at a time from the bytes, on written blocks, their
// truncations and garbage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "audio_codec/block_bits.h"
#include "audio_codec/block_layout.h"

namespace {

using namespace vex::audio_codec;

// Bit i of the stream is bit i % 8 of byte i / 8; bits past the end are 0.
class PlainBits {
public:
  PlainBits(const uint8_t *data, uint32_t size) : data_(data), size_(size) {}
  uint32_t get(uint32_t bits) {
    uint32_t v = 0;
    for (uint32_t k = 0; k < bits; ++k, ++at_)
      if (at_ / 8 < size_ && (data_[at_ / 8] >> (at_ % 8) & 1u))
        v |= 1u << k;
    return v;
  }
  uint64_t at() const { return at_; }

private:
  const uint8_t *data_;
  uint32_t size_;
  uint64_t at_ = 0;
};

struct PlainResult {
  BlockContent c{};
  uint32_t x0_bits = 0, x1_bits = 0;
  bool complete = false;
  uint32_t used = 0;
};

// The layout read as it is written down, one field at a time.
PlainResult plain_read(const std::vector<uint8_t> &block, uint32_t size, uint32_t n, uint32_t bands) {
  PlainBits b(block.data(), size);
  PlainResult r;
  r.x0_bits = b.get(29);
  r.x1_bits = b.get(29);
  for (uint32_t k = 0; k < bands; ++k)
    r.c.step_code[k] = static_cast<uint8_t>(b.get(8));
  const uint64_t limit = uint64_t{size} * 8;
  for (uint32_t i = 2; i < n && b.at() <= limit;) {
    uint32_t count = 8;
    if (b.get(1))
      count = kRunGroups[b.get(4)] * 8;
    count = std::min(count, n - i);
    const uint32_t w = b.get(4);
    for (uint32_t k = 0; k < count; ++k, ++i) {
      const auto mag = static_cast<int>(w ? b.get(w) : 0);
      r.c.q[i] = static_cast<int16_t>(mag != 0 && b.get(1) ? -mag : mag);
    }
  }
  r.complete = b.at() <= limit;
  r.used = static_cast<uint32_t>(std::min<uint64_t>((b.at() + 31) / 32 * 4, size));
  return r;
}

void expect_same_reading(const std::vector<uint8_t> &block, uint32_t size, uint32_t n, uint32_t bands,
                         const char *what) {
  const PlainResult want = plain_read(block, size, n, bands);
  BlockContent got{};
  bool complete = !want.complete;
  ASSERT_EQ(read_block(block.data(), size, n, bands, got, &complete), want.used) << what << " size " << size;
  ASSERT_EQ(complete, want.complete) << what << " size " << size;
  ASSERT_EQ(got.x0, decode_29(want.x0_bits)) << what;
  ASSERT_EQ(got.x1, decode_29(want.x1_bits)) << what;
  ASSERT_EQ(std::memcmp(got.step_code, want.c.step_code, bands), 0) << what;
  for (uint32_t i = 2; i < n; ++i)
    ASSERT_EQ(got.q[i], want.c.q[i]) << what << " size " << size << " coefficient " << i;
}

TEST(CodecBlockReader, FieldsMatchAPlainBitByBitReading) {
  std::mt19937 gen(41);
  for (uint32_t size = 0; size < 48; ++size) {
    std::vector<uint8_t> data(size);
    for (auto &x : data)
      x = static_cast<uint8_t>(gen());
    BlockReader fast(data.data(), size);
    PlainBits plain(data.data(), size);
    // Fields of every width, run on well past the end (zeros there).
    while (plain.at() < uint64_t{size} * 8 + 150) {
      const uint32_t bits = gen() % 33;
      ASSERT_EQ(fast.get(bits), plain.get(bits)) << "size " << size << " at " << plain.at();
      ASSERT_EQ(fast.bits_read(), plain.at());
      ASSERT_EQ(fast.overran(), plain.at() > uint64_t{size} * 8);
      ASSERT_EQ(fast.bytes_used(), std::min<uint64_t>((plain.at() + 31) / 32 * 4, size));
    }
  }
}

TEST(CodecBlockReader, CoefficientsMatchAPlainReadingOfEveryWidth) {
  std::mt19937 gen(43);
  for (const auto &[n, bands] : {std::pair{512u, 20u}, std::pair{1024u, 23u}, std::pair{2048u, 24u},
                                 std::pair{4096u, 25u}}) {
    for (uint32_t width = 0; width <= 15; ++width) {
      // Runs of random lengths, most groups at this width, some at its
      // neighbours so that run headers of both kinds appear.
      BlockContent c{};
      c.x0 = static_cast<float>(gen() % 100000) - 50000.0f;
      c.x1 = static_cast<float>(gen() % 1000) * 0.25f;
      for (uint32_t b = 0; b < bands; ++b)
        c.step_code[b] = static_cast<uint8_t>(gen());
      for (uint32_t i = 2; i < n;) {
        const uint32_t w = gen() % 4 == 0 ? std::min<uint32_t>(15u, width + static_cast<uint32_t>(gen() % 3)) : width;
        const uint32_t groups = 1 + gen() % 12;
        for (uint32_t k = 0; k < 8 * groups && i < n; ++k, ++i) {
          const int top = (1 << w) - 1;
          const int mag = w == 0 ? 0 : static_cast<int>(gen() % static_cast<uint32_t>(top + 1));
          c.q[i] = static_cast<int16_t>(gen() % 2 ? -mag : mag);
        }
      }
      std::vector<uint8_t> block(max_block_bytes(n));
      block.resize(write_block(c, n, bands, block.data()));
      BlockContent back{};
      bool complete = false;
      ASSERT_EQ(read_block(block.data(), static_cast<uint32_t>(block.size()), n, bands, back, &complete),
                block.size());
      ASSERT_TRUE(complete);
      ASSERT_EQ(std::memcmp(back.q + 2, c.q + 2, (n - 2) * 2), 0) << "n " << n << " width " << width;
      // Cut short at word boundaries and between them, and given room to spare.
      for (uint32_t cut = 0; cut < block.size(); cut += 1 + gen() % 97)
        expect_same_reading(block, cut, n, bands, "cut");
      std::vector<uint8_t> spare = block;
      spare.resize(block.size() + 11, 0xA5);
      expect_same_reading(spare, static_cast<uint32_t>(spare.size()), n, bands, "spare");
    }
  }
}

TEST(CodecBlockReader, GarbageReadsAsThePlainReadingDoes) {
  std::mt19937 gen(47);
  for (int t = 0; t < 200; ++t) {
    const uint32_t n = 512u << (t % 4);
    // Uniform bytes give wide runs; sparse ones give narrow runs and long
    // zero runs, where the pair tables and the run-header table do the work.
    std::vector<uint8_t> junk(gen() % 3000);
    for (auto &x : junk)
      x = static_cast<uint8_t>(t % 3 == 0 ? gen() : t % 3 == 1 ? gen() & gen() & gen() : (gen() % 7 == 0) * gen());
    expect_same_reading(junk, static_cast<uint32_t>(junk.size()), n, static_cast<uint32_t>(t % 26), "garbage");
  }
}

} // namespace
