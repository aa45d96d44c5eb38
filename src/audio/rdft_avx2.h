// The complex transform of the real DFT in 256-bit registers (AVX2 and
// fused multiply-adds), chosen at run time where the processor has them.
#pragma once

#include <cstdint>

#include "audio/rdft.h"

namespace vex::audio {

// True where the processor runs complex_transform_avx2.
bool rdft_avx2_available();

// The unscaled complex transforms of m points (m a power of two, at least
// 64); re/im are 32-byte aligned and receive the result in natural order.
// Forward (factors e^{+2 pi i jk/m}) reads the interleaved points
// x[2k], x[2k+1] in natural order.
void forward_transform_avx2(const float *x, float *re, float *im, uint32_t m, const RdftTables &t);

// The whole inverse real DFT of n = 2m values in place (split, complex
// transform with the conjugate factors, interleaving), m at least 64; re/im
// (32-byte aligned, m floats each) are work space.
void rdft_inverse_avx2(float *x, float *re, float *im, uint32_t m, const RdftTables &t);

// The split after the forward transform (rdft.cpp's split_forward) for
// 8 <= k < m/2 and their partners m - k, from re/im to the interleaved
// spectrum x; the caller does k < 8, m - k > m - 8, 0 and m/2.
void split_forward_avx2(const float *re, const float *im, float *x, uint32_t m, const RdftTables &t);

} // namespace vex::audio
