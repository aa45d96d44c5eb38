#include "testkit/flic/flic_test_frames.h"
#include "tests/gfile/bad_input_rows.h"

namespace bad_input {

using vex::testkit::ByteVec;
using vex::testkit::FlicHeader;
using vex::testkit::flic_file;
using vex::testkit::flic_header;

namespace {

// A file of 4 x 2 raw pictures of 1, 2, ... frames.
ByteVec frames_file(FlicHeader h, uint16_t frames) {
  std::vector<ByteVec> f;
  for (uint8_t i = 1; i <= frames; ++i)
    f.push_back(vex::testkit::raw_frame(i));
  return flic_file(h, f);
}

ByteVec cut(ByteVec b, size_t size) {
  b.resize(size);
  return b;
}

ByteVec set16(ByteVec b, size_t at, uint16_t v) {
  vex::testkit::set_le16(b, at, v);
  return b;
}

} // namespace

std::vector<BadInput> flic_bad_inputs() {
  // An FLC header the reader knows but cannot take: 0 x 5 pixels.
  std::vector<uint8_t> zero(128, 0);
  zero[0] = 128;                   // file size
  zero[4] = 0x12, zero[5] = 0xAF;  // FLC magic
  zero[6] = 1;                     // one frame
  zero[10] = 5;                    // height 5, width 0
  zero[12] = 8;                    // 8 bits a pixel
  const ByteVec three = frames_file(flic_header(3), 3), eight = frames_file(flic_header(8), 8);
  const size_t frame = 16 + 6 + 8; // a frame chunk of one raw 4 x 2 picture
  ByteVec past = three;
  vex::testkit::set_le32(past, 128 + frame, 100000); // frame 2's size
  FlicHeader far = flic_header(2);
  far.frame1 = 0xFFFFFFF0;
  return {
      {"zero.flc", zero, "the picture is 0 x 5 pixels"},
      {"empty.flc", {}, "the file is empty"},
      {"short.flc", cut(three, 127), "not a file of a known kind"}, // VEXFlicOpen: "shorter than a FLIC header"
      {"text.flc", ByteVec(300, 'x'), "not a file of a known kind"},
      {"magic.flc", set16(three, 4, 0xAF13), "not a file of a known kind"},
      {"swapped.flc", set16(three, 4, 0x12AF), "not a file of a known kind"},
      {"flat.flc", frames_file(flic_header(1, 4, 0), 1), "the picture is 4 x 0 pixels"},
      // 65535 x 65535 rounds up to a buffer past the shared 0x7FFF0000 bytes.
      {"huge.flc", frames_file(flic_header(1, 65535, 65535), 1), "a picture of 65535 x 65535 pixels is too large"},
      // No whole frame: nothing to show.
      {"far.flc", frames_file(far, 1), "frame 1 runs past the end of the file"},
      {"cut1.fli", cut(frames_file(flic_header(1, 4, 2, VEXFLIC_MAGIC_FLI), 1), 128 + 10),
       "frame 1 runs past the end of the file"},
      // Frames up to the damage are shown.
      {"past.flc", past, "frame 2 runs past the end of the file", 1},
      {"cut5.flc", cut(eight, 128 + 4 * frame + 20), "frame 5 runs past the end of the file", 4},
  };
}

} // namespace bad_input
