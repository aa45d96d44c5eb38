// How the best split is found without walking a box 512 times.
//
// Along one axis pattern (which of red, green, blue are bounded by t) the
// inner part of candidate t is the set of buckets whose largest bounded
// component (their key) is at most t. So one pass over the box sorts its
// buckets' sums into 64 key slots per pattern, and a running sum over the
// slots gives every candidate's inner part (the outer part is the box less
// it). The sums are the count W, the first moments S = sum(w c) per channel
// and Q = sum(w (30 r^2 + 58 g^2 + 12 b^2)). With m = floor(S / W) the
// integer mean per channel (= mean8 / 4), the error expands exactly, modulo
// 2^64 like the direct sum, into
//   sum(w (c - m)^2) = sum(w c^2) - 2 m S + m^2 W   (weighted per channel).
// A slot with no bucket leaves the inner part as it was, and the same sum
// again is never strictly smaller, so only filled slots are evaluated.
#include "palette/palette_reduce.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>

namespace vex::palette {

namespace {

constexpr uint64_t kWeightRed = 30, kWeightGreen = 58, kWeightBlue = 12;
// Patterns 0-6 (bit 0: red unbounded, bit 1: green, bit 2: blue); pattern
// 7 bounds nothing, so its outer part is always empty.
constexpr uint32_t kPatterns = 7;

struct Moments {
  uint64_t w = 0, r = 0, g = 0, b = 0, q = 0;

  Moments &operator+=(const Moments &o) {
    w += o.w;
    r += o.r;
    g += o.g;
    b += o.b;
    q += o.q;
    return *this;
  }
  Moments operator-(const Moments &o) const { return {w - o.w, r - o.r, g - o.g, b - o.b, q - o.q}; }
};

struct ListEntry {
  uint32_t bucket, weight;
};

Moments moments_of(ListEntry e) {
  const uint64_t r = red6(e.bucket), g = green6(e.bucket), b = blue6(e.bucket), w = e.weight;
  return {w, w * r, w * g, w * b, w * (kWeightRed * r * r + kWeightGreen * g * g + kWeightBlue * b * b)};
}

struct Part {
  Rgb colour;
  uint64_t error;
};

// The weighted mean and the error around it of a non-empty set of buckets.
Part part_of(const Moments &m) {
  const uint64_t r8 = 4 * m.r / m.w, g8 = 4 * m.g / m.w, b8 = 4 * m.b / m.w;
  const uint64_t r = r8 >> 2, g = g8 >> 2, b = b8 >> 2;
  const uint64_t error = m.q - 2 * (kWeightRed * r * m.r + kWeightGreen * g * m.g + kWeightBlue * b * m.b) +
                         m.w * (kWeightRed * r * r + kWeightGreen * g * g + kWeightBlue * b * b);
  return {{static_cast<uint8_t>(r8), static_cast<uint8_t>(g8), static_cast<uint8_t>(b8)}, error};
}

uint32_t key_of(uint32_t pattern, uint32_t bucket) {
  uint32_t k = 0;
  if (!(pattern & 1))
    k = red6(bucket);
  if (!(pattern & 2))
    k = std::max(k, green6(bucket));
  if (!(pattern & 4))
    k = std::max(k, blue6(bucket));
  return k;
}

struct Split {
  uint32_t inner_length = 0;
  Rgb inner, outer;
  uint64_t inner_error = 0, outer_error = 0;
};

struct Box {
  uint32_t start = 0, length = 0;
  uint64_t error = 0;
  Rgb colour;
  Split best;

  uint64_t gain() const { return error - (best.inner_error + best.outer_error); }
};

class Reducer {
public:
  explicit Reducer(std::vector<ListEntry> list) : list_(std::move(list)) {}

  Reduction run(int32_t target, const MessageFn &talk);

private:
  void find_best_split(Box &box);
  void split_by_sums(Box &box);
  // Inner buckets (key within t) to the front of the box's stretch; the
  // count of them.
  uint32_t reorder(const Box &box, uint32_t pattern, uint32_t t);

  std::vector<ListEntry> list_;
  std::vector<Box> boxes_;
};

Reduction Reducer::run(int32_t target, const MessageFn &talk) {
  Reduction out;
  Moments all;
  for (ListEntry e : list_)
    all += moments_of(e);
  const Part whole = part_of(all);
  boxes_.reserve(static_cast<size_t>(std::max(target, 1)));
  boxes_.push_back({0, static_cast<uint32_t>(list_.size()), whole.error, whole.colour, {}});
  if (target < 2) {
    out.colours.push_back(whole.colour);
    return out;
  }
  for (uint32_t s = 0;; ++s) {
    if (talk) {
      char text[64];
      std::snprintf(text, sizeof text, kReducingText, static_cast<int>(100 * s / static_cast<uint32_t>(target) + 1));
      if (talk(text, s == 0 ? 1 : 0) != 0) {
        out.cancelled = true;
        break;
      }
    }
    find_best_split(boxes_[s]);
    uint64_t best_gain = 0;
    size_t chosen = boxes_.size();
    for (size_t i = 0; i < boxes_.size(); ++i)
      if (boxes_[i].gain() > best_gain) {
        best_gain = boxes_[i].gain();
        chosen = i;
      }
    if (chosen == boxes_.size())
      break;
    Box &box = boxes_[chosen];
    const Split sp = box.best;
    Box outer{box.start + sp.inner_length, box.length - sp.inner_length, sp.outer_error, sp.outer, {}};
    box.length = sp.inner_length;
    box.error = sp.inner_error;
    box.colour = sp.inner;
    boxes_.push_back(outer);
    if (s + 1 == static_cast<uint32_t>(target) - 1)
      break;
    find_best_split(boxes_[chosen]);
  }
  for (const Box &b : boxes_)
    out.colours.push_back(b.colour);
  return out;
}

void Reducer::find_best_split(Box &box) {
  if (box.length <= 2) {
    const ListEntry *e = &list_[box.start];
    box.best = {1, bucket_colour(e[0].bucket), bucket_colour(e[box.length - 1].bucket), 0, 0};
    return;
  }
  split_by_sums(box);
}

void Reducer::split_by_sums(Box &box) {
  std::array<std::array<Moments, 64>, kPatterns> slots{};
  Moments total;
  for (const ListEntry &e : std::span(list_).subspan(box.start, box.length)) {
    const Moments m = moments_of(e);
    const uint32_t r = red6(e.bucket), g = green6(e.bucket), b = blue6(e.bucket);
    const uint32_t rg = std::max(r, g);
    total += m;
    slots[0][std::max(rg, b)] += m;
    slots[1][std::max(g, b)] += m;
    slots[2][std::max(r, b)] += m;
    slots[3][b] += m;
    slots[4][rg] += m;
    slots[5][g] += m;
    slots[6][r] += m;
  }

  bool found = false;
  uint64_t best_sum = 0;
  uint32_t best_pattern = 0, best_t = 0;
  Part best_inner{}, best_outer{};
  for (uint32_t p = 0; p < kPatterns; ++p) {
    Moments inner;
    for (uint32_t t = 0; t < 64; ++t) {
      if (slots[p][t].w == 0)
        continue;
      inner += slots[p][t];
      if (inner.w == total.w)
        break;
      const Part in = part_of(inner), out = part_of(total - inner);
      const uint64_t sum = in.error + out.error;
      if (!found || sum < best_sum) {
        found = true;
        best_sum = sum;
        best_pattern = p;
        best_t = t;
        best_inner = in;
        best_outer = out;
      }
    }
  }
  // Three or more distinct buckets always differ on some axis, and the
  // single-axis patterns split there.
  assert(found);
  box.best = {reorder(box, best_pattern, best_t), best_inner.colour, best_outer.colour, best_inner.error,
              best_outer.error};
}

uint32_t Reducer::reorder(const Box &box, uint32_t pattern, uint32_t t) {
  // [front, end) is still to be looked at: an outside bucket at the front
  // changes places with the last one of it.
  uint32_t front = box.start, end = box.start + box.length;
  while (front < end) {
    if (key_of(pattern, list_[front].bucket) > t)
      std::swap(list_[front], list_[--end]);
    else
      ++front;
  }
  return front - box.start;
}

} // namespace

Reduction reduce_colours(std::span<const uint32_t, kBucketCount> histogram, std::span<const Rgb> reserved,
                         int32_t target, const MessageFn &talk) {
  std::vector<uint32_t> skip;
  for (Rgb c : reserved)
    skip.push_back(bucket_of8(c.r, c.g, c.b));
  std::sort(skip.begin(), skip.end());

  std::vector<ListEntry> list;
  auto next_skip = skip.begin();
  for (uint32_t b = 0; b < kBucketCount; ++b) {
    if (histogram[b] == 0)
      continue;
    while (next_skip != skip.end() && *next_skip < b)
      ++next_skip;
    if (next_skip != skip.end() && *next_skip == b)
      continue;
    list.push_back({b, histogram[b]});
  }
  if (list.empty())
    return {};
  return Reducer(std::move(list)).run(target, talk);
}

} // namespace vex::palette
