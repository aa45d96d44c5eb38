// HuffStartEncode: builds the Huffman code from the counts and writes the
// code table.
#include <array>
#include <cstring>
#include <vector>

#include "huff/huff_bit_gatherer.h"
#include "huff/huff_record.h"
#include "huff/huff_weight_list.h"
#include "vexutil/util.h"

using namespace vex::huff;

namespace {

constexpr uint32_t kMaxCodeLength = 30;       // a code of 31 bits or more fails
constexpr uint32_t kMaxSubtreeBits = 0x7FFF8; // 8 bits per internal node
constexpr uint32_t kEscapeMinHits = 32;       // fewer recent hits: escape unused
constexpr int32_t kNoTable = 12;
constexpr int32_t kSingleLeaf = 20;
constexpr int32_t kTableBase = 16;

// Tree-building work area, indexed by internal-node number (node reference
// - 0x10000). One per thread, held while that thread's outermost
// HuffStartEncode runs (a 16-bit table builds its byte tables inside it),
// so encoders on different threads never share one.
struct WorkArea {
  uint32_t weight[0x10000];
  uint32_t zero[0x10000]; // 0-branch child
  uint32_t one[0x10000];  // 1-branch child
};
thread_local WorkArea *t_work = nullptr;

bool is_leaf(uint32_t ref) { return ref < kLeafLimit; }

class TableBuilder {
public:
  explicit TableBuilder(HUFF *h) : h_(h), w_(*t_work), list_(symbol_count(h)) {}

  void insert(uint32_t ref) { list_.insert({weight(ref), ref}); }

  size_t distinct() const { return list_.size(); }
  uint32_t first() const { return list_.at(0).ref; }

  // Pairs the two lightest entries until one remains; returns the root.
  uint32_t build_tree() {
    uint32_t next = 0;
    while (list_.size() >= 2) {
      const WeightedRef one = list_.pop_last();
      const WeightedRef zero = list_.pop_last();
      w_.weight[next] = zero.weight + one.weight;
      w_.zero[next] = zero.ref;
      w_.one[next] = one.ref;
      list_.insert({w_.weight[next], kLeafLimit + next});
      ++next;
    }
    internal_nodes_ = next;
    return list_.at(0).ref;
  }

  // Depth-first: every leaf gets its depth as length and its path, first
  // branch in bit 0, as code. Returns false when a depth reached 31.
  bool assign_codes(uint32_t root) {
    struct Visit {
      uint32_t ref, depth, code;
    };
    std::vector<Visit> stack{{root, 0, 0}};
    bool ok = true;
    while (!stack.empty()) {
      const Visit v = stack.back();
      stack.pop_back();
      if (v.depth > kMaxCodeLength)
        ok = false;
      if (is_leaf(v.ref)) {
        h_->length[v.ref] = static_cast<uint8_t>(v.depth < 255 ? v.depth : 254);
        h_->code[v.ref] = v.code;
        continue;
      }
      const uint32_t k = v.ref - kLeafLimit;
      const uint32_t bit = v.depth < 32 ? 1u << v.depth : 0u;
      stack.push_back({w_.one[k], v.depth + 1, v.code | bit});
      stack.push_back({w_.zero[k], v.depth + 1, v.code});
    }
    return ok;
  }

  // Along the root's chain of 1-branch children, no 0-branch subtree may
  // need more than 0x7FFF8 bits at 8 per internal node. (With at most
  // 65535 internal nodes this holds for every tree the encoder builds.)
  bool size_ok(uint32_t root) const {
    // No subtree has more internal nodes than the whole tree.
    if (8ull * internal_nodes_ <= kMaxSubtreeBits)
      return true;
    for (uint32_t node = root; !is_leaf(node); node = w_.one[node - kLeafLimit]) {
      const uint32_t zero = w_.zero[node - kLeafLimit];
      if (!is_leaf(zero) && 8ull * internal_nodes(zero) > kMaxSubtreeBits)
        return false;
    }
    return true;
  }

  // Pre-order below an internal node: its 0-branch child, then its 1-branch
  // child; 1 = internal, 0 = leaf and its symbol. Depth is at most 30 here.
  // 8-bit tables: every field is a bit or a bit and a byte, gathered and
  // written in one go (the same bits as one write per field).
  void write_tree8(uint32_t root) {
    // 256 leaves of 9 bits, 255 internal nodes of 1 bit.
    std::array<uint8_t, BitGatherer::bytes_for(256 * 9 + 255)> buffer;
    BitGatherer out(h_->out, buffer);
    write_children8(root, out);
    out.finish();
  }

  void write_children8(uint32_t node, BitGatherer &out) {
    h_->bits_coded += 8;
    const uint32_t k = node - kLeafLimit;
    for (const uint32_t child : {w_.zero[k], w_.one[k]}) {
      if (is_leaf(child)) {
        out.add(child << 1, 9); // bit 0, then the symbol
      } else {
        out.add(1, 1);
        write_children8(child, out);
      }
    }
  }

  void write_children(uint32_t node) {
    h_->bits_coded += 8;
    const uint32_t k = node - kLeafLimit;
    for (const uint32_t child : {w_.zero[k], w_.one[k]}) {
      if (is_leaf(child)) {
        VEXFilePutBits(h_->out, 0, 1);
        write_symbol(h_, child);
      } else {
        VEXFilePutBits(h_->out, 1, 1);
        write_children(child);
      }
    }
  }

  static void write_symbol(HUFF *h, uint32_t symbol) {
    if (sixteen_bit(h)) {
      HuffEncode(h->low, symbol & 0xFFu);
      HuffEncode(h->high, symbol >> 8);
    } else {
      VEXFilePut8(h->out, symbol);
    }
  }

private:
  uint32_t weight(uint32_t ref) const { return is_leaf(ref) ? h_->code[ref] : w_.weight[ref - kLeafLimit]; }

  uint32_t internal_nodes(uint32_t subtree) const {
    uint32_t count = 0;
    std::vector<uint32_t> stack{subtree};
    while (!stack.empty()) {
      const uint32_t r = stack.back();
      stack.pop_back();
      if (is_leaf(r))
        continue;
      ++count;
      stack.push_back(w_.zero[r - kLeafLimit]);
      stack.push_back(w_.one[r - kLeafLimit]);
    }
    return count;
  }

  HUFF *h_;
  WorkArea &w_;
  WeightList list_; // node references, descending weight
  uint32_t internal_nodes_ = 0;
};

// The three lowest values with no count stand for the recent positions; an
// escape becomes an ordinary leaf, weighted by its hits, only with 32 hits
// or more. recent_hits then holds the escape values.
void choose_escapes(HUFF *h) {
  uint32_t candidate = 0;
  for (int i = 0; i < 3; ++i) {
    while (candidate < 0xFFFF && h->code[candidate] != 0)
      ++candidate;
    if (h->recent_hits[i] >= kEscapeMinHits)
      h->code[candidate] = h->recent_hits[i];
    else
      h->length[candidate] = kHuffLengthUnused;
    h->recent_hits[i] = candidate;
    candidate = candidate < 0xFFFF ? candidate + 1 : 0xFFFF;
  }
  HuffInitStats(h->low);
  HuffInitStats(h->high);
}

void write_escapes(HUFF *h) {
  for (const uint32_t escape : h->recent_hits)
    VEXFilePutBits(h->out, escape, 16);
}

int32_t build_and_write(HUFF *h) {
  VEXFilePutBits(h->out, 1, 1);
  if (sixteen_bit(h))
    choose_escapes(h);
  TableBuilder tb(h);
  for (uint32_t s = 0; s < symbol_count(h); ++s) {
    if (h->code[s] == 0)
      continue;
    if (sixteen_bit(h)) {
      HuffAddStat(h->low, s & 0xFFu);
      HuffAddStat(h->high, s >> 8);
    }
    tb.insert(s);
  }
  if (sixteen_bit(h) && (HuffStartEncode(h->low) < 0 || HuffStartEncode(h->high) < 0))
    return -1;

  if (tb.distinct() == 1) {
    const uint32_t symbol = tb.first();
    h->length[symbol] = 0;
    h->code[symbol] = 0;
    if (sixteen_bit(h))
      write_escapes(h);
    VEXFilePutBits(h->out, 0, 1);
    TableBuilder::write_symbol(h, symbol);
    VEXFilePutBits(h->out, 0, 1);
    return kSingleLeaf;
  }

  const uint32_t root = tb.build_tree();
  if (!tb.assign_codes(root))
    h->length_overflow = 1;
  if (h->length_overflow)
    return -1;
  if (sixteen_bit(h))
    write_escapes(h);
  VEXFilePutBits(h->out, 1, 1);
  if (!tb.size_ok(root))
    return -1;
  h->bits_coded = 0;
  if (sixteen_bit(h))
    tb.write_children(root); // leaves go through the byte encoders, field by field
  else
    tb.write_tree8(root);
  VEXFilePutBits(h->out, 0, 1);
  const auto result = static_cast<int32_t>(kTableBase + h->bits_coded);
  h->symbols_coded = 0;
  h->bits_coded = 0;
  return result;
}

} // namespace

extern "C" int32_t HuffStartEncode(HUFF *h) {
  std::memset(h->recent, 0, sizeof h->recent);
  if (!h->stats_present) {
    VEXFilePutBits(h->out, 0, 1);
    return kNoTable;
  }
  const bool owner = t_work == nullptr;
  if (owner) {
    t_work = static_cast<WorkArea *>(vexmalloc(sizeof(WorkArea)));
    if (!t_work)
      return -1;
  }
  const int32_t result = build_and_write(h);
  if (owner) {
    vexfree(t_work);
    t_work = nullptr;
  }
  return result;
}
