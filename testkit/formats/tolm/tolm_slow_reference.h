// Slow, direct transcriptions used as oracles of the Tolm decoder.
//
// The bit-plane readers for transform coefficients and residues: one list
// of (coding index, mode) entries walked one flag at a time, entries
// inserted where the coded order puts them. The decoder's readers keep the
// list in a different shape and read many flags at once; they must give the
// same values and leave the reader at the same bit.
//
// The inverse transform, one column and then one row at a time in 64-bit
// arithmetic reduced to 32 bits after every step, with the shortcut for
// columns and rows empty past their first value. The decoder's
// lane-parallel transform must give exactly the same bits, wrap-around
// included.
#pragma once

#include <cstdint>

#include "formats/tolm/tolm_bit_reader.h"

namespace vex::testkit::tolm {

// Values in coding order; coef[0] is left alone.
void reference_coefficients(formats::tolm::BitReader &bits, int32_t coef[64]);
// `count` is the event count read before the residue (7 bits).
void reference_residue(formats::tolm::BitReader &bits, unsigned count, int8_t residue[64]);
// Coefficients in block order, dequantised by `factors`, to pixel deltas.
void reference_transform(const int32_t *coef, const uint32_t *factors, int32_t *out);

} // namespace vex::testkit::tolm
