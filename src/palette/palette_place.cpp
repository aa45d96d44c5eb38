// Each strategy keeps, per colour (A) or per entry (B), a heap of its
// choices in the strategy's tie order, built once. Entries and colours only
// ever leave, so a choice's best free partner is the heap's top once the
// taken ones are popped off it; a step costs one look at each free colour
// or entry instead of a scan of every pair.
#include "palette/palette_place.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

namespace vex::palette {

namespace {

// Squared distances from here on round to 32768 or more, the cap:
// 32767.5^2 / 10000 = 107370.96.
constexpr uint32_t kCappedFrom = 107371;

// D by squared distance, worked out once per process. 100 x sqrt(x) for an
// integer x is never within 2.8e-6 of a half (10000 x would have to lie
// within 1/4 of (k + 1/2)^2, whose fraction is 1/4), far beyond the
// double's error, so adding 1/2 and truncating rounds exactly.
const std::vector<uint16_t> &distance_by_square() {
  static const std::vector<uint16_t> table = [] {
    std::vector<uint16_t> t(kCappedFrom);
    for (uint32_t x = 0; x < kCappedFrom; ++x)
      t[x] = static_cast<uint16_t>(100.0 * std::sqrt(static_cast<double>(x)) + 0.5);
    return t;
  }();
  return table;
}

uint16_t distance(const std::vector<uint16_t> &table, Rgb a, Rgb b) {
  const int32_t dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
  const auto x = static_cast<uint32_t>(dr * dr + dg * dg + db * db);
  return x < kCappedFrom ? table[x] : 32768;
}

} // namespace

uint16_t placement_distance(Rgb a, Rgb b) { return distance(distance_by_square(), a, b); }

namespace {

uint32_t index_distance(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }

__extension__ typedef unsigned __int128 Key128;

// A free entry as colour j's choice in strategy A, as one number whose
// order is the strategy's: cheaper (cost < 2^47), then used more, then
// nearer in colour (D <= 32768), then nearer in index, then lower:
//   cost << 64 | (2^32 - 1 - usage) << 32 | D << 16 | |j - i| << 8 | e.
struct EntryChoice {
  Key128 key;

  static EntryChoice make(uint64_t cost, uint32_t usage, uint32_t d, uint32_t dist, uint32_t e) {
    return {Key128{cost} << 64 | uint64_t{0xFFFFFFFFu - usage} << 32 | uint64_t{d} << 16 | dist << 8 | e};
  }
  uint64_t cost() const { return static_cast<uint64_t>(key >> 64); }
  uint32_t d() const { return static_cast<uint32_t>(key >> 16) & 0xFFFF; }
  uint32_t dist() const { return static_cast<uint32_t>(key >> 8) & 255; }
  uint32_t entry() const { return static_cast<uint32_t>(key) & 255; }
  // Heaps keep the best choice on top.
  bool operator>(const EntryChoice &o) const { return key > o.key; }
};

// Room for the distances and both strategies' heaps: at most 256 x 256
// of 2, 16 and 4 bytes (1.4 MB), kept by each thread that places colours.
// A fresh block a call cost its page faults and zeroing again wherever the
// allocator hands such blocks back to the system at once (on threads other
// than the first, glibc does): a third of the time of a movie's palettes.
struct Scratch {
  std::vector<uint16_t> distances;
  std::vector<EntryChoice> choices;
  std::vector<uint32_t> keys;
};

Scratch &scratch() {
  static thread_local Scratch s;
  return s;
}

// `n` elements of `v`, their values left to the caller to set.
template <class T> T *room(std::vector<T> &v, size_t n) {
  if (v.size() < n)
    v.resize(n);
  return v.data();
}

// Strategy B's working state: per entry a heap of its colours as
// D << 16 | |j - i| << 8 | j, smallest on top: the strategy's order
// (nearer in colour, then in index, then lower) in one number, as
// D <= 32768 and j, i < 256; and which colours and entries are free.
struct EntryFirstState {
  uint32_t m;                 // colours
  uint32_t *heaps;            // entry e's at e x m (in the scratch)
  std::vector<uint32_t> size; // of each entry's heap
  std::vector<bool> colour_free, entry_free;

  // Entry e's cheapest free colour's key, or null when none is left.
  const uint32_t *best_colour(uint32_t e) {
    uint32_t *h = &heaps[size_t{e} * m];
    while (size[e] > 0 && !colour_free[h[0] & 255])
      std::pop_heap(h, h + size[e]--, std::greater<>());
    return size[e] > 0 ? h : nullptr;
  }
};

// A free entry with its cheapest free colour, as strategy B weighs it.
struct EntryWeight {
  uint64_t cost;
  uint32_t usage, d, dist, entry;
};

// The pick: larger cost, then larger usage, then smaller D, then smaller
// |j - i|.
bool picked_before(const EntryWeight &a, const EntryWeight &b) {
  if (a.cost != b.cost)
    return a.cost > b.cost;
  if (a.usage != b.usage)
    return a.usage > b.usage;
  if (a.d != b.d)
    return a.d < b.d;
  return a.dist < b.dist;
}

// The search for the entry that takes the pick: the same, except that the
// larger D goes first.
bool harder(const EntryWeight &a, const EntryWeight &b) {
  if (a.cost != b.cost)
    return a.cost > b.cost;
  if (a.usage != b.usage)
    return a.usage > b.usage;
  if (a.d != b.d)
    return a.d > b.d;
  return a.dist < b.dist;
}

class Placer {
public:
  Placer(std::span<const Rgb> colours, ConstPalette palette, uint32_t first, uint32_t count, const UsageCounts &usage)
      : colours_(colours), first_(first), count_(count), usage_(usage),
        d_(room(scratch().distances, colours.size() * count)) {
    std::copy(palette.begin(), palette.end(), old_.begin());
    for (uint32_t j = 0; j < colours_.size(); ++j)
      for (uint32_t e = 0; e < count_; ++e)
        d_[j * count_ + e] = distance(table_, colours_[j], palette_entry(old_, first_ + e));
  }

  std::array<uint8_t, kPaletteBytes> hardest_colour_first() const;
  std::array<uint8_t, kPaletteBytes> hardest_entry_first() const;

  // The sum of usage(i) x D(old colour, candidate colour) over the range.
  uint64_t change(const std::array<uint8_t, kPaletteBytes> &candidate) const {
    uint64_t sum = 0;
    for (uint32_t i = first_; i < first_ + count_; ++i)
      sum += uint64_t{usage_[i]} * distance(table_, palette_entry(old_, i), palette_entry(candidate, i));
    return sum;
  }

private:
  EntryFirstState entry_first_state() const;
  EntryWeight weigh(uint32_t e, uint32_t key) const;
  EntryWeight hardest_pick(EntryFirstState &s, uint32_t &colour) const;
  uint32_t taker(EntryFirstState &s, const EntryWeight &pick) const;

  uint32_t m() const { return static_cast<uint32_t>(colours_.size()); }
  uint16_t d(uint32_t j, uint32_t e) const { return d_[j * count_ + e]; }
  uint8_t dist(uint32_t j, uint32_t e) const { return static_cast<uint8_t>(index_distance(j, first_ + e)); }

  const std::vector<uint16_t> &table_ = distance_by_square();
  std::span<const Rgb> colours_;
  uint32_t first_, count_;
  const UsageCounts &usage_;
  std::array<uint8_t, kPaletteBytes> old_{};
  uint16_t *d_; // D(j, first + e) at j x count + e (in the scratch)
};

std::array<uint8_t, kPaletteBytes> Placer::hardest_colour_first() const {
  std::array<uint8_t, kPaletteBytes> out = old_;
  std::vector<bool> colour_free(m(), true), entry_free(count_, true);
  // Colour j's entries, best on top, in heaps[j * count_ .. + size[j]).
  EntryChoice *heaps = room(scratch().choices, size_t{m()} * count_);
  std::vector<uint32_t> size(m(), count_);
  for (uint32_t j = 0; j < m(); ++j) {
    EntryChoice *h = &heaps[size_t{j} * count_];
    for (uint32_t e = 0; e < count_; ++e)
      h[e] = EntryChoice::make(uint64_t{usage_[first_ + e]} * d(j, e), usage_[first_ + e], d(j, e), dist(j, e), e);
    std::make_heap(h, h + count_, std::greater<>());
  }
  auto best_entry = [&](uint32_t j) -> const EntryChoice & {
    EntryChoice *h = &heaps[size_t{j} * count_];
    while (!entry_free[h[0].entry()])
      std::pop_heap(h, h + size[j]--, std::greater<>());
    return h[0];
  };

  for (uint32_t placed = 0; placed < std::min(m(), count_); ++placed) {
    uint32_t pick = m();
    EntryChoice top{};
    for (uint32_t j = 0; j < m(); ++j) {
      if (!colour_free[j])
        continue;
      const EntryChoice &c = best_entry(j);
      if (pick == m() || c.cost() > top.cost() ||
          (c.cost() == top.cost() && (c.d() < top.d() || (c.d() == top.d() && c.dist() < top.dist())))) {
        pick = j;
        top = c;
      }
    }
    EntryChoice into = top;
    for (uint32_t j = 0; j < m(); ++j) {
      if (!colour_free[j] || j == pick)
        continue;
      const EntryChoice &c = best_entry(j);
      if (c.cost() == top.cost() && (c.d() > into.d() || (c.d() == into.d() && c.dist() < into.dist())))
        into = c;
    }
    colour_free[pick] = false;
    entry_free[into.entry()] = false;
    set_palette_entry(out, first_ + into.entry(), colours_[pick]);
  }
  return out;
}

EntryFirstState Placer::entry_first_state() const {
  EntryFirstState s{m(), room(scratch().keys, size_t{m()} * count_), std::vector<uint32_t>(count_, m()),
                    std::vector<bool>(m(), true), std::vector<bool>(count_, true)};
  for (uint32_t e = 0; e < count_; ++e) {
    uint32_t *h = &s.heaps[size_t{e} * m()];
    for (uint32_t j = 0; j < m(); ++j)
      h[j] = uint32_t{d(j, e)} << 16 | uint32_t{dist(j, e)} << 8 | j;
    std::make_heap(h, h + m(), std::greater<>());
  }
  return s;
}

EntryWeight Placer::weigh(uint32_t e, uint32_t key) const {
  const uint32_t u = usage_[first_ + e];
  return EntryWeight{uint64_t{u} * (key >> 16), u, key >> 16, key >> 8 & 255, e};
}

// The free entry that is hardest to serve by its cheapest free colour;
// that colour goes to `colour`. Every free entry has a free colour while
// fewer than min(m, count) are placed.
EntryWeight Placer::hardest_pick(EntryFirstState &s, uint32_t &colour) const {
  bool any = false;
  EntryWeight top{};
  for (uint32_t e = 0; e < count_; ++e) {
    if (!s.entry_free[e])
      continue;
    const uint32_t key = *s.best_colour(e);
    const EntryWeight w = weigh(e, key);
    if (!any || picked_before(w, top)) {
      any = true;
      top = w;
      colour = key & 255;
    }
  }
  return top;
}

// The entry that takes the picked colour: the hardest free one by its own
// cheapest colour still free, the pick's entry unless another beats it.
uint32_t Placer::taker(EntryFirstState &s, const EntryWeight &pick) const {
  EntryWeight into = pick;
  for (uint32_t e = 0; e < count_; ++e) {
    if (!s.entry_free[e])
      continue;
    if (const uint32_t *key = s.best_colour(e)) {
      const EntryWeight w = weigh(e, *key);
      if (harder(w, into))
        into = w;
    }
  }
  return into.entry;
}

std::array<uint8_t, kPaletteBytes> Placer::hardest_entry_first() const {
  std::array<uint8_t, kPaletteBytes> out = old_;
  EntryFirstState s = entry_first_state();
  for (uint32_t placed = 0; placed < std::min(m(), count_); ++placed) {
    uint32_t colour = 0;
    const EntryWeight pick = hardest_pick(s, colour);
    // The picked colour is placed in any case: leaving it out of the
    // search is marking it taken now.
    s.colour_free[colour] = false;
    const uint32_t e = taker(s, pick);
    s.entry_free[e] = false;
    set_palette_entry(out, first_ + e, colours_[colour]);
  }
  return out;
}

} // namespace

Placement place_colours(std::span<const Rgb> colours, Palette palette, uint32_t first, int32_t count,
                        const UsageCounts &usage, const MessageFn &talk) {
  if (colours.empty())
    return Placement::kNone;
  if (colours.size() > kPaletteEntries || count > static_cast<int32_t>(kPaletteEntries)) {
    const size_t n = first < kPaletteEntries ? std::min<size_t>(colours.size(), kPaletteEntries - first) : 0;
    for (uint32_t j = 0; j < n; ++j)
      set_palette_entry(palette, first + j, colours[j]);
    return Placement::kInOrder;
  }
  if (talk)
    talk(kPlacingText, 1);
  if (count <= 0 || first >= kPaletteEntries)
    return Placement::kNone;
  const auto entries = std::min<uint32_t>(static_cast<uint32_t>(count), kPaletteEntries - first);
  const Placer placer(colours, palette, first, entries, usage);
  const auto a = placer.hardest_colour_first();
  const auto b = placer.hardest_entry_first();
  const bool take_a = placer.change(a) < placer.change(b);
  const auto &won = take_a ? a : b;
  std::copy(won.begin() + first * 3, won.begin() + (first + entries) * 3, palette.begin() + first * 3);
  return take_a ? Placement::kA : Placement::kB;
}

} // namespace vex::palette
