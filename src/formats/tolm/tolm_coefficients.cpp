// Bit-plane coding of transform coefficients and residues.
//
// A work list of (coding index, mode) entries drives both. Mode 0 stands for
// the twenty coefficients index..index+19 (a quad and a group of four
// quads), mode 1 for the sixteen at index..index+15, mode 2 for the quad
// index..index+3, mode 3 for one coefficient still zero. Every pass reads one
// bit per live entry: 1 splits or resolves it. New mode-3 entries go to the
// front (seen from the next pass on), new mode-2 entries to the back (seen
// in the same pass).
#include "formats/tolm/tolm_transform.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vex::formats::tolm {
namespace {

enum Mode : uint8_t { kGroup20, kGroup16, kQuad, kSingle, kDead };

struct Entry {
  uint8_t index;
  uint8_t mode;
};

// At most 64 front insertions (one per coefficient) and 15 entries at the
// back ever exist, so a fixed array with the head in the middle suffices.
class WorkList {
public:
  static constexpr int kFront = 72;
  void reset(std::initializer_list<Entry> entries) {
    head_ = tail_ = kFront;
    for (Entry e : entries)
      entry_[tail_++] = e;
  }
  void push_front(uint8_t index) {
    if (head_ > 0)
      entry_[--head_] = {index, kSingle};
  }
  void push_back(uint8_t index) {
    if (tail_ < kSize)
      entry_[tail_++] = {index, kQuad};
  }
  // Survivors of a pass are moved down over the dead as the pass goes
  // (entry i to slot w <= i); the pass ends with set_tail(w).
  void set_tail(int t) { tail_ = t; }
  int head() const { return head_; }
  int tail() const { return tail_; }
  Entry &operator[](int i) { return entry_[i]; }

private:
  static constexpr int kSize = kFront + 80;
  Entry entry_[kSize];
  int head_ = kFront, tail_ = kFront;
};

// The list walk shared by coefficients and residues; Values says what a
// coefficient that becomes significant gets, and when decoding must stop.
template <class Values> class PlaneWalk {
public:
  PlaneWalk(BitReader &bits, WorkList &list, Values &values) : bits_(bits), list_(list), values_(values) {}

  void pass() {
    int w = list_.head(); // next survivor's slot
    int i = w;
    while (i < list_.tail() && !values_.done()) {
      if constexpr (Values::kBatchSingles) {
        if (list_[i].mode == kSingle) {
          i = singles(i, w);
          continue;
        }
      }
      examine(i);
      const Entry e = list_[i++];
      list_[w] = e;
      w += e.mode != kDead;
    }
    while (i < list_.tail()) // stopped early: keep the rest
      list_[w++] = list_[i++];
    list_.set_tail(w);
  }

private:
  void examine(int i) {
    while (!values_.done() && bits_.bit()) {
      Entry &e = list_[i];
      switch (e.mode) {
      case kGroup20: {
        const uint8_t quad = e.index;
        e = {static_cast<uint8_t>(quad + 4), kGroup16};
        examine(i);
        new_quad(quad);
        return;
      }
      case kGroup16:
        e.mode = kQuad;
        for (int k = 4; k <= 12; k += 4)
          list_.push_back(static_cast<uint8_t>(e.index + k));
        break; // examined again as a quad
      case kQuad:
        e.mode = kDead;
        new_quad(e.index);
        return;
      default:
        e.mode = kDead;
        values_.give(e.index);
        return;
      }
    }
  }

  // A run of single entries from i, read several bits at a time: most of
  // them stay zero in any one pass. The run cannot change while it is read
  // (new entries go to the front or behind the end). Survivors move down to
  // w. Returns the index after the run.
  int singles(int i, int &w) {
    int end = i;
    while (end < list_.tail() && list_[end].mode == kSingle)
      ++end;
    const auto keep = [&](int n) {
      for (int k = 0; k < n; ++k)
        list_[w + k] = list_[i + k];
      w += n;
      i += n;
    };
    while (i < end) {
      const unsigned n = static_cast<unsigned>(std::min(end - i, 24));
      const uint32_t bits = bits_.peek(n);
      if (bits == 0) {
        bits_.skip(n);
        keep(static_cast<int>(n));
        continue;
      }
      const unsigned zeros = static_cast<unsigned>(std::countr_zero(bits));
      bits_.skip(zeros + 1);
      keep(static_cast<int>(zeros));
      values_.give(list_[i++].index); // valued: leaves the list
    }
    return end;
  }

  void new_quad(uint8_t quad) {
    for (uint8_t k = quad; k < quad + 4 && !values_.done(); ++k) {
      if (bits_.bit())
        list_.push_front(k);
      else
        values_.give(k);
    }
  }

  BitReader &bits_;
  WorkList &list_;
  Values &values_;
};

struct CoefficientValues {
  static constexpr bool kBatchSingles = true;
  BitReader &bits;
  int32_t *coef;
  unsigned plane = 0;
  bool done() const { return false; }
  void give(uint8_t k) {
    int32_t v = 1;
    if (plane > 0)
      v = static_cast<int32_t>((1u << plane) | bits.read(plane));
    coef[k] = bits.bit() ? -v : v;
  }
};

struct ResidueValues {
  static constexpr bool kBatchSingles = false; // may stop at any event
  BitReader &bits;
  int8_t *residue;
  unsigned events_left;
  unsigned mask = 0;
  uint8_t nonzero[64];
  unsigned nonzero_count = 0;

  bool done() const { return events_left == 0; }
  void event() { --events_left; }
  void give(uint8_t k) {
    const int8_t m = static_cast<int8_t>(mask);
    residue[k] = bits.bit() ? static_cast<int8_t>(-m) : m;
    if (nonzero_count < 64)
      nonzero[nonzero_count++] = k;
    event();
  }
  // Residue values are signed 8-bit; growing "away from zero" tests the sign
  // of the stored byte, so magnitudes past 127 wrap.
  void refine() {
    for (unsigned i = 0; i < nonzero_count && !done(); ++i) {
      if (!bits.bit())
        continue;
      int8_t &v = residue[nonzero[i]];
      v = static_cast<int8_t>(v < 0 ? v - static_cast<int>(mask) : v + static_cast<int>(mask));
      event();
    }
  }
};

} // namespace

void read_coefficients(BitReader &bits, int32_t coef[64]) {
  for (int k = 1; k < 64; ++k)
    coef[k] = 0;
  const unsigned planes = bits.read(4);
  if (planes == 0)
    return;
  WorkList list;
  list.reset({{4, kGroup20}, {24, kGroup20}, {44, kGroup20}, {1, kSingle}, {2, kSingle}, {3, kSingle}});
  CoefficientValues values{bits, coef, 0};
  PlaneWalk walk(bits, list, values);
  for (unsigned b = planes - 1;; --b) {
    values.plane = b;
    walk.pass();
    if (b == 0)
      break;
  }
}

void read_residue(BitReader &bits, unsigned count, int8_t residue[64]) {
  std::memset(residue, 0, 64);
  const unsigned top = bits.read(3);
  WorkList list;
  list.reset({{4, kGroup20}, {24, kGroup20}, {44, kGroup20}, {0, kQuad}});
  ResidueValues values{bits, residue, count + 1, 0, {}, 0};
  PlaneWalk walk(bits, list, values);
  for (unsigned pass = 0; pass <= top && !values.done(); ++pass) {
    values.mask = 1u << (top - pass);
    values.refine();
    walk.pass();
  }
}

} // namespace vex::formats::tolm
