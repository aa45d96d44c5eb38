// Whole runs of 8-bit symbols for several encoders at once, with the same
// effect as one HuffAddStat or HuffEncode call per symbol: symbol i belongs
// to encoder i % n (n = 1 to 4, all 8-bit, all with the same output). The
// compressed-sound writer codes the bytes of its sample deltas this way;
// per-symbol calls cost more than the coding itself.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "vexutil/huff.h"

namespace vex::huff {

// As HuffAddStat(encoders[i % n], symbols[i]) for every i.
void add_stats(std::span<HUFF *const> encoders, std::span<const uint8_t> symbols);

// As HuffEncode(encoders[i % n], symbols[i]) for every i: the same bits in
// the same order, the same symbols-coded and bits-coded counts. The codes
// are gathered in `scratch` and reach the output in one byte write.
void encode(std::span<HUFF *const> encoders, std::span<const uint8_t> symbols, std::vector<uint8_t> &scratch);

} // namespace vex::huff
