// Real discrete Fourier transform of a power-of-two number of floats, done
// in place, single precision, with work tables that the transform builds
// itself the first time it sees a size.
//
// Forward (sign +1) over a[0 .. n-1]:
//   a[2k]   = sum_j a[j] cos(2 pi j k / n)   (0 < k < n/2)
//   a[2k+1] = sum_j a[j] sin(2 pi j k / n)
//   a[0]    = sum_j a[j],   a[1] = sum_j a[j] cos(pi j)   (the n/2 term)
// Inverse (sign -1), with R[k] = a[2k], I[k] = a[2k+1], R[0] = a[0],
// R[n/2] = a[1]:
//   a[j] = (R[0] + R[n/2] cos(pi j)) / 2
//          + sum_{0<k<n/2} (R[k] cos(2 pi j k / n) + I[k] sin(2 pi j k / n))
// so inverse(forward(x)) = x * n / 2. Nothing is scaled.
//
// The real sequence is transformed as n/2 complex values (even samples real,
// odd samples imaginary) by an iterative radix-2 transform over separate
// real and imaginary arrays (gathered in bit-reversed order; rdft_avx2.h
// for the same stages in 256-bit registers), with the split
// that separates the even and odd halves' spectra before (inverse) or after
// (forward) it. The stages are written to vectorise; GCC also builds them
// for AVX2, and the AVX2 build is picked at load time when the processor
// has it.
#pragma once

#include <cstdint>

namespace vex::audio_codec {

constexpr uint32_t kRdftMaxSize = 4096;

// Tables for one size. A zeroed record has size 0, so the first transform
// builds them; a later transform of another size rebuilds them.
struct RdftTables {
  uint32_t size;
  // Per radix-2 stage of half-length h (4, 8, ... n/4): the factors
  // e^{i pi j / h}, j < h, at index h + j (the first stages need none).
  float stage_re[kRdftMaxSize / 2];
  float stage_im[kRdftMaxSize / 2];
  // The split factors e^{2 pi i k / n}, k < n/4.
  float split_re[kRdftMaxSize / 4];
  float split_im[kRdftMaxSize / 4];
  // Bit reversal of the n/2 complex indices.
  uint16_t bitrev[kRdftMaxSize / 2];
};

// True for the sizes the transform handles: powers of two from 4 to 4096.
bool rdft_size_ok(uint32_t n);

// Which code runs the complex transform: the best the processor has (the
// 256-bit one from 128 points up where it has AVX2 and FMA), or the plain
// stages whatever the processor (the tests compare both).
enum class RdftPath { best, plain };

// Transforms a[0 .. n-1] in place; sign > 0 forward, otherwise inverse.
// Sizes that rdft_size_ok refuses leave a untouched.
void rdft(uint32_t n, int sign, float *a, RdftTables &tables, RdftPath path = RdftPath::best);

} // namespace vex::audio_codec
