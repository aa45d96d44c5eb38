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
//    singles or quad), at most 15 entries in list order, with a set of the
//    live ones walked the same way. Runs of clear flags are read with one
//    peek there too.
//
// For coefficients nothing ends a block early, so a new coefficient's flag
// and value are read without a branch on the flag.
#include "formats/tolm/tolm_transform.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "formats/tolm/tolm_format.h"

namespace vex::formats::tolm {
namespace {

enum Mode : uint8_t { kGroup20, kGroup16, kQuad, kSingle };

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
  // Pushes the n (0-4) coefficients first..first+n-1 in that order: the
  // first takes the highest of the n slots. The four index bytes below the
  // old boundary are written at once; those of slots the run does not take
  // are free and are written again by later pushes.
  void push_run(unsigned first, unsigned n) {
    if (n > next_) // cannot happen: each coefficient is pushed once
      return;
    const uint32_t descending = first * 0x01010101u + 0x00010203u; // first + 3 ... first
    std::memcpy(&index_[next_], &descending, 4);                   // slots next_ - 4 ... next_ - 1
    next_ -= n;
    live_ |= ((uint64_t{1} << n) - 1) << (next_ & 63); // next_ is 64 only when n is 0
    count_ += n;
  }
  // Pushes k when `yes` is 1, else changes nothing (the index byte lands in
  // a free slot). Only transform blocks push this way, at most coefficients
  // 4-63, so next_ stays above 0.
  void push_if(unsigned k, uint32_t yes) {
    index_[next_ + 3] = static_cast<uint8_t>(k); // slot next_ - 1
    next_ -= yes;
    live_ |= uint64_t{yes} << (next_ & 63); // next_ is 64 only when yes is 0
    count_ += yes;
  }
  void remove(unsigned slot) {
    live_ &= ~(uint64_t{1} << slot);
    --count_;
  }
  uint64_t live() const { return live_; }
  unsigned count() const { return count_; }
  uint8_t index(unsigned slot) const { return index_[slot + 4]; }

private:
  uint64_t live_ = 0;
  unsigned count_ = 0;
  unsigned next_ = 64;
  uint8_t index_[4 + 64]; // slot s at s + 4; the first four take the overhang of a run
};

// The entries behind the front singles, in list order by place. Three
// groups split into at most 3 + 9 entries, plus the initial singles or
// quad: 16 places suffice. Entries are only appended, and one that dies
// leaves the live set, so a pass walks the set like the front singles.
class RestList {
public:
  RestList(std::initializer_list<Entry> entries) {
    for (Entry e : entries)
      entry_[size_++] = e;
    live_ = (1u << size_) - 1;
    count_ = size_;
  }
  // Returns how many entries it appended: 1 (0 when full, which the
  // groups' splits cannot reach).
  unsigned push_back(uint8_t index) {
    if (size_ == kSize)
      return 0;
    entry_[size_] = {index, kQuad};
    live_ |= 1u << size_++;
    ++count_;
    return 1;
  }
  void remove(unsigned place) {
    live_ &= ~(1u << place);
    --count_;
  }
  uint32_t live() const { return live_; }
  unsigned count() const { return count_; }
  Entry &operator[](unsigned place) { return entry_[place]; }

private:
  static constexpr unsigned kSize = 16;
  Entry entry_[kSize];
  unsigned size_ = 0;
  uint32_t live_ = 0;
  unsigned count_ = 0; // members of live_
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

  // Walks the rest; entries appended on the way join the walk. The live
  // entries past the one just walked are exactly those still to walk.
  void others() {
    uint32_t pending = rest_.live();
    unsigned left = rest_.count();
    while (left != 0) {
      const uint32_t flags = bits_.peek(left);
      if (flags == 0) {
        bits_.skip(left);
        return;
      }
      const unsigned z = static_cast<unsigned>(std::countr_zero(flags));
      bits_.skip(z + 1);
      const unsigned place = Select::nth(pending, z);
      left += fire(place) - (z + 1);
      pending = rest_.live() & (~1u << place); // drops place and all below
      if (values_.done())
        return;
    }
  }

  // Entry `place` has read a set flag; returns how many entries it
  // appended. A group of twenty leaves its group of sixteen in its place,
  // which reads its own flag at once (and, split into four quads, the first
  // of them reads one too); then its first quad's coefficients follow.
  unsigned fire(unsigned place) {
    Entry &e = rest_[place];
    switch (e.mode) {
    case kGroup20: {
      const uint8_t quad = e.index;
      e = {static_cast<uint8_t>(quad + 4), kGroup16};
      unsigned added = 0;
      if (!values_.done() && bits_.bit())
        added = split16(place);
      new_quad(quad);
      return added;
    }
    case kGroup16: return split16(place);
    case kQuad:
      rest_.remove(place);
      new_quad(e.index);
      return 0;
    default:
      rest_.remove(place);
      values_.give(bits_, e.index);
      return 0;
    }
  }

  // A group of sixteen with a set flag: its first quad stays in its place,
  // the other three go to the back, and the first reads its flag at once.
  unsigned split16(unsigned place) {
    Entry &e = rest_[place];
    e.mode = kQuad;
    unsigned added = 0;
    for (int k = 4; k <= 12; k += 4)
      added += rest_.push_back(static_cast<uint8_t>(e.index + k));
    if (!values_.done() && bits_.bit()) {
      rest_.remove(place);
      new_quad(e.index);
    }
    return added;
  }

  // Each coefficient of a quad that turns significant reads 1 (still zero:
  // to the front) or 0 (a value, whose bits follow at once).
  void new_quad(uint8_t quad) {
    if constexpr (Values::kStops)
      new_quad_stopping(quad);
    else
      for (unsigned k = quad; k < quad + 4u; ++k)
        new_coefficient(k);
  }

  // One coefficient without a branch on its flag: a set flag pushes it and
  // reads no value (the value field's width becomes 0 and its place keeps
  // the 0 it has, as every new coefficient is still 0).
  void new_coefficient(unsigned k) {
    const uint32_t flags = bits_.peek(Values::kLongestValue + 1);
    const uint32_t still_zero = flags & 1;
    front_.push_if(k, still_zero);
    const unsigned width = values_.width() & (still_zero - 1);
    bits_.skip(1 + width);
    values_.put_if(k, flags >> 1, still_zero == 0);
  }

  // The same where an event may end the decoding: the flags up to the next
  // 0 are read together.
  void new_quad_stopping(uint8_t quad) {
    const unsigned end = quad + 4u;
    unsigned k = quad;
    while (k < end && !values_.done()) {
      const unsigned ones = static_cast<unsigned>(std::countr_one(bits_.peek(end - k)));
      front_.push_run(k, ones);
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
  static constexpr bool kStops = false;
  static constexpr unsigned kLongestValue = 15; // plane 14: 14 low bits and the sign

  int32_t *block;     // row-major
  unsigned plane = 0; // 2^plane is the top bit of a value
  void set_plane(unsigned b) { plane = b; }
  static constexpr bool done() { return false; }
  unsigned width() const { return plane + 1; }

  // 2^plane plus `plane` low bits, then the sign: one field of plane + 1
  // bits, the sign landing in bit `plane`.
  int32_t value(uint32_t field) const {
    field &= (2u << plane) - 1;
    const int32_t v = static_cast<int32_t>(field | 1u << plane);
    const int32_t negative = -static_cast<int32_t>(field >> plane); // 0 or all ones
    return (v ^ negative) - negative;
  }
  void give(BitReader &bits, uint8_t k) { block[kCoefficientPlacement[k]] = value(bits.read(width())); }
  // Stores the value read from `field` when `yes`, else the 0 the place
  // holds (the caller's bits were not consumed).
  void put_if(unsigned k, uint32_t field, bool yes) {
    block[kCoefficientPlacement[k]] = value(field) & -static_cast<int32_t>(yes);
  }
};

struct ResidueValues {
  static constexpr bool kStops = true;
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
