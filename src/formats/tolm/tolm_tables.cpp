#include "formats/tolm/tolm_tables.h"

#include "formats/tolm/tolm_format.h"

namespace vex::formats::tolm {
namespace {

// One code from its words (tolm_format.h: reading order, first-read bit
// first) into a direct lookup table.
constexpr PrefixCode build_code(const char *words) {
  uint8_t lengths[16] = {};
  uint8_t values[16] = {};
  int position = 0, length = 0, value = 0;
  for (const char *p = words;; ++p) {
    if (*p == '0' || *p == '1') {
      value |= (*p - '0') << length; // first-read bit is the least significant
      ++length;
      continue;
    }
    if (length != 0) {
      lengths[position] = static_cast<uint8_t>(length);
      values[position] = static_cast<uint8_t>(value);
      ++position;
      length = value = 0;
    }
    if (*p == '\0')
      break;
  }
  PrefixCode code{};
  for (int i = 0; i < 16; ++i)
    code.longest = lengths[i] > code.longest ? lengths[i] : code.longest;
  for (int bits = 0; bits < (1 << code.longest); ++bits)
    for (int i = 0; i < 16; ++i)
      if ((bits & ((1 << lengths[i]) - 1)) == values[i]) {
        code.entry[bits] = static_cast<uint8_t>(i | (lengths[i] << 4));
        break;
      }
  return code;
}

constexpr std::array<PrefixCode, kCodeCount> build_codes() {
  std::array<PrefixCode, kCodeCount> codes{};
  for (int t = 0; t < kCodeCount; ++t)
    codes[t] = build_code(kCodeWords[t]);
  return codes;
}

constexpr std::array<PrefixCode, kCodeCount> kCodes = build_codes();

// Rows 1-14 are row 15 scaled by multiplier / 44, rounded to the nearest
// integer with halves rounded up, in exact integer arithmetic:
// floor((2 * f15 * num + 44 * den) / (88 * den)). Each such entry is within 1
// of the factor the stored rows imply; rows 0 and 15 are kept as stored.
constexpr QuantTable build_quant(const uint32_t *row0, const uint32_t *row15) {
  QuantTable table{};
  for (int i = 0; i < 64; ++i) {
    table[0][i] = row0[i];
    table[15][i] = row15[i];
    for (int q = 1; q < 15; ++q) {
      const uint64_t num = 2ull * row15[i] * kScaleNum[q] + 44ull * kScaleDen[q];
      table[q][i] = static_cast<uint32_t>(num / (88ull * kScaleDen[q]));
    }
  }
  return table;
}

constexpr QuantTable kIntraQuant = build_quant(kIntraRow0, kIntraRow15);
constexpr QuantTable kInterQuant = build_quant(kInterRow0, kInterRow15);

} // namespace

const PrefixCode &prefix_code(int table) { return kCodes[static_cast<unsigned>(table) & 15]; }
const std::array<uint8_t, 64> &scan_order(int scan) { return kScanOrders[static_cast<unsigned>(scan) & 15]; }
const QuantTable &intra_quant() { return kIntraQuant; }
const QuantTable &inter_quant() { return kInterQuant; }

} // namespace vex::formats::tolm
