#include "bit_plane_reference.h"

#include <vector>

namespace vex::tolm_test {
namespace {

using formats::tolm::BitReader;

enum Mode { kGroup20, kGroup16, kQuad, kSingle, kDead };

struct Entry {
  int index;
  Mode mode;
};

// What happens to a coefficient that becomes significant at a pass, and
// whether decoding has stopped.
struct Sink {
  virtual ~Sink() = default;
  virtual void value(BitReader &bits, int k) = 0;
  virtual bool stopped() const { return false; }
};

class Walk {
public:
  Walk(BitReader &bits, std::vector<Entry> list, Sink &sink) : bits_(bits), list_(std::move(list)), sink_(sink) {}

  void pass() {
    size_t i = 0;
    while (i < list_.size() && !sink_.stopped()) {
      // Entries pushed to the front move the walk's place along with them.
      const size_t fronts_before = fronts_;
      examine(i);
      i += 1 + (fronts_ - fronts_before);
    }
    std::vector<Entry> live;
    for (const Entry &e : list_)
      if (e.mode != kDead)
        live.push_back(e);
    list_ = live;
  }

private:
  void examine(size_t i) {
    while (!sink_.stopped() && bits_.bit()) {
      // Fetched anew each time: appending may move the storage. No front
      // insertion happens before a return, so i still names the entry.
      Entry &e = list_[i];
      switch (e.mode) {
      case kGroup20: {
        const int quad = e.index;
        e = {quad + 4, kGroup16};
        examine(i);
        new_quad(quad);
        return;
      }
      case kGroup16:
        e.mode = kQuad;
        for (int d = 4; d <= 12; d += 4)
          list_.push_back({list_[i].index + d, kQuad});
        continue;
      case kQuad: {
        e.mode = kDead;
        const int quad = e.index;
        new_quad(quad);
        return;
      }
      case kSingle:
        e.mode = kDead;
        sink_.value(bits_, e.index);
        return;
      case kDead:
        return;
      }
    }
  }

  void new_quad(int quad) {
    for (int k = quad; k < quad + 4; ++k) {
      if (sink_.stopped())
        return;
      if (bits_.bit()) {
        list_.insert(list_.begin(), Entry{k, kSingle});
        ++fronts_;
      } else {
        sink_.value(bits_, k);
      }
    }
  }

  BitReader &bits_;
  std::vector<Entry> list_;
  Sink &sink_;
  size_t fronts_ = 0; // entries ever put at the front
};

struct CoefficientSink : Sink {
  int32_t *coef;
  int plane = 0;
  explicit CoefficientSink(int32_t *c) : coef(c) {}
  void value(BitReader &bits, int k) override {
    int32_t v = 1 << plane;
    for (int i = 0; i < plane; ++i) // low bits, first read = least significant
      v |= static_cast<int32_t>(bits.bit()) << i;
    coef[k] = bits.bit() ? -v : v;
  }
};

struct ResidueSink : Sink {
  int8_t *residue;
  int events_left;
  int mask = 0;
  std::vector<int> nonzero;
  ResidueSink(int8_t *r, int events) : residue(r), events_left(events) {}
  bool stopped() const override { return events_left <= 0; }
  void value(BitReader &bits, int k) override {
    residue[k] = static_cast<int8_t>(bits.bit() ? -mask : mask);
    nonzero.push_back(k);
    --events_left;
  }
};

} // namespace

void reference_coefficients(BitReader &bits, int32_t coef[64]) {
  for (int k = 1; k < 64; ++k)
    coef[k] = 0;
  const int planes = static_cast<int>(bits.read(4));
  CoefficientSink sink(coef);
  Walk walk(bits, {{4, kGroup20}, {24, kGroup20}, {44, kGroup20}, {1, kSingle}, {2, kSingle}, {3, kSingle}}, sink);
  for (int b = planes - 1; b >= 0; --b) {
    sink.plane = b;
    walk.pass();
  }
}

void reference_residue(BitReader &bits, unsigned count, int8_t residue[64]) {
  for (int k = 0; k < 64; ++k)
    residue[k] = 0;
  const int top = static_cast<int>(bits.read(3));
  ResidueSink sink(residue, static_cast<int>(count) + 1);
  Walk walk(bits, {{4, kGroup20}, {24, kGroup20}, {44, kGroup20}, {0, kQuad}}, sink);
  for (int pass = 0; pass <= top && !sink.stopped(); ++pass) {
    sink.mask = 1 << (top - pass);
    for (int k : sink.nonzero) {
      if (sink.stopped())
        break;
      if (bits.bit()) {
        int8_t &v = residue[k];
        v = static_cast<int8_t>(v < 0 ? v - sink.mask : v + sink.mask);
        --sink.events_left;
      }
    }
    walk.pass();
  }
}

} // namespace vex::tolm_test
