// The nine parameter streams ("bundles") of one Tolm plane: their code
// tables, their chunk formats and the cursor a block decoder takes values
// from. Storage is the caller's bundle buffers; one element is a byte, or a
// 16-bit value for the two DC bundles.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>

#include "formats/tolm/tolm_bit_reader.h"
#include "vexutil/formats.h"

namespace vex::formats::tolm {

enum Bundle : uint8_t {
  kBlockTypes,
  kSubBlockTypes, // counted on half the plane width
  kColours,
  kPatterns,
  kXOffsets,
  kYOffsets,
  kIntraDc,
  kInterDc,
  kRuns,
  kBundleTotal
};

// Elements a bundle can hold for a plane w pixels wide:
// 512 + (w / 8) * multiplier (w halved for the sub-block types).
uint32_t bundle_capacity(Bundle b, uint32_t plane_width);
// Bits of the chunk-length field: the width of capacity - 1, at most 15.
unsigned chunk_length_bits(uint32_t capacity);
// Buffer bytes for padded luma width W.
uint32_t bundle_buffer_size(Bundle b, uint32_t padded_width);

// A code table of the stream: a prefix code and the symbol at each of its
// sixteen positions.
struct CodeTable {
  const PrefixCode *code;
  std::array<uint8_t, 16> symbol;
  unsigned decode(BitReader &bits) const { return symbol[bits.code_position(*code)]; }
};
CodeTable read_code_table(BitReader &bits);

class BundleSet {
public:
  // Empties every bundle and sizes it for a plane w8 pixels wide.
  BundleSet(void *const *buffers, uint32_t plane_width, bool signed_colours);

  // The tables in stream order, before the first band.
  void read_tables(BitReader &bits);
  // At the start of each band: refills, in bundle order, every bundle whose
  // cursor has reached its end and that is not finished.
  void refill(BitReader &bits);

  uint8_t take(Bundle b) {
    Stream &s = streams_[b];
    if (s.cursor >= s.end) {
      faults_ |= VEX_TOLM_FAULT_UNDERRUN;
      return 0;
    }
    return s.bytes[s.cursor++];
  }
  // n elements at once; past the end of the bundle they are 0.
  void take_many(Bundle b, uint8_t *out, uint32_t n) {
    Stream &s = streams_[b];
    const uint32_t have = std::min(n, s.end - s.cursor);
    std::memcpy(out, s.bytes + s.cursor, have);
    s.cursor += have;
    if (have < n) {
      faults_ |= VEX_TOLM_FAULT_UNDERRUN;
      std::memset(out + have, 0, n - have);
    }
  }
  int take_offset(Bundle b) { return static_cast<int8_t>(take(b)); }
  int take_intra_dc() { return take_wide(kIntraDc); }
  int take_inter_dc() { return static_cast<int16_t>(take_wide(kInterDc)); }

  uint32_t faults() const { return faults_; }

private:
  struct Stream {
    uint8_t *bytes;
    uint32_t cursor, end, capacity;
    unsigned length_bits;
    bool finished;
  };

  uint16_t take_wide(Bundle b);
  void store_wide(Stream &s, uint32_t i, uint32_t v);
  uint32_t read_count(BitReader &bits, Stream &s);
  void read_types(BitReader &bits, Stream &s, uint32_t n, const CodeTable &table);
  void read_runs(BitReader &bits, Stream &s, uint32_t n);
  void read_colours(BitReader &bits, Stream &s, uint32_t n);
  void read_patterns(BitReader &bits, Stream &s, uint32_t n);
  void read_offsets(BitReader &bits, Stream &s, uint32_t n, const CodeTable &table);
  void read_dc(BitReader &bits, Stream &s, uint32_t n, bool is_signed);
  uint8_t read_colour(BitReader &bits);

  std::array<Stream, kBundleTotal> streams_{};
  std::array<CodeTable, kBundleTotal> tables_{}; // none for the DC bundles
  std::array<CodeTable, 16> colour_context_{};
  unsigned context_ = 0;
  bool signed_colours_;
  uint32_t faults_ = 0;
};

} // namespace vex::formats::tolm
