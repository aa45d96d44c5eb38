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
const auto &ref = vex::testkit::tolm::reference_tables();

TEST(TolmTables, PrefixCodesAreCompleteAndMatchTheEncoderCopy) {
  const int longest[16] = {4, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 7, 7, 7};
  for (int t = 0; t < 16; ++t) {
    SCOPED_TRACE(t);
    const dec::PrefixCode &code = dec::prefix_code(t);
    EXPECT_EQ(code.longest, longest[t]);
    // Each position owns 2^(longest - length) lookup entries: the code is
    // prefix-free and complete, and its words agree with the encoder's.
    std::array<int, 16> owned{};
    for (int bits = 0; bits < (1 << code.longest); ++bits) {
      const int pos = code.entry[bits] & 15, len = code.entry[bits] >> 4;
      ASSERT_EQ(len, ref.codes[t].length[pos]);
      ASSERT_EQ(static_cast<uint32_t>(bits) & ((1u << len) - 1), ref.codes[t].bits[pos]);
      ++owned[pos];
    }
    for (int pos = 0; pos < 16; ++pos)
      EXPECT_EQ(owned[pos], 1 << (code.longest - ref.codes[t].length[pos])) << "position " << pos;
  }
  // Table 0 is the plain 4-bit value, first-read bit least significant:
  // position 1 is written 1000, position 8 is 0001.
  EXPECT_EQ(ref.codes[0].bits[1], 1u);
  EXPECT_EQ(ref.codes[0].bits[8], 8u);
}

TEST(TolmTables, ScanOrdersAndPlacementArePermutationsAgreeingWithTheEncoder) {
  std::array<int, 64> identity;
  std::iota(identity.begin(), identity.end(), 0);
  for (int s = 0; s < 16; ++s) {
    const auto &scan = dec::scan_order(s);
    EXPECT_TRUE(std::equal(scan.begin(), scan.end(), ref.scans[s].begin())) << "scan " << s;
    EXPECT_TRUE(std::is_permutation(scan.begin(), scan.end(), identity.begin())) << "scan " << s;
  }
  const auto *placement = dec::kCoefficientPlacement.data();
  EXPECT_TRUE(std::equal(placement, placement + 64, ref.placement.begin()));
  EXPECT_TRUE(std::is_permutation(placement, placement + 64, identity.begin()));
  // The first quad of the placement is the top-left 2 x 2 square.
  EXPECT_EQ(placement[2], 8);
  EXPECT_EQ(placement[63], 63);
}

TEST(TolmTables, QuantiserRowsFollowRowFifteenWithinOne) {
  const auto &intra = dec::intra_quant();
  const auto &inter = dec::inter_quant();
  for (const auto *q : {&intra, &inter})
    for (int i = 0; i < 64; ++i) {
      // Row 0 is stored; the scaling rule applied to row 15 must land within
      // 1 of it, which is all the rule promises.
      EXPECT_LE(std::fabs((*q)[15][i] / 44.0 - (*q)[0][i]), 1.0) << "entry " << i;
      for (int r = 1; r < 16; ++r)
        EXPECT_GT((*q)[r][i], (*q)[r - 1][i]) << "row " << r << " entry " << i;
    }
  // Hand-computed: 2883584 * 4/3 / 44 = 87381.33 -> 87381; * 7/2 / 44 = 229376
  // exactly; 3999646 * 5/3 / 44 = 151501.7 -> 151502 (halves and up round up);
  // 452718 * 8 / 44 = 82312.36 -> 82312; 944750 * 12 / 44 = 257659.09 -> 257659.
  EXPECT_EQ(intra[1][0], 87381u);
  EXPECT_EQ(intra[5][0], 229376u);
  EXPECT_EQ(intra[2][1], 151502u);
  EXPECT_EQ(inter[9][63], 82312u);
  EXPECT_EQ(inter[10][7], 257659u);
  EXPECT_EQ(inter[0][4], 73728u);
  // The encoder's real-valued factors agree to within 1 everywhere.
  for (int r = 0; r < 16; ++r)
    for (int i = 0; i < 64; ++i) {
      EXPECT_LE(std::fabs(ref.intra_factor[r][i] - intra[r][i]), 1.0);
      EXPECT_LE(std::fabs(ref.inter_factor[r][i] - inter[r][i]), 1.0);
    }
}

TEST(TolmTables, BundleSizesAndChunkLengthFieldsByHand) {
  uint32_t sizes[9];
  ExpandBundleSizes(sizes, 640);
  // (640/8 * B * multiplier / 8 + 512 * B / 8 + 3) & ~3
  EXPECT_EQ(std::vector<uint32_t>(sizes, sizes + 9),
            (std::vector<uint32_t>{592, 552, 5632, 1152, 592, 592, 1184, 1184, 4352}));
  for (uint32_t W : {16u, 32u, 48u, 176u, 352u, 720u, 1920u}) {
    ExpandBundleSizes(sizes, W);
    for (int i = 0; i < 9; ++i) {
      const auto b = static_cast<dec::Bundle>(i);
      const uint32_t element = (b == dec::kIntraDc || b == dec::kInterDc) ? 2 : 1;
      EXPECT_GE(sizes[i], dec::bundle_capacity(b, W) * element) << "W " << W << " bundle " << i;
      EXPECT_EQ(sizes[i] % 4, 0u);
    }
  }
  // Lengths up to capacity - 1 fit the field; past 2^15 it is capped.
  for (auto [capacity, bits] : {std::pair{512u, 9u}, {513u, 10u}, {1024u, 10u}, {1025u, 11u}, {5632u, 13u},
                                {100000u, 15u}})
    EXPECT_EQ(dec::chunk_length_bits(capacity), bits) << capacity;
  EXPECT_EQ(dec::bundle_capacity(dec::kColours, 640), 512u + 80 * 64);
  EXPECT_EQ(dec::bundle_capacity(dec::kSubBlockTypes, 640), 512u + 40);
}

} // namespace
