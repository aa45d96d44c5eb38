// The Tolm frame decoder's lookups, built at compile time from the fixed
// tables of tolm_format.h: the sixteen prefix codes as direct-lookup tables,
// the scan orders, and the sixteen rows of each quantiser table.
#pragma once

#include <array>
#include <cstdint>

#include "formats/tolm/tolm_format.h"

namespace vex::formats::tolm {

inline constexpr int kMaxCodeBits = 7;

// Direct-lookup decoding of one prefix code: index the table with the next
// longest_bits() bits (first-read bit in bit 0); each entry packs the code
// word's position (bits 0-3) and its length (bits 4-6).
struct PrefixCode {
  uint8_t longest;
  std::array<uint8_t, 1 << kMaxCodeBits> entry;
};
const PrefixCode &prefix_code(int table);

// Pixel index (row * 8 + column) of each step of scan order `scan`.
const std::array<uint8_t, 64> &scan_order(int scan);

// Dequantisation factors (11-bit fixed point after the >> 11 of the inverse
// transform), by quantiser 0-15 and row-major block index.
using QuantTable = std::array<std::array<uint32_t, 64>, 16>;
const QuantTable &intra_quant();
const QuantTable &inter_quant();

} // namespace vex::formats::tolm
