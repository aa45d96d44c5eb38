// The HUFF record behind the exported Huff family. Its fields are in the
// order the family has always used; tests and the delta coder read the code
// and length tables directly.
#pragma once

#include <cstdint>

#include "vexutil/huff.h"

constexpr uint32_t kHuffLengthUnused = 255; // an escape that is not in use

struct HUFF {
  uint32_t symbols_coded; // +1 per 8-bit symbol, +2 per 16-bit symbol
  uint32_t bits_coded;    // code bits written; tree size while a table is built
  VEXFILE *out;
  HUFF *low;              // 16-bit mode: encoder of the leaves' low bytes
  HUFF *high;             // 16-bit mode: encoder of the leaves' high bytes
  uint32_t recent[3];     // [0] the most recent symbol (16-bit mode)
  // While gathering: hits at each recent position. Once the table is built:
  // the escape symbol that stands for each recent position.
  uint32_t recent_hits[3];
  // While gathering: the count of each symbol. Once built: its code with the
  // bits reversed (the bit nearest the root in bit 0).
  uint32_t *code;
  // Code length of each symbol in bits; 255 = unused escape. Kept between
  // blocks: symbols absent from a block keep their old values.
  uint8_t *length;
  uint8_t stats_present;
  uint8_t length_overflow; // a code reached 31 bits; never cleared
};

namespace vex::huff {

constexpr uint32_t kLeafLimit = 0x10000; // node references below are leaves

inline bool sixteen_bit(const HUFF *h) { return h->low != nullptr; }
inline uint32_t symbol_count(const HUFF *h) { return sixteen_bit(h) ? 0x10000u : 0x100u; }
inline uint32_t symbol_mask(const HUFF *h) { return symbol_count(h) - 1; }

// The shift of the recent symbols after `symbol` was gathered or coded: a
// shift, not a move to the front.
inline void shift_recent(HUFF *h, uint32_t symbol) {
  if (symbol != h->recent[0]) {
    h->recent[2] = h->recent[1];
    h->recent[1] = h->recent[0];
    h->recent[0] = symbol;
  }
}

} // namespace vex::huff
