// Seeded random frame plans that use every block type and parameter range
// the test encoder can write.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "testkit/formats/tolm/tolm_plan.h"

namespace vex::testkit::tolm {

// Block types 0 to 9 (out of line: GCC 12 warns falsely about an inlined
// initialiser list here).
std::vector<uint8_t> every_block_type();

struct RandomPlanOptions {
  std::vector<uint8_t> types = every_block_type();
  bool has_alpha = false;
  bool no_chroma = false;
  bool signed_colours = false;
  int max_coefficient_bits = 7; // AC magnitudes below 2^bits (keeps products in 32 bits)
  int quantiser = -1;           // transform blocks: -1 any, else this one
};

FramePlan random_plan(uint32_t width, uint32_t height, std::mt19937 &rng, const RandomPlanOptions &options = {});

// One random block of the given type at (x, y) of a w8 x h8 plane.
BlockPlan random_block(uint8_t type, int x, int y, uint32_t w8, uint32_t h8, std::mt19937 &rng,
                       const RandomPlanOptions &options);

} // namespace vex::testkit::tolm
