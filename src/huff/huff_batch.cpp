#include "huff/huff_batch.h"

#include <algorithm>
#include <array>
#include <type_traits>
#include <utility>

#include "huff/huff_bit_gatherer.h"
#include "huff/huff_record.h"

namespace vex::huff {
namespace {

constexpr size_t kMaxEncoders = 4;

// Two histograms per encoder, for even and odd frames: runs of one symbol
// (silence, the high bytes of quiet sound) then do not wait on the same
// counter from one frame to the next.
template <size_t N> void count_symbols(std::span<HUFF *const> encoders, std::span<const uint8_t> symbols) {
  std::array<std::array<std::array<uint32_t, 256>, 2>, N> hist{};
  const size_t pairs = symbols.size() / (2 * N) * (2 * N);
  for (size_t i = 0; i < pairs; i += 2 * N)
    for (size_t e = 0; e < N; ++e) {
      ++hist[e][0][symbols[i + e]];
      ++hist[e][1][symbols[i + N + e]];
    }
  for (size_t i = pairs; i < symbols.size(); ++i)
    ++hist[(i - pairs) % N][0][symbols[i]];
  for (size_t e = 0; e < N; ++e)
    for (uint32_t s = 0; s < 256; ++s)
      encoders[e]->code[s] += hist[e][0][s] + hist[e][1][s];
}

// Code and length of every symbol of every encoder in one 64-bit entry:
// the reversed code in the low 32 bits, the length above.
template <size_t N> void encode_symbols(std::span<HUFF *const> encoders, std::span<const uint8_t> symbols,
                                        std::vector<uint8_t> &scratch) {
  std::array<std::array<uint64_t, 256>, N> entry;
  for (size_t e = 0; e < N; ++e)
    for (uint32_t s = 0; s < 256; ++s)
      entry[e][s] = encoders[e]->code[s] | uint64_t{encoders[e]->length[s]} << 32;
  std::array<uint64_t, N> bits{};
  // 30 bits per symbol at most.
  scratch.resize(BitGatherer::bytes_for(uint64_t{symbols.size()} * 30));
  BitGatherer out(encoders[0]->out, scratch);
  const auto code = [&](size_t e, uint8_t s) {
    const uint64_t x = entry[e][s];
    const auto length = static_cast<uint32_t>(x >> 32);
    out.add(x & 0xFFFFFFFFu, length);
    bits[e] += length;
  };
  // Two symbols at a time: their codes join before they join the word,
  // which halves the chain of dependent steps. Together they must fit the
  // 32 bits the word has room for; longer pairs (rare) go one by one.
  const auto code_pair = [&](size_t e0, size_t e1, uint8_t s0, uint8_t s1) {
    const uint64_t x0 = entry[e0][s0], x1 = entry[e1][s1];
    const auto l0 = static_cast<uint32_t>(x0 >> 32), l1 = static_cast<uint32_t>(x1 >> 32);
    bits[e0] += l0;
    bits[e1] += l1;
    if (l0 + l1 <= 32) {
      out.add((x0 & 0xFFFFFFFFu) | (x1 & 0xFFFFFFFFu) << l0, l0 + l1);
    } else {
      out.add(x0 & 0xFFFFFFFFu, l0);
      out.add(x1 & 0xFFFFFFFFu, l1);
    }
  };
  // A step covers whole frames and an even number of symbols.
  constexpr size_t kStep = N % 2 == 0 ? N : 2 * N;
  const size_t whole = symbols.size() / kStep * kStep;
  for (size_t i = 0; i < whole; i += kStep)
    [&]<size_t... P>(std::index_sequence<P...>) {
      (code_pair((2 * P) % N, (2 * P + 1) % N, symbols[i + 2 * P], symbols[i + 2 * P + 1]), ...);
    }(std::make_index_sequence<kStep / 2>{});
  for (size_t i = whole; i < symbols.size(); ++i)
    code((i - whole) % N, symbols[i]);
  out.finish();
  for (size_t e = 0; e < N; ++e) {
    encoders[e]->bits_coded += static_cast<uint32_t>(bits[e]);
    encoders[e]->symbols_coded += static_cast<uint32_t>(symbols.size() / N + (e < symbols.size() % N ? 1 : 0));
  }
}

// Calls body(std::integral_constant<size_t, n>) for n = the encoder count.
template <class Body> void by_count(size_t n, Body body) {
  switch (n) {
  case 1: body(std::integral_constant<size_t, 1>{}); break;
  case 2: body(std::integral_constant<size_t, 2>{}); break;
  case 3: body(std::integral_constant<size_t, 3>{}); break;
  default: body(std::integral_constant<size_t, 4>{}); break;
  }
}

// Codes longer than 30 bits exist only in tables that failed to build
// (length overflow); their lengths are not to be trusted with the gatherer,
// so such blocks go symbol by symbol exactly as before, as do 16-bit
// encoders with their escapes.
bool per_symbol(std::span<HUFF *const> encoders) {
  for (const HUFF *h : encoders)
    if (h->length_overflow || sixteen_bit(h))
      return true;
  return false;
}

} // namespace

void add_stats(std::span<HUFF *const> encoders, std::span<const uint8_t> symbols) {
  if (encoders.empty() || encoders.size() > kMaxEncoders)
    return;
  if (per_symbol(encoders)) {
    for (size_t i = 0; i < symbols.size(); ++i)
      HuffAddStat(encoders[i % encoders.size()], symbols[i]);
    return;
  }
  for (size_t e = 0; e < encoders.size() && e < symbols.size(); ++e)
    encoders[e]->stats_present = 1;
  by_count(encoders.size(), [&](auto n) { count_symbols<n()>(encoders, symbols); });
}

void encode(std::span<HUFF *const> encoders, std::span<const uint8_t> symbols, std::vector<uint8_t> &scratch) {
  if (encoders.empty() || encoders.size() > kMaxEncoders)
    return;
  if (per_symbol(encoders)) {
    for (size_t i = 0; i < symbols.size(); ++i)
      HuffEncode(encoders[i % encoders.size()], symbols[i]);
    return;
  }
  by_count(encoders.size(), [&](auto n) { encode_symbols<n()>(encoders, symbols, scratch); });
}

} // namespace vex::huff
