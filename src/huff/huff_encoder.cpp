// The Huff family's record life, statistics and symbol coding; the table
// construction is in huff_table.cpp.
#include <cstring>

#include "huff/huff_record.h"
#include "util/record.h"

using namespace vex::huff;

namespace {

// Lengths first, then the 32-bit entries: one allocation per encoder.
bool allocate_tables(HUFF *h, uint32_t symbols) {
  auto *block = static_cast<uint8_t *>(vexmalloc(symbols * 5));
  if (!block)
    return false;
  std::memset(block, 0, symbols * 5);
  h->length = block;
  h->code = reinterpret_cast<uint32_t *>(block + symbols);
  return true;
}

HUFF *open_encoder(bool eight_bit) {
  HUFF *h = vex::util::new_record<HUFF>();
  if (!h)
    return nullptr;
  if (!eight_bit) {
    h->low = open_encoder(true);
    h->high = open_encoder(true);
  }
  const bool bytes_ok = eight_bit || (h->low && h->high);
  if (!bytes_ok || !allocate_tables(h, eight_bit ? 0x100u : 0x10000u)) {
    HuffClose(h);
    return nullptr;
  }
  return h;
}

} // namespace

extern "C" HUFF *HuffOpen(uint32_t eight_bit) { return open_encoder((eight_bit & 0xFFu) != 0); }

extern "C" void HuffSetOutput(HUFF *h, VEXFILE *out) {
  if (!h)
    return;
  h->out = out;
  HuffSetOutput(h->low, out);
  HuffSetOutput(h->high, out);
}

extern "C" void HuffClose(HUFF *h) {
  if (!h)
    return;
  HuffClose(h->low);
  HuffClose(h->high);
  vexfree(h->length); // the code table shares this block
  vex::util::delete_record(h);
}

extern "C" void HuffInitStats(HUFF *h) {
  std::memset(h->code, 0, symbol_count(h) * sizeof h->code[0]);
  h->stats_present = 0;
  std::memset(h->recent, 0, sizeof h->recent);
  std::memset(h->recent_hits, 0, sizeof h->recent_hits);
}

extern "C" void HuffInitLasts(HUFF *h) { std::memset(h->recent, 0, sizeof h->recent); }

extern "C" void HuffAddStat(HUFF *h, uint32_t symbol) {
  h->stats_present = 1;
  symbol &= symbol_mask(h);
  if (!sixteen_bit(h)) {
    ++h->code[symbol];
    return;
  }
  int found = -1;
  for (int i = 0; i < 3 && found < 0; ++i)
    if (h->recent[i] == symbol)
      found = i;
  if (found >= 0) {
    // The symbol needs a code of its own even if every occurrence is
    // coded through an escape.
    if (h->code[symbol] == 0)
      h->code[symbol] = 1;
    ++h->recent_hits[found];
  } else {
    ++h->code[symbol];
  }
  shift_recent(h, symbol);
}

extern "C" void HuffEncode(HUFF *h, uint32_t symbol) {
  symbol &= symbol_mask(h);
  uint32_t coded = symbol;
  if (sixteen_bit(h)) {
    for (int i = 0; i < 3; ++i) {
      const uint32_t escape = h->recent_hits[i];
      if (h->recent[i] == symbol && h->length[symbol] > h->length[escape]) {
        coded = escape;
        break;
      }
    }
    shift_recent(h, symbol);
    h->symbols_coded += 2;
  } else {
    h->symbols_coded += 1;
  }
  h->bits_coded += h->length[coded];
  VEXFilePutBits(h->out, h->code[coded], h->length[coded]);
}
