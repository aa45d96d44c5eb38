// A slow, direct transcription of the bit-plane readers for transform
// coefficients and residues: one list of (coding index, mode) entries walked
// one flag at a time, entries inserted where the coded order puts them.
// The decoder's readers keep the list in a different shape and read many
// flags at once; they must give the same values and leave the reader at the
// same bit.
#pragma once

#include <cstdint>

#include "formats/tolm/tolm_bit_reader.h"

namespace vex::tolm_test {

// Values in coding order; coef[0] is left alone.
void reference_coefficients(formats::tolm::BitReader &bits, int32_t coef[64]);
// `count` is the event count read before the residue (7 bits).
void reference_residue(formats::tolm::BitReader &bits, unsigned count, int8_t residue[64]);

} // namespace vex::tolm_test
