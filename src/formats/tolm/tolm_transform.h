// Transform blocks of the Tolm decoder: bit-plane coefficient and residue
// decoding, and the 8x8 integer inverse transform.
#pragma once

#include <cstdint>

#include "formats/tolm/tolm_bit_reader.h"

namespace vex::formats::tolm {

// The two builds of the coefficient readers: portable x86-64, or compiled
// for BMI1/BMI2 (a set's n-th member found with one deposit, shifts and
// masks by a register count in one instruction) where the processor has
// them. The overloads without a path take the best the processor runs; the
// others are for tests that hold the two to the same results.
enum class BitSelect { kPortable, kBmi2 };
bool bit_select_available(BitSelect path);
void read_coefficients(BitReader &bits, int32_t coef[64], BitSelect path);
void read_residue(BitReader &bits, unsigned count, int8_t residue[64], BitSelect path);

// Reads the AC coefficients of a transform block, each put at its block
// position (row-major) by the placement table; coef[0] is the caller's DC
// and is left alone.
void read_coefficients(BitReader &bits, int32_t coef[64]);

// Reads the residue of a residue block with event count `count` (7 bits
// from the stream); values are signed 8-bit, at their block positions.
void read_residue(BitReader &bits, unsigned count, int8_t residue[64]);

// Inverse transform of a row-major coefficient block with the given
// dequantisation factors. out[] gets (value + 127) >> 8 of each pixel; its
// low 8 bits are the pixel (intra) or the change to the pixel (inter).
void inverse_transform(const int32_t coef[64], const uint32_t factors[64], int32_t out[64]);

} // namespace vex::formats::tolm
