// The real DFT evaluated straight from its definition in double precision,
// O(N^2): the oracle of the codec's fast transform, in its packing (bin 0
// and bin N/2 real parts first, then the real and imaginary part of bins
// 1 .. N/2 - 1; the sine terms added, not subtracted).
#pragma once

#include <vector>

namespace vex::testkit {

std::vector<double> direct_forward(const std::vector<float> &a);
std::vector<double> direct_inverse(const std::vector<float> &a);

} // namespace vex::testkit
