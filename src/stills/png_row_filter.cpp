#include "stills/png_row_filter.h"

#include <cstring>

#include "util/cpu_clones.h"

namespace vex::stills::png {

namespace {

// The row loops are built for AVX2 as well as the baseline, the better
// one picked when the library loads.
#define VEX_PNG_FILTER_CLONES VEX_AVX2_CLONES

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

// A filtered byte's weight in the choice: its value read as signed, by
// magnitude.
inline uint32_t magnitude(uint8_t byte) {
  const int v = static_cast<int8_t>(byte);
  return static_cast<uint32_t>(v < 0 ? -v : v);
}

// Row r filtered with f into o; u is the row above. n bytes, bpp a pixel.
// Returns the sum of the magnitudes of the filtered bytes (the cost).
VEX_PNG_FILTER_CLONES uint32_t apply(Filter f, const uint8_t *__restrict r, const uint8_t *__restrict u,
                                     uint8_t *__restrict o, size_t n, size_t bpp) {
  const size_t lead = bpp < n ? bpp : n; // bytes with no pixel to their left
  uint32_t cost = 0;
  switch (f) {
  case Filter::none:
    for (size_t x = 0; x < n; ++x) {
      o[x] = r[x];
      cost += magnitude(o[x]);
    }
    break;
  case Filter::sub:
    for (size_t x = 0; x < lead; ++x) {
      o[x] = r[x];
      cost += magnitude(o[x]);
    }
    for (size_t x = lead; x < n; ++x) {
      o[x] = static_cast<uint8_t>(r[x] - r[x - bpp]);
      cost += magnitude(o[x]);
    }
    break;
  case Filter::up:
    for (size_t x = 0; x < n; ++x) {
      o[x] = static_cast<uint8_t>(r[x] - u[x]);
      cost += magnitude(o[x]);
    }
    break;
  case Filter::average:
    for (size_t x = 0; x < lead; ++x) {
      o[x] = static_cast<uint8_t>(r[x] - (u[x] >> 1));
      cost += magnitude(o[x]);
    }
    for (size_t x = lead; x < n; ++x) {
      o[x] = static_cast<uint8_t>(r[x] - ((r[x - bpp] + u[x]) >> 1));
      cost += magnitude(o[x]);
    }
    break;
  case Filter::paeth:
    for (size_t x = 0; x < lead; ++x) { // a = c = 0: Paeth picks b
      o[x] = static_cast<uint8_t>(r[x] - u[x]);
      cost += magnitude(o[x]);
    }
    for (size_t x = lead; x < n; ++x) {
      o[x] = static_cast<uint8_t>(r[x] - paeth_of(r[x - bpp], u[x], u[x - bpp]));
      cost += magnitude(o[x]);
    }
    break;
  }
  return cost;
}

} // namespace

VEX_PNG_FILTER_CLONES void bgr_to_rgb(const uint8_t *__restrict bgr, uint8_t *__restrict rgb, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i) {
    rgb[i * 3] = bgr[i * 3 + 2];
    rgb[i * 3 + 1] = bgr[i * 3 + 1];
    rgb[i * 3 + 2] = bgr[i * 3];
  }
}

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
    const uint32_t cost = apply(static_cast<Filter>(f), row.data(), u, trial_[f].data(), n_, bpp_);
    if (f == 0 || cost < best_cost) {
      best = f;
      best_cost = cost;
    }
  }
  out[0] = static_cast<uint8_t>(best);
  std::memcpy(out + 1, trial_[best].data(), n_);
}

} // namespace vex::stills::png
