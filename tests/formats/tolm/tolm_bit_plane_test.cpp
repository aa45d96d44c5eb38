// The bit-plane readers of transform coefficients and residues against the
// slow transcription in testkit (random streams, the test
// encoder's output, and both cut short) and against the values the encoder
// was given. Each case runs on every path this processor has.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "formats/tolm/tolm_format.h"
#include "formats/tolm/tolm_transform.h"
#include "testkit/formats/tolm/tolm_plan.h"
#include "testkit/formats/tolm/tolm_slow_reference.h"

namespace {

namespace dec = vex::formats::tolm;
using dec::BitSelect;
using vex::testkit::tolm::BitWriter;

std::vector<BitSelect> paths() {
  std::vector<BitSelect> out{BitSelect::kPortable};
  if (dec::bit_select_available(BitSelect::kBmi2))
    out.push_back(BitSelect::kBmi2);
  return out;
}

const char *name(BitSelect p) { return p == BitSelect::kBmi2 ? "bmi2" : "portable"; }

// Random bytes whose bits are 1 with probability `ones`.
std::vector<uint8_t> random_bytes(std::mt19937 &rng, size_t n, double ones) {
  std::bernoulli_distribution bit(ones);
  std::vector<uint8_t> out(n);
  for (auto &b : out)
    for (int i = 0; i < 8; ++i)
      b = static_cast<uint8_t>(b | (bit(rng) << i));
  return out;
}

// The reader's result in block order, where it left the reader, and whether
// it ran past the data.
struct Coefficients {
  std::array<int32_t, 64> block{};
  size_t position = 0;
  bool overrun = false;
  bool operator==(const Coefficients &) const = default;
};

Coefficients decode(std::span<const uint8_t> data, BitSelect path) {
  dec::BitReader r(data);
  Coefficients c;
  c.block[0] = 12345; // the DC is the caller's
  dec::read_coefficients(r, c.block.data(), path);
  c.position = r.bit_position();
  c.overrun = r.overrun();
  return c;
}

Coefficients reference(std::span<const uint8_t> data) {
  dec::BitReader r(data);
  int32_t coded[64];
  coded[0] = 12345;
  vex::testkit::tolm::reference_coefficients(r, coded);
  Coefficients c;
  for (int k = 0; k < 64; ++k)
    c.block[dec::kCoefficientPlacement[k]] = coded[k];
  c.position = r.bit_position();
  c.overrun = r.overrun();
  return c;
}

struct Residue {
  std::array<int8_t, 64> block{};
  size_t position = 0;
  bool overrun = false;
  bool operator==(const Residue &) const = default;
};

// Both take the reader where the residue starts, by value.
Residue decode_residue(dec::BitReader r, unsigned count, BitSelect path) {
  Residue c;
  dec::read_residue(r, count, c.block.data(), path);
  c.position = r.bit_position();
  c.overrun = r.overrun();
  return c;
}

Residue reference_residue(dec::BitReader r, unsigned count) {
  int8_t coded[64];
  vex::testkit::tolm::reference_residue(r, count, coded);
  Residue c;
  for (int k = 0; k < 64; ++k)
    c.block[dec::kCoefficientPlacement[k]] = coded[k];
  c.position = r.bit_position();
  c.overrun = r.overrun();
  return c;
}

// Coefficients with `planes` bit planes: a random number of non-zero
// values, one of them of the full width.
std::array<int32_t, 64> random_coefficients(std::mt19937 &rng, int planes) {
  std::array<int32_t, 64> c{};
  if (planes == 0)
    return c;
  const int count = 1 + static_cast<int>(rng() % 63);
  for (int n = 0; n < count; ++n) {
    const int width = 1 + static_cast<int>(rng() % planes);
    const int32_t mag = static_cast<int32_t>((1u << (width - 1)) | (rng() & ((1u << (width - 1)) - 1)));
    c[1 + rng() % 63] = rng() & 1 ? -mag : mag;
  }
  const int32_t top = static_cast<int32_t>((1u << (planes - 1)) | (rng() & ((1u << (planes - 1)) - 1)));
  c[1 + rng() % 63] = rng() & 1 ? -top : top;
  return c;
}

TEST(TolmBitPlanes, CoefficientsFromRandomStreamsMatchTheTranscription) {
  std::mt19937 rng(41);
  const double densities[] = {0.02, 0.2, 0.5, 0.8, 0.98};
  int compared = 0;
  for (int trial = 0; trial < 6000; ++trial) {
    auto data = random_bytes(rng, rng() % 90, densities[trial % 5]);
    if (!data.empty()) // every plane count, 0-15
      data[0] = static_cast<uint8_t>((data[0] & 0xF0) | (trial % 16));
    const Coefficients want = reference(data);
    for (BitSelect p : paths()) {
      const Coefficients got = decode(data, p);
      ASSERT_EQ(got, want) << name(p) << " trial " << trial;
      ++compared;
    }
  }
  EXPECT_GE(compared, 6000);
}

TEST(TolmBitPlanes, ResiduesFromRandomStreamsMatchTheTranscription) {
  std::mt19937 rng(43);
  const double densities[] = {0.02, 0.2, 0.5, 0.8, 0.98};
  for (int trial = 0; trial < 6000; ++trial) {
    const auto data = random_bytes(rng, rng() % 70, densities[trial % 5]);
    const unsigned count = trial % 3 == 0 ? 127 : static_cast<unsigned>(rng() % 128);
    const dec::BitReader start(data);
    const Residue want = reference_residue(start, count);
    for (BitSelect p : paths())
      ASSERT_EQ(decode_residue(start, count, p), want) << name(p) << " trial " << trial << " count " << count;
  }
}

TEST(TolmBitPlanes, EncodedCoefficientsReadBackExactlyAtEveryPlaneCount) {
  std::mt19937 rng(47);
  for (int trial = 0; trial < 1600; ++trial) {
    const int planes = trial % 16;
    const auto coef = random_coefficients(rng, planes);
    BitWriter w;
    const size_t bits = vex::testkit::tolm::encode_coefficients(coef, w);
    w.put(0xA5C3, 16); // must be the next thing read
    const auto data = w.bytes();
    for (BitSelect p : paths()) {
      dec::BitReader r(data);
      std::array<int32_t, 64> block{};
      dec::read_coefficients(r, block.data(), p);
      ASSERT_EQ(r.bit_position(), bits) << name(p) << " planes " << planes;
      ASSERT_EQ(r.read(16), 0xA5C3u);
      for (int k = 1; k < 64; ++k)
        ASSERT_EQ(block[dec::kCoefficientPlacement[k]], coef[k]) << name(p) << " planes " << planes << " k " << k;
    }
    const Coefficients slow = reference(data);
    ASSERT_EQ(slow.position, bits);
    for (int k = 1; k < 64; ++k)
      ASSERT_EQ(slow.block[dec::kCoefficientPlacement[k]], coef[k]);
  }
}

TEST(TolmBitPlanes, EncodedCoefficientsCutShortMatchTheTranscription) {
  std::mt19937 rng(53);
  for (int trial = 0; trial < 120; ++trial) {
    const auto coef = random_coefficients(rng, 1 + trial % 15);
    BitWriter w;
    const size_t bits = vex::testkit::tolm::encode_coefficients(coef, w);
    const auto whole = w.bytes();
    for (size_t n = 0; n < whole.size(); ++n) {
      const std::span<const uint8_t> cut(whole.data(), n);
      const Coefficients want = reference(cut);
      ASSERT_EQ(want.overrun, 8 * n < bits) << "cut at " << n;
      for (BitSelect p : paths())
        ASSERT_EQ(decode(cut, p), want) << name(p) << " trial " << trial << " cut at " << n;
    }
  }
}

TEST(TolmBitPlanes, EncodedResiduesReadBackExactlyAndCutShort) {
  std::mt19937 rng(59);
  for (int trial = 0; trial < 1500; ++trial) {
    std::array<int8_t, 64> residue{};
    const int top = trial % 8; // magnitudes below 2^(top + 1)
    const int count = 1 + static_cast<int>(rng() % 64);
    for (int n = 0; n < count; ++n) {
      const int mag = static_cast<int>(rng() % std::min(127u, (2u << top) - 1)) + 1;
      residue[rng() % 64] = static_cast<int8_t>(rng() & 1 ? -mag : mag);
    }
    BitWriter w;
    const size_t bits = vex::testkit::tolm::encode_residue(residue, w); // now what the decoder sees
    w.put(0x5A, 8);
    const auto data = w.bytes();
    for (BitSelect p : paths()) {
      dec::BitReader r(data);
      const unsigned events = r.read(7);
      std::array<int8_t, 64> block{};
      dec::read_residue(r, events, block.data(), p);
      ASSERT_EQ(r.bit_position(), bits) << name(p);
      ASSERT_EQ(r.read(8), 0x5Au);
      for (int k = 0; k < 64; ++k)
        ASSERT_EQ(block[dec::kCoefficientPlacement[k]], residue[k]) << name(p) << " k " << k;
    }
    if (trial % 10 == 0) // the same data cut at every byte past the count
      for (size_t n = 1; n < data.size(); ++n) {
        dec::BitReader start(std::span<const uint8_t>(data.data(), n));
        const unsigned events = start.read(7);
        const Residue want = reference_residue(start, events);
        for (BitSelect p : paths())
          ASSERT_EQ(decode_residue(start, events, p), want) << name(p) << " cut at " << n;
      }
  }
}

} // namespace
