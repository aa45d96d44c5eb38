#include "testkit/util/picture_compare.h"

#include <cmath>
#include <stdexcept>

namespace vex::testkit {

double psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  if (a.size() != b.size() || a.empty())
    throw std::invalid_argument("psnr of pictures of different sizes");
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    sum += d * d;
  }
  if (sum == 0)
    return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / sum);
}

} // namespace vex::testkit
