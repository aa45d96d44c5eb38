#include "testkit/formats/tolm/tolm_random_plan.h"

#include <algorithm>

#include "testkit/formats/tolm/tolm_reference_tables.h"

namespace vex::testkit::tolm {
namespace {

int uniform(std::mt19937 &rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

uint8_t colour(std::mt19937 &rng, const RandomPlanOptions &o) {
  return static_cast<uint8_t>(uniform(rng, o.signed_colours ? 1 : 0, 255));
}

void random_coefficients(BlockPlan &b, std::mt19937 &rng, const RandomPlanOptions &o, bool intra) {
  b.coef.fill(0);
  b.coef[0] = intra ? uniform(rng, 0, 2047) : uniform(rng, -1023, 1023);
  b.q = static_cast<uint8_t>(o.quantiser >= 0 ? o.quantiser : uniform(rng, 0, 15));
  // The decoder works in 32 bits: dequantised values (c * factor / 2048)
  // must stay well inside them for the transform's products not to wrap.
  const auto &factors = (intra ? reference_tables().intra_factor : reference_tables().inter_factor)[b.q];
  const double largest = *std::max_element(factors.begin(), factors.end());
  const int limit = std::max(1, std::min((1 << o.max_coefficient_bits) - 1, static_cast<int>(6e7 / largest)));
  const int dc_limit = static_cast<int>(5e8 / factors[0]);
  b.coef[0] = std::clamp(b.coef[0], -dc_limit, dc_limit);
  const int count = uniform(rng, 0, 3) == 0 ? 0 : uniform(rng, 1, 63);
  for (int i = 0; i < count; ++i) {
    const int v = uniform(rng, 1, limit);
    b.coef[uniform(rng, 1, 63)] = uniform(rng, 0, 1) ? v : -v;
  }
}

} // namespace

BlockPlan random_block(uint8_t type, int x, int y, uint32_t w8, uint32_t h8, std::mt19937 &rng,
                       const RandomPlanOptions &o) {
  BlockPlan b;
  b.type = type;
  auto offsets = [&] {
    b.dx = static_cast<int8_t>(uniform(rng, std::max(-15, -x), std::min(15, static_cast<int>(w8) - 8 - x)));
    b.dy = static_cast<int8_t>(uniform(rng, std::max(-15, -y), std::min(15, static_cast<int>(h8) - 8 - y)));
  };
  uint8_t content = type;
  if (type == kScaled) {
    static constexpr uint8_t kSubTypes[] = {kRun, kIntra, kFill, kPattern, kRaw, kRun, kIntra, kFill, kPattern,
                                            kRaw, 0,    2};
    b.sub_type = kSubTypes[uniform(rng, 0, 11)];
    content = b.sub_type;
  }
  switch (content) {
  case kMotion: offsets(); break;
  case kResidue: {
    offsets();
    const int count = uniform(rng, 0, 64);
    const int bits = uniform(rng, 1, 7);
    for (int i = 0; i < count; ++i)
      b.residue[uniform(rng, 0, 63)] = static_cast<int8_t>(uniform(rng, -(1 << bits) + 1, (1 << bits) - 1));
    break;
  }
  case kInter:
    offsets();
    random_coefficients(b, rng, o, false);
    break;
  case kIntra: random_coefficients(b, rng, o, true); break;
  case kFill: b.colours = {colour(rng, o)}; break;
  case kPattern:
    b.colours = {colour(rng, o), colour(rng, o)};
    for (uint8_t &p : b.pattern)
      p = static_cast<uint8_t>(uniform(rng, 0, 255));
    break;
  case kRaw:
    for (int i = 0; i < 64; ++i)
      b.colours.push_back(colour(rng, o));
    break;
  case kRun: {
    b.scan = static_cast<uint8_t>(uniform(rng, 0, 15));
    const int target = uniform(rng, 63, 64);
    int filled = 0;
    while (filled < 63) {
      const int len = std::min(uniform(rng, 1, 16), target - filled);
      const bool same = uniform(rng, 0, 1) != 0;
      b.runs.push_back({same, static_cast<uint8_t>(len)});
      for (int i = 0; i < (same ? 1 : len); ++i)
        b.colours.push_back(colour(rng, o));
      filled += len;
    }
    if (filled == 63)
      b.colours.push_back(colour(rng, o));
    break;
  }
  default: break;
  }
  return b;
}

FramePlan random_plan(uint32_t width, uint32_t height, std::mt19937 &rng, const RandomPlanOptions &o) {
  FramePlan f = uniform_plan(width, height, kSkip);
  f.has_alpha = o.has_alpha;
  f.no_chroma = o.no_chroma;
  f.signed_colours = o.signed_colours;
  for (PlanePlan &plane : f.planes)
    for (size_t j = 0; j < plane.bands.size(); ++j) {
      BandPlan band;
      for (uint32_t x = 0; x < plane.width8;) {
        const uint8_t type = o.types[uniform(rng, 0, static_cast<int>(o.types.size()) - 1)];
        band.push_back(random_block(type, static_cast<int>(x), static_cast<int>(8 * j), plane.width8,
                                    plane.height8, rng, o));
        x += type == kScaled ? 16 : 8;
      }
      plane.bands[j] = std::move(band);
    }
  return f;
}

std::vector<uint8_t> every_block_type() { return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}; }

} // namespace vex::testkit::tolm
