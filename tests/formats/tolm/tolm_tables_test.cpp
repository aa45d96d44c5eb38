// The decoder's fixed tables against the encoder's separate copy, the
// properties the tables must have, and hand-computed entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "formats/tolm/tolm_bundles.h"
#include "formats/tolm/tolm_tables.h"
#include "testkit/formats/tolm/tolm_reference_tables.h"
#include "vexutil/formats.h"

namespace {

namespace dec = vex::formats::tolm;
namespace tk = vex::testkit::tolm;

TEST(TolmTables, PrefixCodesAreCompleteAndMatchTheEncoderCopy) {
  const int longest[16] = {4, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 7, 7, 7};
  for (int t = 0; t < 16; ++t) {
    SCOPED_TRACE(t);
    const dec::PrefixCode &code = dec::prefix_code(t);
    const tk::ReferenceCode &ref = tk::reference_tables().codes[t];
    EXPECT_EQ(code.longest, longest[t]);
    // Each position owns 2^(longest - length) lookup entries: the code is
    // prefix-free and complete, and its words agree with the encoder's.
    std::array<int, 16> owned{};
    for (int bits = 0; bits < (1 << code.longest); ++bits) {
      const int pos = code.entry[bits] & 15, len = code.entry[bits] >> 4;
      ASSERT_EQ(len, ref.length[pos]);
      ASSERT_EQ(static_cast<uint32_t>(bits) & ((1u << len) - 1), ref.bits[pos]);
      ++owned[pos];
    }
    for (int pos = 0; pos < 16; ++pos)
      EXPECT_EQ(owned[pos], 1 << (code.longest - ref.length[pos])) << "position " << pos;
  }
  // Table 0 is the plain 4-bit value, first-read bit least significant:
  // position 1 is written 1000, position 8 is 0001.
  EXPECT_EQ(tk::reference_tables().codes[0].bits[1], 1u);
  EXPECT_EQ(tk::reference_tables().codes[0].bits[8], 8u);
}

TEST(TolmTables, ScanOrdersAndPlacementArePermutationsAgreeingWithTheEncoder) {
  const auto &ref = tk::reference_tables();
  for (int s = 0; s < 16; ++s) {
    SCOPED_TRACE(s);
    const auto &scan = dec::scan_order(s);
    std::array<int, 64> seen{};
    for (int i = 0; i < 64; ++i) {
      EXPECT_EQ(scan[i], ref.scans[s][i]);
      ++seen[scan[i]];
    }
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
  }
  std::array<int, 64> seen{};
  for (int k = 0; k < 64; ++k) {
    EXPECT_EQ(dec::kCoefficientPlacement[k], ref.placement[k]);
    ++seen[dec::kCoefficientPlacement[k]];
  }
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
  // First quad of the placement is the top-left 2x2 square.
  EXPECT_EQ(dec::kCoefficientPlacement[2], 8);
  EXPECT_EQ(dec::kCoefficientPlacement[63], 63);
}

TEST(TolmTables, QuantiserRowsFollowRowFifteenWithinOne) {
  for (const auto *table : {&dec::intra_quant(), &dec::inter_quant()}) {
    const auto &q = *table;
    for (int i = 0; i < 64; ++i) {
      // Row 0 is stored; the scaling rule applied to row 15 must land within
      // 1 of it, which is all the rule promises.
      const double from_rule = q[15][i] / 44.0;
      EXPECT_LE(std::fabs(from_rule - q[0][i]), 1.0) << "entry " << i;
      for (int r = 1; r < 16; ++r)
        EXPECT_GT(q[r][i], q[r - 1][i]) << "row " << r << " entry " << i;
    }
  }
  const auto &intra = dec::intra_quant();
  const auto &inter = dec::inter_quant();
  // Hand-computed: 2883584 * 4/3 / 44 = 87381.33 -> 87381; * 7/2 / 44 = 229376
  // exactly; 3999646 * 5/3 / 44 = 151501.7 -> 151502 (halves and up round up).
  EXPECT_EQ(intra[1][0], 87381u);
  EXPECT_EQ(intra[5][0], 229376u);
  EXPECT_EQ(intra[2][1], 151502u);
  // 452718 * 8 / 44 = 82312.36 -> 82312; 944750 * 12 / 44 = 257659.09 -> 257659.
  EXPECT_EQ(inter[9][63], 82312u);
  EXPECT_EQ(inter[10][7], 257659u);
  EXPECT_EQ(inter[0][4], 73728u);
  // The encoder's real-valued factors agree to within 1 everywhere.
  const auto &ref = tk::reference_tables();
  for (int r = 0; r < 16; ++r)
    for (int i = 0; i < 64; ++i) {
      EXPECT_LE(std::fabs(ref.intra_factor[r][i] - intra[r][i]), 1.0);
      EXPECT_LE(std::fabs(ref.inter_factor[r][i] - inter[r][i]), 1.0);
    }
}

TEST(TolmTables, BundleSizesByHandAndLargeEnoughForEveryPlane) {
  uint32_t sizes[9];
  ExpandBundleSizes(sizes, 640);
  // (640/8 * B * multiplier / 8 + 512 * B / 8 + 3) & ~3
  const uint32_t want[9] = {592, 552, 5632, 1152, 592, 592, 1184, 1184, 4352};
  for (int i = 0; i < 9; ++i)
    EXPECT_EQ(sizes[i], want[i]) << "bundle " << i;
  for (uint32_t W : {16u, 32u, 48u, 176u, 352u, 720u, 1920u}) {
    ExpandBundleSizes(sizes, W);
    for (int i = 0; i < 9; ++i) {
      const auto b = static_cast<dec::Bundle>(i);
      const uint32_t element = (b == dec::kIntraDc || b == dec::kInterDc) ? 2 : 1;
      EXPECT_GE(sizes[i], dec::bundle_capacity(b, W) * element) << "W " << W << " bundle " << i;
      EXPECT_EQ(sizes[i] % 4, 0u);
    }
  }
}

TEST(TolmTables, ChunkLengthFieldWidths) {
  EXPECT_EQ(dec::chunk_length_bits(512), 9u);  // 511
  EXPECT_EQ(dec::chunk_length_bits(513), 10u); // 512
  EXPECT_EQ(dec::chunk_length_bits(1024), 10u);
  EXPECT_EQ(dec::chunk_length_bits(1025), 11u);
  EXPECT_EQ(dec::chunk_length_bits(5632), 13u);
  EXPECT_EQ(dec::chunk_length_bits(100000), 15u); // capped
  EXPECT_EQ(dec::bundle_capacity(dec::kColours, 640), 512u + 80 * 64);
  EXPECT_EQ(dec::bundle_capacity(dec::kSubBlockTypes, 640), 512u + 40);
}

} // namespace
