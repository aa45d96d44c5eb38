// The expected offsets are laid out here from the list of fields (bytes,
// alignment), independently of the header; the C compiler's layout is
// checked against them.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "testkit/util/record_layout.h"
#include "vexutil/ogfile.h"

extern "C" const size_t ogfile_c_offsets[];
extern "C" const size_t ogfile_c_offset_count;

namespace {

using vex::testkit::FieldSize;

// Runs of like members count as one entry (width, height and frame count
// are 12 bytes; the three AVI stream pointers 24).
const FieldSize kFields[] = {{128, 1},
                             {128, 1},
                             {256, 1},
                             {4, 4},
                             {12, 4},
                             {8, 4},
                             {4, 4},
                             {4, 4},
                             {8, 4},
                             {4, 4},
                             {4, 4},
                             {4, 4},
                             {8, 8},
                             {8, 8},
                             {56, 8} /* image descriptor */,
                             {4, 4},
                             {8, 8},
                             {24, 8},
                             {4, 4},
                             {24, 8},
                             {8, 8},
                             {24, 4} /* six sound counters */,
                             {18, 1},
                             {8, 8} /* working state */};

TEST(OgfileLayout, FieldsLieWhereTheListPutsThem) {
  const std::vector<size_t> want = vex::testkit::laid_out_offsets(kFields);
  ASSERT_EQ(ogfile_c_offset_count, want.size());
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(ogfile_c_offsets[i], want[i]) << "entry " << i;
  // By hand: the flags after the three names (128 + 128 + 256), the
  // callback on its 8-byte boundary, the wave format after the counters,
  // the state pointer padded to 8.
  EXPECT_EQ(want[3], 512u);
  EXPECT_EQ(want[12], 568u);
  EXPECT_EQ(want[22], 744u);
  EXPECT_EQ(want[23], 768u);
  EXPECT_EQ(sizeof(OGFILE), 776u);
}

} // namespace
