// Tolm tables as the test encoder and the picture model read them.
#pragma once

#include <array>
#include <cstdint>

namespace vex::testkit::tolm {

struct ReferenceCode {
  std::array<int, 16> length{}; // bits of the code word of each position
  std::array<uint32_t, 16> bits{}; // the word, first-read bit in bit 0
};

struct ReferenceTables {
  std::array<ReferenceCode, 16> codes;
  std::array<std::array<int, 64>, 16> scans; // pixel index of each step
  std::array<int, 64> placement;             // coding order -> block index
  // Dequantisation factors as real numbers (factor / 65536 scales the
  // orthonormal coefficient), by quantiser and row-major block index.
  std::array<std::array<double, 64>, 16> intra_factor, inter_factor;
};

const ReferenceTables &reference_tables();

} // namespace vex::testkit::tolm
