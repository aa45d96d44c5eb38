// Bit-plane coding of transform coefficients and residues.
//
// The coded order is that of a work list of (coding index, mode) entries.
// Mode 0 stands for the twenty coefficients index..index+19 (a quad and a
// group of four quads), mode 1 for the sixteen at index..index+15, mode 2
// for the quad index..index+3, mode 3 for one coefficient still zero. Every
// pass reads one flag per live entry: 1 splits or resolves it, 0 leaves it
// as it is. New mode-3 entries go to the front (seen from the next pass on),
// new mode-2 entries to the back (seen in the same pass).
//
// The list is kept in two parts that a pass walks one after the other:
//  - the singles pushed to the front, as a 64-bit set of slots. Every
//    coefficient is pushed at most once, so pushes take slots 63, 62, ...
//    and the list order is ascending slot order (newest first). A pass reads
//    the flags of all of them with one peek; only a set flag costs work
//    (finding its slot: the z-th member of the set);
//  - the rest (the three groups, what they split into, and the initial
//    singles or quad), at most 15 entries in list order, compacted as a pass
//    goes. Runs of clear flags are read with one peek there too.
#include "formats/tolm/tolm_transform.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "formats/tolm/tolm_format.h"

namespace vex::formats::tolm {
namespace {

enum Mode : uint8_t { kGroup20, kGroup16, kQuad, kSingle, kDead };

struct Entry {
  uint8_t index;
  uint8_t mode;
};

// Position of set bit number r (from 0, lowest first) of x, which has more
// than r set bits.
struct PortableSelect {
  static unsigned nth(uint64_t x, unsigned r) {
    for (; r > 0; --r) // drop the lowest member
      x &= x - 1;
    return static_cast<unsigned>(std::countr_zero(x));
  }
};

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Deposits bit r into the r-th member of x (BMI2). Only the BMI2 build
// calls it; the instruction is written out so that the walk's template
// compiles the same in both builds.
struct Bmi2Select {
  static unsigned nth(uint64_t x, unsigned r) {
    uint64_t d;
    asm("pdep %2, %1, %0" : "=r"(d) : "r"(uint64_t{1} << r), "rm"(x));
    return static_cast<unsigned>(std::countr_zero(d));
  }
};
bool have_bmi2() {
  static const bool yes = __builtin_cpu_supports("bmi2");
  return yes;
}
#else
using Bmi2Select = PortableSelect;
bool have_bmi2() { return false; }
#endif

// The singles at the front of the list.
class FrontSingles {
public:
  void push(uint8_t index) {
    if (next_ == 0) // cannot happen: each coefficient is pushed once
      return;
    --next_;
    index_[next_] = index;
    live_ |= uint64_t{1} << next_;
    ++count_;
  }
  void remove(unsigned slot) {
    live_ &= ~(uint64_t{1} << slot);
    --count_;
  }
  uint64_t live() const { return live_; }
  unsigned count() const { return count_; }
  uint8_t index(unsigned slot) const { return index_[slot]; }

private:
  uint64_t live_ = 0;
  unsigned count_ = 0;
  unsigned next_ = 64;
  uint8_t index_[64];
};

// The entries behind the front singles. Three groups split into at most
// 3 + 9 entries, plus the initial singles or quad: 16 places suffice.
class RestList {
public:
  RestList(std::initializer_list<Entry> entries) {
    for (Entry e : entries)
      entry_[size_++] = e;
  }
  void push_back(uint8_t index) {
    if (size_ < kSize)
      entry_[size_++] = {index, kQuad};
  }
  unsigned size() const { return size_; }
  Entry &operator[](unsigned i) { return entry_[i]; }
  // Survivors of a pass are moved down over the dead as the pass goes
  // (entry i to place w <= i); the pass ends with resize(w).
  void resize(unsigned n) { size_ = n; }

private:
  static constexpr unsigned kSize = 16;
  Entry entry_[kSize];
  unsigned size_ = 0;
};

// The walk over both parts. It holds the bit reader by value (copied in and
// handed back by finish()), and nothing in it takes its address, so the
// reader's state stays in registers however the list and the values are
// stored. Values says what a coefficient that becomes significant gets and
// when decoding must stop (checked after every event; a clear flag is never
// an event).
template <class Select, class Values> class PlaneWalk {
public:
  PlaneWalk(const BitReader &bits, Values &values, std::initializer_list<Entry> rest)
      : bits_(bits), rest_(rest), values_(values) {}

  BitReader &bits() { return bits_; }
  void finish(BitReader &bits) const { bits = bits_; }

  void pass() {
    singles();
    if (!values_.done())
      others();
  }

private:
  // Walks the front singles present when the pass starts (new ones are
  // pushed only by others(), after this).
  void singles() {
    uint64_t pending = front_.live();
    unsigned left = front_.count();
    while (left != 0) {
      const unsigned n = std::min(left, 56u);
      const uint64_t flags = bits_.peek_wide(n);
      if (flags == 0) {
        bits_.skip(n);
        left -= n;
        if (left != 0)
          pending &= ~uint64_t{1} << Select::nth(pending, n - 1);
        continue;
      }
      const unsigned z = static_cast<unsigned>(std::countr_zero(flags));
      bits_.skip(z + 1);
      left -= z + 1;
      const unsigned slot = Select::nth(pending, z);
      pending &= ~uint64_t{1} << slot; // drops slot and all below
      front_.remove(slot);
      values_.give(bits_, front_.index(slot));
      if (values_.done())
        return;
    }
  }

  void others() {
    unsigned w = 0; // next survivor's place
    unsigned i = 0;
    const auto keep = [&](unsigned n) {
      for (unsigned k = 0; k < n; ++k)
        rest_[w + k] = rest_[i + k];
      w += n;
      i += n;
    };
    while (i < rest_.size()) {
      const unsigned n = std::min(rest_.size() - i, 24u);
      const uint32_t flags = bits_.peek(n);
      if (flags == 0) {
        bits_.skip(n);
        keep(n);
        continue;
      }
      const unsigned z = static_cast<unsigned>(std::countr_zero(flags));
      bits_.skip(z + 1);
      keep(z);
      fire(i); // may append behind the end
      if (rest_[i].mode != kDead)
        rest_[w++] = rest_[i];
      ++i;
      if (values_.done()) {
        keep(rest_.size() - i);
        break;
      }
    }
    rest_.resize(w);
  }

  // Entry i has read a set flag. A group of twenty leaves its group of
  // sixteen in its place, which reads its own flag at once (and, split into
  // four quads, the first of them reads one too); then its first quad's
  // coefficients follow.
  void fire(unsigned i) {
    Entry &e = rest_[i];
    switch (e.mode) {
    case kGroup20: {
      const uint8_t quad = e.index;
      e = {static_cast<uint8_t>(quad + 4), kGroup16};
      if (!values_.done() && bits_.bit())
        split16(e);
      new_quad(quad);
      return;
    }
    case kGroup16: split16(e); return;
    case kQuad:
      e.mode = kDead;
      new_quad(e.index);
      return;
    default:
      e.mode = kDead;
      values_.give(bits_, e.index);
      return;
    }
  }

  // A group of sixteen with a set flag: its first quad stays in its place,
  // the other three go to the back, and the first reads its flag at once.
  void split16(Entry &e) {
    e.mode = kQuad;
    for (int k = 4; k <= 12; k += 4)
      rest_.push_back(static_cast<uint8_t>(e.index + k));
    if (values_.done() || !bits_.bit())
      return;
    e.mode = kDead;
    new_quad(e.index);
  }

  // Each coefficient of a quad that turns significant reads 1 (still zero:
  // to the front) or 0 (a value, whose bits follow at once). The flags up
  // to the next 0 are read together.
  void new_quad(uint8_t quad) {
    const unsigned end = quad + 4u;
    unsigned k = quad;
    while (k < end && !values_.done()) {
      const unsigned ones = static_cast<unsigned>(std::countr_one(bits_.peek(end - k)));
      for (unsigned j = 0; j < ones; ++j)
        front_.push(static_cast<uint8_t>(k + j));
      k += ones;
      if (k == end) {
        bits_.skip(ones);
        return;
      }
      bits_.skip(ones + 1);
      values_.give(bits_, static_cast<uint8_t>(k++));
    }
  }

  BitReader bits_;
  FrontSingles front_;
  RestList rest_;
  Values &values_;
};

struct CoefficientValues {
  int32_t *block;     // row-major
  unsigned width = 1; // bits of a value: the plane's low bits and the sign
  uint32_t top = 1;   // 2^plane
  void set_plane(unsigned plane) {
    width = plane + 1;
    top = 1u << plane;
  }
  static constexpr bool done() { return false; }
  // 2^plane plus `plane` low bits, then the sign: one read of plane + 1 bits.
  void give(BitReader &bits, uint8_t k) {
    const uint32_t field = bits.read(width);
    const int32_t v = static_cast<int32_t>(top | (field & (top - 1)));
    block[kCoefficientPlacement[k]] = (field & top) != 0 ? -v : v;
  }
};

struct ResidueValues {
  int8_t *residue;
  unsigned events_left;
  unsigned mask = 0;
  uint8_t nonzero[64]; // block positions, in the order they became non-zero
  unsigned nonzero_count = 0;

  bool done() const { return events_left == 0; }
  void give(BitReader &bits, uint8_t k) {
    const int8_t m = static_cast<int8_t>(mask);
    const uint8_t at = kCoefficientPlacement[k];
    residue[at] = bits.bit() ? static_cast<int8_t>(-m) : m;
    if (nonzero_count < 64)
      nonzero[nonzero_count++] = at;
    --events_left;
  }
  // One flag per non-zero value, in the order they became non-zero; a set
  // flag grows the value by the mask and is an event. Residue values are
  // signed 8-bit; growing "away from zero" tests the sign of the stored
  // byte, so magnitudes past 127 wrap.
  void refine(BitReader &bits) {
    unsigned i = 0;
    while (i < nonzero_count && !done()) {
      const unsigned n = std::min(nonzero_count - i, 56u);
      const uint64_t flags = bits.peek_wide(n);
      if (flags == 0) {
        bits.skip(n);
        i += n;
        continue;
      }
      const unsigned z = static_cast<unsigned>(std::countr_zero(flags));
      bits.skip(z + 1);
      i += z;
      int8_t &v = residue[nonzero[i++]];
      v = static_cast<int8_t>(v < 0 ? v - static_cast<int>(mask) : v + static_cast<int>(mask));
      --events_left;
    }
  }
};

template <class Select> void coefficients_with(BitReader &bits, int32_t coef[64]) {
  for (int k = 1; k < 64; ++k)
    coef[k] = 0;
  const unsigned planes = bits.read(4);
  if (planes == 0)
    return;
  CoefficientValues values{coef};
  PlaneWalk<Select, CoefficientValues> walk(
      bits, values, {{4, kGroup20}, {24, kGroup20}, {44, kGroup20}, {1, kSingle}, {2, kSingle}, {3, kSingle}});
  for (unsigned b = planes - 1;; --b) {
    values.set_plane(b);
    walk.pass();
    if (b == 0)
      break;
  }
  walk.finish(bits);
}

template <class Select> void residue_with(BitReader &bits, unsigned count, int8_t residue[64]) {
  std::memset(residue, 0, 64);
  const unsigned top = bits.read(3);
  ResidueValues values{residue, count + 1, 0, {}, 0};
  PlaneWalk<Select, ResidueValues> walk(bits, values, {{4, kGroup20}, {24, kGroup20}, {44, kGroup20}, {0, kQuad}});
  for (unsigned pass = 0; pass <= top && !values.done(); ++pass) {
    values.mask = 1u << (top - pass);
    values.refine(walk.bits());
    if (!values.done())
      walk.pass();
  }
  walk.finish(bits);
}

// Each path is one function with the whole walk inlined into it; the BMI2
// one is compiled for BMI1/BMI2 throughout (shifts and masks by a register
// count are single instructions there), which only that path may run.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VEX_BIT_PLANES_PORTABLE __attribute__((flatten))
#define VEX_BIT_PLANES_BMI2 __attribute__((flatten, target("bmi,bmi2")))
#else
#define VEX_BIT_PLANES_PORTABLE
#define VEX_BIT_PLANES_BMI2
#endif

VEX_BIT_PLANES_PORTABLE void coefficients_portable(BitReader &bits, int32_t coef[64]) {
  coefficients_with<PortableSelect>(bits, coef);
}
VEX_BIT_PLANES_BMI2 void coefficients_bmi2(BitReader &bits, int32_t coef[64]) {
  coefficients_with<Bmi2Select>(bits, coef);
}
VEX_BIT_PLANES_PORTABLE void residue_portable(BitReader &bits, unsigned count, int8_t residue[64]) {
  residue_with<PortableSelect>(bits, count, residue);
}
VEX_BIT_PLANES_BMI2 void residue_bmi2(BitReader &bits, unsigned count, int8_t residue[64]) {
  residue_with<Bmi2Select>(bits, count, residue);
}

} // namespace

bool bit_select_available(BitSelect path) { return path == BitSelect::kPortable || have_bmi2(); }

// A path the processor lacks falls back to the portable one: the BMI2
// build would stop the process on its first deposit.
void read_coefficients(BitReader &bits, int32_t coef[64], BitSelect path) {
  if (path == BitSelect::kBmi2 && have_bmi2())
    coefficients_bmi2(bits, coef);
  else
    coefficients_portable(bits, coef);
}

void read_residue(BitReader &bits, unsigned count, int8_t residue[64], BitSelect path) {
  if (path == BitSelect::kBmi2 && have_bmi2())
    residue_bmi2(bits, count, residue);
  else
    residue_portable(bits, count, residue);
}

void read_coefficients(BitReader &bits, int32_t coef[64]) {
  read_coefficients(bits, coef, have_bmi2() ? BitSelect::kBmi2 : BitSelect::kPortable);
}

void read_residue(BitReader &bits, unsigned count, int8_t residue[64]) {
  read_residue(bits, count, residue, have_bmi2() ? BitSelect::kBmi2 : BitSelect::kPortable);
}

} // namespace vex::formats::tolm
