#include "testkit/stills/still_files.h"
#include "tests/gfile/bad_input_rows.h"

namespace bad_input {

std::vector<BadInput> still_bad_inputs() {
  using namespace vex::testkit;
  const std::vector<uint8_t> rows(8 * 2, 1);
  return {
      // 8-bit bitmaps of 8 x 2 with 4 colours claimed and a table of 16
      // bytes, unless the row says otherwise.
      {"zero_wide.bmp", bmp8_file(0, 2, 0, 4, 16, rows), "the picture is 0 x 2 pixels"},
      {"zero_high.bmp", bmp8_file(8, 0, 0, 4, 16, rows), "the picture is 8 x 0 pixels"},
      {"too_wide.bmp", bmp8_file(100000, 2, 0, 4, 16, rows), "the picture is 100000 x 2 pixels"},
      {"too_high.bmp", bmp8_file(8, 100000, 0, 4, 16, rows), "the picture is 8 x 100000 pixels"},
      {"table_300.bmp", bmp8_file(8, 2, 0, 300, 1200, rows),
       "the colour table of 300 entries runs past the end of the file", 0},
      {"table_past_end.bmp", bmp8_file(8, 2, 0, 200, 16, {}), "the 2 rows of pixels run past the end of the file"},
      {"rle8_run_of_9.bmp", bmp8_file(8, 2, 1, 4, 16, {9, 1, 0, 1}), "a run at byte 72 goes past the end of its row", 0},
      {"rle8_third_row.bmp", bmp8_file(8, 2, 1, 4, 16, {0, 0, 0, 0, 0, 0, 8, 1, 0, 1}),
       "a run at byte 78 goes past the end of its row", 0},
      {"rle8_literal_past_data.bmp", bmp8_file(8, 2, 1, 4, 16, {0, 12, 1, 2}),
       "the run-length data is cut short at byte 72", 0},
      // 4 x 2 colour-mapped run-length targas with a map of 2 entries.
      {"run_of_9.tga", tga8_file(2, {0x88, 1}), "a run at byte 24 goes past the end of the picture", 0},
      {"literal_short.tga", tga8_file(2, {0x03, 1, 1, 1}), "the run-length data is cut short at byte 25", 0},
      {"map_300.tga", tga8_file(300, {0x87, 1}), "the colour map of 300 entries runs past the end of the file", 0},
      {"zero_wide.tga", tga8_file(2, {0x87, 1}, 0), "the picture is 0 x 2 pixels"},
      // 4 x 1 PCX of 8 bits.
      {"x_5_to_3.pcx", pcx8_file({0xC4, 9}, 5), "the picture is -1 x 1 pixels"},
      {"run_past.pcx", pcx8_file({0xC5, 9}), "a run at byte 130 goes past the end of the picture", 0},
      {"junk.bmp", std::vector<uint8_t>(45, 'j'), "not a file of a known kind"},
  };
}

} // namespace bad_input
