// Korvane movies written field by field, for tests whose expected pictures
// and sounds are worked out by hand: a bit writer in the file's bit order,
// tree shapes put as the reader takes them, and a movie of hand-made
// records behind a header of chosen words.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "testkit/util/file_bytes.h"

namespace vex::testkit::korvane {

using HandBytes = std::vector<uint8_t>;

// Bits least significant first; fields with their low bit first.
class Bits {
public:
  Bits &put(uint32_t v, unsigned n) {
    for (unsigned i = 0; i < n; ++i) {
      if (count_ % 8 == 0)
        bytes_.push_back(0);
      if (v >> i & 1)
        bytes_.back() = static_cast<uint8_t>(bytes_.back() | 1u << (count_ % 8));
      ++count_;
    }
    return *this;
  }
  // A byte tree that is one leaf, and its closing bit.
  Bits &byte_leaf(uint8_t v) { return put(0, 1).put(v, 8).put(0, 1); }
  // A 16-bit tree of one leaf: present, byte trees of single leaves for
  // its bytes, escapes (unused values), the leaf, the closing bit.
  Bits &wide_leaf(uint16_t v, uint16_t esc = 0xFFF0) {
    put(1, 1).put(1, 1).byte_leaf(static_cast<uint8_t>(v)).put(1, 1).byte_leaf(static_cast<uint8_t>(v >> 8));
    put(esc, 16).put(esc + 1, 16).put(esc + 2, 16);
    return put(0, 1).put(0, 1); // leaf (its bytes take no bits), closing bit
  }
  Bits &empty_tree() { return put(0, 1); }
  // Code k of a tree of four leaves at depth 2 (first bit nearest the root).
  Bits &code4(uint32_t k) { return put(k >> 1, 1).put(k & 1, 1); }
  const HandBytes &bytes() const { return bytes_; }
  size_t bit_count() const { return count_; }

private:
  HandBytes bytes_;
  size_t count_ = 0;
};

// A tree shape: nodes in pre-order, and per leaf (in leaf order) its code.
struct TreeShape {
  struct Node {
    int child[2] = {-1, -1};
    uint32_t value = 0; // leaves only
  };
  std::vector<Node> nodes;
  std::vector<std::vector<int>> codes; // the path from the root, per leaf
  std::vector<uint32_t> values;        // per leaf
  // Leaf values taken anew from `values` (leaf order).
  void relabel();
};

// How a node's leaves are shared between its children: at random,
// lopsided more often than not (so long codes appear), or one leaf to the
// first child every time (a chain: leaf k at depth k + 1).
enum class Split { random, skewed, chain };

// `leaves` leaves taken at random from `values`, no deeper than max_depth.
TreeShape random_tree_shape(uint32_t leaves, unsigned max_depth, Split split, std::vector<uint32_t> values,
                            uint32_t seed);

// The shape in pre-order (1 internal node, 0 leaf followed by `leaf_bits`
// bits of its value, or by its two bytes coded in flat byte trees when
// leaf_bits is 0), and no closing bit.
void put_tree_shape(Bits &b, const TreeShape &s, unsigned leaf_bits);
void put_code(Bits &b, const std::vector<int> &code);
// A byte tree whose leaf k (in pre-order) is the value k: every byte costs
// its 8 bits, the highest first; with its closing bit.
void put_flat_byte_tree(Bits &b);

// Hand-made video trees: a byte tree of four leaves at depth 2, a 16-bit
// tree of four leaves whose leaf k has the code k (in the tree itself leaf
// k's bytes are leaf k of the byte trees, so each costs code k twice), and
// the symbol of a block type with its run index and extra byte.
inline constexpr uint16_t kHandEscape = 0xFFF0; // escapes 0xFFF0-0xFFF2 of wide_tree4
Bits &byte_tree4(Bits &b, const std::array<uint8_t, 4> &v);
Bits &wide_tree4(Bits &b, const std::array<uint16_t, 4> &v);
inline uint16_t type_symbol(uint32_t type, uint32_t run_index, uint32_t extra) {
  return static_cast<uint16_t>(type | run_index << 2 | extra << 8);
}
// Codes of wide_tree4 leaves, after what `b` holds.
inline HandBytes codes4(std::initializer_list<uint32_t> ks, Bits b = {}) {
  for (uint32_t k : ks)
    b.code4(k);
  return b.bytes();
}

// PCM per frame: `bytes` each (every third frame from the second empty
// when gaps is set), a random walk that keeps the deltas small.
std::vector<HandBytes> walk_pcm(size_t frames, size_t bytes, uint32_t seed, bool gaps, bool sixteen);
// 16-bit PCM split into frames of `per` values.
std::vector<HandBytes> split_pcm(const std::vector<int16_t> &pcm, size_t per);

struct HandMovie {
  std::array<uint32_t, 26> header{};
  std::vector<uint8_t> types;
  std::vector<HandBytes> records; // padded to multiples of 4 by file()
  HandBytes trees;

  HandMovie(uint32_t version, uint32_t w, uint32_t h) {
    std::memcpy(&header[0], version == 4 ? "KVN4" : "KVN2", 4);
    header[1] = w;
    header[2] = h;
    header[4] = 100;
  }
  HandMovie &add(uint8_t type, HandBytes record) {
    types.push_back(type);
    records.push_back(std::move(record));
    return *this;
  }
  HandBytes file();
};

} // namespace vex::testkit::korvane
