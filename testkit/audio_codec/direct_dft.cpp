#include "testkit/audio_codec/direct_dft.h"

#include <cmath>
#include <numbers>

namespace vex::testkit {

namespace {

// cos and sin of 2 pi m / n for m = 0 .. n - 1: the sums look up (j k) mod n.
struct Turns {
  std::vector<double> cos, sin;
  explicit Turns(size_t n) : cos(n), sin(n) {
    for (size_t m = 0; m < n; ++m) {
      cos[m] = std::cos(2 * std::numbers::pi * static_cast<double>(m) / static_cast<double>(n));
      sin[m] = std::sin(2 * std::numbers::pi * static_cast<double>(m) / static_cast<double>(n));
    }
  }
};

} // namespace

std::vector<double> direct_forward(const std::vector<float> &a) {
  const size_t n = a.size();
  std::vector<double> out(n);
  const Turns t(n);
  for (size_t k = 0; k <= n / 2; ++k) {
    double re = 0, im = 0;
    for (size_t j = 0; j < n; ++j) {
      re += a[j] * t.cos[j * k % n];
      im += a[j] * t.sin[j * k % n];
    }
    if (k == 0)
      out[0] = re;
    else if (k == n / 2)
      out[1] = re;
    else {
      out[2 * k] = re;
      out[2 * k + 1] = im;
    }
  }
  return out;
}

std::vector<double> direct_inverse(const std::vector<float> &a) {
  const size_t n = a.size();
  std::vector<double> out(n);
  const Turns t(n);
  for (size_t j = 0; j < n; ++j) {
    double v = (a[0] + a[1] * (j % 2 == 0 ? 1.0 : -1.0)) / 2;
    for (size_t k = 1; k < n / 2; ++k)
      v += a[2 * k] * t.cos[j * k % n] + a[2 * k + 1] * t.sin[j * k % n];
    out[j] = v;
  }
  return out;
}

} // namespace vex::testkit
