// Real-content mode of the test encoder: per 8x8 block the cheapest of
// skip, solid fill, motion copy, two-colour pattern, intra or inter
// transform and raw that reproduces the source well enough.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "testkit/formats/tolm/tolm_plan.h"
#include "testkit/formats/tolm/tolm_reference_tables.h"

namespace vex::testkit::tolm {
namespace {

using Block = std::array<int, 64>;

class PlanePlanner {
public:
  PlanePlanner(const uint8_t *src, const uint8_t *prev, uint32_t pitch, uint32_t w8, uint32_t h8,
               const RealOptions &o)
      : src_(src), prev_(prev), pitch_(pitch), w8_(w8), h8_(h8), o_(o) {}

  PlanePlan plan() {
    PlanePlan p;
    p.width8 = w8_;
    p.height8 = h8_;
    for (uint32_t y = 0; y < h8_; y += 8) {
      BandPlan band;
      for (uint32_t x = 0; x < w8_; x += 8)
        band.push_back(block(static_cast<int>(x), static_cast<int>(y)));
      p.bands.push_back(std::move(band));
    }
    return p;
  }

private:
  Block read(const uint8_t *plane, int x, int y) const {
    Block b;
    for (int i = 0; i < 64; ++i)
      b[i] = plane[(y + i / 8) * pitch_ + x + i % 8];
    return b;
  }
  static int max_error(const Block &a, const Block &b) {
    int e = 0;
    for (int i = 0; i < 64; ++i)
      e = std::max(e, std::abs(a[i] - b[i]));
    return e;
  }
  static int sad(const Block &a, const Block &b) {
    int s = 0;
    for (int i = 0; i < 64; ++i)
      s += std::abs(a[i] - b[i]);
    return s;
  }

  BlockPlan block(int x, int y) {
    const Block s = read(src_, x, y);
    BlockPlan b;
    Block best_ref{};
    int best_dx = 0, best_dy = 0;
    if (prev_) {
      best_ref = read(prev_, x, y);
      if (max_error(s, best_ref) <= o_.skip_error)
        return b; // skip
      int best = sad(s, best_ref);
      for (int dy = -o_.search; dy <= o_.search; ++dy)
        for (int dx = -o_.search; dx <= o_.search; ++dx) {
          if (x + dx < 0 || y + dy < 0 || x + dx + 8 > static_cast<int>(w8_) || y + dy + 8 > static_cast<int>(h8_))
            continue;
          const Block r = read(prev_, x + dx, y + dy);
          const int d = sad(s, r);
          if (d < best) {
            best = d;
            best_ref = r;
            best_dx = dx;
            best_dy = dy;
          }
        }
    }
    int sum = 0;
    for (int v : s)
      sum += v;
    const int mean = (sum + 32) / 64;
    Block flat;
    flat.fill(mean);
    if (max_error(s, flat) <= o_.skip_error) {
      b.type = kFill;
      b.colours = {static_cast<uint8_t>(mean)};
      return b;
    }
    if (prev_ && max_error(s, best_ref) <= o_.skip_error) {
      b.type = kMotion;
      b.dx = static_cast<int8_t>(best_dx);
      b.dy = static_cast<int8_t>(best_dy);
      return b;
    }
    if (pattern(s, b))
      return b;
    return transform(s, prev_ ? &best_ref : nullptr, best_dx, best_dy);
  }

  bool pattern(const Block &s, BlockPlan &b) const {
    const int lo = *std::min_element(s.begin(), s.end()), hi = *std::max_element(s.begin(), s.end());
    const int split = (lo + hi + 1) / 2;
    int n[2] = {}, sum[2] = {};
    for (int v : s) {
      n[v >= split] += 1;
      sum[v >= split] += v;
    }
    if (n[0] == 0 || n[1] == 0)
      return false;
    const int c[2] = {(sum[0] + n[0] / 2) / n[0], (sum[1] + n[1] / 2) / n[1]};
    for (int v : s)
      if (std::abs(v - c[v >= split]) > o_.skip_error)
        return false;
    b.type = kPattern;
    b.colours = {static_cast<uint8_t>(c[0]), static_cast<uint8_t>(c[1])};
    for (int r = 0; r < 8; ++r) {
      uint8_t bits = 0;
      for (int k = 0; k < 8; ++k)
        bits |= static_cast<uint8_t>((s[r * 8 + k] >= split) << k);
      b.pattern[r] = bits;
    }
    return true;
  }

  // cos((2 * i + 1) * k * pi / 16) by k * 8 + i.
  static const std::array<double, 64> &cosines() {
    static const std::array<double, 64> table = [] {
      std::array<double, 64> t{};
      const double pi = std::acos(-1.0);
      for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 8; ++i)
          t[k * 8 + i] = std::cos((2 * i + 1) * k * pi / 16);
      return t;
    }();
    return table;
  }

  // Quantised coefficients (coding order) of the difference `d`: the
  // orthonormal DCT, scaled the way the decoder's factors undo.
  std::array<int32_t, 64> quantise(const Block &d, const std::array<double, 64> &factor, bool intra) const {
    const ReferenceTables &t = reference_tables();
    const auto &cs = cosines();
    const double pi = std::acos(-1.0);
    auto a = [&](int k) { return k == 0 ? 1.0 : std::sqrt(2.0) * std::cos(k * pi / 16); };
    double rows[64]; // rows[y * 8 + v]: one-dimensional DCT of each row
    for (int y = 0; y < 8; ++y)
      for (int v = 0; v < 8; ++v) {
        double s = 0;
        for (int x = 0; x < 8; ++x)
          s += d[y * 8 + x] * cs[v * 8 + x];
        rows[y * 8 + v] = s;
      }
    std::array<int32_t, 64> coded{};
    for (int k = 0; k < 64; ++k) {
      const int pos = t.placement[k], u = pos / 8, v = pos % 8;
      double F = 0;
      for (int y = 0; y < 8; ++y)
        F += rows[y * 8 + v] * cs[u * 8 + y];
      F *= (u == 0 ? std::sqrt(0.5) : 1.0) * (v == 0 ? std::sqrt(0.5) : 1.0) / 4;
      coded[k] = static_cast<int32_t>(std::lround(F * 65536.0 * a(u) * a(v) / factor[pos]));
    }
    coded[0] = intra ? std::clamp(coded[0], 0, 2047) : std::clamp(coded[0], -1023, 1023);
    for (int k = 1; k < 64; ++k)
      coded[k] = std::clamp(coded[k], -2047, 2047);
    return coded;
  }

  static int cost(const std::array<int32_t, 64> &c) {
    int bits = 0;
    for (int k = 1; k < 64; ++k)
      if (c[k] != 0)
        bits += 3 + 2 * static_cast<int>(std::log2(std::abs(c[k]) + 1));
    return bits;
  }

  BlockPlan transform(const Block &s, const Block *ref, int dx, int dy) const {
    const ReferenceTables &t = reference_tables();
    BlockPlan b;
    b.q = o_.q;
    const auto intra = quantise(s, t.intra_factor[o_.q], true);
    b.type = kIntra;
    b.coef = intra;
    if (ref) {
      Block d;
      for (int i = 0; i < 64; ++i)
        d[i] = s[i] - (*ref)[i];
      const auto inter = quantise(d, t.inter_factor[o_.q], false);
      if (cost(inter) < cost(intra)) {
        b.type = kInter;
        b.coef = inter;
        b.dx = static_cast<int8_t>(dx);
        b.dy = static_cast<int8_t>(dy);
      }
    }
    if (cost(b.coef) > 64 * 8 - 100) { // a raw block is cheaper
      BlockPlan raw;
      raw.type = kRaw;
      for (int v : s)
        raw.colours.push_back(static_cast<uint8_t>(v));
      return raw;
    }
    return b;
  }

  const uint8_t *src_, *prev_;
  uint32_t pitch_, w8_, h8_;
  const RealOptions &o_;
};

} // namespace

FramePlan plan_from_picture(const Picture &source, const Picture *previous, uint32_t width, uint32_t height,
                            const RealOptions &options) {
  FramePlan f;
  f.width = width;
  f.height = height;
  f.padded_width = source.padded_width;
  f.padded_height = source.padded_height;
  f.has_alpha = !source.alpha.empty();
  for (int p = 0; p < 4; ++p) {
    if (p == kAlpha && !f.has_alpha)
      continue;
    const bool chroma = p == kChroma1 || p == kChroma2;
    const uint32_t w8 = chroma ? chroma_width8(width) : luma_width8(width);
    const uint32_t h8 = chroma ? chroma_width8(height) : luma_width8(height);
    const uint8_t *prev = previous ? previous->plane(p) : nullptr;
    f.planes[p] = PlanePlanner(source.plane(p), prev, source.pitch(p), w8, h8, options).plan();
  }
  return f;
}

} // namespace vex::testkit::tolm
