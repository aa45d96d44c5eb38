#include "testkit/formats/tolm/tolm_slow_reference.h"

#include <vector>

namespace vex::testkit::tolm {
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

int32_t wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
int32_t scaled(int32_t a, int32_t k) { return wrap(int64_t{a} * k) >> 11; }

void reference_1d(int32_t *x, int stride) {
  int32_t p[8];
  for (int i = 0; i < 8; ++i)
    p[i] = x[i * stride];
  const int32_t a04 = wrap(int64_t{p[0]} + p[4]), d04 = wrap(int64_t{p[0]} - p[4]), a26 = wrap(int64_t{p[2]} + p[6]);
  const int32_t e0 = wrap(int64_t{a04} + a26), e3 = wrap(int64_t{a04} - a26);
  const int32_t t = wrap(int64_t{scaled(wrap(int64_t{p[2]} - p[6]), 2896)} - a26);
  const int32_t e1 = wrap(int64_t{d04} + t), e2 = wrap(int64_t{d04} - t);
  const int32_t a17 = wrap(int64_t{p[1]} + p[7]), d17 = wrap(int64_t{p[1]} - p[7]);
  const int32_t a35 = wrap(int64_t{p[3]} + p[5]), d53 = wrap(int64_t{p[5]} - p[3]);
  const int32_t s = wrap(int64_t{a17} + a35);
  const int32_t u = scaled(wrap(int64_t{d17} + d53), 3784);
  const int32_t o1 = wrap(int64_t{wrap(int64_t{scaled(d53, -5352)} - s)} + u);
  const int32_t o2 = wrap(int64_t{scaled(wrap(int64_t{a17} - a35), 2896)} - o1);
  const int32_t o3 = wrap(int64_t{wrap(int64_t{scaled(d17, 2217)} - u)} + o2);
  const int32_t r[8] = {wrap(int64_t{e0} + s),  wrap(int64_t{e1} + o1), wrap(int64_t{e2} + o2), wrap(int64_t{e3} - o3),
                        wrap(int64_t{e3} + o3), wrap(int64_t{e2} - o2), wrap(int64_t{e1} - o1), wrap(int64_t{e0} - s)};
  for (int i = 0; i < 8; ++i)
    x[i * stride] = r[i];
}

} // namespace

void reference_transform(const int32_t *coef, const uint32_t *factors, int32_t *out) {
  for (int i = 0; i < 64; ++i)
    out[i] = coef[i] == 0 ? 0 : wrap(int64_t{coef[i]} * factors[i]) >> 11;
  for (int c = 0; c < 8; ++c) {
    bool empty = true;
    for (int r = 1; r < 8; ++r)
      empty = empty && out[8 * r + c] == 0;
    if (empty)
      for (int r = 1; r < 8; ++r)
        out[8 * r + c] = out[c];
    else
      reference_1d(out + c, 8);
  }
  for (int r = 0; r < 8; ++r) {
    int32_t *row = out + 8 * r;
    bool empty = true;
    for (int c = 1; c < 8; ++c)
      empty = empty && row[c] == 0;
    if (empty)
      for (int c = 1; c < 8; ++c)
        row[c] = row[0];
    else
      reference_1d(row, 1);
    for (int c = 0; c < 8; ++c)
      row[c] = wrap(int64_t{row[c]} + 127) >> 8;
  }
}

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

} // namespace vex::testkit::tolm
