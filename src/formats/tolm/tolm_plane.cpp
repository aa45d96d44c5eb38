#include "formats/tolm/tolm_plane.h"

#include <algorithm>
#include <cstring>

#include "formats/tolm/tolm_bundles.h"
#include "formats/tolm/tolm_format.h"
#include "formats/tolm/tolm_transform.h"
#include "vexutil/formats.h"

namespace vex::formats::tolm {
namespace {

using Block = uint8_t[64]; // 8x8 pixels, row-major

class PlaneDecoder {
public:
  PlaneDecoder(const PlaneView &p, BitReader &bits, BundleSet &bundles)
      : p_(p), bits_(bits), bundles_(bundles) {}

  void run() {
    uint32_t map_row = 0;
    for (uint32_t row = 0; row < p_.height8; row += 8) {
      bundles_.refill(bits_);
      band(row, map_row);
      if (p_.scale == 2 || (row & 8) != 0)
        ++map_row;
    }
  }
  uint32_t faults() const { return faults_ | bundles_.faults(); }

private:
  void band(uint32_t row, uint32_t map_row) {
    unsigned column = 0; // block-map counter, s per 8 pixels
    for (uint32_t x = 0; x < p_.width8;) {
      const unsigned type = bundles_.take(kBlockTypes);
      if (type == kScaled) {
        if ((row & 8) == 0)
          scaled(x, row);
        mark(map_row, column);
        mark(map_row, column + p_.scale);
        x += 16;
        column += 2 * p_.scale;
        continue;
      }
      if (type != kSkip)
        mark(map_row, column);
      block(type, x, row);
      x += 8;
      column += p_.scale;
    }
  }

  void mark(uint32_t map_row, unsigned column) {
    const uint32_t byte = column / 2;
    if (p_.block_map && map_row < p_.map_rows && byte < p_.map_pitch)
      p_.block_map[map_row * p_.map_pitch + byte] = 1;
  }

  void block(unsigned type, uint32_t x, uint32_t row) {
    Block b;
    switch (type) {
    case kSkip:
      if (p_.reference == p_.target)
        return;
      reference(x, row, 0, 0, b);
      break;
    case kMotion: motion(x, row, b); break;
    case kRun: run_block(b); break;
    case kResidue: residue(x, row, b); break;
    case kIntra: intra(b); break;
    case kFill: std::memset(b, bundles_.take(kColours), 64); break;
    case kInter: inter(x, row, b); break;
    case kPattern: pattern(b); break;
    case kRaw: bundles_.take_many(kColours, b, 64); break;
    default: return; // unknown types leave the block as it is
    }
    store(x, row, b);
  }

  void scaled(uint32_t x, uint32_t row) {
    Block b;
    switch (bundles_.take(kSubBlockTypes)) {
    case kRun: run_block(b); break;
    case kIntra: intra(b); break;
    case kFill: std::memset(b, bundles_.take(kColours), 64); break;
    case kPattern: pattern(b); break;
    case kRaw: bundles_.take_many(kColours, b, 64); break;
    default: return;
    }
    if (!p_.target)
      return; // a dry run
    // Doubled in both directions, cut at the edge of the decoded area.
    const uint32_t w = std::min(16u, p_.width8 - x), h = std::min(16u, p_.height8 - row);
    for (uint32_t r = 0; r < h; ++r) {
      uint8_t *dst = p_.target + size_t{row + r} * p_.pitch + x;
      for (uint32_t c = 0; c < w; ++c)
        dst[c] = b[(r / 2) * 8 + c / 2];
    }
  }

  void store(uint32_t x, uint32_t row, const Block &b) {
    if (!p_.target)
      return; // a dry run
    uint8_t *dst = p_.target + size_t{row} * p_.pitch + x;
    for (int r = 0; r < 8; ++r)
      std::memcpy(dst + size_t(r) * p_.pitch, b + 8 * r, 8);
  }

  // The reference block at (x + dx, row + dy), moved inside the decoded area
  // when the offsets leave it.
  void reference(uint32_t x, uint32_t row, int dx, int dy, Block &b) {
    const int max_x = static_cast<int>(p_.width8) - 8, max_y = static_cast<int>(p_.height8) - 8;
    int sx = static_cast<int>(x) + dx, sy = static_cast<int>(row) + dy;
    if (sx < 0 || sy < 0 || sx > max_x || sy > max_y) {
      faults_ |= VEX_TOLM_FAULT_MOTION;
      sx = std::clamp(sx, 0, max_x);
      sy = std::clamp(sy, 0, max_y);
    }
    if (!p_.reference) { // a dry run
      std::memset(b, 0, sizeof b);
      return;
    }
    const uint8_t *src = p_.reference + size_t(sy) * p_.pitch + sx;
    for (int r = 0; r < 8; ++r)
      std::memcpy(b + 8 * r, src + size_t(r) * p_.pitch, 8);
  }

  void motion(uint32_t x, uint32_t row, Block &b) {
    const int dx = bundles_.take_offset(kXOffsets);
    const int dy = bundles_.take_offset(kYOffsets);
    reference(x, row, dx, dy, b);
  }

  void run_block(Block &b) {
    const auto &scan = scan_order(static_cast<int>(bits_.read(4)));
    unsigned filled = 0;
    while (filled < 63) {
      const bool same = bits_.bit();
      unsigned length = bundles_.take(kRuns) + 1u;
      if (filled + length > 64) {
        faults_ |= VEX_TOLM_FAULT_RUN;
        length = 64 - filled;
      }
      if (same) {
        const uint8_t c = bundles_.take(kColours);
        for (unsigned i = 0; i < length; ++i)
          b[scan[filled + i]] = c;
      } else {
        for (unsigned i = 0; i < length; ++i)
          b[scan[filled + i]] = bundles_.take(kColours);
      }
      filled += length;
    }
    if (filled == 63)
      b[scan[63]] = bundles_.take(kColours);
  }

  void residue(uint32_t x, uint32_t row, Block &b) {
    motion(x, row, b);
    const unsigned count = bits_.read(7);
    int8_t values[64];
    read_residue(bits_, count, values);
    for (int i = 0; i < 64; ++i)
      b[i] = static_cast<uint8_t>(b[i] + values[i]);
  }

  // Coefficients -> transform output for the block.
  void transform(int32_t dc, const QuantTable &quant, int32_t out[64]) {
    int32_t coef[64];
    coef[0] = dc;
    read_coefficients(bits_, coef);
    const auto &factors = quant[bits_.read(4)];
    inverse_transform(coef, factors.data(), out);
  }

  void intra(Block &b) {
    int32_t out[64];
    transform(bundles_.take_intra_dc(), intra_quant(), out);
    for (int i = 0; i < 64; ++i)
      b[i] = static_cast<uint8_t>(out[i]);
  }

  void inter(uint32_t x, uint32_t row, Block &b) {
    motion(x, row, b);
    int32_t out[64];
    transform(bundles_.take_inter_dc(), inter_quant(), out);
    for (int i = 0; i < 64; ++i)
      b[i] = static_cast<uint8_t>(b[i] + out[i]);
  }

  // Two colours and one pattern byte per row: bit k set selects the second
  // colour for pixel k.
  void pattern(Block &b) {
    const uint8_t first = bundles_.take(kColours);
    const uint8_t second = bundles_.take(kColours);
    for (int r = 0; r < 8; ++r) {
      const unsigned bits = bundles_.take(kPatterns);
      for (int k = 0; k < 8; ++k)
        b[8 * r + k] = (bits >> k) & 1 ? second : first;
    }
  }

  const PlaneView &p_;
  BitReader &bits_;
  BundleSet &bundles_;
  uint32_t faults_ = 0;
};

} // namespace

PlaneResult decode_plane(const PlaneView &plane, std::span<const uint8_t> data, void *const *bundles,
                         bool signed_colours) {
  BitReader bits(data);
  BundleSet set(bundles, plane.width8, signed_colours);
  set.read_tables(bits);
  PlaneDecoder decoder(plane, bits, set);
  decoder.run();
  uint32_t faults = decoder.faults();
  if (bits.overrun())
    faults |= VEX_TOLM_FAULT_DATA_END;
  return {std::min(bits.bytes_loaded(), data.size()), faults};
}

} // namespace vex::formats::tolm
