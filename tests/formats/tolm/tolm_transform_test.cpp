// The integer inverse transform against values worked by hand, against a
// floating-point inverse DCT and against the slow transcription in testkit; the bit-plane coefficient and residue
// readers against hand-assembled bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "formats/tolm/tolm_tables.h"
#include "formats/tolm/tolm_transform.h"
#include "testkit/formats/tolm/tolm_bit_writer.h"
#include "testkit/formats/tolm/tolm_slow_reference.h"

namespace {

namespace dec = vex::formats::tolm;
using vex::testkit::tolm::BitWriter;

std::array<int, 64> idct_pixels(const std::array<int32_t, 64> &block, const uint32_t *factors) {
  int32_t out[64];
  dec::inverse_transform(block.data(), factors, out);
  std::array<int, 64> px;
  for (int i = 0; i < 64; ++i)
    px[i] = out[i] & 255;
  return px;
}

const uint32_t *intra0() { return dec::intra_quant()[0].data(); }

TEST(TolmInverseTransform, LoneCoefficientsWorkedByHand) {
  std::array<int32_t, 64> c{};
  c[0] = 100; // (100 * 65536) >> 11 = 3200 everywhere; (3200 + 127) >> 8 = 12
  for (int v : idct_pixels(c, intra0()))
    EXPECT_EQ(v, 12);

  c = {};
  c[1] = 10; // dequantised 443; row outputs 443 375 251 88 -88 -251 -375 -443
  const int row[8] = {2, 1, 1, 0, 0, 255, 255, 254};
  auto px = idct_pixels(c, intra0());
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(px[i], row[i % 8]) << i;

  c = {};
  c[8] = 10; // dequantised 610; column outputs 610 517 345 122 -122 -345 -517 -610
  const int column[8] = {2, 2, 1, 0, 0, 255, 254, 254};
  px = idct_pixels(c, intra0());
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(px[i], column[i / 8]) << i;

  c = {};
  c[9] = 4; // dequantised 338; row 0 outputs 338 286 191 68 -68 -191 -286 -338
  const int first_row[8] = {1, 1, 1, 0, 0, 255, 255, 255};
  px = idct_pixels(c, intra0());
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(px[i], first_row[i]) << i;
}

TEST(TolmInverseTransform, OutputWrapsInsteadOfSaturating) {
  std::array<int32_t, 64> c{};
  c[0] = 2040; // 65280 -> 255
  EXPECT_EQ(idct_pixels(c, intra0())[27], 255);
  c[0] = 2047; // 65504 -> 256 -> 0
  EXPECT_EQ(idct_pixels(c, intra0())[27], 0);
  c[0] = -10; // -320 -> (-193) >> 8 = -1 -> 255
  EXPECT_EQ(idct_pixels(c, dec::inter_quant()[0].data())[0], 255);
  c[0] = 100; // ref + 12 past 255 wraps: the caller adds the low 8 bits
  EXPECT_EQ((250 + idct_pixels(c, intra0())[0]) & 255, 6);
}

TEST(TolmInverseTransform, DcOnlyColumnsHoldTheirValue) {
  // Coefficients only in row 0: every column is DC-only and gives its
  // dequantised value in all eight rows, so all rows come out the same.
  std::mt19937 rng(5);
  for (int trial = 0; trial < 50; ++trial) {
    std::array<int32_t, 64> c{};
    for (int k = 0; k < 8; ++k)
      c[k] = static_cast<int>(rng() % 200) - 100;
    const auto px = idct_pixels(c, dec::intra_quant()[trial % 16].data());
    for (int i = 8; i < 64; ++i)
      ASSERT_EQ(px[i], px[i % 8]);
  }
}

TEST(TolmInverseTransform, AgreesWithFloatingPointInverseDct) {
  const double pi = std::acos(-1.0);
  auto a = [&](int k) { return k == 0 ? 1.0 : std::sqrt(2.0) * std::cos(k * pi / 16); };
  std::mt19937 rng(11);
  double total_error = 0;
  int worst = 0, samples = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const int q = trial % 16;
    const auto &factors = (trial & 1 ? dec::inter_quant() : dec::intra_quant())[q];
    std::array<int32_t, 64> c{};
    // Keep every product inside 32 bits, where the two must agree.
    c[0] = static_cast<int>(rng() % std::min<uint32_t>(1024, 0x7FFFFFFFu / factors[0]));
    // ... and the transform's own products (up to 5352 times a sum of
    // dequantised values) too: dequantised values stay below 2^17.
    for (int n = static_cast<int>(rng() % 20); n > 0; --n) {
      const int pos = static_cast<int>(1 + rng() % 63);
      const int limit = static_cast<int>(std::min<uint64_t>(30, (uint64_t{1} << 28) / factors[pos]));
      c[pos] = static_cast<int>(rng() % (2 * limit + 1)) - limit;
    }
    int32_t out[64];
    dec::inverse_transform(c.data(), factors.data(), out);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        double s = 0;
        for (int u = 0; u < 8; ++u)
          for (int v = 0; v < 8; ++v) {
            const double F = double(c[u * 8 + v]) * factors[u * 8 + v] / (65536.0 * a(u) * a(v));
            s += (u ? 1 : std::sqrt(0.5)) * (v ? 1 : std::sqrt(0.5)) / 4 * F * std::cos((2 * y + 1) * u * pi / 16) *
                 std::cos((2 * x + 1) * v * pi / 16);
          }
        const int err = std::abs(out[y * 8 + x] - static_cast<int>(std::floor(s + 127.0 / 256)));
        worst = std::max(worst, err);
        total_error += err;
        ++samples;
      }
  }
  EXPECT_LE(worst, 2);
  EXPECT_LT(total_error / samples, 0.25);
}

// ---- bit-plane readers ----------------------------------------------------

std::vector<uint8_t> bits_of(std::initializer_list<std::pair<uint32_t, int>> fields, size_t *count = nullptr) {
  BitWriter w;
  for (auto [v, n] : fields)
    w.put(v, n);
  if (count)
    *count = w.bit_count();
  return w.bytes();
}

TEST(TolmInverseTransform, BitExactAgainstAColumnByColumnTranscription) {
  std::mt19937 rng(29);
  int mismatches = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    const auto &factors = (trial & 1 ? dec::inter_quant() : dec::intra_quant())[trial % 16];
    std::array<int32_t, 64> c{};
    // Sparse blocks (empty rows and columns take the shortcut in the
    // transcription), dense ones, and values large enough to wrap.
    const int kind = trial % 4;
    const int count = kind == 0 ? 1 + static_cast<int>(rng() % 3) : kind == 1 ? 64 : static_cast<int>(rng() % 24);
    for (int n = 0; n < count; ++n) {
      const int pos = kind == 1 ? n : static_cast<int>(rng() % 64);
      c[pos] = kind == 3 ? static_cast<int32_t>(rng()) : static_cast<int32_t>(rng() % 2001) - 1000;
    }
    int32_t got[64], want[64];
    dec::inverse_transform(c.data(), factors.data(), got);
    vex::testkit::tolm::reference_transform(c.data(), factors.data(), want);
    mismatches += !std::equal(got, got + 64, want);
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(TolmCoefficients, HandAssembledPlanes) {
  int32_t coef[64];
  // No planes: 4 bits, everything zero.
  {
    const auto data = bits_of({{0, 4}, {0xF, 4}});
    dec::BitReader r(data);
    coef[0] = 77;
    dec::read_coefficients(r, coef);
    EXPECT_EQ(coef[0], 77);
    for (int k = 1; k < 64; ++k)
      EXPECT_EQ(coef[k], 0);
    EXPECT_EQ(r.read(4), 0xFu);
  }
  // One plane (last pass only): groups 4, 24, 44 say 0; singles 1 (set,
  // sign +), 2 and 3 say 0.
  {
    size_t n;
    const auto data = bits_of({{1, 4}, {0, 3}, {1, 1}, {0, 1}, {0, 2}, {0b1011, 4}}, &n);
    dec::BitReader r(data);
    dec::read_coefficients(r, coef);
    EXPECT_EQ(coef[1], 1);
    for (int k = 2; k < 64; ++k)
      EXPECT_EQ(coef[k], 0);
    EXPECT_EQ(r.read(4), 0b1011u); // exactly 11 bits consumed
  }
  // Coefficient 5 = -3 in two planes. Plane 1: group 4 set; its group of
  // sixteen (8) not; quad 4..7 new: 4 deferred, 5 valued (low bit 1, sign 1),
  // 6 and 7 deferred; groups 24, 44 and singles 1-3 clear. Plane 0: nine
  // live entries, all clear.
  {
    const auto data = bits_of({{2, 4}, {1, 1}, {0, 1}, {1, 1}, {0, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {0, 5},
                               {0, 9}, {0b101, 3}});
    dec::BitReader r(data);
    dec::read_coefficients(r, coef);
    EXPECT_EQ(coef[3], -3); // coding index 5 sits at row 0, column 3
    for (int k = 1; k < 64; ++k)
      EXPECT_EQ(coef[dec::kCoefficientPlacement[k]], k == 5 ? -3 : 0) << k;
    EXPECT_EQ(r.read(3), 0b101u);
  }
}

TEST(TolmResidue, HandAssembledWithEventLimit) {
  int8_t res[64];
  // Residue 0 = +5, top mask 4 (n = 2). Pass 4: groups clear, quad 0 set,
  // 0 valued +4 (event 1), 1-3 deferred. Pass 2: refine 0 clear; six live
  // entries clear. Pass 1: refine 0 set (event 2).
  const auto body = std::initializer_list<std::pair<uint32_t, int>>{
      {2, 3}, {0, 3}, {1, 1}, {0, 1}, {0, 1}, {1, 1}, {1, 1}, {1, 1}, {0, 1}, {0, 6}, {1, 1}, {0x2A, 6}};
  {
    const auto data = bits_of(body);
    dec::BitReader r(data);
    dec::read_residue(r, 1, res); // stop after event 2
    EXPECT_EQ(res[0], 5);
    for (int k = 1; k < 64; ++k)
      EXPECT_EQ(res[k], 0);
    EXPECT_EQ(r.read(6), 0x2Au); // stopped right after the second event
  }
  {
    const auto data = bits_of(body);
    dec::BitReader r(data);
    dec::read_residue(r, 0, res); // stop after event 1: the +4, then nothing more
    EXPECT_EQ(res[0], 4);
    EXPECT_EQ(r.read(3), 0b111u); // the three deferral bits are next
  }
}

} // namespace
