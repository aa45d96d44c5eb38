// The public GFILE record: its fields in the documented order and widths.
// The expected offsets are laid out here from the list of fields (bytes,
// alignment), independently of the header; the C compiler's layout is
// checked against them.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "testkit/util/record_layout.h"
#include "vexutil/gfile.h"

extern "C" const size_t gfile_c_offsets[];
extern "C" const size_t gfile_c_offset_count;
extern "C" const size_t gfileinfo_c_offsets[];
extern "C" const size_t gfileinfo_c_offset_count;

namespace {

using vex::testkit::FieldSize;

// Fields 1-34 (pairs such as output width, height are one numbered field of
// two words), then the working-state pointer.
const FieldSize kFields[] = {
    {128, 1}, {128, 1}, {4, 4}, {4, 4},   {4, 4},   {8, 4}, {8, 4}, {4, 4}, {4, 4}, {8, 4},
    {8, 4},   {8, 4},   {4, 4}, {4, 4},   {4, 4},   {4, 4}, {4, 4}, {4, 4}, {4, 4}, {8, 8} /* output buffer pointer */,
    {4, 4},   {4, 4},   {4, 4}, {4, 4},   {768, 1}, {4, 4}, {4, 4}, {8, 4}, {8, 4}, {8, 4},
    {8, 4},   {8, 4},   {4, 4}, {768, 1}, {8, 8} /* working state */};

TEST(GfileLayout, FieldsLieWhereTheListPutsThem) {
  const std::vector<size_t> want = vex::testkit::laid_out_offsets(kFields);
  ASSERT_EQ(gfile_c_offset_count, want.size());
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(gfile_c_offsets[i], want[i]) << "field " << i + 1;
  // Spot checks by hand: the type name after the 128-character name, the
  // output buffer on its 8-byte boundary after the depths, the two
  // palettes of 768 bytes.
  EXPECT_EQ(want[1], 128u);
  EXPECT_EQ(want[19], 344u);
  EXPECT_EQ(want[24], 368u);
  EXPECT_EQ(want[33], 1188u);
  EXPECT_EQ(want.back(), 1968u);
  EXPECT_EQ(sizeof(GFILE), want.back());
}

// GFILEINFO: the codec name, three colour words, the sound flag, the sound
// codec name, four words and the 64-bit length on its 8-byte boundary.
TEST(GfileLayout, DescriptionFieldsLieWhereTheListPutsThem) {
  const FieldSize fields[] = {{32, 1}, {4, 4}, {4, 4}, {4, 4}, {4, 4}, {32, 1},
                              {4, 4},  {4, 4}, {4, 4}, {4, 4}, {8, 8}};
  const std::vector<size_t> want = vex::testkit::laid_out_offsets(fields);
  ASSERT_EQ(gfileinfo_c_offset_count, want.size());
  for (size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(gfileinfo_c_offsets[i], want[i]) << "field " << i + 1;
  EXPECT_EQ(want[5], 48u);
  EXPECT_EQ(want[10], 96u);
  EXPECT_EQ(sizeof(GFILEINFO), 104u);
}

} // namespace
