// An independent reader of Huffman code tables and coded symbols, written
// from the table layout alone (it shares no code with the encoder). The
// Korvane movie trees use the same layout: a byte tree is an 8-bit table,
// and the four video trees are 16-bit tables.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vex::testkit {

// Least significant bit first over a byte string; past the end reads 0 and
// sets the overrun flag.
class BitSource {
public:
  explicit BitSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint32_t bit();
  // n bits, the first read in bit 0.
  uint32_t bits(uint32_t n);
  uint64_t position() const { return pos_; }
  bool overrun() const { return overrun_; }

private:
  std::span<const uint8_t> bytes_;
  uint64_t pos_ = 0;
  bool overrun_ = false;
};

// A tree of 8-bit or 16-bit leaves. Node 0 is the root; a single-leaf tree
// decodes without reading bits.
class HuffTree {
public:
  struct Node {
    bool leaf;
    uint32_t value;       // leaves
    uint32_t child[2];    // internal nodes: 0-branch, 1-branch
  };
  std::vector<Node> nodes;

  // Leaves of the tree with their depth (code length).
  std::vector<std::pair<uint32_t, uint32_t>> leaves() const;
  int max_depth() const;
};

// Reads the table-present bit and, when set, a tree of 8-bit leaves and the
// closing bit. Nothing (std::nullopt) for an absent table; throws
// std::runtime_error on a malformed table.
std::optional<HuffTree> read_table8(BitSource &in);
uint32_t decode8(const HuffTree &t, BitSource &in);

// A 16-bit table: low-byte and high-byte tables, three escapes, the tree.
struct HuffTable16 {
  std::optional<HuffTree> low, high;
  std::array<uint32_t, 3> escape{};
  HuffTree tree;
};
std::optional<HuffTable16> read_table16(BitSource &in);

// Decodes 16-bit symbols, resolving escapes through the three most recent
// symbols.
class Decoder16 {
public:
  explicit Decoder16(const HuffTable16 &t) : t_(t) {}
  uint32_t next(BitSource &in);
  void reset_recent() { recent_ = {0, 0, 0}; }

private:
  const HuffTable16 &t_;
  std::array<uint32_t, 3> recent_{0, 0, 0};
};

} // namespace vex::testkit
