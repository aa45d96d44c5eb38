// The pieces of the frame decoder: its fixed tables against the encoder's
// separate copy, their properties and hand-computed entries; the integer
// inverse transform against values worked by hand, a floating-point inverse
// DCT and the slow transcription in testkit; the bit-plane readers of
// coefficients and residues against hand-assembled bits, the slow
// transcription (random streams, the test encoder's output, both cut short)
// and the values the encoder was given, on every path this processor has.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "formats/tolm/tolm_bundles.h"
#include "formats/tolm/tolm_tables.h"
#include "formats/tolm/tolm_transform.h"
#include "testkit/formats/tolm/tolm_bit_writer.h"
#include "testkit/formats/tolm/tolm_plan.h"
#include "testkit/formats/tolm/tolm_reference_tables.h"
#include "testkit/formats/tolm/tolm_slow_reference.h"
#include "vexutil/formats.h"

namespace {

namespace dec = vex::formats::tolm;
namespace tk = vex::testkit::tolm;
using Block = std::array<int32_t, 64>;
const auto &ref = tk::reference_tables();

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
}

TEST(TolmTables, ScanOrdersPlacementAndQuantisersAgreeWithTheEncoder) {
  for (int s = 0; s < 16; ++s)
    EXPECT_TRUE(std::equal(dec::scan_order(s).begin(), dec::scan_order(s).end(), ref.scans[s].begin())) << s;
  const auto *placement = dec::kCoefficientPlacement.data();
  EXPECT_TRUE(std::equal(placement, placement + 64, ref.placement.begin()));
  // The first quad of the placement is the top-left 2 x 2 square.
  EXPECT_EQ(placement[2], 8);
  const auto &intra = dec::intra_quant();
  const auto &inter = dec::inter_quant();
  // Hand-computed: 3999646 * 5/3 / 44 = 151501.7 -> 151502 (halves and up
  // round up); 944750 * 12 / 44 = 257659.09 -> 257659; row 0 is stored.
  EXPECT_EQ(intra[2][1], 151502u);
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
  // Lengths up to capacity - 1 fit the field; past 2^15 it is capped.
  for (auto [capacity, bits] : {std::pair{512u, 9u}, {513u, 10u}, {1024u, 10u}, {1025u, 11u}, {5632u, 13u},
                                {100000u, 15u}})
    EXPECT_EQ(dec::chunk_length_bits(capacity), bits) << capacity;
  EXPECT_EQ(dec::bundle_capacity(dec::kColours, 640), 512u + 80 * 64);
  EXPECT_EQ(dec::bundle_capacity(dec::kSubBlockTypes, 640), 512u + 40);
}

const dec::QuantTable &quant(bool inter) { return inter ? dec::inter_quant() : dec::intra_quant(); }

Block transform(const Block &c, const uint32_t *factors) {
  Block out;
  dec::inverse_transform(c.data(), factors, out.data());
  return out;
}

TEST(TolmInverseTransform, LoneCoefficientsWorkedByHand) {
  // Pixel i is want[i % 8] (kRow), want[i / 8] (kColumn), or want[i] for
  // the first row only (kFirstRow); the low 8 bits wrap, never saturate.
  enum Shape { kRow, kColumn, kFirstRow };
  const struct {
    int pos, value;
    bool inter;
    Shape shape;
    std::array<int, 8> want;
  } rows[] = {
      {0, 100, false, kRow, {12, 12, 12, 12, 12, 12, 12, 12}}, // (100 * 65536) >> 11 = 3200; (3200 + 127) >> 8
      {0, 2040, false, kRow, {255, 255, 255, 255, 255, 255, 255, 255}}, // 65280
      {0, 2047, false, kRow, {0, 0, 0, 0, 0, 0, 0, 0}},                // 65504 -> 256 wraps to 0
      {0, -10, true, kRow, {255, 255, 255, 255, 255, 255, 255, 255}},  // -320 -> (-193) >> 8 = -1
      {1, 10, false, kRow, {2, 1, 1, 0, 0, 255, 255, 254}},       // 443 375 251 88 -88 -251 -375 -443
      {8, 10, false, kColumn, {2, 2, 1, 0, 0, 255, 254, 254}},    // 610 517 345 122 -122 -345 -517 -610
      {9, 4, false, kFirstRow, {1, 1, 1, 0, 0, 255, 255, 255}},   // 338 286 191 68 -68 -191 -286 -338
  };
  for (const auto &r : rows) {
    Block c{};
    c[r.pos] = r.value;
    const Block px = transform(c, quant(r.inter)[0].data());
    for (int i = 0; i < (r.shape == kFirstRow ? 8 : 64); ++i)
      EXPECT_EQ(px[i] & 255, r.want[r.shape == kColumn ? i / 8 : i % 8]) << "coefficient " << r.pos << " pixel " << i;
  }
}

TEST(TolmInverseTransform, AgreesWithTheTranscriptionAndAFloatingPointInverseDct) {
  std::mt19937 rng(29);
  int mismatches = 0, worst = 0, samples = 0;
  double total_error = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    const auto &factors = quant(trial & 1)[trial % 16];
    Block c{};
    // Sparse blocks (empty rows and columns take the shortcut in the
    // transcription), dense ones, values large enough to wrap, and blocks
    // with only row 0 (every column DC-only: all eight rows alike).
    const int kind = trial % 5;
    const int count = kind == 0 ? 1 + static_cast<int>(rng() % 3) : kind == 1 ? 64 : static_cast<int>(rng() % 24);
    for (int n = 0; n < count; ++n) {
      const int pos = kind == 1 ? n : kind == 4 ? n % 8 : static_cast<int>(rng() % 64);
      c[pos] = kind == 3 ? static_cast<int32_t>(rng()) : static_cast<int32_t>(rng() % 2001) - 1000;
    }
    const Block got = transform(c, factors.data());
    Block want;
    tk::reference_transform(c.data(), factors.data(), want.data());
    mismatches += got != want;
    for (int i = 8; i < 64 && kind == 4; ++i)
      ASSERT_EQ(got[i], got[i % 8]) << "trial " << trial;
    if (trial % 13)
      continue;
    // Within 32 bits the integer transform must stay close to the real one:
    // dequantised values below 2^17 keep its products (up to 5352 times a
    // sum of them) in range.
    c = {};
    c[0] = static_cast<int>(rng() % std::min<uint32_t>(1024, 0x7FFFFFFFu / factors[0]));
    for (int n = static_cast<int>(rng() % 20); n > 0; --n) {
      const int pos = static_cast<int>(1 + rng() % 63);
      const int limit = static_cast<int>(std::min<uint64_t>(30, (uint64_t{1} << 28) / factors[pos]));
      c[pos] = static_cast<int>(rng() % (2 * limit + 1)) - limit;
    }
    Block coded;
    std::array<double, 64> real_factors;
    for (int k = 0; k < 64; ++k) {
      coded[k] = c[dec::kCoefficientPlacement[k]];
      real_factors[k] = factors[k];
    }
    const auto real = tk::float_idct(coded, real_factors);
    const Block out = transform(c, factors.data());
    for (int i = 0; i < 64; ++i, ++samples) {
      const int err = std::abs(out[i] - static_cast<int>(std::floor(real[i] + 127.0 / 256)));
      worst = std::max(worst, err);
      total_error += err;
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_LE(worst, 2);
  EXPECT_LT(total_error / samples, 0.25);
}

// ---- bit-plane readers ----------------------------------------------------

// A path of the readers: the slow transcription, each build, or the
// dispatching overload.
enum Path { kSlow, kPortable, kBmi2, kBest };
std::vector<Path> paths() {
  std::vector<Path> out{kSlow, kPortable, kBest};
  if (dec::bit_select_available(dec::BitSelect::kBmi2))
    out.push_back(kBmi2);
  return out;
}

// What a reader made of the data (block order), where it left the reader
// and whether it ran past the data.
struct Read {
  Block block{};
  size_t position = 0;
  bool overrun = false;
  bool operator==(const Read &) const = default;
};

// Coefficients (residue false) or a residue with event count `count`,
// from where `r` stands.
Read read(dec::BitReader r, bool residue, unsigned count, Path path) {
  Read out;
  int32_t coef[64];
  int8_t res[64];
  std::fill(coef, coef + 64, 0x5A5A5A5A); // every value must be written
  std::fill(res, res + 64, int8_t{0x5A});
  coef[0] = 12345; // the DC is the caller's
  const auto select = path == kBmi2 ? dec::BitSelect::kBmi2 : dec::BitSelect::kPortable;
  if (path == kSlow) {
    residue ? tk::reference_residue(r, count, res) : tk::reference_coefficients(r, coef);
    for (int k = 0; k < 64; ++k)
      out.block[dec::kCoefficientPlacement[k]] = residue ? res[k] : coef[k];
  } else {
    if (residue)
      path == kBest ? dec::read_residue(r, count, res) : dec::read_residue(r, count, res, select);
    else
      path == kBest ? dec::read_coefficients(r, coef) : dec::read_coefficients(r, coef, select);
    for (int k = 0; k < 64; ++k)
      out.block[k] = residue ? res[k] : coef[k];
  }
  out.position = r.bit_position();
  out.overrun = r.overrun();
  return out;
}

std::vector<uint8_t> bits_of(std::initializer_list<std::pair<uint32_t, int>> fields) {
  tk::BitWriter w;
  for (auto [v, n] : fields)
    w.put(v, n);
  return w.bytes();
}

TEST(TolmBitPlanes, HandAssembledCoefficientsAndResidues) {
  using Values = std::vector<std::pair<int, int>>; // coding index, value; the rest 0
  // Coefficient 5 = -3 in two planes. Plane 1: group 4 set; its group of
  // sixteen (8) not; quad 4..7 new: 4 deferred, 5 valued (low bit 1, sign
  // 1), 6 and 7 deferred; groups 24, 44 and singles 1-3 clear. Plane 0:
  // nine live entries, all clear.
  const auto two_planes =
      bits_of({{2, 4}, {1, 1}, {0, 1}, {1, 1}, {0, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {0, 5}, {0, 9}});
  // Residue 0 = +5, top mask 4 (n = 2). Pass 4: groups clear, quad 0 set,
  // 0 valued +4 (event 1), 1-3 deferred. Pass 2: refine 0 clear; six live
  // entries clear. Pass 1: refine 0 set (event 2). Count 1 stops there;
  // count 0 stops at event 1, the three deferral bits next.
  const auto residue =
      bits_of({{2, 3}, {0, 3}, {1, 1}, {0, 1}, {0, 1}, {1, 1}, {1, 1}, {1, 1}, {0, 1}, {0, 6}, {1, 1}});
  const struct {
    const char *name;
    std::vector<uint8_t> data;
    bool residue;
    unsigned count;
    Values values;
    size_t position;
  } rows[] = {
      {"no planes: 4 bits, everything zero", bits_of({{0, 4}}), false, 0, Values{}, 4},
      // One plane (last pass only): groups 4, 24, 44 say 0; singles 1 (set,
      // sign +), 2 and 3 say 0.
      {"one plane", bits_of({{1, 4}, {0, 3}, {1, 1}, {0, 1}, {0, 2}}), false, 0, Values{{1, 1}}, 11},
      {"two planes", two_planes, false, 0, Values{{5, -3}}, 26},
      {"residue to event 2", residue, true, 1, Values{{0, 5}}, 20},
      {"residue to event 1", residue, true, 0, Values{{0, 4}}, 9},
  };
  for (const auto &r : rows)
    for (Path p : paths()) {
      SCOPED_TRACE(testing::Message() << r.name << ", path " << p);
      Read want;
      want.block[0] = r.residue ? 0 : 12345;
      for (auto [k, v] : r.values)
        want.block[dec::kCoefficientPlacement[k]] = v; // coding index 5 sits at row 0, column 3
      want.position = r.position;
      auto data = r.data;
      data.resize(data.size() + 8, 0xFF); // more follows
      EXPECT_EQ(read(dec::BitReader(data), r.residue, r.count, p), want);
    }
}

// Random bytes whose bits are 1 with probability `ones`.
std::vector<uint8_t> random_bytes(std::mt19937 &rng, size_t n, double ones) {
  std::bernoulli_distribution bit(ones);
  std::vector<uint8_t> out(n);
  for (auto &b : out)
    for (int i = 0; i < 8; ++i)
      b = static_cast<uint8_t>(b | (bit(rng) << i));
  return out;
}

TEST(TolmBitPlanes, RandomStreamsReadAsTheTranscriptionReadsThem) {
  std::mt19937 rng(41);
  const double densities[] = {0.02, 0.2, 0.5, 0.8, 0.98};
  for (bool residue : {false, true})
    for (int trial = 0; trial < 6000; ++trial) {
      auto data = random_bytes(rng, rng() % (residue ? 70 : 90), densities[trial % 5]);
      if (!data.empty() && !residue) // every plane count, 0-15
        data[0] = static_cast<uint8_t>((data[0] & 0xF0) | (trial % 16));
      const unsigned count = trial % 3 == 0 ? 127 : static_cast<unsigned>(rng() % 128);
      const Read want = read(dec::BitReader(data), residue, count, kSlow);
      for (Path p : paths())
        ASSERT_EQ(read(dec::BitReader(data), residue, count, p), want)
            << "path " << p << " residue " << residue << " trial " << trial;
    }
}

// Values coded by the test encoder read back exactly, leaving the reader
// where the encoder stopped; the same data cut at every byte reads as the
// transcription reads it (and overruns exactly when cut inside the bits).
TEST(TolmBitPlanes, EncodedValuesReadBackExactlyAndCutShortAsTheTranscription) {
  std::mt19937 rng(47);
  for (bool residue : {false, true})
    for (int trial = 0; trial < 1600; ++trial) {
      Block values{};
      tk::BitWriter w;
      size_t bits;
      if (residue) {
        std::array<int8_t, 64> r{};
        const int top = trial % 8; // magnitudes below 2^(top + 1)
        for (int n = 1 + static_cast<int>(rng() % 64); n > 0; --n) {
          const int mag = static_cast<int>(rng() % std::min(127u, (2u << top) - 1)) + 1;
          r[rng() % 64] = static_cast<int8_t>(rng() & 1 ? -mag : mag);
        }
        bits = tk::encode_residue(r, w); // r is now what the decoder sees
        std::copy(r.begin(), r.end(), values.begin());
      } else {
        const int planes = trial % 16; // a random number of values, one of the full width
        for (int n = planes ? 1 + static_cast<int>(rng() % 63) : 0; n >= 0 && planes; --n) {
          const int width = n == 0 ? planes : 1 + static_cast<int>(rng() % planes);
          const auto mag = static_cast<int32_t>((1u << (width - 1)) | (rng() & ((1u << (width - 1)) - 1)));
          values[1 + rng() % 63] = rng() & 1 ? -mag : mag;
        }
        bits = tk::encode_coefficients(values, w);
        values[0] = 12345;
      }
      w.put(0xA5C3, 16); // must be the next thing read
      const auto data = w.bytes();
      dec::BitReader start(data);
      const unsigned count = residue ? start.read(7) : 0;
      Read want;
      for (int k = 0; k < 64; ++k)
        want.block[dec::kCoefficientPlacement[k]] = values[k];
      want.position = bits;
      for (Path p : paths()) {
        ASSERT_EQ(read(start, residue, count, p), want) << "path " << p << " residue " << residue << " trial " << trial;
      }
      if (trial % 11)
        continue;
      for (size_t n = residue ? 1 : 0; n < data.size(); ++n) {
        dec::BitReader cut(std::span<const uint8_t>(data.data(), n));
        const unsigned c = residue ? cut.read(7) : 0;
        const Read slow = read(cut, residue, c, kSlow);
        if (!residue) {
          ASSERT_EQ(slow.overrun, 8 * n < bits) << "cut at " << n;
        }
        for (Path p : paths())
          ASSERT_EQ(read(cut, residue, c, p), slow) << "path " << p << " residue " << residue << " cut at " << n;
      }
    }
}

} // namespace
