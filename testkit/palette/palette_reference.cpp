#include "testkit/palette/palette_reference.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vex::testref {

using palette::Rgb;

namespace {

int c6(uint32_t index, int channel) {
  return channel == 0 ? int(index >> 12) : channel == 1 ? int((index >> 6) & 63) : int(index & 63);
}
int expand(int c) { return c * 4 + c / 16; }

struct Bucket {
  uint32_t index;
  uint32_t count;
};

// The weighted means and errors of the two sides of candidate k over a
// stretch of the list (k < 0: the whole stretch is the inner side).
struct Sides {
  bool filled[2] = {false, false}; // inner, outer
  Rgb mean[2];
  uint64_t error[2] = {0, 0};
};

bool within(uint32_t index, int k);

Sides sides_of(const std::vector<Bucket> &list, int start, int length, int k) {
  Sides s;
  uint64_t sum_w[2] = {0, 0}, sum[2][3] = {{0, 0, 0}, {0, 0, 0}};
  for (int i = start; i < start + length; ++i) {
    const Bucket &b = list[size_t(i)];
    const int side = k < 0 || within(b.index, k) ? 0 : 1;
    sum_w[side] += b.count;
    for (int c = 0; c < 3; ++c)
      sum[side][c] += uint64_t(c6(b.index, c)) * b.count;
  }
  for (int side = 0; side < 2; ++side) {
    s.filled[side] = sum_w[side] != 0;
    if (s.filled[side])
      s.mean[side] = {uint8_t(4 * sum[side][0] / sum_w[side]), uint8_t(4 * sum[side][1] / sum_w[side]),
                      uint8_t(4 * sum[side][2] / sum_w[side])};
  }
  if (!s.filled[0] || (k >= 0 && !s.filled[1]))
    return s;
  for (int i = start; i < start + length; ++i) {
    const Bucket &b = list[size_t(i)];
    const int side = k < 0 || within(b.index, k) ? 0 : 1;
    const int64_t dr = c6(b.index, 0) - s.mean[side].r / 4;
    const int64_t dg = c6(b.index, 1) - s.mean[side].g / 4;
    const int64_t db = c6(b.index, 2) - s.mean[side].b / 4;
    s.error[side] += uint64_t(b.count) * uint64_t(30 * dr * dr + 58 * dg * dg + 12 * db * db);
  }
  return s;
}

struct Box {
  int start = 0, length = 0;
  uint64_t error = 0;
  Rgb colour;
  int inner_length = 0;
  Rgb inner, outer;
  uint64_t inner_error = 0, outer_error = 0;
};

bool within(uint32_t index, int k) {
  const int t = k % 64;
  const int red_bound = (k & 64) ? 63 : t;
  const int green_bound = (k & 128) ? 63 : t;
  const int blue_bound = (k & 256) ? 63 : t;
  return c6(index, 0) <= red_bound && c6(index, 1) <= green_bound && c6(index, 2) <= blue_bound;
}

void best_split(std::vector<Bucket> &list, Box &box) {
  if (box.length <= 2) {
    const uint32_t first = list[size_t(box.start)].index;
    const uint32_t second = list[size_t(box.start + box.length - 1)].index;
    box.inner = {uint8_t(expand(c6(first, 0))), uint8_t(expand(c6(first, 1))), uint8_t(expand(c6(first, 2)))};
    box.outer = {uint8_t(expand(c6(second, 0))), uint8_t(expand(c6(second, 1))), uint8_t(expand(c6(second, 2)))};
    box.inner_length = 1;
    box.inner_error = box.outer_error = 0;
    return;
  }
  int best_k = -1;
  uint64_t best_sum = 0;
  for (int k = 0; k < 512; ++k) {
    const Sides sd = sides_of(list, box.start, box.length, k);
    if (!sd.filled[0] || !sd.filled[1])
      continue;
    const Rgb mi = sd.mean[0], mo = sd.mean[1];
    const uint64_t ei = sd.error[0], eo = sd.error[1];
    if (best_k < 0 || ei + eo < best_sum) {
      best_k = k;
      best_sum = ei + eo;
      box.inner = mi;
      box.outer = mo;
      box.inner_error = ei;
      box.outer_error = eo;
    }
  }
  // Front forward, back backward; an outside bucket at the front changes
  // places with the back one and the back moves back.
  int front = box.start, back = box.start + box.length - 1;
  while (front <= back) {
    if (!within(list[size_t(front)].index, best_k)) {
      std::swap(list[size_t(front)], list[size_t(back)]);
      --back;
    } else {
      ++front;
    }
  }
  box.inner_length = front - box.start;
}

int distance(Rgb a, Rgb b) {
  const double dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
  const long d = std::lround(100.0 * std::sqrt(dr * dr + dg * dg + db * db));
  return d > 32768 ? 32768 : int(d);
}

Rgb entry(const std::vector<uint8_t> &p, int i) {
  return {p[size_t(i * 3)], p[size_t(i * 3 + 1)], p[size_t(i * 3 + 2)]};
}
void set_entry(std::vector<uint8_t> &p, int i, Rgb c) {
  p[size_t(i * 3)] = c.r;
  p[size_t(i * 3 + 1)] = c.g;
  p[size_t(i * 3 + 2)] = c.b;
}

struct Strategy {
  std::vector<uint8_t> palette;
  std::vector<bool> colour_placed, entry_used;
  int jlo = 0, jhi = -1, ilo = 0, ihi = -1;
  bool done = false;
};

// Narrows the open ranges; false when either is empty.
bool narrow(Strategy &s) {
  while (s.jlo <= s.jhi && s.colour_placed[size_t(s.jlo)])
    ++s.jlo;
  while (s.jhi >= s.jlo && s.colour_placed[size_t(s.jhi)])
    --s.jhi;
  while (s.ilo <= s.ihi && s.entry_used[size_t(s.ilo)])
    ++s.ilo;
  while (s.ihi >= s.ilo && s.entry_used[size_t(s.ihi)])
    --s.ihi;
  return s.jlo <= s.jhi && s.ilo <= s.ihi;
}

// D(j, i) is worked out once per colour and entry.
struct Context {
  const std::vector<Rgb> &colours;
  const std::vector<uint8_t> &current;
  const std::vector<uint32_t> &usage;
  std::vector<int> d;
  Context(const std::vector<Rgb> &c, const std::vector<uint8_t> &p, const std::vector<uint32_t> &u)
      : colours(c), current(p), usage(u), d(c.size() * 256) {
    for (size_t j = 0; j < c.size(); ++j)
      for (int i = 0; i < 256; ++i)
        d[j * 256 + size_t(i)] = distance(c[j], entry(p, i));
  }
  int D(int j, int i) const { return d[size_t(j) * 256 + size_t(i)]; }
  uint64_t cost(int j, int i) const { return uint64_t(usage[size_t(i)]) * uint64_t(D(j, i)); }
};

// Strategy A: colour j's cheapest free entry (ties: larger usage, smaller
// D, smaller |j - i|; first).
int cheapest_entry(const Context &cx, const Strategy &s, int j) {
  int best = -1;
  for (int i = s.ilo; i <= s.ihi; ++i) {
    if (s.entry_used[size_t(i)])
      continue;
    if (best < 0) {
      best = i;
      continue;
    }
    const uint64_t c = cx.cost(j, i), cb = cx.cost(j, best);
    const uint32_t u = cx.usage[size_t(i)], ub = cx.usage[size_t(best)];
    const int d = cx.D(j, i), db = cx.D(j, best);
    if (c < cb || (c == cb && (u > ub || (u == ub && (d < db || (d == db && std::abs(j - i) < std::abs(j - best)))))))
      best = i;
  }
  return best;
}

void step_a(const Context &cx, Strategy &s) {
  int pick = -1, pick_entry = -1;
  for (int j = s.jlo; j <= s.jhi; ++j) {
    if (s.colour_placed[size_t(j)])
      continue;
    const int i = cheapest_entry(cx, s, j);
    if (pick < 0) {
      pick = j;
      pick_entry = i;
      continue;
    }
    const uint64_t c = cx.cost(j, i), cp = cx.cost(pick, pick_entry);
    const int d = cx.D(j, i), dp = cx.D(pick, pick_entry);
    if (c > cp || (c == cp && (d < dp || (d == dp && std::abs(j - i) < std::abs(pick - pick_entry))))) {
      pick = j;
      pick_entry = i;
    }
  }
  const uint64_t cost = cx.cost(pick, pick_entry);
  int into = pick_entry, into_d = cx.D(pick, pick_entry), into_dist = std::abs(pick - pick_entry);
  for (int j = s.jlo; j <= s.jhi; ++j) {
    if (s.colour_placed[size_t(j)] || j == pick)
      continue;
    const int i = cheapest_entry(cx, s, j);
    const int d = cx.D(j, i);
    if (cx.cost(j, i) == cost && (d > into_d || (d == into_d && std::abs(j - i) < into_dist))) {
      into = i;
      into_d = d;
      into_dist = std::abs(j - i);
    }
  }
  set_entry(s.palette, into, cx.colours[size_t(pick)]);
  s.colour_placed[size_t(pick)] = true;
  s.entry_used[size_t(into)] = true;
}

// Strategy B: entry i's cheapest free colour other than `left_out` (ties:
// smaller D, smaller |j - i|; first); -1 when there is none.
int cheapest_colour(const Context &cx, const Strategy &s, int i, int left_out) {
  int best = -1;
  for (int j = s.jlo; j <= s.jhi; ++j) {
    if (s.colour_placed[size_t(j)] || j == left_out)
      continue;
    if (best < 0) {
      best = j;
      continue;
    }
    const uint64_t c = cx.cost(j, i), cb = cx.cost(best, i);
    const int d = cx.D(j, i), db = cx.D(best, i);
    if (c < cb || (c == cb && (d < db || (d == db && std::abs(j - i) < std::abs(best - i)))))
      best = j;
  }
  return best;
}

void step_b(const Context &cx, Strategy &s) {
  int pick = -1, pick_colour = -1;
  for (int i = s.ilo; i <= s.ihi; ++i) {
    if (s.entry_used[size_t(i)])
      continue;
    const int j = cheapest_colour(cx, s, i, -1);
    if (pick < 0) {
      pick = i;
      pick_colour = j;
      continue;
    }
    const uint64_t c = cx.cost(j, i), cp = cx.cost(pick_colour, pick);
    const uint32_t u = cx.usage[size_t(i)], up = cx.usage[size_t(pick)];
    const int d = cx.D(j, i), dp = cx.D(pick_colour, pick);
    if (c > cp ||
        (c == cp && (u > up || (u == up && (d < dp || (d == dp && std::abs(j - i) < std::abs(pick_colour - pick))))))) {
      pick = i;
      pick_colour = j;
    }
  }
  int into = pick;
  uint64_t into_cost = cx.cost(pick_colour, pick);
  uint32_t into_usage = cx.usage[size_t(pick)];
  int into_d = cx.D(pick_colour, pick), into_dist = std::abs(pick_colour - pick);
  for (int i = s.ilo; i <= s.ihi; ++i) {
    if (s.entry_used[size_t(i)])
      continue;
    const int j = cheapest_colour(cx, s, i, pick_colour);
    if (j < 0)
      continue;
    const uint64_t c = cx.cost(j, i);
    const uint32_t u = cx.usage[size_t(i)];
    const int d = cx.D(j, i), dist = std::abs(j - i);
    if (c > into_cost || (c == into_cost &&
                          (u > into_usage || (u == into_usage && (d > into_d || (d == into_d && dist < into_dist)))))) {
      into = i;
      into_cost = c;
      into_usage = u;
      into_d = d;
      into_dist = dist;
    }
  }
  set_entry(s.palette, into, cx.colours[size_t(pick_colour)]);
  s.colour_placed[size_t(pick_colour)] = true;
  s.entry_used[size_t(into)] = true;
}

} // namespace

Reduced reduce(const std::vector<uint32_t> &histogram, int32_t target, const Callback &talk) {
  Reduced out;
  std::vector<Bucket> list;
  for (uint32_t i = 0; i < histogram.size(); ++i)
    if (histogram[i] != 0)
      list.push_back({i, histogram[i]});
  if (list.empty())
    return out;
  std::vector<Box> boxes(size_t(std::max(256, target)));
  boxes[0].start = 0;
  boxes[0].length = int(list.size());
  const Sides whole = sides_of(list, 0, int(list.size()), -1);
  boxes[0].colour = whole.mean[0];
  boxes[0].error = whole.error[0];
  if (target < 2) {
    out.colours.push_back(boxes[0].colour);
    return out;
  }
  int s = 0;
  while (true) {
    if (talk) {
      char text[64];
      std::snprintf(text, sizeof text, "Reducing the number of colors (%i%%)...", 100 * s / target + 1);
      if (talk(text, s == 0 ? 1 : 0)) {
        out.cancelled = true;
        break;
      }
    }
    best_split(list, boxes[size_t(s)]);
    int chosen = -1;
    uint64_t largest = 0;
    for (int b = 0; b <= s; ++b) {
      const Box &x = boxes[size_t(b)];
      const uint64_t gain = x.error - (x.inner_error + x.outer_error);
      if (gain > largest) {
        largest = gain;
        chosen = b;
      }
    }
    if (largest == 0)
      break;
    Box &x = boxes[size_t(chosen)];
    Box &y = boxes[size_t(s + 1)];
    y.start = x.start + x.inner_length;
    y.length = x.length - x.inner_length;
    y.colour = x.outer;
    y.error = x.outer_error;
    x.length = x.inner_length;
    x.colour = x.inner;
    x.error = x.inner_error;
    ++s;
    if (s == target - 1)
      break;
    best_split(list, x);
  }
  for (int b = 0; b <= s; ++b)
    out.colours.push_back(boxes[size_t(b)].colour);
  return out;
}

char place(const std::vector<Rgb> &colours, std::vector<uint8_t> &palette, int32_t lo, int32_t hi,
           const std::vector<uint32_t> &usage, const Callback &talk) {
  const int m = int(colours.size());
  const int T = hi - lo + 1;
  if (m > 256 || T > 256) {
    for (int j = 0; j < m && lo + j < 256; ++j)
      set_entry(palette, lo + j, colours[size_t(j)]);
    return 0;
  }
  if (talk)
    talk("Minimizing palette changes...", 1);
  const Context cx(colours, palette, usage);
  Strategy a, b;
  for (Strategy *s : {&a, &b}) {
    s->palette = palette;
    s->colour_placed.assign(size_t(m), false);
    s->entry_used.assign(256, false);
    s->jlo = 0;
    s->jhi = m - 1;
    s->ilo = lo;
    s->ihi = hi;
  }
  bool placed_any = false;
  while (!a.done || !b.done) {
    if (!a.done) {
      if (narrow(a)) {
        step_a(cx, a);
        placed_any = true;
      } else {
        a.done = true;
      }
    }
    if (!b.done) {
      if (narrow(b))
        step_b(cx, b);
      else
        b.done = true;
    }
  }
  if (!placed_any)
    return 0;
  uint64_t sum_a = 0, sum_b = 0;
  for (int i = lo; i <= hi; ++i) {
    sum_a += uint64_t(usage[size_t(i)]) * uint64_t(distance(entry(palette, i), entry(a.palette, i)));
    sum_b += uint64_t(usage[size_t(i)]) * uint64_t(distance(entry(palette, i), entry(b.palette, i)));
  }
  const Strategy &won = sum_a < sum_b ? a : b;
  for (int i = lo; i <= hi; ++i)
    set_entry(palette, i, entry(won.palette, i));
  return sum_a < sum_b ? 'A' : 'B';
}

Built build(std::vector<uint32_t> histogram, int32_t f, int32_t n, int32_t option, const std::vector<uint32_t> &usage,
            std::vector<uint8_t> palette, const Callback &talk) {
  int low = 0, high = 0;
  if (option != 2) {
    for (int i = 0; i < 10; ++i) {
      set_entry(palette, i, palette::kSystemLow[size_t(i)]);
      set_entry(palette, 246 + i, palette::kSystemHigh[size_t(i)]);
    }
    if (f < 10)
      low = 10 - f;
    if (f + n > 246)
      high = f + n - 246;
  }
  const int lo = f + low, hi = f + n - high - 1;
  for (int i = f; i < lo; ++i) {
    const Rgb c = entry(palette, i);
    histogram[size_t((c.r >> 2) * 4096 + (c.g >> 2) * 64 + (c.b >> 2))] = 0;
  }
  for (int i = hi + 1; i < f + n; ++i) {
    const Rgb c = entry(palette, i);
    histogram[size_t((c.r >> 2) * 4096 + (c.g >> 2) * 64 + (c.b >> 2))] = 0;
  }
  Built out;
  const Reduced r = reduce(histogram, hi - lo + 1, talk);
  out.colours = r.colours.size();
  out.cancelled = r.cancelled;
  if (!r.colours.empty())
    out.placement = place(r.colours, palette, lo, hi, usage, talk);
  out.palette = palette;
  return out;
}

} // namespace vex::testref
