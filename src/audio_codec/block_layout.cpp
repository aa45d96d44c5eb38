#include "audio_codec/block_layout.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "audio_codec/block_bits.h"

namespace vex::audio_codec {
namespace {

constexpr uint32_t kGroup = 8;

// Magnitudes are 15 bits; -32768 (never produced by the quantiser) counts
// as 32767.
uint32_t magnitude(int16_t v) {
  const auto m = static_cast<uint32_t>(std::abs(int{v}));
  return m > 32767u ? 32767u : m;
}

uint32_t group_count(uint32_t n) { return (n - 2 + kGroup - 1) / kGroup; }

// Greedy run from group g: the longest table length whose groups all have
// the width of group g, trying lengths in table order and stopping at the
// first that fails. Returns the run code (-1: a run of one group) and sets
// the number of groups it covers.
int choose_run(const uint8_t *widths, uint32_t g, uint32_t groups, uint32_t *covered) {
  const uint32_t left = groups - g;
  *covered = 1;
  if (left == 1)
    return -1;
  const uint8_t w = widths[g];
  int code = -1;
  uint32_t checked = 1; // groups g .. g+checked-1 are known to have width w
  for (uint32_t c = 0; c < kRunGroups.size(); ++c) {
    const uint32_t want = kRunGroups[c] < left ? kRunGroups[c] : left;
    while (checked < want && widths[g + checked] == w)
      ++checked;
    if (checked < want)
      break;
    code = static_cast<int>(c);
    *covered = want;
    if (want == left)
      break; // the run reaches the end; its code may stand for more groups
  }
  return code;
}

void write_group(BlockWriter &bw, const int16_t *q, uint32_t count, uint32_t width) {
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t mag = magnitude(q[i]);
    bw.put(mag, width);
    if (mag != 0)
      bw.put(q[i] < 0 ? 1u : 0u, 1);
  }
}

} // namespace

uint32_t encode_29(float x) {
  const float a = std::fabs(x);
  const float limit = 4194303.0f; // keeps e within 22, far above any window's value
  const float clamped = a < limit ? a : limit;
  const auto n = static_cast<uint32_t>(std::lrint(clamped));
  const auto e = static_cast<uint32_t>(std::bit_width(n));
  auto m = static_cast<uint32_t>(std::lrint(std::ldexp(clamped, 23 - static_cast<int>(e))));
  if (m > 0x7FFFFFu)
    m = 0x7FFFFFu;
  return e | m << 5 | (x < 0 ? 1u << 28 : 0u);
}

float decode_29(uint32_t bits) {
  const int e = static_cast<int>(bits & 31u);
  const float v = std::ldexp(static_cast<float>((bits >> 5) & 0x7FFFFFu), e - 23);
  return bits >> 28 & 1u ? -v : v;
}

void group_widths(const int16_t *q, uint32_t n, uint8_t *widths) {
  const uint32_t groups = group_count(n);
  for (uint32_t g = 0; g < groups; ++g) {
    const uint32_t first = 2 + g * kGroup;
    const uint32_t end = first + kGroup < n ? first + kGroup : n;
    uint32_t largest = 0;
    for (uint32_t i = first; i < end; ++i) {
      const auto mag = magnitude(q[i]);
      largest = mag > largest ? mag : largest;
    }
    widths[g] = static_cast<uint8_t>(std::bit_width(largest));
  }
}

uint32_t write_block(const BlockContent &c, uint32_t n, uint32_t bands, uint8_t *out) {
  BlockWriter bw(out);
  bw.put(encode_29(c.x0), 29);
  bw.put(encode_29(c.x1), 29);
  for (uint32_t b = 0; b < bands; ++b)
    bw.put(c.step_code[b], 8);
  uint8_t widths[kMaxWindow / kGroup];
  group_widths(c.q, n, widths);
  const uint32_t groups = group_count(n);
  for (uint32_t g = 0; g < groups;) {
    uint32_t covered = 1;
    const int code = choose_run(widths, g, groups, &covered);
    if (code < 0) {
      bw.put(0, 1);
    } else {
      bw.put(1, 1);
      bw.put(static_cast<uint32_t>(code), 4);
    }
    const uint32_t w = widths[g];
    bw.put(w, 4);
    const uint32_t first = 2 + g * kGroup;
    const uint32_t end = first + covered * kGroup < n ? first + covered * kGroup : n;
    if (w > 0)
      write_group(bw, c.q + first, end - first, w);
    g += covered;
  }
  return bw.finish();
}

namespace {

// Run headers by their low 5 bits: a clear flag (bit 0) is a run of one
// group with the width in bits 1-4; a set one puts the run code in bits
// 1-4 and the width in the next four.
struct RunHeaderTable {
  uint16_t coefficients[32]; // before the cut at n
  uint8_t width_shift[32];   // where the width starts
};
constexpr RunHeaderTable kRunHeaders = [] {
  RunHeaderTable t{};
  for (uint32_t b = 0; b < 32; ++b) {
    const bool flag = (b & 1u) != 0;
    t.coefficients[b] = static_cast<uint16_t>(flag ? kRunGroups[b >> 1] * kGroup : kGroup);
    t.width_shift[b] = flag ? 5 : 1;
  }
  return t;
}();

// Two coefficients of width 1-3 at once, by their next 2w + 2 bits (enough
// for both: each takes w bits and a sign bit when not 0). An entry holds
// the first value in bits 0-15, the second in bits 16-31 and the bits the
// two take in bits 32-39.
constexpr uint32_t kPairWidths = 3;
struct PairTables {
  uint64_t entry[kPairWidths][1u << (2 * kPairWidths + 2)];
};
constexpr PairTables kPairs = [] {
  PairTables t{};
  for (uint32_t w = 1; w <= kPairWidths; ++w)
    for (uint32_t index = 0; index < (1u << (2 * w + 2)); ++index) {
      uint64_t e = 0;
      uint32_t at = 0;
      for (uint32_t k = 0; k < 2; ++k) {
        const uint32_t mag = (index >> at) & ((1u << w) - 1u);
        at += w;
        bool negative = false;
        if (mag != 0)
          negative = ((index >> at++) & 1u) != 0;
        const auto v = static_cast<uint16_t>(negative ? 0u - mag : mag);
        e |= uint64_t{v} << (16 * k);
      }
      t.entry[w - 1][index] = e | uint64_t{at} << 32;
    }
  return t;
}();

// q[0 .. count) from a run of width 1-3; count is even (runs cover whole
// groups of 8 except the last group of a window, which has 6). A group
// takes at most 32 bits, so one refill serves it.
void read_pairs(BlockReader &br, uint32_t w, int16_t *q, uint32_t count) {
  const uint64_t *table = kPairs.entry[w - 1];
  const uint32_t mask = (1u << (2 * w + 2)) - 1u;
  const auto pair = [&](int16_t *at) {
    const uint64_t e = table[br.peek() & mask];
    if constexpr (std::endian::native == std::endian::little) {
      const auto both = static_cast<uint32_t>(e); // one store for the two
      std::memcpy(at, &both, sizeof both);
    } else {
      at[0] = static_cast<int16_t>(e & 0xFFFFu);
      at[1] = static_cast<int16_t>((e >> 16) & 0xFFFFu);
    }
    br.skip(static_cast<uint32_t>(e >> 32));
  };
  uint32_t i = 0;
  for (; i + kGroup <= count; i += kGroup) {
    br.refill();
    for (uint32_t k = 0; k < kGroup; k += 2)
      pair(q + i + k);
  }
  br.refill();
  for (; i < count; i += 2)
    pair(q + i);
}

// q[0 .. count) from a run of width w > 0. Up to width 6 a group of 8 takes
// at most 56 bits, so one refill serves a group; wider ones refill before
// every coefficient.
void read_run(BlockReader &br, uint32_t w, int16_t *q, uint32_t count) {
  if (w <= kPairWidths) {
    read_pairs(br, w, q, count);
    return;
  }
  const uint32_t mask = (1u << w) - 1u;
  uint32_t i = 0;
  if (w * kGroup + kGroup <= BlockReader::kRefillBits) {
    for (; i + kGroup <= count; i += kGroup) {
      br.refill();
#pragma GCC unroll 8
      for (uint32_t k = 0; k < kGroup; ++k)
        q[i + k] = br.coefficient(w, mask);
    }
    br.refill();
    for (; i < count; ++i)
      q[i] = br.coefficient(w, mask);
    return;
  }
  for (; i < count; ++i) {
    br.refill();
    q[i] = br.coefficient(w, mask);
  }
}

} // namespace

uint32_t read_block(const uint8_t *data, uint32_t size, uint32_t n, uint32_t bands, BlockContent &c, bool *complete) {
  BlockReader br(data, size);
  c.x0 = decode_29(br.get(29));
  c.x1 = decode_29(br.get(29));
  for (uint32_t b = 0; b < bands; ++b)
    c.step_code[b] = static_cast<uint8_t>(br.get(8));
  c.q[0] = c.q[1] = 0;
  for (uint32_t i = 2; i < n;) {
    br.refill();
    const auto head = static_cast<uint32_t>(br.peek());
    const uint32_t shift = kRunHeaders.width_shift[head & 31u];
    const uint32_t w = (head >> shift) & 15u;
    br.skip(shift + 4);
    const uint32_t count = std::min<uint32_t>(kRunHeaders.coefficients[head & 31u], n - i);
    if (w == 0)
      std::fill(c.q + i, c.q + i + count, int16_t{0});
    else
      read_run(br, w, c.q + i, count);
    i += count;
    if (br.overran()) {
      std::fill(c.q + i, c.q + n, int16_t{0}); // the block ended early: the rest is silence
      break;
    }
  }
  *complete = !br.overran();
  return br.bytes_used();
}

} // namespace vex::audio_codec
