#include "tests/formats/tolm/tolm_harness.h"

#include <cstdlib>
#include <random>

namespace vex::tolm_test {

Mismatch compare(const tk::ModelPicture &model, const tk::Picture &decoded) {
  Mismatch m;
  auto check = [&](const std::vector<uint8_t> &want, const std::vector<uint8_t> &tol,
                   const std::vector<uint8_t> &got, const char *what) {
    for (size_t i = 0; i < want.size() && i < got.size(); ++i) {
      const int d = std::abs(want[i] - got[i]);
      if (std::min(d, 256 - d) > (i < tol.size() ? tol[i] : 0)) {
        if (m.count++ < 4)
          m.first += std::string(what) + "[" + std::to_string(i) + "] want " + std::to_string(want[i]) + " got " +
                     std::to_string(got[i]) + "; ";
      }
    }
  };
  check(model.picture.yuv, model.tolerance.yuv, decoded.yuv, "yuv");
  check(model.picture.alpha, model.tolerance.alpha, decoded.alpha, "alpha");
  return m;
}

tk::Picture random_picture(uint32_t W, uint32_t H, bool alpha, uint32_t seed) {
  tk::Picture p(W, H, alpha);
  std::mt19937 rng(seed);
  for (uint8_t &v : p.yuv)
    v = static_cast<uint8_t>(rng());
  for (uint8_t &v : p.alpha)
    v = static_cast<uint8_t>(rng());
  return p;
}

} // namespace vex::tolm_test
