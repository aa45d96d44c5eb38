#include "testkit/formats/rawb/rawb_writer.h"
#include "testkit/util/file_bytes.h"
#include "tests/gfile/bad_input_rows.h"

namespace bad_input {

std::vector<BadInput> rawb_bad_inputs() {
  namespace tw = vex::testkit::rawb;
  const auto header = [](uint32_t width, uint32_t height) { return tw::rawb_bytes({width, height, -66, 1}, {}); };
  // Two 4 x 2 frames, a palette before the first.
  tw::Frame frame{std::vector<uint8_t>(8, 7), {tw::Palette{}}};
  const auto good = tw::rawb_bytes({4, 2, -66, std::nullopt}, {frame, frame});
  const auto tagged = [&](size_t at, uint32_t tag) {
    auto b = good;
    vex::testkit::set_le32(b, at, tag);
    return b;
  };
  auto magic = header(4, 4);
  magic[3] = 'C';
  return {
      {"magic.raw", magic, "not a file of a known kind"},
      {"short.raw", std::vector<uint8_t>(good.begin(), good.begin() + 12), "the header is cut short at byte 12"},
      {"width0.raw", header(0, 10), "the picture is 0 x 10 pixels"},
      {"height0.raw", header(10, 0), "the picture is 10 x 0 pixels"},
      {"wraps.raw", header(0x10000, 0x10000), "a picture of 65536 x 65536 pixels is beyond the library's limits"},
      {"wraps2.raw", header(0x80000001u, 2), "a picture of 2147483649 x 2 pixels is beyond the library's limits"},
      {"side.raw", header(32768, 1), "a picture of 32768 x 1 pixels is beyond the library's limits"},
      {"area.raw", header(32767, 32767), "a picture of 32767 x 32767 pixels is beyond the library's limits"},
      {"tag2.raw", tagged(20, 2), "frame 1 has an unknown tag 2 at byte 20", 0},
      {"tagmax.raw", tagged(20, 0xFFFFFFFF), "frame 1 has an unknown tag 4294967295 at byte 20", 0},
      {"tag256.raw", tagged(20, 0x100), "frame 1 has an unknown tag 256 at byte 20", 0},
      {"secondtag.raw", tagged(20 + 772 + 12, 5), "frame 2 has an unknown tag 5 at byte 804", 1},
      {"cut.raw", std::vector<uint8_t>(good.begin(), good.end() - 3), "frame 2 is cut short at byte 1585", 1},
      // Frame 1 without room for its tag and pixels: the header alone would pay for the
      // frame buffers. With that room but cut inside: opened, frame 1 marked damaged.
      {"cut_first.raw", std::vector<uint8_t>(good.begin(), good.begin() + 31), "frame 1 is cut short at byte 31"},
      {"cut_pixels.raw", std::vector<uint8_t>(good.begin(), good.begin() + 800), "frame 1 is cut short at byte 800", 0},
      {"count.raw", tw::rawb_bytes({4, 2, -66, 0xFFFFFFFFu}, {frame, frame}), "frame 3 is cut short at byte 1588", 2},
  };
}

} // namespace bad_input
