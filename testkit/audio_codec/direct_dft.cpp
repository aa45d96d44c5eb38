#include "testkit/audio_codec/direct_dft.h"

#include <cmath>
#include <numbers>

namespace vex::testkit {

namespace {

double angle(size_t j, size_t k, size_t n) {
  return 2 * std::numbers::pi * static_cast<double>((j * k) % n) / static_cast<double>(n);
}

} // namespace

std::vector<double> direct_forward(const std::vector<float> &a) {
  const size_t n = a.size();
  std::vector<double> out(n);
  for (size_t k = 0; k <= n / 2; ++k) {
    double re = 0, im = 0;
    for (size_t j = 0; j < n; ++j) {
      re += a[j] * std::cos(angle(j, k, n));
      im += a[j] * std::sin(angle(j, k, n));
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
  for (size_t j = 0; j < n; ++j) {
    double v = (a[0] + a[1] * (j % 2 == 0 ? 1.0 : -1.0)) / 2;
    for (size_t k = 1; k < n / 2; ++k)
      v += a[2 * k] * std::cos(angle(j, k, n)) + a[2 * k + 1] * std::sin(angle(j, k, n));
    out[j] = v;
  }
  return out;
}

} // namespace vex::testkit
