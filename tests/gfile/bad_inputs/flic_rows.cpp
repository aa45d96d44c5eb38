#include "tests/gfile/bad_input_rows.h"

namespace bad_input {

std::vector<BadInput> flic_bad_inputs() {
  // An FLC header the reader knows but cannot take: 0 x 5 pixels.
  std::vector<uint8_t> zero(128, 0);
  zero[0] = 128;                   // file size
  zero[4] = 0x12, zero[5] = 0xAF;  // FLC magic
  zero[6] = 1;                     // one frame
  zero[10] = 5;                    // height 5, width 0
  zero[12] = 8;                    // 8 bits a pixel
  return {
      {"zero.flc", zero, "the picture is 0 x 5 pixels"},
  };
}

} // namespace bad_input
