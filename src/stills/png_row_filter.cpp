#include "stills/png_row_filter.h"

#include <cstring>

namespace vex::stills::png {

namespace {

// The row loops are built for AVX2 as well as the baseline, the better
// one picked when the library loads.
#define VEX_PNG_FILTER_CLONES __attribute__((target_clones("avx2", "default")))

// Distance-based choice of the Paeth predictor, branch-free in its
// comparisons so that the loop over a row vectorises.
inline uint8_t paeth_of(uint8_t a, uint8_t b, uint8_t c) {
  const int p = b - c, q = a - c;
  const int pa = p < 0 ? -p : p;           // |(a + b - c) - a|
  const int pb = q < 0 ? -q : q;           // |(a + b - c) - b|
  const int pc = p + q < 0 ? -(p + q) : p + q; // |(a + b - c) - c|
  const uint8_t b_or_c = pb <= pc ? b : c;
  return pa <= pb && pa <= pc ? a : b_or_c;
}

// Sum of the bytes read as signed values, by magnitude.
VEX_PNG_FILTER_CLONES uint32_t signed_magnitude(const uint8_t *p, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    const int v = static_cast<int8_t>(p[i]);
    sum += static_cast<uint32_t>(v < 0 ? -v : v);
  }
  return sum;
}

// Row r filtered with f into o; u is the row above. n bytes, bpp a pixel.
VEX_PNG_FILTER_CLONES void apply(Filter f, const uint8_t *__restrict r, const uint8_t *__restrict u,
                                 uint8_t *__restrict o, size_t n, size_t bpp) {
  const size_t lead = bpp < n ? bpp : n; // bytes with no pixel to their left
  switch (f) {
  case Filter::none:
    std::memcpy(o, r, n);
    return;
  case Filter::sub:
    std::memcpy(o, r, lead);
    for (size_t x = lead; x < n; ++x)
      o[x] = static_cast<uint8_t>(r[x] - r[x - bpp]);
    return;
  case Filter::up:
    for (size_t x = 0; x < n; ++x)
      o[x] = static_cast<uint8_t>(r[x] - u[x]);
    return;
  case Filter::average:
    for (size_t x = 0; x < lead; ++x)
      o[x] = static_cast<uint8_t>(r[x] - (u[x] >> 1));
    for (size_t x = lead; x < n; ++x)
      o[x] = static_cast<uint8_t>(r[x] - ((r[x - bpp] + u[x]) >> 1));
    return;
  case Filter::paeth:
    for (size_t x = 0; x < lead; ++x)
      o[x] = static_cast<uint8_t>(r[x] - u[x]); // a = c = 0: Paeth picks b
    for (size_t x = lead; x < n; ++x)
      o[x] = static_cast<uint8_t>(r[x] - paeth_of(r[x - bpp], u[x], u[x - bpp]));
    return;
  }
}

} // namespace

RowFilter::RowFilter(size_t row_bytes, size_t pixel_bytes) : n_(row_bytes), bpp_(pixel_bytes), zero_row_(row_bytes) {
  for (auto &t : trial_)
    t.resize(row_bytes);
}

void RowFilter::filter(std::span<const uint8_t> row, std::span<const uint8_t> above, bool adaptive, Filter fixed,
                       uint8_t *out) {
  const uint8_t *u = above.empty() ? zero_row_.data() : above.data();
  if (!adaptive) {
    out[0] = static_cast<uint8_t>(fixed);
    apply(fixed, row.data(), u, out + 1, n_, bpp_);
    return;
  }
  size_t best = 0;
  uint32_t best_cost = 0;
  for (size_t f = 0; f < trial_.size(); ++f) {
    apply(static_cast<Filter>(f), row.data(), u, trial_[f].data(), n_, bpp_);
    const uint32_t cost = signed_magnitude(trial_[f].data(), n_);
    if (f == 0 || cost < best_cost) {
      best = f;
      best_cost = cost;
    }
  }
  out[0] = static_cast<uint8_t>(best);
  std::memcpy(out + 1, trial_[best].data(), n_);
}

} // namespace vex::stills::png
