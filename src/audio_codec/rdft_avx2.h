// The complex transform of the real DFT in 256-bit registers (AVX2 and
// fused multiply-adds), chosen at run time where the processor has them.
#pragma once

#include <cstdint>

#include "audio_codec/rdft.h"

namespace vex::audio_codec {

// True where the processor runs complex_transform_avx2.
bool rdft_avx2_available();

// The forward real DFT of n = 2m values (m a power of two, at least 64):
// the complex transform of the interleaved points x[2k], x[2k+1] (factors
// e^{+2 pi i jk/m}) into re/im, then the split into the spectrum at x for
// 8 <= k < m/2 and the partners m - k; the caller does k < 8 (with their
// partners), 0 and m/2 from Z in re/im. re/im (32-byte aligned, m floats
// each) are work space; at the end they hold Z wherever the caller needs it.
void rdft_forward_avx2(float *x, float *re, float *im, uint32_t m, const RdftTables &t);

// The whole inverse real DFT of n = 2m values in place (split, complex
// transform with the conjugate factors, interleaving), m at least 64; re/im
// (32-byte aligned, m floats each) are work space.
void rdft_inverse_avx2(float *x, float *re, float *im, uint32_t m, const RdftTables &t);

} // namespace vex::audio_codec
