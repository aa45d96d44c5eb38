// Packs a frame plan into Tolm video data: per plane the code tables, then
// per band of eight rows the chunks of every exhausted bundle followed by the
// bits the blocks read directly.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <list>
#include <numeric>
#include <stdexcept>

#include "testkit/formats/tolm/tolm_bit_writer.h"
#include "testkit/formats/tolm/tolm_plan.h"
#include "testkit/formats/tolm/tolm_reference_tables.h"
#include "util/bytes.h"

namespace vex::testkit::tolm {
namespace {

// Bundles, in the order the decoder refills them.
enum Stream { kTypes, kSubTypes, kColours, kPatterns, kX, kY, kIntraDc, kInterDc, kRuns, kStreams };
constexpr int kMultiplier[kStreams] = {1, 1, 64, 8, 1, 1, 1, 1, 48};

// Code-table slots in the order the tables are written: block types, sub
// types, sixteen colour contexts, colours, patterns, x, y, runs.
constexpr int kSlotTypes = 0, kSlotSubTypes = 1, kSlotContext0 = 2, kSlotColours = 18, kSlotPatterns = 19,
              kSlotX = 20, kSlotY = 21, kSlotRuns = 22, kSlots = 23;

// A piece of the plane's bit stream: plain bits, or a symbol to be coded
// with the table of a slot once the tables are chosen.
struct Token {
  bool symbol;
  uint8_t slot;
  uint8_t bits;
  uint32_t value;
};

class TokenStream {
public:
  void bits(uint32_t value, int n) {
    if (n < 32 && (value >> n) != 0)
      throw std::logic_error("value wider than its field");
    tokens_.push_back({false, 0, static_cast<uint8_t>(n), value});
  }
  void bit(bool b) { bits(b, 1); }
  void symbol(int slot, unsigned value) {
    if (value > 15)
      throw std::logic_error("symbol out of range");
    tokens_.push_back({true, static_cast<uint8_t>(slot), 0, value});
  }
  void append(const TokenStream &o) { tokens_.insert(tokens_.end(), o.tokens_.begin(), o.tokens_.end()); }
  const std::vector<Token> &tokens() const { return tokens_; }

private:
  std::vector<Token> tokens_;
};

// ---- transform coefficients and residues -------------------------------

enum ListMode { kListG20, kListG16, kListQuad, kListSingle, kListGone };
struct ListEntry {
  int index;
  ListMode mode;
};

int span_of(ListMode m) { return m == kListG20 ? 20 : m == kListG16 ? 16 : m == kListQuad ? 4 : 1; }

// Writes the bit-plane walk for magnitudes `mag` (coding order). Hooks:
// value(k) writes what a newly significant coefficient carries; stop() ends
// everything at once (residue event limit).
template <class Value, class Stop>
void walk_pass(TokenStream &out, std::list<ListEntry> &list, const std::array<int, 64> &mag, int threshold,
               Value value, Stop stop) {
  auto significant = [&](const ListEntry &e) {
    for (int k = e.index; k < e.index + span_of(e.mode); ++k)
      if (mag[k] >= threshold)
        return true;
    return false;
  };
  auto new_quad = [&](int quad) {
    for (int k = quad; k < quad + 4; ++k) {
      if (stop())
        return;
      if (mag[k] >= threshold) {
        out.bit(false);
        value(k);
      } else {
        out.bit(true);
        list.push_front({k, kListSingle});
      }
    }
  };
  // Recursive visit of one entry, mirroring "examined again at once".
  auto visit = [&](auto &self, std::list<ListEntry>::iterator it) -> void {
    while (!stop()) {
      const bool sig = significant(*it);
      out.bit(sig);
      if (!sig)
        return;
      switch (it->mode) {
      case kListG20: {
        const int quad = it->index;
        *it = {quad + 4, kListG16};
        self(self, it);
        new_quad(quad);
        return;
      }
      case kListG16:
        it->mode = kListQuad;
        for (int d = 4; d <= 12; d += 4)
          list.push_back({it->index + d, kListQuad});
        continue;
      case kListQuad:
        it->mode = kListGone;
        new_quad(it->index);
        return;
      default:
        it->mode = kListGone;
        value(it->index);
        return;
      }
    }
  };
  for (auto it = list.begin(); it != list.end() && !stop(); ++it)
    if (it->mode != kListGone)
      visit(visit, it);
  list.remove_if([](const ListEntry &e) { return e.mode == kListGone; });
}

void put_coefficients(TokenStream &out, const std::array<int32_t, 64> &coef) {
  std::array<int, 64> mag{};
  int largest = 0;
  for (int k = 1; k < 64; ++k) {
    mag[k] = std::abs(coef[k]);
    if (mag[k] > 32767)
      throw std::invalid_argument("coefficient beyond 15 bits");
    largest = std::max(largest, mag[k]);
  }
  const int planes = static_cast<int>(std::bit_width(static_cast<unsigned>(largest)));
  out.bits(planes, 4);
  if (planes == 0)
    return;
  std::list<ListEntry> list = {{4, kListG20},    {24, kListG20},   {44, kListG20},
                               {1, kListSingle}, {2, kListSingle}, {3, kListSingle}};
  for (int b = planes - 1; b >= 0; --b) {
    auto value = [&](int k) {
      if (b > 0)
        out.bits(mag[k] - (1 << b), b);
      out.bit(coef[k] < 0);
    };
    walk_pass(out, list, mag, 1 << b, value, [] { return false; });
  }
}

// Writes a residue with at most `limit` events; returns the values the
// decoder ends up with and the number of events the stream holds.
int put_residue_events(TokenStream &out, const std::array<int8_t, 64> &residue, int limit,
                       std::array<int8_t, 64> &decoded) {
  std::array<int, 64> mag{};
  int largest = 0;
  for (int k = 0; k < 64; ++k) {
    if (residue[k] == -128)
      throw std::invalid_argument("residue beyond 7 bits");
    mag[k] = std::abs(residue[k]);
    largest = std::max(largest, mag[k]);
  }
  const int top = largest == 0 ? 0 : static_cast<int>(std::bit_width(static_cast<unsigned>(largest))) - 1;
  out.bits(top, 3);
  decoded.fill(0);
  std::vector<int> nonzero;
  int events = 0;
  auto stop = [&] { return events >= limit; };
  std::list<ListEntry> list = {{4, kListG20}, {24, kListG20}, {44, kListG20}, {0, kListQuad}};
  for (int pass = 0; pass <= top && !stop(); ++pass) {
    const int mask = 1 << (top - pass);
    for (int k : nonzero) {
      if (stop())
        break;
      const bool set = (mag[k] & mask) != 0;
      out.bit(set);
      if (set) {
        decoded[k] = static_cast<int8_t>(decoded[k] + (residue[k] < 0 ? -mask : mask));
        ++events;
      }
    }
    auto value = [&](int k) {
      out.bit(residue[k] < 0);
      decoded[k] = static_cast<int8_t>(residue[k] < 0 ? -mask : mask);
      nonzero.push_back(k);
      ++events;
    };
    walk_pass(out, list, mag, mask, value, stop);
  }
  return events;
}

void put_residue(TokenStream &out, std::array<int8_t, 64> &residue) {
  TokenStream scratch;
  std::array<int8_t, 64> decoded;
  const int events = put_residue_events(scratch, residue, 1 << 30, decoded);
  const int count = events == 0 ? 0 : std::min(events, 128) - 1;
  out.bits(count, 7);
  put_residue_events(out, residue, count + 1, decoded);
  residue = decoded;
}

// Plain bits of a stream that holds no symbols, into a writer.
void put_plain(const TokenStream &in, BitWriter &out) {
  for (const Token &t : in.tokens()) {
    if (t.symbol)
      throw std::logic_error("a block's coefficients hold no coded symbols");
    out.put(t.value, t.bits);
  }
}

} // namespace

size_t encode_coefficients(const std::array<int32_t, 64> &coef, BitWriter &out) {
  TokenStream s;
  put_coefficients(s, coef);
  const size_t before = out.bit_count();
  put_plain(s, out);
  return out.bit_count() - before;
}

size_t encode_residue(std::array<int8_t, 64> &residue, BitWriter &out) {
  TokenStream s;
  put_residue(s, residue);
  const size_t before = out.bit_count();
  put_plain(s, out);
  return out.bit_count() - before;
}

namespace {

// ---- elements of one band ---------------------------------------------

struct BandData {
  std::array<std::vector<int>, kStreams> elements;
  TokenStream direct;
};

class BandBuilder {
public:
  BandBuilder(BandData &band, bool signed_colours) : band_(band), signed_(signed_colours) {}

  void block(BlockPlan &b, bool first_band_of_pair) {
    band_.elements[kTypes].push_back(b.type);
    switch (b.type) {
    case kSkip: break;
    case kScaled:
      if (first_band_of_pair) {
        band_.elements[kSubTypes].push_back(b.sub_type);
        sub_block(b);
      }
      break;
    case kMotion: offsets(b); break;
    case kResidue:
      offsets(b);
      put_residue(band_.direct, b.residue);
      break;
    case kInter:
      offsets(b);
      band_.elements[kInterDc].push_back(b.coef[0]);
      transform(b);
      break;
    default: sub_block(b); break;
    }
  }

private:
  void sub_block(BlockPlan &b) {
    const uint8_t type = b.type == kScaled ? b.sub_type : b.type;
    size_t used = 0;
    auto colours = [&](size_t n) {
      if (b.colours.size() < used + n)
        throw std::invalid_argument("block plan short of colours");
      for (size_t i = 0; i < n; ++i)
        band_.elements[kColours].push_back(stored_colour(b.colours[used++]));
    };
    switch (type) {
    case kRun: {
      band_.direct.bits(b.scan, 4);
      int filled = 0;
      for (const RunStep &s : b.runs) {
        if (filled >= 63 || s.length < 1 || s.length > 16)
          throw std::invalid_argument("bad run");
        band_.direct.bit(s.same);
        band_.elements[kRuns].push_back(s.length - 1);
        colours(s.same ? 1 : s.length);
        filled += s.length;
      }
      if (filled < 63 || filled > 64)
        throw std::invalid_argument("runs must cover 63 or 64 pixels");
      if (filled == 63)
        colours(1);
      break;
    }
    case kIntra:
      band_.elements[kIntraDc].push_back(b.coef[0]);
      transform(b);
      break;
    case kFill: colours(1); break;
    case kPattern:
      colours(2);
      for (uint8_t p : b.pattern)
        band_.elements[kPatterns].push_back(p);
      break;
    case kRaw: colours(64); break;
    default: break;
    }
  }

  void offsets(const BlockPlan &b) {
    if (std::abs(b.dx) > 15 || std::abs(b.dy) > 15)
      throw std::invalid_argument("offset beyond 15");
    band_.elements[kX].push_back(b.dx);
    band_.elements[kY].push_back(b.dy);
  }

  void transform(const BlockPlan &b) {
    put_coefficients(band_.direct, b.coef);
    band_.direct.bits(b.q, 4);
  }

  // The byte the decoder must read to end up with colour c.
  int stored_colour(uint8_t c) const {
    if (!signed_)
      return c;
    if (c == 0)
      throw std::invalid_argument("colour 0 cannot be coded around 128");
    return c >= 128 ? c - 128 : 256 - c;
  }

  BandData &band_;
  bool signed_;
};

// ---- chunks ------------------------------------------------------------

uint32_t capacity(int stream, uint32_t width8) {
  const uint32_t w = stream == kSubTypes ? width8 / 2 : width8;
  return 512 + w / 8 * kMultiplier[stream];
}

int length_bits(uint32_t cap) {
  int bits = 0;
  while ((1u << bits) <= cap - 1 && bits < 15)
    ++bits;
  return bits;
}

class ChunkWriter {
public:
  explicit ChunkWriter(const EncodeOptions &o) : options_(o) {}

  void write(TokenStream &out, int stream, const std::vector<int> &v) {
    const bool same = std::all_of(v.begin(), v.end(), [&](int x) { return x == v[0]; });
    const bool fill = options_.use_fills && same;
    switch (stream) {
    case kTypes:
    case kSubTypes: types(out, stream == kTypes ? kSlotTypes : kSlotSubTypes, v, fill); break;
    case kRuns:
      out.bit(fill);
      if (fill)
        out.bits(v[0], 4);
      else
        for (int x : v)
          out.symbol(kSlotRuns, x);
      break;
    case kColours:
      out.bit(fill);
      if (fill)
        colour(out, v[0]);
      else
        for (int x : v)
          colour(out, x);
      break;
    case kPatterns:
      for (int x : v) {
        out.symbol(kSlotPatterns, x & 15);
        out.symbol(kSlotPatterns, x >> 4);
      }
      break;
    case kX:
    case kY: {
      const int slot = stream == kX ? kSlotX : kSlotY;
      out.bit(fill);
      auto sign = [&](int x) {
        if (x != 0)
          out.bit(x < 0);
      };
      if (fill) {
        out.bits(std::abs(v[0]), 4);
        sign(v[0]);
      } else {
        for (int x : v) {
          out.symbol(slot, std::abs(x));
          sign(x);
        }
      }
      break;
    }
    default: dc(out, v, stream == kInterDc); break;
    }
  }

private:
  void types(TokenStream &out, int slot, const std::vector<int> &v, bool fill) {
    out.bit(fill);
    if (fill) {
      out.bits(v[0], 4);
      return;
    }
    int previous = 0;
    for (size_t i = 0; i < v.size();) {
      size_t same = 0;
      while (options_.use_repeats && i + same < v.size() && v[i + same] == previous)
        ++same;
      if (same >= 4) {
        static constexpr int kRepeat[4] = {32, 12, 8, 4};
        for (int r = 0; r < 4; ++r)
          if (same >= static_cast<size_t>(kRepeat[r])) {
            out.symbol(slot, 15 - r);
            i += kRepeat[r];
            break;
          }
        continue;
      }
      if (v[i] >= 12)
        throw std::invalid_argument("block type above 11");
      out.symbol(slot, v[i]);
      previous = v[i++];
    }
  }

  void colour(TokenStream &out, int value) {
    out.symbol(kSlotContext0 + context_, value >> 4);
    out.symbol(kSlotColours, value & 15);
    context_ = value >> 4;
  }

  void dc(TokenStream &out, const std::vector<int> &v, bool is_signed) {
    int current = v[0];
    if (is_signed) {
      if (std::abs(current) > 1023)
        throw std::invalid_argument("first inter DC of a chunk beyond 10 bits");
      out.bits(std::abs(current), 10);
      if (current != 0)
        out.bit(current < 0);
    } else {
      if (current < 0 || current > 2047)
        throw std::invalid_argument("first intra DC of a chunk beyond 11 bits");
      out.bits(current, 11);
    }
    for (size_t i = 1; i < v.size(); i += 8) {
      const size_t group = std::min<size_t>(8, v.size() - i);
      int width = 0, c = current;
      for (size_t g = 0; g < group; ++g) {
        width = std::max(width, static_cast<int>(std::bit_width(static_cast<unsigned>(std::abs(v[i + g] - c)))));
        c = v[i + g];
      }
      if (width > 15)
        throw std::invalid_argument("DC step beyond 15 bits");
      out.bits(width, 4);
      for (size_t g = 0; g < group; ++g) {
        const int d = v[i + g] - current;
        if (width != 0) {
          out.bits(std::abs(d), width);
          if (d != 0)
            out.bit(d < 0);
        }
        current = v[i + g];
      }
    }
  }

  const EncodeOptions &options_;
  int context_ = 0;
};

// ---- code tables -------------------------------------------------------

struct TableHeader {
  std::vector<std::pair<uint32_t, int>> bits;
  std::array<int, 16> symbol_at{}; // permutation: symbol at each position
};

// The permutation a header form gives for the wanted order, and its bits.
TableHeader explicit_header(int code, const std::array<int, 16> &wanted, int head) {
  TableHeader h;
  h.bits = {{code, 4}, {1, 1}, {head - 1, 3}};
  std::vector<bool> used(16);
  for (int k = 0; k < head; ++k) {
    h.bits.push_back({wanted[k], 4});
    h.symbol_at[k] = wanted[k];
    used[wanted[k]] = true;
  }
  for (int s = 0, k = head; s < 16; ++s)
    if (!used[s])
      h.symbol_at[k++] = s;
  return h;
}

TableHeader merge_header(int code, const std::array<int, 16> &wanted, int levels) {
  std::array<int, 16> rank{};
  for (int k = 0; k < 16; ++k)
    rank[wanted[k]] = k;
  TableHeader h;
  h.bits = {{code, 4}, {0, 1}, {levels, 2}};
  std::vector<std::vector<int>> lists;
  for (int i = 0; i < 8; ++i) {
    const bool swap = rank[2 * i + 1] < rank[2 * i];
    h.bits.push_back({swap, 1});
    lists.push_back(swap ? std::vector<int>{2 * i + 1, 2 * i} : std::vector<int>{2 * i, 2 * i + 1});
  }
  for (int l = 0; l < levels; ++l) {
    std::vector<std::vector<int>> next;
    for (size_t i = 0; i < lists.size(); i += 2) {
      const auto &a = lists[i], &b = lists[i + 1];
      std::vector<int> m;
      size_t ia = 0, ib = 0;
      while (ia < a.size() && ib < b.size()) {
        const bool second = rank[b[ib]] < rank[a[ia]];
        h.bits.push_back({second, 1});
        m.push_back(second ? b[ib++] : a[ia++]);
      }
      m.insert(m.end(), a.begin() + ia, a.end());
      m.insert(m.end(), b.begin() + ib, b.end());
      next.push_back(m);
    }
    lists = next;
  }
  int k = 0;
  for (const auto &l : lists)
    for (int s : l)
      h.symbol_at[k++] = s;
  return h;
}

struct ChosenTable {
  int code;
  TableHeader header;
  std::array<int, 16> position_of{};
};

int64_t header_cost(const TableHeader &h) {
  int64_t c = 0;
  for (auto &b : h.bits)
    c += b.second;
  return c;
}

ChosenTable choose_table(const std::array<int64_t, 16> &freq, const TableChoice &choice) {
  const ReferenceTables &t = reference_tables();
  std::array<int, 16> wanted;
  std::iota(wanted.begin(), wanted.end(), 0);
  std::stable_sort(wanted.begin(), wanted.end(), [&](int a, int b) { return freq[a] > freq[b]; });
  int used = 0;
  for (int64_t f : freq)
    used += f > 0;

  std::vector<ChosenTable> candidates;
  auto add = [&](int code, TableHeader h) {
    ChosenTable c{code, std::move(h), {}};
    for (int k = 0; k < 16; ++k)
      c.position_of[c.header.symbol_at[k]] = k;
    candidates.push_back(std::move(c));
  };
  for (int code = 0; code < 16; ++code) {
    if (choice.code >= 0 && code != choice.code)
      continue;
    if (code == 0) {
      TableHeader identity;
      identity.bits = {{0, 4}};
      std::iota(identity.symbol_at.begin(), identity.symbol_at.end(), 0);
      add(0, identity);
      continue;
    }
    if (choice.permutation < 0 || choice.permutation == 0) {
      if (choice.permutation == 0)
        add(code, explicit_header(code, wanted, std::clamp(used, 1, 8)));
      else
        for (int head = 1; head <= 8; ++head)
          add(code, explicit_header(code, wanted, head));
    }
    for (int levels = 0; levels < 4; ++levels)
      if (choice.permutation < 0 || choice.permutation == levels + 1)
        add(code, merge_header(code, wanted, levels));
  }
  int64_t best_cost = INT64_MAX;
  size_t best = 0;
  for (size_t i = 0; i < candidates.size(); ++i) {
    int64_t cost = header_cost(candidates[i].header);
    for (int s = 0; s < 16; ++s)
      cost += freq[s] * t.codes[candidates[i].code].length[candidates[i].position_of[s]];
    if (cost < best_cost) {
      best_cost = cost;
      best = i;
    }
  }
  return candidates[best];
}

// ---- planes and frames -------------------------------------------------

std::vector<uint8_t> encode_plane(PlanePlan &plane, bool signed_colours, const EncodeOptions &options) {
  const size_t bands = plane.bands.size();
  if (bands != plane.height8 / 8)
    throw std::invalid_argument("plane plan has the wrong number of bands");
  std::vector<BandData> data(bands);
  for (size_t j = 0; j < bands; ++j) {
    BandBuilder builder(data[j], signed_colours);
    uint32_t x = 0;
    for (BlockPlan &b : plane.bands[j]) {
      if (x >= plane.width8)
        throw std::invalid_argument("band plan wider than the plane");
      builder.block(b, (j & 1) == 0);
      x += b.type == kScaled ? 16 : 8;
    }
    if (x < plane.width8)
      throw std::invalid_argument("band plan narrower than the plane");
  }

  TokenStream body;
  ChunkWriter chunks(options);
  std::array<size_t, kStreams> next_refill{};
  std::array<bool, kStreams> finished{};
  for (size_t j = 0; j < bands; ++j) {
    for (int s = 0; s < kStreams; ++s) {
      if (finished[s] || next_refill[s] != j)
        continue;
      const int bits = length_bits(capacity(s, plane.width8));
      // A chunk holds what the bundle holds and its length field can say.
      const uint32_t cap = std::min(capacity(s, plane.width8), (1u << bits) - 1);
      std::vector<int> elements;
      size_t last = j;
      bool any = false;
      for (size_t k = j; k < bands; ++k) {
        const auto &e = data[k].elements[s];
        if (e.empty())
          continue;
        if (e.size() > cap)
          throw std::invalid_argument("one band needs more than a bundle holds");
        if (elements.size() + e.size() > cap || (any && !options.greedy_chunks))
          break;
        elements.insert(elements.end(), e.begin(), e.end());
        last = k;
        any = true;
      }
      if (!any) {
        body.bits(0, bits);
        finished[s] = true;
        continue;
      }
      body.bits(static_cast<uint32_t>(elements.size()), bits);
      chunks.write(body, s, elements);
      next_refill[s] = last + 1;
    }
    body.append(data[j].direct);
  }

  std::array<std::array<int64_t, 16>, kSlots> freq{};
  for (const Token &t : body.tokens())
    if (t.symbol)
      ++freq[t.slot][t.value];
  BitWriter out;
  std::vector<ChosenTable> tables;
  for (int slot = 0; slot < kSlots; ++slot) {
    tables.push_back(choose_table(freq[slot], options.tables));
    for (auto &b : tables.back().header.bits)
      out.put(b.first, b.second);
  }
  const ReferenceTables &ref = reference_tables();
  for (const Token &t : body.tokens()) {
    if (!t.symbol) {
      out.put(t.value, t.bits);
      continue;
    }
    const ChosenTable &c = tables[t.slot];
    const int pos = c.position_of[t.value];
    out.put(ref.codes[c.code].bits[pos], ref.codes[c.code].length[pos]);
  }
  return out.bytes();
}

void append_u32(std::vector<uint8_t> &out, uint32_t v) { util::append_le32(out, v); }

} // namespace

uint32_t luma_width8(uint32_t width) { return (width + 7) & ~7u; }
uint32_t chroma_width8(uint32_t width) { return (((width + 1) >> 1) + 7) & ~7u; }

FramePlan uniform_plan(uint32_t width, uint32_t height, uint8_t type) {
  FramePlan f;
  f.width = width;
  f.height = height;
  f.padded_width = (width + 15) & ~15u;
  f.padded_height = (height + 15) & ~15u;
  for (int p = 0; p < 4; ++p) {
    PlanePlan &plane = f.planes[p];
    const bool chroma = p == kChroma1 || p == kChroma2;
    plane.width8 = chroma ? chroma_width8(width) : luma_width8(width);
    plane.height8 = chroma ? chroma_width8(height) : luma_width8(height);
    BlockPlan b;
    b.type = type;
    if (type == kFill)
      b.colours = {128};
    plane.bands.assign(plane.height8 / 8, BandPlan(plane.width8 / 8, b));
  }
  return f;
}

std::vector<uint8_t> encode_frame(FramePlan &plan, const EncodeOptions &options) {
  std::vector<uint8_t> out;
  if (plan.has_alpha) {
    const auto alpha = encode_plane(plan.planes[kAlpha], plan.signed_colours, options);
    append_u32(out, static_cast<uint32_t>(alpha.size() + 4));
    out.insert(out.end(), alpha.begin(), alpha.end());
  }
  const auto luma = encode_plane(plan.planes[kLuma], plan.signed_colours, options);
  if (!plan.signed_colours)
    append_u32(out, static_cast<uint32_t>(luma.size() + 4));
  out.insert(out.end(), luma.begin(), luma.end());
  if (!plan.no_chroma)
    for (int p : {kChroma1, kChroma2}) {
      const auto c = encode_plane(plan.planes[p], plan.signed_colours, options);
      out.insert(out.end(), c.begin(), c.end());
    }
  return out;
}

} // namespace vex::testkit::tolm
