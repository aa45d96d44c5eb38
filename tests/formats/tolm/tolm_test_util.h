// Shared by the Tolm tests: the testkit's names, and the last decoded frame
// as the graphics source copies it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "testkit/formats/tolm/tolm_harness.h"
#include "testkit/formats/tolm/tolm_open_movie.h"

namespace vex::tolm_test {

namespace tk = vex::testkit::tolm;
using namespace vex::formats::tolm;
using Bytes = std::vector<uint8_t>;
using tk::kSourceFlags;
using tk::OpenMovie;
using tk::options;

// The last decoded frame as the graphics source takes it (copy type 5).
inline std::vector<uint32_t> copy_frame(TOLM *t, uint32_t flags = 5) {
  std::vector<uint32_t> out(size_t{t->output_width} * t->output_height, 0xDEADBEEF);
  EXPECT_EQ(TolmCopyToBuffer(t, out.data(), static_cast<int32_t>(4 * t->output_width),
                             static_cast<int32_t>(t->output_height), 0, 0, flags),
            0);
  return out;
}

} // namespace vex::tolm_test
