// 8x8 integer inverse transform, 11-bit fixed point. All arithmetic is
// 32-bit two's complement with wrap-around (as the coded data assumes), and
// every multiplication by a constant is followed by an arithmetic shift
// right by 11. Constants: 2896 = sqrt(2), 3784 = 1.8478, 5352 = 2.6131,
// 2217 = 1.0824, each times 2048.
#include "formats/tolm/tolm_transform.h"
#include "util/cpu_clones.h"

// With GCC the transform is also built for AVX2 (eight lanes and a 32-bit
// multiply) and the better one is picked when the library loads.
#define VEX_IDCT_CLONES VEX_GCC_AVX2_CLONES

namespace vex::formats::tolm {
namespace {

inline int32_t add(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int32_t sub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline int32_t mul(int32_t a, int32_t k) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(k)) >> 11;
}

// One-dimensional transform of x[0], x[stride], ... x[7 * stride], in place.
inline void transform_1d(int32_t *x, int stride) {
  const int32_t x0 = x[0], x1 = x[stride], x2 = x[2 * stride], x3 = x[3 * stride];
  const int32_t x4 = x[4 * stride], x5 = x[5 * stride], x6 = x[6 * stride], x7 = x[7 * stride];
  const int32_t a04 = add(x0, x4), d04 = sub(x0, x4), a26 = add(x2, x6);
  const int32_t e0 = add(a04, a26), e3 = sub(a04, a26);
  const int32_t t = sub(mul(sub(x2, x6), 2896), a26);
  const int32_t e1 = add(d04, t), e2 = sub(d04, t);

  const int32_t a17 = add(x1, x7), d17 = sub(x1, x7), a35 = add(x3, x5), d53 = sub(x5, x3);
  const int32_t s = add(a17, a35);
  const int32_t u = mul(add(d17, d53), 3784);
  const int32_t o1 = add(sub(mul(d53, -5352), s), u);
  const int32_t o2 = sub(mul(sub(a17, a35), 2896), o1);
  const int32_t o3 = add(sub(mul(d17, 2217), u), o2);

  x[0] = add(e0, s);
  x[stride] = add(e1, o1);
  x[2 * stride] = add(e2, o2);
  x[3 * stride] = sub(e3, o3);
  x[4 * stride] = add(e3, o3);
  x[5 * stride] = sub(e2, o2);
  x[6 * stride] = sub(e1, o1);
  x[7 * stride] = sub(e0, s);
}

} // namespace

// The eight columns of a row-major block side by side: lane c works on
// column c, so the loop vectorises (a row pass runs on the transposed
// block). A column or row that holds nothing past its first value comes out
// as that value throughout, so no skipping is needed for exactness.
VEX_IDCT_CLONES void inverse_transform(const int32_t coef[64], const uint32_t factors[64], int32_t out[64]) {
  int32_t v[64], t[64];
  for (int i = 0; i < 64; ++i)
    v[i] = static_cast<int32_t>(static_cast<uint32_t>(coef[i]) * factors[i]) >> 11;
  for (int c = 0; c < 8; ++c)
    transform_1d(v + c, 8);
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      t[8 * c + r] = v[8 * r + c];
  for (int r = 0; r < 8; ++r)
    transform_1d(t + r, 8);
  for (int i = 0; i < 64; ++i)
    t[i] = add(t[i], 127) >> 8;
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      out[8 * r + c] = t[8 * c + r];
}

} // namespace vex::formats::tolm
