// The picture a frame plan must decode to, computed straight from the plan:
// exact for every block type but the transform ones, which a floating-point
// inverse DCT models to within one step.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "testkit/formats/tolm/tolm_plan.h"
#include "testkit/formats/tolm/tolm_reference_tables.h"

namespace vex::testkit::tolm {
namespace {

using Pixels = std::array<int, 64>;

// The integer transform truncates at every multiplication (always towards
// minus infinity); over a block of many coefficients that drifts up to two
// steps from the exact transform.
constexpr uint8_t kTransformTolerance = 2;

class PlaneModel {
public:
  PlaneModel(const PlanePlan &plan, const uint8_t *reference, uint8_t *out, uint8_t *tolerance, uint32_t pitch)
      : plan_(plan), ref_(reference), out_(out), tol_(tolerance), pitch_(pitch) {}

  void run() {
    for (size_t j = 0; j < plan_.bands.size(); ++j) {
      const int row = static_cast<int>(8 * j);
      int x = 0;
      for (const BlockPlan &b : plan_.bands[j]) {
        if (b.type == kScaled) {
          if ((j & 1) == 0)
            scaled(b, x, row);
          x += 16;
        } else {
          block(b, x, row);
          x += 8;
        }
      }
    }
  }

private:
  Pixels reference(int x, int y) const {
    x = std::clamp(x, 0, static_cast<int>(plan_.width8) - 8);
    y = std::clamp(y, 0, static_cast<int>(plan_.height8) - 8);
    Pixels p;
    for (int i = 0; i < 64; ++i)
      p[i] = ref_[(y + i / 8) * pitch_ + x + i % 8];
    return p;
  }

  // Pixels of the self-contained block types; `inexact` marks transform output.
  bool content(const BlockPlan &b, uint8_t type, Pixels &p, bool &inexact) const {
    const ReferenceTables &t = reference_tables();
    inexact = false;
    switch (type) {
    case kFill: p.fill(b.colours.at(0)); return true;
    case kRaw:
      for (int i = 0; i < 64; ++i)
        p[i] = b.colours.at(i);
      return true;
    case kPattern:
      for (int i = 0; i < 64; ++i)
        p[i] = b.colours.at((b.pattern[i / 8] >> (i % 8)) & 1);
      return true;
    case kRun: {
      size_t c = 0;
      int filled = 0;
      const auto &scan = t.scans[b.scan];
      for (const RunStep &s : b.runs) {
        const int colour = b.colours.at(c);
        for (int i = 0; i < s.length; ++i)
          p[scan[filled + i]] = s.same ? colour : b.colours.at(c + i);
        c += s.same ? 1 : s.length;
        filled += s.length;
      }
      if (filled == 63)
        p[scan[63]] = b.colours.at(c);
      return true;
    }
    case kIntra: {
      const auto f = float_idct(b.coef, t.intra_factor[b.q]);
      for (int i = 0; i < 64; ++i)
        p[i] = static_cast<int>(std::floor(f[i] + 127.0 / 256)) & 255;
      inexact = true;
      return true;
    }
    default: return false;
    }
  }

  void put(int x, int y, int v, bool inexact) {
    if (x >= static_cast<int>(plan_.width8) || y >= static_cast<int>(plan_.height8))
      return;
    out_[y * pitch_ + x] = static_cast<uint8_t>(v);
    tol_[y * pitch_ + x] = inexact ? kTransformTolerance : 0;
  }

  void block(const BlockPlan &b, int x, int row) {
    const ReferenceTables &t = reference_tables();
    Pixels p;
    bool inexact = false;
    switch (b.type) {
    case kSkip: p = reference(x, row); break;
    case kMotion: p = reference(x + b.dx, row + b.dy); break;
    case kResidue:
      p = reference(x + b.dx, row + b.dy);
      for (int k = 0; k < 64; ++k)
        p[t.placement[k]] = (p[t.placement[k]] + b.residue[k]) & 255;
      break;
    case kInter: {
      p = reference(x + b.dx, row + b.dy);
      const auto f = float_idct(b.coef, t.inter_factor[b.q]);
      for (int i = 0; i < 64; ++i)
        p[i] = (p[i] + static_cast<int>(std::floor(f[i] + 127.0 / 256))) & 255;
      inexact = true;
      break;
    }
    default:
      if (!content(b, b.type, p, inexact))
        return;
    }
    for (int i = 0; i < 64; ++i)
      put(x + i % 8, row + i / 8, p[i], inexact);
  }

  void scaled(const BlockPlan &b, int x, int row) {
    Pixels p;
    bool inexact;
    if (b.sub_type != kRun && b.sub_type != kIntra && b.sub_type != kFill && b.sub_type != kPattern &&
        b.sub_type != kRaw)
      return;
    content(b, b.sub_type, p, inexact);
    for (int y = 0; y < 16; ++y)
      for (int c = 0; c < 16; ++c)
        put(x + c, row + y, p[(y / 2) * 8 + c / 2], inexact);
  }

  const PlanePlan &plan_;
  const uint8_t *ref_;
  uint8_t *out_, *tol_;
  uint32_t pitch_;
};

} // namespace

std::array<double, 64> float_idct(const std::array<int32_t, 64> &coded, const std::array<double, 64> &factor) {
  const ReferenceTables &t = reference_tables();
  const double pi = std::acos(-1.0);
  auto a = [&](int k) { return k == 0 ? 1.0 : std::sqrt(2.0) * std::cos(k * pi / 16); };
  double F[64] = {};
  for (int k = 0; k < 64; ++k) {
    const int pos = t.placement[k];
    F[pos] = coded[k] * factor[pos] / (65536.0 * a(pos / 8) * a(pos % 8));
  }
  std::array<double, 64> f{};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      double s = 0;
      for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v) {
          const double cu = u == 0 ? std::sqrt(0.5) : 1.0, cv = v == 0 ? std::sqrt(0.5) : 1.0;
          s += cu * cv / 4 * F[u * 8 + v] * std::cos((2 * y + 1) * u * pi / 16) * std::cos((2 * x + 1) * v * pi / 16);
        }
      f[y * 8 + x] = s;
    }
  return f;
}

ModelPicture model_frame(const FramePlan &plan, const Picture &previous, const Picture &initial) {
  ModelPicture m{initial, Picture(plan.padded_width, plan.padded_height, plan.has_alpha)};
  std::vector<int> planes = {kLuma};
  if (!plan.no_chroma)
    planes.insert(planes.end(), {kChroma1, kChroma2});
  if (plan.has_alpha)
    planes.push_back(kAlpha);
  for (int p : planes)
    PlaneModel(plan.planes[p], previous.plane(p), m.picture.plane(p), m.tolerance.plane(p), previous.pitch(p)).run();
  return m;
}

} // namespace vex::testkit::tolm
