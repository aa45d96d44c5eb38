// Arbitrary bytes as a still image: the first byte picks the format, the
// rest is the file. Our own BMP, PCX and TGA readers take the bytes
// directly; PNG, JPEG, TIF and GIF go through their libraries by file.
// Information, then a load into an image of the size it reports, and the
// same load into images of every other depth.
#include <cstdint>
#include <span>

#include "fuzz/util/fuzz_file.h"
#include "stills/still_codec.h"

using namespace vex::stills;

namespace {

constexpr Format kFormats[] = {Format::bmp, Format::pcx, Format::tga, Format::png,
                               Format::jpeg, Format::tif, Format::gif};

void load_everywhere(const Picture &p) {
  for (int32_t bits : {1, 4, 8, 16, 24, 32}) {
    Image im{};
    if (StillAlloc(&im, p.info.width + 1, p.info.height, bits) == 0)
      store_picture(p, im);
    StillFree(&im);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  const Format f = kFormats[data[0] % 7];
  const std::span<const uint8_t> bytes(data + 1, size - 1);
  Picture p;
  int32_t r;
  switch (f) {
  case Format::bmp:
    r = decode_bmp(bytes, p, false);
    break;
  case Format::pcx:
    r = decode_pcx(bytes, p, false);
    break;
  case Format::tga:
    r = decode_tga(bytes, p, false);
    break;
  default: {
    const std::string &name = vex::fuzz::input_file(".img");
    if (!vex::fuzz::write_input(name, bytes.data(), bytes.size()))
      return 0;
    Info info{};
    if (StillInfo(f, name.c_str(), &info) != 0)
      return 0;
    Image im{};
    if (StillAlloc(&im, info.width + 1, info.height, info.bits) == 0)
      StillLoad(f, name.c_str(), &im);
    StillFree(&im);
    return 0;
  }
  }
  if (r == 0)
    load_everywhere(p);
  return 0;
}
